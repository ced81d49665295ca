// The tone shaper: a fixed equaliser per channel (35 Hz high-pass, a dip at
// 220 Hz, presence at 3.2 kHz, a top shelf) scaled by toneAmount, followed by
// an output gain that keeps the overall level about where it was.
#pragma once

#include "apo/dsp/filter_design.h"
#include "apo/dsp/processor_params.h"

namespace kestrune {

class ToneShaper {
 public:
  static constexpr int kSections = 4;

  explicit ToneShaper(const ProcessorParams& params);

  // Shapes frames interleaved stereo values from in to out.
  void process(const double* in, double* out, int frames) noexcept {
    // Locals let the four sections' state stay in registers for the block.
    StereoSection s0 = sections_[0], s1 = sections_[1], s2 = sections_[2], s3 = sections_[3];
    for (int i = 0; i < frames; ++i) {
      const StereoPair y = s3.process(s2.process(s1.process(s0.process(loadPair(in + 2 * i)))));
      storePair(out + 2 * i, y * outputGain_);
    }
    sections_[0] = s0;
    sections_[1] = s1;
    sections_[2] = s2;
    sections_[3] = s3;
  }

  const SectionCoefficients& section(int i) const { return sections_[i].coefficients(); }
  double outputGain() const { return outputGain_; }

 private:
  StereoSection sections_[kSections];
  double outputGain_;
};

}  // namespace kestrune
