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

}  // namespace kestrune::testing_signals
