#include "service/pipe_server_win32.h"

#include <gtest/gtest.h>
#include <sddl.h>

#include <atomic>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "common/handles_win32.h"
#include "common/meter_layout.h"
#include "common/names.h"
#include "common/pipe_call_win32.h"
#include "ctl/pipe_call_win32.h"
#include "service/dispatcher.h"
#include "service/dispatcher_host_win32.h"
#include "service/endpoints/endpoint_inventory_win32.h"
#include "service/endpoints/endpoint_plan.h"
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

class SilentHost final : public CommandHost {
 public:
  void lock() override {}
  void unlock() override {}
  StatusInputs readStatus() override { return {}; }
  std::string listEndpoints() override { return endpointsReply; }
  bool writeNumber(NumberSetting, std::uint32_t) override { return true; }
  bool writeGames(std::string_view) override { return true; }
  void setCompare(bool) override {}
  void runEffectSwitch() override {}
  bool debugCommandsAllowed() override { return false; }
  bool attach(std::string_view, bool, bool, bool, std::string&) override { return true; }
  bool restore(std::string&) override { return true; }

  std::string endpointsReply;
};

void spinMicroseconds(LONGLONG us) {
  LARGE_INTEGER frequency, now, start;
  ::QueryPerformanceFrequency(&frequency);
  ::QueryPerformanceCounter(&start);
  do ::QueryPerformanceCounter(&now);
  while ((now.QuadPart - start.QuadPart) * 1000000 / frequency.QuadPart < us);
}

