#!/usr/bin/env bash
# One event end to end under Wine, as the main job shows it: the Wine test
# e2e_win32 run in a private prefix of its own. It installs the product
# folder, attaches the effect to a fake headset, plays the listening scene
# through the installed effect with a stand-in audio engine while a game
# stand-in starts and ends, starts the desktop app on a virtual display with
# the test web view loader, uninstalls, and prints the timeline. The scene and
# what the headset played are kept for listening.
# Usage: e2e_demo.sh [windows build dir]
set -euo pipefail
cd "$(dirname "$0")/.."
build=$(cd "${1:-build/windows}" && pwd)
demo=$build/e2e
mkdir -p "$demo"
export WINEPREFIX=$demo/wineprefix
log=$demo/scenario.log

echo "One event end to end under Wine (about half a minute)"
# The runner waits for the prefix's Wine server to end; a program left behind
# by a crashed run would hold it forever, so the wait is bounded.
KESTRUNE_BUILD_DIR=$build timeout -k 10 600 bash tests/app/wine_display_run.sh \
  "$build/bin/e2e_win32_tests.exe" --gtest_brief=1 >"$log.raw" 2>&1 || true
wineserver -k 2>/dev/null || true
tr -d '\r' <"$log.raw" >"$log"
rm -f "$log.raw"

# A process that dies under Wine can still exit with 0: only gtest's closing
# summary counts.
if ! grep -q '^\[  PASSED  \]' "$log"; then
  cat "$log"
  echo "the scenario FAILED (log: $log)"
  exit 1
fi
grep -v '^\[' "$log"

work=$(find "$WINEPREFIX/drive_c/users" -type d -name kestrune_e2e 2>/dev/null | head -n 1)
if [ -n "$work" ]; then
  cp "$work/scene.wav" "$work/headset.wav" "$demo/"
  echo "The scene: $demo/scene.wav; what the headset played: $demo/headset.wav"
fi
