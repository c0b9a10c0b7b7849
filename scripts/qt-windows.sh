#!/usr/bin/env bash
# Prepares Qt 6 (Core, Gui, Widgets, Test and their plugins) and libvterm for 64-bit Windows in a
# prefix outside the tree, once per machine, for the Windows build of the window:
# - Qt: from ../shared/qt6-mingw/ when its archive is there and its SHA-256 matches, otherwise
#   cross-built from Debian's source package qt6-base (6.4.2) with MinGW-w64; that takes about
#   45 minutes on 2 cores (1,117 steps), with Ninja's progress shown;
# - libvterm: Debian's source package libvterm (0.1.4), its nine C files compiled with MinGW into
#   a static library.
# Prints the prefix on its last line. The prefix is $KSR_QT_WINDOWS, or ~/.cache/ksr-qt6-mingw.
# Usage: scripts/qt-windows.sh
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
prefix="${KSR_QT_WINDOWS:-$HOME/.cache/ksr-qt6-mingw}"
shared="$root/../shared/qt6-mingw"
archive="qt6-base-6.4.2-mingw-w64-x86_64.tar.xz"
qt="$prefix/qt6-mingw"
vterm="$prefix/vterm"

need=()
for p in g++-mingw-w64-x86-64-posix mingw-w64-x86-64-dev qt6-base-dev-tools ninja-build cmake \
    xz-utils dpkg-dev; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q '^install ok installed$' || need+=("$p")
done
sudo=""; [ "$(id -u)" -ne 0 ] && sudo="sudo"
if [ ${#need[@]} -gt 0 ]; then
    echo "Installing missing packages: ${need[*]}" >&2
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${need[@]}"
fi
mkdir -p "$prefix"

# Debian's source packages need a deb-src entry; the machines have binary entries only.
fetch_source() {
    local package="$1" into="$2"
    if ! apt-cache showsrc "$package" 2>/dev/null | grep -q '^Package:'; then
        local uri
        uri=$(grep -hs '^URIs:' /etc/apt/sources.list.d/debian.sources | head -1 | awk '{print $2}')
        [ -n "$uri" ] || uri=http://deb.debian.org/debian
        printf 'Types: deb-src\nURIs: %s\nSuites: bookworm\nComponents: main\nSigned-By: /usr/share/keyrings/debian-archive-keyring.gpg\n' "$uri" |
            $sudo tee /etc/apt/sources.list.d/ksr-src.sources >/dev/null
        $sudo apt-get update -qq
    fi
    mkdir -p "$into"
    (cd "$into" && apt-get source -qq "$package" >/dev/null 2>&1)
}

if [ ! -f "$qt/lib/cmake/Qt6/Qt6Config.cmake" ]; then
    if [ -f "$shared/$archive" ] &&
        [ "$(sha256sum "$shared/$archive" | cut -d' ' -f1)" = "$(cut -d' ' -f1 "$shared/$archive.sha256")" ]; then
        echo "Qt for Windows: unpacking the prebuilt copy from $shared" >&2
        tar -xJf "$shared/$archive" -C "$prefix"
    else
        echo "Qt for Windows: building Debian's qt6-base with MinGW-w64 (about 45 minutes on 2 cores)" >&2
        src="$prefix/src"
        rm -rf "$src"
        fetch_source qt6-base "$src"
        qtsrc=$(find "$src" -maxdepth 1 -type d -name 'qt6-base-*' | head -1)
        toolchain="$prefix/qt-toolchain.cmake"
        sed -e '/CMAKE_CROSSCOMPILING_EMULATOR/d' -e '/CMAKE_EXE_LINKER_FLAGS_INIT/d' \
            "$root/cmake/mingw-w64-x86_64.cmake" > "$toolchain"
        cmake -S "$qtsrc" -B "$src/build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
            -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
            -DCMAKE_INSTALL_PREFIX="$qt" -DCMAKE_BUILD_TYPE=Release -DBUILD_SHARED_LIBS=ON \
            -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF -DQT_QMAKE_TARGET_MKSPEC=win32-g++ \
            -DFEATURE_network=OFF -DFEATURE_sql=OFF -DFEATURE_dbus=OFF -DFEATURE_opengl=OFF \
            -DFEATURE_dynamicgl=OFF -DFEATURE_printsupport=OFF -DFEATURE_concurrent=OFF \
            -DFEATURE_xml=OFF -DFEATURE_tabletevent=OFF -DFEATURE_vulkan=OFF \
            -DFEATURE_system_zlib=OFF -DFEATURE_system_pcre2=OFF -DFEATURE_system_freetype=OFF \
            -DFEATURE_system_harfbuzz=OFF -DFEATURE_system_png=OFF -DFEATURE_system_jpeg=OFF >&2
        cmake --build "$src/build" -j"$(nproc 2>/dev/null || echo 2)" >&2
        cmake --install "$src/build" >/dev/null
        x86_64-w64-mingw32-strip --strip-unneeded "$qt"/bin/*.dll "$qt"/plugins/*/*.dll
        rm -rf "$src"
    fi
fi

if [ ! -f "$vterm/lib/libvterm.a" ]; then
    echo "libvterm for Windows: compiling Debian's libvterm with MinGW-w64" >&2
    src="$prefix/vterm-src"
    rm -rf "$src"
    fetch_source libvterm "$src"
    vsrc=$(find "$src" -maxdepth 1 -type d -name 'libvterm-*' | head -1)
    mkdir -p "$vterm/lib" "$vterm/include" "$src/obj"
    for c in "$vsrc"/src/*.c; do
        x86_64-w64-mingw32-gcc-posix -std=c99 -O2 -I"$vsrc/include" -c "$c" \
            -o "$src/obj/$(basename "${c%.c}").o"
    done
    x86_64-w64-mingw32-ar rcs "$vterm/lib/libvterm.a" "$src"/obj/*.o
    cp "$vsrc"/include/*.h "$vterm/include/"
    rm -rf "$src"
fi
echo "$prefix"