// A pipe client opened by hand, to behave as a client should not.
UniqueFileHandle openClient() {
  UniqueFileHandle pipe;
  for (int i = 0; i < 500 && !pipe; ++i) {
    pipe.reset(::CreateFileW(kPipeNameW, kPipeClientAccess, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    if (!pipe) ::Sleep(10);
  }
  DWORD mode = PIPE_READMODE_MESSAGE;
  if (pipe) ::SetNamedPipeHandleState(pipe.get(), &mode, nullptr, nullptr);
  return pipe;
}

// Milliseconds until the server closes the client's connection (a read
// fails), or `limitMs` when it does not within that.
ULONGLONG msUntilClosed(HANDLE client, ULONGLONG limitMs) {
  const ULONGLONG start = ::GetTickCount64();
  std::vector<char> sink(kMaxReplyBytes);
  while (::GetTickCount64() - start < limitMs) {
    DWORD available = 0;
    if (!::PeekNamedPipe(client, nullptr, 0, nullptr, &available, nullptr))
      return ::GetTickCount64() - start;
    ::Sleep(10);
  }
  return limitMs;
}

bool waitUntil(const std::function<bool()>& condition, DWORD timeoutMs) {
  const ULONGLONG start = ::GetTickCount64();
  while (!condition()) {
    if (::GetTickCount64() - start > timeoutMs) return false;
    ::Sleep(10);
  }
  return true;
}

// One service body for the whole suite, as in `run` mode: the stop event is
// process-wide and never reset, so the last test stops it.
class ControlPipe : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    settings_ = new ScopedRegistryKey(HKEY_LOCAL_MACHINE, kSettingsKeyPath);
    settings_->erase();
    body_ = new std::thread([] {
      StartFailure failure;
      EXPECT_TRUE(runServiceBody(failure)) << failure.message;
    });
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

TEST_F(ControlPipe, BackToBackCallsAreAllAnswered) {
  // One client calling again as soon as it has its reply, as a script of
  // control commands does. Under Wine, a moment without a listening instance
  // makes such calls fail with error 676, which no client retries.
  constexpr int kCalls = 3000;
  std::map<DWORD, int> failures;
  for (int i = 0; i < kCalls; ++i) {
    const PipeCallResult r = callPipe("status", kPipeNameA, 30000);
    if (!r.ok) ++failures[r.error];
  }
  for (auto [e, n] : failures) ADD_FAILURE() << n << " of " << kCalls << " failed with " << e;
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

TEST_F(ControlPipe, EndpointCommandsOnceStoppingReplyWithAnErrorAndDoNothing) {
  ASSERT_EQ(::WaitForSingleObject(serviceState().stopEvent, 0), WAIT_OBJECT_0);
  test::ScopedRegistryKey render(HKEY_LOCAL_MACHINE, kRenderEndpointsPath);
  test::setDword(HKEY_LOCAL_MACHINE, kJournalKeyPath, L"_Phase", 2);
  test::setString(HKEY_LOCAL_MACHINE, kJournalKeyPath, L"_Device", L"{attached}");
  test::setString(HKEY_LOCAL_MACHINE, FxPropertiesPath(L"{other}"), L"{unrelated},3", L"x");
  test::KeySnapshot journalBefore;
  ASSERT_TRUE(test::snapshotKey(HKEY_LOCAL_MACHINE, kJournalKeyPath, journalBefore));
  for (const char* request : {"uninstall", "install {other}", "install {other} full force"}) {
    EXPECT_EQ(dispatchRequest(request, serviceCommandHost()),
              "error the service is stopping; nothing changed\n")
        << request;
  }
  test::KeySnapshot journalAfter;
  ASSERT_TRUE(test::snapshotKey(HKEY_LOCAL_MACHINE, kJournalKeyPath, journalAfter));
  EXPECT_EQ(journalAfter.values.size(), journalBefore.values.size());
  EXPECT_EQ(readNumber(kJournalKeyPath, L"_Phase", 0), 2u);
  test::RegistryValue slot;
  EXPECT_FALSE(test::readValue(HKEY_LOCAL_MACHINE, FxPropertiesPath(L"{other}"),
                               kPropEndpointEffectClsid, slot));
}

TEST(ServiceStart, WithoutAStopEventTheBodyDoesNotStart) {
  ScopedRegistryKey settings(HKEY_LOCAL_MACHINE, kSettingsKeyPath);
  ServiceState& state = serviceState();
  const HANDLE saved = std::exchange(state.stopEvent, nullptr);
  StartFailure failure;
  const bool ran = runServiceBody(failure);
  state.stopEvent = saved;
  EXPECT_FALSE(ran);
  EXPECT_EQ(failure.message, "cannot create the stop event");
}

TEST(ServiceStart, AnotherHolderOfThePipeNameStopsTheStart) {
  // A second process's instance would answer the clients and receive their
  // commands; the service must not start beside it.
  UniqueFileHandle squatter(::CreateNamedPipeW(kPipeNameW, PIPE_ACCESS_DUPLEX, kPipeMode,
                                               PIPE_UNLIMITED_INSTANCES, 4096, 4096, 0, nullptr));
  ASSERT_TRUE(squatter);
  UniqueHandle stop(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  SilentHost host;
  PipeLimits limits;
  limits.firstInstanceWaitMs = 300;
  PipeServer server(stop.get(), host, limits);
  std::string message;
  EXPECT_FALSE(server.start(message));
  EXPECT_EQ(message, "another program holds the control pipe \\\\.\\pipe\\Kestrune");
  // The service body reports it too, after its few seconds of grace, and
  // leaves the effect off; one that started beside the squatter would run
  // until stopped.
  ScopedRegistryKey settings(HKEY_LOCAL_MACHINE, kSettingsKeyPath);
  test::setDword(HKEY_LOCAL_MACHINE, kSettingsKeyPath, kValueEnabled, 1);
  test::setDword(HKEY_LOCAL_MACHINE, kSettingsKeyPath, kValueMeter, 1);
  ASSERT_TRUE(::ResetEvent(serviceState().stopEvent));
  StartFailure failure;
  std::atomic<bool> ran{true}, ended{false};
  std::thread body([&] {
    ran = runServiceBody(failure);
    ended = true;
  });
  waitUntil([&] { return ended.load(); }, 15000);
  ::SetEvent(serviceState().stopEvent);
  body.join();
  EXPECT_FALSE(ran.load());
  EXPECT_EQ(failure.error, static_cast<DWORD>(ERROR_PIPE_BUSY));
  EXPECT_EQ(failure.message, message);
  EXPECT_EQ(readNumber(kValueEnabled, 7), 0u);
  EXPECT_EQ(readNumber(kValueMeter, 7), 0u);
}

TEST(PipeSecurity, UsersMayCallButNotAddInstances) {
  PSECURITY_DESCRIPTOR sd = nullptr;
  ASSERT_TRUE(::ConvertStringSecurityDescriptorToSecurityDescriptorW(kPipeSddl, SDDL_REVISION_1,
                                                                     &sd, nullptr));
  UniqueLocal owned(sd);
  BOOL present = FALSE, defaulted = FALSE;
  PACL dacl = nullptr;
  ASSERT_TRUE(::GetSecurityDescriptorDacl(sd, &present, &dacl, &defaulted));
  ASSERT_EQ(dacl->AceCount, 3);
  ACCESS_ALLOWED_ACE* users = nullptr;
  ASSERT_TRUE(::GetAce(dacl, 2, reinterpret_cast<void**>(&users)));
  PSID authenticated = nullptr;
  ASSERT_TRUE(::ConvertStringSidToSidW(L"AU", &authenticated));
  UniqueLocal ownedSid(authenticated);
  EXPECT_TRUE(::EqualSid(&users->SidStart, authenticated));
  // What the clients ask for is all there; the right to create an instance is not.
  GENERIC_MAPPING files{FILE_GENERIC_READ, FILE_GENERIC_WRITE, FILE_GENERIC_EXECUTE,
                        FILE_ALL_ACCESS};
  DWORD asked = kPipeClientAccess;
  ::MapGenericMask(&asked, &files);
  EXPECT_EQ(users->Mask & asked, asked);
  EXPECT_EQ(users->Mask & FILE_CREATE_PIPE_INSTANCE, 0u);
}

// A stop that arrives while the server is between handing over a connection
// and listening again must still end it. Each round connects a client and
// stops a little later, sweeping that gap.
TEST(PipeServerStop, EndsWhateverTheServerIsDoingWhenStopped) {
  SilentHost host;
  for (int round = 0; round < 600; ++round) {
    UniqueHandle stop(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    PipeServer server(stop.get(), host);
    std::string message;
    ASSERT_TRUE(server.start(message)) << message << " in round " << round;
    UniqueFileHandle client(::CreateFileW(kPipeNameW, GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                          OPEN_EXISTING, 0, nullptr));
    spinMicroseconds(round * 2);
    ::SetEvent(stop.get());
    std::thread joiner([&] { server.join(); });
    const ULONGLONG start = ::GetTickCount64();
    joiner.join();
    ASSERT_LT(::GetTickCount64() - start, 3000u) << "round " << round;
  }
}

// A wait for a client that fails at once must neither spin nor hide the
// stop; one a client caused (it connected and closed at once) goes round at
// once.
TEST(PipeServerStop, FailedWaitsForAClientPauseUnlessAClientCausedThem) {
  SilentHost host;
  struct Case {
    DWORD error;
    bool pauses;
  } cases[] = {{ERROR_INVALID_HANDLE, true}, {ERROR_NO_DATA, false}};
  for (const Case& c : cases) {
    std::atomic<int> waits{0};
    std::atomic<bool> failing{true};
    PipeLimits limits;
    limits.connectFault = [&]() -> DWORD {
      ++waits;
      return failing ? c.error : 0;
    };
    UniqueHandle stop(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    PipeServer server(stop.get(), host, limits);
    std::string message;
    ASSERT_TRUE(server.start(message)) << message;
    ::Sleep(1500);
    if (c.pauses) {
      EXPECT_LE(waits.load(), 3) << c.error;
    } else {
      EXPECT_GT(waits.load(), 10) << c.error;
    }
    failing = false;
    EXPECT_TRUE(callPipe("status", kPipeNameA, 5000).ok) << "served once the fault ends";
    failing = true;
    ::Sleep(100);
    const ULONGLONG start = ::GetTickCount64();
    ::SetEvent(stop.get());
    server.join();
    EXPECT_LT(::GetTickCount64() - start, 1500u) << c.error;
  }
}

class PipeLimitsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    limits_.requestTimeoutMs = 400;
    limits_.replyTimeoutMs = 400;
    limits_.maxConnections = 4;
    server_ = std::make_unique<PipeServer>(stop_.get(), host_, limits_);
    std::string message;
    ASSERT_TRUE(server_->start(message)) << message;
  }
  void TearDown() override {
    ::SetEvent(stop_.get());
    const ULONGLONG start = ::GetTickCount64();
    server_->join();
    EXPECT_LT(::GetTickCount64() - start, 1000u) << "held connections delay the stop";
    // Connection threads end within their limits; the host must outlive them.
    EXPECT_TRUE(waitUntil([&] { return server_->liveConnections() == 0; }, 3000));
  }
  static std::string callStatus() {
    const PipeCallResult r = callPipe("status", kPipeNameA, 5000);
    return r.ok ? r.reply : "error " + std::to_string(r.error);
  }

  UniqueHandle stop_{::CreateEventW(nullptr, TRUE, FALSE, nullptr)};
  SilentHost host_;
  PipeLimits limits_;
  std::unique_ptr<PipeServer> server_;
};

TEST_F(PipeLimitsTest, ClientsThatStallAreDroppedAfterTheirTimeLimit) {
  const std::string status = formatStatusReply({});
  host_.endpointsReply = std::string(3 * kPipeOutBufferBytes, 'e');
  struct Case {
    const char* stall;
    const char* request;  // nullptr: never sends one
    bool readsReply;
  } cases[] = {{"never sends", nullptr, false},
               {"never reads a reply larger than the pipe's buffer", "endpoints", false},
               {"reads the reply but never closes", "status", true}};
  for (const Case& c : cases) {
    UniqueFileHandle client = openClient();
    ASSERT_TRUE(client) << c.stall;
    if (c.request) {
      DWORD written = 0;
      ::WriteFile(client.get(), c.request, static_cast<DWORD>(std::strlen(c.request)), &written,
                  nullptr);
    }
    if (c.readsReply) {
      std::vector<char> reply(kMaxReplyBytes);
      DWORD got = 0;
      ASSERT_TRUE(::ReadFile(client.get(), reply.data(), kMaxReplyBytes, &got, nullptr));
      EXPECT_EQ(std::string(reply.data(), got), status);
    }
    EXPECT_EQ(callStatus(), status) << "others are served meanwhile: " << c.stall;
    const ULONGLONG ms = msUntilClosed(client.get(), 5000);
    EXPECT_GE(ms, 200u) << c.stall;
    EXPECT_LT(ms, 3000u) << c.stall;
    EXPECT_TRUE(waitUntil([&] { return server_->liveConnections() == 0; }, 3000)) << c.stall;
  }
}

TEST_F(PipeLimitsTest, ConnectionsBeyondTheBoundAreClosedAtOnce) {
  std::vector<UniqueFileHandle> idle;
  for (long i = 0; i < limits_.maxConnections; ++i) idle.push_back(openClient());
  ASSERT_TRUE(
      waitUntil([&] { return server_->liveConnections() == limits_.maxConnections; }, 3000));
  UniqueFileHandle extra = openClient();
  ASSERT_TRUE(extra) << "an instance still listens";
  EXPECT_LT(msUntilClosed(extra.get(), 5000), 300u);
  EXPECT_EQ(server_->liveConnections(), limits_.maxConnections);
  idle.clear();
  EXPECT_TRUE(waitUntil([&] { return server_->liveConnections() == 0; }, 3000));
  EXPECT_EQ(callStatus(), formatStatusReply({}));
}

}  // namespace
}  // namespace kestrune::service
