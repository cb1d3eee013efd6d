#!/usr/bin/env bash
# Installs what is missing, builds, and serves the simulated module on a pseudo-terminal.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
exec build/sim/pixlane-sim "$@"
