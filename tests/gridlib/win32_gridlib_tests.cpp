// Lumagrid on Windows: the call-center notices as WM_COPYDATA to a window of another thread, the
// windows that stay Linux-only reported as run-time errors, and the export through the Win32
// build of the writer.
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <future>
#include <iterator>
#include <mutex>
#include <thread>

#include "lumagrid/spread.h"
#include "lumagrid/spreadsetup.h"
#include "platform/grid/data_source.h"
#include "platform/runtime/error.h"
#include "platform/text/ansi.h"
#include "platform/ui/scripted_ui.h"
#include "platform/winmsg/winmsg.h"
#include "support/test_support.h"

using namespace veltrano;
using namespace veltrano::grid;

namespace {

std::shared_ptr<MemoryDataSource> freight(int records) {
  auto src = std::make_shared<MemoryDataSource>(
      std::vector<MemoryDataSource::Field>{{"화주명", adtype::adVarWChar}, {"운임", adtype::adDouble}});
  for (int i = 1; i <= records; ++i) src->addRecord({"화주" + std::to_string(i), i * 1000.5});
  return src;
}

TEST(Win32SpreadNotices, TheCallCenterWindowGetsStartAndEndNoticesWithTheRecordCount) {
  std::mutex mutex;
  std::vector<winmsg::CopyData> got;
  std::atomic<bool> stop{false};
  std::promise<bool> made;
  // The window is made and served by one thread: its messages go to that thread only.
  std::thread receiver([&] {
    auto ep = winmsg::Endpoint::create(lumagrid::Spread::kCallCenterTitle, [&](const winmsg::CopyData& m) {
      std::lock_guard<std::mutex> lock(mutex);
      got.push_back(m);
      return std::int64_t{1};
    });
    made.set_value(ep != nullptr);
    while (ep && !stop) ep->service(20);
  });
  ASSERT_TRUE(made.get_future().get());
  lumagrid::Spread s;
  Grid grid, tot;
  s.SpreadDisplay2(freight(7), grid, tot, {}, 0);  // sends nothing
  s.SpreadDisplay(freight(1234), grid, tot, false);
  stop = true;
  receiver.join();
  ASSERT_EQ(got.size(), 2u);
  for (std::size_t i = 0; i < 2; ++i) {
    EXPECT_EQ(got[i].wParam, 1u);
    EXPECT_EQ(got[i].dwData, i == 0 ? 4001u : 4002u);
    EXPECT_EQ(got[i].cbData, 9u);  // twice the text's length, plus one
    // Windows copies cbData bytes: the text and what follows it in the zero-filled buffer.
    EXPECT_EQ(std::string(got[i].buffer.begin(), got[i].buffer.end()), std::string("1234\0\0\0\0\0", 9));
  }
  EXPECT_EQ(tot.textAt(1, 1), "총 1,234 건");
}

TEST(Win32SpreadSetup, ThePreviewAndTheSetupWindowAreReportedAsLinuxOnly) {
  test::ScopedRegistry registry;
  ui::ScriptedUi scripted;
  ui::ScopedUi scope(scripted);
  Grid g;
  lumagrid::Spread().SpreadDisplayOne(freight(3), g, false);
  lumagrid::SPREADSETUP setup;
  // The print job reports its errors in a message box titled "오류" and returns.
  setup.UserSpreadPrint(g, "운임 내역", "", 1);
  ASSERT_EQ(scripted.shown().size(), 1u);
  EXPECT_EQ(scripted.shown()[0].title, "오류");
  EXPECT_NE(scripted.shown()[0].text.find("Linux only"), std::string::npos) << scripted.shown()[0].text;
  // The setup window's entry raises to the caller.
  setup.Print_SPR = g;
  try {
    setup.ShowForm();
    FAIL() << "no error";
  } catch (const RuntimeError& e) {
    EXPECT_EQ(e.number(), 429);
    EXPECT_NE(e.description().find("column setup window"), std::string::npos) << e.description();
  }
}

TEST(Win32SpreadSetup, ExportWritesTheGridAsAnXlsFileWithCp949Text) {
  test::ScopedRegistry registry;
  test::TempDir dir;
  ui::ScriptedUi scripted;
  ui::ScopedUi scope(scripted);
  Grid g;
  lumagrid::Spread().SpreadDisplayOne(freight(2), g, false);
  lumagrid::SPREADSETUP setup;
  setup.Print_SPR = g;
  const auto file = dir / "운임.xls";
  scripted.queue("File:" + file.string());
  setup.Create_Excel_From_Spread();
  std::ifstream in(file, std::ios::binary);
  const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  ASSERT_GE(bytes.size(), 4u);
  EXPECT_EQ(bytes.substr(0, 2), std::string("\x09\x00", 2));  // BIFF2 beginning of file
  EXPECT_NE(bytes.find(text::toAnsiString("화주2")), std::string::npos);
  EXPECT_NE(bytes.find(text::toAnsiString("화주명")), std::string::npos);
}

}  // namespace
