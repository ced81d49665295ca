#!/usr/bin/env bash
# Every test: host, host with sanitizers, and the Windows build under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
jobs=$(nproc)
status=0

for preset in host host-asan windows; do
  echo "== $preset =="
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j "$jobs"
done
bash scripts/check_imports.sh build/windows/bin

for preset in host host-asan windows; do
  echo "== tests: $preset =="
  ctest --preset "$preset" -j "$jobs" || status=1
done
exit $status
