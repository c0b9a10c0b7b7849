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
