#!/usr/bin/env bash
# Times a whole "ksr-config upload" to the recorder simulator with each receiver and compares it
# ("written") with the least the dialogue can take on the same recorder: its fixed pauses (200 + 200
# + 1000 + 100 + 2000 + 1000 + 1000 ms before the first packet, 100 ms between the return and
# the reconfigure command) plus what the recorder itself takes (each prompt's answer, the
# transfer, and the receiver's exit until the shell's prompt is back, before which a return is
# lost). "ours" runs from the start of the program to the reconfigure command on the line.
# Usage: tools/bench-upload.sh [BUILD_DIR]
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
source "$root/tools/simulator.sh"
build="$(cd "${1:-$root/build}" && pwd)"
exe="$build/app/ksr-config/ksr-config"
sim="$build/tools/ksr-recorder-sim"
work=$(mktemp -d)
simpid=
trap '[[ -n $simpid ]] && kill $simpid 2>/dev/null; rm -rf "$work"' EXIT
worst=0
for receiver in gkermit ckermit; do
    dir="$work/$receiver"
    start_simulator "$sim" "$dir" "$receiver"
    start=$(date +%s%3N)
    (cd "$dir" && "$exe" upload --port "$device" > out.txt 2> err.txt)
    end=$(date +%s%3N)
    stop_simulator
    read -r ours written < <(awk -v start="$start" '
        $2 == "IN" && $3 == "\\x03" && !etx { etx = $1 }
        $2 == "OUT" && /login: / && etx && !login { login = $1 }
        $2 == "IN" && $3 == "root\\x0D" { root = $1 }
        $2 == "OUT" && /Password: / && root && !password { password = $1 }
        $2 == "IN" && /^[0-9]+ IN \\x01/ { if (!first) first = $1; last = $1 }
        $2 == "OUT" && /wexo# $/ && last && !back { back = $1 }
        $2 == "IN" && /reconfig\\x0D$/ { reconfig = $1 }
        END {
            recorder = (login - etx) + (password - root) + (last - first) + (back - last)
            print reconfig - start, 200 + 200 + 1000 + 100 + 2000 + 1000 + 1000 + 100 + recorder
        }' "$dir/sim.log")
    ratio=$(awk -v a="$ours" -v b="$written" 'BEGIN { printf "%.3f", a / b }')
    echo "$receiver: whole upload $(awk -v ms=$((end - start)) 'BEGIN { printf "%.2f", ms / 1000 }') s;" \
         "to the reconfigure command ${ours} ms, written least ${written} ms;" \
         "upload ours/written $ratio"
    grep -q "New Data File" "$dir/out.txt" || { echo "$receiver: no New Data File answer" >&2; exit 1; }
    worst=$(awk -v a="$ratio" -v w="$worst" 'BEGIN { print (a > w) ? a : w }')
done
echo "upload ours/written (worst of both receivers) $worst"
