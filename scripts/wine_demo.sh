#!/usr/bin/env bash
# Smoke demonstration of the running product: installs the product folder
# into a private Wine prefix, talks to the service through kestrune_ctl, and
# uninstalls again. Usage: wine_demo.sh [windows build dir]
set -euo pipefail
cd "$(dirname "$0")/.."
build=$(cd "${1:-build/windows}" && pwd)
product=$build/product/Orvantis
demo=$build/demo
mkdir -p "$demo"
export WINEPREFIX=$demo/wineprefix

winpath() { echo "Z:$1" | tr / '\\'; }

# One console session keeps the prefix alive: Wine stops its services once no
# ordinary process is left.
{
  printf '@echo off\r\n'
  printf 'set CTL="%%ProgramFiles%%\\Kestrune\\kestrune_ctl.exe"\r\n'
  printf 'echo ^> kestrune_service install\r\n"%s" install\r\n' "$(winpath "$product/kestrune_service.exe")"
  printf 'echo ^> kestrune_ctl status\r\n%%CTL%% status\r\n'
  printf 'echo ^> kestrune_ctl set mode always\r\n%%CTL%% set mode always\r\n'
  printf 'echo ^> kestrune_ctl status\r\n%%CTL%% status\r\n'
  printf 'echo ^> kestrune_service uninstall\r\n"%%ProgramFiles%%\\Kestrune\\kestrune_service.exe" uninstall\r\n'
} >"$demo/demo.cmd"

KESTRUNE_BUILD_DIR=$build bash cmake/wine_run.sh cmd /c "$(winpath "$demo/demo.cmd")" | tr -d '\r'
wineserver -k 2>/dev/null || true
