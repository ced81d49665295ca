#include "tools/demo_scene.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace kestrune {

namespace {

constexpr double kRate = 48000.0;
constexpr double kSeconds = 16.0;

// xorshift32: the same numbers on every platform and library.
class Noise {
 public:
  explicit Noise(std::uint32_t seed) : state_(seed) {}
  float next() {  // uniform in [-1, 1)
    state_ ^= state_ << 13;
    state_ ^= state_ >> 17;
    state_ ^= state_ << 5;
    return static_cast<float>(state_) / 2147483648.0f - 1.0f;
  }

 private:
  std::uint32_t state_;
};

std::size_t frameAt(double seconds) { return static_cast<std::size_t>(seconds * kRate); }

// A footstep-like tick: band-limited noise (a resonator around 2.5 kHz) with
// a fast attack and 40 ms decay, placed mostly on one side.
void addOffCentreStep(DemoScene& scene, Noise& noise, double at, bool left, float peak) {
  const std::size_t start = frameAt(at);
  const std::size_t length = frameAt(0.08);
  const double w = 2.0 * std::numbers::pi * 2500.0 / kRate;
  const double r = 0.97;
  double y1 = 0.0, y2 = 0.0;
  std::vector<float>& s = scene.sound.samples;
  for (std::size_t i = 0; i < length && start + i < s.size() / 2; ++i) {
    const double envelope = std::exp(-static_cast<double>(i) / (0.012 * kRate));
    const double y = noise.next() * (1.0 - r) + 2.0 * r * std::cos(w) * y1 - r * r * y2;
    y2 = y1;
    y1 = y;
    const float x = static_cast<float>(y * envelope * 18.0) * peak;
    s[2 * (start + i)] += left ? x : 0.25f * x;
    s[2 * (start + i) + 1] += left ? 0.25f * x : x;
  }
  scene.events.push_back({DemoEventKind::OffCentreStep, start, length});
}

// The listener's own step: a low thump with a click, equal on both sides.
void addCentredStep(DemoScene& scene, Noise& noise, double at, float peak) {
  const std::size_t start = frameAt(at);
  const std::size_t length = frameAt(0.12);
  std::vector<float>& s = scene.sound.samples;
  for (std::size_t i = 0; i < length && start + i < s.size() / 2; ++i) {
    const double t = static_cast<double>(i) / kRate;
    const double thump = std::sin(2.0 * std::numbers::pi * 110.0 * t) * std::exp(-t / 0.03);
    const double click = noise.next() * std::exp(-t / 0.004);
    const float x = static_cast<float>(0.6 * thump + 0.5 * click) * peak;
    s[2 * (start + i)] += x;
    s[2 * (start + i) + 1] += x;
  }
  scene.events.push_back({DemoEventKind::CentredStep, start, length});
}

// A gunfire-like shot: broadband noise, instant attack, 50 ms decay.
void addBurst(DemoScene& scene, Noise& noise, double at, float peak) {
  const std::size_t start = frameAt(at);
  const std::size_t length = frameAt(0.15);
  std::vector<float>& s = scene.sound.samples;
  for (std::size_t i = 0; i < length && start + i < s.size() / 2; ++i) {
    const double envelope = std::exp(-static_cast<double>(i) / (0.05 * kRate));
    s[2 * (start + i)] += static_cast<float>(noise.next() * envelope) * peak;
    s[2 * (start + i) + 1] += static_cast<float>(noise.next() * envelope) * peak;
  }
  scene.events.push_back({DemoEventKind::Burst, start, length});
}

}  // namespace

DemoScene makeDemoScene() {
  DemoScene scene;
  scene.sound.channels = 2;
  scene.sound.sampleRate = kRate;
  scene.sound.samples.assign(2 * frameAt(kSeconds), 0.0f);
  Noise noise(0x4B455354u);

  // Room tone around -65 dBFS, different on each side.
  for (float& x : scene.sound.samples) x = 0.001f * noise.next();

  // Someone else walking, left then right, quiet (about -42 dBFS peaks).
  for (int k = 0; k < 9; ++k) addOffCentreStep(scene, noise, 3.0 + 0.45 * k, k % 4 < 2, 0.008f);
  // The listener's own steps, centred and louder.
  for (int k = 0; k < 5; ++k) addCentredStep(scene, noise, 7.2 + 0.5 * k, 0.2f);
  // Gunfire: four shots.
  for (int k = 0; k < 4; ++k) addBurst(scene, noise, 9.9 + 0.12 * k, 0.6f);
  // Steps again once the shots have died away.
  for (int k = 0; k < 9; ++k) addOffCentreStep(scene, noise, 11.5 + 0.45 * k, k % 3 == 0, 0.008f);

  // Keep the dry scene itself under the effect's -1 dBFS ceiling.
  float peak = 0.0f;
  for (float x : scene.sound.samples) peak = std::max(peak, std::abs(x));
  const float limit = 0.8f;
  if (peak > limit) {
    for (float& x : scene.sound.samples) x *= limit / peak;
  }
  return scene;
}

DemoLevels measureDemoLevels(const DemoScene& scene, const std::vector<float>& output,
                             std::int32_t latencyFrames) {
  const std::vector<float>& in = scene.sound.samples;
  const std::size_t frames = in.size() / 2;
  double inEnergy[3] = {0.0, 0.0, 0.0};
  double outEnergy[3] = {0.0, 0.0, 0.0};
  const auto delay = static_cast<std::size_t>(std::max(0, latencyFrames));
  for (const DemoEvent& e : scene.events) {
    const int kind = static_cast<int>(e.kind);
    for (std::size_t i = e.startFrame; i < e.startFrame + e.lengthFrames && i + delay < frames;
         ++i) {
      for (int ch = 0; ch < 2; ++ch) {
        inEnergy[kind] += double{in[2 * i + ch]} * in[2 * i + ch];
        const float y = output[2 * (i + delay) + ch];
        outEnergy[kind] += double{y} * y;
      }
    }
  }
  auto changeDb = [&](int kind) {
    return inEnergy[kind] > 0.0 && outEnergy[kind] > 0.0
               ? 10.0 * std::log10(outEnergy[kind] / inEnergy[kind])
               : 0.0;
  };
  float peak = 0.0f;
  for (float y : output) peak = std::max(peak, std::abs(y));
  DemoLevels levels;
  levels.offCentreStepsDb = changeDb(0);
  levels.centredStepsDb = changeDb(1);
  levels.burstsDb = changeDb(2);
  levels.outputPeakDbfs = peak > 0.0f ? 20.0 * std::log10(peak) : -INFINITY;
  return levels;
}

}  // namespace kestrune
