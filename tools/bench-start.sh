#!/usr/bin/env bash
# The window's start-up against a minimal Qt window's on a virtual display (Xvfb): prints the
# medians and `start ours/minimal R`. With --wine, the Windows builds of both (build-windows/)
# under Wine, drawn by Qt's windows platform.
# Usage: tools/bench-start.sh [--wine] [BUILD_DIR] [RUNS]
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
wine=
if [ "${1:-}" = "--wine" ]; then
    wine=1
    shift
fi
runs="${2:-21}"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$root/data/recorder.000" "$root"/data/examples/*.set "$work/"
if [ -z "$wine" ]; then
    build="${1:-$root/build}"
    xvfb-run -a -s "-screen 0 1280x1024x24" "$build/tools/bench-start" "$runs" \
        "$build/tools/bench-start-minimal" "$build/app/ksr-setup/ksr-setup" "$work"
    exit
fi
windows="$(cd "${1:-$root/build-windows}" && pwd)"
export WINEPREFIX="$windows/wine" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
# The server and Wine's helpers first, apart: started by a measured program they would hold its
# report's pipe open.
xvfb-run -a -s "-screen 0 1280x1024x24" bash -c '
    wineserver -p > /dev/null 2>&1 < /dev/null
    wine cmd /c exit > /dev/null 2>&1 < /dev/null || true
    "$1/tools/bench-start" --wine "$2" "Z:$3/tools/bench-start-minimal.exe" \
        "Z:$3/app/ksr-setup/ksr-setup.exe" "Z:$4"
    status=$?
    wineserver -k > /dev/null 2>&1 || true
    exit $status' bash "$root/build" "$runs" "$windows" "$work"
