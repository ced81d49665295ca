// Product version, the same for every deliverable.
#pragma once

namespace kestrune {

inline constexpr char kProductVersion[] = "0.9.4";
inline constexpr char kFileVersion[] = "0.9.4.0";
inline constexpr char kProductName[] = "Orvantis";

}  // namespace kestrune
