#!/usr/bin/env bash
# Builds the programs and runs the window in a scratch working directory (demo/) that holds the
# shipped template recorder.000 and the sample set-ups. Without a display it runs ksr-config on
# the shipped sample instead.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
"$root/scripts/build.sh" "$root/build"

work="$root/demo"
mkdir -p "$work"
cp "$root/data/recorder.000" "$root"/data/examples/*.set "$work/"
cd "$work"

if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
    echo "Starting the set-up window in $work"
    exec "$root/build/app/ksr-setup/ksr-setup"
fi

config="$root/build/app/ksr-config/ksr-config"
simulator="$root/build/tools/ksr-recorder-sim"
echo "No display: the whole job without the window, against the recorder simulator, in $work"
echo "(scripts/screenshots.sh shows the window on a virtual display)."
echo
echo "\$ ksr-config check timed.set"
"$config" check timed.set
echo
echo "\$ ksr-config build timed.set"
"$config" build timed.set
echo
rm -rf recorder && mkdir recorder
"$simulator" --dir recorder --once > simulator.dev &
sim_pid=$!
trap 'kill $sim_pid 2>/dev/null || true' EXIT
for _ in $(seq 50); do [ -s simulator.dev ] && break; sleep 0.1; done
device=$(head -n 1 simulator.dev)
echo "Recorder simulator on $device"
echo "\$ ksr-config upload --port $device"
"$config" upload --port "$device" | tr -d '\r'
echo
if cmp -s recorder.ini recorder/recorder.ini; then
    echo "The recorder received recorder.ini byte for byte ($(wc -c < recorder.ini) bytes)."
else
    echo "The received recorder.ini differs from the one sent!" >&2
    exit 1
fi

# A deployment: three recorders, each with its own template, on two simulated cables; the first
# cable's recorder is new (no recorder.ini yet) and pinned to it in the table.
echo
rm -rf deployment cable1 cable2 templates && mkdir -p templates cable1/new cable2/a cable2/b
for n in 1 2 3; do
    sed -e "s/^station_code=.*/station_code=DEMO$n/" -e "s/^serial_number=.*/serial_number=900$n/" \
        recorder.000 > "templates/DEMO$n.000"
done
cp templates/DEMO2.000 cable2/a/recorder.ini
cp templates/DEMO3.000 cable2/b/recorder.ini
(cd cable1 && exec "$simulator" --dir new > sim.dev) &
sim1=$!
(cd cable2 && exec "$simulator" --dir a --then b --receiver ckermit > sim.dev) &
sim2=$!
trap 'kill $sim_pid $sim1 $sim2 2>/dev/null || true' EXIT
for _ in $(seq 50); do [ -s cable1/sim.dev ] && [ -s cable2/sim.dev ] && break; sleep 0.1; done
cable1=$(head -n 1 cable1/sim.dev)
cable2=$(head -n 1 cable2/sim.dev)
{
    echo "station,template,setup,port,battery_ah"
    echo "DEMO1,templates/DEMO1.000,station1.set,$cable1,100"
    echo "DEMO2,templates/DEMO2.000,timed.set,,100"
    echo "DEMO3,templates/DEMO3.000,timed.set,,100"
} > stations.csv
echo "\$ cat stations.csv"
cat stations.csv
echo "\$ ksr-config deploy check stations.csv"
"$config" deploy check stations.csv
echo "\$ ksr-config deploy upload stations.csv --out-dir deployment --port $cable1 --port $cable2 --wait"
"$config" deploy upload stations.csv --out-dir deployment --port "$cable1" --port "$cable2" --wait
echo "\$ cut -d, -f1,2,7,9 deployment/deployment.csv"
cut -d, -f1,2,7,9 deployment/deployment.csv
