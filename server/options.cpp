#include "server/options.h"

#include <charconv>
#include <cstdlib>
#include <fstream>
#include <limits>
#include <iterator>

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

// %XX escapes decoded; false for a malformed one.
bool percentDecode(const std::string& text, std::string& out) {
  out.clear();
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '%') {
      out += text[i];
      continue;
    }
    if (i + 2 >= text.size()) return false;
    int value = 0;
    for (int k = 1; k <= 2; ++k) {
      const char c = text[i + k];
      value *= 16;
      if (c >= '0' && c <= '9') value += c - '0';
      else if (c >= 'a' && c <= 'f') value += c - 'a' + 10;
      else if (c >= 'A' && c <= 'F') value += c - 'A' + 10;
      else return false;
    }
    out += static_cast<char>(value);
    i += 2;
  }
  return true;
}

}  // namespace

bool parseMariadbUrl(const std::string& text, MariadbAddress& out, std::string& error) {
  constexpr std::string_view kScheme = "mariadb://";
  if (text.compare(0, kScheme.size(), kScheme) != 0) {
    error = "--database wants mariadb://USER@HOST:PORT or mariadb://USER@localhost/?socket=PATH, not \"" +
            text + "\"";
    return false;
  }
  std::string rest = text.substr(kScheme.size());
  std::string query;
  if (const auto q = rest.find('?'); q != std::string::npos) {
    query = rest.substr(q + 1);
    rest.erase(q);
  }
  if (!rest.empty() && rest.back() == '/') rest.pop_back();
  if (rest.find('/') != std::string::npos) {
    error = "--database takes no path: the request's database name selects the schema";
    return false;
  }
  const auto at = rest.rfind('@');
  if (at == std::string::npos || at == 0) {
    error = "--database needs a user: mariadb://USER@HOST:PORT";
    return false;
  }
  const std::string userPart = rest.substr(0, at);
  if (userPart.find(':') != std::string::npos) {
    error = "--database takes no password: give it in --database-password-file or the "
            "environment variable VELTRANO_SERVER_DB_PASSWORD";
    return false;
  }
  MariadbAddress address;
  if (!percentDecode(userPart, address.user) || address.user.empty()) {
    error = "--database has a malformed user name";
    return false;
  }
  const std::string hostPart = rest.substr(at + 1);
  if (hostPart.find(':') != std::string::npos && hostPart.back() != ']') {
    if (!parseHostPort(hostPart, address.host, address.port) || address.port == 0) {
      error = "--database wants HOST:PORT after the user, not \"" + hostPart + "\"";
      return false;
    }
  } else {
    address.host = hostPart;
    if (address.host.size() > 2 && address.host.front() == '[')
      address.host = address.host.substr(1, address.host.size() - 2);
  }
  if (address.host.empty()) {
    error = "--database needs a host: mariadb://USER@HOST:PORT";
    return false;
  }
  if (!query.empty()) {
    if (query.rfind("socket=", 0) != 0 || query.find('&') != std::string::npos) {
      error = "--database knows one setting after \"?\": socket=PATH";
      return false;
    }
    if (!percentDecode(query.substr(7), address.socket) || address.socket.empty() ||
        address.socket.front() != '/') {
      error = "--database wants an absolute socket path: ?socket=/PATH";
      return false;
    }
    if (address.host != "localhost") {
      error = "--database with a socket names the host localhost: mariadb://USER@localhost/?socket=PATH";
      return false;
    }
  }
  out = address;
  return true;
}

bool readDatabasePassword(ServerOptions& options, std::string& error) {
  options.databasePassword.clear();
  if (!options.databasePasswordFile.empty()) {
    std::error_code ec;
    std::ifstream in(options.databasePasswordFile, std::ios::binary);
    std::string password;
    if (!std::filesystem::is_regular_file(options.databasePasswordFile, ec)) in.close();
    if (in.is_open()) password.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    if (!in.is_open() || in.bad()) {
      error = "cannot read the database password file " + options.databasePasswordFile.string();
      return false;
    }
    if (!password.empty() && password.back() == '\n') password.pop_back();
    if (!password.empty() && password.back() == '\r') password.pop_back();
    options.databasePassword = password;
    return true;
  }
  if (const char* env = std::getenv("VELTRANO_SERVER_DB_PASSWORD")) options.databasePassword = env;
  return true;
}

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

  bool dbConnectionsGiven = false;
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
        name != "--access-log" && name != "--max-reply-bytes" && name != "--header-timeout" &&
        name != "--min-body-rate" && name != "--stall-timeout" && name != "--tls-cert" &&
        name != "--tls-key" && name != "--database" && name != "--database-password-file" &&
        name != "--db-connections" && name != "--accel-redirect") {
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
    } else if (name == "--max-reply-bytes") {
      if (!parseNumber<std::size_t>(value, 1024, std::size_t{1} << 40, o.maxReplyBytes))
        return fail("--max-reply-bytes wants a number from 1024 to 2^40");
    } else if (name == "--header-timeout") {
      if (!parseNumber(value, 1, 3600, o.headerSeconds))
        return fail("--header-timeout wants seconds from 1 to 3600");
    } else if (name == "--min-body-rate") {
      if (!parseNumber<std::size_t>(value, 1, std::size_t{1} << 30, o.minBodyRate))
        return fail("--min-body-rate wants bytes per second from 1 to 2^30");
    } else if (name == "--stall-timeout") {
      if (!parseNumber(value, 1, 3600, o.stallSeconds))
        return fail("--stall-timeout wants seconds from 1 to 3600");
    } else if (name == "--tls-cert") {
      if (value.empty()) return fail("--tls-cert wants a PEM file");
      o.tlsCert = value;
    } else if (name == "--tls-key") {
      if (value.empty()) return fail("--tls-key wants a PEM file");
      o.tlsKey = value;
    } else if (name == "--database") {
      MariadbAddress address;
      std::string error;
      if (!parseMariadbUrl(value, address, error)) return fail(error);
      o.mariadb = address;
    } else if (name == "--database-password-file") {
      if (value.empty()) return fail("--database-password-file wants a file");
      o.databasePasswordFile = value;
    } else if (name == "--db-connections") {
      if (!parseNumber(value, 1, 1024, o.dbConnections))
        return fail("--db-connections wants a number from 1 to 1024");
      dbConnectionsGiven = true;
    } else if (name == "--accel-redirect") {
      // The prefix goes into a header and ahead of encoded names: a plain path, "/" at both ends.
      const bool plain = value.find_first_of("?#%\\ \t\r\n") == std::string::npos;
      if (value.size() < 2 || value.front() != '/' || value.back() != '/' || !plain)
        return fail("--accel-redirect wants a URL path beginning and ending with /, not \"" +
                    value + "\"");
      o.accelRedirect = value;
    }
  }
  if (o.dataDir.empty()) return fail("--data DIR is required (see --help)");
  if (o.tlsCert.empty() != o.tlsKey.empty())
    return fail("--tls-cert and --tls-key go together");
  if (!o.mariadb && (dbConnectionsGiven || !o.databasePasswordFile.empty()))
    return fail("--db-connections and --database-password-file go with --database");
  return result;
}

