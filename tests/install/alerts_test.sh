#!/usr/bin/env bash
# The alert rules a user copies: promtool finds them well-formed and their own tests pass,
# and every metric of Pixlane they name is one that a capture's metrics file holds (a
# misspelt name would be an alert that never fires).
# Usage: alerts_test.sh SOURCE_DIR PIXLANE_CLI
set -uo pipefail
src="$1" cli="$2"
examples="$src/contrib/examples"
rules="$examples/pixlane-alerts.yml"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
failures=0
fail() {
    echo "FEHLER: $*" >&2
    failures=$((failures + 1))
}

if ! command -v promtool >/dev/null; then
    echo "FEHLER: promtool fehlt (Debian-Paket prometheus; scripts/setup.sh installiert es)" >&2
    exit 1
fi
promtool check rules "$rules" >"$work/check" 2>&1 || fail "promtool check rules: $(cat "$work/check")"
# The tests name the rules file relative to themselves, as they are installed side by side.
(cd "$work" && promtool test rules "$examples/pixlane-alerts.test.yml") >"$work/test" 2>&1 ||
    fail "promtool test rules: $(cat "$work/test")"

# A capture round of the demo module writes the metrics file as a user's capture does; its
# camera is covered, so that the check's series say dark.
(cd "$work" && env -u DISPLAY -u WAYLAND_DISPLAY HOME="$work" XDG_CONFIG_HOME="$work/.config" \
    "$cli" --quiet --demo --demo-scene dark capture --channels 1,2 -o 'k{channel}.bmp' \
    --journal journal.jsonl --metrics pixlane.prom >"$work/capture.out" 2>&1) ||
    fail "capture: $(cat "$work/capture.out")"
# Names the rules use that the metrics do not carry yet; each must leave this list the
# moment Pixlane writes it.
awaited=" "
for name in $(grep -v '^ *#' "$rules" | grep -o 'pixlane_[a-z0-9_]*' | sort -u); do
    written=0
    grep -q "^$name[{ ]" "$work/pixlane.prom" 2>/dev/null && written=1
    if [[ "$awaited" == *" $name "* ]]; then
        [ "$written" -eq 0 ] || fail "$name steht jetzt in den Metriken: aus der Liste nehmen"
    else
        [ "$written" -eq 1 ] || fail "die Regeln nennen $name, die Metriken nicht"
    fi
done

# The check's series as that capture wrote them, held for 40 minutes: the shipped rule
# fires on each dark camera after its half hour, and on nothing else.
darks=$(grep -c '^pixlane_picture_check{.*check="dark"} 1$' "$work/pixlane.prom")
[ "$darks" -eq 2 ] || fail "die Metriken nennen $darks dunkle Kameras statt 2: $(cat "$work/pixlane.prom")"
{
    echo "rule_files: ['$rules']"
    echo "evaluation_interval: 1m"
    echo "tests:"
    echo "  - interval: 1m"
    echo "    input_series:"
    grep '^pixlane_picture_check{' "$work/pixlane.prom" | while read -r series value; do
        printf "      - series: '%s'\n        values: '%sx40'\n" "$series" "$value"
    done
    echo "    alert_rule_test:"
    echo "      - eval_time: 29m"
    echo "        alertname: PixlaneCameraCheck"
    echo "        exp_alerts: []"
    echo "      - eval_time: 31m"
    echo "        alertname: PixlaneCameraCheck"
    echo "        exp_alerts:"
    sed -n 's/^pixlane_picture_check{site="\([^"]*\)",channel="\([0-9]\)",check="dark"} 1$/\1 \2/p' \
        "$work/pixlane.prom" | while read -r site channel; do
        echo "          - exp_labels: {severity: warning, site: '$site', channel: '$channel', check: dark}"
        echo "            exp_annotations:"
        echo "              summary: '$site, Kamera $channel: Bild dunkel'"
        echo "              description: 'Dunkel: Nacht, ein verdecktes oder besprühtes Objektiv. Einfarbig: kein Videosignal, ein vereistes Objektiv. Eingefroren: dasselbe Bild wie die Bilder davor, der Bildspeicher steht.'"
    done
} >"$work/dark.test.yml"
promtool test rules "$work/dark.test.yml" >"$work/dark" 2>&1 ||
    fail "die Regel PixlaneCameraCheck auf den Metriken einer dunklen Aufnahme: $(cat "$work/dark")"

if [ "$failures" -ne 0 ]; then
    echo "$failures Fehler in den Alarmregeln" >&2
    exit 1
fi
echo "Alarmregeln in Ordnung"
