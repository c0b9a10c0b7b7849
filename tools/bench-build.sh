#!/usr/bin/env bash
# Times "ksr-config build --out-dir" of 1000 set-ups (the shipped samples under 1000 names) and
# prints the figure. Usage: tools/bench-build.sh [KSR_CONFIG] [COUNT]
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
"$exe" build --out-dir fleet --lowest-temp -20 unit*.set > build.log
end=$(date +%s%N)
built=$(find fleet -name recorder.ini | wc -l)
ms=$(( (end - start) / 1000000 ))
echo "build --out-dir: $built of $count set-ups built in $((ms / 1000)).$(printf '%03d' $((ms % 1000))) s"
[[ $built -eq $count ]]
