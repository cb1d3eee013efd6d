#!/usr/bin/env bash
# The capture examples a user copies: the systemd service and timer pass systemd-analyze
# verify (when it is installed), and the capture command lines of the site file and of the
# cron line run as written against the simulated module behind its modem (the serial
# device they name is the one thing replaced).
# The units may do nothing else: each scores at most 2.0 in systemd-analyze security. The
# pool's unit runs its command line over three simulated modems.
# Usage: examples_test.sh SOURCE_DIR PIXLANE_CLI MAN_PAGE_DIR PIXLANE_SIM
set -uo pipefail
src="$1" cli="$2" mandir="$3" sim="$4"
examples="$src/contrib/examples"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
# Failures are collected in a file, so that runs in the background can add theirs.
fail() {
    echo "FEHLER: $*" >>"$work/failures"
}

# --- the units, pointed at the built program and its manual page ---
if command -v systemd-analyze >/dev/null; then
    mkdir -p "$work/units" "$work/man/man1"
    cp "$mandir/pixlane-cli.1.gz" "$work/man/man1/"
    for kind in service timer; do
        sed "s#/usr/bin/pixlane-cli#$cli#" "$examples/systemd/pixlane-capture@.$kind" \
            >"$work/units/pixlane-capture@probe.$kind"
    done
    sed "s#/usr/bin/pixlane-cli#$cli#" "$examples/systemd/pixlane-capture-pool.service" \
        >"$work/units/pixlane-capture-pool.service"
    # Warnings (an unknown key, say) count: the units are to be clean.
    msg="$(cd "$work/units" && MANPATH="$work/man" systemd-analyze verify \
        ./pixlane-capture@probe.service ./pixlane-capture@probe.timer \
        ./pixlane-capture-pool.service 2>&1)"
    rc=$?
    [ "$rc" -eq 0 ] && [ -z "$msg" ] || fail "systemd-analyze verify: $msg"
    # Exposure at most 2.0 (the threshold counts in tenths).
    for unit in pixlane-capture@probe.service pixlane-capture-pool.service; do
        score="$(cd "$work/units" && systemd-analyze security --offline=yes --threshold=20 \
            "./$unit" 2>&1)" || fail "$unit: $(tail -n 1 <<<"$score")"
    done
else
    echo "systemd-analyze fehlt: Units nicht geprüft"
fi

