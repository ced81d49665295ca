#include "app/worker_win32.h"

#include <windows.h>

#include <memory>

#include "common/handles_win32.h"

namespace kestrune::app {

namespace {

DWORD WINAPI runJob(void* parameter) {
  std::unique_ptr<std::function<void()>> job(static_cast<std::function<void()>*>(parameter));
  (*job)();
  return 0;
}

}  // namespace

bool startWorker(std::function<void()> job) {
  auto owned = std::make_unique<std::function<void()>>(std::move(job));
  UniqueHandle thread(::CreateThread(nullptr, 0, runJob, owned.get(), 0, nullptr));
  if (!thread) return false;
  owned.release();
  return true;
}

}  // namespace kestrune::app
