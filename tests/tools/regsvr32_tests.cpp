#include <gtest/gtest.h>

#include "platform/registry/registry.h"
#include "platform/text/ansi.h"
#include "platform/text/vbstring.h"
#include "support/test_support.h"

using namespace veltrano;

namespace {

std::string regsvr32() { return test::builtProgram("tools/regsvr32/regsvr32").string(); }

// The default value of a key under HKEY_CLASSES_ROOT, or nothing.
std::optional<std::string> classesValue(const std::string& subKey, const std::string& name = "") {
  reg::HKEY key = 0;
  if (reg::RegOpenKeyA(reg::HKEY_CLASSES_ROOT, subKey, &key)) return std::nullopt;
  std::uint32_t type = 0, size = 0;
  std::optional<std::string> out;
  if (reg::RegQueryValueExA(key, name, &type, nullptr, &size) == 0) {
    std::vector<std::uint8_t> data(size);
    reg::RegQueryValueExA(key, name, &type, data.data(), &size);
    out = text::UpToNul(text::fromAnsi(std::span<const std::uint8_t>(data.data(), size)));
  }
  reg::RegCloseKey(key);
  return out;
}

struct Fixture {
  test::ScopedRegistry store;
  test::TempDir dir;
  test::ScopedEnv log{"VELTRANO_UI_LOG", (dir / "ui.log").string()};
  test::ScopedEnv platform{"QT_QPA_PLATFORM", "offscreen"};
};

}  // namespace

TEST(Regsvr32, RegistersAndUnregistersTheLibrarysClasses) {
  Fixture f;
  const std::string lib = test::builtProgram("gridlib/liblumagrid.so").string();
  auto r = test::run(regsvr32() + " /s \"" + lib + "\"");
  EXPECT_EQ(r.exitCode, 0);
  const auto clsid = classesValue("Lumagrid.VBF\\CLSID");
  ASSERT_TRUE(clsid.has_value());
  EXPECT_EQ(classesValue("CLSID\\" + *clsid + "\\InprocServer32"), lib);
  EXPECT_TRUE(classesValue("Lumagrid.cls_Excel\\CLSID").has_value());
  EXPECT_FALSE(std::filesystem::exists(f.dir / "ui.log"));  // silent: no box

  r = test::run(regsvr32() + " /u /s \"" + lib + "\"");
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_FALSE(classesValue("Lumagrid.VBF\\CLSID").has_value());
  EXPECT_FALSE(classesValue("CLSID\\" + *clsid).has_value());
}

TEST(Regsvr32, WithoutSilentTheOutcomeIsShownInABox) {
  Fixture f;
  const std::string lib = test::builtProgram("tools/sample_com/libtarvicsample.so").string();
  auto r = test::run(regsvr32() + " \"" + lib + "\"");
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_TRUE(classesValue("TarvicSample.Control\\CLSID").has_value());
  const std::string log = test::readFile(f.dir / "ui.log");
  EXPECT_NE(log.find("MsgBox\tRegSvr32\tDllRegisterServer in " + lib + " succeeded."), std::string::npos) << log;
}

TEST(Regsvr32, FailuresAreReportedWithTheirExitCodes) {
  Fixture f;
  auto missing = test::run(regsvr32() + " /s \"" + (f.dir / "nothing.dll").string() + "\"");
  EXPECT_EQ(missing.exitCode, 3);
  EXPECT_NE(missing.out.find("failed to load"), std::string::npos);
  // A library without the entry points.
  auto noEntry = test::run(regsvr32() + " /s \"" + test::builtProgram("platform/libveltrano-platform.so").string() + "\"");
  EXPECT_EQ(noEntry.exitCode, 4);
  EXPECT_NE(noEntry.out.find("entry-point DllRegisterServer was not found"), std::string::npos);
  EXPECT_EQ(test::run(regsvr32() + " /s").exitCode, 1);
}

TEST(Regsvr32, HelpSwitchesAndSeveralFiles) {
  Fixture f;
  for (const char* help : {"/?", "-h", "--help", "/s /?"}) {
    const auto r = test::run(regsvr32() + " " + help);
    EXPECT_EQ(r.exitCode, 0) << help;
    EXPECT_EQ(r.out.rfind("Usage: regsvr32 [/u] [/s] FILE...", 0), 0u) << help << r.out;
  }
  const auto unknown = test::run(regsvr32() + " /s /x foo.dll");
  EXPECT_EQ(unknown.exitCode, 1);
  EXPECT_EQ(unknown.out.rfind("Unrecognized flag: /x", 0), 0u) << unknown.out;

  // Both files are handled; the exit code is the first failure's.
  const std::string lib = test::builtProgram("gridlib/liblumagrid.so").string();
  const auto two = test::run(regsvr32() + " /s \"" + (f.dir / "nothing.dll").string() + "\" \"" + lib + "\"");
  EXPECT_EQ(two.exitCode, 3);
  EXPECT_NE(two.out.find("DllRegisterServer in " + lib + " succeeded."), std::string::npos) << two.out;
  EXPECT_TRUE(classesValue("Lumagrid.VBF\\CLSID").has_value());
}

TEST(Regsvr32, WindowsPathsGoThroughTheDriveMap) {
  Fixture f;
  test::ScopedEnv drive("VELTRANO_DRIVE_C", f.dir.path().string());
  std::filesystem::create_directories(f.dir / "WINDOWS" / "system32");
  std::filesystem::copy_file(test::builtProgram("tools/sample_com/libtarvicsample.so"),
                             f.dir / "WINDOWS" / "system32" / "tarvicsample.dll");
  auto r = test::run(regsvr32() + " \"C:\\WINDOWS\\SYSTEM32\\TARVICSAMPLE.DLL\" /s");
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_TRUE(classesValue("TarvicSample.Control\\CLSID").has_value());
}
