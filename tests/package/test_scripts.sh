#!/usr/bin/env bash
# The developer scripts as a person meets them: scripts/build-packages'
# usage and its errors (both before it installs or builds anything), and
# the progress that scripts/test shows while a preset builds and tests.
#
#   test_scripts.sh SOURCE_DIR
set -u
source_dir=$1
failed=0
fail() { echo "$*"; failed=1; }

# --- scripts/build-packages: ARGS, exit status, text on stdout, on stderr
errors=$(mktemp)
while IFS='|' read -r line want_status want_out want_err; do
    read -ra args <<<"$line"
    out=$("$source_dir/scripts/build-packages" "${args[@]}" 2>"$errors")
    status=$?
    err=$(cat "$errors")
    [ "$status" = "$want_status" ] || fail "build-packages $line: status $status, want $want_status"
    [[ $out == *"$want_out"* ]] || fail "build-packages $line: stdout lacks '$want_out': $out"
    if [ -n "$want_err" ]; then
        [[ $err == *"$want_err"* ]] || fail "build-packages $line: stderr lacks '$want_err': $err"
    else
        [ -z "$err" ] || fail "build-packages $line: unexpected stderr: $err"
    fi
done <<'CASES'
--help|0|Usage: scripts/build-packages [ARCH...]|
-h|0|apt install ./build/deb/amd64/modemdiag_VERSION_amd64.deb|
--nocheck|64||unknown option '--nocheck' (try --help)
arm64|64||no packages for 'arm64'
i386 arm64|64||no packages for 'arm64'
CASES
rm -f "$errors"

# --- scripts/test's progress, from a build's and a test run's output
# shellcheck source=scripts/prerequisites
. "$source_dir/scripts/prerequisites"
run_output='-- Configuring done
[1/8] Building CXX object a.o
[2/8] Building CXX object b.o
[5/8] Building CXX object c.o
[8/8] Linking CXX executable d
Test project /tree/build/dev
    Start 1: diag_tests
1/3 Test #1: diag_tests .......................   Passed    0.52 sec
    Start 2: vm.i386
2/3 Test #2: vm.i386 ..........................***Skipped   0.01 sec
[  FAILED  ] Cli.Version
[7/9] a line of the failed case'"'"'s own output
3/3 Test #3: host_cli_tests ...................***Failed    1.20 sec

67% tests passed, 1 tests failed out of 3'
want_lines='=== dev: build 2/8
=== dev: build 5/8
=== dev: build 8/8
1/3 Test #1: diag_tests .......................   Passed    0.52 sec
2/3 Test #2: vm.i386 ..........................***Skipped   0.01 sec
3/3 Test #3: host_cli_tests ...................***Failed    1.20 sec'
got=$(show_progress dev lines <<<"$run_output")
[ "$got" = "$want_lines" ] || fail "progress in a pipe:"$'\n'"$got"$'\n'"want:"$'\n'"$want_lines"

# On a terminal: redrawn in place, the failed test on a line of its own,
# the last count left standing.
got=$(show_progress dev tty <<<"$run_output")
lines=$(printf '%s' "$got" | tr '\r' '\n' | sed 's/\x1b\[K//' | grep -v '^$')
[ "$(printf '%s\n' "$got" | wc -l)" = 2 ] || fail "progress on a terminal: not two lines: $(printf '%q' "$got")"
grep -qx '3/3 Test #3: host_cli_tests ...................\*\*\*Failed    1.20 sec' <<<"$lines" ||
    fail "progress on a terminal: the failed test is not shown: $lines"
[ "$(tail -n 1 <<<"$lines")" = "=== dev: test 3/3, 1 failed, 1 skipped: host_cli_tests" ] ||
    fail "progress on a terminal ends with: $(tail -n 1 <<<"$lines")"
grep -q 'build 7/9' <<<"$lines" && fail "progress on a terminal: a test's output taken for the build's"

[ $failed = 0 ] && echo "the scripts' usage and progress are as expected"
exit $failed
