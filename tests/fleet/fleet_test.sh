#!/usr/bin/env bash
# The fleet end to end: three simulated machines (a faulty modem, no modem, a
# healthy modem) running the service's command line, a node_exporter each
# and one Prometheus with the shipped rules, asserted through the HTTP API:
# modems found per machine, the failed-test alert on the faulty machine
# alone, its end once the modem is healthy and the run repeated, and the
# no-recent-run alert for the machine whose metrics are no longer refreshed
# (its threshold cut from 8 days to STALE seconds for the test).
#
#   fleet_test.sh BIN_DIR MODEMSIM PACKAGE_DIR SOURCE_DIR
set -uo pipefail

[ $# -eq 4 ] || { echo "usage: $0 BIN_DIR MODEMSIM PACKAGE_DIR SOURCE_DIR" >&2; exit 64; }
FLEET_BIN=$1
FLEET_SIM=$2
FLEET_PACKAGE=$3
FLEET_SOURCE=$4
STALE=25

for tool in prometheus prometheus-node-exporter curl jq; do
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
fleet_init

begin=$(date +%s)
step() { echo "[$(( $(date +%s) - begin ))s] $*"; }
fail() {
    echo "FAIL: $*" >&2
    echo "firing alerts: $(fleet_alerts | tr '\n' ';')" >&2
    curl -sf --max-time 5 "$(fleet_prom_url)/api/v1/targets" |
        jq -r '.data.activeTargets[] | "target \(.scrapeUrl): \(.health) \(.lastError)"' >&2
    exit 1
}

rules=$FLEET_DIR/alerts.yml
sed "s/> 8 \* 86400/> $STALE/; s/< 8 \* 86400/< $STALE/" \
    "$FLEET_SOURCE/package/prometheus/modemdiag-alerts.yml" >"$rules"
[ "$(grep -c "$STALE\$" "$rules")" = 2 ] || fail "the rules no longer hold the 8-day threshold twice"

fleet_add faulty loopback-errors
fleet_add none ""
fleet_add healthy healthy
faulty=$(fleet_address 1)
none=$(fleet_address 2)
healthy=$(fleet_address 3)

for n in 1 2 3; do
    fleet_start_sim "$n" && fleet_package "$n" && fleet_start_exporter "$n" || fail "machine $n did not start"
done
step "machines up"
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
expected=$(printf '%s\n' "$faulty=1" "$none=0" "$healthy=1" | sort)
got=$(series modemdiag_modems_found)
[ "$got" = "$expected" ] || fail "modems found: expected $expected, got $got"
step "modems found per machine as planned"

failed="ModemTestFailed $faulty modem 0 test loopback"
fleet_wait 15 "the faulty machine's alert, alone" alerts_are "$failed" || fail "expected only: $failed"
sleep 2
alerts_are "$failed" || fail "expected only: $failed"
step "failed-test alert firing on the faulty machine only"

# The faulty modem replaced by a healthy one; that machine and the healthy
# one run again, the machine without modems does not.
fleet_start_sim 1 healthy || fail "machine 1 did not restart"
rerun=$(date +%s)
fleet_run_all 1 3 || fail "the repeated runs failed"
step "faulty machine healed, runs repeated"
fleet_wait 15 "the repeated runs in Prometheus" settled 2 "modemdiag_run_timestamp_seconds >= $rerun" ||
    fail "$(series modemdiag_run_timestamp_seconds)"
no_failure() { ! fleet_alerts | grep -q '^ModemTestFailed '; }
fleet_wait 10 "the failed-test alert to resolve" no_failure || fail "the failed-test alert still fires"
[ "$(series 'modemdiag_test_outcome{outcome="passed"} == 1' | grep -c "^$faulty=")" = 3 ] ||
    fail "the healed modem does not pass all three tests"
step "failed-test alert resolved"

stale="ModemDiagNoRecentRun $none"
fleet_wait $(( STALE + 20 )) "the no-recent-run alert" alerts_are "$stale" || fail "expected only: $stale"
step "no-recent-run alert firing for the machine not refreshed, alone"
echo "PASS in $(( $(date +%s) - begin ))s"
