#!/usr/bin/env bash
# The bash completion of ksr-config: subcommands, options, values, *.set files, serial devices.
set -u
completion=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
cd "$dir"
touch station1.set timed.set notes.txt stations.csv
mkdir sub
# shellcheck source=/dev/null
source "$completion"
failures=0
passes=0
# offered "what" yes|no "word" words...: whether completing the last of `words` offers `word`.
offered() {
    local what=$1 wanted=$2 word=$3
    shift 3
    COMP_WORDS=("$@")
    COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
    COMPREPLY=()
    _ksr_config
    local found=no
    for w in "${COMPREPLY[@]}"; do [[ $w == "$word" ]] && found=yes; done
    if [[ $found == "$wanted" ]]; then
        echo "ok: $what"
        passes=$((passes + 1))
    else
        echo "FAILED: $what: '$word' offered: $found, in: ${COMPREPLY[*]}"
        failures=$((failures + 1))
    fi
}
expect() { local what=$1; shift; offered "$what" yes "$@"; }
refuse() { local what=$1; shift; offered "$what" no "$@"; }
expect "subcommands" build ksr-config ""
expect "subcommand prefix" upload ksr-config up
expect "the read-back commands" compare ksr-config com
expect "the guard" --guard ksr-config upload --port /dev/ttyUSB0 --g
expect "deploy's steps" upload ksr-config deploy up
expect "a deployment table" stations.csv ksr-config deploy upload ""
expect "every cable waits" --wait ksr-config deploy upload stations.csv --w
expect "set files for set" timed.set ksr-config set t
expect "set files for build" station1.set ksr-config build ""
refuse "only set files" notes.txt ksr-config build ""
expect "folders for set files" sub ksr-config check ""
expect "build options" --lowest-temp ksr-config build station1.set --
expect "lowest temperatures" -25 ksr-config build station1.set --lowest-temp ""
expect "value after --name= as one word" -20 ksr-config build --lowest-temp=-2
expect "value after --name= split at =" -20 ksr-config build --lowest-temp = -2
expect "value right after =" -30 ksr-config build --lowest-temp =
expect "power options" --battery ksr-config power --b
expect "power temperatures" -40 ksr-config power --temperature ""
expect "upload options" --login-timeout ksr-config upload --lo
expect "com numbers" 3 ksr-config upload --com ""
expect "help topics" power ksr-config help p
expect "new subcommands" ports ksr-config po
expect "set files for diff" timed.set ksr-config diff station1.set ""
expect "folders for --out-dir" sub ksr-config build --out-dir ""
expect "upload from a folder" --verify ksr-config upload --v
ln -s /dev/null "$dir/ttyUSB9"
expect "a typed device path" "$dir/ttyUSB9" ksr-config upload --port "$dir/tty"
echo "$passes passed, $failures failed"
exit $((failures > 0))
