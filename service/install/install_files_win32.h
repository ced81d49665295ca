// File work of installation and removal. Files in use are never overwritten
// in place: they are moved aside or deleted at the next reboot.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace kestrune::service {

// Copies to target + ".new" beside it, then moves that over the target, so a
// copy that fails half way leaves the former file whole. False, with the
// last error set and the temporary file gone, when either step fails.
bool CopyFileWhole(const std::wstring& source, const std::wstring& target);

// CopyFileWhole; when that fails, renames the target to target + ".old"
// (deleted at reboot) and copies again, ignoring that result.
void CopyFileReplacing(const std::wstring& source, const std::wstring& target);

// Ends every running "kestrune_app.exe" (exit code 0), waiting up to 3 s each.
void CloseRunningApps();

// Deletes a folder tree; what cannot be deleted now is deleted at reboot.
void DeleteTree(const std::wstring& folder);

// Copies sourceRoot\ui into targetRoot\ui breadth-first with CopyFileReplacing.
void copyUiFolder(const std::wstring& sourceRoot, const std::wstring& targetRoot);

// Names of the files matching folder + pattern (wildcards as FindFirstFileW).
std::vector<std::wstring> fileNamesMatching(const std::wstring& folder, const wchar_t* pattern);

// Deletes the files matching folder + pattern but `keepName`; failures are
// left for later.
void deleteMatchingFiles(const std::wstring& folder, const wchar_t* pattern,
                         const std::wstring& keepName);

// Deletes the file now or, failing that, at the next reboot.
void deleteFileOrAtReboot(const std::wstring& path);

bool fileExists(const std::wstring& path);

// A known folder's path; empty on failure.
std::wstring knownFolderPath(const GUID& id);

// Creates the log folder and an empty log file with its security descriptor;
// an existing file keeps its content and security.
void createLogFile(const std::wstring& logFolder);

}  // namespace kestrune::service
