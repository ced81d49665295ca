// One event end to end: the product installed from its folder, the effect
// attached to a headset, an audio engine playing the listening scene through
// the installed effect, a game starting and ending, and the product removed
// again. The audio engine is a stand-in program and the headset a fake
// endpoint; everything else is the product itself. The timeline it prints is
// what the main job shows.
#include <gtest/gtest.h>
#include <windows.h>
// These need windows.h included before them.
#include <knownfolders.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>

#include "common/handles_win32.h"
#include "common/meter_layout.h"
#include "common/names.h"
#include "common/utf8_win32.h"
#include "service/endpoints/endpoint_plan.h"
#include "service/install/install_files_win32.h"
#include "service/install/install_layout.h"
#include "service/settings_store.h"
#include "tests/e2e/clock_win32.h"
#include "tests/e2e/float_wav.h"
#include "tests/e2e/headset_output.h"
#include "tests/e2e/timeline_win32.h"
#include "tests/service/endpoints/fake_endpoint_win32.h"
#include "tests/support/background_child_win32.h"
#include "tests/support/fake_audio_service_win32.h"
#include "tests/support/fake_webview_win32.h"
#include "tests/support/running_copy_win32.h"
#include "tests/support/tray_observer_win32.h"

namespace kestrune::e2e {
namespace {

namespace support = kestrune::test;
using namespace kestrune::service;
using kestrune::service::test::createEndpoint;
using kestrune::service::test::fxValues;
using kestrune::service::test::sameValues;
using kestrune::service::test::textValue;
using support::ScopedRegistryKey;

constexpr wchar_t kHeadsetId[] = L"{6A3E1F52-94C7-4B0D-8E2A-5D17C3B9F0E4}";
constexpr wchar_t kStopEventName[] = L"Local\\KestruneE2eEngineStop";
constexpr std::uint32_t kPeriodFrames = 480;
constexpr std::int32_t kNormal = 2;
// Scene times: the game starts after the first walk and ends after the second.
constexpr double kGameStartSceneSeconds = 7.0;
constexpr double kGameEndSceneSeconds = 15.5;
// The product aims at about 1.5 s per switch; the bounds leave room for a
// loaded machine, and the measured delays are printed.
constexpr double kSwitchBoundSeconds = 5.0;
// How much earlier than the test the effect may see a switch: both wake on
// the same registry notification.
constexpr double kWakeOrderSeconds = 0.005;
constexpr DWORD kStepTimeoutMs = 120000;
// From the app's start to its page and tray showing the effect: a process
// start under Wine, then the first meter ticks and status poll.
constexpr double kAppBoundSeconds = 20.0;
constexpr wchar_t kActiveTip[] = L"Orvantis: active (Normal)";
constexpr char kFormatMessage[] = "{\"fmt\":[48000,2,1]}";

std::wstring quoted(const std::wstring& path) { return L"\"" + path + L"\""; }
std::wstring installFolder() { return knownFolderPath(FOLDERID_ProgramFiles) + kInstallSubfolder; }

// Unix source paths reach Wine programs through drive Z:.
std::wstring sourcePath(const char* relative) {
  std::wstring path = L"Z:" + utf8ToWide(KESTRUNE_SOURCE_DIR) + L"/" + utf8ToWide(relative);
  std::replace(path.begin(), path.end(), L'/', L'\\');
  return path;
}

bool contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

// Whether a page message {"meter":[[i,o,s],...]} carries a record with
// levels and the processor-playing bit.
bool meterMessageShowsProcessing(const std::string& message) {
  constexpr char kPrefix[] = "{\"meter\":[";
  if (message.rfind(kPrefix, 0) != 0) return false;
  const char* p = message.c_str() + std::strlen(kPrefix);
  unsigned input = 0, output = 0, status = 0;
  for (int used = 0; std::sscanf(p, "[%u,%u,%u]%n", &input, &output, &status, &used) == 3;) {
    if ((status & kStatusProcessorPlaying) && input > 0 && output > 0) return true;
    p += used;
    if (*p++ != ',') break;
  }
  return false;
}

template <typename Pred>
bool waitUntil(Pred pred, double timeoutSeconds, DWORD pollMs = 5) {
  const std::uint64_t end =
      performanceMicroseconds() + static_cast<std::uint64_t>(timeoutSeconds * 1e6);
  while (!pred()) {
    if (performanceMicroseconds() > end) return false;
    ::Sleep(pollMs);
  }
  return true;
}

void sleepUntil(std::uint64_t microseconds) {
  const std::uint64_t now = performanceMicroseconds();
  if (microseconds > now) ::Sleep(static_cast<DWORD>((microseconds - now) / 1000));
}

class OneEvent : public ::testing::Test {
 protected:
  void SetUp() override {
    for (auto [root, path] : std::initializer_list<std::pair<HKEY, std::wstring>>{
             {HKEY_LOCAL_MACHINE, kSettingsKeyPath},
             {HKEY_LOCAL_MACHINE, kComClassKeyPath},
             {HKEY_LOCAL_MACHINE, kApoKeyPath},
             {HKEY_LOCAL_MACHINE, kUninstallKeyPath},
             {HKEY_LOCAL_MACHINE, kRenderRootPath + std::wstring(kHeadsetId)},
             {HKEY_CURRENT_USER, kUserKeyPath},
             {HKEY_CURRENT_USER, kRunKeyPath}}) {
      keys_.push_back(std::make_unique<ScopedRegistryKey>(root, path));
    }
    keys_[0]->erase();
    keys_[5]->erase();  // no ResumeOn left to switch the effect at the app's start
    // "Audiosrv" as the attach finds it on a PC: there and running.
    audioService_ = std::make_unique<support::ScopedFakeAudioService>();
    ASSERT_TRUE(audioService_->service());
    ASSERT_TRUE(audioService_->startAndWait());

    wchar_t temp[MAX_PATH];
    ::GetTempPathW(MAX_PATH, temp);
    work_ = std::wstring(temp) + L"kestrune_e2e";
    ::CreateDirectoryW(work_.c_str(), nullptr);
    for (const wchar_t* stale : {L"\\headset.wav", L"\\calls.txt"})
      ::DeleteFileW((work_ + stale).c_str());
    stageProductFolder();
    scene_ = makeDemoScene();
    std::string message;
    ASSERT_TRUE(saveFloatWav(work_ + L"\\scene.wav", scene_.sound, message)) << message;
    stopEngine_.reset(::CreateEventW(nullptr, TRUE, FALSE, kStopEventName));
    ASSERT_TRUE(stopEngine_);
  }

