#include "apo/dsp/format_negotiation.h"

#include <algorithm>

namespace kestrune {

namespace {

// Written so that NaN fails.
bool rateInRange(float rate) { return rate >= kMinFramesPerSecond && rate <= kMaxFramesPerSecond; }

float clampRate(float rate) {
  if (rate >= kMaxFramesPerSecond) return kMaxFramesPerSecond;
  if (rate >= kMinFramesPerSecond) return rate;
  return kMinFramesPerSecond;  // below range or NaN
}

}  // namespace

bool formatAllowed(const AudioFormat& f) {
  return f.isFloat && f.containerBytes == 4 && f.validBits == 32 && f.channels >= kMinChannels &&
         f.channels <= kMaxChannels && rateInRange(f.framesPerSecond);
}

bool formatsMatch(const AudioFormat& a, const AudioFormat& b, std::uint32_t flags) {
  if ((flags & kMatchChannels) && a.channels != b.channels) return false;
  if ((flags & kMatchRate) && a.framesPerSecond != b.framesPerSecond) return false;
  if ((flags & kMatchBits) && (a.validBits != b.validBits || a.containerBytes != b.containerBytes))
    return false;
  return true;
}

FormatVerdict negotiateFormat(const AudioFormat& requested, const AudioFormat* opposite,
                              std::uint32_t flags, AudioFormat& suggestion) {
  if (opposite && !formatAllowed(*opposite)) return FormatVerdict::kOppositeInvalid;
  if (formatAllowed(requested) && (!opposite || formatsMatch(requested, *opposite, flags)))
    return FormatVerdict::kAccepted;

  suggestion = AudioFormat{};
  suggestion.channels = std::clamp(requested.channels, kMinChannels, kMaxChannels);
  suggestion.framesPerSecond = clampRate(requested.framesPerSecond);
  // A mask only describes the channel count it was made for.
  suggestion.channelMask = suggestion.channels == requested.channels ? requested.channelMask : 0;
  if (opposite) {
    if ((flags & kMatchChannels) && suggestion.channels != opposite->channels) {
      suggestion.channels = opposite->channels;
      suggestion.channelMask = opposite->channelMask;
    }
    if (flags & kMatchRate) suggestion.framesPerSecond = opposite->framesPerSecond;
    // kMatchBits: the opposite side is valid, so it is already 32 bits in 4 bytes.
  }
  return FormatVerdict::kSuggested;
}

}  // namespace kestrune
