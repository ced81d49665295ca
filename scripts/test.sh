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

echo "== fuzz: control pipe requests =="
cmake -S . -B build/fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_C_COMPILER=clang \
  -DCMAKE_CXX_COMPILER=clang++ -DKESTRUNE_FUZZ=ON -DKESTRUNE_BENCH=OFF >/dev/null
cmake --build build/fuzz --target request_fuzz -j "$jobs"
if build/fuzz/bin/request_fuzz -max_total_time=20 -max_len=5000 -artifact_prefix=build/fuzz/ \
  >build/fuzz/request_fuzz.log 2>&1; then
  tail -n 1 build/fuzz/request_fuzz.log
else
  tail -n 40 build/fuzz/request_fuzz.log
  status=1
fi
echo "== fuzz: page bridge requests =="
cmake --build build/fuzz --target bridge_fuzz -j "$jobs"
if build/fuzz/bin/bridge_fuzz -max_total_time=15 -max_len=5000 -artifact_prefix=build/fuzz/ \
  >build/fuzz/bridge_fuzz.log 2>&1; then
  tail -n 1 build/fuzz/bridge_fuzz.log
else
  tail -n 40 build/fuzz/bridge_fuzz.log
  status=1
fi
echo "== page tests (Chromium) =="
(cd tests/ui && npm test --silent) || status=1
exit $status
