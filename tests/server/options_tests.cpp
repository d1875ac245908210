#include <gtest/gtest.h>

#include "server/options.h"

using namespace veltrano::server;
using Action = ParsedCommandLine::Action;

namespace {
ParsedCommandLine parse(std::vector<std::string> args) { return parseCommandLine(args); }
}  // namespace

TEST(ServerOptions, DefaultsNeedOnlyTheDataFolder) {
  const auto r = parse({"--data", "/srv/data"});
  ASSERT_EQ(r.action, Action::Run) << r.error;
  EXPECT_EQ(r.options.host, "127.0.0.1");
  EXPECT_EQ(r.options.port, 8080);
  EXPECT_EQ(r.options.dataDir, "/srv/data");
  EXPECT_FALSE(r.options.writable);
  EXPECT_EQ(r.options.dataPath, "/Database/ORVEX/");
  EXPECT_EQ(r.options.accessLog, "");
  EXPECT_EQ(parse({}).action, Action::Error);  // no --data
}

TEST(ServerOptions, EveryOptionInBothSpellings) {
  const auto r = parse({"--listen=[::1]:0", "--data=d", "--writable", "--data-path", "/db/",
                        "--max-request-bytes", "2048", "--max-rows=7", "--threads", "3",
                        "--access-log", "-", "--accel-redirect", "/_files/"});
  ASSERT_EQ(r.action, Action::Run) << r.error;
  EXPECT_EQ(r.options.host, "::1");
  EXPECT_EQ(r.options.port, 0);
  EXPECT_TRUE(r.options.writable);
  EXPECT_EQ(r.options.dataPath, "/db/");
  EXPECT_EQ(r.options.maxRequestBytes, 2048u);
  EXPECT_EQ(r.options.maxRows, 7u);
  EXPECT_EQ(r.options.threads, 3);
  EXPECT_EQ(r.options.accessLog, "-");
  EXPECT_EQ(r.options.accelRedirect, "/_files/");
}

TEST(ServerOptions, BadValuesAreErrorsNamingTheOption) {
  const std::vector<std::vector<std::string>> bad = {
      {"--data", "d", "--listen", "8080"},            // no host
      {"--data", "d", "--listen", "host:70000"},      // port out of range
      {"--data", "d", "--listen", "host:80x"},
      {"--data", "d", "--listen", "::1:80"},          // IPv6 without brackets
      {"--data", "d", "--threads", "0"},
      {"--data", "d", "--threads", "-4"},
      {"--data", "d", "--max-rows", "ten"},
      {"--data", "d", "--max-request-bytes", "10"},   // below the floor
      {"--data", "d", "--data-path", "Database"},     // not a path
      {"--data", "d", "--access-log"},                // value missing
      {"--data", "d", "--writable=yes"},
      {"--data", "d", "--colour"},
      {"--data", "d", "--accel-redirect", "/_files"},   // the prefix ends in /
      {"--data", "d", "--accel-redirect", "_files/"},
      {"--data", "d", "--accel-redirect=/a?b/"},
  };
  for (const auto& args : bad) {
    const auto r = parse(args);
    EXPECT_EQ(r.action, Action::Error) << args[2];
    EXPECT_NE(r.error.find(args[2].substr(0, args[2].find('='))), std::string::npos) << r.error;
  }
}

TEST(ServerOptions, HelpExplainsEveryOption) {
  EXPECT_EQ(parse({"--help"}).action, Action::Help);
  EXPECT_EQ(parse({"--data", "d", "-h"}).action, Action::Help);
  const std::string help = helpText();
  for (const char* option : {"--listen", "--data ", "--writable", "--data-path",
                             "--max-request-bytes", "--max-rows", "--threads", "--access-log",
                             "--accel-redirect", "--help", "make-sample-data", "listening on"})
    EXPECT_NE(help.find(option), std::string::npos) << option;
}

TEST(ServerOptions, HostPortForms) {
  std::string host;
  int port = -1;
  EXPECT_TRUE(parseHostPort("127.0.0.1:0", host, port));
  EXPECT_EQ(host, "127.0.0.1");
  EXPECT_EQ(port, 0);
  EXPECT_TRUE(parseHostPort("localhost:65535", host, port));
  EXPECT_EQ(port, 65535);
  EXPECT_TRUE(parseHostPort("[::1]:8080", host, port));
  EXPECT_EQ(host, "::1");
  for (const char* bad : {"", ":80", "host:", "host", "[::1]", "[::1]80", "host: 80", "host:+80"})
    EXPECT_FALSE(parseHostPort(bad, host, port)) << bad;
}
