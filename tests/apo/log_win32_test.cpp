// The effect's diagnostic log file: what the module writes and how lines
// from several threads land in it.
#include <gtest/gtest.h>

#include <regex>

#include "apo/apo_log_win32.h"
#include "tests/apo/apo_host_win32.h"

namespace kestrune::test {
namespace {

std::vector<std::string> rawLines() {
  std::vector<std::string> out;
  const std::string all = ScopedLogFolder::text();
  std::size_t start = 0;
  for (std::size_t end; (end = all.find("\r\n", start)) != std::string::npos; start = end + 2)
    out.push_back(all.substr(start, end - start));
  EXPECT_EQ(start, all.size()) << "every line ends with CR LF";
  return out;
}

TEST(ApoLog, ModuleWritesItsEventsWithTimeAndProcessId) {
  ScopedSettings settings;
  ScopedLogFolder log;
  // A second copy of the module, so its load is seen with the folder present.
  const std::wstring copy = binDir() + L"KestruneApo_logcopy.dll";
  ASSERT_TRUE(::CopyFileW((binDir() + L"KestruneApo.dll").c_str(), copy.c_str(), FALSE));
  HMODULE loaded = ::LoadLibraryW(copy.c_str());
  ASSERT_NE(loaded, nullptr);
  ::FreeLibrary(loaded);
  ::DeleteFileW(copy.c_str());
  {
    Apo a = Apo::create(false);
    ASSERT_TRUE(a.apo);
    BYTE init[56] = {};
    a.apo->Initialize(sizeof(init), init);
    Connections bad(pcm16Format(2, 48000.0f), 480);
    EXPECT_EQ(bad.lock(a.config.get()), APOERR_FORMAT_NOT_SUPPORTED);
    Connections c(floatFormat(2, 44100.0f), 441);
    ASSERT_EQ(c.lock(a.config.get()), S_OK);
    a.config->UnlockForProcess();
    Connections wide(floatFormat(33, 48000.0f), 480);
    ASSERT_EQ(wide.lock(a.config.get()), S_OK);
    a.config->UnlockForProcess();
  }
  EffectEngine oracle;
  oracle.setup(StreamFormat{2, 44100.0, 4, true}, 441, 2);
  const std::vector<std::string> expected = {
      "DLL loaded",
      "CreateInstance aggregated=0",
      "Initialize cb=56",
      "LockForProcess base failed 0x887d0003",
      "LockForProcess ch=2 rate=44100 bytes=4 float=1 maxFrames=441 -> ACTIVE",
      "meter not available (error 2)",
      "locked: latency " + std::to_string(oracle.latencyFrames()) + " frames, source 2",
      "UnlockForProcess",
      "LockForProcess ch=33 rate=48000 bytes=4 float=1 maxFrames=480 -> pass-through",
      "UnlockForProcess",
  };
  std::vector<std::string> got = ScopedLogFolder::messages();
  // The watcher's line races the lock's last line; compare without it, then count it.
  auto withoutMeter = [](std::vector<std::string> v) {
    std::erase(v, std::string("meter not available (error 2)"));
    return v;
  };
  EXPECT_EQ(withoutMeter(got), withoutMeter(expected));
  EXPECT_GE(std::count(got.begin(), got.end(), "meter not available (error 2)"), 1);

  const std::regex prefix(R"(^\d\d:\d\d:\d\d\.\d\d\d pid (\d+)  \S.*$)");
  for (const std::string& line : rawLines()) {
    std::smatch m;
    ASSERT_TRUE(std::regex_match(line, m, prefix)) << line;
    EXPECT_EQ(std::stoul(m[1]), ::GetCurrentProcessId());
  }
}

TEST(ApoLog, LongMessagesAreCutTo510BytesBeforeCrLf) {
  ScopedLogFolder log;
  const std::string longText(600, 'x');
  apoLog("%s", longText.c_str());
  apoLog("%s", longText.substr(0, 10).c_str());
  const std::vector<std::string> lines = rawLines();
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0].size(), 510u);
  EXPECT_EQ(lines[0].back(), 'x');
  EXPECT_EQ(lines[1].substr(lines[1].size() - 12), "  xxxxxxxxxx");
}

TEST(ApoLog, LinesFromManyThreadsInterleaveWhole) {
  ScopedLogFolder log;
  constexpr int kThreads = 6, kLines = 60;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t)
    threads.emplace_back([t] {
      // Different lengths per thread make a torn or overlapping write visible.
      const std::string body(40 + t * 70, static_cast<char>('a' + t));
      for (int i = 0; i < kLines; ++i) apoLog("t%d %03d %s", t, i, body.c_str());
    });
  for (std::thread& t : threads) t.join();

  int perThread[kThreads] = {};
  const std::regex line(R"(^\d\d:\d\d:\d\d\.\d\d\d pid \d+  t(\d) (\d\d\d) ([a-z]+)$)");
  for (const std::string& l : rawLines()) {
    std::smatch m;
    ASSERT_TRUE(std::regex_match(l, m, line)) << l.substr(0, 80);
    const int t = std::stoi(m[1]);
    EXPECT_EQ(std::stoi(m[2]), perThread[t]) << "each thread's lines in order";
    EXPECT_EQ(m[3].str(), std::string(40 + t * 70, static_cast<char>('a' + t)));
    ++perThread[t];
  }
  for (int t = 0; t < kThreads; ++t) EXPECT_EQ(perThread[t], kLines);
}

TEST(ApoLog, MissingFolderWritesNothingAndChangesNothing) {
  ScopedSettings settings;
  ScopedLogFolder log(false);
  ASSERT_EQ(::GetFileAttributesW(kLogFolder), INVALID_FILE_ATTRIBUTES);
  ::SetLastError(1234);
  apoLog("nobody reads this %d", 1);
  EXPECT_EQ(::GetLastError(), 1234u);

  Apo a = Apo::create();
  ASSERT_TRUE(a.config);
  Connections c(floatFormat(2, 48000.0f), 480);
  ASSERT_EQ(c.lock(a.config.get()), S_OK);
  const std::vector<float> in = testSignal(480, 2, 1);
  std::vector<float> out(in.size());
  EXPECT_EQ(processBuffer(a.rt.get(), in.data(), out.data(), 480), BUFFER_VALID);
  EXPECT_EQ(a.config->UnlockForProcess(), S_OK);
  EXPECT_EQ(::GetFileAttributesW(kLogFolder), INVALID_FILE_ATTRIBUTES)
      << "the effect never creates it";
}

}  // namespace
}  // namespace kestrune::test
