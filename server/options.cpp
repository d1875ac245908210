#include "server/options.h"

#include <charconv>
#include <limits>

namespace veltrano::server {

namespace {

// A whole number in [min, max]; false for anything else (signs, blanks, suffixes included).
template <typename T>
bool parseNumber(const std::string& text, T min, T max, T& out) {
  T value{};
  const char* end = text.data() + text.size();
  auto [ptr, ec] = std::from_chars(text.data(), end, value);
  if (text.empty() || ec != std::errc() || ptr != end || value < min || value > max) return false;
  out = value;
  return true;
}

}  // namespace

bool parseHostPort(const std::string& text, std::string& host, int& port) {
  std::string h;
  std::string p;
  if (!text.empty() && text.front() == '[') {
    const auto close = text.find(']');
    if (close == std::string::npos || close + 1 >= text.size() || text[close + 1] != ':') return false;
    h = text.substr(1, close - 1);
    p = text.substr(close + 2);
  } else {
    const auto colon = text.rfind(':');
    if (colon == std::string::npos) return false;
    h = text.substr(0, colon);
    p = text.substr(colon + 1);
    if (h.find(':') != std::string::npos) return false;  // bare IPv6 needs brackets
  }
  int n = 0;
  if (h.empty() || !parseNumber(p, 0, 65535, n)) return false;
  host = h;
  port = n;
  return true;
}

ParsedCommandLine parseCommandLine(const std::vector<std::string>& args) {
  ParsedCommandLine result;
  ServerOptions& o = result.options;
  auto fail = [&](std::string message) {
    result.action = ParsedCommandLine::Action::Error;
    result.error = std::move(message);
    return result;
  };

  for (std::size_t i = 0; i < args.size(); ++i) {
    std::string name = args[i];
    std::string value;
    bool hasValue = false;
    if (const auto eq = name.find('='); name.rfind("--", 0) == 0 && eq != std::string::npos) {
      value = name.substr(eq + 1);
      name = name.substr(0, eq);
      hasValue = true;
    }
    auto takeValue = [&]() -> bool {
      if (hasValue) return true;
      if (i + 1 >= args.size()) return false;
      value = args[++i];
      return true;
    };
    auto isFlag = [&]() { return !hasValue; };

    if (name == "--help" || name == "-h") {
      if (!isFlag()) return fail(name + " takes no value");
      result.action = ParsedCommandLine::Action::Help;
      return result;
    }
    if (name == "--writable") {
      if (!isFlag()) return fail("--writable takes no value");
      o.writable = true;
      continue;
    }
    if (name != "--listen" && name != "--data" && name != "--data-path" &&
        name != "--max-request-bytes" && name != "--max-rows" && name != "--threads" &&
        name != "--access-log") {
      return fail("unknown option " + name + " (see --help)");
    }
    if (!takeValue()) return fail(name + " needs a value");

    if (name == "--listen") {
      if (!parseHostPort(value, o.host, o.port))
        return fail("--listen wants HOST:PORT, not \"" + value + "\"");
    } else if (name == "--data") {
      if (value.empty()) return fail("--data needs a folder");
      o.dataDir = value;
    } else if (name == "--data-path") {
      if (value.empty() || value.front() != '/')
        return fail("--data-path wants a URL path beginning with /, not \"" + value + "\"");
      o.dataPath = value;
    } else if (name == "--max-request-bytes") {
      if (!parseNumber<std::size_t>(value, 1024, std::numeric_limits<std::size_t>::max() / 2,
                                    o.maxRequestBytes))
        return fail("--max-request-bytes wants a number of at least 1024");
    } else if (name == "--max-rows") {
      if (!parseNumber<std::size_t>(value, 1, 100000000, o.maxRows))
        return fail("--max-rows wants a number from 1 to 100000000");
    } else if (name == "--threads") {
      if (!parseNumber(value, 1, 1024, o.threads))
        return fail("--threads wants a number from 1 to 1024");
    } else if (name == "--access-log") {
      if (value.empty()) return fail("--access-log wants a file or -");
      o.accessLog = value;
    }
  }
  if (o.dataDir.empty()) return fail("--data DIR is required (see --help)");
  return result;
}

std::string helpText() {
  return R"(Usage: veltrano-server --data DIR [options]

The reference server: the query service of the updater, the file host its downloads come
from, and the data service of the data library, on one HTTP address.

  --data DIR              Data folder (required, must exist). Databases are
                          DIR/db/<name>.sqlite, one file per database name; served files
                          lie below DIR/files/, a URL path naming the path below files/
                          (matched without regard to case).
  --listen HOST:PORT      Address to listen on (default 127.0.0.1:8080). Port 0 picks a free
                          port. The first line of standard output always says
                          "listening on HOST:PORT" with the port chosen.
  --writable              Run modifying statements (insert, update, delete, create, ...).
                          Without it every database is opened read-only and such
                          statements are refused.
  --data-path PATH        URL path of the data service (default /Database/ORVEX/). Pages of
                          the form /ORVEX/<page>.ASP are served as well.
  --max-request-bytes N   Largest request body accepted (default 16777216); larger requests
                          get 413.
  --max-rows N            Most rows one reply may carry (default 100000); a larger result is
                          answered with an error text instead of being cut short.
  --threads N             Worker threads, each serving one connection at a time (default 16).
  --access-log FILE|-     Append one line per request (time, client, method, path, status,
                          bytes, duration) to FILE, or to standard output with "-".
                          Default: no access log.
  -h, --help              This text.

Endpoints:
  POST /client/mysqlservice.asp    query service (keyed-hex form fields, CP949 replies)
  POST <data path>, /ORVEX/<page>.ASP   data service (ADO XML recordset in and out, UTF-8)
  GET, HEAD <anything else>        file host (Content-Length, byte ranges)

SIGTERM or SIGINT stops the server after the requests in progress.
Sample data: server/make-sample-data DIR HOST:PORT [REGISTRABLE-FILE]
)";
}

}  // namespace veltrano::server
