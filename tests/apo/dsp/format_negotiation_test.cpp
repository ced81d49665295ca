#include "apo/dsp/format_negotiation.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace kestrune {
namespace {

AudioFormat fmt(std::uint32_t channels, float rate, bool isFloat = true,
                std::uint32_t container = 4, std::uint32_t bits = 32) {
  AudioFormat f;
  f.isFloat = isFloat;
  f.channels = channels;
  f.framesPerSecond = rate;
  f.containerBytes = container;
  f.validBits = bits;
  return f;
}

TEST(FormatRules, AllowedFormatsAreFloat32WithinRange) {
  const struct {
    AudioFormat f;
    bool allowed;
  } cases[] = {
      {fmt(1, 10.0f), true},
      {fmt(4096, 384000.0f), true},
      {fmt(2, 48000.0f), true},
      {fmt(0, 48000.0f), false},
      {fmt(4097, 48000.0f), false},
      {fmt(2, 9.99f), false},
      {fmt(2, 384001.0f), false},
      {fmt(2, std::numeric_limits<float>::quiet_NaN()), false},
      {fmt(2, 48000.0f, false), false},
      {fmt(2, 48000.0f, true, 3, 24), false},
      {fmt(2, 48000.0f, true, 4, 24), false},
      {fmt(2, 48000.0f, false, 2, 16), false},
  };
  for (const auto& c : cases)
    EXPECT_EQ(formatAllowed(c.f), c.allowed) << c.f.channels << " ch " << c.f.framesPerSecond;
}

TEST(FormatRules, MatchHonoursOnlyTheFlagsGiven) {
  const AudioFormat a = fmt(2, 48000.0f);
  EXPECT_TRUE(formatsMatch(a, fmt(6, 44100.0f, true, 2, 16), 0));
  EXPECT_FALSE(formatsMatch(a, fmt(6, 48000.0f), kMatchChannels));
  EXPECT_TRUE(formatsMatch(a, fmt(6, 48000.0f), kMatchRate | kMatchBits));
  EXPECT_FALSE(formatsMatch(a, fmt(2, 44100.0f), kMatchRate));
  EXPECT_FALSE(formatsMatch(a, fmt(2, 48000.0f, true, 4, 24), kMatchBits));
  EXPECT_FALSE(formatsMatch(a, fmt(2, 48000.0f, true, 3, 32), kMatchBits));
}

// Whatever is asked, a suggestion is accepted when asked again.
TEST(FormatRules, EverySuggestionIsAcceptedWhenOffered) {
  const std::uint32_t allFlags = kMatchChannels | kMatchRate | kMatchBits;
  const AudioFormat requests[] = {fmt(0, 48000.0f),
                                  fmt(9000, 1.0f),
                                  fmt(2, 1e9f),
                                  fmt(2, 48000.0f, false, 2, 16),
                                  fmt(6, 44100.0f),
                                  fmt(1, 8000.0f),
                                  fmt(2, std::numeric_limits<float>::quiet_NaN())};
  const AudioFormat opposites[] = {fmt(2, 48000.0f), fmt(8, 96000.0f), fmt(4096, 10.0f)};
  for (std::uint32_t flags : {0u, allFlags, kMatchChannels, kMatchRate}) {
    for (const AudioFormat& r : requests) {
      AudioFormat s;
      const FormatVerdict alone = negotiateFormat(r, nullptr, flags, s);
      if (alone == FormatVerdict::kSuggested) {
        AudioFormat again;
        EXPECT_EQ(negotiateFormat(s, nullptr, flags, again), FormatVerdict::kAccepted);
      }
      for (const AudioFormat& o : opposites) {
        const FormatVerdict v = negotiateFormat(r, &o, flags, s);
        ASSERT_NE(v, FormatVerdict::kOppositeInvalid);
        if (v == FormatVerdict::kAccepted) continue;
        AudioFormat again;
        EXPECT_EQ(negotiateFormat(s, &o, flags, again), FormatVerdict::kAccepted)
            << r.channels << " ch vs " << o.channels << " flags " << flags;
      }
    }
  }
}

TEST(FormatRules, SuggestionStaysNearTheRequest) {
  AudioFormat s;
  AudioFormat r = fmt(6, 44100.0f, false, 2, 16);
  r.channelMask = 0x3F;
  ASSERT_EQ(negotiateFormat(r, nullptr, 0xE, s), FormatVerdict::kSuggested);
  EXPECT_EQ(s.channels, 6u);
  EXPECT_EQ(s.framesPerSecond, 44100.0f);
  EXPECT_EQ(s.channelMask, 0x3Fu);
  EXPECT_TRUE(s.isFloat);

  AudioFormat o = fmt(2, 48000.0f);
  o.channelMask = 0x3;
  ASSERT_EQ(negotiateFormat(r, &o, kMatchRate, s), FormatVerdict::kSuggested);
  EXPECT_EQ(s.channels, 6u) << "channels need not match";
  EXPECT_EQ(s.framesPerSecond, 48000.0f);
  ASSERT_EQ(negotiateFormat(r, &o, 0xE, s), FormatVerdict::kSuggested);
  EXPECT_EQ(s.channels, 2u);
  EXPECT_EQ(s.channelMask, 0x3u);

  ASSERT_EQ(negotiateFormat(fmt(5000, 48000.0f), nullptr, 0, s), FormatVerdict::kSuggested);
  EXPECT_EQ(s.channels, 4096u);
  EXPECT_EQ(s.channelMask, 0u) << "a mask for another channel count is dropped";
}

}  // namespace
}  // namespace kestrune
