# Helpers for scripts that drive the client's real window on a private X
# server; sourced, not run.

# start_xvfb FOLDER: starts Xvfb on a display number it picks itself, writes
# its log into FOLDER, exports DISPLAY and sets xvfb_pid (the caller stops it).
start_xvfb() {
  local folder=$1
  rm -f "$folder/display"
  Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3> "$folder/display" > "$folder/xvfb.log" 2>&1 &
  xvfb_pid=$!
  for _ in $(seq 50); do [ -s "$folder/display" ] && break; sleep 0.1; done
  [ -s "$folder/display" ] || { echo "Xvfb did not start"; return 1; }
  export DISPLAY=:$(head -n1 "$folder/display")
}

# find_window TITLE: prints a shown window whose title is exactly TITLE
# (xdotool matches without regard to case, so each hit is compared again).
find_window() {
  local window
  # A search that meets a window in the middle of being made can hang: bounded.
  for window in $(timeout 2 xdotool search --onlyvisible --name "^$1\$" 2>/dev/null || true); do
    [ "$(timeout 2 xdotool getwindowname "$window" 2>/dev/null)" = "$1" ] && { echo "$window"; return 0; }
  done
  return 1
}

# wait_for_window TITLE: find_window, waiting up to ten seconds.
wait_for_window() {
  for _ in $(seq 50); do
    find_window "$1" && return 0
    sleep 0.2
  done
  return 1
}
