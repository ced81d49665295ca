// Filter sections and their design: Butterworth high-passes by the bilinear
// transform, and the cookbook peaking and high-shelf sections.
#pragma once

#include <vector>

namespace kestrune {

struct SectionCoefficients {
  double b0 = 1.0, b1 = 0.0, b2 = 0.0, a1 = 0.0, a2 = 0.0;
};

// One section run on a left/right pair that shares its coefficients, in
// transposed direct form II. A first-order section has b2 = a2 = 0.
struct StereoSection {
  SectionCoefficients c;
  double z1[2] = {0.0, 0.0};
  double z2[2] = {0.0, 0.0};

  void process(double& left, double& right) noexcept {
    double x[2] = {left, right};
    double y[2];
    for (int ch = 0; ch < 2; ++ch) {
      y[ch] = c.b0 * x[ch] + z1[ch];
      z1[ch] = c.b1 * x[ch] - c.a1 * y[ch] + z2[ch];
      z2[ch] = c.b2 * x[ch] - c.a2 * y[ch];
    }
    left = y[0];
    right = y[1];
  }
};

// Butterworth high-pass of the given order at cutoffHz: order/2 biquads, then
// one first-order section when the order is odd. Unity gain at Nyquist.
std::vector<SectionCoefficients> butterworthHighPass(int order, double cutoffHz,
                                                     double sampleRate);

// Peaking section: gainDb at centreHz, quality q.
SectionCoefficients peakingSection(double centreHz, double q, double gainDb, double sampleRate);

// High shelf with slope 1: gainDb above cornerHz.
SectionCoefficients highShelfSection(double cornerHz, double gainDb, double sampleRate);

// Magnitude of the section's response at frequencyHz, in dB.
double sectionResponseDb(const SectionCoefficients& c, double frequencyHz, double sampleRate);

}  // namespace kestrune
