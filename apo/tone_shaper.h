// The tone shaper: a fixed equaliser per channel (35 Hz high-pass, a dip at
// 220 Hz, presence at 3.2 kHz, a top shelf) scaled by toneAmount, followed by
// an output gain that keeps the overall level about where it was.
#pragma once

#include "apo/filter_design.h"
#include "apo/processor_params.h"

namespace kestrune {

class ToneShaper {
 public:
  static constexpr int kSections = 4;

  explicit ToneShaper(const ProcessorParams& params);

  void process(double& left, double& right) noexcept {
    for (StereoSection& section : sections_) section.process(left, right);
    left *= outputGain_;
    right *= outputGain_;
  }

  const SectionCoefficients& section(int i) const { return sections_[i].c; }
  double outputGain() const { return outputGain_; }

 private:
  StereoSection sections_[kSections];
  double outputGain_;
};

}  // namespace kestrune
