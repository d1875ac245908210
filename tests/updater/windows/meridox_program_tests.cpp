// The updater program itself, meridox.exe, started as a process under Wine: a run that needs
// no query service, its boxes answered from VELTRANO_ANSWERS and logged to VELTRANO_UI_LOG.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>

#include "platform/text/wide.h"
#include "support/http_test_server.h"
#include "support/test_support.h"
#include "support/windows_programs.h"

namespace {

namespace fs = std::filesystem;
namespace test = veltrano::test;

// Runs meridox.exe with `command` as its command text; its exit code, or -1 when it did not
// end within 60 s (it is then ended).
long runMeridox(const std::string& command) {
  return test::runAndWait(L"\"" + test::besideThisProgram(L"meridox.exe").wstring() + L"\" " +
                          veltrano::text::widen(command));
}

TEST(MeridoxProgram, UnreachableQueryServiceEndsTheAutomaticRunWithTheNotInstalledBox) {
  test::TempDir dir;
  const fs::path uiLog = dir / "ui.log";
  test::ScopedEnv host("VELTRANO_QUERY_HOST", "127.0.0.1:" + std::to_string(test::unusedLoopbackPort()));
  test::ScopedEnv answers("VELTRANO_ANSWERS", "OK");
  test::ScopedEnv log("VELTRANO_UI_LOG", uiLog.string());

  EXPECT_EQ(runMeridox("TARVIC,x"), 1);
  const std::string boxes = test::readFile(uiLog);
  EXPECT_NE(boxes.find("MsgBox\t미설치제품\t"), std::string::npos) << boxes;
  EXPECT_EQ(std::count(boxes.begin(), boxes.end(), '\n'), 1) << boxes;
}

}  // namespace
