// veltrano-server: the reference server (query service, data service, file host).

#include <pthread.h>
#include <signal.h>

#include <cstdio>
#include <exception>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "server/http_server.h"
#include "server/mariadb_catalog.h"
#include "server/options.h"

using veltrano::server::HttpServer;
using veltrano::server::ParsedCommandLine;

int main(int argc, char** argv) {
  ParsedCommandLine cmd = veltrano::server::parseCommandLine(
      std::vector<std::string>(argv + 1, argv + argc));
  switch (cmd.action) {
    case ParsedCommandLine::Action::Help:
      std::fputs(veltrano::server::helpText().c_str(), stdout);
      return 0;
    case ParsedCommandLine::Action::Error:
      std::fprintf(stderr, "veltrano-server: %s\n", cmd.error.c_str());
      return 2;
    case ParsedCommandLine::Action::Run:
      break;
  }

  // SIGTERM and SIGINT are taken by one thread with sigwait, blocked everywhere else (the
  // worker threads inherit the mask), so the stop runs as ordinary code, not in a handler.
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGTERM);
  sigaddset(&stopSignals, SIGINT);
  pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
  signal(SIGPIPE, SIG_IGN);

  std::error_code ec;
  if (!std::filesystem::is_directory(cmd.options.dataDir, ec)) {
    const bool exists = std::filesystem::exists(cmd.options.dataDir, ec);
    std::fprintf(stderr, exists ? "veltrano-server: %s is not a folder (--data names the data folder)\n"
                                : "veltrano-server: the data folder %s does not exist\n",
                 cmd.options.dataDir.c_str());
    return 1;
  }

  if (cmd.options.mariadb) {
    std::string problem;
    if (!veltrano::server::readDatabasePassword(cmd.options, problem)) {
      std::fprintf(stderr, "veltrano-server: %s\n", problem.c_str());
      return 1;
    }
    // A wrong account or password is reported now; a server not up yet is waited for: each
    // request tries to reach it.
    veltrano::server::MariadbCatalog::Settings settings{*cmd.options.mariadb,
                                                        cmd.options.databasePassword, 1};
    try {
      veltrano::server::MariadbCatalog(settings, cmd.options.writable, {}).connect();
    } catch (const veltrano::server::StatementError& e) {
      if (e.code() < 2000 || e.code() >= 3000) {
        std::fprintf(stderr, "veltrano-server: %s\n", e.what());
        return 1;
      }
      std::fprintf(stderr, "veltrano-server: warning: %s\n", e.what());
    }
  }

  try {
    HttpServer server(cmd.options);
    server.bind();
    std::printf("listening on %s\n", server.address().c_str());
    std::fflush(stdout);

    std::thread waiter([&server, stopSignals] {
      int sig = 0;
      sigwait(&stopSignals, &sig);
      server.stop();
    });
    waiter.detach();  // ends with the process; it only ever calls stop()

    server.run();
    std::fprintf(stderr, "veltrano-server: stopped\n");
  } catch (const std::exception& e) {
    std::fprintf(stderr, "veltrano-server: %s\n", e.what());
    return 1;
  }
  return 0;
}
