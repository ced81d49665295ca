#include "apo/dsp/processor_bank.h"

#include <algorithm>
#include <cstring>

#include "apo/dsp/denormals.h"
#include "apo/dsp/tone_shaper.h"

namespace kestrune {

namespace {

constexpr int kLight = 0;
constexpr int kNormal = 1;
constexpr int kStrong = 2;

using F4 = float __attribute__((vector_size(16)));

ProcessorParams presetParams(double sampleRate, int preset) {
  ProcessorParams params = baseParams(sampleRate);
  applyPreset(params, kIntensityPresets[preset].name);
  return params;
}

}  // namespace

ProcessorBank::ProcessorBank(double sampleRate, bool aligned, DspPath path)
    : kernels_(nullptr),
      path_(dspPathSupported(path) ? path : DspPath::kBaseline),
      blockFrames_(blockLengthFrames(sampleRate)),
      latencyFrames_(latencyForBlock(blockFrames_, aligned)),
      onsets_(presetParams(sampleRate, kNormal)),
      ducks_{DuckGain(presetParams(sampleRate, kLight)),
             DuckGain(presetParams(sampleRate, kNormal))},
      levels_{SceneLevels(presetParams(sampleRate, kLight)),
              SceneLevels(presetParams(sampleRate, kNormal))},
      controls_{LiftControl(presetParams(sampleRate, kLight)),
                LiftControl(presetParams(sampleRate, kNormal)),
                LiftControl(presetParams(sampleRate, kStrong))},
      limiters_{LimiterControl(presetParams(sampleRate, kLight)),
                LimiterControl(presetParams(sampleRate, kNormal)),
                LimiterControl(presetParams(sampleRate, kStrong))},
      queueCapacity_(kQueueFrames - kQueueFrames % static_cast<std::uint32_t>(blockFrames_)),
      writeFrames_(static_cast<std::uint64_t>(latencyFrames_)) {
  kernels_ = &dspKernels(path_);
  for (int lane = 0; lane < 2; ++lane) {
    measure_.input.design(lane, inputHighPass(sampleRate));
    const auto measuring =
        butterworthHighPass(2 * kMeasuringSections, kMeasuringCutoffHz, sampleRate);
    for (int s = 0; s < kMeasuringSections; ++s) measure_.measuring[s].design(lane, measuring[s]);
  }
  for (int shape = 0; shape < kShapes; ++shape) {
    const ToneShaper design(presetParams(sampleRate, shape == 0 ? kLight : kNormal));
    for (int lane = 2 * shape; lane < 2 * shape + 2; ++lane) {
      for (int s = 0; s < ToneShaper::kSections; ++s)
        tone_.sections[s].design(lane, design.section(s));
      tone_.outputGain[lane] = design.outputGain();
    }
  }
}

std::unique_ptr<ProcessorBank> ProcessorBank::create(double sampleRate, bool aligned,
                                                     DspPath path) {
  return std::make_unique<ProcessorBank>(sampleRate, aligned, path);
}

void ProcessorBank::process(const float* input, float* const outputs[kBankPresets],
                            std::uint32_t frames) noexcept {
  ScopedDenormalFlush flush;
  const std::uint32_t chunkFrames = kChunkBlocks * static_cast<std::uint32_t>(blockFrames_);
  std::uint32_t done = 0;
  while (done < frames) {
    const std::uint32_t chunk = std::min(chunkFrames, frames - done);
    inputFrames(input + 2 * std::size_t{done}, chunk);
    readQueue(outputs, done, chunk);
    done += chunk;
  }
}

void ProcessorBank::inputFrames(const float* input, std::uint32_t frames) noexcept {
  while (frames > 0) {
    const std::uint32_t n = std::min(frames, static_cast<std::uint32_t>(blockFrames_ - fill_));
    kernels_->condition(input, block_ + 2 * fill_, n);
    input += 2 * n;
    frames -= n;
    fill_ += static_cast<std::int32_t>(n);
    if (fill_ == blockFrames_) {
      runBlock();
      fill_ = 0;
    }
  }
}

void ProcessorBank::readQueue(float* const outputs[kBankPresets], std::size_t offset,
                              std::uint32_t frames) noexcept {
  // Whatever the queue lacks is silence, and the read count stays put.
  const std::uint32_t available =
      static_cast<std::uint32_t>(std::min<std::uint64_t>(frames, writeFrames_ - readFrames_));
  for (int p = 0; p < kBankPresets; ++p) {
    if (outputs[p] == nullptr) continue;
    float* out = outputs[p] + 2 * offset;
    std::uint32_t copied = 0;
    while (copied < available) {
      // Runs up to the ring's end; left and right lanes interleaved.
      const std::uint64_t at = (readFrames_ + copied) % queueCapacity_;
      const auto run = static_cast<std::uint32_t>(
          std::min<std::uint64_t>(available - copied, queueCapacity_ - at));
      const float* left = queue_ + 2 * p * kQueueStride + at;
      const float* right = left + kQueueStride;
      float* to = out + 2 * std::size_t{copied};
      std::uint32_t i = 0;
      for (; i + 4 <= run; i += 4) {
        F4 l, r;
        std::memcpy(&l, left + i, sizeof l);
        std::memcpy(&r, right + i, sizeof r);
        const F4 first = __builtin_shufflevector(l, r, 0, 4, 1, 5);
        const F4 second = __builtin_shufflevector(l, r, 2, 6, 3, 7);
        std::memcpy(to + 2 * i, &first, sizeof first);
        std::memcpy(to + 2 * i + 4, &second, sizeof second);
      }
      for (; i < run; ++i) {
        to[2 * i] = left[i];
        to[2 * i + 1] = right[i];
      }
      copied += run;
    }
    std::fill(out + 2 * std::size_t{available}, out + 2 * std::size_t{frames}, 0.0f);
  }
  readFrames_ += available;
}

void ProcessorBank::runBlock() noexcept {
  const std::int32_t frames = blockFrames_;
  // The centre ducker's measuring and onset test, once for all presets.
  const std::int64_t n = ++blockCount_;
  const StereoPair sums = kernels_->measure(measure_, block_, midSide_[n % kDuckSlots], frames);
  onsets_.addBlock(n, sums / static_cast<double>(frames));

  // Its delayed output, ducked and tone-shaped once per shape. The scene
  // lift counts the blocks it receives: its block f is the ducker's block f.
  const std::int64_t f = n - kDuckerDelayBlocks;
  if (f < 0) return;
  const int slot = static_cast<int>(f % kSlots);
  const GainRamp duck[kShapes] = {ducks_[0].next(f, onsets_.holdUntil(), frames),
                                  ducks_[1].next(f, onsets_.holdUntil(), frames)};
  kernels_->shape(tone_, midSide_[f % kDuckSlots], duck, duckGains_, wet_[slot], base_[slot],
                  frames);
  double meanSquares[kShapes];
  kernels_->meanSquares(wet_[slot], frames, meanSquares);
  for (int s = 0; s < kShapes; ++s) {
    duckHistory_[s][slot] = ducks_[s].duckDb();
    levels_[s].add(f, meanSquares[s]);
  }

  // The scene lift's decisions per preset, its output side by side. The
  // limiter counts the blocks it receives: its block m is the lift's block m.
  const std::int64_t m = f - kLiftLookAheadBlocks;
  if (m < 0) return;
  const int mSlot = static_cast<int>(m % kSlots);
  LiftRamps lift[kBankPresets];
  for (int p = 0; p < kBankPresets; ++p) {
    const int s = kShapeOfPreset[p];
    lift[p] = controls_[p].decide(m, levels_[s].peakDb(m), levels_[s].longDb(m),
                                  duckHistory_[s][mSlot] < kDuckAtWorkDb, frames);
  }
  double peaks[kBankPresets];
  kernels_->lift(wet_[mSlot], base_[mSlot], lift, lifted_[mSlot], frames, peaks);

  GainRamp limit[kBankPresets];
  bool ready = false;
  for (int p = 0; p < kBankPresets; ++p) ready = limiters_[p].next(m, peaks[p], frames, limit[p]);
  if (!ready) return;
  const std::uint64_t at = writeFrames_ % queueCapacity_;
  kernels_->limit(lifted_[(m - 1) % kSlots], limit, limiters_[0].ceiling(), frames, queue_ + at,
                  kQueueStride);
  writeFrames_ += static_cast<std::uint64_t>(frames);
}

}  // namespace kestrune
