#pragma once
// A private MariaDB server for the tests: its own data folder and Unix socket, a free loopback
// port, utf8mb4 with the collation utf8mb4_nopad_bin. The data folder is a copy of one made
// once with mariadb-install-db and kept in the build tree (making it takes seconds; copying
// it, a few milliseconds), root has no password.
//
// MariadbInstance::shared() is the server the suite's tests share, each test in schemas of its
// own (TestSchemas): under CTest the one the fixture test MariadbForTests.Start started for the
// whole run (tests/server/mariadb_for_tests.cpp), else one started for this process on first
// use. A test that needs a server to itself (stopping it, fixed schema names) makes its own.

#include <sys/types.h>

#include <filesystem>
#include <string>
#include <vector>

#include "server/options.h"

namespace veltrano::test {

class MariadbInstance {
 public:
  // Starts a server in `folder` (created; the socket is folder/sock when that path is short
  // enough). Throws std::runtime_error, with the end of the server's log, when it does not
  // answer within 60 seconds. An owned server never outlives this process; a detached one
  // runs until stopped by its pid (the fixture).
  enum class Lifetime { Owned, Detached };
  explicit MariadbInstance(std::filesystem::path folder, Lifetime lifetime = Lifetime::Owned);
  // Stops the server (when this object started it) and leaves its folder.
  ~MariadbInstance();
  MariadbInstance(const MariadbInstance&) = delete;
  MariadbInstance& operator=(const MariadbInstance&) = delete;

  // The instance described by `folder`/instance (written by a started instance), when it
  // answers; nullptr otherwise. Not stopped when destroyed.
  static std::unique_ptr<MariadbInstance> attach(const std::filesystem::path& folder);
  static MariadbInstance& shared();

  // Stops the server: SIGTERM and a wait (`graceful`), or SIGKILL at once. Then start() runs it
  // again on the same folder, socket and port.
  void stop(bool graceful = true);
  void start();

  const std::string& socket() const { return socket_; }
  int port() const { return port_; }
  pid_t pid() const { return pid_; }

  // Runs statements as root (several, separated by ";"). Throws std::runtime_error with
  // MariaDB's message.
  void execute(const std::string& sql) const;
  // The first value of the first row as text ("" for NULL or no row), as root, in `schema`
  // when given.
  std::string scalar(const std::string& sql, const std::string& schema = "") const;

  // Addresses for the server's catalogue: through the socket, or over TCP on 127.0.0.1.
  server::MariadbAddress socketAddress(const std::string& user = "root") const;
  server::MariadbAddress tcpAddress(const std::string& user = "root") const;

 private:
  MariadbInstance() = default;
  void writeDescription() const;
  bool answers() const;

  std::filesystem::path folder_;
  std::string socket_;
  int port_ = 0;
  pid_t pid_ = -1;
  bool owned_ = true;
};

// Schemas of one test on the shared server, with names unique to the process and test
// ("t<pid>_<n>_<base>"); dropped, with the accounts made through it, when it goes.
class TestSchemas {
 public:
  TestSchemas();
  ~TestSchemas();
  TestSchemas(const TestSchemas&) = delete;
  TestSchemas& operator=(const TestSchemas&) = delete;

  MariadbInstance& server() const { return server_; }
  // Creates the schema for `base` (utf8mb4, utf8mb4_nopad_bin) and runs `sql` in it; returns
  // its name, which is also the database name requests use.
  std::string create(const std::string& base, const std::string& sql = "");
  // An account on loopback with `rights` ("select") on the schemas made so far; returns its
  // name (its password is `password`).
  std::string account(const std::string& base, const std::string& rights,
                      const std::string& password = "");

 private:
  MariadbInstance& server_;
  std::string prefix_;
  std::vector<std::string> schemas_;
  std::vector<std::string> accounts_;
};

}  // namespace veltrano::test
