#include "server_fixture.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <cctype>
#include <chrono>
#include <stdexcept>

#include "updater/query_protocol.h"

extern char** environ;

namespace veltrano::test {

void makeSampleData(const std::filesystem::path& dir, const std::string& hostPort,
                    const std::string& registrable) {
  // Appended piece by piece: GCC 12 warns (-Wrestrict, wrongly) on "'" + std::string chains.
  std::string cmd = "'";
  for (const std::string& part : {builtProgram("server/make-sample-data").string(), dir.string(), hostPort, registrable}) {
    if (part.empty()) continue;
    cmd += part;
    cmd += "' '";
  }
  cmd.resize(cmd.size() - 2);
  cmd += " 2>&1";
  const CommandResult r = run(cmd);
  ASSERT_EQ(r.exitCode, 0) << r.out;
}

void loadSampleMariadb(const MariadbInstance& server, const std::string& hostPort) {
  const ScopedEnv password("VELTRANO_SERVER_DB_PASSWORD", kSamplePassword);
  const CommandResult r = run("'" + builtProgram("server/load-sample-mariadb").string() + "' '" +
                              server.socket() + "' '" + hostPort + "' 2>&1");
  ASSERT_EQ(r.exitCode, 0) << r.out;
}

void ServerProgramFixture::start(std::vector<std::string> extra, Backend backend) {
  std::vector<std::string> args = {"--data", dir_.path().string()};
  args.insert(args.end(), extra.begin(), extra.end());
  std::unique_ptr<ScopedEnv> password;
  if (backend == Backend::Mariadb) {
    // The accounts must be there when the program starts; the files' address is known after.
    mariadb_ = std::make_unique<MariadbInstance>(dir_.path() / "mariadb");
    loadSampleMariadb(*mariadb_, "127.0.0.1:1");
    bool writable = false;
    for (const auto& a : extra) writable = writable || a == "--writable";
    args.push_back("--database");
    args.push_back(std::string("mariadb://") + (writable ? "veltrano_rw" : "veltrano_ro") +
                   "@localhost/?socket=" + mariadb_->socket());
    password = std::make_unique<ScopedEnv>("VELTRANO_SERVER_DB_PASSWORD", kSamplePassword);
  }
  server_ = std::make_unique<ServerProcess>(args);
  ASSERT_TRUE(server_->started()) << server_->firstLine() << server_->errorOutput();
  makeSampleData(dir_.path(), server_->hostPort());
  if (mariadb_)
    mariadb_->execute("update qz_update.qz_files set sourcepath = replace(sourcepath, '127.0.0.1:1/', '" +
                      server_->hostPort() + "/')");
}

std::string ServerProgramFixture::sampleValue(const std::string& database, const std::string& sql) const {
  if (mariadb_) return mariadb_->scalar(sql, database);
  sqlite3* db = nullptr;
  sqlite3_open_v2((dir_.path() / "db" / (database + ".sqlite")).c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
  sqlite3_stmt* st = nullptr;
  sqlite3_prepare_v2(db, sql.c_str(), -1, &st, nullptr);
  std::string v;
  if (sqlite3_step(st) == SQLITE_ROW && sqlite3_column_text(st, 0))
    v = reinterpret_cast<const char*>(sqlite3_column_text(st, 0));
  sqlite3_finalize(st);
  sqlite3_close(db);
  return v;
}

std::string queryForm(const std::string& sql, const std::string& database,
                      const std::string& userId) {
  const std::string k1 = meridox::MakeDigitKey();
  const std::string k2 = meridox::MakeDigitKey();
  return "SQL=" + k1 + meridox::EncDecText(sql + " ", k1, -1) + "&DATABASE=" + k2 +
         meridox::EncDecText(database, k2, -1) + "&USERID=" + k2 +
         meridox::EncDecText(userId, k2, -1);
}

std::string RawReply::header(const std::string& name) const {
  auto lower = [](std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
  };
  const std::string want = lower(name) + ":";
  std::size_t pos = head.find("\r\n");
  while (pos != std::string::npos && pos + 2 < head.size()) {
    const std::size_t end = head.find("\r\n", pos + 2);
    const std::string line = head.substr(pos + 2, end - pos - 2);
    if (lower(line).rfind(want, 0) == 0) {
      std::string v = line.substr(want.size());
      while (!v.empty() && v.front() == ' ') v.erase(0, 1);
      return v;
    }
    pos = end;
  }
  return "";
}

RawReply rawRequest(int port, const std::string& request) {
  RawReply reply;
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(static_cast<std::uint16_t>(port));
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
    ::close(fd);
    return reply;
  }
  std::size_t sent = 0;
  while (sent < request.size()) {
    const ssize_t n = ::send(fd, request.data() + sent, request.size() - sent, MSG_NOSIGNAL);
    if (n <= 0) break;
    sent += static_cast<std::size_t>(n);
  }
  std::string all;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (std::chrono::steady_clock::now() < deadline) {
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, 1000) < 0) break;
    if (!(p.revents & (POLLIN | POLLHUP))) continue;
    char buf[65536];
    const ssize_t n = ::read(fd, buf, sizeof buf);
    if (n <= 0) break;
    all.append(buf, static_cast<std::size_t>(n));
  }
  ::close(fd);
  const std::size_t split = all.find("\r\n\r\n");
  reply.head = all.substr(0, split);
  if (split != std::string::npos) reply.body = all.substr(split + 4);
  if (reply.head.size() > 12) reply.status = std::atoi(reply.head.substr(9, 3).c_str());
  return reply;
}

