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
  int threads = 16;
  std::string accessLog;                 // "" none, "-" standard output, else a file
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
