#!/usr/bin/env bash
# Times a whole deployment against the recorder simulator: STATIONS recorders (default 40) on
# PORTS cables (default 10), each cable a simulator that plays its recorders one after the other
# (the operator moves the cable after each logout), the receivers alternating gkermit and
# C-Kermit. Per cable the first recorder is new (no recorder.ini; the table pins the cable to
# it), the others run an older recorder.ini. From the table to the report, with --wait.
# Compares with one "ksr-config upload --verify" to one recorder (each receiver, the mean):
# R = deploy / (recorders per cable x one upload).
# Usage: tools/bench-deploy.sh [BUILD_DIR] [STATIONS] [PORTS]
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="$(cd "${1:-$root/build}" && pwd)"
stations=${2:-40}
ports=${3:-10}
per=$(( (stations + ports - 1) / ports ))
exe="$build/app/ksr-config/ksr-config"
sim="$build/tools/ksr-recorder-sim"
work=$(mktemp -d)
pids=()
cleanup() {
    for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
    wait 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

# One simulator; sets `device`. Extra arguments go to the simulator.
start() {
    local dir=$1 receiver=$2; shift 2
    mkdir -p "$dir"
    (cd "$dir" && exec "$sim" --receiver "$receiver" "$@" > sim.dev 2> sim.err) &
    pids+=($!)
    for _ in $(seq 100); do [[ -s $dir/sim.dev ]] && break; sleep 0.05; done
    device=$(head -1 "$dir/sim.dev")
}

# The baseline: one verified upload to one recorder.
one=0
for receiver in gkermit ckermit; do
    dir="$work/one-$receiver"
    mkdir -p "$dir/rec"
    cp "$root/tests/data/golden/timed.recorder.ini" "$dir/recorder.ini"
    start "$dir" "$receiver" --dir rec
    t0=$(date +%s%3N)
    (cd "$dir" && "$exe" upload --verify --port "$device" > out.txt 2> err.txt)
    t1=$(date +%s%3N)
    one=$((one + t1 - t0))
    echo "one upload --verify ($receiver): $((t1 - t0)) ms"
done
one=$((one / 2))

# The table: a template per station (its identity), two shared set-ups.
table="$work/table"
mkdir -p "$table/templates" "$table/setups"
cp "$root/tests/data/golden/field7.set" "$root/tests/data/golden/edge01.set" "$table/setups/"
echo "station,template,setup,port,battery_ah" > "$table/deploy.csv"
devices=()
for ((p = 0; p < ports; ++p)); do
    receiver=gkermit; ((p % 2)) && receiver=ckermit
    args=()
    for ((k = 0; k < per; ++k)); do
        n=$((p * per + k + 1))
        ((n > stations)) && break
        code=$(printf 'S%03d' "$n")
        sed -e "s/^station_code=.*/station_code=$code/" -e "s/^serial_number=.*/serial_number=$((5000 + n))/" \
            "$root/data/recorder.000" > "$table/templates/$code.000"
        rec="$work/cable$p/rec$k"
        mkdir -p "$rec"
        # The older recorder.ini: the template itself (its identity, other settings).
        ((k > 0)) && cp "$table/templates/$code.000" "$rec/recorder.ini"
        if ((k == 0)); then args+=(--dir "rec$k"); else args+=(--then "rec$k"); fi
    done
    start "$work/cable$p" "$receiver" "${args[@]}"
    devices+=(--port "$device")
    for ((k = 0; k < per; ++k)); do
        n=$((p * per + k + 1))
        ((n > stations)) && break
        code=$(printf 'S%03d' "$n")
        setup=setups/field7.set; ((n % 2)) && setup=setups/edge01.set
        pin=; ((k == 0)) && pin=$device
        echo "$code,templates/$code.000,$setup,$pin,38" >> "$table/deploy.csv"
    done
done

t0=$(date +%s%3N)
status=0
"$exe" deploy upload "$table/deploy.csv" --out-dir "$work/out" --wait "${devices[@]}" \
    > "$work/deploy.out" 2> "$work/deploy.err" || status=$?
t1=$(date +%s%3N)
deployed=$(grep -c ',deployed and verified,' "$work/out/deployment.csv" || true)
cat "$work/deploy.out"
if ((status != 0 || deployed != stations)); then
    echo "deploy failed (exit $status, $deployed of $stations deployed)" >&2
    cat "$work/deploy.out" "$work/deploy.err" >&2
    exit 1
fi
ms=$((t1 - t0))
echo "deploy: $stations recorders on $ports cables in $(awk -v ms=$ms 'BEGIN { printf "%.1f", ms / 1000 }') s"
awk -v d=$ms -v one=$one -v per=$per \
    'BEGIN { printf "deploy/(%d x one upload) R %.2f (one upload %d ms)\n", per, d / (per * one), one }'
