// The updater program itself, meridox.exe, started as a process under Wine: a run that needs
// no query service, its boxes answered from VELTRANO_ANSWERS and logged to VELTRANO_UI_LOG.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "platform/text/wide.h"
#include "support/http_test_server.h"
#include "support/test_support.h"

namespace {

namespace fs = std::filesystem;
namespace test = veltrano::test;

fs::path besideThisProgram(const std::wstring& name) {
  std::wstring self(MAX_PATH, L'\0');
  self.resize(GetModuleFileNameW(nullptr, self.data(), static_cast<DWORD>(self.size())));
  return fs::path(self).parent_path() / name;
}

// Runs meridox.exe with `command` as its command text; its exit code, or -1 when it did not
// end within 60 s (it is then ended).
long runMeridox(const std::string& command) {
  const fs::path exe = besideThisProgram(L"meridox.exe");
  std::wstring line = L"\"" + exe.wstring() + L"\" " + veltrano::text::widen(command);
  STARTUPINFOW si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) return -2;
  DWORD code = static_cast<DWORD>(-1);
  if (WaitForSingleObject(pi.hProcess, 60000) == WAIT_OBJECT_0) GetExitCodeProcess(pi.hProcess, &code);
  else TerminateProcess(pi.hProcess, 99);
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  return static_cast<long>(code);
}

std::string fileText(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

TEST(MeridoxProgram, UnreachableQueryServiceEndsTheAutomaticRunWithTheNotInstalledBox) {
  test::TempDir dir;
  const fs::path uiLog = dir / "ui.log";
  test::ScopedEnv host("VELTRANO_QUERY_HOST", "127.0.0.1:" + std::to_string(test::unusedLoopbackPort()));
  test::ScopedEnv answers("VELTRANO_ANSWERS", "OK");
  test::ScopedEnv log("VELTRANO_UI_LOG", uiLog.string());

  EXPECT_EQ(runMeridox("TARVIC,x"), 1);
  const std::string boxes = fileText(uiLog);
  EXPECT_NE(boxes.find("MsgBox\t미설치제품\t"), std::string::npos) << boxes;
  EXPECT_EQ(std::count(boxes.begin(), boxes.end(), '\n'), 1) << boxes;
}

}  // namespace
