#include "tests/support/scoped_registry_win32.h"

#include <sddl.h>

#include <utility>

#include "common/handles_win32.h"

namespace kestrune::test {

bool snapshotKey(HKEY root, const std::wstring& path, KeySnapshot& out) {
  UniqueHKey key;
  if (::RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, key.put()) != ERROR_SUCCESS) return false;
  out = {};
  for (DWORD i = 0;; ++i) {
    wchar_t name[16384];
    DWORD nameLen = 16384, type = 0, size = 0;
    LONG rc = ::RegEnumValueW(key.get(), i, name, &nameLen, nullptr, &type, nullptr, &size);
    if (rc != ERROR_SUCCESS) break;
    RegistryValue value{std::wstring(name, nameLen), type, std::vector<BYTE>(size)};
    DWORD got = size;
    ::RegQueryValueExW(key.get(), value.name.c_str(), nullptr, &value.type,
                       value.bytes.empty() ? nullptr : value.bytes.data(), &got);
    value.bytes.resize(got);
    out.values.push_back(std::move(value));
  }
  for (DWORD i = 0;; ++i) {
    wchar_t name[256];
    DWORD nameLen = 256;
    if (::RegEnumKeyExW(key.get(), i, name, &nameLen, nullptr, nullptr, nullptr, nullptr) !=
        ERROR_SUCCESS) {
      break;
    }
    KeySnapshot child;
    std::wstring childName(name, nameLen);
    if (snapshotKey(root, path + L"\\" + childName, child))
      out.subkeys.emplace_back(childName, std::move(child));
  }
  return true;
}

void writeSnapshot(HKEY root, const std::wstring& path, const KeySnapshot& snapshot) {
  UniqueHKey key;
  if (::RegCreateKeyExW(root, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, key.put(),
                        nullptr) != ERROR_SUCCESS) {
    return;
  }
  for (const RegistryValue& v : snapshot.values) {
    ::RegSetValueExW(key.get(), v.name.c_str(), 0, v.type,
                     v.bytes.empty() ? nullptr : v.bytes.data(),
                     static_cast<DWORD>(v.bytes.size()));
  }
  for (const auto& [name, child] : snapshot.subkeys)
    writeSnapshot(root, path + L"\\" + name, child);
}

ScopedRegistryKey::ScopedRegistryKey(HKEY root, std::wstring path)
    : root_(root), path_(std::move(path)) {
  existed_ = snapshotKey(root_, path_, snapshot_);
}

ScopedRegistryKey::~ScopedRegistryKey() {
  erase();
  if (existed_) writeSnapshot(root_, path_, snapshot_);
}

void ScopedRegistryKey::erase() const {
  ::RegDeleteTreeW(root_, path_.c_str());
  ::RegDeleteKeyW(root_, path_.c_str());
}

namespace {

bool setKeyDacl(HKEY root, const std::wstring& path, const wchar_t* sddl) {
  UniqueHKey key;
  if (::RegOpenKeyExW(root, path.c_str(), 0, WRITE_DAC, key.put()) != ERROR_SUCCESS) return false;
  PSECURITY_DESCRIPTOR sd = nullptr;
  if (!::ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl, SDDL_REVISION_1, &sd, nullptr))
    return false;
  UniqueLocal owned(sd);
  return ::RegSetKeySecurity(key.get(), DACL_SECURITY_INFORMATION, sd) == ERROR_SUCCESS;
}

}  // namespace

// Read and WRITE_DAC for everyone, so the scope can undo it.
ScopedReadOnlyKey::ScopedReadOnlyKey(HKEY root, std::wstring path)
    : root_(root),
      path_(std::move(path)),
      locked_(setKeyDacl(root_, path_, L"D:P(A;;KRWD;;;WD)")) {}

ScopedReadOnlyKey::~ScopedReadOnlyKey() {
  if (locked_) setKeyDacl(root_, path_, L"D:(A;;KA;;;WD)");
}

void setBytes(HKEY root, const std::wstring& path, const std::wstring& name, DWORD type,
              const std::vector<BYTE>& bytes) {
  ::RegSetKeyValueW(root, path.c_str(), name.c_str(), type, bytes.empty() ? nullptr : bytes.data(),
                    static_cast<DWORD>(bytes.size()));
}

void setDword(HKEY root, const std::wstring& path, const std::wstring& name, DWORD value) {
  ::RegSetKeyValueW(root, path.c_str(), name.c_str(), REG_DWORD, &value, sizeof value);
}

void setString(HKEY root, const std::wstring& path, const std::wstring& name,
               const std::wstring& value, DWORD type) {
  ::RegSetKeyValueW(root, path.c_str(), name.c_str(), type, value.c_str(),
                    static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
}

bool readValue(HKEY root, const std::wstring& path, const std::wstring& name, RegistryValue& out) {
  UniqueHKey key;
  if (::RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, key.put()) != ERROR_SUCCESS) return false;
  DWORD size = 0, type = 0;
  if (::RegQueryValueExW(key.get(), name.c_str(), nullptr, &type, nullptr, &size) !=
      ERROR_SUCCESS) {
    return false;
  }
  out.name = name;
  out.type = type;
  out.bytes.resize(size);
  return ::RegQueryValueExW(key.get(), name.c_str(), nullptr, &out.type,
                            out.bytes.empty() ? nullptr : out.bytes.data(), &size) == ERROR_SUCCESS;
}

bool keyExists(HKEY root, const std::wstring& path) {
  UniqueHKey key;
  return ::RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, key.put()) == ERROR_SUCCESS;
}

}  // namespace kestrune::test
