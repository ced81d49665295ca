#!/usr/bin/env bash
# Runs one Windows program under Wine in the build tree's private prefix.
# The prefix is created once (serialised by a lock) and reused by every test.
set -euo pipefail
build_dir=${KESTRUNE_BUILD_DIR:-$PWD}
while [ ! -f "$build_dir/CMakeCache.txt" ] && [ "$build_dir" != / ]; do build_dir=$(dirname "$build_dir"); done
# Outside a build tree, keep the prefix out of the source tree.
[ -f "$build_dir/CMakeCache.txt" ] || build_dir=${KESTRUNE_BUILD_DIR:-${TMPDIR:-/tmp}/kestrune-wine}
mkdir -p "$build_dir"

export WINEPREFIX=${WINEPREFIX:-$build_dir/wineprefix}
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-"mscoree,mshtml=;winemenubuilder.exe=d"}
export WINEARCH=win64
export HOME=$build_dir/wine-home
[ -n "${KESTRUNE_WINE_DISPLAY:-}" ] || unset DISPLAY WAYLAND_DISPLAY  # set by tests that need a display
mkdir -p "$HOME"

wine=$(command -v wine64 || command -v wine || echo /usr/lib/wine/wine64)
(
  flock 9
  if [ ! -f "$WINEPREFIX/.kestrune-ready" ]; then
    rm -rf "$WINEPREFIX"
    "$wine" wineboot -i >/dev/null 2>&1 || true
    wineserver -w || true
    touch "$WINEPREFIX/.kestrune-ready"
  fi
) 9>"$build_dir/wineprefix.lock"

exec "$wine" "$@"
