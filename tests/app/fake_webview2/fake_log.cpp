#include "tests/app/fake_webview2/fake_log.h"

#include "common/utf8_win32.h"

namespace kestrune::fakewv2 {

namespace {

HANDLE logFile = INVALID_HANDLE_VALUE;

void appendField(std::string& line, std::string_view field) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  for (const char c : field) {
    const auto b = static_cast<unsigned char>(c);
    if (b < 0x20 || b == '%') {
      line += '%';
      line += kHex[b >> 4];
      line += kHex[b & 0xF];
    } else {
      line += c;
    }
  }
}

}  // namespace

void openLog() {
  if (logFile != INVALID_HANDLE_VALUE) return;
  wchar_t path[MAX_PATH];
  const DWORD n = ::GetEnvironmentVariableW(L"KESTRUNE_FAKE_WEBVIEW2_LOG", path, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return;
  logFile =
      ::CreateFileW(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
}

void record(std::initializer_list<std::string_view> fields) {
  if (logFile == INVALID_HANDLE_VALUE) return;
  std::string line;
  bool first = true;
  for (std::string_view field : fields) {
    if (!first) line += '\t';
    first = false;
    appendField(line, field);
  }
  line += '\n';
  DWORD written = 0;
  ::WriteFile(logFile, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
}

std::string utf8(const wchar_t* text) { return text ? wideToUtf8(text) : std::string(); }

std::string number(long long value) { return std::to_string(value); }

std::string flag(BOOL value) { return value ? "1" : "0"; }

}  // namespace kestrune::fakewv2
