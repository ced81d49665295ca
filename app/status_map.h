// The service's status reply read as a key/value map, and the reply checks
// that the tray, the toggle and the bridge share.
#pragma once

#include <functional>
#include <map>
#include <string>
#include <string_view>

namespace kestrune::app {

// Keys and values are the reply's bytes, compared bytewise; nothing trimmed.
using StatusMap = std::map<std::string, std::string, std::less<>>;

// One entry per "key=value" line (lines end at "\n"); the key ends at the
// line's first "=", a later line replaces an earlier value, lines without
// "=" are skipped.
StatusMap statusMapFromReply(std::string_view reply);

// The value of `key`; empty when the key is missing.
std::string_view statusValue(const StatusMap& map, std::string_view key);

// True only for the value "1" exactly.
bool statusIsOne(const StatusMap& map, std::string_view key);

// A reply that begins with "error": the service's own error lines and the
// client's "error service".
bool replyIsError(std::string_view reply);

// A reply of at least two bytes that begins with "ok".
bool replyIsOk(std::string_view reply);

// What the app's pipe calls return when no transaction succeeded.
inline constexpr char kReplyNoService[] = "error service";

}  // namespace kestrune::app
