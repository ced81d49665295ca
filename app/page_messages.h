// The JSON texts the app posts to its page for the bridge: replies to
// requests, events, and the string quoting they rely on. All UTF-8.
#pragma once

#include <string>
#include <string_view>

namespace kestrune::app {

// A JSON string of `bytes`, quoted bytewise: quote, backslash, line feed,
// carriage return and tab escaped, other bytes below 0x20 as "\u00xx",
// everything from 0x20 up (0x7F and UTF-8 sequences included) unchanged.
std::string quoteJsonString(std::string_view bytes);

// {"id":<id>,"ok":true|false,"text":"..."}; the id is copied verbatim.
std::string bridgeReply(std::string_view id, bool ok, std::string_view text);

// {"event":"<name>"}, by plain concatenation.
std::string pageEvent(std::string_view name);

inline constexpr char kEventRefresh[] = "refresh";

}  // namespace kestrune::app
