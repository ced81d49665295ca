// Deterministic test signals for the audio core tests.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <numbers>
#include <random>
#include <vector>

namespace kestrune::testing_signals {

// Interleaved frames of uniform noise in [-amplitude, amplitude].
inline std::vector<float> noise(std::size_t frames, int channels, float amplitude,
                                std::uint32_t seed) {
  std::mt19937 rng(seed);
  std::uniform_real_distribution<float> dist(-amplitude, amplitude);
  std::vector<float> out(frames * channels);
  for (float& x : out) x = dist(rng);
  return out;
}

// Adds a sine burst at frequency to one or both channels of stereo frames.
inline void addBurst(std::vector<float>& stereo, double sampleRate, std::size_t startFrame,
                     std::size_t lengthFrames, double frequency, float amplitude, bool left,
                     bool right) {
  for (std::size_t i = 0; i < lengthFrames && startFrame + i < stereo.size() / 2; ++i) {
    const float x = amplitude * static_cast<float>(std::sin(2.0 * std::numbers::pi * frequency *
                                                            static_cast<double>(i) / sampleRate));
    if (left) stereo[2 * (startFrame + i)] += x;
    if (right) stereo[2 * (startFrame + i) + 1] += x;
  }
}

// Random call sizes in 0..maxCall (maxCall >= 1) that add up to total.
inline std::vector<std::uint32_t> randomSplit(std::size_t total, std::uint32_t maxCall,
                                              std::uint32_t seed) {
  std::mt19937 rng(seed);
  std::uniform_int_distribution<std::uint32_t> dist(0, std::max<std::uint32_t>(1, maxCall));
  std::vector<std::uint32_t> calls;
  std::size_t done = 0;
  while (done < total) {
    const std::uint32_t n =
        static_cast<std::uint32_t>(std::min<std::size_t>(dist(rng), total - done));
    calls.push_back(n);
    done += n;
  }
  return calls;
}

// Stereo frames of segments 10 ms to 1.5 s long, each a random mix of a
// noise bed from -90 to +6 dBFS (centred, one-sided, antiphase or
// independent) and a tone, with sudden jumps between them: every stage's
// decisions (onsets, ducks, lift, boost, compressor, limiter) get exercised.
inline std::vector<float> randomScene(std::size_t frames, double sampleRate, std::uint32_t seed) {
  std::mt19937 rng(seed);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  std::vector<float> out(2 * frames);
  std::size_t at = 0;
  while (at < frames) {
    const auto length = std::min(
        frames - at, static_cast<std::size_t>(sampleRate * (0.01 + 1.49 * unit(rng) * unit(rng))));
    const double level = std::pow(10.0, (-90.0 + 96.0 * unit(rng)) / 20.0);
    const int image = static_cast<int>(unit(rng) * 4.0);  // centred, left, antiphase, independent
    const double toneHz = 40.0 + 8000.0 * unit(rng) * unit(rng);
    const double toneLevel = unit(rng) < 0.5 ? level * unit(rng) : 0.0;
    for (std::size_t i = 0; i < length; ++i) {
      const double a = level * (2.0 * unit(rng) - 1.0);
      const double b = level * (2.0 * unit(rng) - 1.0);
      const double tone = toneLevel * std::sin(2.0 * std::numbers::pi * toneHz *
                                               static_cast<double>(i) / sampleRate);
      const double left = a + tone;
      const double right = image == 0 ? left : image == 1 ? 0.1 * b : image == 2 ? -left : b;
      out[2 * (at + i)] = static_cast<float>(left);
      out[2 * (at + i) + 1] = static_cast<float>(right);
    }
    at += length;
  }
  return out;
}

}  // namespace kestrune::testing_signals
