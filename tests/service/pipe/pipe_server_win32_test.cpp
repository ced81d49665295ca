#include "service/pipe_server_win32.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "common/handles_win32.h"
#include "common/meter_layout.h"
#include "common/names.h"
#include "ctl/pipe_call_win32.h"
#include "service/dispatcher.h"
#include "service/endpoints/endpoint_inventory_win32.h"
#include "service/service_body_win32.h"
#include "service/service_state_win32.h"
#include "service/settings_store.h"
#include "tests/support/scoped_registry_win32.h"

namespace kestrune::service {
namespace {

using test::ScopedRegistryKey;

// Wine's WaitNamedPipeW (inside CallNamedPipeA) sometimes fails with error
// 676 while other clients hold the instances; that is the client's lot, so
// the client here simply tries again.
constexpr DWORD kWineWaitPipeError = 676;

ctl::PipeCallResult callOnce(const std::string& request) {
  ctl::PipeCallResult r;
  for (int attempt = 0; attempt < 100; ++attempt) {
    r = ctl::callPipe(request, kPipeNameA, 30000);
    if (r.ok || r.error != kWineWaitPipeError) break;
    ::Sleep(5);
  }
  return r;
}

std::string call(const std::string& request) {
  ctl::PipeCallResult r = callOnce(request);
  EXPECT_TRUE(r.ok) << request << " error " << r.error;
  return r.reply;
}

// Sends raw bytes and reads whatever comes back; `answered` false when the
// server closed the connection without a message.
struct RawExchange {
  bool answered = false;
  std::string reply;
};
RawExchange exchangeRaw(const std::string& request) {
  RawExchange out;
  UniqueFileHandle pipe;
  for (int i = 0; i < 500 && !pipe; ++i) {
    pipe.reset(::CreateFileW(kPipeNameW, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0,
                             nullptr));
    if (!pipe) ::Sleep(20);
  }
  EXPECT_TRUE(pipe);
  DWORD mode = PIPE_READMODE_MESSAGE;
  ::SetNamedPipeHandleState(pipe.get(), &mode, nullptr, nullptr);
  DWORD written = 0;
  ::WriteFile(pipe.get(), request.data(), static_cast<DWORD>(request.size()), &written, nullptr);
  std::vector<char> buffer(kMaxReplyBytes);
  DWORD got = 0;
  out.answered = ::ReadFile(pipe.get(), buffer.data(), kMaxReplyBytes, &got, nullptr) != 0;
  out.reply.assign(buffer.data(), got);
  return out;
}

const char kFreshStatus[] =
    "wanted=1\nmode=auto\ngame_running=0\nprocessing=0\nintensity=3\nendpoint=\n"
    "install_phase=0\nfull_fx=0\ndrift=0\ngames=TslGame.exe\ncomparing=0\n";

// One service body for the whole suite, as in `run` mode: the stop event is
// process-wide and never reset, so the last test stops it.
class ControlPipe : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    settings_ = new ScopedRegistryKey(HKEY_LOCAL_MACHINE, kSettingsKeyPath);
    settings_->erase();
    body_ = new std::thread([] { runServiceBody(); });
  }
  static void TearDownTestSuite() {
    if (body_->joinable()) {
      ::SetEvent(serviceState().stopEvent);
      body_->join();
    }
    delete body_;
    delete settings_;
  }
  static ScopedRegistryKey* settings_;
  static std::thread* body_;
};
ScopedRegistryKey* ControlPipe::settings_ = nullptr;
std::thread* ControlPipe::body_ = nullptr;

TEST_F(ControlPipe, CreatesTheMeterSectionWithMagicAndInstanceId) {
  EXPECT_EQ(call("status"), kFreshStatus);  // the body is up
  UniqueHandle section(::OpenFileMappingW(FILE_MAP_READ, FALSE, kMeterSectionName));
  ASSERT_TRUE(section);
  UniqueView view(::MapViewOfFile(section.get(), FILE_MAP_READ, 0, 0, kMeterSectionBytes));
  ASSERT_TRUE(view);
  const auto* header = static_cast<const MeterSection*>(view.get());
  EXPECT_EQ(std::memcmp(header->magic, kMeterMagic, 4), 0);
  EXPECT_NE(header->instanceId, 0u);
  EXPECT_EQ(header->writeIndex, 0);
}

