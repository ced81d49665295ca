#include "app/page_messages.h"

namespace kestrune::app {

std::string quoteJsonString(std::string_view bytes) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string out;
  out.reserve(bytes.size() + 2);
  out += '"';
  for (const char c : bytes) {
    const auto b = static_cast<unsigned char>(c);
    switch (b) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      default:
        if (b < 0x20) {
          out += "\\u00";
          out += kHex[b >> 4];
          out += kHex[b & 0xF];
        } else {
          out += c;
        }
    }
  }
  out += '"';
  return out;
}

std::string bridgeReply(std::string_view id, bool ok, std::string_view text) {
  std::string out = "{\"id\":";
  out += id;
  out += ok ? ",\"ok\":true,\"text\":" : ",\"ok\":false,\"text\":";
  out += quoteJsonString(text);
  out += '}';
  return out;
}

std::string pageEvent(std::string_view name) { return "{\"event\":\"" + std::string(name) + "\"}"; }

}  // namespace kestrune::app
