#!/usr/bin/env bash
# Each program's man page against its --help: every long option and every ksr-config command
# the help names is in the page. Usage: man_page_test.sh MANDIR PROGRAM [PROGRAM ...]
set -u
mandir=$1
shift
passes=0 failures=0
# The long options of a help text: "--name" with letters and dashes.
options() { grep -oE -- '--[a-z][a-z-]*[a-z]' | sort -u; }
for program in "$@"; do
    name=$(basename "$program")
    page="$mandir/$name.1"
    help=$("$program" --help 2>&1)
    if [[ $name == ksr-config ]]; then
        commands=$(sed -n '/^Commands:/,/^$/p' <<< "$help" | awk 'NF && $1 != "Commands:" {print $1}')
        for command in $commands; do
            help+=$'\n'$("$program" help "$command" 2>&1)
            if grep -qE "^\.(B|BI|BR|TP)? ?.*\b$command\b" "$page"; then
                passes=$((passes + 1))
            else
                echo "FAILED: $name(1) lacks the command $command"
                failures=$((failures + 1))
            fi
        done
    fi
    for option in $(options <<< "$help"); do
        # In the page's source a dash is written "\-".
        if grep -qF -- "${option//-/\\-}" "$page"; then
            passes=$((passes + 1))
        else
            echo "FAILED: $name(1) lacks $option"
            failures=$((failures + 1))
        fi
    done
done
echo "$passes passed, $failures failed"
exit $((failures > 0))
