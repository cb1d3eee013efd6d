#!/usr/bin/env bash
# Installs the build into a temporary DESTDIR under /usr and checks the installed tree as a
# user and a packager meet it: the files in their folders, the programs running from
# there with nothing of the build folder, the version everywhere, a picture fetched from
# the simulated module, the desktop entry, the metadata and the manual pages.
# Usage: install_test.sh BUILD_DIR VERSION APP_ID
set -uo pipefail
build="$1" version="$2" appid="$3"

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
failures=0
fail() {
    echo "FEHLER: $*" >&2
    failures=$((failures + 1))
}
# Runs the installed programs like a user without a display, in a home of their own.
run() {
    env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM HOME="$work/home" \
        XDG_CONFIG_HOME="$work/home/.config" "$@"
}

if ! DESTDIR="$work/root" cmake --install "$build" --prefix /usr >"$work/install.log" 2>&1; then
    cat "$work/install.log" >&2
    fail "cmake --install ist gescheitert"
    exit 1
fi
usr="$work/root/usr"
mkdir -p "$work/home" "$work/cwd"

# --- the tree ---
programs="pixlane pixlane-cli pixlane-sim"
[ "$(ls "$usr/bin" | tr '\n' ' ')" = "$programs " ] ||
    fail "bin/ enthält $(ls "$usr/bin" | tr '\n' ' ') statt $programs"
[ -z "$(ls -A "$work/root" | grep -vx usr)" ] || fail "außerhalb von /usr installiert: $(ls "$work/root")"
for f in "share/applications/$appid.desktop" "share/metainfo/$appid.metainfo.xml" \
    share/icons/hicolor/scalable/apps/pixlane.svg \
    share/man/man1/pixlane.1.gz share/man/man1/pixlane-cli.1.gz share/man/man1/pixlane-sim.1.gz \
    share/doc/pixlane/README.md share/doc/pixlane/docs/DECISIONS.md \
    share/doc/pixlane/docs/screenshot.png share/doc/pixlane/copyright \
    share/doc/pixlane/changelog.gz share/doc/pixlane/examples/Pixlane_Orbex.conf \
    share/doc/pixlane/examples/pixlane-capture.cron share/doc/pixlane/examples/pixlane-journal.logrotate \
    share/doc/pixlane/examples/pixlane-alerts.yml share/doc/pixlane/examples/pixlane-alerts.test.yml \
    "share/doc/pixlane/examples/systemd/pixlane-capture@.service" \
    "share/doc/pixlane/examples/systemd/pixlane-capture@.timer" \
    share/doc/pixlane/examples/systemd/site.conf; do
    [ -s "$usr/$f" ] || fail "$f fehlt"
