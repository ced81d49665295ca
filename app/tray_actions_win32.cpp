#include "app/tray_actions_win32.h"

#include <memory>
#include <string>

#include "app/app_messages_win32.h"
#include "app/service_pipe_win32.h"
#include "app/tray_menu.h"
#include "app/tray_status.h"
#include "app/user_prefs_win32.h"
#include "app/worker_win32.h"
#include "common/utf8_win32.h"

namespace kestrune::app {

namespace {

struct MenuDeleter {
  void operator()(HMENU menu) const noexcept { ::DestroyMenu(menu); }
};
using UniqueMenu = std::unique_ptr<std::remove_pointer_t<HMENU>, MenuDeleter>;

void appendItems(HMENU menu, const std::vector<TrayMenuItem>& items) {
  for (const TrayMenuItem& item : items) {
    if (item.text.empty()) {
      ::AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
      continue;
    }
    UINT flags = MF_STRING;
    if (item.checked) flags |= MF_CHECKED;
    if (item.grayed) flags |= MF_GRAYED;
    UINT_PTR id = item.id;
    if (!item.submenu.empty()) {
      // The parent menu destroys its submenus with itself.
      HMENU sub = ::CreatePopupMenu();
      appendItems(sub, item.submenu);
      flags |= MF_POPUP;
      id = reinterpret_cast<UINT_PTR>(sub);
    }
    ::AppendMenuW(menu, flags, id, utf8ToWide(item.text).c_str());
    if (item.isDefault) ::SetMenuDefaultItem(menu, item.id, FALSE);
  }
}

}  // namespace

void startStatusPoll(HWND window) {
  startWorker([window] {
    const TrayView view = trayViewForReply(callService(kCommandStatus, kCallTimeoutMs));
    postOwned(window, kMsgTrayUpdate, static_cast<WPARAM>(view.state),
              std::make_unique<std::wstring>(utf8ToWide(view.tooltip)));
  });
}

void startToggle(HWND window) {
  startWorker([window] {
    const auto step = toggleStep(statusMapFromReply(callService(kCommandStatus, kCallTimeoutMs)));
    if (!step) return;
    callService(step->command, kCallTimeoutMs);
    ::PostMessageW(window, kMsgStatusRefresh, step->nowOn ? 1 : 0, 1);
  });
}

void runTrayMenu(HWND window) {
  const TrayMenu model =
      trayMenuFor(statusMapFromReply(callServiceOnUiThread(kCommandStatus, kMenuStatusTimeoutMs)));
  UniqueMenu menu(::CreatePopupMenu());
  if (!menu) return;
  appendItems(menu.get(), model.items);
  if (model.radioId != 0) {
    ::CheckMenuRadioItem(menu.get(), kTrayLight, kTrayStrong, model.radioId, MF_BYCOMMAND);
  }
  POINT at{};
  ::GetCursorPos(&at);
  // Without the foreground the menu would not close when the user clicks
  // elsewhere.
  ::SetForegroundWindow(window);
  const UINT chosen = static_cast<UINT>(::TrackPopupMenu(
      menu.get(), TPM_RETURNCMD | TPM_NONOTIFY | TPM_RIGHTBUTTON, at.x, at.y, 0, window, nullptr));
  // Without a message after it, the next menu from the tray may close at once.
  ::PostMessageW(window, WM_NULL, 0, 0);
  menu.reset();
  switch (chosen) {
    case kTrayOpen:
      ::PostMessageW(window, kMsgShow, 0, 0);
      break;
    case kTrayOn:
      startToggle(window);
      break;
    case kTrayLight:
    case kTrayNormal:
    case kTrayStrong:
      sendInBackground(window, intensityCommand(chosen));
      break;
    case kTrayQuit:
      quitApp(window);
      break;
    default:
      break;
  }
}

void quitApp(HWND window) {
  const StatusMap status =
      statusMapFromReply(callServiceOnUiThread(kCommandStatus, kMenuStatusTimeoutMs));
  if (statusIsOne(status, "wanted") &&
      replyIsOk(callServiceOnUiThread(kCommandWantedOff, kCallTimeoutMs))) {
    writeUserDword(kValueResumeOn, 1);
  }
  ::DestroyWindow(window);
}

}  // namespace kestrune::app
