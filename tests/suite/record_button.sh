#!/usr/bin/env bash
# Wavenard's Record button opens the recorder from the application folder, with "-wavenard".
# Run inside xvfb-run: record_button.sh WAVENARD PELLORIN TAGLIB
set -euo pipefail

app_dir=$(mktemp -d)
wavenard_pid=""
pellorin_pid=""
finish() {
  for pid in $pellorin_pid $wavenard_pid; do
    kill "$pid" 2>/dev/null || true
  done
  wait 2>/dev/null || true
  rm -rf "$app_dir"
}
trap finish EXIT

fail() {
  echo "FAILED: $1"
  exit 1
}

# Waits up to 15 s for a visible window whose title is exactly $1 and prints its id.
wait_for_window() {
  local id
  for _ in $(seq 150); do
    if id=$(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -n1) && [ -n "$id" ]; then
      echo "$id"
      return 0
    fi
    sleep 0.1
  done
  return 1
}

cp "$1" "$2" "$3" "$app_dir/"
"$app_dir/wavenard" &
wavenard_pid=$!
window=$(wait_for_window Wavenard) || fail "no Wavenard window"
# The Record button is the first of the tool bar: 40 x 38 at 3, 3.
xdotool mousemove --window "$window" --sync 23 22 click 1
recorder=$(wait_for_window Pellorin) || fail "Record did not open the recorder"
pellorin_pid=$(xdotool getwindowpid "$recorder")
command_line=$(tr '\0' ' ' <"/proc/$pellorin_pid/cmdline")
[ "$command_line" = "$app_dir/pellorin -wavenard " ] || fail "the recorder was started as: $command_line"
echo "Record opened: $command_line"
