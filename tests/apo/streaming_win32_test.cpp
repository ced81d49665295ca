// The effect object under a stream, as the audio engine drives it: output
// against the platform-free engine, the real-time rule, live settings.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>

#include "apo/selector_rule.h"
#include "tests/apo/apo_host_win32.h"

namespace kestrune::test {
namespace {

// Counts calls the DLL makes into the C runtime and the system while the
// test's streaming thread is inside APOProcess: the DLL's import table
// entries are pointed at counting stand-ins that then call the real thing.
struct RealTimeCounter {
  std::atomic<DWORD> thread{0};
  std::atomic<int> calls{0};
  std::atomic<int> allocations{0};
  std::atomic<bool> failAllocations{false};

  void start() {
    calls = 0;
    allocations = 0;
    thread = ::GetCurrentThreadId();
  }
  void stop() { thread = 0; }
  // True when the allocation should fail: only large ones (the engine's
  // buffers), so the runtime's own small needs, such as throwing, still work.
  bool note(bool allocates, size_t bytes = 0) {
    if (thread.load() != ::GetCurrentThreadId()) return false;
    ++calls;
    if (allocates) ++allocations;
    return allocates && failAllocations.load() && bytes >= 4096;
  }
};
RealTimeCounter counter;
// Change-notification requests the DLL makes, from any thread, and whether
// they are refused.
std::atomic<int> notifyRequests{0};
std::atomic<bool> refuseNotifications{false};

// Installed replacements and the originals they forward to.
void* (*realMalloc)(size_t);
void* (*realCalloc)(size_t, size_t);
void* (*realRealloc)(void*, size_t);
void (*realFree)(void*);
decltype(&::HeapAlloc) realHeapAlloc;
decltype(&::EnterCriticalSection) realEnterCriticalSection;
decltype(&::AcquireSRWLockExclusive) realAcquireSRWLockExclusive;
decltype(&::WaitForSingleObject) realWaitForSingleObject;
decltype(&::WaitForMultipleObjects) realWaitForMultipleObjects;
decltype(&::CreateFileW) realCreateFileW;
decltype(&::WriteFile) realWriteFile;
decltype(&::Sleep) realSleep;
decltype(&::CoTaskMemAlloc) realCoTaskMemAlloc;
decltype(&::RegNotifyChangeKeyValue) realRegNotifyChangeKeyValue;

void* countMalloc(size_t n) { return counter.note(true, n) ? nullptr : realMalloc(n); }
void* countCalloc(size_t a, size_t b) {
  return counter.note(true, a * b) ? nullptr : realCalloc(a, b);
}
void* countRealloc(void* p, size_t n) {
  return counter.note(true, n) ? nullptr : realRealloc(p, n);
}
void countFree(void* p) {
  counter.note(false);
  realFree(p);
}
LPVOID WINAPI countHeapAlloc(HANDLE h, DWORD f, SIZE_T n) {
  counter.note(true);
  return realHeapAlloc(h, f, n);
}
void WINAPI countEnterCriticalSection(LPCRITICAL_SECTION cs) {
  counter.note(false);
  realEnterCriticalSection(cs);
}
void WINAPI countAcquireSRWLockExclusive(PSRWLOCK l) {
  counter.note(false);
  realAcquireSRWLockExclusive(l);
}
DWORD WINAPI countWaitForSingleObject(HANDLE h, DWORD ms) {
  counter.note(false);
  return realWaitForSingleObject(h, ms);
}
DWORD WINAPI countWaitForMultipleObjects(DWORD n, const HANDLE* h, BOOL all, DWORD ms) {
  counter.note(false);
  return realWaitForMultipleObjects(n, h, all, ms);
}
HANDLE WINAPI countCreateFileW(LPCWSTR a, DWORD b, DWORD c, LPSECURITY_ATTRIBUTES d, DWORD e,
                               DWORD f, HANDLE g) {
  counter.note(false);
  return realCreateFileW(a, b, c, d, e, f, g);
}
BOOL WINAPI countWriteFile(HANDLE a, LPCVOID b, DWORD c, LPDWORD d, LPOVERLAPPED e) {
  counter.note(false);
  return realWriteFile(a, b, c, d, e);
}
void WINAPI countSleep(DWORD ms) {
  counter.note(false);
  realSleep(ms);
}
LPVOID WINAPI countCoTaskMemAlloc(SIZE_T n) {
  counter.note(true);
  return realCoTaskMemAlloc(n);
}

LSTATUS WINAPI countRegNotifyChangeKeyValue(HKEY key, BOOL subtree, DWORD filter, HANDLE event,
                                            BOOL async) {
  ++notifyRequests;
  counter.note(false);
  if (refuseNotifications.load()) return ERROR_ACCESS_DENIED;
  return realRegNotifyChangeKeyValue(key, subtree, filter, event, async);
}

struct Hook {
  const char* name;
  void* replacement;
  void** original;
};

// Rewrites the DLL's import address table; returns how many entries changed.
int hookImports(HMODULE module, const Hook* hooks, size_t count) {
  auto* base = reinterpret_cast<BYTE*>(module);
  auto* nt = reinterpret_cast<IMAGE_NT_HEADERS*>(
      base + reinterpret_cast<IMAGE_DOS_HEADER*>(base)->e_lfanew);
  const IMAGE_DATA_DIRECTORY& dir = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
  int changed = 0;
  for (auto* desc = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + dir.VirtualAddress);
       desc->Name; ++desc) {
    auto* names = reinterpret_cast<IMAGE_THUNK_DATA*>(base + desc->OriginalFirstThunk);
    auto* slots = reinterpret_cast<IMAGE_THUNK_DATA*>(base + desc->FirstThunk);
    for (; names->u1.AddressOfData; ++names, ++slots) {
      if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal)) continue;
      const char* name =
          reinterpret_cast<IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData)->Name;
      for (size_t h = 0; h < count; ++h) {
        if (std::strcmp(name, hooks[h].name) != 0) continue;
        DWORD old = 0;
        ::VirtualProtect(&slots->u1.Function, sizeof(void*), PAGE_READWRITE, &old);
        *hooks[h].original = reinterpret_cast<void*>(slots->u1.Function);
        slots->u1.Function = reinterpret_cast<ULONG_PTR>(hooks[h].replacement);
        ::VirtualProtect(&slots->u1.Function, sizeof(void*), old, &old);
        ++changed;
      }
    }
  }
  return changed;
}

