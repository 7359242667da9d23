#!/usr/bin/env bash
# Screenshots of the client's main window on its search page and of its tray
# menu, under a virtual X server. Usage: scripts/client-screenshot.sh [build dir] [output dir]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
out=${2:-$build/screenshots}
mkdir -p "$out"
cmake --build "$build" --target client_screenshot -j 2
# The search portal is outside the system; a stand-in page shows what it looks like.
xvfb-run -a -s "-screen 0 1280x800x24" \
  env QTWEBENGINE_CHROMIUM_FLAGS="--disable-gpu" \
  "$build/tests/client/client_screenshot" "$(realpath "$out")" "$(realpath tests/client/assets/portal.html)"
ls -l "$out"/client-*.png
