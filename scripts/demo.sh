#!/usr/bin/env bash
# Installs what is missing, builds, and runs Pixlane against the built-in simulated module.
# With a display: the window (press F4 for a picture). Without one: a single fetch on the
# command line into pixlane-demo.bmp.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
bin="${BUILD_DIR:-build}"
if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
    echo "Pixlane mit dem simulierten Modul: F4 holt ein Bild, Datei/Beenden schließt."
    exec "$bin/src/ui/pixlane" --demo "$@"
fi
echo "Keine Anzeige gefunden: ein Bild wird auf der Kommandozeile geholt."
exec "$bin/src/cli/pixlane-cli" --demo fetch -o "$PWD/pixlane-demo.bmp" "$@"
