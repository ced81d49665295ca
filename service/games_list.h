// The games list in its three forms: stored (REG_MULTI_SZ bytes), pipe text
// (entries separated by commas) and status text (entries joined by ",").
// Platform-free so the byte-level rules are tested natively.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kestrune::service {

// The list used when the stored one is empty.
inline constexpr char16_t kDefaultGame[] = u"TslGame.exe";

// Entries of raw REG_MULTI_SZ data, taken from the start: each entry runs to
// its NUL or to the end of the data; the walk stops at the first empty entry
// or at the end. Only whole UTF-16 units count (an odd last byte is ignored).
// No trimming, case folding or deduplication.
std::vector<std::u16string> parseMultiSz(const std::uint8_t* data, std::size_t sizeBytes);

// Stored form of a comma-separated text: every "," becomes NUL and two NULs
// are appended; the result's size() is the unit count to store.
std::u16string multiSzFromCommaText(std::u16string_view text);

// Entries joined by "," with no spaces.
std::string joinGames(const std::vector<std::string>& entriesUtf8);

// Whole-name comparison that ignores the case of the letters A to Z only
// (other letters must match exactly).
bool gameNameMatches(std::u16string_view processName, std::u16string_view listedName);

// True when `processName` matches any listed entry.
bool anyGameMatches(std::u16string_view processName, const std::vector<std::u16string>& games);

}  // namespace kestrune::service
