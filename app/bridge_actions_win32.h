// The app's side of the page bridge: requests run on workers, and every
// effect on the window (reply, refresh, window command) is a posted message.
#pragma once

#include <windows.h>

#include <string>

#include "app/bridge.h"

namespace kestrune::app {

class AppBridgeActions final : public BridgeActions {
 public:
  // Copies what it needs: a worker may outlive the window.
  AppBridgeActions(HWND window, std::wstring exePath);

  std::string callPipe(const std::string& command, std::uint32_t timeoutMs) override;
  void requestStatusRefresh() override;
  void windowCommand(WindowCommand command) override;
  Prefs readPrefs() override;
  void writePref(PrefName name, bool value) override;
  void openAddress(std::string_view address) override;
  bool runRepair() override;
  void postReply(std::string json) override;

 private:
  HWND window_;
  std::wstring exePath_;
};

// [ui] Processes one web message (as the web view delivered it) on a new
// worker thread.
void startBridgeRequest(HWND window, const std::wstring& exePath, std::wstring message);

}  // namespace kestrune::app
