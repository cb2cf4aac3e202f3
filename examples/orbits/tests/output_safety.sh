#!/bin/sh
# How the orbits program treats the files it is asked to write, run as a user would.
#   output_safety.sh <orbits program> <scratch directory> <case>
# Cases: non_regular_targets, same_file, unstable_run, early_failure_and_interrupt.
set -u
orbits=$1
scratch=$2
case_name=$3

failures=0
fail() {
    echo "FAILED: $*" >&2
    failures=$((failures + 1))
}

rm -rf "$scratch"
mkdir -p "$scratch" || exit 1
cd "$scratch" || exit 1

# expect STATUS STDERR-PATTERN -- command...: runs it (at most 60 s) and checks both.
expect() {
    want_status=$1
    want_err=$2
    shift 3
    timeout 60 "$@" >stdout.txt 2>stderr.txt
    got=$?
    [ "$got" -eq "$want_status" ] || fail "$*: exit status $got, expected $want_status ($(cat stderr.txt))"
    [ -z "$want_err" ] || grep -q -e "$want_err" stderr.txt || fail "$*: standard error lacks '$want_err': $(cat stderr.txt)"
}

small_run="--bodies 2 --steps 10"

case $case_name in
non_regular_targets)
    # A symbolic link keeps pointing at its target, which gets the CSV; one that points
    # nowhere yet leads to the file it names.
    echo earlier >target.csv
    ln -s target.csv link.csv
    expect 0 '' -- "$orbits" $small_run --csv link.csv
    [ -L link.csv ] || fail "the symbolic link was replaced"
    head -n 1 target.csv | grep -q '^step,' || fail "the link's target was not written"
    ln -s made.csv dangling.csv
    expect 0 '' -- "$orbits" $small_run --csv dangling.csv
    [ -L dangling.csv ] && [ -f made.csv ] || fail "a dangling link did not lead to its file"

    # A FIFO is written through, and stays a FIFO; without a reader it is an error, not a wait.
    mkfifo pipe
    expect 1 'cannot write pipe: no process is reading from it' -- "$orbits" $small_run --csv pipe
    cat pipe >from_pipe.csv &
    reader=$!
    trap 'kill $reader 2>/dev/null' EXIT
    # The program opens the FIFO without waiting, so the reader must be there first: wait until
    # cat sleeps in its open of the FIFO (state S), which counts it as a reader.
    for _ in $(seq 600); do
        [ "$(cut -d' ' -f3 "/proc/$reader/stat" 2>/dev/null)" = S ] && break
        sleep 0.1
    done
    expect 0 '' -- "$orbits" $small_run --csv pipe --svg picture.svg
    wait $reader
    trap - EXIT
    [ -p pipe ] || fail "the FIFO was replaced"
    [ "$(wc -l <from_pipe.csv)" -eq 7 ] || fail "the FIFO's reader got $(wc -l <from_pipe.csv) lines, not 7"

    # A terminal that cannot be opened (none controls this session) gets the system's reason.
    if [ -c /dev/tty ] && command -v setsid >/dev/null; then
        expect 1 'cannot write /dev/tty: No such device or address' \
            -- setsid -w "$orbits" $small_run --csv /dev/tty
    fi

    # A device is written directly, and a full one is an error. As root, a program with the
    # fault would replace the device node, so it gets copies of /dev/full and /dev/null here.
    if [ "$(id -u)" -ne 0 ]; then
        full=/dev/full null=/dev/null
    elif mknod full c 1 7 && mknod null c 1 3; then
        full=full null=null
    else
        echo "no device nodes can be made here: the device cases are skipped" >&2
        full='' null=''
    fi
    if [ -n "$full" ]; then
        expect 1 "cannot write $full: No space left on device" -- "$orbits" $small_run --csv $full
        expect 1 "cannot write $full: No space left on device" -- "$orbits" $small_run --svg $full
        expect 0 '' -- "$orbits" $small_run --csv $null
        # A later output that fails replaces none of the earlier ones.
        echo earlier >kept.csv
        echo earlier >kept.svg
        expect 1 "cannot write $full: No space left on device" -- "$orbits" $small_run --csv kept.csv --svg $full
        [ "$(cat kept.csv)" = earlier ] || fail "a failed --svg replaced the CSV"
        expect 1 "cannot write $full: No space left on device" \
            -- "$orbits" $small_run --csv kept.csv --svg kept.svg --html $full
        [ "$(cat kept.csv)" = earlier ] && [ "$(cat kept.svg)" = earlier ] ||
            fail "a failed --html replaced the CSV or the SVG"
        [ -z "$(ls | grep '\.part$')" ] || fail "temporary files were left: $(ls)"
        "$orbits" $small_run >$full 2>stderr.txt
        [ $? -eq 1 ] && grep -q 'cannot write to standard output' stderr.txt ||
            fail "a summary lost on a full standard output went unreported"
        [ -c $full ] && [ -c $null ] || fail "a device node was replaced"
    fi
    ;;

