#!/bin/sh
# The shell extension's tests that need a display, under Xvfb: Wine makes
# windows only where its desktop started with one, so they run in a Wine
# prefix of the build's own (made on first use, kept), never the shared one.
#   shell_display.sh BUILD_DIR TEST_PROGRAM [SCREENSHOT.bmp]
set -eu
build=$(cd "$1" && pwd)
program=$2
screenshot=${3:-}
command -v xvfb-run >/dev/null || { echo "xvfb-run is missing: install xvfb (scripts/setup)"; exit 1; }
export WINEPREFIX="$build/wine-display"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
export KORVO_PREVIEW_SCREENSHOT="$screenshot"
wine=$(cd "$(dirname "$0")/.." && pwd)/scripts/wine
cd "$(dirname "$program")"
# One X server and one wineserver for the run, both gone at its end.
xvfb-run -a -s "-screen 0 800x600x24" sh -c '
  "$0" wineboot -i >/dev/null 2>&1
  "$0" "$1" --gtest_brief=1 --gtest_filter=ShellExtension.Preview*
  status=$?
  wineserver -k 2>/dev/null || true
  exit $status' "$wine" "$program"
