// Cost of the audio core per second of audio. The counter
// "audio_s_per_cpu_s" is the real-time factor: seconds of audio processed
// per second of CPU (300 means one processed second costs 3.3 ms).
#include <benchmark/benchmark.h>

#include <cstdint>
#include <random>
#include <vector>

#include "apo/dsp/effect_engine.h"
#include "apo/dsp/footstep_processor.h"

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

// args: sample rate, frames per call, channels, selector
void BM_Engine(benchmark::State& state) {
  const double rate = static_cast<double>(state.range(0));
  const auto frames = static_cast<std::uint32_t>(state.range(1));
  const auto channels = static_cast<std::uint32_t>(state.range(2));
  EffectEngine engine;
  engine.setup(StreamFormat{channels, rate, 4, true}, frames,
               static_cast<std::int32_t>(state.range(3)));
  engine.syncTargetToCurrent();
  MeterSection section{};
  engine.attachMeter(&section);
  engine.setMeterEnabled(true);
  const std::size_t callValues = std::size_t{frames} * channels;
  const auto in = benchNoise(callValues * 100);
  std::vector<float> out(callValues);
  std::size_t call = 0;
  for (auto _ : state) {
    engine.process(in.data() + callValues * (call++ % 100), out.data(), frames, false);
    benchmark::DoNotOptimize(out.data());
  }
  reportRealTime(state, rate, frames);
}
BENCHMARK(BM_Engine)
    ->ArgNames({"rate", "frames", "channels", "selector"})
    ->Args({48000, 480, 2, 2})
    ->Args({44100, 441, 2, 2})
    ->Args({48000, 480, 8, 2})
    ->Args({48000, 480, 2, 0});

}  // namespace
}  // namespace kestrune
