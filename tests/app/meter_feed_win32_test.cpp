// The meter feed reads a section the test writes and posts to the page.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "common/handles_win32.h"
#include "common/meter_layout.h"
#include "tests/app/app_test_win32.h"

namespace kestrune::test {
namespace {

std::string records(int first, int end) {
  std::string out = "{\"meter\":[";
  for (int n = first; n < end; ++n) {
    if (n != first) out += ',';
    out += '[';
    out += std::to_string(n);
    out += ',';
    out += std::to_string(n + 7);
    out += ',';
    out += std::to_string(n % 16);
    out += ']';
  }
  return out + "]}";
}

bool posted(const FakeWebView& fake, const std::string& message) {
  return fake.waitFor([&](const auto&) {
    for (const std::string& m : fake.pageMessages()) {
      if (m == message) return true;
    }
    return false;
  });
}

TEST_F(AppTest, MeterAndFormatMessagesComeFromTheSection) {
  FakeWebView fake;
  AppFolder app;
  ASSERT_TRUE(app.start());
  ASSERT_TRUE(pageLoaded(fake));

  // Created once the web view exists, so that the first tick that finds it
  // posts the history instead of consuming it unseen.
  UniqueHandle section(::CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                            kMeterSectionBytes, kMeterSectionName));
  ASSERT_TRUE(section);
  UniqueView view(::MapViewOfFile(section.get(), FILE_MAP_WRITE, 0, 0, kMeterSectionBytes));
  ASSERT_TRUE(view);
  auto* meter = static_cast<MeterSection*>(view.get());
  auto writeUpTo = [&](int index) {
    for (int n = index - 2048 < 0 ? 0 : index - 2048; n < index; ++n) {
      meter->records[meterRecordSlot(n)] = {static_cast<std::uint16_t>(n),
                                            static_cast<std::uint16_t>(n + 7),
                                            static_cast<std::uint8_t>(n % 16),
                                            {}};
    }
    meter->writeIndex = index;
  };
  meter->instanceId = 77;
  meter->sampleRate = 48000;
  meter->channels = 2;
  meter->state = kMeterStateActive;
  writeUpTo(5000);
  std::memcpy(meter->magic, kMeterMagic, 4);

  EXPECT_TRUE(posted(fake, records(3400, 4998)));
  EXPECT_TRUE(posted(fake, "{\"fmt\":[48000,2,1]}"));
  writeUpTo(5010);
  EXPECT_TRUE(posted(fake, records(4998, 5008)));
}

}  // namespace
}  // namespace kestrune::test