RawReply rawGet(int port, const std::string& target, const std::string& headers,
                const std::string& method) {
  return rawRequest(port, method + " " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\n" + headers +
                              "Connection: close\r\n\r\n");
}

ServerProcess::ServerProcess(std::vector<std::string> args) {
  const std::string program = builtProgram("server/veltrano-server").string();
  bool hasListen = false;
  for (const auto& a : args) hasListen = hasListen || a.rfind("--listen", 0) == 0;
  if (!hasListen) {
    args.push_back("--listen");
    args.push_back("127.0.0.1:0");
  }
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(program.c_str()));
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);

  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) throw std::runtime_error("pipe");
  const std::string errFile = (stderrDir_.path() / "stderr").string();
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
  posix_spawn_file_actions_addopen(&actions, 2, errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  const int rc = posix_spawn(&pid_, program.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  ::close(fds[1]);
  outFd_ = fds[0];
  if (rc != 0) {
    pid_ = -1;
    return;
  }

  // The first line, within 10 seconds.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (pending_.find('\n') == std::string::npos) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return;
    pollfd p{outFd_, POLLIN, 0};
    if (poll(&p, 1, static_cast<int>(left.count())) <= 0) return;
    char buf[512];
    const ssize_t n = ::read(outFd_, buf, sizeof buf);
    if (n <= 0) return;
    pending_.append(buf, static_cast<std::size_t>(n));
  }
  const auto nl = pending_.find('\n');
  firstLine_ = pending_.substr(0, nl);
  pending_.erase(0, nl + 1);
  const auto colon = firstLine_.rfind(':');
  if (firstLine_.rfind("listening on ", 0) == 0 && colon != std::string::npos)
    port_ = std::stoi(firstLine_.substr(colon + 1));
}

ServerProcess::~ServerProcess() {
  if (pid_ > 0) stop(SIGKILL);
  if (outFd_ >= 0) ::close(outFd_);
}

int ServerProcess::stop(int signal) {
  if (pid_ <= 0) return -1;
  ::kill(pid_, signal);
  int status = 0;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (true) {
    const pid_t r = ::waitpid(pid_, &status, WNOHANG);
    if (r == pid_) break;
    if (std::chrono::steady_clock::now() > deadline) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, &status, 0);
      pid_ = -1;
      return -1;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  pid_ = -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string ServerProcess::restOfOutput() {
  if (pid_ > 0 || outFd_ < 0) return pending_;
  char buf[4096];
  ssize_t n;
  while ((n = ::read(outFd_, buf, sizeof buf)) > 0) pending_.append(buf, static_cast<std::size_t>(n));
  return pending_;
}

std::string ServerProcess::errorOutput() const { return readFile(stderrDir_.path() / "stderr"); }

InProcessServer::InProcessServer(server::ServerOptions options) {
  options.host = "127.0.0.1";
  options.port = 0;
  server_ = std::make_unique<server::HttpServer>(std::move(options));
  port_ = server_->bind();
  thread_ = std::thread([this] { server_->run(); });
}

InProcessServer::~InProcessServer() {
  server_->stop();
  if (thread_.joinable()) thread_.join();
}

}  // namespace veltrano::test
