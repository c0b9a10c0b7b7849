#!/usr/bin/env bash
# Pictures of the window for the README, taken on a virtual display (Xvfb) into docs/.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
"$root/scripts/build.sh" "$root/build"
xvfb-run -a -s "-screen 0 1280x1024x24" "$root/build/tools/ksr-screenshots" "$root/data" "$root/docs" \
    "$root/build/tools/ksr-recorder-sim"
ls -l "$root"/docs/*.png
