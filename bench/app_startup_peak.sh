#!/usr/bin/env bash
# Start-up time and peak memory of the real program under Xvfb against the station simulator:
# the time from launch to the first playlist request reaching the station (median of RUNS), and
# the peak resident size of a run that shows a playlist of 10,000 rows.
#   bench/app_startup_peak.sh [BUILD_DIR]    (default build; RUNS=5)
set -euo pipefail
build=$(realpath "${1:-build}")
runs=${RUNS:-5}
work=$(mktemp -d)
sim_pid=""
cleanup() {
  if [ -n "$sim_pid" ]; then kill "$sim_pid" 2>/dev/null || true; wait "$sim_pid" 2>/dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT

for tool in xvfb-run /usr/bin/time; do
  command -v "$tool" >/dev/null || { echo "app_startup_peak: $tool is missing" >&2; exit 1; }
done

# A long playlist: 10,000 tracks of about four minutes.
awk 'BEGIN { for (i = 1; i <= 10000; i++) printf "Title of track %d\t%d:%02d\tSong\tArtist %d\n", i, 3 + i % 3, i % 60, i % 97 }' \
  >"$work/playlist.txt"

# The simulator on a free port, and the application folder whose settings.ini points at it.
mkdir "$work/app"
cp "$build/wavenard" "$build/libquorvane_taglib.so" "$work/app/"
exec {sim_out}< <(exec python3 "$(dirname "$0")/../tests/testsupport/station_harness.py" \
  --station-sim "$build/tools/station-sim/station-sim" --playlist "$work/playlist.txt" --user bench --pass bench \
  --log "$work/requests.log" --settings-folder "$work/app" 2>"$work/sim.err")
sim_pid=$!
read -r url <&"$sim_out" || true
[[ $url == http://* ]] || { echo "app_startup_peak: the simulator did not start" >&2; cat "$work/sim.err" >&2; exit 1; }

# One run: launches the program, waits for its first playlist request (and, with a second
# argument, for the answer to be shown), then ends it as a session end would. Prints the
# milliseconds to the first request and the peak resident size in KiB.
cat >"$work/run.sh" <<'INNER'
set -eu
work=$1
: >"$work/requests.log"
start=$(date +%s%N)
/usr/bin/time -f "%M" -o "$work/time.out" "$work/app/wavenard" 2>/dev/null &
pid=$!
for _ in $(seq 2000); do
  grep -q getplaylist2 "$work/requests.log" && break
  sleep 0.005
done
first=$(date +%s%N)
# Two more polls: the list has been received, shown and replaced at least once.
for _ in $(seq 1500); do
  [ "$(grep -c getplaylist2 "$work/requests.log")" -ge 3 ] && break
  sleep 0.01
done
kill -TERM "$(pgrep -P "$pid" wavenard)" 2>/dev/null || kill -TERM "$pid"
wait "$pid" || true
echo "$(( (first - start) / 1000000 )) $(cat "$work/time.out")"
INNER

results=()
for _ in $(seq "$runs"); do
  results+=("$(xvfb-run -a -s "-screen 0 1024x768x24" bash "$work/run.sh" "$work" 2>/dev/null)")
done
printf '%s\n' "${results[@]}" | sort -n | awk -v runs="$runs" '
  { ms[NR] = $1; if ($2 > peak) peak = $2 }
  END {
    printf "start-up to the first playlist request: median %d ms (min %d, max %d, %d runs)\n", ms[int((NR + 1) / 2)], ms[1], ms[NR], runs
    printf "peak resident size with 10,000 rows: %.1f MiB\n", peak / 1024
  }'
