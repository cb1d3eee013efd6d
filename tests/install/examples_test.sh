#!/usr/bin/env bash
# The capture examples a user copies: the systemd service and timer pass systemd-analyze
# verify (when it is installed), and the capture command lines of the site file and of the
# cron line run as written against the simulated module behind its modem (the serial
# device they name is the one thing replaced).
# Usage: examples_test.sh SOURCE_DIR PIXLANE_CLI MAN_PAGE_DIR
set -uo pipefail
src="$1" cli="$2" mandir="$3"
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
    # Warnings (an unknown key, say) count: the units are to be clean.
    msg="$(cd "$work/units" && MANPATH="$work/man" systemd-analyze verify \
        ./pixlane-capture@probe.service ./pixlane-capture@probe.timer 2>&1)"
    rc=$?
    [ "$rc" -eq 0 ] && [ -z "$msg" ] || fail "systemd-analyze verify: $msg"
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

failures=$(($(wc -l <"$work/failures" 2>/dev/null || echo 0)))
if [ "$failures" -ne 0 ]; then
    cat "$work/failures" >&2
    echo "$failures Fehler in den Beispielen" >&2
    exit 1
fi
echo "Beispiele in Ordnung"
