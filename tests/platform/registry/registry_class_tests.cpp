// The registry access class over the store: the updater's cls_SysREg and the libraries'
// REGISTRY read and write one REG_SZ value, log and raise run-time errors, and stay quiet on
// registry failures.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "lumadata/registry.h"
#include "lumagrid/registry.h"
#include "platform/eventlog/eventlog.h"
#include "platform/registry/registry.h"
#include "platform/runtime/error.h"
#include "support/test_support.h"
#include "updater/cls_sysreg.h"

namespace {

using namespace veltrano;
using Bytes = std::vector<std::uint8_t>;

long writeRaw(std::string_view sub, std::string_view name, std::uint32_t type, const Bytes& data) {
  reg::HKEY h = 0;
  if (long rc = reg::RegCreateKeyA(reg::HKEY_CURRENT_USER, sub, &h)) return rc;
  const long rc = reg::RegSetValueExA(h, name, type, data.data(), static_cast<std::uint32_t>(data.size()));
  reg::RegCloseKey(h);
  return rc;
}

struct Raw {
  long rc;
  std::uint32_t type = 0;
  Bytes data;
};
Raw readRaw(std::string_view sub, std::string_view name) {
  reg::HKEY h = 0;
  Raw r{reg::RegOpenKeyA(reg::HKEY_CURRENT_USER, sub, &h)};
  if (r.rc) return r;
  std::uint32_t size = 0;
  r.rc = reg::RegQueryValueExA(h, name, &r.type, nullptr, &size);
  r.data.resize(size);
  if (!r.rc) r.rc = reg::RegQueryValueExA(h, name, &r.type, r.data.data(), &size);
  reg::RegCloseKey(h);
  return r;
}

meridox::cls_SysREg updaterReg(const std::string& path, const std::string& name, const std::string& value) {
  meridox::cls_SysREg r;
  r.hKey(reg::HKEY_CURRENT_USER);
  r.KeyPath(path);
  r.KeyName(name);
  r.KeyValue(value);
  return r;
}

template <typename Registry, typename Root>
Registry libraryReg(Root root, const std::string& path, const std::string& name, const std::string& value) {
  Registry r;
  r.HKEY(root);
  r.KeyPath(path);
  r.KeyName(name);
  r.KeyValue(value);
  return r;
}

lumagrid::REGISTRY gridReg(const std::string& path, const std::string& name, const std::string& value) {
  return libraryReg<lumagrid::REGISTRY>(lumagrid::HKEY_CURRENT_USER, path, name, value);
}
lumadata::REGISTRY dataReg(const std::string& path, const std::string& name, const std::string& value) {
  return libraryReg<lumadata::REGISTRY>(lumadata::HKEY_CURRENT_USER, path, name, value);
}

// Collects the event-log entries written while it lives.
class EventLogCapture {
 public:
  EventLogCapture() {
    eventlog::setSink([this](const eventlog::Entry& e) { entries.push_back(e); });
  }
  ~EventLogCapture() { eventlog::setSink({}); }
  std::vector<eventlog::Entry> entries;
};

class RegistryClass : public ::testing::Test {
 protected:
  test::ScopedRegistry store_;
};

TEST_F(RegistryClass, OnlyStringValuesAreRead) {
  ASSERT_EQ(writeRaw("SOFTWARE\\VELTRANO\\ORVEX", "PORT", reg::REG_DWORD, {0x50, 0x1F, 0, 0}), 0);
  ASSERT_EQ(writeRaw("SOFTWARE\\VELTRANO\\ORVEX", "HOME", reg::REG_EXPAND_SZ, {'%', 'H', '%', 0}), 0);
  ASSERT_EQ(writeRaw("SOFTWARE\\VELTRANO\\ORVEX", "BIN", reg::REG_BINARY, {'a', 'b'}), 0);
  for (const char* name : {"PORT", "HOME", "BIN", "MISSING"}) {
    EXPECT_EQ(updaterReg("SOFTWARE\\VELTRANO", "ORVEX", name).GetRegistry(), "") << name;
    EXPECT_EQ(gridReg("SOFTWARE\\VELTRANO", "ORVEX", name).GetRegistry(), "") << name;
    EXPECT_EQ(dataReg("SOFTWARE\\VELTRANO", "ORVEX", name).GetRegistry(), "") << name;
  }
  EXPECT_EQ(updaterReg("SOFTWARE\\VELTRANO", "NOKEY", "PORT").GetRegistry(), "");
}

TEST_F(RegistryClass, TextEndsAtTheFirstZero) {
  ASSERT_EQ(writeRaw("SOFTWARE\\VELTRANO\\COMMON", "SERVER_PATH", reg::REG_SZ, {'a', 'b', 'c', 0, 'd', 'e', 'f', 0}), 0);
  ASSERT_EQ(writeRaw("SOFTWARE\\VELTRANO\\COMMON", "NO_ZERO", reg::REG_SZ, {'x', 'y', 'z'}), 0);
  EXPECT_EQ(updaterReg("SOFTWARE\\VELTRANO", "COMMON", "SERVER_PATH").GetRegistry(), "abc");
  EXPECT_EQ(gridReg("SOFTWARE\\VELTRANO", "COMMON", "SERVER_PATH").GetRegistry(), "abc");
  EXPECT_EQ(updaterReg("SOFTWARE\\VELTRANO", "COMMON", "NO_ZERO").GetRegistry(), "xyz");
}

TEST_F(RegistryClass, FinalSeparatorOfTheKeyPath) {
  ASSERT_EQ(writeRaw("SOFTWARE\\VELTRANO\\COMMON", "V", reg::REG_SZ, {'o', 'k', 0}), 0);
  // The updater drops the final "\" and keeps the shortened path for later calls.
  auto updater = updaterReg("SOFTWARE\\VELTRANO\\", "COMMON", "V");
  EXPECT_EQ(updater.GetRegistry(), "ok");
  updater.SetRegistry("again");
  EXPECT_EQ(readRaw("SOFTWARE\\VELTRANO\\COMMON", "V").data, (Bytes{'a', 'g', 'a', 'i', 'n'}));
  // The libraries pass "SOFTWARE\VELTRANO\\COMMON" on unchanged; the store reads it as the same key.
  EXPECT_EQ(gridReg("SOFTWARE\\VELTRANO\\", "COMMON", "V").GetRegistry(), "again");
  EXPECT_EQ(dataReg("SOFTWARE\\VELTRANO\\", "COMMON", "V").GetRegistry(), "again");
  std::vector<std::string> sub;
  reg::HKEY h = 0;
  ASSERT_EQ(reg::RegOpenKeyA(reg::HKEY_CURRENT_USER, "SOFTWARE\\VELTRANO", &h), 0);
  reg::RegEnumKeys(h, &sub);
  reg::RegCloseKey(h);
  EXPECT_EQ(sub, std::vector<std::string>{"COMMON"}) << "no key with an empty name";
}

TEST_F(RegistryClass, EmptyTextIsAZeroLengthString) {
  updaterReg("SOFTWARE\\VELTRANO", "COMMON", "EMPTY").SetRegistry("");
  const Raw raw = readRaw("SOFTWARE\\VELTRANO\\COMMON", "EMPTY");
  EXPECT_EQ(raw.rc, 0);
  EXPECT_EQ(raw.type, reg::REG_SZ);
  EXPECT_TRUE(raw.data.empty());
  EXPECT_EQ(gridReg("SOFTWARE\\VELTRANO", "COMMON", "EMPTY").GetRegistry(), "");
}

TEST_F(RegistryClass, KoreanTextIsStoredAsCp949AndReadBackByEveryCopy) {
  gridReg("SOFTWARE\\VELTRANO\\VUV2013", "DISPLAY", "FONTNAME").SetRegistry("한글 설정");
  const Raw raw = readRaw("SOFTWARE\\VELTRANO\\VUV2013\\DISPLAY", "FONTNAME");
  EXPECT_EQ(raw.type, reg::REG_SZ);
  EXPECT_EQ(raw.data, (Bytes{0xC7, 0xD1, 0xB1, 0xDB, 0x20, 0xBC, 0xB3, 0xC1, 0xA4}));
  EXPECT_EQ(updaterReg("SOFTWARE\\VELTRANO\\VUV2013", "DISPLAY", "FONTNAME").GetRegistry(), "한글 설정");
  EXPECT_EQ(dataReg("SOFTWARE\\VELTRANO\\VUV2013", "DISPLAY", "FONTNAME").GetRegistry(), "한글 설정");
}

TEST_F(RegistryClass, ReadingBeforeTheRootIsSetRaisesTypeMismatchAfterOneLogEntry) {
  EventLogCapture log;
  meridox::cls_SysREg r;
  r.KeyPath("SOFTWARE\\VELTRANO");
  r.KeyName("COMMON");
  r.KeyValue("V");
  try {
    r.GetRegistry();
    FAIL() << "no error raised";
  } catch (const RuntimeError& e) {
    EXPECT_EQ(e.number(), err::kTypeMismatch);
    ASSERT_EQ(log.entries.size(), 1u);
    EXPECT_EQ(log.entries[0].text, std::to_string(e.number()) + e.source() + e.description());
    EXPECT_EQ(log.entries[0].text.rfind("13", 0), 0u);
  }
  lumagrid::REGISTRY lib;
  lib.KeyPath("SOFTWARE\\VELTRANO");
  EXPECT_THROW(lib.SetRegistry("x"), RuntimeError);
  EXPECT_EQ(log.entries.size(), 2u);
}

TEST_F(RegistryClass, TextOver32767BytesOverflowsLoggedTwiceWithTheKeyMadeAndNoValue) {
  std::string longest;
  for (int i = 0; i < 16383; ++i) longest += "가";
  longest += "a";  // 32,767 bytes in CP949
  auto fits = updaterReg("SOFTWARE\\VELTRANO", "BIG", "FITS");
  fits.SetRegistry(longest);
  EXPECT_EQ(readRaw("SOFTWARE\\VELTRANO\\BIG", "FITS").data.size(), 32767u);
  EXPECT_EQ(fits.GetRegistry(), longest);

  EventLogCapture log;
  auto tooLong = gridReg("SOFTWARE\\VELTRANO", "HUGE", "V");
  try {
    tooLong.SetRegistry(longest + "b");
    FAIL() << "no error raised";
  } catch (const RuntimeError& e) {
    EXPECT_EQ(e.number(), err::kOverflow);
  }
  ASSERT_EQ(log.entries.size(), 2u) << "AnsiByteLen and SetRegistry each log it";
  EXPECT_EQ(log.entries[0].text, log.entries[1].text);
  EXPECT_EQ(log.entries[0].text.rfind("6", 0), 0u);
  const Raw raw = readRaw("SOFTWARE\\VELTRANO\\HUGE", "V");
  EXPECT_EQ(raw.rc, reg::ERROR_FILE_NOT_FOUND) << "the key is there, the value is not";
}

TEST_F(RegistryClass, DamagedStoreReadsEmptyAndWritesSilently) {
  EventLogCapture log;
  test::writeFile(store_.file(), std::string(4096, '\x5A'));
  reg::useStore(store_.file().string());
  auto r = updaterReg("SOFTWARE\\VELTRANO", "COMMON", "V");
  EXPECT_EQ(r.GetRegistry(), "");
  EXPECT_NO_THROW(r.SetRegistry("x"));
  EXPECT_EQ(gridReg("SOFTWARE\\VELTRANO", "COMMON", "V").GetRegistry(), "");
  // Registry failures are not run-time errors: the class logs nothing; the store says once
  // what is wrong with it.
  ASSERT_EQ(log.entries.size(), 1u);
  EXPECT_EQ(log.entries[0].source, "Registry");
  EXPECT_EQ(log.entries[0].text, "The registry store " + store_.file().string() + " is damaged.");
  EXPECT_EQ(test::readFile(store_.file()), std::string(4096, '\x5A'));
}

TEST_F(RegistryClass, UnreadableStoreReadsEmpty) {
  updaterReg("SOFTWARE\\VELTRANO", "COMMON", "V").SetRegistry("value");
  reg::injectFault("query", reg::ERROR_CANTREAD, -1);
  EXPECT_EQ(updaterReg("SOFTWARE\\VELTRANO", "COMMON", "V").GetRegistry(), "");
  EXPECT_EQ(dataReg("SOFTWARE\\VELTRANO", "COMMON", "V").GetRegistry(), "");
  reg::clearFaults();
  reg::injectFault("open", reg::ERROR_CANTOPEN, 1);
  EXPECT_EQ(gridReg("SOFTWARE\\VELTRANO", "COMMON", "V").GetRegistry(), "");
  EXPECT_EQ(gridReg("SOFTWARE\\VELTRANO", "COMMON", "V").GetRegistry(), "value") << "the fault was for one open";
  reg::injectFault("set", reg::ERROR_CANTWRITE, 1);
  EXPECT_NO_THROW(updaterReg("SOFTWARE\\VELTRANO", "COMMON", "V").SetRegistry("lost"));
  EXPECT_EQ(updaterReg("SOFTWARE\\VELTRANO", "COMMON", "V").GetRegistry(), "value");
}

}  // namespace
