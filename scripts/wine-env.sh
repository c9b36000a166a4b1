# Sourced by the run and test scripts: one private Wine prefix under the build
# folder, an X display (Xvfb when none is given) and one persistent wineserver.
# wine_env_up starts only what is missing and records what it started;
# wine_env_down ends exactly that, by PID or by this prefix's wineserver.

VOSK_ROOT=${VOSK_ROOT:-$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)}
VOSK_BUILD=${VOSK_BUILD:-$VOSK_ROOT/build}
export WINEPREFIX=${WINEPREFIX:-$VOSK_BUILD/wineprefix}
export WINEDEBUG=${WINEDEBUG:--all}
# No Mono or Gecko installers popping up in a headless prefix.
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}

if [ -x /usr/lib/wine/wine64 ]; then VOSK_WINE=/usr/lib/wine/wine64
else VOSK_WINE=$(command -v wine64 || command -v wine); fi
if [ -x /usr/lib/wine/wineserver64 ]; then VOSK_WINESERVER=/usr/lib/wine/wineserver64
else VOSK_WINESERVER=$(command -v wineserver); fi
export VOSK_WINE VOSK_WINESERVER

_vosk_started_xvfb=""
_vosk_started_wineserver=""

wine_env_up() {
  mkdir -p "$VOSK_BUILD"
  if [ -z "${DISPLAY:-}" ]; then
    local fd_file="$VOSK_BUILD/.xvfb-display"
    rm -f "$fd_file"
    Xvfb -displayfd 3 -nolisten tcp -screen 0 1280x1024x24 3>"$fd_file" >/dev/null 2>&1 &
    _vosk_started_xvfb=$!
    local i
    for i in $(seq 1 100); do [ -s "$fd_file" ] && break; sleep 0.05; done
    [ -s "$fd_file" ] || { echo "wine-env: Xvfb did not start" >&2; return 1; }
    export DISPLAY=":$(head -n1 "$fd_file")"
  fi
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "wine-env: creating the Wine prefix $WINEPREFIX (once)" >&2
    "$VOSK_WINE" wineboot -i >/dev/null 2>&1 || true
    "$VOSK_WINESERVER" -w
  fi
  if ! "$VOSK_WINESERVER" -k0 2>/dev/null; then :; fi
  "$VOSK_WINESERVER" -p
  _vosk_started_wineserver=1
  # Start Wine's own services now, with no inherited output: started later by a
  # test they would hold the test's output pipe open and ctest would wait forever.
  "$VOSK_WINE" wineboot </dev/null >/dev/null 2>&1 || true
}

wine_env_down() {
  if [ -n "$_vosk_started_wineserver" ]; then
    "$VOSK_WINESERVER" -k 2>/dev/null || true
    _vosk_started_wineserver=""
  fi
  if [ -n "$_vosk_started_xvfb" ]; then
    kill "$_vosk_started_xvfb" 2>/dev/null || true
    wait "$_vosk_started_xvfb" 2>/dev/null || true
    _vosk_started_xvfb=""
  fi
}
