#!/usr/bin/env bash
# Crashes the static fixture runner under a 3000-byte program name: the name, cut short, may
# fill a frame's line, but every frame still gets a line of its own.
#
#   crash_report_long_name.sh FIXTURE_RUNNER
set -uo pipefail
fixture=$1
name=$(printf 'n%.0s' {1..3000})
err=$( (VORN_FIXTURE=crash exec -a "$name" "$fixture") 2>&1 >/dev/null)
frames=$(printf '%s\n' "$err" | tail -n +2)
[[ -n $frames ]] || { echo "no frames after the report line:"; printf '%s\n' "$err"; exit 1; }
if printf '%s\n' "$frames" | grep -q -v -E '^(n+\(\+0x[0-9a-f]+\)\[0x[0-9a-f]+\]|n+|\[0x[0-9a-f]+\])$'; then
    echo "a line that is not one frame:"
    printf '%s\n' "$frames" | cut -c1-200
    exit 1
fi
(($(printf '%s\n' "$frames" | grep -c '^n') >= 3)) || { echo "too few frames of the program:"; printf '%s\n' "$err" | cut -c1-200; exit 1; }
echo "crash report: $(printf '%s\n' "$frames" | wc -l) frame lines"