void installCounters() {
  static const int installed = [] {
    const Hook hooks[] = {
        {"malloc", reinterpret_cast<void*>(&countMalloc), reinterpret_cast<void**>(&realMalloc)},
        {"calloc", reinterpret_cast<void*>(&countCalloc), reinterpret_cast<void**>(&realCalloc)},
        {"realloc", reinterpret_cast<void*>(&countRealloc), reinterpret_cast<void**>(&realRealloc)},
        {"free", reinterpret_cast<void*>(&countFree), reinterpret_cast<void**>(&realFree)},
        {"HeapAlloc", reinterpret_cast<void*>(&countHeapAlloc),
         reinterpret_cast<void**>(&realHeapAlloc)},
        {"EnterCriticalSection", reinterpret_cast<void*>(&countEnterCriticalSection),
         reinterpret_cast<void**>(&realEnterCriticalSection)},
        {"AcquireSRWLockExclusive", reinterpret_cast<void*>(&countAcquireSRWLockExclusive),
         reinterpret_cast<void**>(&realAcquireSRWLockExclusive)},
        {"WaitForSingleObject", reinterpret_cast<void*>(&countWaitForSingleObject),
         reinterpret_cast<void**>(&realWaitForSingleObject)},
        {"WaitForMultipleObjects", reinterpret_cast<void*>(&countWaitForMultipleObjects),
         reinterpret_cast<void**>(&realWaitForMultipleObjects)},
        {"CreateFileW", reinterpret_cast<void*>(&countCreateFileW),
         reinterpret_cast<void**>(&realCreateFileW)},
        {"WriteFile", reinterpret_cast<void*>(&countWriteFile),
         reinterpret_cast<void**>(&realWriteFile)},
        {"Sleep", reinterpret_cast<void*>(&countSleep), reinterpret_cast<void**>(&realSleep)},
        {"CoTaskMemAlloc", reinterpret_cast<void*>(&countCoTaskMemAlloc),
         reinterpret_cast<void**>(&realCoTaskMemAlloc)},
        {"RegNotifyChangeKeyValue", reinterpret_cast<void*>(&countRegNotifyChangeKeyValue),
         reinterpret_cast<void**>(&realRegNotifyChangeKeyValue)},
    };
    return hookImports(ApoModule::get().module, hooks, sizeof(hooks) / sizeof(hooks[0]));
  }();
  // The allocator, the locks, the waits and the file calls are all imported.
  ASSERT_GE(installed, 9);
}

