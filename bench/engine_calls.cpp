// Runs the engine for a fixed number of calls on steady noise, for counting
// instructions with callgrind (repeatable where timings on a shared machine
// are not), e.g. 1000 calls of the AVX2 path at 48 kHz stereo:
//   valgrind --tool=callgrind --toggle-collect='kestrune::EffectEngine::process*'
//     kestrune_engine_calls 48000 480 2 1 1000
// Built from the same source against the engine before it moved to apo/dsp/
// by bench/compare.sh, where the path argument is ignored.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <random>
#include <vector>

#if __has_include("apo/dsp/effect_engine.h")
#include "apo/dsp/effect_engine.h"
#define KESTRUNE_BENCH_PATHS 1
#else
#include "apo/effect_engine.h"
#endif

int main(int argc, char** argv) {
  if (argc != 6) {
    std::fprintf(stderr, "usage: %s <rate> <frames> <channels> <path 0|1> <calls>\n", argv[0]);
    return 2;
  }
  const double rate = std::atof(argv[1]);
  const auto frames = static_cast<std::uint32_t>(std::atol(argv[2]));
  const auto channels = static_cast<std::uint32_t>(std::atol(argv[3]));
  const long calls = std::atol(argv[5]);
  auto engine = std::make_unique<kestrune::EffectEngine>();
  const kestrune::StreamFormat format{channels, rate, 4, true};
#if defined(KESTRUNE_BENCH_PATHS)
  const auto path =
      std::atoi(argv[4]) == 1 ? kestrune::DspPath::kAvx2 : kestrune::DspPath::kBaseline;
  if (!kestrune::dspPathSupported(path)) {
    std::fprintf(stderr, "path not supported by this CPU\n");
    return 1;
  }
  engine->setup(format, frames, 2, path);
#else
  engine->setup(format, frames, 2);
#endif
  engine->syncTargetToCurrent();
  auto section = std::make_unique<kestrune::MeterSection>();
  engine->attachMeter(section.get());
  engine->setMeterEnabled(true);

  const std::size_t callValues = std::size_t{frames} * channels;
  std::mt19937 rng(1234);
  std::uniform_real_distribution<float> dist(-0.3f, 0.3f);
  std::vector<float> in(callValues * 100);
  for (float& x : in) x = dist(rng);
  std::vector<float> out(callValues);
  double sink = 0.0;
  for (long call = 0; call < calls; ++call) {
    engine->process(in.data() + callValues * (call % 100), out.data(), frames, false);
    sink += out[0];
  }
  std::printf("%ld calls of %u frames, %u channels (%g)\n", calls, frames, channels, sink);
  return 0;
}
