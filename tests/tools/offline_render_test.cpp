#include "tools/offline_render.h"

#include <gtest/gtest.h>
#include <sndfile.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "tools/demo_scene.h"
#include "tools/render_cli.h"
#include "tools/sound_file.h"

namespace kestrune {
namespace {

namespace fs = std::filesystem;

std::vector<float> ramp(std::size_t values) {
  std::vector<float> v(values);
  for (std::size_t i = 0; i < values; ++i)
    v[i] = static_cast<float>((i * 37) % 1000) / 1000.0f - 0.5f;
  return v;
}

TEST(RenderCommand, ParsesWordsAndRejectsMistakes) {
  struct Case {
    std::vector<std::string> words;
    bool ok;
    std::int32_t selector;
    std::uint32_t period;
    bool report;
  };
  const Case cases[] = {
      {{"in.wav", "out.wav"}, true, 2, 0, false},
      {{"in.wav", "out.wav", "--intensity", "dry", "--report"}, true, 0, 0, true},
      {{"--period", "480", "in.wav", "--intensity", "strong", "out.wav"}, true, 3, 480, false},
      {{"in.wav", "out.wav", "--intensity", "light"}, true, 1, 0, false},
      {{"in.wav"}, false, 0, 0, false},
      {{"a", "b", "c"}, false, 0, 0, false},
      {{"in.wav", "out.wav", "--intensity", "Normal"}, false, 0, 0, false},
      {{"in.wav", "out.wav", "--intensity"}, false, 0, 0, false},
      {{"in.wav", "out.wav", "--period", "0"}, false, 0, 0, false},
      {{"in.wav", "out.wav", "--period", "12x"}, false, 0, 0, false},
      {{"in.wav", "out.wav", "--period", "-5"}, false, 0, 0, false},
      {{"in.wav", "out.wav", "--period", "99999999999"}, false, 0, 0, false},
      {{"in.wav", "out.wav", "--loud"}, false, 0, 0, false},
  };
  for (const Case& c : cases) {
    RenderCommand command;
    std::string message;
    const bool ok = parseRenderCommand(c.words, command, message);
    EXPECT_EQ(ok, c.ok) << ::testing::PrintToString(c.words) << " " << message;
    if (!ok || !c.ok) {
      EXPECT_FALSE(message.empty());
      continue;
    }
    EXPECT_EQ(command.settings.selector, c.selector);
    EXPECT_EQ(command.settings.periodFrames, c.period);
    EXPECT_EQ(command.report, c.report);
  }
}

TEST(OfflineRender, DryIsTheInputDelayedAndUnsupportedStreamsPassThrough) {
  struct Case {
    std::uint32_t channels;
    double rate;
    std::int32_t selector;
    bool active;
    std::int32_t latency;
    std::uint32_t period;
  };
  const Case cases[] = {
      {2, 48000.0, 0, true, 336, 480}, {1, 44100.0, 0, true, 352, 441},
      {6, 96000.0, 0, true, 672, 960}, {33, 48000.0, 2, false, 0, 480},
      {2, 4000.0, 3, false, 0, 40},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.channels << " channels at " << c.rate);
    const std::size_t frames = 5000;
    const auto in = ramp(frames * c.channels);
    std::vector<float> out(in.size());
    RenderReport report;
    ASSERT_TRUE(renderThroughEngine(in.data(), out.data(), frames, c.channels, c.rate,
                                    RenderSettings{c.selector, 0}, report));
    EXPECT_EQ(report.active, c.active);
    EXPECT_EQ(report.latencyFrames, c.latency);
    EXPECT_EQ(report.periodFrames, c.period);
    EXPECT_EQ(report.calls, (frames + c.period - 1) / c.period);
    for (std::size_t k = 0; k < out.size(); ++k) {
      const std::size_t shift = std::size_t(c.latency) * c.channels;
      ASSERT_EQ(out[k], k < shift ? 0.0f : in[k - shift]) << k;
    }
    EXPECT_EQ(report.callsWithStatus[3], 0u);
  }
}

class RenderFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("kestrune_render_test_" +
            std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }

  std::string path(const char* name) const { return (dir_ / name).string(); }

  int run(std::vector<std::string> words) {
    out_.str("");
    err_.str("");
    return runRenderCommand(words, out_, err_);
  }

  fs::path dir_;
  std::ostringstream out_;
  std::ostringstream err_;
};

TEST_F(RenderFiles, RendersA16BitFileToFloatOfTheSameShape) {
  SF_INFO info{};
  info.channels = 3;
  info.samplerate = 44100;
  info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
  SNDFILE* file = sf_open(path("in.wav").c_str(), SFM_WRITE, &info);
  ASSERT_NE(file, nullptr);
  const auto in = ramp(3 * 10000);
  ASSERT_EQ(sf_writef_float(file, in.data(), 10000), 10000);
  sf_close(file);

  ASSERT_EQ(run({path("in.wav"), path("out.wav"), "--intensity", "dry", "--report"}), 0)
      << err_.str();
  EXPECT_NE(out_.str().find("latency: 352 frames"), std::string::npos) << out_.str();
  EXPECT_NE(out_.str().find("mode: active"), std::string::npos);

  SoundBuffer source, rendered;
  std::string message;
  ASSERT_TRUE(readSoundFile(path("in.wav"), source, message));
  ASSERT_TRUE(readSoundFile(path("out.wav"), rendered, message));
  EXPECT_EQ(rendered.channels, 3u);
  EXPECT_EQ(rendered.sampleRate, 44100.0);
  ASSERT_EQ(rendered.frames(), 10000u);
  // --period defaults to 441 here, not a whole number of 44-frame blocks.
  for (std::size_t k = 3 * 352; k < rendered.samples.size(); ++k) {
    ASSERT_EQ(rendered.samples[k], source.samples[k - 3 * 352]) << k;
  }
  EXPECT_FALSE(fs::exists(path("out.wav.part")));
}

