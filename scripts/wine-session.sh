# Sourced by the scripts that run Windows programs: a display, the project's
# Wine prefix and one persistent, primed wineserver for the whole session.
# Without a persistent server every start waits for a lingering one and piped
# runs can stall.
export WINEARCH=win32 WINEDEBUG=${WINEDEBUG:--all} WINEDLLOVERRIDES="mscoree,mshtml="

_xvfb_pid=""
wine_session_start() {  # prefix
  export WINEPREFIX=$1
  "$ROOT/scripts/wineprefix" "$WINEPREFIX"
  if [ -z "${DISPLAY:-}" ] || ! xdpyinfo >/dev/null 2>&1; then
    local n
    for n in $(seq 90 140); do
      [ -e /tmp/.X$n-lock ] && continue
      Xvfb :$n -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
      _xvfb_pid=$!
      export DISPLAY=:$n
      local i
      for i in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
      xdpyinfo >/dev/null 2>&1 && break
      kill $_xvfb_pid 2>/dev/null || true; _xvfb_pid=""
    done
  fi
  wineserver -p
  wine cmd /c exit >/dev/null 2>&1 || true
  # Wine's desktop process inherits the output of the first program that makes
  # a window and outlives it; started here, it holds no test's pipe.
  if [ -f "$BUILD/bin/desktop_prime.exe" ]; then
    wine "$BUILD/bin/desktop_prime.exe" </dev/null >/dev/null 2>&1 || true
  fi
  trap wine_session_stop EXIT
}

wine_session_stop() {
  wineserver -k 2>/dev/null || true
  wineserver -w 2>/dev/null || true
  [ -n "$_xvfb_pid" ] && kill "$_xvfb_pid" 2>/dev/null || true
  _xvfb_pid=""
}
