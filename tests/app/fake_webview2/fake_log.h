// The fake loader's record of calls (every interface method but AddRef and
// Release, and the export itself): one line per call in a UTF-8 file
// named by KESTRUNE_FAKE_WEBVIEW2_LOG, fields separated by TAB; bytes below
// 0x20 and "%" inside a field are written as %XX. Written on the app's UI
// thread only; each line is one append, so a reader never sees half a line.
#pragma once

#include <windows.h>

#include <initializer_list>
#include <string>
#include <string_view>

namespace kestrune::fakewv2 {

void openLog();
void record(std::initializer_list<std::string_view> fields);

std::string utf8(const wchar_t* text);  // "" for null
std::string number(long long value);
std::string flag(BOOL value);  // "0" or "1"

}  // namespace kestrune::fakewv2
