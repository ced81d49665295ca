// Entry points of KestruneApo.dll: the two COM exports (named in the .def
// file, undecorated) and the module entry.
#include <windows.h>

#include "apo/apo_log_win32.h"
#include "apo/module_win32.h"

extern "C" HRESULT __stdcall DllGetClassObject(REFCLSID rclsid, REFIID riid, void** ppv) {
  return kestrune::moduleGetClassObject(rclsid, riid, ppv);
}

extern "C" HRESULT __stdcall DllCanUnloadNow() { return kestrune::moduleCanUnloadNow(); }

// Thread notifications stay on: the static runtime relies on them.
BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) kestrune::apoLog("DLL loaded");
  return TRUE;
}
