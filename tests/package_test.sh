#!/usr/bin/env bash
# Builds the Debian package with cpack and checks what it holds.
set -u
build="$1"
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
if ! (cd "$build" && cpack -G DEB -B "$out" > "$out/cpack.log" 2>&1); then
    cat "$out/cpack.log"
    echo "0 passed, 1 failed"
    exit 1
fi
deb=$(ls "$out"/*.deb)
listing=$(dpkg-deb -c "$deb" | awk '{print $6}')
passes=0 failures=0
check() {
    if eval "$2"; then echo "ok: $1"; passes=$((passes + 1)); else echo "FAILED: $1"; failures=$((failures + 1)); fi
}
holds() { grep -qx "./usr/$1" <<< "$listing"; }
check "ksr-setup" 'holds bin/ksr-setup'
check "ksr-config" 'holds bin/ksr-config'
check "the recorder simulator" 'holds bin/ksr-recorder-sim'
check "man pages, compressed" 'holds share/man/man1/ksr-config.1.gz && holds share/man/man1/ksr-setup.1.gz && holds share/man/man1/ksr-recorder-sim.1.gz'
check "changelog" 'holds share/doc/ksr-setup/changelog.gz'
check "bash completion" 'holds share/bash-completion/completions/ksr-config'
check "desktop entry" 'holds share/applications/ksr-setup.desktop'
check "icon" 'holds share/icons/hicolor/scalable/apps/ksr-setup.svg'
check "template and samples" 'holds share/ksr-setup/recorder.000 && holds share/ksr-setup/examples/station1.set && holds share/ksr-setup/examples/timed.set'
check "copyright" 'holds share/doc/ksr-setup/copyright'
check "AppStream metainfo" 'holds share/metainfo/org.example.ksr_setup.metainfo.xml'
check "bash-completion recommended" '[[ $(dpkg-deb -f "$deb" Recommends) == *bash-completion* ]]'
depends=$(dpkg-deb -f "$deb" Depends)
check "computed dependencies (Qt, libvterm)" '[[ $depends == *libqt6widgets6* && $depends == *libvterm0* ]]'
check "no Qt SerialPort: one serial layer of its own" '[[ $depends != *serialport* ]]'
dpkg-deb -x "$deb" "$out/root"
validation=$(desktop-file-validate "$out/root/usr/share/applications/ksr-setup.desktop" 2>&1)
validated=$?
check "desktop entry validates without errors, warnings or hints" '[[ $validated -eq 0 && -z $validation ]]'
[[ -n $validation ]] && echo "$validation"
check "desktop entry has the icon and the user folder" 'grep -qx "Icon=ksr-setup" "$out/root/usr/share/applications/ksr-setup.desktop" && grep -qx "Exec=ksr-setup --user-folder" "$out/root/usr/share/applications/ksr-setup.desktop"'
appstream=$(appstreamcli validate --no-net "$out/root/usr/share/metainfo/org.example.ksr_setup.metainfo.xml" 2>&1)
check "AppStream metainfo validates, with a screenshot" '[[ $appstream == *"Validation was successful"* ]] && grep -q "<screenshot" "$out/root/usr/share/metainfo/org.example.ksr_setup.metainfo.xml"'
[[ $appstream == *"Validation was successful"* ]] || echo "$appstream"
# lintian: no error and no warning (its informational notes are left).
findings=$(lintian "$deb" 2>&1 | grep -E '^[EW]: ')
check "lintian finds no error or warning" '[[ -z $findings ]]'
[[ -n $findings ]] && echo "$findings"
check "installed program finds its template" 'env -u DISPLAY QT_QPA_PLATFORM= "$out/root/usr/bin/ksr-setup" --version | grep -q "^ksr-setup "'
echo "$passes passed, $failures failed"
exit $((failures > 0))
