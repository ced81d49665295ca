// The app's page bridge on standard input and output, for driving the page
// end to end against the installed service: the app's own request processing,
// pipe client and preferences store, without a window or a web view.
//
// In: one web message per line, as a JSON string of ASCII characters (others
// as \u escapes), so the program gets the UTF-16 text the web view would hand
// the app. Out: one JSON text per line, exactly what the app would post to
// the page (replies and {"event":"refresh"}). Each request runs on a thread of
// its own, as in the app, so replies may cross; every few seconds a refresh
// event comes too, as from the app window's status timer. What the app would
// do to its window, the shell or an elevated installer is written to standard
// error ("win min", "open <address>", "repair") instead, and answered as if
// done.
//
// `bridge_stdio [--headset <endpoint-id>]`: with --headset, a fake headset
// endpoint and the stand-in "Audiosrv" exist while it runs. Ends once its
// input has ended and every request has been answered. Under Wine only.
#include <windows.h>
// These need windows.h included before them.
#include <knownfolders.h>

#include <condition_variable>
#include <cstdio>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "app/app_messages_win32.h"
#include "app/bridge.h"
#include "app/page_messages.h"
#include "app/service_pipe_win32.h"
#include "app/user_prefs_win32.h"
#include "app/worker_win32.h"
#include "common/utf8_win32.h"
#include "service/install/install_files_win32.h"
#include "service/install/install_layout.h"
#include "tests/service/endpoints/fake_endpoint_win32.h"
#include "tests/support/fake_audio_service_win32.h"
#include "tests/support/wine_only_win32.h"

namespace {

using namespace kestrune;

// One writer at a time, so lines from concurrent requests never interleave.
std::mutex g_outputLock;

void writeLine(DWORD stream, std::string line) {
  line += '\n';
  std::lock_guard<std::mutex> hold(g_outputLock);
  DWORD written = 0;
  ::WriteFile(::GetStdHandle(stream), line.data(), static_cast<DWORD>(line.size()), &written,
              nullptr);
}

int hexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// The character a one-letter JSON escape stands for; none for "u" and others.
std::optional<wchar_t> simpleEscape(char letter) {
  switch (letter) {
    case '"':
    case '\\':
    case '/':
      return letter;
    case 'b':
      return L'\b';
    case 'f':
      return L'\f';
    case 'n':
      return L'\n';
    case 'r':
      return L'\r';
    case 't':
      return L'\t';
    default:
      return std::nullopt;
  }
}

// The UTF-16 text of one JSON string of printable ASCII characters; none when
// the line is anything else.
std::optional<std::wstring> decodeJsonString(std::string_view line) {
  if (line.size() < 2 || line.front() != '"' || line.back() != '"') return std::nullopt;
  const std::string_view body = line.substr(1, line.size() - 2);
  std::wstring text;
  for (std::size_t i = 0; i < body.size(); ++i) {
    const char c = body[i];
    if (c < 0x20 || c > 0x7E || c == '"') return std::nullopt;
    if (c != '\\') {
      text += static_cast<wchar_t>(c);
    } else if (i + 1 < body.size() && simpleEscape(body[i + 1])) {
      text += *simpleEscape(body[++i]);
    } else if (i + 5 < body.size() && body[i + 1] == 'u') {
      unsigned unit = 0;
      for (std::size_t k = i + 2; k < i + 6; ++k) {
        const int digit = hexDigit(body[k]);
        if (digit < 0) return std::nullopt;
        unit = unit * 16 + static_cast<unsigned>(digit);
      }
      text += static_cast<wchar_t>(unit);
      i += 5;
    } else {
      return std::nullopt;
    }
  }
  return text;
}

const char* windowCommandName(app::WindowCommand command) {
  switch (command) {
    case app::WindowCommand::Minimize:
      return "min";
    case app::WindowCommand::Hide:
      return "hide";
    default:
      return "quit";
  }
}

class StdioBridgeActions final : public app::BridgeActions {
 public:
  std::string callPipe(const std::string& command, std::uint32_t timeoutMs) override {
    return app::callService(command, timeoutMs);
  }
  // The app posts the event to the page ahead of the reply, as here.
  void requestStatusRefresh() override {
    writeLine(STD_OUTPUT_HANDLE, app::pageEvent(app::kEventRefresh));
  }
  void windowCommand(app::WindowCommand command) override {
    writeLine(STD_ERROR_HANDLE, std::string("win ") + windowCommandName(command));
  }
  app::Prefs readPrefs() override { return app::readPrefs(); }
  // The Run value names the installed app, as the app started from there would.
  void writePref(app::PrefName name, bool value) override {
    const std::wstring appPath = service::knownFolderPath(FOLDERID_ProgramFiles) +
                                 service::kInstallSubfolder + L"\\" + service::kAppExeName;
    app::writePref(name, value, appPath);
  }
  void openAddress(std::string_view address) override {
    writeLine(STD_ERROR_HANDLE, "open " + std::string(address));
  }
  bool runRepair() override {
    writeLine(STD_ERROR_HANDLE, "repair");
    return true;
  }
  void postReply(std::string json) override { writeLine(STD_OUTPUT_HANDLE, std::move(json)); }
};

// Requests still being processed; the program ends only when none is left.
class InFlight {
 public:
  void add() {
    std::lock_guard<std::mutex> hold(lock_);
    ++count_;
  }
  void done() {
    std::lock_guard<std::mutex> hold(lock_);
    if (--count_ == 0) idle_.notify_all();
  }
  void waitIdle() {
    std::unique_lock<std::mutex> hold(lock_);
    idle_.wait(hold, [this] { return count_ == 0; });
  }

