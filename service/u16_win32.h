// Views between Windows' wchar_t texts and the char16_t texts of the
// platform-free code; both are UTF-16 units on Windows.
#pragma once

#include <string>
#include <string_view>

namespace kestrune::service {

static_assert(sizeof(wchar_t) == sizeof(char16_t));

inline std::u16string_view asU16(std::wstring_view text) {
  return {reinterpret_cast<const char16_t*>(text.data()), text.size()};
}
inline std::wstring_view asWide(std::u16string_view text) {
  return {reinterpret_cast<const wchar_t*>(text.data()), text.size()};
}

}  // namespace kestrune::service