done
# Every PNG of the icon theme is as large as its folder says.
pngs=0
for png in "$usr"/share/icons/hicolor/*/apps/pixlane.png; do
    size="$(basename "$(dirname "$(dirname "$png")")")"
    read -r w h < <(od -An -j16 -N8 -tu1 "$png" |
        awk '{ print $1*16777216 + $2*65536 + $3*256 + $4, $5*16777216 + $6*65536 + $7*256 + $8 }')
    [ "${w}x${h}" = "$size" ] || fail "$png ist ${w}x${h}"
    pngs=$((pngs + 1))
done
[ "$pngs" -eq 8 ] || fail "$pngs statt 8 Symbolgrößen"

# --- the version, everywhere ---
for p in $programs; do
    out="$(cd "$work/cwd" && run "$usr/bin/$p" --version 2>&1)"
    [ "$out" = "$p $version" ] || fail "$p --version sagt \"$out\""
    run "$usr/bin/$p" --help >"$work/$p.help" 2>&1 || fail "$p --help ohne Anzeige gescheitert"
done
grep -q "<release version=\"$version\" date=\"[0-9-]*\"" "$usr/share/metainfo/$appid.metainfo.xml" ||
    fail "die Metadaten nennen nicht die Version $version"
zcat "$usr/share/doc/pixlane/changelog.gz" | head -n 1 | grep -q "^pixlane ($version) " ||
    fail "das Änderungsprotokoll beginnt nicht mit $version"

# --- a picture from the simulated module, written outside the build folder ---
out="$(cd "$work/cwd" && run "$usr/bin/pixlane-cli" --quiet --demo fetch -o picture.bmp 2>"$work/fetch.err")" ||
    fail "pixlane-cli --demo fetch: $(cat "$work/fetch.err")"
[ "$out" = "$work/cwd/picture.bmp" ] || fail "fetch nennt \"$out\""
[ "$(head -c 2 "$work/cwd/picture.bmp" 2>/dev/null)" = "BM" ] &&
    [ "$(stat -c %s "$work/cwd/picture.bmp")" -gt 1078 ] || fail "kein BMP-Bild geschrieben"

# --- the example settings are read as they stand (their device made one that is absent) ---
mkdir -p "$work/home/.config/Kelvorn"
sed "s#/dev/ttyUSB0#$work/no-tty#" "$usr/share/doc/pixlane/examples/Pixlane_Orbex.conf" \
    >"$work/home/.config/Kelvorn/Pixlane_Orbex.conf"
err="$(run "$usr/bin/pixlane-cli" status camera 2>&1)"
[[ "$err" == *"COM1 ($work/no-tty) kann nicht geöffnet werden"* ]] ||
    fail "die Beispiel-Einstellungen wirken nicht: $err"

# --- desktop entry and metadata, with the validators when they are installed ---
desktop="$usr/share/applications/$appid.desktop"
grep -qx 'Exec=pixlane' "$desktop" && grep -qx 'Icon=pixlane' "$desktop" &&
    grep -q '^Name\[de\]=' "$desktop" && grep -q '^Comment\[de\]=' "$desktop" ||
    fail "der Desktop-Eintrag nennt Programm, Symbol oder deutsche Texte nicht"
if command -v desktop-file-validate >/dev/null; then
    # Hints count too: the entry is to be clean.
    if ! msg="$(desktop-file-validate "$desktop" 2>&1)" || [ -n "$msg" ]; then
        fail "desktop-file-validate: $msg"
    fi
else
    echo "desktop-file-validate fehlt: Desktop-Eintrag nicht geprüft"
fi
if command -v appstreamcli >/dev/null; then
    # No network here: the screenshot's address is checked for its form only.
    msg="$(appstreamcli validate-tree --no-net "$work/root/usr" 2>&1)" || fail "appstreamcli: $msg"
else
    echo "appstreamcli fehlt: Metadaten nicht geprüft"
fi

# --- the alert rules' tests run where they are installed, beside the rules ---
if command -v promtool >/dev/null; then
    msg="$(cd "$work/cwd" && promtool test rules "$usr/share/doc/pixlane/examples/pixlane-alerts.test.yml" 2>&1)" ||
        fail "promtool test rules: $msg"
else
    echo "promtool fehlt: Alarmregeln nicht geprüft"
fi

# --- the manual pages: clean roff, the version, and every option the help names ---
for p in $programs; do
    page="$usr/share/man/man1/$p.1.gz"
    zcat "$page" >"$work/$p.1"
    head -n 1 "$work/$p.1" | grep -q "\"Pixlane $version\"" || fail "$p(1) nennt nicht die Version"
    if command -v groff >/dev/null; then
        msg="$(groff -man -ww -z "$work/$p.1" 2>&1)"
        [ -z "$msg" ] || fail "$p(1): $msg"
        groff -man -Tascii -P-cbou -rHY=0 -rLL=200n "$work/$p.1" 2>/dev/null >"$work/$p.txt"
    else
        echo "groff fehlt: $p(1) nicht geprüft"
        continue
    fi
    if command -v man >/dev/null; then
        msg="$(LC_ALL=C.UTF-8 MANROFFSEQ='' MANWIDTH=80 man --warnings -E UTF-8 -l -Tutf8 -Z \
            "$page" 2>&1 >/dev/null)"
        [ -z "$msg" ] || fail "man -l $p(1): $msg"
    fi
    help="$work/$p.help"
    if [ "$p" = pixlane-cli ]; then
        for c in $(grep -oE '^  [a-z]+ ' "$help" | tr -d ' '); do
            grep -qE "^ +$c( |$)" "$work/$p.txt" || fail "$p(1) beschreibt den Befehl $c nicht"
            run "$usr/bin/$p" "$c" --help >>"$work/$p.help.all" 2>&1
        done
        cat "$work/$p.help.all" >>"$help"
    fi
    if [ "$p" = pixlane-sim ]; then
        for k in $(grep -oE '^  [a-z][a-z-]*(:| )' "$help" | tr -d ': '); do
            grep -qE "(^| )$k(:| |$)" "$work/$p.txt" || fail "$p(1) beschreibt den Fehler $k nicht"
        done
    fi
    for o in $(grep -oE '(^|[][ (,])--?[a-z][a-z-]*' "$help" | sed 's/^[][ (,]//' | sort -u); do
        grep -qE -- "(^|[][ (,])$o([][ ,=.)]|$)" "$work/$p.txt" || fail "$p(1) nennt $o nicht"
    done
done

if [ "$failures" -ne 0 ]; then
    echo "$failures Fehler im installierten Baum" >&2
    exit 1
fi
echo "installierter Baum in Ordnung"
