#!/usr/bin/env bash
# The README's worked example of a device server: the example ser2net configuration serves
# the simulated module's pseudo-terminal, and the README's two fetch commands run as
# written (the device path, the two ports and the program's path are the things replaced).
# Each must bring the whole picture.
# Usage: network_example_test.sh SOURCE_DIR PIXLANE_CLI PIXLANE_SIM
set -uo pipefail
src="$1" cli="$2" sim="$3"
work="$(mktemp -d)"
pids=()
cleanup() {
    for p in "${pids[@]}"; do kill "$p" 2>/dev/null; done
    wait 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT
failed=0
fail() {
    echo "FEHLER: $*" >&2
    failed=1
}
ser2net="$(command -v ser2net || command -v /usr/sbin/ser2net)" ||
    { echo "FEHLER: ser2net fehlt (scripts/setup.sh installiert es)" >&2; exit 1; }

# A port on 127.0.0.1 that nothing listens on.
listening() { grep -qi ":$(printf '%04X' "$1") 00000000:0000 0A" /proc/net/tcp; }
free_port() {
    local p
    for _ in $(seq 100); do
        p=$((20000 + RANDOM % 40000))
        listening "$p" || { echo "$p"; return; }
    done
}

"$sim" --quiet >"$work/sim.out" 2>"$work/sim.err" &
pids+=($!)
for _ in $(seq 100); do [ -s "$work/sim.out" ] && break; sleep 0.05; done
device="$(head -n1 "$work/sim.out")"
[ -e "$device" ] || { echo "FEHLER: pixlane-sim nennt kein Gerät: $device" >&2; exit 1; }

rfc="$(free_port)" tcp="$(free_port)"
sed -e "s#/dev/ttyUSB0#$device#" -e "s#,7001\$#,$rfc#" -e "s#,7002\$#,$tcp#" \
    "$src/contrib/examples/ser2net.yaml" >"$work/ser2net.yaml"
"$ser2net" -n -c "$work/ser2net.yaml" -P "$work/ser2net.pid" >"$work/ser2net.log" 2>&1 &
pids+=($!)
for _ in $(seq 200); do listening "$rfc" && listening "$tcp" && break; sleep 0.05; done
listening "$rfc" && listening "$tcp" || { echo "FEHLER: ser2net lauscht nicht: $(cat "$work/ser2net.log")" >&2; exit 1; }

# The README's commands, as written there.
mapfile -t commands < <(grep -E '^\$ pixlane-cli --device (rfc2217|tcp)://127\.0\.0\.1:700[12] fetch' \
    "$src/README.md" | sed 's/^\$ //')
[ "${#commands[@]}" = 2 ] || fail "README nennt nicht die zwei Befehle: ${commands[*]}"
cd "$work" || exit 1
for c in "${commands[@]}"; do
    run="$(sed -e "s#^pixlane-cli#$cli#" -e "s#:7001 #:$rfc #" -e "s#:7002 #:$tcp #" <<<"$c")"
    # The two ports share one line; ser2net lets it go a moment after the last client.
    sleep 1
    out="$(bash -c "$run" 2>"$work/err")" || fail "$c: $(cat "$work/err")"
    file="${c##* -o }"
    [ "$out" = "$work/$file" ] || fail "$c druckt \"$out\""
    # 180 x 144 grey: the header, the palette and the rows.
    [ "$(stat -c %s "$work/$file" 2>/dev/null)" = $((14 + 40 + 1024 + 180 * 144)) ] ||
        fail "$c: $file hat nicht die Größe eines ganzen Bildes"
    grep -q "Fertig !" "$work/err" || fail "$c: kein \"Fertig !\": $(cat "$work/err")"
done
[ "$failed" = 0 ] && echo "die zwei Befehle des README über ser2net: beide Bilder ganz"
exit "$failed"
