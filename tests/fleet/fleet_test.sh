#!/usr/bin/env bash
# The fleet end to end: three simulated machines (a healthy and a faulty
# modem, no modem, a healthy modem) running the service's command line, a
# node_exporter each,
# one Prometheus with the shipped rules and consoles, and an Alertmanager
# with the shipped route (its waits cut to a second) sending to a webhook
# receiver. Asserted through Prometheus's HTTP API, the receiver's notices
# and the consoles as headless Chromium renders them: modems found per
# machine; the failed-test alert on the faulty machine alone, its critical
# notice, and the fleet page showing that modem's test failed and the
# others passed; its end once the modem is healthy and the run repeated,
# the resolved notice, and the machine page's history of both runs; and the
# no-recent-run alert for the machine whose metrics are no longer refreshed
# (its threshold cut from 8 days to STALE seconds for the test) and its
# warning notice.
#
#   fleet_test.sh BIN_DIR MODEMSIM PACKAGE_DIR SOURCE_DIR
set -uo pipefail

[ $# -eq 4 ] || { echo "usage: $0 BIN_DIR MODEMSIM PACKAGE_DIR SOURCE_DIR" >&2; exit 64; }
FLEET_BIN=$1
FLEET_SIM=$2
FLEET_PACKAGE=$3
FLEET_SOURCE=$4
STALE=25

for tool in prometheus prometheus-node-exporter prometheus-alertmanager amtool chromium python3 curl jq; do
    command -v "$tool" >/dev/null || { echo "FAIL: $tool is missing (scripts/test installs it)" >&2; exit 1; }
done

# shellcheck source=scripts/fleet-lib
. "$FLEET_SOURCE/scripts/fleet-lib"
trap fleet_cleanup EXIT
trap 'exit 130' INT TERM
# A loopback /24 of its own, so that the test runs beside the demo or
# another copy of itself, and ports beside the usual ones, which a
# system-wide node_exporter or Prometheus holds on every address.
FLEET_NET=127.$(( RANDOM % 250 + 2 )).$(( RANDOM % 250 + 2 ))
FLEET_PORT=19100
FLEET_PROM_PORT=19090
FLEET_AM_PORT=19093
FLEET_HOOK_PORT=19095
fleet_init

begin=$(date +%s)
step() { echo "[$(( $(date +%s) - begin ))s] $*"; }
fail() {
    echo "FAIL: $*" >&2
    echo "firing alerts: $(fleet_alerts | tr '\n' ';')" >&2
    curl -sf --max-time 5 "$(fleet_prom_url)/api/v1/targets" |
        jq -r '.data.activeTargets[] | "target \(.scrapeUrl): \(.health) \(.lastError)"' >&2
    echo "notices:" >&2
    fleet_notices >&2
    exit 1
}

# browse PAGE: the console page as headless Chromium renders it, read by
# console_cells.py. Every host name resolves to nothing (Prometheus's
# address is a number), so neither the page nor the browser itself reaches
# beyond loopback.
browse() {
    local profile
    profile=$(mktemp -d "$FLEET_DIR/chromium.XXXXXX")
    timeout 60 chromium --headless --no-sandbox --disable-gpu --disable-quic --no-first-run \
        --disable-background-networking --disable-component-update --disable-sync \
        --host-resolver-rules="MAP * ~NOTFOUND, EXCLUDE $FLEET_NET.1" --user-data-dir="$profile" \
        --dump-dom "$(fleet_console_url "$1")" 2>"$profile.log" |
        python3 "$FLEET_SOURCE/tests/fleet/console_cells.py"
}
# seconds FROM TO: TO - FROM, to a tenth.
seconds() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.1f", b - a }'; }

rules=$FLEET_DIR/alerts.yml
sed "s/> 8 \* 86400/> $STALE/; s/< 8 \* 86400/< $STALE/" \
    "$FLEET_SOURCE/package/prometheus/modemdiag-alerts.yml" >"$rules"
[ "$(grep -c "$STALE\$" "$rules")" = 2 ] || fail "the rules no longer hold the 8-day threshold twice"

fleet_add faulty healthy,loopback-errors
fleet_add none ""
fleet_add healthy healthy
faulty=$(fleet_address 1)
none=$(fleet_address 2)
healthy=$(fleet_address 3)

for n in 1 2 3; do
    fleet_start_sim "$n" && fleet_package "$n" && fleet_start_exporter "$n" || fail "machine $n did not start"
done
fleet_start_receiver || fail "the webhook receiver did not start"
fleet_start_alertmanager "$FLEET_SOURCE/package/prometheus/alertmanager-example.yml" || fail "Alertmanager did not start"
step "machines, webhook receiver and Alertmanager up"
started=$(date +%s)
fleet_run_all 1 2 3 &
runs=$!
fleet_start_prometheus "$rules" 1s || fail "Prometheus did not start"
step "Prometheus up"
wait "$runs" || fail "the service's command line failed"
step "first runs done"

# series PROMQL: the vector as "instance=value" lines, sorted.
series() { fleet_query "$1" | jq -r '"\(.instance)=\(.value)"' | sort; }
# alerts_are TEXT: the firing alerts are exactly TEXT.
alerts_are() { [ "$(fleet_alerts)" = "$1" ]; }
# settled N PROMQL: PROMQL has N series; two evaluations later, so have the
# rules.
settled() { [ "$(fleet_query "count($2)" | jq -r .value)" = "$1" ]; }

fleet_wait 30 "every machine's first run in Prometheus" settled 3 "modemdiag_run_timestamp_seconds >= $started" ||
    fail "$(series modemdiag_run_timestamp_seconds)"
expected=$(printf '%s\n' "$faulty=2" "$none=0" "$healthy=1" | sort)
got=$(series modemdiag_modems_found)
[ "$got" = "$expected" ] || fail "modems found: expected $expected, got $got"
step "modems found per machine as planned"

failed="ModemTestFailed $faulty modem 1 test loopback"
fleet_wait 15 "the faulty machine's alert, alone" alerts_are "$failed" || fail "expected only: $failed"
sleep 2
alerts_are "$failed" || fail "expected only: $failed"
step "failed-test alert firing on the faulty machine only"

# The critical route's receiver gets it, in a group of the machine alone,
# naming modem and test; no other alert reaches a receiver.
critical() { fleet_notice /modemdiag/critical firing ModemTestFailed "$faulty"; }
fleet_wait 15 "the failed test's notice" critical || fail "no ModemTestFailed notice for $faulty"
IFS=$'\t' read -r received _ _ _ _ modem test group < <(critical)
[ "$modem $test $group" = "1 loopback {\"instance\":\"$faulty\"}" ] ||
    fail "the notice names modem $modem, test $test, group $group"
[ "$(fleet_notices | wc -l)" = 1 ] || fail "other notices than the failed test's"
step "ModemTestFailed notice at the critical receiver, $(seconds "$(fleet_run_end 1)" "$received") s after the faulty run ended"

# The fleet page: the faulty modem's row failed in loopback and passed the
# rest, the healthy modems' rows passed, the machine without modems a row of
# its own; the alert on the faulty modem's row; nothing the page loads.
cells=$(browse modemdiag-fleet.html) || fail "Chromium did not render the fleet page"
expected=$(printf '%s\n' \
    "row $faulty 0" "outcome $faulty 0 - at passed" "outcome $faulty 0 - dialtone passed" \
    "outcome $faulty 0 - loopback passed" \
    "row $faulty 1" "outcome $faulty 1 - at passed" "outcome $faulty 1 - dialtone passed" \
    "outcome $faulty 1 - loopback failed" "alert $faulty 1 ModemTestFailed" \
    "row $none -" \
    "row $healthy 0" "outcome $healthy 0 - at passed" "outcome $healthy 0 - dialtone passed" \
    "outcome $healthy 0 - loopback passed" | sort)
[ "$(sort <<<"$cells")" = "$expected" ] ||
    fail "the fleet page shows:"$'\n'"$cells"$'\n'"expected:"$'\n'"$expected"
step "fleet page in Chromium: the faulty modem failed, the healthy ones passed"

# The faulty modem replaced by a healthy one; that machine and the healthy
# one run again, the machine without modems does not.
fleet_start_sim 1 healthy,healthy || fail "machine 1 did not restart"
rerun=$(date +%s)
fleet_run_all 1 3 || fail "the repeated runs failed"
step "faulty machine healed, runs repeated"
fleet_wait 15 "the repeated runs in Prometheus" settled 2 "modemdiag_run_timestamp_seconds >= $rerun" ||
    fail "$(series modemdiag_run_timestamp_seconds)"
no_failure() { ! fleet_alerts | grep -q '^ModemTestFailed '; }
fleet_wait 10 "the failed-test alert to resolve" no_failure || fail "the failed-test alert still fires"
[ "$(series 'modemdiag_test_outcome{outcome="passed"} == 1' | grep -c "^$faulty=")" = 6 ] ||
    fail "the healed machine's modems do not pass all three tests"
step "failed-test alert resolved"

resolved() { fleet_notice /modemdiag/critical resolved ModemTestFailed "$faulty"; }
fleet_wait 15 "the resolved notice" resolved || fail "no resolved notice for $faulty"
IFS=$'\t' read -r received _ < <(resolved)
step "resolved notice at the critical receiver, $(seconds "$(fleet_run_end 1)" "$received") s after the repeated run ended"

# The machine page: the last run's tests all passed; in its history that
# run, the one before with modem 1's loopback test failed, nothing before
# them; nothing the page loads.
cells=$(browse "modemdiag-machine.html?instance=$faulty") || fail "Chromium did not render the machine page"
first=$(fleet_query "modemdiag_run_timestamp_seconds{instance=\"$faulty\"} @ $rerun" | jq -r .value)
last=$(fleet_query "modemdiag_run_timestamp_seconds{instance=\"$faulty\"}" | jq -r .value)
expected=$(for modem in 0 1; do
    for test in at dialtone loopback; do
        echo "outcome $faulty $modem - $test passed"
        echo "outcome $faulty $modem $last $test passed"
        if [ "$modem $test" = "1 loopback" ]; then outcome=failed; else outcome=passed; fi
        echo "outcome $faulty $modem $first $test $outcome"
    done
done | sort)
[ "$(sort <<<"$cells")" = "$expected" ] ||
    fail "the machine page shows:"$'\n'"$cells"$'\n'"expected:"$'\n'"$expected"
step "machine page in Chromium: the runs ended $first (loopback failed) and $last (passed)"

stale="ModemDiagNoRecentRun $none"
fleet_wait $(( STALE + 20 )) "the no-recent-run alert" alerts_are "$stale" || fail "expected only: $stale"
step "no-recent-run alert firing for the machine not refreshed, alone"
warning() { fleet_notice /modemdiag/warning firing ModemDiagNoRecentRun "$none"; }
fleet_wait 15 "the no-recent-run notice" warning || fail "no ModemDiagNoRecentRun notice at the warning receiver"
step "ModemDiagNoRecentRun notice at the warning receiver"
echo "PASS in $(( $(date +%s) - begin ))s"