 private:
  std::mutex lock_;
  std::condition_variable idle_;
  int count_ = 0;
};

void startRequest(std::string line, InFlight& inFlight) {
  if (!line.empty() && line.back() == '\r') line.pop_back();
  const std::optional<std::wstring> message = decodeJsonString(line);
  if (!message) {
    writeLine(STD_ERROR_HANDLE, "bad input line: " + line);
    return;
  }
  inFlight.add();
  const bool started = app::startWorker([text = wideToUtf8(*message), &inFlight] {
    StdioBridgeActions actions;
    app::processBridgeRequest(text, actions);
    inFlight.done();
  });
  if (!started) inFlight.done();
}

}  // namespace

int main(int argc, char** argv) {
  if (!test::allowedToRun()) return test::kRefusedOutsideWine;
  std::unique_ptr<test::ScopedFakeAudioService> audioService;
  std::unique_ptr<test::ScopedRegistryKey> headsetKey;
  if (argc == 3 && std::string_view(argv[1]) == "--headset") {
    const std::wstring headset = utf8ToWide(argv[2]);
    headsetKey = std::make_unique<test::ScopedRegistryKey>(HKEY_LOCAL_MACHINE,
                                                           service::kRenderRootPath + headset);
    // Listed as "Headphones (USB Headset)"; no effect values of its own yet.
    service::test::createEndpoint({headset, 1, L"Headphones", L"USB Headset", true, {}});
    audioService = std::make_unique<test::ScopedFakeAudioService>();
    if (!audioService->service() || !audioService->startAndWait()) {
      std::fprintf(stderr, "the stand-in Audiosrv did not start (error %lu)\n", ::GetLastError());
      return 1;
    }
  } else if (argc != 1) {
    std::fputs("usage: bridge_stdio [--headset <endpoint-id>]\n", stderr);
    return 2;
  }
  // Everything above is in place: the caller may install the product now.
  writeLine(STD_ERROR_HANDLE, "ready");
  app::startWorker([] {
    for (;;) {
      ::Sleep(app::kStatusPeriodMs);
      writeLine(STD_OUTPUT_HANDLE, app::pageEvent(app::kEventRefresh));
    }
  });

  InFlight inFlight;
  std::string pending;
  char buffer[4096];
  DWORD got = 0;
  while (::ReadFile(::GetStdHandle(STD_INPUT_HANDLE), buffer, sizeof buffer, &got, nullptr) &&
         got > 0) {
    pending.append(buffer, got);
    for (std::size_t end; (end = pending.find('\n')) != std::string::npos;) {
      startRequest(pending.substr(0, end), inFlight);
      pending.erase(0, end + 1);
    }
  }
  inFlight.waitIdle();
  return 0;
}
