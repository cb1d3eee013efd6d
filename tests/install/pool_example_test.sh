#!/usr/bin/env bash
# The README's pool of lines as a new user tries it: its commands run as written (the
# programs' paths and the /tmp folders are the things replaced), three simulated modems,
# five sites; each site must get its picture on one of the three lines, and the page and
# metrics must show the lines.
# Usage: pool_example_test.sh SOURCE_DIR PIXLANE_CLI PIXLANE_SIM
set -uo pipefail
src="$1" cli="$2" sim="$3"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
failed=0
fail() {
    echo "FEHLER: $*" >&2
    failed=1
}
# The first code block of the README's section, as written there.
script="$(awk '/^### A pool of lines/{s=1} s && /^```$/{n++; next} s && n==1' "$src/README.md")"
[[ "$script" == *"--lines /tmp/modem1,/tmp/modem2,/tmp/modem3"* ]] ||
    fail "README nennt den Lauf über drei Leitungen nicht: $script"
script="${script//build\/sim\/pixlane-sim/$sim}"
script="${script//build\/src\/cli\/pixlane-cli/$cli}"
script="${script//\/tmp\//$work/}"
# The simulators the README starts in the background end with the run, as the README's
# "kill %1 %2 %3" ends them.
script+=$'\nrc=$?\nkill $(jobs -p) 2>/dev/null\nwait\nexit $rc'
mkdir -p "$work/home"
cd "$work" || exit 1
HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config" bash -c "$script" >"$work/out" 2>"$work/err" ||
    fail "Status $?: $(grep -v '^[a-z]*: ' "$work/err")"
used=""
for site in ost west sued hafen markt; do
    journal="$work/pool/$site/journal.jsonl"
    [ "$(grep -c '"event":"round".*"result":"ok"' "$journal" 2>/dev/null)" = 1 ] ||
        fail "$site ohne gute Runde: $(cat "$journal" 2>/dev/null)"
    [ "$(ls "$work/pool/$site"/*.bmp 2>/dev/null | wc -l)" = 1 ] || fail "$site ohne sein Bild"
    used+="$(grep -o '"device":"[^"]*"' "$journal" 2>/dev/null)"
done
for i in 1 2 3; do
    [[ "$used" == *"$work/modem$i"* ]] || fail "Leitung modem$i nicht benutzt: $used"
done
grep -q "pixlane_line_out_of_pool{line=\"$work/modem1\"} 0" "$work/pool/pixlane.prom" ||
    fail "Metriken ohne Leitungen: $(cat "$work/pool/pixlane.prom" 2>/dev/null)"
grep -q '<h2>Leitungen</h2>' "$work/pool/seite/index.html" || fail "Seite ohne Leitungen"
[ "$failed" = 0 ] && echo "Pool aus dem README in Ordnung"
exit "$failed"
