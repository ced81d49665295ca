// Short-lived detached worker threads. A worker never touches a window or
// the web view: it reports back only by posting messages.
#pragma once

#include <functional>

namespace kestrune::app {

// Runs `job` on a new thread that nobody waits for. False when no thread
// could be started; the job is then dropped (its report never arrives, as
// if the service had not answered).
bool startWorker(std::function<void()> job);

}  // namespace kestrune::app
