#include "apo/dsp/filter_design.h"

#include <cmath>
#include <complex>
#include <numbers>

namespace kestrune {

std::vector<SectionCoefficients> butterworthHighPass(int order, double cutoffHz,
                                                     double sampleRate) {
  using std::numbers::pi;
  const double warped = 2.0 * sampleRate * std::tan(pi * cutoffHz / sampleRate);
  const double twoFs = 2.0 * sampleRate;
  std::vector<SectionCoefficients> sections;
  for (int k = 0; k < order / 2; ++k) {
    const double theta = (2.0 * k + 1.0 - order) * pi / (2.0 * order);
    const std::complex<double> lowPassPole = -std::polar(1.0, theta);
    const std::complex<double> highPassPole = warped / lowPassPole;
    const std::complex<double> z = (twoFs + highPassPole) / (twoFs - highPassPole);
    SectionCoefficients s;
    s.a1 = -2.0 * z.real();
    s.a2 = std::norm(z);
    s.b0 = (1.0 - s.a1 + s.a2) / 4.0;
    s.b2 = s.b0;
    s.b1 = -2.0 * s.b0;
    sections.push_back(s);
  }
  if (order % 2 == 1) {
    const double h = (twoFs - warped) / (twoFs + warped);
    SectionCoefficients s;
    s.b0 = (1.0 + h) / 2.0;
    s.b1 = -s.b0;
    s.a1 = -h;
    sections.push_back(s);
  }
  return sections;
}

SectionCoefficients peakingSection(double centreHz, double q, double gainDb, double sampleRate) {
  const double amp = std::pow(10.0, gainDb / 40.0);
  const double w = 2.0 * std::numbers::pi * centreHz / sampleRate;
  const double alpha = std::sin(w) / (2.0 * q);
  const double a0 = 1.0 + alpha / amp;
  SectionCoefficients s;
  s.b0 = (1.0 + alpha * amp) / a0;
  s.b1 = -2.0 * std::cos(w) / a0;
  s.b2 = (1.0 - alpha * amp) / a0;
  s.a1 = -2.0 * std::cos(w) / a0;
  s.a2 = (1.0 - alpha / amp) / a0;
  return s;
}

SectionCoefficients highShelfSection(double cornerHz, double gainDb, double sampleRate) {
  const double amp = std::pow(10.0, gainDb / 40.0);
  const double w = 2.0 * std::numbers::pi * cornerHz / sampleRate;
  const double alpha = std::sin(w) / 2.0 * std::numbers::sqrt2;
  const double cosW = std::cos(w);
  const double twoRootAAlpha = 2.0 * std::sqrt(amp) * alpha;
  const double a0 = (amp + 1.0) - (amp - 1.0) * cosW + twoRootAAlpha;
  SectionCoefficients s;
  s.b0 = amp * ((amp + 1.0) + (amp - 1.0) * cosW + twoRootAAlpha) / a0;
  s.b1 = -2.0 * amp * ((amp - 1.0) + (amp + 1.0) * cosW) / a0;
  s.b2 = amp * ((amp + 1.0) + (amp - 1.0) * cosW - twoRootAAlpha) / a0;
  s.a1 = 2.0 * ((amp - 1.0) - (amp + 1.0) * cosW) / a0;
  s.a2 = ((amp + 1.0) - (amp - 1.0) * cosW - twoRootAAlpha) / a0;
  return s;
}

double sectionResponseDb(const SectionCoefficients& c, double frequencyHz, double sampleRate) {
  const std::complex<double> zInv =
      std::polar(1.0, -2.0 * std::numbers::pi * frequencyHz / sampleRate);
  const std::complex<double> num = c.b0 + zInv * (c.b1 + zInv * c.b2);
  const std::complex<double> den = 1.0 + zInv * (c.a1 + zInv * c.a2);
  return 20.0 * std::log10(std::abs(num / den));
}

}  // namespace kestrune
