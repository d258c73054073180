#!/usr/bin/env bash
# The developer scripts as a person meets them: scripts/build-packages'
# usage and its errors (both before it installs or builds anything).
#
#   test_scripts.sh SOURCE_DIR
set -u
source_dir=$1
failed=0
fail() { echo "$*"; failed=1; }

# --- scripts/build-packages: ARGS, exit status, text on stdout, on stderr
while IFS='|' read -r args want_status want_out want_err; do
    out=$("$source_dir/scripts/build-packages" $args 2>/tmp/build-packages-err.$$)
    status=$?
    err=$(cat /tmp/build-packages-err.$$)
    [ "$status" = "$want_status" ] || fail "build-packages $args: status $status, want $want_status"
    [[ $out == *"$want_out"* ]] || fail "build-packages $args: stdout lacks '$want_out': $out"
    if [ -n "$want_err" ]; then
        [[ $err == *"$want_err"* ]] || fail "build-packages $args: stderr lacks '$want_err': $err"
    else
        [ -z "$err" ] || fail "build-packages $args: unexpected stderr: $err"
    fi
done <<'CASES'
--help|0|Usage: scripts/build-packages [ARCH...]|
-h|0|apt install ./build/deb/amd64/modemdiag_VERSION_amd64.deb|
--nocheck|64||unknown option '--nocheck' (try --help)
arm64|64||no packages for 'arm64'
i386 arm64|64||no packages for 'arm64'
CASES
rm -f /tmp/build-packages-err.$$

[ $failed = 0 ] && echo "the scripts' usage is as expected"
exit $failed
