// WM_COPYDATA on Windows: a window found by its title gets the bytes and answers the sender.
#include <gtest/gtest.h>

#include <future>
#include <thread>

#include "platform/winmsg/winmsg.h"

namespace veltrano::winmsg {
namespace {

TEST(Win32WindowMessages, CopyDataReachesTheWindowFoundByItsTitleAndItsAnswerComesBack) {
  const std::string title = "(주)라움트랜스 test window";
  CopyData got;
  auto endpoint = Endpoint::create(title, [&](const CopyData& m) {
    got = m;
    return std::int64_t{77};
  });
  ASSERT_TRUE(endpoint);
  EXPECT_TRUE(findWindow(title));
  EXPECT_FALSE(Endpoint::create(title, {}));  // the title is taken
  EXPECT_FALSE(findWindow(title + " (none)"));

  const std::vector<std::uint8_t> buffer{'a', 'b', 'c', 'd', 'e'};
  auto sent = std::async(std::launch::async, [&] { return sendCopyData(title, 9, 3, 4, buffer); });
  for (int i = 0; i < 50 && got.buffer.empty(); ++i) endpoint->service(100);
  EXPECT_EQ(sent.get(), std::optional<std::int64_t>(77));
  EXPECT_EQ(got.wParam, 9u);
  EXPECT_EQ(got.dwData, 3u);
  EXPECT_EQ(got.cbData, 4u);
  EXPECT_EQ(got.buffer, (std::vector<std::uint8_t>{'a', 'b', 'c', 'd'}));  // cbData bytes, as Windows copies them

  endpoint.reset();
  EXPECT_FALSE(findWindow(title));
  EXPECT_EQ(sendCopyData(title, 0, 0, 0, {}), std::nullopt);
}

}  // namespace
}  // namespace veltrano::winmsg
