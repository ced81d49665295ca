// Heap payloads handed from workers to the window procedure.
#include "app/app_messages_win32.h"

#include <gtest/gtest.h>

#include <memory>

namespace kestrune::app {
namespace {

struct Probe {
  explicit Probe(int* freed) : freed(freed) {}
  ~Probe() { ++*freed; }
  int* freed;
};

TEST(AppMessages, PayloadOfAFailedPostIsFreedAndOfAGoodOneAdopted) {
  int freed = 0;
  HWND window =
      ::CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
  ASSERT_TRUE(window);
  ASSERT_TRUE(postOwned(window, kMsgPageJson, 0, std::make_unique<Probe>(&freed)));
  EXPECT_EQ(freed, 0);
  MSG message;
  ASSERT_TRUE(::PeekMessageW(&message, window, kMsgPageJson, kMsgPageJson, PM_REMOVE));
  adoptPosted<Probe>(message.lParam).reset();
  EXPECT_EQ(freed, 1);

  ::DestroyWindow(window);
  EXPECT_FALSE(postOwned(window, kMsgPageJson, 0, std::make_unique<Probe>(&freed)));
  EXPECT_EQ(freed, 2);
}

}  // namespace
}  // namespace kestrune::app
