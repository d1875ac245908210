// Environment variables on Windows carry text outside the ANSI code page (949 here) intact into
// the deployment settings and the unattended user interface, including a log file named in it.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "platform/deploy/deploy.h"
#include "platform/runtime/environment.h"
#include "platform/ui/scripted_ui.h"
#include "support/test_support.h"

namespace veltrano {
namespace {

std::filesystem::path fromUtf8(const std::string& s) { return std::filesystem::path(std::u8string(s.begin(), s.end())); }

TEST(EnvironmentWin32, TextOutsideTheCodePageReachesTheSettingsAndTheUnattendedBoxes) {
  const std::string text = "타르빅 ő";  // Korean, and a letter code page 949 lacks
  test::TempDir dir;
  const std::string log = dir.path().string() + "\\" + text + ".log";
  test::ScopedEnv drive("VELTRANO_DRIVE_C", "D:\\" + text);
  test::ScopedEnv answers("VELTRANO_ANSWERS", "Input:" + text);
  test::ScopedEnv uiLog("VELTRANO_UI_LOG", log);

  EXPECT_EQ(environmentVariable("VELTRANO_DRIVE_C"), "D:\\" + text);
  EXPECT_EQ(deploy::find("DRIVE_C"), "D:\\" + text);
  EXPECT_EQ(environmentVariable("VELTRANO_NO_SUCH_SETTING"), std::nullopt);

  ui::ScriptedUi scripted = ui::ScriptedUi::fromEnvironment();
  EXPECT_EQ(scripted.inputBox({"이름을 넣으세요", "입력", ""}), text);
  EXPECT_NE(test::readFile(fromUtf8(log)).find("\tInput:" + text), std::string::npos);
}

}  // namespace
}  // namespace veltrano
