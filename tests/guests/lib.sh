# lib.sh - what the guests' checks share: verdict lines, running the checks, the modems' system root, the driver's use count, diaghost on the guest's modems, slots.
#
# A check sources this file, prints notes ("# ...") and ends with exactly one
# verdict line through pass, fail or skip. /guest/config (written by the
# tier) names the guest's paths; the host sources this file for verdicts
# alone, to read a metrics file in the words of tests/guests/expected.
# shellcheck disable=SC2034 # diaghost's paths and run_diag's results are the checks' to use
if [ -r /guest/config ]; then
    . /guest/config
    # A check run for another build of the guest (GUEST_BUILD, set by
    # run_checks) takes that build's paths from its own config.
    [ -n "${GUEST_BUILD:-}" ] && . "/guest/config.$GUEST_BUILD"
    diagnostic_log=$LOGDIR/TSYmodemDiagnostic.log
    enumerator_log=$LOGDIR/TSYmodemDeviceEnumerator.log
    # diaghost on the guest's modems, as its system root has them.
    diaghost_command="$DIAGHOST ${PACKAGE:+--package $PACKAGE} --sysroot $SYSROOT"
fi

note() { echo "# $*"; }
pass() { echo "ok $STEP_NUMBER $STEP_NAME${1:+ # $1}"; exit 0; }
fail() { echo "not ok $STEP_NUMBER $STEP_NAME # $*"; exit 1; }
skip() { echo "ok $STEP_NUMBER $STEP_NAME # SKIP $*"; exit 0; }
# The guest's set-up failed: the host stops waiting for it.
setup_failed() {
    echo "guest: setup failed: $*"
    exit 1
}

# Prints FILE with every line marked as a note, for output worth seeing.
show() { sed 's/^/#   /' "$@"; }