same_file)
    # Names of one file, or one name being the other's temporary file, are refused before
    # anything is written.
    echo earlier >a.csv
    ln a.csv hard.csv
    expect 2 "--csv and --svg name the same file ('a.csv' and './a.csv')" -- "$orbits" $small_run --csv a.csv --svg ./a.csv
    expect 2 "--csv and --svg name the same file ('a.csv' and 'hard.csv')" -- "$orbits" $small_run --csv a.csv --svg hard.csv
    expect 2 "--csv 'x.part' names the temporary file of --svg 'x'" -- "$orbits" $small_run --csv x.part --svg x
    expect 2 "--svg 'y.part' names the temporary file of --csv 'y'" -- "$orbits" $small_run --csv y --svg y.part
    [ "$(cat a.csv)" = earlier ] || fail "a.csv was changed"
    [ -z "$(ls | grep -v -e '^a.csv$' -e '^hard.csv$' -e 'txt$')" ] || fail "files were created: $(ls)"
    ;;

unstable_run)
    # A time step too long for a close pass is warned about, and once it makes the state
    # non-finite (as the first-order compat integrator does at 0.5) the run stops with an
    # error and no file is replaced.
    echo earlier >run.csv
    expect 1 'the run became unstable at step [0-9]* .*body [0-9]* has a position or velocity that is not finite or too large to step' \
        -- "$orbits" --integrator compat --dt 0.5 --csv run.csv --svg run.svg
    [ "$(cat run.csv)" = earlier ] || fail "run.csv was changed"
    [ ! -e run.svg ] && [ ! -e run.csv.part ] && [ ! -e run.svg.part ] || fail "files were left: $(ls)"
    grep -q captured stdout.txt && fail "an unstable run reported its captures"
    grep -q 'warning: --dt 0.5 is longer than' stderr.txt || fail "no warning about the time step"
    ;;

early_failure_and_interrupt)
    # An output that cannot be written fails before the simulation, not after it (a run of
    # 100000000 steps far outlasts expect's bound, which then ends it with status 124).
    expect 1 'cannot write /: Is a directory' -- "$orbits" --steps 100000000 --csv /
    expect 1 'cannot create no-such-dir/x.svg.part: No such file or directory' \
        -- "$orbits" --steps 100000000 --csv ok.csv --svg no-such-dir/x.svg
    [ ! -e ok.csv.part ] || fail "ok.csv.part was left behind"

    # SIGTERM during a run removes the temporary files and ends the program by the signal.
    echo earlier >long.csv
    "$orbits" --steps 100000000 --csv long.csv --svg long.svg >/dev/null 2>stderr.txt &
    run=$!
    waited=0
    while [ ! -e long.svg.part ] && [ $waited -lt 600 ]; do
        sleep 0.1
        waited=$((waited + 1))
    done
    [ -e long.csv.part ] && [ -e long.svg.part ] || fail "the temporary files did not appear"
    kill -TERM $run
    wait $run
    status=$?
    [ $status -eq 143 ] || fail "exit status $status after SIGTERM, expected 143 (the signal's)"
    [ "$(cat long.csv)" = earlier ] || fail "long.csv was changed"
    [ ! -e long.csv.part ] && [ ! -e long.svg.part ] && [ ! -e long.svg ] || fail "files were left: $(ls)"
    ;;

*)
    echo "unknown case '$case_name'" >&2
    exit 2
    ;;
esac

[ $failures -eq 0 ] || exit 1
cd / && rm -rf "$scratch"