# What a user finds after a round: three pictures named in the list, a journal of three
# good picture lines and the round's good line, and the copy of the newest picture.
check() {
    local name="$1" dir="$2" list="$3"
    [ "$(cat "$work/$name.rc" 2>/dev/null)" = 0 ] ||
        fail "$name: Status $(cat "$work/$name.rc" 2>/dev/null): $(cat "$work/$name.err")"
    [ "$(wc -l <"$list" 2>/dev/null)" = 3 ] || fail "$name nennt nicht drei Bilder"
    while read -r picture; do
        [[ "$picture" == "$dir"/*/k[123]-*.bmp ]] && [ "$(head -c 2 "$picture")" = BM ] ||
            fail "$name: kein Bild $picture"
    done <"$list"
    [ "$(grep '"event":"picture"' "$dir/journal.jsonl" | grep -c '"result":"ok"')" = 3 ] &&
        [ "$(grep '"event":"round"' "$dir/journal.jsonl" | grep -c '"result":"ok"')" = 1 ] ||
        fail "$name: Journal $(cat "$dir/journal.jsonl" 2>/dev/null)"
    cmp -s "$dir/aktuell.bmp" "$(tail -n 1 "$list")" || fail "$name: aktuell.bmp"
}
# Like a user without a display, in a home of its own.
run() {
    local name="$1"
    shift
    mkdir -p "$work/$name/home"
    (cd "$work/$name" && env -u DISPLAY -u WAYLAND_DISPLAY HOME="$work/$name/home" \
        XDG_CONFIG_HOME="$work/$name/home/.config" PATH="$(dirname "$cli"):$PATH" "$@" \
        2>"$work/$name.err"
    echo $? >"$work/$name.rc")
}

set -f
# The site file as systemd reads it: one NAME=VALUE a line, split into words at blanks.
line="$(sed -n 's/^PIXLANE_LINE=//p' "$examples/systemd/site.conf")"
capture="$(sed -n 's/^PIXLANE_CAPTURE=//p' "$examples/systemd/site.conf")"
[[ "$line" == *"--device "* ]] || fail "site.conf nennt kein Gerät: $line"
# shellcheck disable=SC2086
run site sh -c '"$@" >out' sh "$cli" --quiet --demo-modem capture $capture &
# The service's capture as its unit runs it: the site from the example book (its device
# replaced by the demo), the folder the unit names replaced by one of the test's.
exec="$(sed -n 's/^ExecStart=//p' "$examples/systemd/pixlane-capture@.service")"
[[ "$exec" == *"capture --site %i --folder /var/lib/pixlane/%i "* ]] ||
    fail "die Unit nimmt den Standort nicht aus dem Buch: $exec"
mkdir -p "$work/unit/home/.config/Kelvorn"
cp "$examples/pixlane-sites.ini" "$work/unit/home/.config/Kelvorn/"
run unit sh -c '"$@" >out' sh "$cli" --quiet --demo-modem capture --site nord --folder "$work/unit/state" \
    --latest "$work/unit/state/aktuell.bmp" &
# The cron line as cron reads it: the command after the five time fields, up to its
# first "%" that is not written "\%".
cron="$(grep -v '^#' "$examples/pixlane-capture.cron" | grep . | head -n 1)"
command="$(sed -E 's/^([^ ]+ +){5}//; s/(^|[^\\])%.*/\1/; s/\\%/%/g' <<<"$cron")"
[[ "$command" == *"--device /dev/ttyUSB0"* ]] || fail "die cron-Zeile nennt /dev/ttyUSB0 nicht"
run cron bash -c "${command//--device \/dev\/ttyUSB0/--demo-modem}"
wait
set +f
check site "$work/site" "$work/site/out"
check cron "$work/cron/home/pixlane" "$work/cron/home/pixlane/bilder.txt"
check unit "$work/unit/state" "$work/unit/out"
grep -q '"site":"nord"' "$work/unit/state/journal.jsonl" || fail "unit: das Journal nennt den Standort nicht"

# The pool's unit as systemd runs it: its ExecStart with the lines and options of pool.conf,
# three simulated modems in place of the serial devices, one round of each site of a book
# of five (--count 1 ends the run), the state folder one of the test's.
pool="$work/pool"
mkdir -p "$pool/home/.config/Kelvorn" "$pool/state"
pids=()
lines=()
for i in 1 2 3; do
    "$sim" --modem --dial-delay 200 --quiet --link "$pool/modem$i" >/dev/null 2>&1 &
    pids+=($!)
    lines+=("$pool/modem$i")
done
for i in 1 2 3 4 5; do
    printf '[ort%s]\nnumber=0%s\n\n' "$i" "$i" >>"$pool/home/.config/Kelvorn/pixlane-sites.ini"
done
for i in $(seq 100); do
    [ -e "$pool/modem1" ] && [ -e "$pool/modem2" ] && [ -e "$pool/modem3" ] && break
    sleep 0.1
done
exec="$(sed -n 's/^ExecStart=//p' "$examples/systemd/pixlane-capture-pool.service")"
[[ "$exec" == *'capture --sites all --lines ${PIXLANE_LINES} $PIXLANE_CAPTURE'* ]] ||
    fail "die Pool-Unit läuft nicht über alle Standorte auf den Leitungen: $exec"
options="$(sed -n 's/^PIXLANE_CAPTURE=//p' "$examples/systemd/pool.conf")"
[[ "$options" == *"--every "* ]] || fail "pool.conf nennt keine Periode: $options"
options="${options//\/var\/lib\/pixlane\/pool/$pool/state}"
linelist="$(IFS=,; echo "${lines[*]}")"
exec="${exec//\/usr\/bin\/pixlane-cli/$cli}"
exec="${exec//\$\{PIXLANE_LINES\}/$linelist}"
exec="${exec//\$PIXLANE_CAPTURE/$options --count 1}"
set -f
# shellcheck disable=SC2086
(cd "$pool/state" && env -u DISPLAY -u WAYLAND_DISPLAY HOME="$pool/home" \
    XDG_CONFIG_HOME="$pool/home/.config" $exec >"$pool/out" 2>"$pool/err")
rc=$?
set +f
kill "${pids[@]}" 2>/dev/null
wait "${pids[@]}" 2>/dev/null
[ "$rc" = 0 ] || fail "Pool-Unit: Status $rc: $(cat "$pool/err")"
[ "$(wc -l <"$pool/out")" = 10 ] || fail "Pool-Unit nennt nicht zehn Bilder: $(cat "$pool/out")"
used=""
for i in 1 2 3 4 5; do
    journal="$pool/state/ort$i/journal.jsonl"
    [ "$(grep -c '"event":"round".*"result":"ok"' "$journal" 2>/dev/null)" = 1 ] ||
        fail "Pool-Unit: ort$i ohne gute Runde: $(cat "$journal" 2>/dev/null)"
    used+="$(grep -o '"device":"[^"]*"' "$journal" 2>/dev/null)"
done
for line in "${lines[@]}"; do
    [[ "$used" == *"$line"* ]] || fail "Pool-Unit: Leitung $line nicht benutzt"
done
grep -q 'pixlane_line_rounds_last_24h{line=' "$pool/state/pixlane.prom" 2>/dev/null ||
    fail "Pool-Unit: Metriken ohne Leitungen"
[ -f "$pool/state/seite/index.html" ] || fail "Pool-Unit: keine Statusseite"

failures=$(($(wc -l <"$work/failures" 2>/dev/null || echo 0)))
if [ "$failures" -ne 0 ]; then
    cat "$work/failures" >&2
    echo "$failures Fehler in den Beispielen" >&2
    exit 1
fi
echo "Beispiele in Ordnung"
