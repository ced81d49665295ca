// Cost of the audio core per second of audio. The counter
// "audio_s_per_cpu_s" is the real-time factor: seconds of audio processed
// per second of CPU (1000 means one processed second costs 1 ms).
// "instance_bytes" is the memory of one set-up engine: the object and what
// its set-up allocates.
//
// bench/compare.sh also builds this file against the engine before it moved
// to apo/dsp/ (where it had no code paths), to compare both in one run.
#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <new>
#include <random>
#include <vector>

#if __has_include("apo/dsp/effect_engine.h")
#include "apo/dsp/effect_engine.h"
#include "apo/dsp/footstep_processor.h"
#define KESTRUNE_BENCH_PATHS 1
#else
#include "apo/effect_engine.h"
#include "apo/footstep_processor.h"
#endif

namespace {

std::atomic<std::size_t> g_allocatedBytes{0};

}  // namespace

void* operator new(std::size_t size) {
  g_allocatedBytes.fetch_add(size, std::memory_order_relaxed);
  if (void* p = std::malloc(size ? size : 1)) return p;
  throw std::bad_alloc();
}
void* operator new(std::size_t size, std::align_val_t align) {
  g_allocatedBytes.fetch_add(size, std::memory_order_relaxed);
  const std::size_t a = static_cast<std::size_t>(align);
  if (void* p = std::aligned_alloc(a, (size + a - 1) / a * a)) return p;
  throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete(void* p, std::align_val_t) noexcept { std::free(p); }
void operator delete(void* p, std::size_t, std::align_val_t) noexcept { std::free(p); }

namespace kestrune {
namespace {

std::vector<float> benchNoise(std::size_t values) {
  std::mt19937 rng(1234);
  std::uniform_real_distribution<float> dist(-0.3f, 0.3f);
  std::vector<float> v(values);
  for (float& x : v) x = dist(rng);
  return v;
}

void reportRealTime(benchmark::State& state, double rate, std::uint32_t frames) {
  const double audioSeconds = static_cast<double>(state.iterations()) * frames / rate;
  state.counters["audio_s_per_cpu_s"] =
      benchmark::Counter(audioSeconds, benchmark::Counter::kIsRate);
}

// args: sample rate, frames per call
void BM_Processor(benchmark::State& state) {
  const double rate = static_cast<double>(state.range(0));
  const auto frames = static_cast<std::uint32_t>(state.range(1));
  ProcessorParams params = baseParams(rate);
  applyPreset(params, "normal");
  auto processor = FootstepProcessor::create(params, true);
  const auto in = benchNoise(2 * std::size_t{frames} * 100);
  std::vector<float> out(2 * std::size_t{frames});
  std::size_t call = 0;
  for (auto _ : state) {
    processor->process(in.data() + 2 * std::size_t{frames} * (call++ % 100), out.data(), frames);
    benchmark::DoNotOptimize(out.data());
  }
  reportRealTime(state, rate, frames);
}
BENCHMARK(BM_Processor)->Args({48000, 480})->Args({44100, 441});

// args: sample rate, frames per call, channels, selector, path (0 baseline,
// 1 AVX2; an engine without paths runs its only one)
void BM_Engine(benchmark::State& state) {
  const double rate = static_cast<double>(state.range(0));
  const auto frames = static_cast<std::uint32_t>(state.range(1));
  const auto channels = static_cast<std::uint32_t>(state.range(2));
  const auto selector = static_cast<std::int32_t>(state.range(3));
  const std::size_t before = g_allocatedBytes.load();
  auto engine = std::make_unique<EffectEngine>();
#if defined(KESTRUNE_BENCH_PATHS)
  const DspPath path = state.range(4) == 1 ? DspPath::kAvx2 : DspPath::kBaseline;
  if (!dspPathSupported(path)) {
    state.SkipWithError("path not supported by this CPU");
    return;
  }
  engine->setup(StreamFormat{channels, rate, 4, true}, frames, selector, path);
#else
  engine->setup(StreamFormat{channels, rate, 4, true}, frames, selector);
#endif
  const std::size_t instanceBytes = g_allocatedBytes.load() - before;
  engine->syncTargetToCurrent();
  MeterSection section{};
  engine->attachMeter(&section);
  engine->setMeterEnabled(true);
  const std::size_t callValues = std::size_t{frames} * channels;
  const auto in = benchNoise(callValues * 100);
  std::vector<float> out(callValues);
  std::size_t call = 0;
  for (auto _ : state) {
    engine->process(in.data() + callValues * (call++ % 100), out.data(), frames, false);
    benchmark::DoNotOptimize(out.data());
  }
  reportRealTime(state, rate, frames);
  state.counters["instance_bytes"] = static_cast<double>(instanceBytes);
}
BENCHMARK(BM_Engine)
    ->ArgNames({"rate", "frames", "channels", "selector", "path"})
    ->ArgsProduct({{48000}, {480}, {2}, {2, 0}, {0, 1}})
    ->ArgsProduct({{44100}, {441}, {2}, {2}, {0, 1}})
    ->ArgsProduct({{96000}, {960}, {2}, {2}, {0, 1}})
    ->ArgsProduct({{192000}, {1920}, {2}, {2}, {0, 1}})
    ->ArgsProduct({{48000}, {480}, {8}, {2}, {0, 1}});

// The machine's peak: independent 4-lane fused multiply-adds on one core,
// as many chains as hide their latency. "lane_fma_per_s" counts each of the
// four lanes; the floor of the engine's arithmetic is measured against it.
__attribute__((target("avx2,fma"))) void BM_FmaThroughput(benchmark::State& state) {
  if (!__builtin_cpu_supports("avx2") || !__builtin_cpu_supports("fma")) {
    state.SkipWithError("no AVX2 and FMA on this CPU");
    return;
  }
  using Lanes = double __attribute__((vector_size(32)));
  constexpr int kChains = 10;
  constexpr int kRounds = 1000;
  Lanes x[kChains];
  for (int c = 0; c < kChains; ++c) x[c] = Lanes{1.0 * c, 1.0, 2.0, 3.0};
  const Lanes scale = {0.999999, 0.999999, 0.999999, 0.999999};
  const Lanes add = {1e-9, 1e-9, 1e-9, 1e-9};
  for (auto _ : state) {
    for (int r = 0; r < kRounds; ++r) {
      for (int c = 0; c < kChains; ++c) x[c] = __builtin_ia32_vfmaddpd256(x[c], scale, add);
    }
    benchmark::DoNotOptimize(x);
  }
  state.counters["lane_fma_per_s"] = benchmark::Counter(
      static_cast<double>(state.iterations()) * kRounds * kChains * 4, benchmark::Counter::kIsRate);
}
BENCHMARK(BM_FmaThroughput);

}  // namespace
}  // namespace kestrune
