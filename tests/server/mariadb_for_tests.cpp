// mariadb-for-tests start|stop FOLDER: the MariaDB server the server tests share during a CTest
// run (the fixture tests MariadbForTests.Start and MariadbForTests.Stop). "start" replaces any
// server a previous run left in FOLDER and leaves the new one running; "stop" stops it and
// removes FOLDER.

#include <cstdio>
#include <cstring>
#include <exception>
#include <filesystem>
#include <string>

#include "mariadb_instance.h"

using veltrano::test::MariadbInstance;

int main(int argc, char** argv) {
  if (argc != 3 || (std::strcmp(argv[1], "start") != 0 && std::strcmp(argv[1], "stop") != 0)) {
    std::fprintf(stderr, "usage: mariadb-for-tests start|stop FOLDER\n");
    return 2;
  }
  const std::filesystem::path folder = argv[2];
  try {
    if (auto previous = MariadbInstance::attach(folder)) previous->stop(false);
    std::error_code ec;
    std::filesystem::remove_all(folder, ec);
    if (std::strcmp(argv[1], "start") == 0) {
      MariadbInstance server(folder, MariadbInstance::Lifetime::Detached);
      std::printf("MariaDB for the tests: socket %s, port %d, pid %d\n", server.socket().c_str(),
                  server.port(), static_cast<int>(server.pid()));
    }
  } catch (const std::exception& e) {
    std::fprintf(stderr, "mariadb-for-tests: %s\n", e.what());
    return 1;
  }
  return 0;
}
