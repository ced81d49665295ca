// Runs a Windows program as a child and captures what it says.
#pragma once

#include <windows.h>

#include <string>

namespace kestrune::test {

struct ChildResult {
  bool started = false;
  DWORD exitCode = 0;
  bool timedOut = false;
  std::string out;  // standard output, bytes as written
  std::string err;  // standard error, bytes as written
};

// Starts `commandLine` (program path quoted as needed), waits up to
// `timeoutMs` (the child is killed past it) and returns exit code and output.
ChildResult runChild(const std::wstring& commandLine, DWORD timeoutMs = 120000);

// The folder holding the running test executable, with a trailing backslash;
// deliverables and helper programs are built beside it.
std::wstring binDir();

// `binDir() + name`, quoted for a command line.
std::wstring quotedBinPath(const std::wstring& name);

}  // namespace kestrune::test
