#include "service/install/install_layout.h"

namespace kestrune::service {
namespace {

void appendPadded(std::wstring& out, int value, std::size_t width) {
  std::wstring digits;
  unsigned v = value < 0 ? 0u : static_cast<unsigned>(value);
  do {
    digits.insert(digits.begin(), static_cast<wchar_t>(L'0' + v % 10));
    v /= 10;
  } while (v != 0);
  if (digits.size() < width) out.append(width - digits.size(), L'0');
  out += digits;
}

RegistryEntry text(const wchar_t* name, std::wstring value) {
  return RegistryEntry{name, false, std::move(value), 0};
}
RegistryEntry number(const wchar_t* name, std::uint32_t value) {
  return RegistryEntry{name, true, {}, value};
}

}  // namespace

std::wstring effectDllCopyPath(std::wstring_view installFolder, const LocalStamp& t) {
  std::wstring out(installFolder);
  out += L"\\KestruneApo-";
  appendPadded(out, t.year, 4);
  appendPadded(out, t.month, 2);
  appendPadded(out, t.day, 2);
  out += L'-';
  appendPadded(out, t.hour, 2);
  appendPadded(out, t.minute, 2);
  appendPadded(out, t.second, 2);
  out += L".dll";
  return out;
}

std::wstring newestDllCopyName(const std::vector<std::wstring>& fileNames) {
  constexpr std::wstring_view kPrefix = L"KestruneApo-";
  constexpr std::wstring_view kSuffix = L".dll";
  constexpr std::wstring_view kStampShape = L"dddddddd-dddddd";
  const auto isCopyName = [&](std::wstring_view name) {
    if (name.size() != kPrefix.size() + kStampShape.size() + kSuffix.size()) return false;
    if (name.substr(0, kPrefix.size()) != kPrefix || name.substr(name.size() - 4) != kSuffix)
      return false;
    const std::wstring_view stamp = name.substr(kPrefix.size(), kStampShape.size());
    for (std::size_t i = 0; i < stamp.size(); ++i) {
      const bool digit = stamp[i] >= L'0' && stamp[i] <= L'9';
      if (kStampShape[i] == L'd' ? !digit : stamp[i] != L'-') return false;
    }
    return true;
  };
  std::wstring newest;
  for (const std::wstring& name : fileNames) {
    if (isCopyName(name) && name > newest) newest = name;
  }
  return newest;
}

std::wstring uninstallCommand(std::wstring_view installedExe) {
  return L"\"" + std::wstring(installedExe) + L"\" uninstall";
}

std::wstring rewrittenRunValue(std::wstring_view current, std::wstring_view installFolder) {
  if (current.find(kFormerTrayExeName) == std::wstring_view::npos) return {};
  return L"\"" + std::wstring(installFolder) + L"\\" + kAppExeName + L"\" --startup";
}

std::wstring folderOf(std::wstring_view modulePath) {
  const std::size_t slash = modulePath.rfind(L'\\');
  return std::wstring(slash == std::wstring_view::npos ? modulePath : modulePath.substr(0, slash));
}

std::wstring fileNameOf(std::wstring_view path) {
  const std::size_t slash = path.rfind(L'\\');
  return std::wstring(slash == std::wstring_view::npos ? path : path.substr(slash + 1));
}

std::vector<RegistryEntry> comClassEntries() { return {text(nullptr, L"Orvantis APO")}; }

std::vector<RegistryEntry> comServerEntries(std::wstring_view dllPath) {
  return {text(nullptr, std::wstring(dllPath)), text(L"ThreadingModel", L"Both")};
}

std::vector<RegistryEntry> apoEntries() {
  return {
      text(L"FriendlyName", L"Orvantis"),
      text(L"Copyright", L"Orvantis footstep enhancement effect"),
      text(L"APOInterface0", L"{FD7F2B29-24D0-4B5C-B177-592C39F9CA10}"),
      number(L"MajorVersion", 1),
      number(L"MinorVersion", 0),
      number(L"Flags", 15),
      number(L"MinInputConnections", 1),
      number(L"MaxInputConnections", 1),
      number(L"MinOutputConnections", 1),
      number(L"MaxOutputConnections", 1),
      number(L"MaxInstances", 0xFFFFFFFFu),
      number(L"NumAPOInterfaces", 1),
  };
}

std::vector<RegistryEntry> uninstallEntries(std::wstring_view installFolder,
                                            std::wstring_view installedExe) {
  return {
      text(L"DisplayName", L"Orvantis"),
      text(L"DisplayVersion", L"0.9.4"),
      text(L"Publisher", L"Orvantis"),
      text(L"DisplayIcon", std::wstring(installFolder) + L"\\" + kAppExeName),
      text(L"InstallLocation", std::wstring(installFolder)),
      text(L"UninstallString", uninstallCommand(installedExe)),
      number(L"NoModify", 1),
      number(L"NoRepair", 1),
      number(L"EstimatedSize", 3000),
  };
}

}  // namespace kestrune::service
