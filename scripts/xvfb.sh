# Sourced by the scripts that show windows: start_xvfb starts a private Xvfb
# on a free display and exports DISPLAY when no display is set; stop_xvfb
# stops it again. Both do nothing when a display was already there.
brisko_xvfb_pid=

start_xvfb() {
  [ -n "${DISPLAY:-}" ] && return 0
  local n
  for n in $(seq 90 150); do
    { [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ]; } && continue
    Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
    brisko_xvfb_pid=$!
    for _ in $(seq 100); do
      [ -e "/tmp/.X11-unix/X$n" ] && break
      kill -0 "$brisko_xvfb_pid" 2>/dev/null || break
      sleep 0.05
    done
    if [ -e "/tmp/.X11-unix/X$n" ]; then
      export DISPLAY=":$n"
      return 0
    fi
    kill "$brisko_xvfb_pid" 2>/dev/null || true
    brisko_xvfb_pid=
  done
  echo "cannot start Xvfb" >&2
  return 1
}

stop_xvfb() {
  if [ -n "$brisko_xvfb_pid" ]; then
    kill "$brisko_xvfb_pid" 2>/dev/null || true
    wait "$brisko_xvfb_pid" 2>/dev/null || true
    brisko_xvfb_pid=
    unset DISPLAY
  fi
}