// The oracle: the platform-free engine set up as the lock sets it up.
struct Oracle {
  EffectEngine engine;
  Oracle(const AudioFormat& f, UINT32 maxFrames, std::int32_t selector) {
    EXPECT_TRUE(
        engine.setup(StreamFormat{f.channels, f.framesPerSecond, 4, true}, maxFrames, selector));
    engine.syncTargetToCurrent();
    engine.setTargetSelector(selector);
  }
};

struct StreamCase {
  const char* name;
  AudioFormat format;
  UINT32 maxFrames;
  DWORD intensity;
};

// Negotiates the format, then locks twice, each time playing hundreds of
// periods and comparing every output with the engine's own.
void playAgainstEngine(Apo& a, const StreamCase& sc) {
  ComPtr<IAudioMediaType> requested = mediaType(sc.format);
  ComPtr<IAudioMediaType> input, output;
  ASSERT_EQ(a.apo->IsInputFormatSupported(nullptr, requested.get(), input.put()), S_OK);
  ASSERT_EQ(a.apo->IsOutputFormatSupported(input.get(), requested.get(), output.put()), S_OK);
  for (int lock = 0; lock < 2; ++lock) {
    Connections c(sc.format, sc.maxFrames);
    c.in.pFormat = input.get();
    c.out.pFormat = output.get();
    ASSERT_EQ(c.lock(a.config.get()), S_OK);
    Oracle oracle(sc.format, sc.maxFrames, static_cast<std::int32_t>(sc.intensity));
    for (UINT32 call = 0; call < 300; ++call) {
      // Full periods, short ones, a silent one, an invalid one (its garbage
      // plays as silence) and one too long for the lock (its frames past the
      // lock's maximum are neither read nor written).
      UINT32 frames = call % 7 == 3 ? sc.maxFrames / 3 : sc.maxFrames;
      if (call == 250) frames = sc.maxFrames + 1;
      const APO_BUFFER_FLAGS flags = call % 50 == 10   ? BUFFER_SILENT
                                     : call % 50 == 20 ? BUFFER_INVALID
                                                       : BUFFER_VALID;
      std::vector<float> in = testSignal(frames, sc.format.channels, call + 1000 * lock);
      if (flags == BUFFER_INVALID) std::fill(in.begin(), in.end(), std::nanf(""));
      std::vector<float> got(in.size()), want(in.size());
      const UINT32 played = std::min(frames, sc.maxFrames);
      const APO_BUFFER_FLAGS gotFlags =
          processBuffer(a.rt.get(), in.data(), got.data(), frames, flags, played);
      const bool processed =
          oracle.engine.process(in.data(), want.data(), played, flags != BUFFER_VALID);
      ASSERT_EQ(gotFlags, processed ? BUFFER_VALID : flags) << "call " << call;
      ASSERT_EQ(got, want) << "call " << call;
    }
    // In place, as the audio engine may run it.
    std::vector<float> buffer = testSignal(sc.maxFrames, sc.format.channels, 77);
    std::vector<float> want(buffer.size());
    oracle.engine.process(buffer.data(), want.data(), sc.maxFrames, false);
    processBuffer(a.rt.get(), buffer.data(), buffer.data(), sc.maxFrames);
    EXPECT_EQ(buffer, want);
    EXPECT_EQ(a.config->UnlockForProcess(), S_OK);
  }
}

