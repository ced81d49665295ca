// Filter sections and their design: Butterworth high-passes by the bilinear
// transform, and the cookbook peaking and high-shelf sections.
#pragma once

#include <cstring>
#include <vector>

namespace kestrune {

struct SectionCoefficients {
  double b0 = 1.0, b1 = 0.0, b2 = 0.0, a1 = 0.0, a2 = 0.0;
};

#if defined(__GNUC__)
// A left/right pair of doubles in one SSE register (GCC/Clang vector
// extension; the effect is built with mingw-w64 g++).
using StereoPair = double __attribute__((vector_size(16)));
#else
#error "the audio core needs the GCC/Clang vector extension"
#endif

inline StereoPair loadPair(const double* at) noexcept {
  StereoPair p;
  std::memcpy(&p, at, sizeof p);
  return p;
}

inline void storePair(double* at, StereoPair p) noexcept { std::memcpy(at, &p, sizeof p); }

// The same pair as 32-bit floats, as audio arrives and leaves.
using StereoFloats = float __attribute__((vector_size(8)));

inline StereoPair loadFloats(const float* at) noexcept {
  StereoFloats f;
  std::memcpy(&f, at, sizeof f);
  return __builtin_convertvector(f, StereoPair);
}

inline void storeFloats(float* at, StereoPair p) noexcept {
  const StereoFloats f = __builtin_convertvector(p, StereoFloats);
  std::memcpy(at, &f, sizeof f);
}

// One section run on a left/right pair that shares its coefficients, in
// transposed direct form II. A first-order section has b2 = a2 = 0. Both
// lanes go through the same vector operations, so each is computed exactly
// as the scalar formula would be, at half the instructions.
class StereoSection {
 public:
  void design(const SectionCoefficients& c) noexcept {
    coefficients_ = c;
    b0_ = StereoPair{c.b0, c.b0};
    b1_ = StereoPair{c.b1, c.b1};
    b2_ = StereoPair{c.b2, c.b2};
    a1_ = StereoPair{c.a1, c.a1};
    a2_ = StereoPair{c.a2, c.a2};
  }
  const SectionCoefficients& coefficients() const { return coefficients_; }

  StereoPair process(StereoPair x) noexcept {
    const StereoPair y = b0_ * x + z1_;
    // (b1 x + z2) first: only a multiply and a subtract then wait for y,
    // which shortens the frame-to-frame dependency chain.
    z1_ = (b1_ * x + z2_) - a1_ * y;
    z2_ = b2_ * x - a2_ * y;
    return y;
  }

 private:
  StereoPair b0_ = {1.0, 1.0}, b1_ = {}, b2_ = {}, a1_ = {}, a2_ = {};
  StereoPair z1_ = {}, z2_ = {};
  SectionCoefficients coefficients_;
};

// A first-order section (b2 = a2 = 0) on a left/right pair: the same
// results as StereoSection with those coefficients, whose z2 stays 0, with
// a third fewer operations.
class FirstOrderStereoSection {
 public:
  void design(const SectionCoefficients& c) noexcept {
    b0_ = StereoPair{c.b0, c.b0};
    b1_ = StereoPair{c.b1, c.b1};
    a1_ = StereoPair{c.a1, c.a1};
  }

  StereoPair process(StereoPair x) noexcept {
    const StereoPair y = b0_ * x + z1_;
    z1_ = b1_ * x - a1_ * y;
    return y;
  }

 private:
  StereoPair b0_ = {1.0, 1.0}, b1_ = {}, a1_ = {};
  StereoPair z1_ = {};
};

// Butterworth high-pass of the given order at cutoffHz: order/2 biquads, then
// one first-order section when the order is odd. Unity gain at Nyquist.
std::vector<SectionCoefficients> butterworthHighPass(int order, double cutoffHz, double sampleRate);

// Peaking section: gainDb at centreHz, quality q.
SectionCoefficients peakingSection(double centreHz, double q, double gainDb, double sampleRate);

// High shelf with slope 1: gainDb above cornerHz.
SectionCoefficients highShelfSection(double cornerHz, double gainDb, double sampleRate);

// Magnitude of the section's response at frequencyHz, in dB.
double sectionResponseDb(const SectionCoefficients& c, double frequencyHz, double sampleRate);

}  // namespace kestrune