std::string helpText() {
  return R"(Usage: veltrano-server --data DIR [options]

The reference server: the query service of the updater, the file host its downloads come
from, and the data service of the data library, on one HTTP address.

  --data DIR              Data folder (required, must exist). Databases are
                          DIR/db/<name>.sqlite, one file per database name (unless
                          --database names a MariaDB server); served files lie below
                          DIR/files/, a URL path naming the path below files/ (matched
                          without regard to case).
  --listen HOST:PORT      Address to listen on (default 127.0.0.1:8080). Port 0 picks a free
                          port. The first line of standard output always says
                          "listening on HOST:PORT" with the port chosen.
  --writable              Run modifying statements (insert, update, delete, create, ...).
                          Without it every database is opened read-only and such
                          statements are refused.
  --data-path PATH        URL path of the data service (default /Database/ORVEX/). Pages of
                          the form /ORVEX/<page>.ASP are served as well.
  --tls-cert FILE         Serve HTTPS on the --listen address with this certificate chain
  --tls-key FILE          (PEM) and private key (PEM). Both or neither.
  --database URL          Keep the databases on a MariaDB server instead of SQLite files:
                          mariadb://USER@HOST:PORT or mariadb://USER@localhost/?socket=PATH.
                          A request's database name, lower-cased, selects the schema of that
                          name. Without --writable use an account with SELECT rights only.
  --database-password-file FILE
                          The MariaDB account's password: the file's content without its
                          final line break. Default: the environment variable
                          VELTRANO_SERVER_DB_PASSWORD, else none. Never on the command line.
  --db-connections N      MariaDB connections kept open and shared by the workers
                          (default 8); a statement waits for a free one.
  --threads N             Database workers: at most N threads (default 16) run statements,
                          never the threads that serve connections; as many as there are
                          CPUs run at once, more join only when those are stuck.
  --accel-redirect PREFIX Behind nginx: answer a file request, once its path is resolved
                          as above, with an empty 200 carrying "X-Accel-Redirect: PREFIX"
                          and the file's real path below files/ (percent-encoded), for
                          nginx to send from an internal location (server/deploy/
                          nginx.conf.in). PREFIX begins and ends with /. Missing and refused
                          paths are answered as without it.
  --access-log FILE|-     Append one line per request (time, client, method, path, status,
                          bytes, duration) to FILE, or to standard output with "-".
                          Default: no access log.
  -h, --help              This text.

Limits (each request and reply, whatever the client does):
  --max-request-bytes N   Largest request body accepted (default 16777216); larger requests
                          get 413 before their body is read. Compressed request bodies
                          (Content-Encoding other than identity) get 415 and are never
                          inflated; a malformed Content-Length gets 400.
  --max-rows N            Most rows one reply may carry (default 100000); a larger result is
                          answered with an error text instead of being cut short.
  --max-reply-bytes N     Largest service reply body (default 67108864, 64 MiB). A result
                          that would be larger, or a single value larger, is answered with an
                          error text before any of it is sent; a value is refused by the
                          database before it is allocated.
  --header-timeout S      Seconds a client has to send a request's whole head, and the
                          longest a kept-alive connection waits idle (default 10).
  --min-body-rate B       Bytes per second a request body must keep up, after the head's
                          seconds as a start (default 16384): a body of L bytes is cut after
                          header-timeout + L/B seconds.
  --stall-timeout S       A reply the client stops reading is kept for S seconds without
                          progress (default 60), then the connection is closed. A stalled
                          reply holds one idle connection, never a worker.

Endpoints:
  POST /client/mysqlservice.asp    query service (keyed-hex form fields, CP949 replies)
  POST <data path>, /ORVEX/<page>.ASP   data service (ADO XML recordset in and out, UTF-8)
  GET, HEAD <anything else>        file host (Content-Length, one byte range per request;
                                   a malformed Range header is ignored)

SIGTERM or SIGINT stops the server after the requests in progress.
Sample data: server/make-sample-data DIR HOST:PORT [REGISTRABLE-FILE]
)";
}

}  // namespace veltrano::server
