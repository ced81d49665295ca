#!/usr/bin/env bash
# Compares the engine of the working tree with the engine before the
# processor bank (commit c3c6e3f), both built Release, in one run.
#
#   bash bench/compare.sh [build-dir] [rounds]
#
# Builds four benchmark programs from this tree's bench/ sources:
#   before           the old engine, baseline x86-64 (as the effect shipped)
#   before-avx2      the old engine compiled with -mavx2 -mfma
#                    -ffp-contract=fast (what compiler flags alone give)
#   after            this tree; its benchmarks run both paths (baseline, AVX2)
# then runs them in turn, round after round (default 3 rounds of 5
# repetitions each), so that load from other work falls on all of them alike,
# and prints per stream format the real-time factor of each (median of all
# repetitions; in brackets the best), the gain of each path over the old
# engine on that path, and the memory of one engine instance.
#
# It also prints the core's peak of fused multiply-adds, the yardstick of the
# floor in bench/README.md. With CALLGRIND=1 it prints the instructions per
# 480-frame call at 48 kHz stereo of each, counted by callgrind (the same on
# every run).
#
# Needs: cmake, ninja, g++, Google Benchmark (libbenchmark-dev), python3,
# valgrind for CALLGRIND=1. The build directory defaults to build/compare.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build/compare}
rounds=${2:-3}
repetitions=${REPETITIONS:-5}
min_time=${MIN_TIME:-0.3}
before_commit=c3c6e3f
mkdir -p "$build"
build=$(cd "$build" && pwd)

# The old engine's sources with this tree's benchmark sources (they include
# the old headers where apo/dsp/ does not exist).
src_before=$build/before-src
if [ ! -f "$src_before/.kestrune-$before_commit" ]; then
  rm -rf "$src_before"
  mkdir -p "$src_before"
  git -C "$root" archive "$before_commit" | tar -x -C "$src_before"
  touch "$src_before/.kestrune-$before_commit"
fi
cp "$root"/bench/CMakeLists.txt "$root"/bench/*.cpp "$src_before/bench/"

configure() {  # <source> <build> [extra cxx flags]
  cmake -S "$1" -B "$2" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_FLAGS="${3:-}" >/dev/null
  cmake --build "$2" --target kestrune_bench kestrune_engine_calls -j2 >/dev/null
}
echo "building in $build ..." >&2
configure "$src_before" "$build/before"
configure "$src_before" "$build/before-avx2" "-mavx2 -mfma -ffp-contract=fast"
configure "$root" "$build/after"

filter_old='BM_Engine/.*/path:0'
filter_new='BM_Engine/'
for ((r = 1; r <= rounds; r++)); do
  for variant in before before-avx2 after; do
    filter=$filter_old
    [ "$variant" = after ] && filter=$filter_new
    echo "round $r/$rounds: $variant" >&2
    "$build/$variant/bin/kestrune_bench" --benchmark_filter="$filter" \
      --benchmark_min_time="$min_time" --benchmark_repetitions="$repetitions" \
      --benchmark_format=json --benchmark_out_format=json \
      --benchmark_out="$build/$variant-round$r.json" >/dev/null
  done
done

fma=$("$build/after/bin/kestrune_bench" --benchmark_filter=BM_FmaThroughput \
  --benchmark_min_time="$min_time" --benchmark_format=json 2>/dev/null |
  python3 -c 'import json,sys; b=json.load(sys.stdin)["benchmarks"]; print("%.1f" % (b[0].get("lane_fma_per_s", 0) / 1e9))')

callgrind_lines=""
if [ "${CALLGRIND:-0}" = 1 ]; then
  count() {  # <build> <path>
    valgrind --tool=callgrind --callgrind-out-file=/dev/null \
      --toggle-collect='kestrune::EffectEngine::process*' \
      "$build/$1/bin/kestrune_engine_calls" 48000 480 2 "$2" 1000 2>&1 |
      awk '/Collected/ {print $4}'
  }
  callgrind_lines="before:$(count before 0) before-avx2:$(count before-avx2 0)"
  callgrind_lines+=" after-baseline:$(count after 0) after-avx2:$(count after 1)"
fi

echo "load average at the end: $(cut -d' ' -f1-3 /proc/loadavg)"
echo "peak of one core: $fma G double-precision fused multiply-adds per second (BM_FmaThroughput)"
python3 - "$build" "$rounds" "$callgrind_lines" <<'EOF'
import json, statistics, sys, re
build, rounds, callgrind = sys.argv[1], int(sys.argv[2]), sys.argv[3]
runs = {}  # (variant, config, path) -> [rt factors]
memory = {}
for variant in ("before", "before-avx2", "after"):
    for r in range(1, rounds + 1):
        for b in json.load(open(f"{build}/{variant}-round{r}.json"))["benchmarks"]:
            if b.get("run_type") != "iteration" or "error_occurred" in b:
                continue
            m = re.match(r"BM_Engine/rate:(\d+)/frames:(\d+)/channels:(\d+)/selector:(\d+)/path:(\d)",
                         b["run_name"])
            rate, frames, channels, selector, path = m.groups()
            config = f"{int(rate)/1000:g} kHz, {frames} frames, {channels} ch" + (
                ", dry playing" if selector == "0" else "")
            name = variant if variant != "after" else ("after" + ("-avx2" if path == "1" else ""))
            runs.setdefault((config, name), []).append(b["audio_s_per_cpu_s"])
            memory[(config, "before" if variant.startswith("before") else "after")] = b["instance_bytes"]
configs = list(dict.fromkeys(c for c, _ in runs))
cols = ["before", "after", "before-avx2", "after-avx2"]
print("| stream | before, baseline | after, baseline | before, AVX2 flags | after, AVX2 path "
      "| after/before baseline | after AVX2/before | after AVX2/before AVX2 | memory per instance |")
print("|---|---|---|---|---|---|---|---|---|")
for c in configs:
    med = {v: statistics.median(runs[(c, v)]) for v in cols if (c, v) in runs}
    best = {v: max(runs[(c, v)]) for v in cols if (c, v) in runs}
    cell = lambda v: f"{med[v]:.0f}x ({best[v]:.0f}x)" if v in med else "-"
    gain = lambda a, b: f"{med[a] / med[b]:.2f}" if a in med and b in med else "-"
    mem = f"{memory.get((c, 'before'), 0) / 1024:.0f} -> {memory.get((c, 'after'), 0) / 1024:.0f} KiB"
    print(f"| {c} | {cell('before')} | {cell('after')} | {cell('before-avx2')} | "
          f"{cell('after-avx2')} | {gain('after', 'before')} | {gain('after-avx2', 'before')} | "
          f"{gain('after-avx2', 'before-avx2')} | {mem} |")
if callgrind:
    print()
    print("instructions per 480-frame call at 48 kHz stereo (callgrind, 1000 calls):")
    for item in callgrind.split():
        name, total = item.split(":")
        print(f"  {name}: {int(total.replace(',', '')) / 1000:.0f}")
EOF
