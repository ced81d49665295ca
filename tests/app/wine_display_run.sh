#!/usr/bin/env bash
# Runs one Windows program under Wine on a virtual X display (Xvfb), for
# tests that need windows, a tray and message boxes. The Wine prefix is a
# second one in the build tree: a Wine server that other tests started
# without a display would leave these windows without one. The server is
# waited for before the display goes, so the next run starts clean.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build_dir=${KESTRUNE_BUILD_DIR:-$PWD}
while [ ! -f "$build_dir/CMakeCache.txt" ] && [ "$build_dir" != / ]; do build_dir=$(dirname "$build_dir"); done
[ -f "$build_dir/CMakeCache.txt" ] || build_dir=${KESTRUNE_BUILD_DIR:-${TMPDIR:-/tmp}/kestrune-wine}
export KESTRUNE_BUILD_DIR=$build_dir
export WINEPREFIX=${WINEPREFIX:-$build_dir/wineprefix-display}
export KESTRUNE_WINE_DISPLAY=1
# Xvfb has no window manager, and Wine waits up to 2 s for one whenever a
# window it would manage hides or goes; unmanaged windows do not wait.
exec xvfb-run -a -s "-screen 0 1280x1024x24" bash -c '
  run=$0
  if [ ! -f "$WINEPREFIX/.kestrune-unmanaged" ]; then
    "$run" reg add "HKCU\\Software\\Wine\\X11 Driver" /v Managed /d N /f >/dev/null 2>&1
    touch "$WINEPREFIX/.kestrune-unmanaged"
  fi
  "$run" "$@" && rc=0 || rc=$?
  wineserver -w || true
  exit $rc' "$here/../../cmake/wine_run.sh" "$@"