TEST(ApoStreaming, OutputEqualsTheEngineAcrossLocks) {
  const StreamCase cases[] = {
      {"stereo 48 kHz", floatFormat(2, 48000.0f), 480, 3},
      {"mono 44.1 kHz", floatFormat(1, 44100.0f), 441, 1},
      {"5.1 at 48 kHz", floatFormat(6, 48000.0f), 512, 2},
  };
  ScopedSettings settings;
  for (const StreamCase& sc : cases) {
    SCOPED_TRACE(sc.name);
    settings.set(kValueIntensity, sc.intensity);
    Apo a = Apo::create();
    ASSERT_TRUE(a.config);
    playAgainstEngine(a, sc);
  }
}

TEST(ApoStreaming, RegisteredClassPlaysThroughCoCreateInstance) {
  const std::wstring clsidKey = std::wstring(L"SOFTWARE\\Classes\\CLSID\\") + kEffectClsidTextW;
  ScopedRegistryKey saved(HKEY_LOCAL_MACHINE, clsidKey);
  setString(HKEY_LOCAL_MACHINE, clsidKey, L"", L"Kestrune");
  setString(HKEY_LOCAL_MACHINE, clsidKey + L"\\InprocServer32", L"", binDir() + L"KestruneApo.dll");
  setString(HKEY_LOCAL_MACHINE, clsidKey + L"\\InprocServer32", L"ThreadingModel", L"Both");
  ScopedSettings settings;

  ASSERT_TRUE(SUCCEEDED(::CoInitializeEx(nullptr, COINIT_MULTITHREADED)));
  {
    ComPtr<IAudioProcessingObject> created;
    ASSERT_EQ(::CoCreateInstance(kEffectClsid, nullptr, CLSCTX_INPROC_SERVER,
                                 IID_IAudioProcessingObject, created.putVoid()),
              S_OK);
    Apo a = Apo::adopt(created);
    created.reset();
    ASSERT_TRUE(a.config);
    playAgainstEngine(a, {"stereo 48 kHz", floatFormat(2, 48000.0f), 480, kDefaultIntensity});
  }
  ::CoUninitialize();
}

TEST(ApoStreaming, ProcessingAllocatesLocksAndLogsNothing) {
  installCounters();
  ScopedSettings settings;
  settings.set(kValueMeter, 1);
  ScopedLogFolder log;
  UniqueHandle section = createMeterSection(0x1234);
  ASSERT_TRUE(section);
  Apo a = Apo::create();
  ASSERT_TRUE(a.config);
  Connections c(floatFormat(2, 48000.0f), 480);
  ASSERT_EQ(c.lock(a.config.get()), S_OK);
  ASSERT_TRUE(waitUntil([] { return ScopedLogFolder::count("meter connected") == 1; }, 3000));
  const std::vector<char> logBefore = ScopedLogFolder::contents();

  const std::vector<float> in = testSignal(480, 2, 5);
  std::vector<float> out(in.size());
  counter.start();
  for (int call = 0; call < 400; ++call)
    processBuffer(a.rt.get(), in.data(), out.data(), call % 2 ? 480 : 100,
                  call % 9 ? BUFFER_VALID : BUFFER_SILENT);
  counter.stop();
  EXPECT_EQ(counter.allocations.load(), 0);
  EXPECT_EQ(counter.calls.load(), 0) << "no locks, waits or file calls either";
  EXPECT_EQ(ScopedLogFolder::contents(), logBefore);

  // The counters do see what the DLL does on other calls.
  counter.start();
  EXPECT_EQ(a.config->UnlockForProcess(), S_OK);
  counter.stop();
  EXPECT_GT(counter.calls.load(), 0);
}

