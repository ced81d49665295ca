// Snapshots a registry key tree and puts it back exactly (values, types,
// bytes, subkeys; or absence) when the scope ends, so a test may change the
// machine-wide keys freely.
#pragma once

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

namespace kestrune::test {

struct RegistryValue {
  std::wstring name;
  DWORD type = REG_NONE;
  std::vector<BYTE> bytes;
};

struct KeySnapshot {
  std::vector<RegistryValue> values;
  std::vector<std::pair<std::wstring, KeySnapshot>> subkeys;
};

class ScopedRegistryKey {
 public:
  ScopedRegistryKey(HKEY root, std::wstring path);
  ~ScopedRegistryKey();
  ScopedRegistryKey(const ScopedRegistryKey&) = delete;
  ScopedRegistryKey& operator=(const ScopedRegistryKey&) = delete;

  // Deletes the whole tree now (the destructor still restores the snapshot).
  void erase() const;

 private:
  HKEY root_;
  std::wstring path_;
  bool existed_ = false;
  KeySnapshot snapshot_;
};

// Reads a key tree; false when the key does not exist.
bool snapshotKey(HKEY root, const std::wstring& path, KeySnapshot& out);
// Writes a snapshot under root\path (creating keys as needed).
void writeSnapshot(HKEY root, const std::wstring& path, const KeySnapshot& snapshot);

// While alive, the key refuses every opening for writing (error 5, access
// denied, as Wine enforces a protected DACL) but can still be read; at the
// end of the scope anyone may do anything with it again.
class ScopedReadOnlyKey {
 public:
  ScopedReadOnlyKey(HKEY root, std::wstring path);
  ~ScopedReadOnlyKey();
  ScopedReadOnlyKey(const ScopedReadOnlyKey&) = delete;
  ScopedReadOnlyKey& operator=(const ScopedReadOnlyKey&) = delete;

  bool locked() const { return locked_; }

 private:
  HKEY root_;
  std::wstring path_;
  bool locked_ = false;
};

// Small helpers for tests.
void setDword(HKEY root, const std::wstring& path, const std::wstring& name, DWORD value);
void setString(HKEY root, const std::wstring& path, const std::wstring& name,
               const std::wstring& value, DWORD type = REG_SZ);
void setBytes(HKEY root, const std::wstring& path, const std::wstring& name, DWORD type,
              const std::vector<BYTE>& bytes);
// The value's type and bytes, or false when it is missing.
bool readValue(HKEY root, const std::wstring& path, const std::wstring& name, RegistryValue& out);
bool keyExists(HKEY root, const std::wstring& path);

}  // namespace kestrune::test