TEST_F(ControlPipe, RepliesByteForByte) {
  struct Case {
    std::string request;
    std::string reply;
  } cases[] = {
      {"status\r\n", kFreshStatus},
      {"", kReplyEmpty},
      {"  \r\n", kReplyEmpty},
      {"Status", kReplyUnknown},
      {"set wanted 2", kReplyUnknown},
      {" set  wanted   0 ", "ok\n"},
      {"set wanted 0 0", kReplyUnknown},
      {"set intensity 0", kReplyUnknown},
      {"set intensity 4", kReplyUnknown},
      {"set intensity 22", kReplyUnknown},
      {"set intensity 1", "ok\n"},
      {"set mode always", "ok\n"},
      {"set games Game One.exe", kReplyUnknown},
      {"set games hunt.exe", "ok\n"},
      {"install", kReplyUnknown},
      {"debug-crash-install {x}", kReplyUnknown},
      {"status",
       "wanted=0\nmode=always\ngame_running=0\nprocessing=0\nintensity=1\nendpoint=\n"
       "install_phase=0\nfull_fx=0\ndrift=0\ngames=hunt.exe\ncomparing=0\n"},
      {"set wanted 1", "ok\n"},
      {"set compare 1", "ok\n"},
      {"status x",
       "wanted=1\nmode=always\ngame_running=0\nprocessing=0\nintensity=1\nendpoint=\n"
       "install_phase=0\nfull_fx=0\ndrift=0\ngames=hunt.exe\ncomparing=1\n"},
      {"set compare 0", "ok\n"},
      {"status",
       "wanted=1\nmode=always\ngame_running=0\nprocessing=1\nintensity=1\nendpoint=\n"
       "install_phase=0\nfull_fx=0\ndrift=0\ngames=hunt.exe\ncomparing=0\n"},
      {"set mode auto", "ok\n"},
      {"install {no-such-endpoint} full",
       "error no such render endpoint (or no FxProperties): {no-such-endpoint}\n"},
      {"uninstall", "ok\n"},  // no journal: nothing to put back
  };
  for (const Case& c : cases) EXPECT_EQ(call(c.request), c.reply) << "request: " << c.request;
  EXPECT_EQ(readNumber(kValueEnabled, 7), 0u);
  EXPECT_EQ(readNumber(kValueMeter, 7), 0u);

  test::setDword(HKEY_LOCAL_MACHINE, kSettingsKeyPath, kValueDebug, 2);
  EXPECT_EQ(call("debug-crash-install {x} full"), kReplyUnknown);
  EXPECT_EQ(call("endpoints"), ListRenderEndpoints());
  settings_->erase();
  EXPECT_EQ(call("status"), kFreshStatus);
}

TEST_F(ControlPipe, RequestOf4096BytesOrMoreGetsNoReply) {
  struct Case {
    std::size_t size;
    bool answered;
  } cases[] = {{4095, true}, {4096, false}, {5000, false}};
  for (const Case& c : cases) {
    const RawExchange r = exchangeRaw(std::string(c.size, 'x'));
    EXPECT_EQ(r.answered, c.answered) << c.size;
    EXPECT_EQ(r.reply, c.answered ? kReplyUnknown : "") << c.size;
  }
  EXPECT_EQ(call("status"), kFreshStatus) << "the server goes on after a dropped request";
}

