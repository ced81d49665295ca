// The format rules of the effect object's negotiation and lock, free of any
// platform type so they can be tested natively: which stream formats the
// object accepts, when two sides match, and what it suggests instead.
#pragma once

#include <cstdint>

namespace kestrune {

// One side of a connection, as the uncompressed format describes it.
struct AudioFormat {
  bool isFloat = true;  // IEEE float subtype
  std::uint32_t channels = 2;
  std::uint32_t containerBytes = 4;
  std::uint32_t validBits = 32;
  float framesPerSecond = 48000.0f;
  std::uint32_t channelMask = 0;
};

// Registration flags that demand equality between input and output.
inline constexpr std::uint32_t kMatchChannels = 0x2;
inline constexpr std::uint32_t kMatchRate = 0x4;
inline constexpr std::uint32_t kMatchBits = 0x8;

inline constexpr std::uint32_t kMinChannels = 1;
inline constexpr std::uint32_t kMaxChannels = 4096;
inline constexpr float kMinFramesPerSecond = 10.0f;
inline constexpr float kMaxFramesPerSecond = 384000.0f;

// 32-bit IEEE float in 4-byte containers, 1..4096 channels, 10..384000 Hz.
bool formatAllowed(const AudioFormat& format);

// Whether a and b agree on every property the flags demand to match.
bool formatsMatch(const AudioFormat& a, const AudioFormat& b, std::uint32_t flags);

enum class FormatVerdict {
  kAccepted,         // the request as it is
  kSuggested,        // the request is refused; take the suggestion
  kOppositeInvalid,  // the other side itself breaks the rules
};

// Decides a negotiation request. `opposite` may be null (any other side).
// On kSuggested, `suggestion` is the nearest format the object accepts: float
// 4/32, the requested channels and rate clamped into range, replaced by the
// opposite side's where the flags demand a match.
FormatVerdict negotiateFormat(const AudioFormat& requested, const AudioFormat* opposite,
                              std::uint32_t flags, AudioFormat& suggestion);

}  // namespace kestrune
