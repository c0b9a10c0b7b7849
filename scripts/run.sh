#!/usr/bin/env bash
# Builds the programs and runs them in a scratch working directory that holds the shipped
# template recorder.000 and the sample set-ups.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
"$root/scripts/build.sh" "$root/build"

work="$root/demo"
mkdir -p "$work"
cp "$root/data/recorder.000" "$root"/data/examples/*.set "$work/"
cd "$work"
config="$root/build/app/ksr-config/ksr-config"

echo "The set-up window is not built yet: this runs ksr-config on the shipped sample"
echo "in $work"
echo
echo "\$ ksr-config check timed.set"
"$config" check timed.set
echo
echo "\$ ksr-config build timed.set"
"$config" build timed.set
echo
echo "recorder.ini, the timer section at its end:"
tail -n 12 recorder.ini | tr -d '\r'
