#include "service/install/install_files_win32.h"

#include <windows.h>
// These need windows.h included before them.
#include <sddl.h>
#include <shlobj.h>
#include <tlhelp32.h>

#include <cwchar>
#include <vector>

#include "common/handles_win32.h"
#include "service/install/install_layout.h"
#include "service/service_main_verb.h"

namespace kestrune::service {
namespace {

constexpr DWORD kAppExitWaitMs = 3000;

bool isDotEntry(const wchar_t* name) {
  return std::wcscmp(name, L".") == 0 || std::wcscmp(name, L"..") == 0;
}

void deleteAtReboot(const std::wstring& path) {
  ::MoveFileExW(path.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
}

// Calls `visit` for every entry of `folder` but "." and "..".
template <typename Visit>
void forEachEntry(const std::wstring& folderAndPattern, Visit visit) {
  WIN32_FIND_DATAW data{};
  HANDLE find = ::FindFirstFileW(folderAndPattern.c_str(), &data);
  if (find == INVALID_HANDLE_VALUE) return;
  ScopeExit close([find] { ::FindClose(find); });
  do {
    if (!isDotEntry(data.cFileName)) visit(data);
  } while (::FindNextFileW(find, &data));
}

bool isFolder(const WIN32_FIND_DATAW& data) {
  return (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

}  // namespace

bool CopyFileWhole(const std::wstring& source, const std::wstring& target) {
  const std::wstring temporary = target + L".new";
  if (::CopyFileW(source.c_str(), temporary.c_str(), FALSE) &&
      ::MoveFileExW(temporary.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING)) {
    return true;
  }
  const DWORD error = ::GetLastError();
  ::DeleteFileW(temporary.c_str());
  ::SetLastError(error);
  return false;
}

void CopyFileReplacing(const std::wstring& source, const std::wstring& target) {
  if (CopyFileWhole(source, target)) return;
  const std::wstring aside = target + L".old";
  ::MoveFileExW(target.c_str(), aside.c_str(), MOVEFILE_REPLACE_EXISTING);
  deleteAtReboot(aside);
  CopyFileWhole(source, target);
}

void CloseRunningApps() {
  UniqueFileHandle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  if (!snapshot) return;
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof(entry);
  for (BOOL more = ::Process32FirstW(snapshot.get(), &entry); more;
       more = ::Process32NextW(snapshot.get(), &entry)) {
    if (!equalsIgnoringAsciiCase(entry.szExeFile, kAppExeName)) continue;
    UniqueHandle process(
        ::OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE, FALSE, entry.th32ProcessID));
    if (!process) continue;
    ::TerminateProcess(process.get(), 0);
    ::WaitForSingleObject(process.get(), kAppExitWaitMs);
  }
}

void DeleteTree(const std::wstring& folder) {
  forEachEntry(folder + L"\\*", [&](const WIN32_FIND_DATAW& data) {
    const std::wstring path = folder + L"\\" + data.cFileName;
    if (isFolder(data)) {
      DeleteTree(path);
    } else if (!::DeleteFileW(path.c_str())) {
      deleteAtReboot(path);
    }
  });
  if (!::RemoveDirectoryW(folder.c_str())) deleteAtReboot(folder);
}

void copyUiFolder(const std::wstring& sourceRoot, const std::wstring& targetRoot) {
  const std::wstring sourceUi = sourceRoot + L"\\" + kUiFolderName;
  const std::wstring targetUi = targetRoot + L"\\" + kUiFolderName;
  std::vector<std::wstring> work{L""};
  for (std::size_t i = 0; i < work.size(); ++i) {
    const std::wstring entry = work[i];
    const std::wstring from = sourceUi + entry;
    if (::GetFileAttributesW(from.c_str()) == INVALID_FILE_ATTRIBUTES) return;
    const std::wstring to = targetUi + entry;
    ::CreateDirectoryW(to.c_str(), nullptr);
    forEachEntry(from + L"\\*", [&](const WIN32_FIND_DATAW& data) {
      if (isFolder(data)) {
        work.push_back(entry + L"\\" + data.cFileName);
      } else {
        CopyFileReplacing(from + L"\\" + data.cFileName, to + L"\\" + data.cFileName);
      }
    });
  }
}

std::vector<std::wstring> fileNamesMatching(const std::wstring& folder, const wchar_t* pattern) {
  std::vector<std::wstring> names;
  forEachEntry(folder + pattern, [&](const WIN32_FIND_DATAW& data) {
    if (!isFolder(data)) names.emplace_back(data.cFileName);
  });
  return names;
}

void deleteMatchingFiles(const std::wstring& folder, const wchar_t* pattern,
                         const std::wstring& keepName) {
  for (const std::wstring& name : fileNamesMatching(folder, pattern)) {
    if (!equalsIgnoringAsciiCase(name, keepName)) ::DeleteFileW((folder + L"\\" + name).c_str());
  }
}

void deleteFileOrAtReboot(const std::wstring& path) {
  if (!::DeleteFileW(path.c_str())) deleteAtReboot(path);
}

bool fileExists(const std::wstring& path) {
  const DWORD attributes = ::GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::wstring knownFolderPath(const GUID& id) {
  wchar_t* path = nullptr;
  std::wstring out;
  if (SUCCEEDED(::SHGetKnownFolderPath(id, 0, nullptr, &path)) && path) out = path;
  ::CoTaskMemFree(path);
  return out;
}

void createLogFile(const std::wstring& logFolder) {
  ::CreateDirectoryW(logFolder.c_str(), nullptr);
  PSECURITY_DESCRIPTOR sd = nullptr;
  UniqueLocal descriptor;
  if (::ConvertStringSecurityDescriptorToSecurityDescriptorW(kLogSddl, SDDL_REVISION_1, &sd,
                                                             nullptr)) {
    descriptor.reset(sd);
  }
  SECURITY_ATTRIBUTES sa{sizeof(sa), descriptor.get(), FALSE};
  UniqueFileHandle file(::CreateFileW(
      (logFolder + kLogFileName).c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
      descriptor ? &sa : nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
}

}  // namespace kestrune::service