TEST_F(RenderFiles, UnreadableInputFailsWithOneLineAndLeavesNoFile) {
  std::ofstream(path("notes.wav")) << "not a sound file\n";
  struct Case {
    std::string input;
    std::string output;
  };
  const Case cases[] = {
      {path("notes.wav"), path("out.wav")},
      {path("missing.wav"), path("out.wav")},
      {path("notes.wav"), path("no/such/dir/out.wav")},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(run({c.input, c.output}), 1);
    const std::string err = err_.str();
    EXPECT_EQ(err.rfind("kestrune_render: ", 0), 0u) << err;
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
    EXPECT_FALSE(fs::exists(c.output));
    EXPECT_FALSE(fs::exists(c.output + ".part"));
  }
  // A readable input into a folder that does not exist: nothing appears either.
  SoundBuffer sound{2, 48000.0, ramp(2 * 100)};
  std::string message;
  ASSERT_TRUE(writeFloatWav(path("ok.wav"), sound, message));
  EXPECT_EQ(run({path("ok.wav"), path("no/such/dir/out.wav")}), 1);
  EXPECT_FALSE(fs::exists(path("no")));
}

TEST_F(RenderFiles, RefusesAnOutputThatIsTheInputFileAndLeavesBothUntouched) {
  SoundBuffer sound{2, 48000.0, ramp(2 * 100)};
  std::string message;
  ASSERT_TRUE(writeFloatWav(path("take.wav"), sound, message));
  fs::create_hard_link(path("take.wav"), path("hard.wav"));
  fs::create_symlink(path("take.wav"), path("soft.wav"));
  // OUT is first written as OUT.part, so that name counts too.
  fs::create_hard_link(path("take.wav"), path("out.wav.part"));
  const fs::path cwd = fs::current_path();
  fs::current_path(dir_);
  const std::pair<std::string, std::string> cases[] = {
      {"take.wav", "take.wav"}, {"take.wav", "./take.wav"}, {path("take.wav"), "take.wav"},
      {"take.wav", "hard.wav"}, {"soft.wav", "take.wav"},   {"take.wav", "out.wav"},
  };
  for (const auto& [in, out] : cases) {
    EXPECT_EQ(run({in, out}), 1) << in << " " << out;
    EXPECT_NE(err_.str().find("nothing was written"), std::string::npos) << err_.str();
  }
  fs::current_path(cwd);
  SoundBuffer after;
  ASSERT_TRUE(readSoundFile(path("take.wav"), after, message));
  EXPECT_EQ(after.samples, sound.samples);
  EXPECT_FALSE(fs::exists(path("out.wav")));
}

TEST(RenderCommand, HelpPrintsUsageAndEveryOptionAndSucceeds) {
  for (const char* word : {"--help", "-h"}) {
    std::ostringstream out, err;
    EXPECT_EQ(runRenderCommand({"in.wav", word}, out, err), 0);
    EXPECT_EQ(out.str().rfind("usage: kestrune_render IN OUT", 0), 0u) << out.str();
    for (const char* option : {"--intensity", "--period", "--report", "-h, --help"})
      EXPECT_NE(out.str().find("\n  " + std::string(option)), std::string::npos) << option;
    EXPECT_TRUE(err.str().empty());
  }
}

TEST(DemoScene, IsDeterministicAndTheEffectMovesEachClassTheRightWay) {
  const DemoScene a = makeDemoScene();
  const DemoScene b = makeDemoScene();
  ASSERT_EQ(a.sound.samples, b.sound.samples);
  ASSERT_FALSE(a.events.empty());
  for (const DemoEvent& e : a.events) EXPECT_LE(e.startFrame + e.lengthFrames, a.sound.frames());

  DemoLevels bySelector[4];
  for (std::int32_t selector = 0; selector < 4; ++selector) {
    std::vector<float> out(a.sound.samples.size());
    RenderReport report;
    ASSERT_TRUE(renderThroughEngine(a.sound.samples.data(), out.data(), a.sound.frames(), 2,
                                    a.sound.sampleRate, RenderSettings{selector, 0}, report));
    bySelector[selector] = measureDemoLevels(a, out, report.latencyFrames);
  }
  EXPECT_NEAR(bySelector[0].offCentreStepsDb, 0.0, 1e-9);
  EXPECT_NEAR(bySelector[0].burstsDb, 0.0, 1e-9);
  for (std::int32_t selector = 1; selector < 4; ++selector) {
    SCOPED_TRACE(selector);
    const DemoLevels& l = bySelector[selector];
    EXPECT_GT(l.offCentreStepsDb, 3.0);                     // quiet off-centre steps come forward
    EXPECT_GT(l.offCentreStepsDb, l.centredStepsDb + 5.0);  // own steps are held back
    EXPECT_LT(l.burstsDb, -3.0);                            // loud moments are held in check
    EXPECT_LE(l.outputPeakDbfs, -1.0);
  }
}

}  // namespace
}  // namespace kestrune
