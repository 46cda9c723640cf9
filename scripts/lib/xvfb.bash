# Sourced by the scripts that need a private X display.
#
# start_private_xvfb NAME: starts Xvfb on a free display number (-displayfd),
# waits for it at most 10 s, exports DISPLAY and sets xvfb_pid; on failure
# prints "NAME: Xvfb did not start" and exits 1. The caller stops it by
# xvfb_pid in its exit trap.
start_private_xvfb() {
  local display_file
  display_file=$(mktemp)
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$display_file" 2>/dev/null &
  xvfb_pid=$!
  for _ in $(seq 100); do
    [[ -s $display_file ]] && break
    sleep 0.1
  done
  if [[ ! -s $display_file ]]; then
    rm -f "$display_file"
    echo "$1: Xvfb did not start" >&2
    exit 1
  fi
  DISPLAY=":$(head -n1 "$display_file")"
  export DISPLAY
  rm -f "$display_file"
}
