# Shared by tools/demo and tools/screenshots: the service emulator with an author who has
# documents waiting, the agent built against it, a source folder with a dictation and a
# document, the settings, the agent started, and the wait for one whole cycle.
# Source it from the project root with `root` set; it defines functions and these variables:
#   work (a fresh temporary folder), emu_pid, agent_pid, src, down, admin, and the endpoints.

work=$(mktemp -d /tmp/orbidex-demo.XXXXXX)
emu_pid=""
agent_pid=""

stop_pid() {  # stop one process we started: TERM, then KILL after 5 s
  local pid=$1
  [ -n "$pid" ] && kill -0 "$pid" 2>/dev/null || return 0
  kill -TERM "$pid" 2>/dev/null || true
  for _ in $(seq 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
  kill -KILL "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
}

json() { /usr/bin/python3 -c "import json,sys; print(json.load(open(sys.argv[1]))[sys.argv[2]])" "$@"; }

demo_start_emulator() {
  echo "== Service emulator"
  mkdir -p "$work/service"
  /usr/bin/python3 tools/service/emulator.py --data "$work/service" --author ab12:secret \
    --parent-pid $$ >"$work/emulator.json" 2>"$work/emulator.err" &
  emu_pid=$!
  for _ in $(seq 150); do [ -s "$work/emulator.json" ] && break; sleep 0.1; done
  [ -s "$work/emulator.json" ] || { echo "emulator did not start:"; cat "$work/emulator.err"; exit 1; }
  http=$(json "$work/emulator.json" http_origin)
  https=$(json "$work/emulator.json" https_origin)
  ftp=$(json "$work/emulator.json" ftp_host)
  admin=$(json "$work/emulator.json" admin_url)
  ca=$(json "$work/emulator.json" ca_file)
  echo "web $http and $https, FTP $ftp, author ab12"

  admin_post /pending '{"author":"ab12","name":"letter-to-the-bank.rtf","content":"{\\rtf1 Dear Sir, ...}"}'
  admin_post /pending '{"author":"ab12","name":"minutes-march.rtf","content":"{\\rtf1 Minutes of the meeting}"}'
  echo "2 documents wait for ab12"
}

admin_post() { curl -fsS -X POST -H 'Content-Type: application/json' -d "$2" "$admin$1" >/dev/null; }

demo_build() {  # the agent with the emulator's endpoints, in build-demo/
  echo "== Build (loopback endpoints, build-demo/)"
  cmake -S . -B build-demo -DCMAKE_BUILD_TYPE=RelWithDebInfo -DORBIDEX_TESTS=OFF \
    -DORBIDEX_HTTP_ORIGIN="$http" -DORBIDEX_HTTPS_ORIGIN="$https" \
    -DORBIDEX_HTTP_BARE_ORIGIN="$http" -DORBIDEX_FTP_HOST="$ftp" \
    -DORBIDEX_CA_FILE="$ca" >/dev/null
  cmake --build build-demo -j2 --target orbidex >"$work/build.log" 2>&1 ||
    { tail -30 "$work/build.log"; exit 1; }
}

demo_prepare() {  # source folder, download folder, settings
  echo "== Source folder, settings"
  src="$work/Dictation/"
  down="$work/Downloads/"
  mkdir -p "$src" "$down" "$work/run" "$work/config/Orbidex" "$work/runtime"
  chmod 700 "$work/runtime"
  sox -n -r 8000 -c 1 -b 16 "${src}dictation-0412.wav" synth 61.2 sine 300 vol 0.2
  printf '{\\rtf1\\ansi Notes for the March report.}\n' >"${src}notes.rtf"
  # Keys and groups as the agent's settings store writes them (QSettings INI, spaces as %20).
  cat >"$work/config/Orbidex/Nimbrel Ravlet.conf" <<CONF
[Source%20Directories]
Dir1=$src
Ext1=wav
Dir2=$src
Ext2=rtf
TDir=$down
PASV=1

[Author%20Details]
Author=ab12
Password=secret
Poll%20Time=1
Show%20Config=0
AutoDownLoad=1
CONF
  ls -l "$src"
}

demo_start_agent() {  # headless unless a display is set; extra environment as arguments
  local platform=offscreen
  [ -n "${DISPLAY:-}" ] && platform=xcb
  (cd "$work/run" && exec env XDG_CONFIG_HOME="$work/config" XDG_RUNTIME_DIR="$work/runtime" \
    XDG_STATE_HOME="$work/state" \
    QT_QPA_PLATFORM="$platform" "$@" "$root/build-demo/orbidex") >"$work/agent.out" 2>&1 &
  agent_pid=$!
}

state() { curl -fsS "$admin/state" >"$work/state.json"; }

# One cycle is over when both files were announced and both documents confirmed.
cycle_done() {
  state && /usr/bin/python3 -c '
import json,sys; s=json.load(open(sys.argv[1]))
sys.exit(0 if len(s["notifications"])>=2 and len(s["confirmations"])>=2 else 1)' "$work/state.json"
}

demo_wait_cycle() {  # sets ok=1 when a whole cycle is over within 30 s
  ok=0
  for _ in $(seq 300); do
    if cycle_done; then ok=1; break; fi
    kill -0 "$agent_pid" 2>/dev/null || break
    sleep 0.1
  done
  sleep 0.5  # the cycle's last lines after the final confirmation
}
