# lib.sh - what the guest steps share: verdict lines, the driver's use count, diaghost on the guest's sysroot.
#
# A step sources this file, prints notes ("# ...") and ends with exactly one
# verdict line through pass, fail or skip. The host also sources it for
# verdicts, to describe the simulated machine's run in the same words.

SYSROOT=/sysroot
PACKAGE=/opt/modemdiag/lib/diags/modem/pkg.cfg
LOGDIR=/opt/modemdiag/lib/diags/log
RUNLOCKS=$SYSROOT/run/lock

note() { echo "# $*"; }
pass() { echo "ok $STEP_NUMBER $STEP_NAME${1:+ # $1}"; exit 0; }
fail() { echo "not ok $STEP_NUMBER $STEP_NAME # $*"; exit 1; }
skip() { echo "ok $STEP_NUMBER $STEP_NAME # SKIP $*"; exit 0; }

# Prints FILE with every line marked as a note, for output worth seeing.
show() { sed 's/^/#   /' "$1"; }

diaghost() { /opt/modemdiag/bin/diaghost --package "$PACKAGE" --sysroot "$SYSROOT" "$@"; }

# The renamed converter driver's use count, as the kernel reports it.
use_count() { awk '$1 == "TSYSM" { print $3 }' /proc/modules; }

# Milliseconds since boot (10 ms steps), for the times a step reports.
now_ms() {
    read -r up _ </proc/uptime
    echo $(( ${up%.*} * 1000 + 1${up#*.}0 - 1000 ))
}

# Waits (paced, at most 3 s) until the use count is 0; false if it never is.
wait_released() {
    tries=0
    while [ "$(use_count)" != 0 ]; do
        [ $tries -ge 300 ] && return 1
        usleep 10000
        tries=$((tries + 1))
    done
}

# Each test's outcome and code from a --metrics FILE, one test a line:
# "ttySM0 dialtone passed TEST_COMPLETED_SUCCESSFULLY", in the order written.
verdicts() {
    awk '
        /^modemdiag_test_(outcome|code)\{/ {
            tty = $0; sub(/.*tty="\/dev\//, "", tty); sub(/".*/, "", tty)
            test = $0; sub(/.*test="/, "", test); sub(/".*/, "", test)
            key = tty " " test
        }
        /^modemdiag_test_outcome\{/ && / 1$/ {
            outcome[key] = $0; sub(/.*outcome="/, "", outcome[key]); sub(/".*/, "", outcome[key])
            if (!(key in seen)) { seen[key] = 1; order[++n] = key }
        }
        /^modemdiag_test_code\{/ {
            code[key] = $0; sub(/.*code="/, "", code[key]); sub(/".*/, "", code[key])
        }
        END { for (i = 1; i <= n; i++) print order[i], outcome[order[i]], code[order[i]] }
    ' "$1"
}
