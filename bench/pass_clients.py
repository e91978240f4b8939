"""The service emulator and the peers that bench/agent_pass runs beside the agent, and the
check that every client's files arrived whole."""

import json
import os
import shlex
import shutil
import subprocess
import urllib.request

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
# The agent measured: this tree's, or another's (say main's, for a before figure) built apart.
AGENT_ROOT = os.environ.get("ORBIDEX_BENCH_SOURCE", ROOT)
BUILD = os.environ.get("ORBIDEX_BENCH_BUILD", os.path.join(ROOT, "build-bench"))
PY = "/usr/bin/python3"
AUTHOR, PASSWORD = "ab12", "secret"


def stop_process(proc):
    if proc and proc.poll() is None:
        proc.terminate()
        try:
            proc.wait(5)
        except subprocess.TimeoutExpired:
            proc.kill()
            proc.wait()


class Emulator:
    def __init__(self, work):
        data = os.path.join(work, "service")
        self.proc = subprocess.Popen(
            [PY, os.path.join(ROOT, "tools/service/emulator.py"), "--data", data,
             "--parent-pid", str(os.getpid())],
            stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
        self.info = json.loads(self.proc.stdout.readline())
        self.admin = self.info["admin_url"]

    def call(self, path, body=None):
        data = None if body is None else json.dumps(body).encode()
        req = urllib.request.Request(self.admin + path, data=data,
                                     method="GET" if body is None else "POST")
        with urllib.request.urlopen(req, timeout=30) as r:
            return json.loads(r.read())

    def prepare(self, count, size, content):
        """Fresh service: the author, `count` files waiting of `size` bytes."""
        self.call("/reset", {})
        self.call("/author", {"author": AUTHOR, "password": PASSWORD})
        for i in range(count):
            made = self.call("/pending", {"author": AUTHOR, "content": "",
                                          "name": "d%04d.rtf" % i})
            with open(made["local_path"], "wb") as f:
                f.write(content)
        self.call("/clear", {})

    def stop(self):
        stop_process(self.proc)


def same_bytes(path, content, piece=1 << 24):
    try:
        if os.path.getsize(path) != len(content):
            return False
        view = memoryview(content)
        with open(path, "rb") as f:
            for at in range(0, len(content), piece):
                if f.read(piece) != view[at:at + piece]:
                    return False
        return True
    except OSError:
        return False


def check_whole(client, emu, work, count, content):
    """Every upload on the server and every download on disk, byte for byte; the service told
    of each. Anything less is an error, not a figure."""
    up_dir = emu.info["upload_dir_local"]
    sent = sorted(n for n in os.listdir(os.path.join(work, "src")) if n.endswith(".rtf"))
    bad_up = [n for n in sent if not same_bytes(os.path.join(up_dir, AUTHOR + "_" + n), content)]
    down = os.path.join(work, "down")
    bad_down = [i for i in range(count)
                if not same_bytes(os.path.join(down, "d%04d.rtf" % i), content)]
    s = emu.call("/state")
    told = [n for n in s["notifications"] if n["accepted"] and n["file_present"]]
    if bad_up or bad_down or len(sent) != count or len(told) != count or \
            len(s["confirmations"]) != count:
        raise RuntimeError(
            "%s: %d of %d uploads and %d of %d downloads whole, %d notified, %d confirmed"
            % (client, len(sent) - len(bad_up), count, count - len(bad_down), count,
               len(told), len(s["confirmations"])))
    return s


def _binary_args(emu, work, passive):
    i = emu.info
    return [i["http_origin"], i["https_origin"], i["ca_file"], i["ftp_host"], i["top_dir"],
            AUTHOR, PASSWORD, os.path.join(work, "src") + "/", os.path.join(work, "down") + "/",
            "1" if passive else "0"]


# Put before the equal-work client's command line (agent_pass --strace).
WRAP = []


def run_same_work(emu, work, count, passive):
    out = subprocess.run(WRAP + [os.path.join(BUILD, "bench/bench_floor")] +
                         _binary_args(emu, work, passive),
                         check=True, capture_output=True, text=True).stdout
    return {"cpu_ms": json.loads(out)["cpu_ms"]}


def run_raw(emu, work, count, passive):
    out = subprocess.run([os.path.join(BUILD, "bench/bench_raw")] +
                         _binary_args(emu, work, passive),
                         check=True, capture_output=True, text=True).stdout
    return {"cpu_ms": json.loads(out)["cpu_ms"]}


# A process for each step of each file: the curl tool, basename, cp, chmod.
CURL_LOOP = r"""
set -e
q="-s -S -o /dev/null"
curl $q "$HTTP//"
curl $q --cacert "$CA" "$HTTPS/nimbrel/authorverify.php?username=$AUTHOR&wp=$PASSWORD"
mkdir -p "$SRC/tolvane"
for f in "$SRC"/*.rtf; do
  n=$(basename "$f")
  curl $q $MODE -T "$f" "ftp://nimbrel:qorulimet4@$FTP$UPLOAD${AUTHOR}_$n"
  curl $q "$HTTP/nimbrel/copywav.php?username=$AUTHOR&file=${AUTHOR}_$n&length=0"
  cp "$f" "$SRC/tolvane/$n"; chmod 444 "$f"
done
list=$(curl -s -S --cacert "$CA" "$HTTPS/nimbrel/orbidexdload.php?author=$AUTHOR&nbupw=$PASSWORD")
dir=$(printf '%s' "$list" | sed -n 's/^SourceDir=\([^<]*\).*/\1/p')
printf '%s\n' "$list" | sed -n 's/^file_[0-9]* = "\([^"]*\)".*/\1/p' > "$DOWN/.names"
printf '%s\n' "$list" | sed -n 's/^fileid_[0-9]* = \([^<]*\).*/\1/p' > "$DOWN/.ids"
paste "$DOWN/.names" "$DOWN/.ids" | while IFS="$(printf '\t')" read -r n id; do
  curl -s -S $MODE -o "$DOWN/$n" "ftp://nimbreldn:bexomtu@$FTP$dir/$n"
  curl $q "$HTTP/nimbrel/nbdlsuccess.php?username=$AUTHOR&nbupw=$PASSWORD&fileid=$id"
done
"""


def _env(emu, work, passive):
    i = emu.info
    return dict(os.environ, HTTP=i["http_origin"], HTTPS=i["https_origin"], CA=i["ca_file"],
                FTP=i["ftp_host"], UPLOAD=i["upload_dir"], AUTHOR=AUTHOR, PASSWORD=PASSWORD,
                SRC=os.path.join(work, "src"), DOWN=os.path.join(work, "down"),
                MODE="" if passive else "--ftp-port -")


def run_curl(emu, work, count, passive):
    subprocess.run(["bash", "-c", CURL_LOOP], env=_env(emu, work, passive), check=True)
    return {}


def _lftp(emu, passive, user, commands):
    """One lftp session: the login, then `commands`, as a user's script would run them."""
    script = ["set ftp:ssl-allow no", "set ftp:passive-mode %s" % ("on" if passive else "off"),
              "set net:max-retries 2", "set xfer:clobber on",
              "open -u %s ftp://%s" % (user, emu.info["ftp_host"])] + commands
    subprocess.run(["lftp", "-c", "; ".join(script)], check=True,
                   stdout=subprocess.DEVNULL)


def _curl_many(urls, ca=None):
    """One curl process for all of them: one kept connection."""
    if urls:
        subprocess.run(["curl", "-s", "-S", "-o", "/dev/null"] +
                       (["--cacert", ca] if ca else []) + urls,
                       check=True, stdout=subprocess.DEVNULL)


def run_lftp(emu, work, count, passive, parallel=1):
    """lftp puts every file over one session (each under its remote name), then one curl
    process tells the service of each; the same for the downloads and their confirmations.
    `parallel` above 1: that many sessions at once (mput/mget -P), the remote names given by
    hard links made before the clock starts."""
    i = emu.info
    src, down = os.path.join(work, "src"), os.path.join(work, "down")
    names = sorted(n for n in os.listdir(src) if n.endswith(".rtf"))
    stage = os.path.join(work, "stage")
    if parallel > 1:
        shutil.rmtree(stage, ignore_errors=True)
        os.makedirs(stage)
        for n in names:
            os.link(os.path.join(src, n), os.path.join(stage, "%s_%s" % (AUTHOR, n)))
    curl = ["curl", "-s", "-S", "-o", "/dev/null", "--cacert", i["ca_file"]]
    subprocess.run(curl + [i["http_origin"] + "//"], check=True)
    subprocess.run(curl + ["%s/nimbrel/authorverify.php?username=%s&wp=%s"
                           % (i["https_origin"], AUTHOR, PASSWORD)], check=True)
    if parallel > 1:
        _lftp(emu, passive, "nimbrel,qorulimet4",
              ["lcd " + shlex.quote(stage), "cd " + i["upload_dir"],
               "mput -P %d *.rtf" % parallel])
    else:
        _lftp(emu, passive, "nimbrel,qorulimet4",
              ["lcd " + shlex.quote(src), "cd " + i["upload_dir"]] +
              ["put %s -o %s_%s" % (n, AUTHOR, n) for n in names])
    _curl_many(["%s/nimbrel/copywav.php?username=%s&file=%s_%s&length=0"
                % (i["http_origin"], AUTHOR, AUTHOR, n) for n in names])
    os.makedirs(os.path.join(src, "tolvane"), exist_ok=True)
    subprocess.run("cp *.rtf tolvane/ && chmod 444 *.rtf", shell=True, cwd=src, check=True)
    listing = subprocess.run(
        ["curl", "-s", "-S", "--cacert", i["ca_file"], "%s/nimbrel/orbidexdload.php?author=%s"
         "&nbupw=%s" % (i["https_origin"], AUTHOR, PASSWORD)],
        check=True, capture_output=True, text=True).stdout
    items = dict(line.split(" = ", 1) for line in listing.replace("<br>", "").splitlines()
                 if " = " in line)
    source = listing.split("SourceDir=", 1)[1].split("<br>", 1)[0]
    files = [(items["file_%d" % n].strip('"'), items["fileid_%d" % n])
             for n in range(1, int(items["countoffiles"]) + 1)]
    gets = ["mget -P %d %s" % (parallel, " ".join(n for n, _ in files))] if parallel > 1 else \
        ["get " + n for n, _ in files]
    _lftp(emu, passive, "nimbreldn,bexomtu", ["lcd " + shlex.quote(down), "cd " + source] + gets)
    _curl_many(["%s/nimbrel/nbdlsuccess.php?username=%s&nbupw=%s&fileid=%s"
                % (i["http_origin"], AUTHOR, PASSWORD, fid) for _, fid in files])
    if parallel > 1:
        shutil.rmtree(stage, ignore_errors=True)
    return {}


def run_lftp4(emu, work, count, passive):
    return run_lftp(emu, work, count, passive, parallel=4)


PEERS = {"same": run_same_work, "raw": run_raw, "curl": run_curl, "lftp": run_lftp,
         "lftp4": run_lftp4}

# What each client does, for the report.
LABELS = {
    "agent": "the agent: one session per pass (up to three for a backlog), one web connection per host",
    "same": "libcurl, the agent's commands and connections, nothing else",
    "raw": "bare sockets: one login, per file only EPSV/EPRT + STOR/RETR, kept HTTP",
    "lftp": "lftp over one session per direction, then one curl for all notifications",
    "lftp4": "lftp with four sessions (mput/mget -P 4), then one curl for all notifications",
    "curl": "one process per step: curl, basename, cp, chmod per file",
}
