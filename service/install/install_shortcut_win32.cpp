#include "service/install/install_shortcut_win32.h"

#include <windows.h>
// These need windows.h included before them.
#include <objbase.h>
#include <shlobj.h>
#include <shobjidl.h>

#include "common/handles_win32.h"

namespace kestrune::service {

bool createShortcut(const std::wstring& shortcutPath, const std::wstring& target,
                    const std::wstring& workFolder, const wchar_t* description) {
  const HRESULT init = ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  if (FAILED(init)) return false;
  ScopeExit uninit([] { ::CoUninitialize(); });
  ComPtr<IShellLinkW> link;
  if (FAILED(::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                link.putVoid()))) {
    return false;
  }
  if (FAILED(link->SetPath(target.c_str())) ||
      FAILED(link->SetWorkingDirectory(workFolder.c_str())) ||
      FAILED(link->SetDescription(description))) {
    return false;
  }
  ComPtr<IPersistFile> file;
  if (FAILED(link->QueryInterface(IID_IPersistFile, file.putVoid()))) return false;
  return SUCCEEDED(file->Save(shortcutPath.c_str(), TRUE));
}

}  // namespace kestrune::service
