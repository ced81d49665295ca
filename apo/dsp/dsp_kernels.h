// The sound engine's per-frame loops, one set per code path (dsp_path.h).
// Each loop does, for the three presets side by side, what the processor's
// stages do for one, with the same operations per lane in the same order:
// the baseline set gives the processor's results bit for bit; the AVX2 set
// fuses multiplies and adds and sums some squares four at a time, which
// changes the rounding and nothing else.
//
// Lanes: a shaped block has four (light left, light right, shared left,
// shared right), "shared" being the signal "normal" and "strong" have in
// common up to the scene lift; a lifted block has six (light, normal,
// strong; left and right each). Both are planar: lane l's frame i at
// [l * kPlanarFrames + i]. Frames past a block's end up to the next multiple
// of four are scratch, so the loops can always work four frames at a time.
#pragma once

#include <cstddef>
#include <cstdint>

#include "apo/dsp/dsp_path.h"
#include "apo/dsp/filter_design.h"
#include "apo/dsp/processor_params.h"
#include "apo/dsp/scene_lift.h"
#include "apo/dsp/smoothing.h"

namespace kestrune {

inline constexpr int kBankPresets = 3;  // light, normal, strong
inline constexpr int kShapedLanes = 4;
// The shape (0 light, 1 shared) each preset lifts. "normal" and "strong"
// share one because their duck depth and tone amount are equal.
inline constexpr int kShapeOfPreset[kBankPresets] = {0, 1, 1};
static_assert(kIntensityPresets[1].duckDepthDb == kIntensityPresets[2].duckDepthDb &&
              kIntensityPresets[1].toneAmount == kIntensityPresets[2].toneAmount);
inline constexpr int kLiftedLanes = 2 * kBankPresets;
inline constexpr int kPlanarFrames = kMaxBlockFrames;
static_assert(kPlanarFrames % 4 == 0);

// Coefficients and state of one filter section per lane, in transposed
// direct form II; a first-order section has b2 = a2 = 0.
template <int Lanes>
struct SectionLanes {
  alignas(32) double b0[Lanes], b1[Lanes], b2[Lanes], a1[Lanes], a2[Lanes];
  alignas(32) double z1[Lanes] = {}, z2[Lanes] = {};

  void design(int lane, const SectionCoefficients& c) {
    b0[lane] = c.b0;
    b1[lane] = c.b1;
    b2[lane] = c.b2;
    a1[lane] = c.a1;
    a2[lane] = c.a2;
  }
};

// The stages every preset shares: the input high-pass on left and right,
// then the centre ducker's measuring chain on mid and side.
struct MeasureFilters {
  SectionLanes<2> input;
  SectionLanes<2> measuring[2];
};

// The tone shaper's four sections and output gain per shaped lane.
struct ToneFilters {
  SectionLanes<kShapedLanes> sections[4];
  alignas(32) double outputGain[kShapedLanes];
};

struct DspKernels {
  // The input stage's conditioning (conditionInput) of frames stereo frames.
  void (*condition)(const float* input, double* out, std::uint32_t frames) noexcept;

  // Runs frames conditioned stereo frames through the shared stages; writes
  // (mid, side) per frame and returns the sums of the squared measured mid
  // and side values.
  StereoPair (*measure)(MeasureFilters& filters, const double* block, double* midSide,
                        std::int32_t frames) noexcept;

  // Ducks the mid of a (mid, side) block along the light and the shared duck
  // ramps (scratch: 2 * kPlanarFrames doubles) and writes the result (base)
  // and its tone-shaped form (wet) as planar shaped blocks.
  void (*shape)(ToneFilters& tone, const double* midSide, const GainRamp duck[2], double* scratch,
                double* wet, double* base, std::int32_t frames) noexcept;

  // The mean square of each shape's left and right values in a planar
  // shaped block, summed as the scene lift sums them.
  void (*meanSquares)(const double* shaped, std::int32_t frames, double out[2]) noexcept;

  // Lifts a block per preset (see LiftRamps) into a planar lifted block,
  // and gives each preset's largest magnitude.
  void (*lift)(const double* wet, const double* base, const LiftRamps ramps[kBankPresets],
               double* lifted, std::int32_t frames, double peaks[kBankPresets]) noexcept;

  // Applies each preset's limiter gains to a planar lifted block, clamps to
  // +-ceiling and writes floats, lane l's frame i at out[l * laneStride + i];
  // up to three floats past each lane's last frame are overwritten.
  void (*limit)(const double* lifted, const GainRamp gains[kBankPresets], double ceiling,
                std::int32_t frames, float* out, std::size_t laneStride) noexcept;

  // Largest magnitude of count floats; NaN is ignored.
  float (*peak)(const float* values, std::uint32_t count) noexcept;
};

// The loops of a path; a path the CPU cannot run gets the baseline.
const DspKernels& dspKernels(DspPath path) noexcept;

}  // namespace kestrune
