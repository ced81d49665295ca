// The test prefix's "Audiosrv": bin\fake_audiosrv.exe registered under the
// audio service's name for as long as the scope lives (an earlier one is
// replaced). Its behaviour comes from kConfigKey (see fake_audiosrv.cpp).
#pragma once

#include <windows.h>

#include "common/handles_win32.h"
#include "tests/support/scoped_registry_win32.h"

namespace kestrune::test {

class ScopedFakeAudioService {
 public:
  static constexpr wchar_t kConfigKey[] = L"SOFTWARE\\KestruneTests\\FakeAudiosrv";

  ScopedFakeAudioService();
  ~ScopedFakeAudioService();
  ScopedFakeAudioService(const ScopedFakeAudioService&) = delete;
  ScopedFakeAudioService& operator=(const ScopedFakeAudioService&) = delete;

  // Null when it could not be registered.
  SC_HANDLE service() const { return service_.get(); }
  bool startAndWait();
  DWORD processId() const;
  // How often it has been started since the scope began.
  DWORD starts() const;

 private:
  ScopedRegistryKey config_{HKEY_LOCAL_MACHINE, kConfigKey};
  UniqueScHandle manager_;
  UniqueScHandle service_;
};

}  // namespace kestrune::test
