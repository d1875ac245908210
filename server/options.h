#pragma once
// The command line of the reference server: where it listens, what it serves, its limits.

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace veltrano::server {

// Where the MariaDB server is (--database mariadb://USER@HOST:PORT, or
// mariadb://USER@localhost/?socket=PATH).
struct MariadbAddress {
  std::string user;
  std::string host;    // "localhost" with a socket
  int port = 3306;
  std::string socket;  // a Unix socket path, or "" for TCP
};

struct ServerOptions {
  std::string host = "127.0.0.1";
  int port = 8080;                       // 0 picks a free port
  std::filesystem::path dataDir;         // db/<name>.sqlite and files/
  bool writable = false;                 // allow modifying statements
  std::string dataPath = "/Database/ORVEX/";  // address of the data service
  std::size_t maxRequestBytes = 16u << 20;
  std::size_t maxRows = 100000;
  std::size_t maxReplyBytes = 64u << 20;  // largest service reply body
  int threads = 16;                      // database workers
  int headerSeconds = 10;                // whole request head, and idle time between requests
  std::size_t minBodyRate = 16384;       // bytes per second a request body must keep up
  int stallSeconds = 60;                 // a reply that makes no progress for this long is cut
  std::string accessLog;                 // "" none, "-" standard output, else a file
  std::filesystem::path tlsCert;         // both set: HTTPS on the listening address
  std::filesystem::path tlsKey;
  std::optional<MariadbAddress> mariadb;  // --database; nothing: SQLite files in DIR/db
  std::filesystem::path databasePasswordFile;
  // The MariaDB password: never from the command line, filled in by readDatabasePassword().
  std::string databasePassword;
  int dbConnections = 8;                 // MariaDB connections, pooled
  std::string accelRedirect;             // "" serve files; else the front's internal location
};

// What the command line asks for: run the server, show the help, or an error to report.
struct ParsedCommandLine {
  enum class Action { Run, Help, Error } action = Action::Run;
  ServerOptions options;
  std::string error;  // for Action::Error: one line saying what is wrong
};

// Reads the arguments after the program name. Options take their value as the next argument
// or after "=" ("--listen=127.0.0.1:0").
ParsedCommandLine parseCommandLine(const std::vector<std::string>& args);

// "mariadb://USER@HOST[:PORT]" or "mariadb://USER@localhost/?socket=PATH" (user and path
// %-escaped); false with the reason when it is not one (a password in it included).
bool parseMariadbUrl(const std::string& text, MariadbAddress& out, std::string& error);

// Fills in options.databasePassword for a MariaDB database: the content of
// --database-password-file without its final line break, else the environment variable VELTRANO_SERVER_DB_PASSWORD, else
// empty. False with the reason when the file cannot be read.
bool readDatabasePassword(ServerOptions& options, std::string& error);

// "HOST:PORT" (the host may be a bracketed IPv6 address); false when it is not one.
bool parseHostPort(const std::string& text, std::string& host, int& port);

// The text of --help: every option with its default.
std::string helpText();

}  // namespace veltrano::server
