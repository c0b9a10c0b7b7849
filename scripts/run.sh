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
echo "No display: running ksr-config on the shipped sample in $work instead of the window"
echo "(scripts/screenshots.sh shows the window on a virtual display)."
echo
echo "\$ ksr-config check timed.set"
"$config" check timed.set
echo
echo "\$ ksr-config build timed.set"
"$config" build timed.set
echo
echo "recorder.ini, the timer section at its end:"
tail -n 12 recorder.ini | tr -d '\r'
