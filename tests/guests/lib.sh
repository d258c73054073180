# lib.sh - what the guests' checks share: verdict lines, running the checks, the driver's use count, diaghost on the guest's modems, slots.
#
# A check sources this file, prints notes ("# ...") and ends with exactly one
# verdict line through pass, fail or skip. /guest/config (written by the
# tier) names the guest's paths; the host sources this file for verdicts
# alone, to read a metrics file in the words of tests/guests/expected.
[ -r /guest/config ] && . /guest/config

note() { echo "# $*"; }
pass() { echo "ok $STEP_NUMBER $STEP_NAME${1:+ # $1}"; exit 0; }
fail() { echo "not ok $STEP_NUMBER $STEP_NAME # $*"; exit 1; }
skip() { echo "ok $STEP_NUMBER $STEP_NAME # SKIP $*"; exit 0; }

# Prints FILE with every line marked as a note, for output worth seeing.
show() { sed 's/^/#   /' "$@"; }

# run_checks DIR: every check in DIR, in name order, each in a shell of its
# own and limited to $STEP_TIMEOUT seconds; the plan line first.
run_checks() {
    set -- "$1"/[0-9][0-9]-*
    echo "1..$#"
    STEP_NUMBER=0
    for step in "$@"; do
        STEP_NUMBER=$((STEP_NUMBER + 1))
        STEP_NUMBER=$STEP_NUMBER STEP_NAME=${step##*/} timeout -s KILL "$STEP_TIMEOUT" sh "$step" </dev/null 2>&1 ||
            echo "# check ${step##*/} ended with status $?"
    done
}

# diaghost on the guest's modems, as its system root has them.
diaghost() { $DIAGHOST ${PACKAGE:+--package "$PACKAGE"} --sysroot "$SYSROOT" "$@"; }

# The renamed converter driver's use count, as the kernel reports it.
use_count() { awk '$1 == "TSYSM" { print $3 }' /proc/modules; }

# Milliseconds since boot (10 ms steps), for the times a check reports.
now_ms() {
    read -r up _ </proc/uptime
    echo $(( ${up%.*} * 1000 + 1${up#*.}0 - 1000 ))
}

# Waits (paced, at most 3 s) until the use count is 0; false if it never is.
wait_released() {
    tries=0
    while [ "$(use_count)" != 0 ]; do
        [ $tries -ge 300 ] && return 1
        sleep 0.01
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

# check_slots JSON: every one of the guest's $MODEMS modems in diaghost's
# JSON document has the slot biosdecode reads from the firmware's table
# (/dev/mem), found through $SLOT_SOURCE; false, with notes, otherwise. The
# notes give the kernel's slot records (/sys/bus/pci/slots) beside them.
check_slots() {
    jq -r '.devices[] | "\(.pci_address) \(.slot) \(.slot_source)"' "$1" >/tmp/slots 2>/tmp/slots.err ||
        { show "$1" /tmp/slots.err; note "the JSON document does not parse"; return 1; }
    biosdecode >/tmp/biosdecode.out 2>&1 || { show /tmp/biosdecode.out; note "biosdecode failed"; return 1; }
    records=""
    for slot in /sys/bus/pci/slots/*/address; do
        [ -e "$slot" ] && records="$records $(basename "$(dirname "$slot")")=$(cat "$slot")"
    done
    note "slot records (name=address):${records:- none}"
    [ "$(wc -l </tmp/slots)" = "$MODEMS" ] || { show "$1"; note "$(wc -l </tmp/slots) modems, not $MODEMS"; return 1; }
    bad=0
    while read -r address slot source; do
        device=${address#0000:}
        device=${device%.*}
        # biosdecode: "Device: 00:04, slot 3" (or "on-board", no slot).
        decoded=$(sed -n "s/^[[:space:]]*Device: $device, slot \([0-9]*\)$/\1/p" /tmp/biosdecode.out)
        record=$(echo "$records" | tr ' ' '\n' | sed -n "s/=0000:$device\$//p")
        note "slot of $address: diaghost $slot from $source, biosdecode ${decoded:-none}, slot records ${record:-none}"
        [ -n "$decoded" ] && [ "$slot" = "$decoded" ] && [ "$source" = "$SLOT_SOURCE" ] || bad=1
    done </tmp/slots
    [ $bad = 0 ] || { note "wanted the firmware's slot from $SLOT_SOURCE for every modem"; show /tmp/biosdecode.out; return 1; }
}