TEST(ApoStreaming, LockOutOfMemoryFailsAndLeavesTheObjectLockable) {
  installCounters();
  ScopedSettings settings;
  ScopedLogFolder log;
  Apo a = Apo::create();
  ASSERT_TRUE(a.config);
  Connections c(floatFormat(2, 48000.0f), 480);
  counter.failAllocations = true;
  counter.start();
  const HRESULT hr = c.lock(a.config.get());
  counter.stop();
  counter.failAllocations = false;
  ASSERT_GT(counter.allocations.load(), 0);
  EXPECT_EQ(hr, E_OUTOFMEMORY);
  HNSTIME latency = -1;
  EXPECT_EQ(a.apo->GetLatency(&latency), S_OK);
  EXPECT_EQ(latency, 0);

  ASSERT_EQ(c.lock(a.config.get()), S_OK);
  Oracle oracle(floatFormat(2, 48000.0f), 480, kDefaultIntensity);
  const std::vector<float> in = testSignal(480, 2, 3);
  std::vector<float> got(in.size()), want(in.size());
  EXPECT_EQ(processBuffer(a.rt.get(), in.data(), got.data(), 480), BUFFER_VALID);
  oracle.engine.process(in.data(), want.data(), 480, false);
  EXPECT_EQ(got, want);
  EXPECT_EQ(a.config->UnlockForProcess(), S_OK);
}

// Engines playing each selector steadily, fed the same input as the object:
// its output shows which paths it plays (a bit per selector; presets may
// agree on a quiet signal), and a fade shows as none.
struct PathProbe {
  IAudioProcessingObjectRT* rt;
  AudioFormat format = floatFormat(2, 48000.0f);
  Oracle plays[4] = {{format, 480, 0}, {format, 480, 1}, {format, 480, 2}, {format, 480, 3}};
  UINT32 call = 0;

  unsigned step() {
    const std::vector<float> in = testSignal(480, 2, call++);
    std::vector<float> got(in.size());
    processBuffer(rt, in.data(), got.data(), 480);
    unsigned playing = 0;
    for (int s = 0; s < 4; ++s) {
      std::vector<float> want(in.size());
      plays[s].engine.process(in.data(), want.data(), 480, false);
      if (want == got) playing |= 1u << s;
    }
    return playing;
  }
  // Plays until the output is path `selector` alone among {0, 1, selector}.
  bool reaches(int selector, int timeoutMs) {
    const unsigned others = (0b0011u | (1u << selector)) & ~(1u << selector);
    return waitUntil(
        [&] {
          const unsigned p = step();
          return (p & (1u << selector)) && !(p & others);
        },
        timeoutMs);
  }
};

