// What kestrune_app.exe carries: version strings, the manifest, the icons.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "common/utf8_win32.h"
#include "tests/support/child_process_win32.h"

namespace kestrune::test {
namespace {

std::wstring versionString(const std::vector<BYTE>& info, const wchar_t* name) {
  wchar_t* value = nullptr;
  UINT length = 0;
  const std::wstring path = std::wstring(L"\\StringFileInfo\\040904b0\\") + name;
  if (!::VerQueryValueW(info.data(), path.c_str(), reinterpret_cast<void**>(&value), &length)) {
    return L"<missing>";
  }
  return std::wstring(value, length > 0 ? length - 1 : 0);
}

TEST(AppResources, VersionManifestAndIcons) {
  const std::wstring exe = binDir() + L"kestrune_app.exe";
  std::vector<BYTE> info(::GetFileVersionInfoSizeW(exe.c_str(), nullptr));
  ASSERT_FALSE(info.empty());
  ASSERT_TRUE(::GetFileVersionInfoW(exe.c_str(), 0, static_cast<DWORD>(info.size()), info.data()));
  const std::pair<const wchar_t*, const wchar_t*> strings[] = {
      {L"FileVersion", L"0.9.4.0"},
      {L"ProductVersion", L"0.9.4.0"},
      {L"CompanyName", L"Orvantis"},
      {L"ProductName", L"Orvantis"},
      {L"FileDescription", L"Orvantis"},
      {L"InternalName", L"kestrune_app.exe"},
      {L"OriginalFilename", L"kestrune_app.exe"},
  };
  for (const auto& [name, value] : strings) {
    EXPECT_EQ(versionString(info, name), value) << wideToUtf8(name);
  }

  HMODULE module = ::LoadLibraryExW(exe.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  ASSERT_TRUE(module);
  HRSRC found = ::FindResourceW(module, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24));
  ASSERT_TRUE(found);
  const std::string manifest(
      static_cast<const char*>(::LockResource(::LoadResource(module, found))),
      ::SizeofResource(module, found));
  EXPECT_NE(manifest.find("level=\"asInvoker\" uiAccess=\"false\""), std::string::npos);

  // Each icon group's image sizes (a width byte of 0 means 256).
  for (int id = 1; id <= 5; ++id) {
    HRSRC group = ::FindResourceW(module, MAKEINTRESOURCEW(id), MAKEINTRESOURCEW(14));
    ASSERT_TRUE(group) << id;
    const auto* bytes = static_cast<const BYTE*>(::LockResource(::LoadResource(module, group)));
    const int count = bytes[4] | bytes[5] << 8;
    std::vector<int> sizes;
    for (int i = 0; i < count; ++i) {
      const BYTE* entry = bytes + 6 + i * 14;
      const int bits = entry[6] | entry[7] << 8;
      EXPECT_EQ(bits, 32) << id;
      sizes.push_back(entry[0] == 0 ? 256 : entry[0]);
    }
    for (int size : {16, 20, 24, 32}) {
      EXPECT_NE(std::find(sizes.begin(), sizes.end(), size), sizes.end()) << id << " " << size;
    }
    if (id == 1) {
      EXPECT_NE(std::find(sizes.begin(), sizes.end(), 256), sizes.end());
    }
  }
  ::FreeLibrary(module);
}

}  // namespace
}  // namespace kestrune::test
