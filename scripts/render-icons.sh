#!/usr/bin/env bash
# Renders the program icon (contrib/icons/pixlane.svg) into the PNG sizes of the icon
# theme. The PNGs are committed; run this after changing the drawing.
set -euo pipefail
cd "$(dirname "$0")/.."
if ! command -v rsvg-convert >/dev/null; then
    sudo=""; [ "$(id -u)" -ne 0 ] && sudo="sudo"
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq librsvg2-bin
fi
for size in 16 22 24 32 48 64 128 256; do
    dir="contrib/icons/hicolor/${size}x${size}/apps"
    mkdir -p "$dir"
    rsvg-convert -w "$size" -h "$size" contrib/icons/pixlane.svg -o "$dir/pixlane.png"
done
