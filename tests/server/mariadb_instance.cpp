#include "mariadb_instance.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <mysql.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <thread>

#include "support/test_support.h"

namespace veltrano::test {

namespace fs = std::filesystem;

namespace {

const char* const kInnodbSettings[] = {"--innodb-buffer-pool-size=16M", "--innodb-log-file-size=4M"};

std::string serverProgram() {
  return fs::exists("/usr/sbin/mariadbd") ? "/usr/sbin/mariadbd" : "mariadbd";
}

std::string tail(const fs::path& file) {
  const std::string all = readFile(file);
  return all.size() > 3000 ? all.substr(all.size() - 3000) : all;
}

// The data folder every instance starts from, made once (by whichever process comes first)
// and kept in the build tree while the server's version stays the same.
fs::path templateFolder() {
  const fs::path root = builtProgram("tests/server/mariadb-template");
  fs::create_directories(root);
  const int lock = ::open((root / "lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  if (lock < 0) throw std::runtime_error("cannot open " + (root / "lock").string());
  ::flock(lock, LOCK_EX);
  struct Unlock {
    int fd;
    ~Unlock() { ::close(fd); }
  } unlock{lock};

  const std::string version = run("'" + serverProgram() + "' --version 2>&1").out;
  if (version.empty() || version.find("MariaDB") == std::string::npos)
    throw std::runtime_error("mariadbd does not run (Debian package mariadb-server): " + version);
  if (fs::exists(root / "data") && readFile(root / "ready") == version) return root / "data";

  std::error_code ec;
  fs::remove_all(root / "data", ec);
  fs::remove(root / "ready", ec);
  std::string command = "mariadb-install-db --no-defaults --datadir='" + (root / "data").string() +
                        "' --auth-root-authentication-method=normal --skip-test-db";
  for (const char* s : kInnodbSettings) command += std::string(" ") + s;
  if (::geteuid() == 0) command += " --user=root";
  command += " > '" + (root / "install.log").string() + "' 2>&1";
  if (run(command).exitCode != 0)
    throw std::runtime_error("mariadb-install-db failed:\n" + tail(root / "install.log"));
  writeFile(root / "ready", version);
  return root / "data";
}

int freeLoopbackPort() {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof addr;
  int port = 0;
  if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 &&
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) == 0)
    port = ntohs(addr.sin_port);
  ::close(fd);
  return port;
}

// A root connection through the socket, or nullptr.
using Connection = std::unique_ptr<MYSQL, decltype(&mysql_close)>;
Connection rootConnection(const std::string& socket, bool multi, std::string* error = nullptr) {
  static std::once_flag init;
  std::call_once(init, [] { mysql_library_init(0, nullptr, nullptr); });
  Connection c(mysql_init(nullptr), &mysql_close);
  const unsigned timeout = 10;
  mysql_optionsv(c.get(), MYSQL_OPT_CONNECT_TIMEOUT, &timeout);
  mysql_optionsv(c.get(), MYSQL_SET_CHARSET_NAME, "utf8mb4");
  if (!mysql_real_connect(c.get(), "localhost", "root", "", nullptr, 0, socket.c_str(),
                          multi ? CLIENT_MULTI_STATEMENTS : 0)) {
    if (error) *error = mysql_error(c.get());
    return Connection(nullptr, &mysql_close);
  }
  return c;
}

// The settings of the server's own sessions, for the statements tests run as root.
constexpr const char* kSessionSetup =
    "SET NAMES utf8mb4 COLLATE utf8mb4_nopad_bin; SET SESSION sql_mode = "
    "'STRICT_TRANS_TABLES,ERROR_FOR_DIVISION_BY_ZERO,NO_ENGINE_SUBSTITUTION,"
    "NO_BACKSLASH_ESCAPES,PIPES_AS_CONCAT';";

}  // namespace

MariadbInstance::MariadbInstance(fs::path folder, Lifetime lifetime)
    : folder_(std::move(folder)), owned_(lifetime == Lifetime::Owned) {
  fs::create_directories(folder_);
  socket_ = (folder_ / "sock").string();
  if (socket_.size() > 100) {
    char shorter[] = "/tmp/vmdb-XXXXXX";
    if (!::mkdtemp(shorter)) throw std::runtime_error("cannot make a folder for the socket");
    socket_ = std::string(shorter) + "/sock";
  }
  const fs::path data = templateFolder();
  fs::copy(data, folder_ / "data", fs::copy_options::recursive);
  std::string failure;
  for (int attempt = 0; attempt < 5; ++attempt) {
    port_ = freeLoopbackPort();
    try {
      start();
      writeDescription();
      return;
    } catch (const std::exception& e) {
      failure = e.what();  // perhaps the port was taken meanwhile: another one
    }
  }
  throw std::runtime_error(failure);
}

MariadbInstance::~MariadbInstance() {
  if (owned_ && pid_ > 0) stop(false);
}

void MariadbInstance::start() {
  std::vector<std::string> args = {
      serverProgram(),
      "--no-defaults",
      "--datadir=" + (folder_ / "data").string(),
      "--socket=" + socket_,
      "--port=" + std::to_string(port_),
      "--bind-address=127.0.0.1",
      "--character-set-server=utf8mb4",
      "--collation-server=utf8mb4_nopad_bin",
      "--skip-name-resolve",
      "--pid-file=" + (folder_ / "mariadbd.pid").string(),
      "--innodb-flush-log-at-trx-commit=0",
      "--max-connections=500",
  };
  for (const char* s : kInnodbSettings) args.push_back(s);
  if (::geteuid() == 0) args.push_back("--user=root");
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  const std::string log = (folder_ / "server.log").string();
  const bool owned = owned_;

  const pid_t child = ::fork();
  if (child < 0) throw std::runtime_error("fork failed");
  if (child == 0) {
    // Only calls safe after fork in a threaded process, up to exec.
    ::setsid();
    if (owned) ::prctl(PR_SET_PDEATHSIG, SIGKILL);  // never outlives the test process
    const int out = ::open(log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    const int in = ::open("/dev/null", O_RDONLY);
    if (out >= 0) {
      ::dup2(out, 1);
      ::dup2(out, 2);
    }
    if (in >= 0) ::dup2(in, 0);
    ::execvp(argv[0], argv.data());
    ::_exit(127);
  }
  pid_ = child;

  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (std::chrono::steady_clock::now() < deadline) {
    int status = 0;
    if (::waitpid(pid_, &status, WNOHANG) == pid_) {
      pid_ = -1;
      throw std::runtime_error("mariadbd ended at start:\n" + tail(log));
    }
    if (answers()) return;
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
  }
  stop(false);
  throw std::runtime_error("mariadbd did not answer within 60 seconds:\n" + tail(log));
}

void MariadbInstance::stop(bool graceful) {
  if (pid_ <= 0) return;
  ::kill(pid_, graceful ? SIGTERM : SIGKILL);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (true) {
    int status = 0;
    const pid_t r = ::waitpid(pid_, &status, WNOHANG);
    if (r == pid_ || (r < 0 && !processRunning(pid_))) break;  // ours, or another's child
    if (std::chrono::steady_clock::now() > deadline) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, &status, 0);
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  pid_ = -1;
  std::error_code ec;
  fs::remove(socket_, ec);
}

bool MariadbInstance::answers() const { return rootConnection(socket_, false) != nullptr; }

void MariadbInstance::writeDescription() const {
  writeFile(folder_ / "instance", socket_ + "\n" + std::to_string(port_) + "\n" + std::to_string(pid_) + "\n");
}

std::unique_ptr<MariadbInstance> MariadbInstance::attach(const fs::path& folder) {
  std::ifstream in(folder / "instance");
  std::unique_ptr<MariadbInstance> instance(new MariadbInstance());
  if (!(in >> instance->socket_ >> instance->port_ >> instance->pid_)) return nullptr;
  instance->folder_ = folder;
  instance->owned_ = false;
  if (!instance->answers()) return nullptr;
  return instance;
}

MariadbInstance& MariadbInstance::shared() {
  static std::unique_ptr<TempDir> folder;  // removed after the server has stopped
  static std::unique_ptr<MariadbInstance> instance;
  static std::mutex mutex;
  std::lock_guard lock(mutex);
  if (!instance) instance = attach(builtProgram("tests/server/shared-mariadb"));
  if (!instance) {
    folder = std::make_unique<TempDir>();
    instance = std::make_unique<MariadbInstance>(folder->path() / "mariadb");
  }
  return *instance;
}

void MariadbInstance::execute(const std::string& sql) const {
  std::string error;
  Connection c = rootConnection(socket_, true, &error);
  if (!c) throw std::runtime_error("cannot connect to the test MariaDB: " + error);
  const std::string all = std::string(kSessionSetup) + sql;
  int rc = mysql_real_query(c.get(), all.data(), all.size());
  while (rc == 0) {
    if (MYSQL_RES* r = mysql_store_result(c.get())) mysql_free_result(r);
    rc = mysql_next_result(c.get());
    if (rc == -1) return;
  }
  throw std::runtime_error(std::string("MariaDB: ") + mysql_error(c.get()) + "\nin: " + sql);
}

std::string MariadbInstance::scalar(const std::string& sql, const std::string& schema) const {
  std::string error;
  Connection c = rootConnection(socket_, false, &error);
  if (!c) throw std::runtime_error("cannot connect to the test MariaDB: " + error);
  mysql_query(c.get(), "SET NAMES utf8mb4 COLLATE utf8mb4_nopad_bin");
  if (!schema.empty() && mysql_select_db(c.get(), schema.c_str()) != 0)
    throw std::runtime_error(std::string("MariaDB: ") + mysql_error(c.get()));
  if (mysql_real_query(c.get(), sql.data(), sql.size()) != 0)
    throw std::runtime_error(std::string("MariaDB: ") + mysql_error(c.get()) + "\nin: " + sql);
  MYSQL_RES* r = mysql_store_result(c.get());
  std::string value;
  if (r) {
    if (MYSQL_ROW row = mysql_fetch_row(r); row && row[0])
      value.assign(row[0], mysql_fetch_lengths(r)[0]);
    mysql_free_result(r);
  }
  return value;
}

server::MariadbAddress MariadbInstance::socketAddress(const std::string& user) const {
  return server::MariadbAddress{user, "localhost", 0, socket_};
}

server::MariadbAddress MariadbInstance::tcpAddress(const std::string& user) const {
  return server::MariadbAddress{user, "127.0.0.1", port_, ""};
}

TestSchemas::TestSchemas() : server_(MariadbInstance::shared()) {
  static std::atomic<int> counter{0};
  prefix_ = "t" + std::to_string(::getpid()) + "_" + std::to_string(++counter) + "_";
}

TestSchemas::~TestSchemas() {
  std::string sql;
  for (const auto& s : schemas_) sql += "DROP DATABASE IF EXISTS `" + s + "`;";
  for (const auto& a : accounts_)
    sql += "DROP USER IF EXISTS '" + a + "'@'localhost', '" + a + "'@'127.0.0.1';";
  try {
    if (!sql.empty()) server_.execute(sql);
  } catch (...) {
  }
}

std::string TestSchemas::create(const std::string& base, const std::string& sql) {
  const std::string name = prefix_ + base;
  schemas_.push_back(name);
  server_.execute("DROP DATABASE IF EXISTS `" + name + "`; CREATE DATABASE `" + name +
                  "` CHARACTER SET utf8mb4 COLLATE utf8mb4_nopad_bin; USE `" + name + "`;" + sql);
  return name;
}

std::string TestSchemas::account(const std::string& base, const std::string& rights,
                                 const std::string& password) {
  const std::string name = prefix_ + base;
  accounts_.push_back(name);
  std::string sql;
  for (const char* host : {"localhost", "127.0.0.1"}) {
    const std::string who = "'" + name + "'@'" + host + "'";
    sql += "CREATE OR REPLACE USER " + who + " IDENTIFIED BY '" + password + "';";
    for (const auto& s : schemas_) sql += "GRANT " + rights + " ON `" + s + "`.* TO " + who + ";";
  }
  server_.execute(sql);
  return name;
}

}  // namespace veltrano::test