  void TearDown() override {
    timeline_.print();
    if (stopEngine_) ::SetEvent(stopEngine_.get());
    engine_.finish(10000);
    app_.finish(0);
    webView_.reset();
    tray_.reset();
    game_.reset();
    meter_.reset();
    UniqueScHandle manager(::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
    UniqueScHandle product(::OpenServiceW(manager.get(), kServiceName, SERVICE_QUERY_STATUS));
    if (product) support::runChildToFile(quoted(stage_ + L"\\" + kServiceExeName) + L" uninstall");
    audioService_.reset();
    if (!stage_.empty()) DeleteTree(stage_);
    keys_.clear();
  }

  // The product folder as shipped: the four deliverables, the web view
  // loader and the page folder.
  void stageProductFolder() {
    stage_ = work_ + L"\\Orvantis";
    DeleteTree(stage_);
    ::CreateDirectoryW(stage_.c_str(), nullptr);
    // The test tree's web view loader stands in for Microsoft's, which a
    // release build ships beside the app.
    for (const wchar_t* name :
         {kServiceExeName, kEffectDllName, kAppExeName, kCtlExeName, L"WebView2Loader.dll"}) {
      EXPECT_TRUE(
          ::CopyFileW((support::binDir() + name).c_str(), (stage_ + L"\\" + name).c_str(), FALSE))
          << wideToUtf8(name);
    }
    copyUiFolder(sourcePath("app"), stage_);
  }

  // One kestrune_ctl command from the installed product, on the timeline.
  std::string ctl(const std::string& command) {
    const std::uint64_t at = performanceMicroseconds();
    const auto r = support::runChildToFile(
        quoted(installFolder() + L"\\" + kCtlExeName) + L" " + utf8ToWide(command), kStepTimeoutMs);
    timeline_.add(at, "kestrune_ctl " + command, r.out + r.err);
    return r.out;
  }

  // When `Enabled` first reads `value`, seen through the change notification
  // the effect's watcher waits on too; 0 when not within the bound.
  static std::uint64_t waitForEnabled(std::uint32_t value) {
    UniqueHKey key;
    ::RegOpenKeyExW(HKEY_LOCAL_MACHINE, kSettingsKeyPath, 0, KEY_NOTIFY | KEY_QUERY_VALUE,
                    key.put());
    UniqueHandle changed(::CreateEventW(nullptr, FALSE, FALSE, nullptr));
    const std::uint64_t end =
        performanceMicroseconds() + static_cast<std::uint64_t>(2 * kSwitchBoundSeconds * 1e6);
    for (;;) {
      // Asked for before the read, so no change between the two is missed.
      if (key) {
        ::RegNotifyChangeKeyValue(key.get(), FALSE, REG_NOTIFY_CHANGE_LAST_SET, changed.get(),
                                  TRUE);
      }
      if (readNumber(kValueEnabled, 99) == value) return performanceMicroseconds();
      const std::uint64_t now = performanceMicroseconds();
      if (now >= end) return 0;
      ::WaitForSingleObject(
          changed.get(), static_cast<DWORD>(std::min<std::uint64_t>(100, (end - now) / 1000 + 1)));
    }
  }

  std::uint64_t sceneTime(double seconds) const {
    return sceneStart_ + static_cast<std::uint64_t>(seconds * 1e6);
  }

  const volatile MeterSection* meter() const {
    return static_cast<const volatile MeterSection*>(meter_.get());
  }
  // The newest complete records (the two newest may still be written).
  std::vector<MeterRecord> newestRecords(int count) const {
    const std::int32_t w = meter()->writeIndex;
    std::vector<MeterRecord> out;
    for (std::int32_t k = std::max(0, w - 1 - count); k < w - 1; ++k) {
      const volatile MeterRecord& r = meter()->records[meterRecordSlot(k)];
      out.push_back({r.inputLevel, r.outputLevel, r.status, {}});
    }
    return out;
  }

  // 1. The product installed from its folder; a headset appears.
  void installProduct() {
    const std::uint64_t at = performanceMicroseconds();
    const auto r = support::runChildToFile(quoted(stage_ + L"\\" + kServiceExeName) + L" install",
                                           kStepTimeoutMs);
    timeline_.add(at, "kestrune_service install (from the product folder)", r.out);
    ASSERT_EQ(r.exitCode, 0u) << r.out;
    ASSERT_TRUE(contains(r.out, "service running\n")) << r.out;

    createEndpoint(
        {kHeadsetId,
         1,
         L"Headphones",
         L"USB Headset",
         true,
         {textValue(kPropProcessingModesForStreaming,
                    std::wstring(L"{C18E2F7E-933D-4965-B7D1-1EEF228D2AF3}\0\0", 40), REG_MULTI_SZ),
          {L"{e4870e26-3cc5-4cd2-ba46-ca0a9a70ed04},0", REG_BINARY, {1, 2, 3, 4}}}});
    fxBefore_ = fxValues(kHeadsetId);
    ASSERT_TRUE(fxBefore_);
    timeline_.add("headset plugged in (fake endpoint " + wideToUtf8(kHeadsetId) + ")");
  }

  // 2. The effect attached to the headset; the audio service restarts.
  void attachToHeadset() {
    const std::string line = wideToUtf8(kHeadsetId) + "\tHeadphones (USB Headset)";
    EXPECT_TRUE(contains(ctl("endpoints"), line + "\n"));
    ASSERT_EQ(ctl("install " + wideToUtf8(kHeadsetId)), "ok\n");
    EXPECT_EQ(audioService_->starts(), 2u) << "Audiosrv restarted once";
    EXPECT_TRUE(contains(ctl("endpoints"), line + "\t[kestrune]\n"));
  }

  // 3. The audio engine plays the scene through the installed effect.
  void startAudioEngine() {
    ASSERT_EQ(ctl("set mode auto"), "ok\n");
    ASSERT_EQ(ctl("set wanted 1"), "ok\n");
    UniqueHandle section(::OpenFileMappingW(FILE_MAP_READ, FALSE, kMeterSectionName));
    ASSERT_TRUE(section) << "the service made no meter section";
    meter_.reset(::MapViewOfFile(section.get(), FILE_MAP_READ, 0, 0, kMeterSectionBytes));
    ASSERT_TRUE(meter_);
    const std::int32_t writtenBefore = meter()->writeIndex;

    ASSERT_TRUE(engine_.start(support::quotedBinPath(L"audio_engine_stand_in.exe") + L" " +
                              kHeadsetId + L" " + quoted(work_ + L"\\scene.wav") + L" " +
                              quoted(work_ + L"\\headset.wav") + L" " +
                              quoted(work_ + L"\\calls.txt") + L" " + kStopEventName));
    ASSERT_TRUE(waitUntil(
        [&] { return contains(engine_.output(), "locked") || !engine_.running(); }, 30.0, 10));
    sceneStart_ = performanceMicroseconds();
    const std::string said = engine_.output();
    timeline_.add("audio engine stand-in plays the listening scene on the headset", said);
    ASSERT_TRUE(engine_.running()) << said;
    const std::string dll = wideToUtf8(installFolder() + L"\\KestruneApo-");
    ASSERT_TRUE(contains(said, "loaded " + dll)) << "not the installed copy: " << said;

    // Before the game the meter is off: records come, with zeros.
    ASSERT_TRUE(
        waitUntil([&] { return meter()->writeIndex > writtenBefore + 60; }, kSwitchBoundSeconds));
    for (const MeterRecord& r : newestRecords(40)) {
      ASSERT_EQ(r.inputLevel + r.outputLevel + r.status, 0) << "meter records before the game";
    }
    timeline_.add("meter section: records every 5 ms, levels 0, status 0 (meter off)");
  }

  // Waits for `Enabled` = value after the game `event` ("started", "ended")
  // at `since`, puts it on the timeline and checks what status says; the
  // time it changed, 0 when it never did.
  std::uint64_t expectSwitch(std::uint32_t value, std::uint64_t since, const char* event) {
    const std::uint64_t at = waitForEnabled(value);
    EXPECT_NE(at, 0u) << "Enabled did not become " << value;
    if (at == 0) return 0;
    const double delay = Timeline::between(since, at);
    timeline_.add(at, format("Enabled = %u (%.2f s after the game %s)", value, delay, event));
    EXPECT_LT(delay, kSwitchBoundSeconds);
    const std::string status = ctl("status");
    const std::string flag = value ? "1\n" : "0\n";
    EXPECT_TRUE(contains(status, "game_running=" + flag)) << status;
    EXPECT_TRUE(contains(status, "processing=" + flag)) << status;
    return at;
  }

  // 4. The game starts: the effect switches on and processes.
  void startGame() {
    sleepUntil(sceneTime(kGameStartSceneSeconds));
    game_ = std::make_unique<support::RunningCopy>(L"game_stand_in.exe", L"TslGame.exe");
    gameStarted_ = performanceMicroseconds();
    ASSERT_TRUE(game_->running());
    timeline_.add(gameStarted_, "game starts: TslGame.exe");
    enabledOn_ = expectSwitch(1, gameStarted_, "started");
    ASSERT_NE(enabledOn_, 0u);
  }

  // 5. The meter records carry levels with the processor-playing bit.
  void meterCarriesLevels() {
    auto playing = [&] {
      const std::vector<MeterRecord> newest = newestRecords(1);
      return !newest.empty() && (newest[0].status & kStatusProcessorPlaying);
    };
    ASSERT_TRUE(waitUntil(playing, kSwitchBoundSeconds));
    timeline_.add("meter records carry levels, status bit 8 (a processor plays)");
    ::Sleep(250);
    for (const MeterRecord& r : newestRecords(40)) {
      EXPECT_TRUE(r.status & kStatusProcessorPlaying);
      EXPECT_GT(r.inputLevel, 0);
      EXPECT_GT(r.outputLevel, 0);
    }
  }

  // 5. The desktop app, started from Program Files as the player would,
  // forwards those records to its page and shows the state in the tray.
  void appShowsTheEffect() {
    tray_ = std::make_unique<support::TrayObserver>();
    webView_ = std::make_unique<support::FakeWebView>();  // before the app: it inherits the log
    const std::wstring appPath = installFolder() + L"\\" + kAppExeName;
    const std::vector<COLORREF> stateColours = trayStateColours(appPath);
    ASSERT_EQ(stateColours.size(), 4u);

    const std::uint64_t started = performanceMicroseconds();
    ASSERT_TRUE(app_.start(quoted(appPath)));
    timeline_.add(started, "desktop app starts from Program Files (the test web view beside it)");
    std::uint64_t meterAt = 0, formatAt = 0, trayAt = 0;
    auto shown = [&] {
      if (!meterAt || !formatAt) {
        const std::vector<std::string> messages = webView_->pageMessages();
        const std::uint64_t now = performanceMicroseconds();
        if (!meterAt && std::any_of(messages.begin(), messages.end(), meterMessageShowsProcessing))
          meterAt = now;
        if (!formatAt &&
            std::find(messages.begin(), messages.end(), kFormatMessage) != messages.end())
          formatAt = now;
      }
      if (!trayAt) {
        const std::vector<support::TrayEvent> events = tray_->events();
        const bool active = std::any_of(events.begin(), events.end(), [&](const auto& e) {
          return e.tip == kActiveTip && e.iconWidth > 0 &&
                 support::nearestColour(e.iconColour, stateColours) == 0;
        });
        if (active) trayAt = performanceMicroseconds();
      }
      return meterAt && formatAt && trayAt;
    };
    const bool done = waitUntil(shown, kAppBoundSeconds, 20);
    if (meterAt) {
      timeline_.add(meterAt, format("app's page gets meter records with levels and status bit 8 "
                                    "(%.2f s after the app started)",
                                    Timeline::between(started, meterAt)));
    }
    if (formatAt)
      timeline_.add(formatAt, std::string("app's page gets the format ") + kFormatMessage);
    if (trayAt) {
      timeline_.add(trayAt,
                    format("tray: red icon of state 0, tooltip \"%s\" (%.2f s after the "
                           "app started)",
                           wideToUtf8(kActiveTip).c_str(), Timeline::between(started, trayAt)));
    }
    EXPECT_TRUE(app_.running()) << app_.output();
    EXPECT_TRUE(meterAt) << "no meter records with status bit 8 reached the page";
    EXPECT_TRUE(formatAt) << "no format message reached the page";
    EXPECT_TRUE(trayAt) << "the tray never showed state 0 with the active tooltip";
    ASSERT_TRUE(done);
    timeline_.note(
        format("Desktop app: start -> meter records on its page %.2f s, -> tray state 0 "
               "%.2f s.",
               Timeline::between(started, meterAt), Timeline::between(started, trayAt)));
  }

  // The mean colours of the tray state icons 0 to 3 (resources 2 to 5) of
  // the app at `path`, at the tray's size.
  static std::vector<COLORREF> trayStateColours(const std::wstring& path) {
    std::vector<COLORREF> colours;
    HMODULE exe = ::LoadLibraryExW(path.c_str(), nullptr,
                                   LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    if (!exe) return colours;
    const int small = ::GetSystemMetrics(SM_CXSMICON);
    for (int id = 2; id <= 5; ++id) colours.push_back(support::iconResourceColour(exe, id, small));
    ::FreeLibrary(exe);
    return colours;
  }

  // 6. The game ends: the effect switches off and the sound fades back.
  void endGame() {
    sleepUntil(sceneTime(kGameEndSceneSeconds));
    game_->end();
    gameEnded_ = performanceMicroseconds();
    timeline_.add(gameEnded_, "game ends");
    enabledOff_ = expectSwitch(0, gameEnded_, "ended");
    ASSERT_NE(enabledOff_, 0u);

    // The meter goes off in the same watcher pass that starts the fade.
    auto meterOff = [&] {
      const std::vector<MeterRecord> newest = newestRecords(1);
      return !newest.empty() && newest[0].status == 0;
    };
    ASSERT_TRUE(waitUntil(meterOff, kSwitchBoundSeconds));
    ::Sleep(300);
    ::SetEvent(stopEngine_.get());
    const auto r = engine_.finish(30000);
    const std::size_t unlocked = r.out.find("unlocked");
    timeline_.add("audio engine stand-in stops the stream",
                  unlocked == std::string::npos ? r.out : r.out.substr(unlocked));
    ASSERT_EQ(r.exitCode, 0u) << r.out;
  }

  // 7. The product removed: the headset's effect properties as they were.
  void uninstallProduct() {
    const std::uint64_t at = performanceMicroseconds();
    const auto r = support::runChildToFile(
        quoted(installFolder() + L"\\" + kServiceExeName) + L" uninstall", kStepTimeoutMs);
    timeline_.add(at, "kestrune_service uninstall", r.out);
    EXPECT_EQ(r.exitCode, 0u);
    EXPECT_EQ(r.out, "uninstalled (endpoint restored, service and files removed)\n");
    // The uninstall ends the running app before it removes its files.
    const bool appEnded = waitUntil([&] { return !app_.running(); }, 5.0, 20);
    const bool appFileGone =
        ::GetFileAttributesW((installFolder() + L"\\" + kAppExeName).c_str()) ==
        INVALID_FILE_ATTRIBUTES;
    timeline_.add(appEnded && appFileGone ? "desktop app ended and removed by the uninstall"
                                          : "desktop app STILL THERE after the uninstall");
    EXPECT_TRUE(appEnded);
    EXPECT_TRUE(appFileGone);
    const bool same = sameValues(fxValues(kHeadsetId), fxBefore_);
    timeline_.add(same ? "headset FxProperties: byte for byte as before the attach"
                       : "headset FxProperties: CHANGED");
    EXPECT_TRUE(same);
  }

  // What the headset played, against the effect engine run offline.
  void headsetPlayedTheEngineOutput() {
    SoundBuffer played;
    std::string message;
    ASSERT_TRUE(loadFloatWav(work_ + L"\\headset.wav", played, message)) << message;
    std::vector<std::uint64_t> callTimes;
    std::ifstream calls(std::filesystem::path(work_ + L"\\calls.txt"));
    for (std::uint64_t k, at; calls >> k >> at;) callTimes.push_back(at);
    ASSERT_EQ(callTimes.size() * kPeriodFrames, played.frames());

    HeadsetAnalysis a;
    ASSERT_TRUE(analyseHeadsetOutput(scene_, played, kPeriodFrames, kNormal, a, message))
        << message;
    ASSERT_TRUE(a.onCall) << "the output never left the dry signal";
    ASSERT_TRUE(a.offCall) << "the output never left the processed signal";
    const std::uint64_t onAt = callTimes[*a.onCall], offAt = callTimes[*a.offCall];
    const double onDelay = Timeline::between(enabledOn_, onAt);
    const double offDelay = Timeline::between(enabledOff_, offAt);
    timeline_.add(onAt, format("first processed output: call %zu, %.1f ms after Enabled = 1; a "
                               "10 ms fade from the delayed dry signal to \"normal\"",
                               *a.onCall, onDelay * 1000));
    timeline_.add(offAt, format("output fades back to the dry signal: call %zu, %.1f ms after "
                                "Enabled = 0",
                                *a.offCall, offDelay * 1000));
    timeline_.note(
        format("Off-centre steps, level change against the scene: %+.1f dB before the "
               "game started (%zu steps), %+.1f dB after (%zu steps).",
               a.stepsBeforeDb, a.stepsBefore, a.stepsAfterDb, a.stepsAfter));
    timeline_.note(
        format("Headset output against the effect engine run offline with the same "
               "switch calls: largest difference %g over %zu calls of 10 ms.",
               a.maxDifference, callTimes.size()));
    timeline_.note(
        format("Delays: game start -> Enabled = 1 %.2f s, Enabled = 1 -> first "
               "processed output %.1f ms; game end -> Enabled = 0 %.2f s, Enabled = 0 "
               "-> dry again %.1f ms.",
               Timeline::between(gameStarted_, enabledOn_), onDelay * 1000,
               Timeline::between(gameEnded_, enabledOff_), offDelay * 1000));
    EXPECT_GT(onDelay, -kWakeOrderSeconds);
    EXPECT_LT(onDelay, kSwitchBoundSeconds);
    EXPECT_GT(offDelay, -kWakeOrderSeconds);
    EXPECT_LT(offDelay, kSwitchBoundSeconds);
    EXPECT_LE(a.maxDifference, 1e-6f);
    EXPECT_GT(a.stepsBefore, 0u);
    EXPECT_GT(a.stepsAfter, 0u);
    EXPECT_NEAR(a.stepsBeforeDb, 0.0, 0.05);
    EXPECT_GT(a.stepsAfterDb, a.stepsBeforeDb + 6.0);
  }

  std::vector<std::unique_ptr<ScopedRegistryKey>> keys_;
  std::unique_ptr<support::ScopedFakeAudioService> audioService_;
  std::wstring work_, stage_;
  DemoScene scene_;
  UniqueHandle stopEngine_;
  support::BackgroundChild engine_;
  std::unique_ptr<support::RunningCopy> game_;
  std::unique_ptr<support::TrayObserver> tray_;
  std::unique_ptr<support::FakeWebView> webView_;
  support::BackgroundChild app_;
  UniqueView meter_;
  std::optional<std::vector<support::RegistryValue>> fxBefore_;
  Timeline timeline_;
  std::uint64_t sceneStart_ = 0, gameStarted_ = 0, enabledOn_ = 0, gameEnded_ = 0, enabledOff_ = 0;
};

TEST_F(OneEvent, GameFadesTheHeadsetIntoTheEffectAndOutAgain) {
  timeline_.begin();
  ASSERT_NO_FATAL_FAILURE(installProduct());
  ASSERT_NO_FATAL_FAILURE(attachToHeadset());
  ASSERT_NO_FATAL_FAILURE(startAudioEngine());
  ASSERT_NO_FATAL_FAILURE(startGame());
  ASSERT_NO_FATAL_FAILURE(meterCarriesLevels());
  ASSERT_NO_FATAL_FAILURE(appShowsTheEffect());
  ASSERT_NO_FATAL_FAILURE(endGame());
  ASSERT_NO_FATAL_FAILURE(uninstallProduct());
  headsetPlayedTheEngineOutput();
}

}  // namespace
}  // namespace kestrune::e2e
