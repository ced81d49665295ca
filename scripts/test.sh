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

# fuzz <target> <seconds> <title>: a short libFuzzer run; the log's tail on failure.
fuzz() {
  echo "== fuzz: $3 =="
  cmake --build build/fuzz --target "$1" -j "$jobs"
  if build/fuzz/bin/"$1" -max_total_time="$2" -max_len=5000 -artifact_prefix=build/fuzz/ \
    >build/fuzz/"$1".log 2>&1; then
    tail -n 1 build/fuzz/"$1".log
  else
    tail -n 40 build/fuzz/"$1".log
    status=1
  fi
}
cmake -S . -B build/fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_C_COMPILER=clang \
  -DCMAKE_CXX_COMPILER=clang++ -DKESTRUNE_FUZZ=ON -DKESTRUNE_BENCH=OFF >/dev/null
fuzz request_fuzz 20 "control pipe requests"
fuzz bridge_fuzz 15 "page bridge requests"
echo "== page tests (Chromium) =="
(cd tests/ui && npm test --silent) || status=1
exit $status
