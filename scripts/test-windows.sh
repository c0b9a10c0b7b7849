#!/usr/bin/env bash
# Cross-builds the core, ksr-config and their tests for 64-bit Windows with MinGW-w64 into
# build-windows/ and runs them under Wine, with a Wine prefix inside that folder; then compares
# the Windows ksr-config with the Linux one and uploads through a Wine COM port to the recorder
# simulator (tests/windows_test.sh). Installs what it needs, only where missing.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="$root/build-windows"

need=()
for p in g++-mingw-w64-x86-64-posix mingw-w64-x86-64-dev wine64 wine googletest cmake make; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q '^install ok installed$' || need+=("$p")
done
if [ ${#need[@]} -gt 0 ]; then
    sudo=""; [ "$(id -u)" -ne 0 ] && sudo="sudo"
    echo "Installing missing packages: ${need[*]}"
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${need[@]}"
fi

# The Linux build gives the simulator and the bytes to compare with.
"$root/scripts/build.sh" "$root/build"

export WINEPREFIX="$build/wine" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
mkdir -p "$build"
if [ ! -f "$WINEPREFIX/system.reg" ]; then
    wineboot -i > /dev/null 2>&1
    wineserver -w
fi
# One server for all the test programs: many short Wine processes at once otherwise race its
# start and end.
# Wine's helper processes start with the first program and live as long as the server: started
# here, their output goes nowhere instead of holding a test's output open.
wineserver -p > /dev/null 2>&1 < /dev/null
wine cmd /c exit > /dev/null 2>&1 < /dev/null || true
trap 'wineserver -k > /dev/null 2>&1 || true' EXIT

cmake -S "$root" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" \
      -DKSR_WITH_WINDOW=OFF -DCMAKE_BUILD_TYPE=Release > /dev/null
cmake --build "$build" -j"$(nproc 2>/dev/null || echo 2)"
# A test that fails is run once more: now and then Wine fails to start a program at all (no
# output, "wine client error"); a real failure fails twice.
ctest --test-dir "$build" --output-on-failure --repeat until-pass:2 -j"$(nproc 2>/dev/null || echo 2)"
bash "$root/tests/windows_test.sh" "$root/build" "$build"
