#pragma once
// The command line of the reference server: where it listens, what it serves, its limits.

#include <cstddef>
#include <filesystem>
#include <string>
#include <vector>

namespace veltrano::server {

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

// "HOST:PORT" (the host may be a bracketed IPv6 address); false when it is not one.
bool parseHostPort(const std::string& text, std::string& host, int& port);

// The text of --help: every option with its default.
std::string helpText();

}  // namespace veltrano::server