TEST(ApoStreaming, LiveSettingsReachTheStreamWithinOnePass) {
  ScopedSettings settings;
  settings.set(kValueIntensity, 1);
  installCounters();
  Apo a = Apo::create();
  ASSERT_TRUE(a.config);
  Connections c(floatFormat(2, 48000.0f), 480);
  notifyRequests = 0;
  ASSERT_EQ(c.lock(a.config.get()), S_OK);
  PathProbe probe{a.rt.get()};
  for (int i = 0; i < 20; ++i)
    ASSERT_EQ(probe.step() & 0b1010u, 0b0010u) << "light, not strong: " << i;
  // Passes woken by the time-out keep the pending request: each further one
  // would be another wait held by the system until the key changes.
  ::Sleep(2100);
  EXPECT_EQ(notifyRequests.load(), 1) << "one request while the key stays unchanged";

  settings.set(kValueIntensity, 3);
  // The watcher wakes on the change; the stream sees it within about a pass.
  const auto changed = std::chrono::steady_clock::now();
  unsigned seen = 0b0010;
  while ((seen & 0b0010) &&
         std::chrono::steady_clock::now() - changed < std::chrono::milliseconds(1500)) {
    seen = probe.step();
    ::Sleep(2);
  }
  // A 10 ms fade: the first 480-frame call after the change is a mix of
  // both, the next ones play "strong".
  EXPECT_EQ(seen, 0u) << "the change starts with a cross-fade";
  EXPECT_TRUE(probe.step() & 0b1000u);
  EXPECT_GE(notifyRequests.load(), 2) << "asked again once the change fired";

  settings.set(kValueEnabled, 0);
  EXPECT_TRUE(probe.reaches(0, 1500)) << "Enabled 0 fades to the dry signal";

  // The key goes away and comes back: defaults, then the key opened again.
  settings.erase();
  EXPECT_TRUE(probe.reaches(2, 3000)) << "a missing key means the defaults";
  settings.set(kValueIntensity, 1);
  EXPECT_TRUE(probe.reaches(1, 3000)) << "the re-created key is followed";
  EXPECT_EQ(a.config->UnlockForProcess(), S_OK);
}

TEST(ApoStreaming, RefusedChangeNotificationsStillPlayThePlayersSettings) {
  // Without notifications the 1 s wake-up keeps the values current, and each
  // pass must read the player's values: the defaults would switch the effect
  // on (selector 2) although the player has it off.
  ScopedSettings settings;
  settings.set(kValueEnabled, 0);
  installCounters();
  refuseNotifications = true;
  Apo a = Apo::create();
  ASSERT_TRUE(a.config);
  Connections c(floatFormat(2, 48000.0f), 480);
  ASSERT_EQ(c.lock(a.config.get()), S_OK);
  PathProbe probe{a.rt.get()};
  for (int step = 0; step < 30; ++step) {
    ::Sleep(100);  // about three watcher passes in all
    ASSERT_EQ(probe.step() & 0b1011u, 0b0001u) << "dry, as set, at step " << step;
  }
  settings.set(kValueEnabled, 1);
  settings.set(kValueIntensity, 1);
  EXPECT_TRUE(probe.reaches(1, 2500)) << "followed through the wake-up";
  settings.set(kValueEnabled, 0);
  EXPECT_TRUE(probe.reaches(0, 2500)) << "switched off through the wake-up";
  EXPECT_EQ(a.config->UnlockForProcess(), S_OK);
  refuseNotifications = false;
}

TEST(ApoStreaming, InitialSelectorComesFromTheSettingsAtLock) {
  const struct {
    bool keyPresent;
    DWORD enabled, intensity;
    std::int32_t expected;
  } cases[] = {{false, 0, 0, 2}, {true, 1, 0, 1}, {true, 1, 7, 3}, {true, 0, 3, 0}};
  for (const auto& k : cases) {
    ScopedSettings settings;
    if (k.keyPresent) {
      settings.set(kValueEnabled, k.enabled);
      settings.set(kValueIntensity, k.intensity);
    }
    ScopedLogFolder log;
    Apo a = Apo::create();
    ASSERT_TRUE(a.config);
    Connections c(floatFormat(2, 48000.0f), 480);
    ASSERT_EQ(c.lock(a.config.get()), S_OK);
    EffectEngine oracle;
    oracle.setup(StreamFormat{}, 480, 0);
    const std::string expected = "locked: latency " + std::to_string(oracle.latencyFrames()) +
                                 " frames, source " + std::to_string(k.expected);
    EXPECT_EQ(ScopedLogFolder::count(expected), 1) << ScopedLogFolder::text();
    EXPECT_EQ(a.config->UnlockForProcess(), S_OK);
  }
}

}  // namespace
}  // namespace kestrune::test
