// The monitor notice's bytes and the error window under the scripted interface (both platforms).
#include <gtest/gtest.h>

#include "error_window.h"
#include "notify_monitor.h"
#include "platform/ui/scripted_ui.h"

using namespace veltrano;

TEST(MonitorNotice, BlockHoldsCp949TextAndCountsItsTerminator) {
  const auto open = lumadata::monitorBlock("TR_OPEN|");
  EXPECT_EQ(open.cbData, 9u);
  ASSERT_EQ(open.buffer.size(), 255u);
  EXPECT_EQ(open.buffer.substr(0, 9), std::string("TR_OPEN|\0", 9));
  EXPECT_EQ(open.buffer.find_first_not_of('\0', 8), std::string::npos);

  const auto korean = lumadata::monitorBlock("TR_ERR|1|가");
  EXPECT_EQ(korean.cbData, 12u);  // 9 ASCII bytes, two for 가, one for the terminator
  EXPECT_EQ(korean.buffer.substr(9, 2), "\xB0\xA1");
}

TEST(MonitorNotice, LongTextIsCutAtAWholeCharacter) {
  const auto block = lumadata::monitorBlock("a" + std::string(300, 'x'));
  EXPECT_EQ(block.cbData, 255u);
  EXPECT_EQ(block.buffer[254], '\0');
  std::string hangul;
  for (int i = 0; i < 200; ++i) hangul += "가";
  const auto cut = lumadata::monitorBlock("a" + hangul);  // 1 + 2k bytes: 253 fit, not 255
  EXPECT_EQ(cut.cbData, 254u);
  EXPECT_EQ(cut.buffer[253], '\0');
}

TEST(ErrorWindow, ScriptedRunRecordsTheWindowAndGoesOn) {
  ui::ScriptedUi scripted;
  ui::ScopedUi scope(scripted);
  lumadata::ShowErrorWindow("[에러번호] 1 : no such table");
  ASSERT_EQ(scripted.shown().size(), 1u);
  EXPECT_EQ(scripted.shown()[0].kind, "ErrorWindow");
  EXPECT_EQ(scripted.shown()[0].title, "오류 알림 [debug supporter]");
  EXPECT_EQ(scripted.shown()[0].text, "[에러번호] 1 : no such table");
}
