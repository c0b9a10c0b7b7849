# Sourced by the upload benchmark and the Windows tests: the recorder simulator started in a
# folder for one upload of the golden timed recorder.ini.
# start_simulator SIM DIR RECEIVER: DIR/recorder.ini to send, DIR/rec receives, DIR/sim.log logs;
# sets simpid and device. stop_simulator ends it.
start_simulator() {
    mkdir -p "$2/rec"
    cp "$root/tests/data/golden/timed.recorder.ini" "$2/recorder.ini"
    "$1" --dir "$2/rec" --receiver "$3" --log "$2/sim.log" > "$2/sim.dev" &
    simpid=$!
    for _ in $(seq 50); do [[ -s $2/sim.dev ]] && break; sleep 0.1; done
    device=$(head -1 "$2/sim.dev")
}
stop_simulator() {
    kill $simpid; wait $simpid 2>/dev/null || true; simpid=
}
