#!/usr/bin/env bash
# The window's start-up against a minimal Qt window's on a virtual display (Xvfb): prints the
# medians and `start ours/minimal R`.
# Usage: tools/bench-start.sh [BUILD_DIR] [RUNS]
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${1:-$root/build}"
runs="${2:-21}"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$root/data/recorder.000" "$root"/data/examples/*.set "$work/"
xvfb-run -a -s "-screen 0 1280x1024x24" \
    "$build/tools/bench-start" "$runs" "$build/app/ksr-setup/ksr-setup" "$work"
