// The registry store: keys, typed values, the Win32 return codes, several processes at once,
// and a damaged or unreadable store file.

#include <gtest/gtest.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "platform/eventlog/eventlog.h"
#include "platform/registry/registry.h"
#include "support/test_support.h"

namespace veltrano::reg {
namespace {

using Bytes = std::vector<std::uint8_t>;
constexpr long kKeyDeleted = 1018;  // ERROR_KEY_DELETED

Bytes bytesOf(std::string_view s) { return Bytes(s.begin(), s.end()); }

struct Read {
  long rc = ERROR_SUCCESS;
  std::uint32_t type = REG_NONE;
  Bytes data;
};

// Opens the key, asks for the size, reads the value, closes: the sequence callers use.
Read readValue(HKEY root, std::string_view sub, std::string_view name) {
  Read r;
  HKEY h = 0;
  if ((r.rc = RegOpenKeyA(root, sub, &h)) != ERROR_SUCCESS) return r;
  std::uint32_t size = 0;
  if ((r.rc = RegQueryValueExA(h, name, &r.type, nullptr, &size)) == ERROR_SUCCESS) {
    r.data.resize(size);
    r.rc = RegQueryValueExA(h, name, &r.type, r.data.data(), &size);
    r.data.resize(size);
  }
  RegCloseKey(h);
  return r;
}

long writeValue(HKEY root, std::string_view sub, std::string_view name, std::uint32_t type, const Bytes& data) {
  HKEY h = 0;
  if (long rc = RegCreateKeyA(root, sub, &h)) return rc;
  long rc = RegSetValueExA(h, name, type, data.data(), static_cast<std::uint32_t>(data.size()));
  RegCloseKey(h);
  return rc;
}

std::vector<std::string> subKeys(HKEY root, std::string_view sub) {
  HKEY h = 0;
  std::vector<std::string> names;
  if (RegOpenKeyA(root, sub, &h) == ERROR_SUCCESS) RegEnumKeys(h, &names);
  RegCloseKey(h);
  return names;
}

// Runs `body` in a child process that first waits for the end of the pipe `start` (when
// given), so that several children can be let go at once. The child's exit code is the
// body's result.
pid_t spawnChild(const std::function<int()>& body, const int* start = nullptr) {
  const pid_t pid = fork();
  if (pid == 0) {
    if (start) {
      close(start[1]);
      char c;
      [[maybe_unused]] ssize_t n = ::read(start[0], &c, 1);
    }
    int rc = 99;
    try {
      rc = body();
    } catch (...) {
    }
    _exit(rc);
  }
  return pid;
}

int waitExit(pid_t pid) {
  int status = 0;
  if (waitpid(pid, &status, 0) != pid) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

class RegistryStore : public ::testing::Test {
 protected:
  // Closes this process's connection, so that a child started next opens the store afresh
  // (an SQLite connection must not be carried across fork).
  void releaseStore() { useStore(store_.file().string()); }

  test::ScopedRegistry store_;
};

// ---- keys ------------------------------------------------------------------------------

TEST_F(RegistryStore, KeysAreFoundWithoutRegardToCaseAndKeepTheirFirstSpelling) {
  HKEY h = 0;
  ASSERT_EQ(RegCreateKeyA(HKEY_CURRENT_USER, "Software\\Veltrano\\Common", &h), ERROR_SUCCESS);
  RegCloseKey(h);
  ASSERT_EQ(RegCreateKeyA(HKEY_CURRENT_USER, "SOFTWARE\\VELTRANO\\COMMON\\Installed", &h), ERROR_SUCCESS);
  RegCloseKey(h);
  EXPECT_EQ(subKeys(HKEY_CURRENT_USER, "software\\veltrano"), std::vector<std::string>{"Common"});
  EXPECT_EQ(subKeys(HKEY_CURRENT_USER, "software\\veltrano\\common"), std::vector<std::string>{"Installed"});

  ASSERT_EQ(writeValue(HKEY_CURRENT_USER, "Software\\Veltrano\\Common", "Server_Path", REG_SZ, bytesOf("a")), 0);
  EXPECT_EQ(readValue(HKEY_CURRENT_USER, "SOFTWARE\\veltrano\\COMMON", "SERVER_PATH").data, bytesOf("a"));
  ASSERT_EQ(writeValue(HKEY_CURRENT_USER, "software\\VELTRANO\\common", "server_path", REG_SZ, bytesOf("b")), 0);
  HKEY common = 0;
  ASSERT_EQ(RegOpenKeyA(HKEY_CURRENT_USER, "Software\\Veltrano\\Common", &common), ERROR_SUCCESS);
  std::vector<ValueEntry> values;
  ASSERT_EQ(RegEnumValues(common, &values), ERROR_SUCCESS);
  RegCloseKey(common);
  ASSERT_EQ(values.size(), 1u) << "one value, whatever the case of its name";
  EXPECT_EQ(values[0].data, bytesOf("b"));
}

TEST_F(RegistryStore, CreateMakesEveryMissingParentAndSeparatorsCollapse) {
  HKEY h = 0;
  ASSERT_EQ(RegCreateKeyA(HKEY_LOCAL_MACHINE, "A\\B\\C", &h), ERROR_SUCCESS);
  RegCloseKey(h);
  EXPECT_EQ(subKeys(HKEY_LOCAL_MACHINE, ""), std::vector<std::string>{"A"});
  EXPECT_EQ(subKeys(HKEY_LOCAL_MACHINE, "A"), std::vector<std::string>{"B"});
  EXPECT_EQ(subKeys(HKEY_LOCAL_MACHINE, "A\\B"), std::vector<std::string>{"C"});
  EXPECT_TRUE(subKeys(HKEY_CURRENT_USER, "").empty()) << "roots are separate trees";

  // Doubled, leading and trailing separators name the same key.
  ASSERT_EQ(writeValue(HKEY_LOCAL_MACHINE, "A\\\\B\\", "v", REG_SZ, bytesOf("x")), 0);
  EXPECT_EQ(readValue(HKEY_LOCAL_MACHINE, "\\A\\B", "v").data, bytesOf("x"));
  EXPECT_EQ(subKeys(HKEY_LOCAL_MACHINE, "A\\B"), std::vector<std::string>{"C"}) << "no empty-named key was made";

  // A key opened relative to another.
  HKEY a = 0, c = 0;
  ASSERT_EQ(RegOpenKeyA(HKEY_LOCAL_MACHINE, "A", &a), ERROR_SUCCESS);
  EXPECT_EQ(RegOpenKeyExA(a, "b\\c", 0, KEY_READ, &c), ERROR_SUCCESS);
  RegCloseKey(c);
  RegCloseKey(a);
}

TEST_F(RegistryStore, MissingKeysAndBadHandlesGiveTheWin32Codes) {
  HKEY h = 0;
  EXPECT_EQ(RegOpenKeyA(HKEY_CURRENT_USER, "Software\\Nowhere", &h), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Nowhere", 0, KEY_ALL_ACCESS, &h), ERROR_FILE_NOT_FOUND);
  std::uint32_t type = 0, size = 0;
  EXPECT_EQ(RegQueryValueExA(0x1234, "v", &type, nullptr, &size), ERROR_INVALID_HANDLE);
  EXPECT_EQ(RegQueryValueExA(0, "v", &type, nullptr, &size), ERROR_INVALID_HANDLE) << "the handle a failed open leaves";
  ASSERT_EQ(RegCreateKeyA(HKEY_CURRENT_USER, "Software", &h), ERROR_SUCCESS);
  EXPECT_EQ(RegQueryValueExA(h, "missing", &type, nullptr, &size), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegCloseKey(h), ERROR_SUCCESS);
  EXPECT_EQ(RegCloseKey(h), ERROR_INVALID_HANDLE);
}

// ---- values ----------------------------------------------------------------------------

TEST_F(RegistryStore, TypedValuesKeepTheirTypeAndRawBytes) {
  const struct {
    const char* name;
    std::uint32_t type;
    Bytes data;
  } cases[] = {
      {"binary", REG_BINARY, {0x00, 0xFF, 0x00, 0x7F, 0x80}},
      {"dword", REG_DWORD, {0x2A, 0x00, 0x00, 0x80}},
      {"qword", REG_QWORD, {1, 2, 3, 4, 5, 6, 7, 8}},
      {"text", REG_SZ, {0xC7, 0xD1, 0xB1, 0xDB, 0x00, 'x', 0x00}},
      {"expand", REG_EXPAND_SZ, {'%', 'A', '%', 0x00}},
      {"multi", REG_MULTI_SZ, {'a', 0, 'b', 0, 0}},
      {"none", REG_NONE, {}},
      {"", REG_SZ, {'d', 0}},
  };
  for (const auto& c : cases) ASSERT_EQ(writeValue(HKEY_CURRENT_USER, "Types", c.name, c.type, c.data), 0) << c.name;
  for (const auto& c : cases) {
    const Read r = readValue(HKEY_CURRENT_USER, "Types", c.name);
    EXPECT_EQ(r.rc, ERROR_SUCCESS) << c.name;
    EXPECT_EQ(r.type, c.type) << c.name;
    EXPECT_EQ(r.data, c.data) << c.name;
  }
}

TEST_F(RegistryStore, SizeQueryWithoutBufferAndShortBufferGiveTheSizeNeeded) {
  const Bytes data = bytesOf(std::string("0123456789") + '\0');
  ASSERT_EQ(writeValue(HKEY_CURRENT_USER, "Sizes", "v", REG_SZ, data), 0);
  HKEY h = 0;
  ASSERT_EQ(RegOpenKeyA(HKEY_CURRENT_USER, "Sizes", &h), ERROR_SUCCESS);

  std::uint32_t type = 0, size = 0;
  ASSERT_EQ(RegQueryValueExA(h, "v", &type, nullptr, &size), ERROR_SUCCESS);
  EXPECT_EQ(type, REG_SZ);
  EXPECT_EQ(size, data.size());

  Bytes shortBuffer(4);
  size = 4;
  EXPECT_EQ(RegQueryValueExA(h, "v", &type, shortBuffer.data(), &size), ERROR_MORE_DATA);
  EXPECT_EQ(size, data.size()) << "the size needed comes back with ERROR_MORE_DATA";

  Bytes exact(data.size());
  size = static_cast<std::uint32_t>(exact.size());
  EXPECT_EQ(RegQueryValueExA(h, "v", &type, exact.data(), &size), ERROR_SUCCESS);
  EXPECT_EQ(exact, data);

  Bytes larger(64, 0xEE);
  size = 64;
  EXPECT_EQ(RegQueryValueExA(h, "v", &type, larger.data(), &size), ERROR_SUCCESS);
  EXPECT_EQ(size, data.size());
  EXPECT_TRUE(std::equal(data.begin(), data.end(), larger.begin()));

  size = 0;
  EXPECT_EQ(RegQueryValueExA(h, "v", &type, larger.data(), nullptr), ERROR_INVALID_PARAMETER);
  RegCloseKey(h);
}

TEST_F(RegistryStore, ReadThroughAnOpenHandleSeesALaterWrite) {
  ASSERT_EQ(writeValue(HKEY_CURRENT_USER, "Live", "v", REG_SZ, bytesOf("old")), 0);
  ASSERT_EQ(readValue(HKEY_CURRENT_USER, "Live", "v").data, bytesOf("old"));
  HKEY h = 0;
  ASSERT_EQ(RegOpenKeyA(HKEY_CURRENT_USER, "Live", &h), ERROR_SUCCESS);
  std::uint32_t type = 0, size = 0;
  ASSERT_EQ(RegQueryValueExA(h, "v", &type, nullptr, &size), ERROR_SUCCESS);
  ASSERT_EQ(writeValue(HKEY_CURRENT_USER, "Live", "v", REG_SZ, bytesOf("newer")), 0);
  Bytes buffer(16);
  size = 16;
  ASSERT_EQ(RegQueryValueExA(h, "v", &type, buffer.data(), &size), ERROR_SUCCESS);
  buffer.resize(size);
  EXPECT_EQ(buffer, bytesOf("newer"));
  RegCloseKey(h);

  // The same after an open (which reads the value last read under the key along with it).
  ASSERT_EQ(RegOpenKeyA(HKEY_CURRENT_USER, "Live", &h), ERROR_SUCCESS);
  ASSERT_EQ(writeValue(HKEY_CURRENT_USER, "Live", "v", REG_SZ, bytesOf("newest")), 0);
  buffer.assign(16, 0);
  size = 16;
  ASSERT_EQ(RegQueryValueExA(h, "v", &type, buffer.data(), &size), ERROR_SUCCESS);
  buffer.resize(size);
  EXPECT_EQ(buffer, bytesOf("newest"));
  RegCloseKey(h);
  ASSERT_EQ(RegOpenKeyA(HKEY_CURRENT_USER, "Live", &h), ERROR_SUCCESS);
  ASSERT_EQ(RegDeleteValueA(h, "v"), ERROR_SUCCESS);
  EXPECT_EQ(RegQueryValueExA(h, "v", &type, nullptr, &size), ERROR_FILE_NOT_FOUND);
  RegCloseKey(h);
}

// ---- deleting --------------------------------------------------------------------------

TEST_F(RegistryStore, DeleteTakesOnlyKeysWithoutSubKeysAndTheirValuesGoWithThem) {
  ASSERT_EQ(writeValue(HKEY_CURRENT_USER, "Del\\Child", "v", REG_SZ, bytesOf("x")), 0);
  ASSERT_EQ(writeValue(HKEY_CURRENT_USER, "Del", "w", REG_SZ, bytesOf("y")), 0);

  EXPECT_EQ(RegDeleteKeyA(HKEY_CURRENT_USER, "Del"), ERROR_ACCESS_DENIED);
  EXPECT_EQ(readValue(HKEY_CURRENT_USER, "Del", "w").rc, ERROR_SUCCESS) << "a refused delete changes nothing";
  EXPECT_EQ(RegDeleteKeyA(HKEY_CURRENT_USER, "Del\\Child"), ERROR_SUCCESS);
  EXPECT_EQ(RegDeleteKeyA(HKEY_CURRENT_USER, "Del\\Child"), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegDeleteKeyA(HKEY_CURRENT_USER, ""), ERROR_INVALID_PARAMETER) << "a root key is not deleted";
  EXPECT_EQ(RegDeleteKeyA(HKEY_CURRENT_USER, "Del"), ERROR_SUCCESS);

  HKEY h = 0;
  ASSERT_EQ(RegCreateKeyA(HKEY_CURRENT_USER, "Del", &h), ERROR_SUCCESS);
  std::vector<ValueEntry> values;
  EXPECT_EQ(RegEnumValues(h, &values), ERROR_SUCCESS);
  EXPECT_TRUE(values.empty()) << "a key made again starts without the old values";
  EXPECT_EQ(RegDeleteValueA(h, "w"), ERROR_FILE_NOT_FOUND);
  ASSERT_EQ(RegSetValueExA(h, "w", REG_SZ, nullptr, 0), ERROR_SUCCESS);
  EXPECT_EQ(RegDeleteValueA(h, "W"), ERROR_SUCCESS);
  EXPECT_EQ(RegDeleteValueA(h, "w"), ERROR_FILE_NOT_FOUND);
  RegCloseKey(h);
}

TEST_F(RegistryStore, HandleOfADeletedKeyWritesNothing) {
  HKEY stale = 0;
  ASSERT_EQ(RegCreateKeyA(HKEY_CURRENT_USER, "Gone", &stale), ERROR_SUCCESS);
  ASSERT_EQ(RegDeleteKeyA(HKEY_CURRENT_USER, "Gone"), ERROR_SUCCESS);

  EXPECT_EQ(RegSetValueExA(stale, "v", REG_SZ, reinterpret_cast<const std::uint8_t*>("x"), 1), kKeyDeleted)
      << "a write into a deleted key is not reported as done";
  std::uint32_t type = 0, size = 0;
  EXPECT_EQ(RegQueryValueExA(stale, "v", &type, nullptr, &size), kKeyDeleted);
  std::vector<ValueEntry> values;
  EXPECT_EQ(RegEnumValues(stale, &values), kKeyDeleted);
  HKEY child = 0;
  EXPECT_EQ(RegCreateKeyA(stale, "Child", &child), kKeyDeleted) << "no key is made under a deleted one";

  HKEY again = 0;
  ASSERT_EQ(RegCreateKeyA(HKEY_CURRENT_USER, "Gone", &again), ERROR_SUCCESS);
  RegCloseKey(again);
  EXPECT_EQ(readValue(HKEY_CURRENT_USER, "Gone", "v").rc, ERROR_FILE_NOT_FOUND)
      << "nothing written through the old handle turns up in the new key";
  RegCloseKey(stale);

  // A handle on a key that another key has since replaced under another path reads nothing.
  HKEY first = 0;
  ASSERT_EQ(RegCreateKeyA(HKEY_CURRENT_USER, "First", &first), ERROR_SUCCESS);
  ASSERT_EQ(RegDeleteKeyA(HKEY_CURRENT_USER, "First"), ERROR_SUCCESS);
  ASSERT_EQ(writeValue(HKEY_CURRENT_USER, "Second", "v", REG_SZ, bytesOf("second's")), 0);
  EXPECT_EQ(RegQueryValueExA(first, "v", &type, nullptr, &size), kKeyDeleted);
  RegCloseKey(first);
}

// ---- several processes -----------------------------------------------------------------

TEST_F(RegistryStore, ValueWrittenByOneProcessIsReadByAnother) {
  const Bytes korean = {0xC7, 0xD1, 0xB1, 0xDB, 0x00};  // "한글" in CP949
  const pid_t writer = spawnChild([&] { return writeValue(HKEY_CURRENT_USER, "Shared", "FromChild", REG_SZ, korean) ? 1 : 0; });
  ASSERT_EQ(waitExit(writer), 0);
  EXPECT_EQ(readValue(HKEY_CURRENT_USER, "Shared", "FromChild").data, korean);

  ASSERT_EQ(writeValue(HKEY_CURRENT_USER, "Shared", "FromParent", REG_BINARY, {1, 2, 3}), 0);
  releaseStore();
  const pid_t reader = spawnChild([] {
    const Read r = readValue(HKEY_CURRENT_USER, "SHARED", "fromparent");
    return r.rc == ERROR_SUCCESS && r.type == REG_BINARY && r.data == Bytes{1, 2, 3} ? 0 : 1;
  });
  EXPECT_EQ(waitExit(reader), 0);
}

TEST_F(RegistryStore, TwoProcessesWritingAThousandValuesEachLoseNone) {
  constexpr int kPerProcess = 1000;
  int start[2];
  ASSERT_EQ(pipe(start), 0);
  auto writer = [&](int id) {
    return [id] {
      HKEY h = 0;
      if (RegCreateKeyA(HKEY_CURRENT_USER, "Software\\Veltrano\\Concurrent", &h)) return 2;
      for (int i = 0; i < kPerProcess; ++i) {
        const std::string data = std::to_string(id) + ":" + std::to_string(i);
        if (RegSetValueExA(h, "p" + std::to_string(id) + "_" + std::to_string(i), REG_SZ,
                           reinterpret_cast<const std::uint8_t*>(data.data()), static_cast<std::uint32_t>(data.size())))
          return 3;
      }
      return RegCloseKey(h) ? 4 : 0;
    };
  };
  // Both start on a store file that does not exist yet.
  const pid_t a = spawnChild(writer(1), start);
  const pid_t b = spawnChild(writer(2), start);
  close(start[0]);
  close(start[1]);  // lets both go
  EXPECT_EQ(waitExit(a), 0);
  EXPECT_EQ(waitExit(b), 0);

  HKEY h = 0;
  ASSERT_EQ(RegOpenKeyA(HKEY_CURRENT_USER, "Software\\Veltrano\\Concurrent", &h), ERROR_SUCCESS);
  std::vector<ValueEntry> values;
  ASSERT_EQ(RegEnumValues(h, &values), ERROR_SUCCESS);
  RegCloseKey(h);
  ASSERT_EQ(values.size(), 2u * kPerProcess);
  int wrong = 0;
  for (const auto& v : values) {
    const auto sep = v.name.find('_');
    const std::string expected = v.name.substr(1, sep - 1) + ":" + v.name.substr(sep + 1);
    if (v.data != bytesOf(expected)) ++wrong;
  }
  EXPECT_EQ(wrong, 0);
}

// The registry editor built beside this test.
std::string regProgram() {
  return test::builtProgram("tools/reg/reg").string();
}

// Runs the registry editor on this test's store.
::testing::AssertionResult regTool(const std::string& args) {
  const auto r = test::run(regProgram() + " " + args + " </dev/null 2>&1");
  if (r.exitCode == 0) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "reg " << args << " -> " << r.exitCode << ": " << r.out;
}

// Another process deletes a key this process has just read and makes it again, after a second
// key took the old row.
TEST_F(RegistryStore, KeyMadeAgainByAnotherProcessIsTheOneRead) {
  ASSERT_EQ(writeValue(HKEY_CURRENT_USER, "Remade", "v", REG_SZ, bytesOf("mine")), 0);
  ASSERT_EQ(readValue(HKEY_CURRENT_USER, "Remade", "v").data, bytesOf("mine"));
  ASSERT_TRUE(regTool("delete 'HKCU\\Remade' /f"));
  ASSERT_TRUE(regTool("add 'HKCU\\Other' /v v /d other"));
  ASSERT_TRUE(regTool("add 'HKCU\\Remade' /v v /d theirs"));

  EXPECT_EQ(readValue(HKEY_CURRENT_USER, "Remade", "v").data, bytesOf(std::string("theirs") + '\0'));
  HKEY h = 0;
  ASSERT_EQ(RegOpenKeyA(HKEY_CURRENT_USER, "REMADE", &h), ERROR_SUCCESS);
  EXPECT_EQ(RegSetValueExA(h, "w", REG_SZ, reinterpret_cast<const std::uint8_t*>("x"), 1), ERROR_SUCCESS);
  RegCloseKey(h);
  EXPECT_EQ(readValue(HKEY_CURRENT_USER, "Remade", "w").data, bytesOf("x"));
  EXPECT_EQ(readValue(HKEY_CURRENT_USER, "Other", "w").rc, ERROR_FILE_NOT_FOUND);
}

TEST_F(RegistryStore, KeyDeletedByAnotherProcessReadsAndWritesNothing) {
  ASSERT_EQ(writeValue(HKEY_CURRENT_USER, "Doomed", "v", REG_SZ, bytesOf("x")), 0);
  ASSERT_EQ(readValue(HKEY_CURRENT_USER, "Doomed", "v").rc, ERROR_SUCCESS);
  ASSERT_TRUE(regTool("delete 'HKCU\\Doomed' /f"));

  HKEY h = 0;
  EXPECT_EQ(RegOpenKeyA(HKEY_CURRENT_USER, "Doomed", &h), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegDeleteKeyA(HKEY_CURRENT_USER, "Doomed"), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(readValue(HKEY_CURRENT_USER, "Doomed", "v").rc, ERROR_FILE_NOT_FOUND);
}

// ---- a damaged or unreadable store -----------------------------------------------------

TEST_F(RegistryStore, GarbageStoreFileGivesRegistryErrorsAndIsLeftAlone) {
  std::string garbage;
  for (int i = 0; i < 8192; ++i) garbage.push_back(static_cast<char>((i * 7919 + 13) % 251));
  test::writeFile(store_.file(), garbage);
  useStore(store_.file().string());

  HKEY h = 0;
  EXPECT_EQ(RegOpenKeyA(HKEY_CURRENT_USER, "Software", &h), ERROR_BADDB);
  EXPECT_EQ(RegCreateKeyA(HKEY_CURRENT_USER, "Software", &h), ERROR_BADDB);
  std::uint32_t type = 0, size = 0;
  EXPECT_EQ(RegQueryValueExA(HKEY_CURRENT_USER, "v", &type, nullptr, &size), ERROR_BADDB);
  EXPECT_EQ(RegSetValueExA(HKEY_CURRENT_USER, "v", REG_SZ, nullptr, 0), ERROR_BADDB);
  std::vector<std::string> names;
  EXPECT_EQ(RegEnumKeys(HKEY_CURRENT_USER, &names), ERROR_BADDB);
  EXPECT_EQ(test::readFile(store_.file()), garbage) << "a damaged store is never overwritten";
}

TEST_F(RegistryStore, StoreDamagedInsideGivesErrorsWithoutCrashing) {
  for (int i = 0; i < 200; ++i)
    ASSERT_EQ(writeValue(HKEY_CURRENT_USER, "Damaged\\K" + std::to_string(i), "v", REG_SZ, Bytes(300, 'x')), 0);
  useStore("");  // closes the store cleanly
  std::string content = test::readFile(store_.file());
  ASSERT_GT(content.size(), 16384u);
  for (std::size_t i = 4096; i < content.size(); ++i) content[i] = static_cast<char>(i * 31 % 256);
  test::writeFile(store_.file(), content);
  useStore(store_.file().string());

  // Whatever a call meets, it answers with a registry code (or finds what survived).
  HKEY h = 0;
  const long open = RegOpenKeyA(HKEY_CURRENT_USER, "Damaged\\K150", &h);
  EXPECT_TRUE(open == ERROR_SUCCESS || open == ERROR_FILE_NOT_FOUND || (open >= ERROR_BADDB && open <= ERROR_CANTWRITE))
      << open;
  std::uint32_t type = 0, size = 0;
  const long query = RegQueryValueExA(open == ERROR_SUCCESS ? h : HKEY_CURRENT_USER, "v", &type, nullptr, &size);
  EXPECT_NE(query, ERROR_SUCCESS);
  std::vector<std::string> names;
  HKEY parent = 0;
  if (RegOpenKeyA(HKEY_CURRENT_USER, "Damaged", &parent) == ERROR_SUCCESS) {
    const long rc = RegEnumKeys(parent, &names);
    EXPECT_TRUE(rc == ERROR_SUCCESS || rc == ERROR_CANTREAD) << rc;
  }
}

TEST_F(RegistryStore, UnreadableStoreFailsEveryCallUntilTheFaultClears) {
  ASSERT_EQ(writeValue(HKEY_CURRENT_USER, "Faults", "v", REG_SZ, bytesOf("x")), 0);
  injectFault("*", ERROR_CANTREAD, -1);
  HKEY h = 0;
  EXPECT_EQ(RegOpenKeyA(HKEY_CURRENT_USER, "Faults", &h), ERROR_CANTREAD);
  EXPECT_EQ(RegCreateKeyA(HKEY_CURRENT_USER, "Faults", &h), ERROR_CANTREAD);
  EXPECT_EQ(RegFlushKey(HKEY_CURRENT_USER), ERROR_CANTREAD);
  EXPECT_EQ(readValue(HKEY_CURRENT_USER, "Faults", "v").rc, ERROR_CANTREAD);
  clearFaults();
  EXPECT_EQ(readValue(HKEY_CURRENT_USER, "Faults", "v").data, bytesOf("x"));

  // A fault counted once hits the next call of that operation only.
  injectFault("set", ERROR_CANTWRITE, 1);
  EXPECT_EQ(writeValue(HKEY_CURRENT_USER, "Faults", "v", REG_SZ, bytesOf("y")), ERROR_CANTWRITE);
  EXPECT_EQ(readValue(HKEY_CURRENT_USER, "Faults", "v").data, bytesOf("x")) << "the failed write changed nothing";
  EXPECT_EQ(writeValue(HKEY_CURRENT_USER, "Faults", "v", REG_SZ, bytesOf("y")), ERROR_SUCCESS);
}

TEST_F(RegistryStore, StoreThatCannotBeOpenedGivesCantOpen) {
  test::TempDir dir;
  useStore(dir.path().string());  // a folder, not a file
  HKEY h = 0;
  EXPECT_EQ(RegCreateKeyA(HKEY_CURRENT_USER, "Software", &h), ERROR_CANTOPEN);
  EXPECT_EQ(RegOpenKeyA(HKEY_CURRENT_USER, "Software", &h), ERROR_CANTOPEN);
}

// A real full disk: a child process in a mount namespace of its own mounts a small tmpfs,
// puts a store on it, fills the rest and reads and writes. It reports, one per line: the
// code of a read and of a write on the full disk, the event-log entries written, and the
// value read once space is freed. Exit code 77: no namespace or tmpfs may be made here.
TEST_F(RegistryStore, FullDiskSaysSoInTheCodeAndTheEventLogAndLosesNothing) {
  test::TempDir dir;
  const std::string mountPoint = (dir.path() / "disk").string();
  std::filesystem::create_directory(mountPoint);
  const std::string report = (dir.path() / "report").string();
  releaseStore();
  const pid_t pid = spawnChild([&] {
    if (unshare(CLONE_NEWNS) != 0 || mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
        mount("tmpfs", mountPoint.c_str(), "tmpfs", 0, "size=256k") != 0)
      return 77;
    useStore(mountPoint + "/registry.db");
    if (writeValue(HKEY_CURRENT_USER, "Software\\Kept", "v", REG_SZ, bytesOf("kept")) != ERROR_SUCCESS) return 2;
    useStore("");  // closed: its log is folded in and removed, as after a program ends
    {
      std::ofstream fill(mountPoint + "/fill", std::ios::binary);
      const std::string block(4096, 'f');
      for (int i = 0; i < 1024 && fill.write(block.data(), block.size()); ++i) fill.flush();
    }
    std::vector<std::string> log;
    eventlog::setSink([&](const eventlog::Entry& e) { log.push_back(e.source + ": " + e.text); });
    useStore(mountPoint + "/registry.db");
    std::ofstream out(report);
    out << readValue(HKEY_CURRENT_USER, "Software\\Kept", "v").rc << "\n";
    out << writeValue(HKEY_CURRENT_USER, "Software\\Kept", "w", REG_SZ, Bytes(20000, 'w')) << "\n";
    out << log.size() << "\n";
    for (const auto& line : log) out << line << "\n";
    std::filesystem::remove(mountPoint + "/fill");
    const Read after = readValue(HKEY_CURRENT_USER, "Software\\Kept", "v");
    out << std::string(after.data.begin(), after.data.end()) << "\n";
    eventlog::setSink(nullptr);
    return 0;
  });
  const int rc = waitExit(pid);
  if (rc == 77) GTEST_SKIP() << "no mount namespace or tmpfs may be made here";
  ASSERT_EQ(rc, 0);
  std::ifstream in(report);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  ASSERT_EQ(lines.size(), 5u) << test::readFile(report);
  EXPECT_EQ(lines[0], std::to_string(ERROR_DISK_FULL)) << "read";
  EXPECT_EQ(lines[1], std::to_string(ERROR_DISK_FULL)) << "write";
  EXPECT_EQ(lines[2], "1") << "one entry while the store keeps failing the same way";
  EXPECT_EQ(lines[3], "Registry: The registry store " + mountPoint +
                          "/registry.db cannot be written or read: there is not enough space on its disk.");
  EXPECT_EQ(lines[4], "kept") << "nothing lost once space is freed";
}

}  // namespace
}  // namespace veltrano::reg
