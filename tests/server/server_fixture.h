#pragma once
// Helpers of the server tests: the sample data set, the server as a child process or in this
// process, and query-service form bodies.

#include <sys/types.h>

#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "backends.h"
#include "mariadb_instance.h"
#include "server/http_server.h"
#include "support/test_support.h"

namespace veltrano::test {

// Runs server/make-sample-data into `dir` for `hostPort`; fails the test when it fails.
void makeSampleData(const std::filesystem::path& dir, const std::string& hostPort,
                    const std::string& registrable = "");

// The password of the sample accounts in the tests' MariaDB servers (quotes and all).
inline constexpr const char* kSamplePassword = "sample pw'\"1";

// Runs server/deploy/load-sample-mariadb for `server` and `hostPort`, with kSamplePassword for
// the accounts veltrano_ro and veltrano_rw; fails the test when it fails.
void loadSampleMariadb(const MariadbInstance& server, const std::string& hostPort);

// The query-service form for a statement, as the updater builds it: fresh keys, the statement
// with one blank added, keyed hex.
std::string queryForm(const std::string& sql, const std::string& database,
                      const std::string& userId = "");

// A request written byte for byte on a fresh connection (so targets reach the server exactly
// as given), and its reply read to the end (at most 10 seconds).
struct RawReply {
  int status = 0;
  std::string head;  // status line and headers
  std::string body;
  // The value of a header (name compared without regard to case), or "".
  std::string header(const std::string& name) const;
};
RawReply rawRequest(int port, const std::string& request);
// GET (or another method) of `target` with optional extra header lines ("Range: bytes=0-9\r\n").
RawReply rawGet(int port, const std::string& target, const std::string& headers = "",
                const std::string& method = "GET");

// veltrano-server started as a child process on 127.0.0.1 port 0; the port is read from the
// first line of its standard output (at most 10 seconds).
class ServerProcess {
 public:
  explicit ServerProcess(std::vector<std::string> args);
  ~ServerProcess();
  ServerProcess(const ServerProcess&) = delete;
  ServerProcess& operator=(const ServerProcess&) = delete;

  bool started() const { return port_ > 0; }
  int port() const { return port_; }
  pid_t pid() const { return pid_; }
  std::string hostPort() const { return "127.0.0.1:" + std::to_string(port_); }
  const std::string& firstLine() const { return firstLine_; }

  // Sends the signal and waits for the end (at most 10 seconds, then SIGKILL). Returns the
  // exit code, or -1 when the process did not exit by itself.
  int stop(int signal);
  // Standard output after the first line, and standard error; complete once stopped.
  std::string restOfOutput();
  std::string errorOutput() const;

 private:
  pid_t pid_ = -1;
  int outFd_ = -1;
  int port_ = -1;
  std::string firstLine_;
  std::string pending_;
  TempDir stderrDir_;
};

// A sample data folder and the server program serving it, for suites of its own.
class ServerProgramFixture : public ::testing::Test {
 protected:
  // Starts the program on the folder (with `extra` options), then makes the sample data in it:
  // its databases in SQLite files, or, on MariaDB, in a MariaDB server of the test's own loaded
  // as server/deploy/load-sample-mariadb loads it, the program on the account veltrano_ro
  // (veltrano_rw with --writable) through the socket.
  void start(std::vector<std::string> extra = {}, Backend backend = Backend::Sqlite);
  int port() const { return server_->port(); }
  std::filesystem::path files() const { return dir_.path() / "files"; }
  // A value straight from a sample database, not through the program.
  std::string sampleValue(const std::string& database, const std::string& sql) const;

  TempDir dir_;
  std::unique_ptr<MariadbInstance> mariadb_;
  std::unique_ptr<ServerProcess> server_;
};

// The server object running in this process on 127.0.0.1 port 0.
class InProcessServer {
 public:
  explicit InProcessServer(server::ServerOptions options);
  ~InProcessServer();
  int port() const { return port_; }
  std::string hostPort() const { return "127.0.0.1:" + std::to_string(port_); }
  server::HttpServer& server() { return *server_; }

 private:
  std::unique_ptr<server::HttpServer> server_;
  std::thread thread_;
  int port_ = -1;
};

}  // namespace veltrano::test
