#!/usr/bin/env bash
# Cross-builds the window, ksr-config and their tests for 64-bit Windows with MinGW-w64 and Qt 6
# for Windows (scripts/qt-windows.sh prepares it) into build-windows/ and runs them under Wine,
# with a Wine prefix inside that folder; then compares the Windows ksr-config with the Linux one,
# uploads and reads through a Wine COM port to the recorder simulator from both programs, and
# checks the ZIP and the installer (tests/windows_test.sh). Installs what it needs, only where
# missing.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="$root/build-windows"

need=()
for p in g++-mingw-w64-x86-64-posix mingw-w64-x86-64-dev wine64 wine googletest cmake make nsis \
    unzip fonts-dejavu-core; do
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
qt=$("$root/scripts/qt-windows.sh" | tail -1)

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

# Qt's and MinGW's DLLs for the programs that run while building (the tests' listing).
export WINEPATH="Z:$qt/qt6-mingw/bin;Z:/usr/lib/gcc/x86_64-w64-mingw32/12-posix;Z:/usr/x86_64-w64-mingw32/lib"
# Wine hands no QT_* variable of this environment to its programs: the window's tests get the
# offscreen platform and fonts through the Windows environment of the prefix.
wine reg add 'HKCU\Environment' /v QT_QPA_PLATFORM /d offscreen /f > /dev/null 2>&1
wine reg add 'HKCU\Environment' /v QT_QPA_FONTDIR /d 'Z:\usr\share\fonts\truetype\dejavu' /f \
    > /dev/null 2>&1
# A folder configured before the window was built for Windows starts again.
if [ -f "$build/CMakeCache.txt" ] && ! grep -q 'KSR_WITH_WINDOW:BOOL=ON' "$build/CMakeCache.txt"; then
    rm -rf "$build/CMakeCache.txt" "$build/CMakeFiles"
fi
cmake -S "$root" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64-qt.cmake" \
      -DKSR_QT_WINDOWS="$qt" -DKSR_WITH_WINDOW=ON -DCMAKE_BUILD_TYPE=Release > /dev/null
cmake --build "$build" -j"$(nproc 2>/dev/null || echo 2)"
# A test that fails is run once more: now and then Wine fails to start a program at all (no
# output, "wine client error"); a real failure fails twice.
ctest --test-dir "$build" --output-on-failure --repeat until-pass:2 -j"$(nproc 2>/dev/null || echo 2)"
bash "$root/tests/windows_test.sh" "$root/build" "$build"
