#!/usr/bin/env bash
# Times "ksr-config build --out-dir" of 1000 set-ups (the shipped samples under 1000 names), then
# "ksr-config deploy build" of a table of 1000 stations (a template each), and prints the figures. Usage: tools/bench-build.sh [KSR_CONFIG] [COUNT]
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
exe="${1:-$root/build/app/ksr-config/ksr-config}"
count="${2:-1000}"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$root/data/recorder.000" "$work/"
for i in $(seq 1 "$count"); do
    if ((i % 2)); then sample=station1; else sample=timed; fi
    cp "$root/data/examples/$sample.set" "$work/unit$(printf '%03d' "$i").set"
done
cd "$work"
start=$(date +%s%N)
"$exe" build --out-dir fleet --lowest-temp -20 unit*.set > build.log 2>&1
end=$(date +%s%N)
built=$(find fleet -name recorder.ini | wc -l)
ms=$(( (end - start) / 1000000 ))
echo "build --out-dir: $built of $count set-ups built in $((ms / 1000)).$(printf '%03d' $((ms % 1000))) s"
[[ $built -eq $count ]]

# A deployment table of as many stations, each with its own template, two set-ups shared.
mkdir -p t
echo "station,template,setup,battery_ah,lowest_temp" > deploy.csv
for i in $(seq 1 "$count"); do
    code=$(printf 'D%04d' "$i")
    sed -e "s/^station_code=.*/station_code=$code/" -e "s/^serial_number=.*/serial_number=$((10000 + i))/" \
        recorder.000 > "t/$code.000"
    echo "$code,t/$code.000,unit00$((i % 2 + 1)).set,38,-20" >> deploy.csv
done
start=$(date +%s%N)
"$exe" deploy build deploy.csv --out-dir stations > deploy.log
end=$(date +%s%N)
built=$(find stations -name recorder.ini | wc -l)
ms=$(( (end - start) / 1000000 ))
echo "deploy build: $built of $count stations built in $((ms / 1000)).$(printf '%03d' $((ms % 1000))) s"
[[ $built -eq $count ]]
