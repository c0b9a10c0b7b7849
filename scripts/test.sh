#!/usr/bin/env bash
# Builds and runs every test.
# Usage: scripts/test.sh            normal build in build/
#        scripts/test.sh --sanitize AddressSanitizer + UndefinedBehaviorSanitizer build in build-asan/
#        scripts/test.sh --windows  ksr-config and the core cross-built for Windows in
#                                   build-windows/ and tested under Wine
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
if [ "${1:-}" = "--windows" ]; then
    exec "$root/scripts/test-windows.sh"
fi
if [ "${1:-}" = "--sanitize" ]; then
    build="$root/build-asan"
    "$root/scripts/build.sh" "$build" -DKSR_SANITIZE=ON
    export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
    export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
else
    build="$root/build"
    "$root/scripts/build.sh" "$build"
fi
ctest --test-dir "$build" --output-on-failure -j"$(nproc 2>/dev/null || echo 2)"