TEST_F(ControlPipe, TwoHundredConcurrentClientsEachGetTheirOwnReply) {
  const std::string requests[] = {"status", "set compare 0", "bogus", "", "set wanted 1"};
  const std::string replies[] = {kFreshStatus, "ok\n", kReplyUnknown, kReplyEmpty, "ok\n"};
  constexpr int kClients = 200;
  std::vector<std::string> got(kClients);
  std::vector<std::thread> clients;
  std::atomic<int> failed{0};
  for (int i = 0; i < kClients; ++i) {
    clients.emplace_back([&, i] {
      ::Sleep(static_cast<DWORD>(i) * 7);  // spread over more than one watcher pass
      ctl::PipeCallResult r = callOnce(requests[i % 5]);
      if (!r.ok) ++failed;
      got[i] = r.ok ? r.reply : "failed with error " + std::to_string(r.error);
    });
  }
  for (std::thread& t : clients) t.join();
  EXPECT_EQ(failed.load(), 0);
  for (int i = 0; i < kClients; ++i) EXPECT_EQ(got[i], replies[i % 5]) << "client " << i;
}

// Last: stops the body as the control handler would.
TEST_F(ControlPipe, StopsWithinTheWaitHintAndSwitchesTheEffectOff) {
  test::setDword(HKEY_LOCAL_MACHINE, kSettingsKeyPath, kValueMode, 0);
  EXPECT_EQ(call("set wanted 1"), "ok\n");
  EXPECT_EQ(readNumber(kValueEnabled, 7), 1u);
  const ULONGLONG start = ::GetTickCount64();
  ::SetEvent(serviceState().stopEvent);
  body_->join();
  EXPECT_LT(::GetTickCount64() - start, 5000u);
  EXPECT_EQ(readNumber(kValueEnabled, 7), 0u);
  EXPECT_EQ(readNumber(kValueMeter, 7), 0u);
  UniqueFileHandle pipe(::CreateFileW(kPipeNameW, GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                      OPEN_EXISTING, 0, nullptr));
  EXPECT_FALSE(pipe) << "no pipe instance is left";
}

class SilentHost final : public CommandHost {
 public:
  void lock() override {}
  void unlock() override {}
  StatusInputs readStatus() override { return {}; }
  std::string listEndpoints() override { return ""; }
  bool writeNumber(NumberSetting, std::uint32_t) override { return true; }
  bool writeGames(std::string_view) override { return true; }
  void setCompare(bool) override {}
  void runEffectSwitch() override {}
  bool debugCommandsAllowed() override { return false; }
  bool attach(std::string_view, bool, bool, bool, std::string&) override { return true; }
  bool restore(std::string&) override { return true; }
};

void spinMicroseconds(LONGLONG us) {
  LARGE_INTEGER frequency, now, start;
  ::QueryPerformanceFrequency(&frequency);
  ::QueryPerformanceCounter(&start);
  do ::QueryPerformanceCounter(&now);
  while ((now.QuadPart - start.QuadPart) * 1000000 / frequency.QuadPart < us);
}

// A stop that arrives while the server is between handing over a connection
// and creating its next instance finds nobody to wake with a single wake-up.
// Each round connects a client and stops a little later, sweeping that gap.
TEST(PipeServerStop, EndsWhateverTheServerIsDoingWhenStopped) {
  SilentHost host;
  for (int round = 0; round < 600; ++round) {
    UniqueHandle stop(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    UniqueHandle server(startPipeServerThread(stop.get(), host));
    ASSERT_TRUE(server);
    bool listening = false;
    for (int i = 0; i < 2000 && !listening; ++i) {
      listening = ::WaitNamedPipeW(kPipeNameW, 1000) != 0;
      if (!listening) ::Sleep(1);
    }
    ASSERT_TRUE(listening);
    UniqueFileHandle client(::CreateFileW(kPipeNameW, GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                          OPEN_EXISTING, 0, nullptr));
    spinMicroseconds(round * 2);
    ::SetEvent(stop.get());
    std::thread stopper([&] { stopPipeServer(server.get()); });
    const bool ended = ::WaitForSingleObject(server.get(), 3000) == WAIT_OBJECT_0;
    if (!ended) {
      stopper.detach();
      server.release();  // still in use by the stuck stopper
      FAIL() << "server did not end in round " << round;
    }
    stopper.join();
  }
}

}  // namespace
}  // namespace kestrune::service
