#!/bin/sh
# Pictures of the login and registration dialogs, the welcome panel and the
# settings pages under a virtual X display.
#   scripts/login-screenshots.sh [build folder] [output folder]
set -eu
build=${1:-build}
out=${2:-$build/screenshots/login}
mkdir -p "$out"
ninja -C "$build" login_screenshots
if command -v xvfb-run >/dev/null 2>&1; then
    xvfb-run -a -s "-screen 0 1280x900x24" "$build/tests/login/login_screenshots" "$out"
else
    QT_QPA_PLATFORM=offscreen "$build/tests/login/login_screenshots" "$out"
fi
