// A helper program copied under another file name into a folder of its own
// and started: how a test makes a process of a chosen name (a game) appear.
#pragma once

#include <windows.h>

#include <string>

#include "common/handles_win32.h"

namespace kestrune::test {

class RunningCopy {
 public:
  // Copies binDir() + program to a new temporary folder as exeName and runs it.
  RunningCopy(const std::wstring& program, const std::wstring& exeName);
  ~RunningCopy();  // ends the process and deletes the copy
  RunningCopy(const RunningCopy&) = delete;
  RunningCopy& operator=(const RunningCopy&) = delete;

  bool running() const;
  // Terminates the process (exit code 0) and waits for it.
  void end();

 private:
  std::wstring dir_, path_;
  UniqueHandle process_;
};

}  // namespace kestrune::test
