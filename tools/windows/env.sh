# Sourced by tools/setup and tools/windows/*: where the cross-built Windows libraries live.
# They take half an hour of CPU, so they are built once per machine under /var/cache (root, as
# tools/setup runs apt anyway) and shared by every checkout; an author without root keeps his own
# under ~/.cache. ORBIDEX_WINDOWS_CACHE overrides both. The key names every input: a new source
# version, compiler or recipe gets a folder of its own, never a half-updated one.
win_qt_version=6.4.2+dfsg-10
win_curl_upstream=7.88.1
win_sndfile_upstream=1.2.0
win_recipe=2  # raise when build-libs changes what it builds

win_key() {
  local gcc gtest
  gcc=$(x86_64-w64-mingw32-g++-posix -dumpversion 2>/dev/null) || return 1
  gtest=$(dpkg-query -W -f='${Version}' googletest 2>/dev/null) || return 1
  echo "qt${win_qt_version%%+*}-curl$win_curl_upstream-sndfile$win_sndfile_upstream-gtest${gtest%%-*}-gcc$gcc-r$win_recipe"
}

win_cache_root() {
  if [ -n "${ORBIDEX_WINDOWS_CACHE:-}" ]; then echo "$ORBIDEX_WINDOWS_CACHE"
  elif [ "$(id -u)" -eq 0 ]; then echo /var/cache/orbidex-windows
  else echo "${XDG_CACHE_HOME:-$HOME/.cache}/orbidex-windows"; fi
}

# The folder of this key, whether built or not; "" when the compiler is missing.
win_dir() {
  local key
  key=$(win_key) || { echo ""; return; }
  local root
  root=$(win_cache_root)
  # Root's machine-wide copy serves everybody; a private one only when that is absent.
  if [ -z "${ORBIDEX_WINDOWS_CACHE:-}" ] && [ ! -f "$root/$key/done" ] &&
     [ -f "/var/cache/orbidex-windows/$key/done" ]; then
    root=/var/cache/orbidex-windows
  fi
  echo "$root/$key"
}
