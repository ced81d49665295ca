#include "service/service_main_verb.h"

namespace kestrune::service {
namespace {

wchar_t foldAscii(wchar_t c) {
  return (c >= L'A' && c <= L'Z') ? static_cast<wchar_t>(c - L'A' + L'a') : c;
}

}  // namespace

bool equalsIgnoringAsciiCase(std::wstring_view a, std::wstring_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (foldAscii(a[i]) != foldAscii(b[i])) return false;
  }
  return true;
}

StartVerb startVerbFor(const std::vector<std::wstring>& args) {
  if (args.empty()) return StartVerb::ServiceMode;
  const std::wstring& first = args[0];
  if (equalsIgnoringAsciiCase(first, L"install")) return StartVerb::Install;
  if (equalsIgnoringAsciiCase(first, L"uninstall")) return StartVerb::Uninstall;
  if (equalsIgnoringAsciiCase(first, L"run")) return StartVerb::Run;
  return StartVerb::ServiceMode;
}

std::wstring elevatedParameters(const std::vector<std::wstring>& args) {
  std::wstring out;
  for (const std::wstring& a : args) {
    if (&a != &args.front()) out += L' ';
    out += a;
  }
  return out;
}

}  // namespace kestrune::service
