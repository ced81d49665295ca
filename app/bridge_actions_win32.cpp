#include "app/bridge_actions_win32.h"

#include <memory>

#include "app/app_messages_win32.h"
#include "app/app_paths_win32.h"
#include "app/service_pipe_win32.h"
#include "app/shell_actions_win32.h"
#include "app/user_prefs_win32.h"
#include "app/worker_win32.h"
#include "common/utf8_win32.h"

namespace kestrune::app {

AppBridgeActions::AppBridgeActions(HWND window, std::wstring exePath)
    : window_(window), exePath_(std::move(exePath)) {}

std::string AppBridgeActions::callPipe(const std::string& command, std::uint32_t timeoutMs) {
  return callService(command, timeoutMs);
}

void AppBridgeActions::requestStatusRefresh() { ::PostMessageW(window_, kMsgStatusRefresh, 0, 0); }

void AppBridgeActions::windowCommand(WindowCommand command) {
  ::PostMessageW(window_, WM_COMMAND, static_cast<WPARAM>(command), 0);
}

Prefs AppBridgeActions::readPrefs() { return app::readPrefs(); }

void AppBridgeActions::writePref(PrefName name, bool value) {
  app::writePref(name, value, exePath_);
}

void AppBridgeActions::openAddress(std::string_view address) { openWithShell(utf8ToWide(address)); }

bool AppBridgeActions::runRepair() { return app::runRepair(window_, folderOf(exePath_)); }

void AppBridgeActions::postReply(std::string json) {
  postOwned(window_, kMsgPageJson, 0, std::make_unique<std::wstring>(utf8ToWide(json)));
}

void startBridgeRequest(HWND window, const std::wstring& exePath, std::wstring message) {
  startWorker([window, exePath, message = std::move(message)] {
    ShellThreadScope shell;
    AppBridgeActions actions(window, exePath);
    processBridgeRequest(wideToUtf8(message), actions);
  });
}

}  // namespace kestrune::app
