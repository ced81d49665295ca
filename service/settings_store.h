// The settings key HKLM SOFTWARE\Kestrune: every read falls back to its
// reader's default, every write goes straight to the registry, and nothing is
// cached. No key handle is kept open between calls. Thread-safe (each call
// is self-contained); writers hold the service lock by convention.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kestrune::service {

// REG_DWORD `name` of the settings key; `fallback` when absent, of another
// type, or the key is missing.
std::uint32_t readNumber(const wchar_t* name, std::uint32_t fallback);
// The same for any key under HKLM (the restore journal's `_Phase`, `_Full`).
std::uint32_t readNumber(const wchar_t* keyPath, const wchar_t* name, std::uint32_t fallback);

// Unconditional REG_DWORD write into the settings key; false on failure. No flush.
bool writeNumber(const wchar_t* name, std::uint32_t value);

// REG_SZ `name` of HKLM\`keyPath`; empty on any failure, including a value of
// 1024 UTF-16 units or more (buffer of 2048 bytes with the terminator).
std::wstring readText(const wchar_t* keyPath, const wchar_t* name);

// The stored `Games` list; empty when missing or not REG_MULTI_SZ.
std::vector<std::wstring> readGamesList();
// The stored list, or the one entry "TslGame.exe" when it is empty.
std::vector<std::wstring> effectiveGamesList();
// The effective list in UTF-8 joined by "," (status reply form).
std::string gamesListText();
// Stores a comma-separated UTF-8 text as the REG_MULTI_SZ `Games`, unvalidated;
// false on failure (the pipe reports "error registry").
bool writeGamesList(std::string_view utf8Text);

}  // namespace kestrune::service
