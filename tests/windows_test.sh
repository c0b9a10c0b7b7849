#!/usr/bin/env bash
# The Windows build of ksr-config under Wine against the Linux build: the same bytes from
# "format" and "build" for every sample and golden set-up, and whole uploads through a Wine COM
# port onto the recorder simulator's pseudo-terminal, with both receivers, checked byte for byte
# and by the order and timing of the line. WINEPREFIX must be set.
# Usage: tests/windows_test.sh LINUX_BUILD WINDOWS_BUILD
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
source "$root/tools/simulator.sh"
linuxBuild="$(cd "$1" && pwd)"
linux="$linuxBuild/app/ksr-config/ksr-config"
windows="$(cd "$2" && pwd)/app/ksr-config/ksr-config.exe"
sim="$linuxBuild/tools/ksr-recorder-sim"
work=$(mktemp -d)
simpid=
trap '[[ -n $simpid ]] && kill $simpid 2>/dev/null; rm -rf "$work"' EXIT
failures=0
fail() { echo "FAILED: $*"; failures=$((failures + 1)); }

# The same bytes from both builds.
for set in "$root"/data/examples/*.set "$root"/tests/data/golden/*.set; do
    name=$(basename "$set")
    for side in linux windows; do
        mkdir -p "$work/$side"
        cp "$root/data/recorder.000" "$set" "$work/$side/"
    done
    (cd "$work/linux" && "$linux" format "$name" > format.out && "$linux" build "$name" > /dev/null 2>&1) || true
    (cd "$work/windows" && wine "$windows" format "$name" > format.out && wine "$windows" build "$name" > /dev/null 2>&1) || true
    for f in format.out recorder.ini SHORTTMP.DAT; do
        cmp -s "$work/linux/$f" "$work/windows/$f" || fail "$name: $f differs between the builds"
    done
    rm -rf "$work/linux" "$work/windows"
done
echo "format and build: $(ls "$root"/data/examples/*.set "$root"/tests/data/golden/*.set | wc -l) set-ups compared"

# The time of the first line of the simulator's log going IN (or OUT) that holds TEXT, from AFTER.
logged() {
    # The text through the environment: awk would read "\x0D" in -v as a control byte.
    dir="$2" text="$3" after="${4:-0}" whole="${5:-}" awk '
        $2 == ENVIRON["dir"] && $1 >= ENVIRON["after"] + 0 {
            rest = substr($0, length($1) + length($2) + 3)
            text = ENVIRON["text"]
            if ((ENVIRON["whole"] != "" && rest == text) || (ENVIRON["whole"] == "" && index(rest, text))) {
                print $1
                exit
            }
        }' "$1"
}
within() {  # NAME VALUE LOW HIGH
    (($2 >= $3 && $2 <= $4)) || fail "$1: $2 ms, not within $3..$4"
}

# COM7 onto the simulator's pseudo-terminal; Wine lists it after a restart.
map_com7() {
    wine reg add 'HKLM\Software\Wine\Ports' /v COM7 /d "$1" /f > /dev/null 2>&1
    wineserver -k > /dev/null 2>&1 || true
    wineserver -w > /dev/null 2>&1 || true
    wineserver -p5 > /dev/null 2>&1 < /dev/null  # a server whose output goes nowhere
}

for receiver in gkermit ckermit; do
    dir="$work/$receiver"
    start_simulator "$sim" "$dir" "$receiver"
    map_com7 "$device"
    wine "$windows" ports | grep -q '^COM7  COM7' || fail "$receiver: ports does not list COM7"
    if [[ $receiver == gkermit ]]; then port="--port COM7"; else port="--com 7"; fi
    code=0
    (cd "$dir" && wine "$windows" upload $port > out.txt 2> err.txt) || code=$?
    stop_simulator
    [[ $code -eq 0 ]] || fail "$receiver: upload exit $code: $(cat "$dir/err.txt" "$dir/out.txt")"
    cmp -s "$dir/rec/recorder.ini" "$dir/recorder.ini" || fail "$receiver: the file differs"
    grep -q "New Data File" "$dir/out.txt" || fail "$receiver: no New Data File answer"
    log="$dir/sim.log"
    etx=$(logged "$log" IN '\x03'); login=$(logged "$log" OUT 'login:')
    root_=$(logged "$log" IN 'root\x0D'); password=$(logged "$log" OUT 'Password:')
    kelp=$(logged "$log" IN 'kelp\x0D'); cd=$(logged "$log" IN 'cd /usr/local/wexo\x0D')
    kermit=$(logged "$log" IN 'kermit -r\x0D'); packet=$(logged "$log" IN '\x01' "$kermit")
    back=$(logged "$log" IN '\x0D' "$packet" whole)
    reconfig=$(logged "$log" IN '/usr/local/wexo/reconfig\x0D')
    seen=$(( login > etx + 200 ? login : etx + 200 ))
    within "$receiver: root after login:" $((root_ - seen)) 990 1150
    within "$receiver: password after Password:" $((kelp - password)) 95 250
    within "$receiver: cd after the password" $((cd - kelp)) 1990 2150
    within "$receiver: kermit -r after cd" $((kermit - cd)) 990 1150
    within "$receiver: first packet after kermit -r" $((packet - kermit)) 990 1150
    within "$receiver: reconfig after the return" $((reconfig - back)) 95 250
    [[ $(grep -c ' IN /usr/local/wexo/reconfig' "$log") -eq 1 ]] || fail "$receiver: not one reconfig"
    echo "$receiver: upload through COM7 under Wine done"
done

# The window: an upload and "Read from KSR" on COM7, typed into the COM field, with both
# receivers (QtTest on the offscreen platform; the Wine prefix's environment names it).
windowTest="$(dirname "$windows")/../../tests/window_com_test.exe"
if [[ -f $windowTest ]]; then
    for receiver in gkermit ckermit; do
        dir="$work/window-$receiver"
        start_simulator "$sim" "$dir" "$receiver"
        map_com7 "$device"
        code=0
        (cd "$dir" && KSR_TEST_COM=7 KSR_TEST_RECEIVED="Z:$dir/rec" \
            wine "$windowTest" -o window.txt,txt > /dev/null 2>&1) || code=$?
        stop_simulator
        if [[ $code -ne 0 ]] || ! grep -q '^Totals: 4 passed, 0 failed, 0 skipped' "$dir/window.txt"; then
            fail "$receiver: the window's upload and read on COM7: $(grep -E 'FAIL|Totals' -A1 "$dir/window.txt")"
        else
            echo "$receiver: the window's upload and Read from KSR through COM7 under Wine done"
        fi
    done
fi
wine reg delete 'HKLM\Software\Wine\Ports' /v COM7 /f > /dev/null 2>&1 || true

# The ZIP for Windows: the programs, Qt's and MinGW's DLLs, the template, the samples and the
# README; it runs as unpacked.
top="$(dirname "$windows")/../.."
rm -f "$top"/ksr-*-windows-x86_64.zip "$top"/ksr-setup-*-win64.exe
(cd "$top" && cpack -G ZIP > /dev/null) || fail "cpack -G ZIP"
zip=$(ls "$top"/ksr-setup-*-windows-x86_64.zip 2>/dev/null | head -1)
if [[ -n $zip ]]; then
    listing=$(unzip -l "$zip")
    for f in ksr-setup.exe ksr-config.exe Qt6Widgets.dll platforms/qwindows.dll libstdc++-6.dll \
        recorder.000 examples/timed.set README-Windows.txt QT-NOTICE.txt LGPL-3.0-only.txt; do
        grep -q "/$f\$" <<< "$listing" || fail "the ZIP has no $f"
    done
    mkdir -p "$work/zip" && unzip -q "$zip" -d "$work/zip"
    wine "$work"/zip/*/ksr-config.exe --version | grep -q '^ksr-config ' || fail "the unpacked ksr-config does not run"
    wine "$work"/zip/*/ksr-setup.exe --version | grep -q '^ksr-setup ' || fail "the unpacked ksr-setup does not run"
    echo "ZIP: $(basename "$zip") holds the programs, their DLLs, the template, the samples and the README"
else
    fail "no ZIP"
fi

# The installer: installed silently, both programs answer from the install folder, the
# Start-menu entry opens the window in %USERPROFILE%\KSR (made on first use with the template
# and the samples; the window drawn by Qt's windows platform on a virtual display), and the
# uninstaller takes it all away again.
(cd "$top" && cpack -G NSIS > /dev/null) || fail "cpack -G NSIS"
installer=$(ls "$top"/ksr-setup-*-win64.exe 2>/dev/null | head -1)
if [[ -n $installer ]]; then
    inst="$WINEPREFIX/drive_c/Program Files/KSR SetUp"
    menu="$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs"
    user="$WINEPREFIX/drive_c/users/$(id -un)/KSR"
    rm -rf "$user"
    wine "$installer" /S > /dev/null 2>&1 || fail "the installer failed"
    wine "$inst/ksr-setup.exe" --version | grep -q '^ksr-setup ' || fail "the installed ksr-setup does not run"
    wine "$inst/ksr-config.exe" --version | grep -q '^ksr-config ' || fail "the installed ksr-config does not run"
    for f in Qt6Core.dll Qt6Gui.dll Qt6Widgets.dll platforms/qwindows.dll styles/qwindowsvistastyle.dll \
        libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll recorder.000 examples/station1.set \
        QT-NOTICE.txt LGPL-3.0-only.txt GPL-3.0-only.txt Uninstall.exe; do
        [[ -f "$inst/$f" ]] || fail "the install folder has no $f"
    done
    [[ ! -f "$inst/Qt6Test.dll" && ! -f "$inst/platforms/qoffscreen.dll" ]] || fail "test DLLs installed"
    link=$(find "$menu" -name 'KSR SetUp.lnk' | head -1)
    [[ -n $link ]] && tr -d '\0' < "$link" | grep -q -- '--user-folder' ||
        fail "no Start-menu entry opening the user folder"
    if command -v xvfb-run > /dev/null; then
        # What the Start-menu entry starts, on a virtual display; the window is left after 10 s.
        (cd "$inst" && timeout 40 xvfb-run -a -s "-screen 0 1280x1024x24" bash -c \
            'wine cmd /c "set QT_QPA_PLATFORM=windows&& ksr-setup.exe --user-folder" > /dev/null 2>&1 &
             sleep 10; wineserver -k' > /dev/null 2>&1) || true
        wineserver -w > /dev/null 2>&1 || true
        wineserver -p5 > /dev/null 2>&1 < /dev/null
        for f in recorder.000 station1.set timed.set; do
            [[ -f "$user/$f" ]] || fail "the first start made no %USERPROFILE%\\KSR\\$f"
        done
    fi
    # The uninstaller hands over to a copy of itself and returns: the server's end says all ended.
    wine "$inst/Uninstall.exe" /S > /dev/null 2>&1 || fail "the uninstaller failed"
    wineserver -w > /dev/null 2>&1 || true
    wineserver -p5 > /dev/null 2>&1 < /dev/null
    [[ ! -e "$inst" ]] || fail "the uninstaller left $(ls "$inst" | head -3)"
    [[ -z $(find "$menu" -name 'KSR SetUp.lnk') ]] || fail "the uninstaller left the Start-menu entry"
    echo "installer: $(basename "$installer") installs, both programs run, the Start-menu entry opens the user folder, uninstalled"
else
    fail "no installer"
fi
[[ $failures -eq 0 ]] || { echo "$failures failures"; exit 1; }
echo "all Windows checks passed"
