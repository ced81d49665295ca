// A stand-in for the Windows audio service, registered as "Audiosrv" in the
// test prefix. Its behaviour comes from HKLM SOFTWARE\KestruneTests\FakeAudiosrv:
// "Mode" REG_SZ "normal" (default) or "hang" (a stop request leaves it in
// STOP_PENDING for good); every start adds 1 to "Starts" REG_DWORD.
#include <windows.h>

#include "tests/support/wine_only_win32.h"

namespace {

constexpr wchar_t kConfigKey[] = L"SOFTWARE\\KestruneTests\\FakeAudiosrv";

SERVICE_STATUS_HANDLE g_statusHandle = nullptr;
HANDLE g_stopEvent = nullptr;
bool g_hangOnStop = false;

void report(DWORD state, DWORD waitHintMs = 0) {
  SERVICE_STATUS status{};
  status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
  status.dwCurrentState = state;
  status.dwControlsAccepted = state == SERVICE_RUNNING ? SERVICE_ACCEPT_STOP : 0;
  status.dwWaitHint = waitHintMs;
  ::SetServiceStatus(g_statusHandle, &status);
}

DWORD WINAPI handler(DWORD control, DWORD, void*, void*) {
  if (control == SERVICE_CONTROL_STOP) {
    if (g_hangOnStop) {
      report(SERVICE_STOP_PENDING, 60000);
    } else {
      ::SetEvent(g_stopEvent);
    }
    return NO_ERROR;
  }
  return control == SERVICE_CONTROL_INTERROGATE ? NO_ERROR : ERROR_CALL_NOT_IMPLEMENTED;
}

void WINAPI serviceMain(DWORD, wchar_t**) {
  g_statusHandle = ::RegisterServiceCtrlHandlerExW(L"Audiosrv", handler, nullptr);
  if (!g_statusHandle) return;
  wchar_t mode[16] = {};
  DWORD size = sizeof(mode);
  ::RegGetValueW(HKEY_LOCAL_MACHINE, kConfigKey, L"Mode", RRF_RT_REG_SZ, nullptr, mode, &size);
  g_hangOnStop = ::lstrcmpW(mode, L"hang") == 0;
  DWORD starts = 0;
  size = sizeof(starts);
  ::RegGetValueW(HKEY_LOCAL_MACHINE, kConfigKey, L"Starts", RRF_RT_REG_DWORD, nullptr, &starts,
                 &size);
  ++starts;
  ::RegSetKeyValueW(HKEY_LOCAL_MACHINE, kConfigKey, L"Starts", REG_DWORD, &starts, sizeof(starts));
  g_stopEvent = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
  report(SERVICE_RUNNING);
  ::WaitForSingleObject(g_stopEvent, INFINITE);
  report(SERVICE_STOPPED);
}

}  // namespace

int main() {
  // Registered as "Audiosrv" on a real machine it would replace its sound.
  if (!kestrune::test::allowedToRun()) return kestrune::test::kRefusedOutsideWine;
  wchar_t name[] = L"Audiosrv";
  const SERVICE_TABLE_ENTRYW table[] = {{name, serviceMain}, {nullptr, nullptr}};
  return ::StartServiceCtrlDispatcherW(table) ? 0 : 1;
}