# run_checks DIR [STEP...]: the checks STEP... of DIR in that order (by
# default every check of DIR, in name order), each in a shell of its own
# and limited to $STEP_TIMEOUT seconds; the plan line first. A STEP
# NAME:BUILD runs check NAME with the paths of /guest/config.BUILD, and
# reports as NAME.BUILD.
run_checks() {
    dir=$1
    shift
    if [ $# = 0 ]; then
        for step in "$dir"/[0-9][0-9]-*; do set -- "$@" "${step##*/}"; done
    fi
    echo "1..$#"
    STEP_NUMBER=0
    for step in "$@"; do
        STEP_NUMBER=$((STEP_NUMBER + 1))
        name=${step%%:*} build=
        [ "$name" = "$step" ] || build=${step#*:}
        STEP_NUMBER=$STEP_NUMBER STEP_NAME=$name${build:+.$build} GUEST_BUILD=$build \
            timeout -s KILL "$STEP_TIMEOUT" sh "$dir/$name" </dev/null 2>&1 ||
            echo "# check $name${build:+.$build} ended with status $?"
    done
}

# make_sysroot: the modems' system root $SYSROOT, once their converters are
# there. It links to the real module list, firmware table (/proc/kcore),
# physical memory, slot records, PCI bus 0 and lock folder, so that the
# plug-in and diaghost read the real machine and lock in the real /run/lock;
# adds the modems' PCI configuration files (functions the emulated machine
# leaves empty) and tty nodes with the converters' numbers (converter n on
# USB port n+1). Calls setup_failed on a fault.
make_sysroot() {
    waited=0
    while [ "$(ls /sys/bus/usb-serial/devices 2>/dev/null | wc -l)" -lt "$MODEMS" ]; do
        [ $waited -ge 300 ] &&
            setup_failed "only $(ls /sys/bus/usb-serial/devices | wc -l) of $MODEMS converters appeared"
        sleep 0.1
        waited=$((waited + 1))
    done
    mkdir -p "$SYSROOT/proc/bus/pci/00" "$SYSROOT/dev" "$SYSROOT/run" "$SYSROOT/sys/bus/pci" ||
        setup_failed "cannot make $SYSROOT"
    for file in /run/lock /proc/modules /proc/kcore /dev/mem /sys/bus/pci/slots /proc/bus/pci/00/*; do
        ln -sfn "$file" "$SYSROOT$file" || setup_failed "cannot link $file"
    done
    for file in /guest/pci/*; do
        [ -e "/proc/bus/pci/00/${file##*/}" ] && setup_failed "PCI function 00:${file##*/} exists already"
        cp "$file" "$SYSROOT/proc/bus/pci/00/" || setup_failed "cannot copy $file"
    done
    n=0
    while [ $n -lt "$MODEMS" ]; do
        tty=$(ls -d /sys/bus/usb/devices/1-$((n + 1)):1.0/ttyUSB* 2>/dev/null)
        [ -n "$tty" ] || setup_failed "no converter on USB port $((n + 1))"
        minor=${tty##*ttyUSB}
        rm -f "$SYSROOT/dev/ttySM$n"
        mknod "$SYSROOT/dev/ttySM$n" c 188 "$minor" && chown root:dialout "$SYSROOT/dev/ttySM$n" &&
            chmod 660 "$SYSROOT/dev/ttySM$n" || setup_failed "cannot make ttySM$n"
        echo "guest: ttySM$n is the converter on USB port $((n + 1)) (188, $minor)"
        n=$((n + 1))
    done
}

diaghost() { $diaghost_command "$@"; }

# run_diag NAME ARGS...: diaghost ARGS... with its output in /tmp/NAME.out,
# its exit status in $status, how long it took in $took (ms) and each test's
# verdict in /tmp/NAME.verdicts; returns diaghost's status.
run_diag() {
    name=$1
    shift
    # Nothing of an earlier run of that name may pass for this one's.
    rm -f "/tmp/$name.prom" "/tmp/$name.out" "/tmp/$name.verdicts"
    start=$(now_ms)
    diaghost "$@" --metrics "/tmp/$name.prom" >"/tmp/$name.out" 2>&1
    status=$?
    took=$(( $(now_ms) - start ))
    verdicts "/tmp/$name.prom" >"/tmp/$name.verdicts"
    return $status
}

# same_verdicts FILE: FILE holds the verdicts tests/guests/expected writes
# down; false, noting the difference, otherwise.
same_verdicts() {
    cmp -s /guest/expected-verdicts "$1" && return 0
    note "verdicts other than the written ones (-: written, +: seen):"
    diff -u /guest/expected-verdicts "$1" | show
    return 1
}

# A property of a systemd unit (by default the service): prop NAME [UNIT].
prop() { systemctl show -P "$1" "${2:-modemdiag.service}"; }

# The renamed converter driver's use count, as the kernel reports it.
use_count() { awk '$1 == "TSYSM" { print $3 }' /proc/modules; }

# Milliseconds since boot (10 ms steps), for the times a check reports.
now_ms() {
    read -r up _ </proc/uptime
    echo $(( ${up%.*} * 1000 + 1${up#*.}0 - 1000 ))
}

# wait_until COMMAND...: runs COMMAND every 10 ms until it succeeds, at
# most 3 s; false if it never does.
wait_until() {
    tries=0
    until "$@"; do
        [ $tries -ge 300 ] && return 1
        sleep 0.01
        tries=$((tries + 1))
    done
}
# count_is N: the use count is N. log_grown SIZE: the diagnostic log is no
# longer SIZE bytes (the plug-in logs a test's start).
count_is() { [ "$(use_count)" = "$1" ]; }
log_grown() { [ "$(wc -c <"$diagnostic_log")" != "$1" ]; }

# Each test's outcome and code from a --metrics FILE, one test a line:
# "ttySM0 dialtone passed TEST_COMPLETED_SUCCESSFULLY", in the order written.
verdicts() {
    awk '
        function label(name,  value) {
            value = $0; sub(".*" name "=\"", "", value); sub(/".*/, "", value); return value
        }
        /^modemdiag_test_(outcome|code)\{/ { key = substr(label("tty"), 6) " " label("test") }
        /^modemdiag_test_outcome\{/ && / 1$/ {
            if (!(key in outcome)) order[++n] = key
            outcome[key] = label("outcome")
        }
        /^modemdiag_test_code\{/ { code[key] = label("code") }
        END { for (i = 1; i <= n; i++) print order[i], outcome[order[i]], code[order[i]] }
    ' "$1"
}
# slot_record ADDRESS: the name of the kernel's slot record
# (/sys/bus/pci/slots) of ADDRESS's device, "none" when it has none.
slot_record() {
    record=$(grep -lx "${1%.*}" /sys/bus/pci/slots/*/address 2>/dev/null | head -n 1)
    record=${record%/address}
    record=${record##*/}
    echo "${record:-none}"
}

# check_slots JSON: every one of the guest's $MODEMS modems in diaghost's
# JSON document has the slot biosdecode reads from the firmware's table
# (/dev/mem), found through $SLOT_SOURCE; false, with notes, otherwise. The
# notes give the kernel's slot records (/sys/bus/pci/slots) beside them.
check_slots() {
    jq -r '.devices[] | "\(.pci_address) \(.slot) \(.slot_source)"' "$1" >/tmp/slots 2>/tmp/slots.err ||
        { show "$1" /tmp/slots.err; note "the JSON document does not parse"; return 1; }
    biosdecode >/tmp/biosdecode.out 2>&1 || { show /tmp/biosdecode.out; note "biosdecode failed"; return 1; }
    [ "$(wc -l </tmp/slots)" = "$MODEMS" ] || { show "$1"; note "$(wc -l </tmp/slots) modems, not $MODEMS"; return 1; }
    bad=0
    while read -r address slot source; do
        device=${address#0000:}
        device=${device%.*}
        # biosdecode: "Device: 00:04, slot 3" (or "on-board", no slot).
        decoded=$(sed -n "s/^[[:space:]]*Device: $device, slot \([0-9]*\)$/\1/p" /tmp/biosdecode.out)
        note "slot of $address: diaghost $slot from $source, biosdecode ${decoded:-none}," \
            "slot records $(slot_record "$address")"
        [ -n "$decoded" ] && [ "$slot" = "$decoded" ] && [ "$source" = "$SLOT_SOURCE" ] || bad=1
    done </tmp/slots
    [ $bad = 0 ] || { note "wanted the firmware's slot from $SLOT_SOURCE for every modem"; show /tmp/biosdecode.out; return 1; }
}
