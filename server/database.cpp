#include "server/database.h"

#include <algorithm>

#include "platform/text/ascii.h"
#include "server/mariadb_catalog.h"
#include "server/options.h"
#include "server/sqlite_catalog.h"

namespace veltrano::server {

std::optional<std::string> DatabaseCatalog::normalName(std::string_view database) {
  if (database.empty() || database.size() > 64) return std::nullopt;
  std::string name(database);
  for (char& ch : name) {
    if (ch >= 'A' && ch <= 'Z') ch = static_cast<char>(ch - 'A' + 'a');
    const bool ok = (ch >= 'a' && ch <= 'z') || (ch >= '0' && ch <= '9') || ch == '_' || ch == '-';
    if (!ok) return std::nullopt;
  }
  return name;
}

std::vector<const Variant*> StatementParameters::resolve(const std::vector<std::string>& names) const {
  std::vector<const Variant*> values;
  values.reserve(names.size());
  bool anonymousUsed = false;
  for (std::size_t i = 0; i < names.size(); ++i) {
    const std::string& name = names[i];
    if (name.empty() || name[0] == '?') {
      if (firstAnonymous && !anonymousUsed) {
        values.push_back(&*firstAnonymous);
        anonymousUsed = true;
        continue;
      }
      throw StatementError(StatementError::Kind::Statement, error_number::kRange,
                           "parameter " + std::to_string(i + 1) + " (?) has no value");
    }
    const std::string_view bare = std::string_view(name).substr(1);
    const auto found = std::find_if(named.begin(), named.end(), [&](const auto& kv) {
      return text::EqualsNoCaseAscii(kv.first, bare);
    });
    if (found == named.end())
      throw StatementError(StatementError::Kind::Statement, error_number::kRange,
                           "parameter " + name + " has no value");
    values.push_back(&found->second);
  }
  if (firstAnonymous && !anonymousUsed) {
    // A payload sent for a statement with nowhere to put it would be lost without notice.
    const Variant& v = *firstAnonymous;
    const bool empty = v.isEmpty() || v.isNull() || (v.isBytes() && v.bytes().empty()) ||
                       (v.isString() && v.str().empty());
    if (!empty)
      throw StatementError(StatementError::Kind::Statement, error_number::kRange,
                           "the statement has no ? parameter for the data sent with it");
  }
  return values;
}

std::unique_ptr<DatabaseCatalog> openCatalog(const ServerOptions& options) {
  const DatabaseCatalog::Limits limits{options.maxRows, std::chrono::seconds(30),
                                       options.maxReplyBytes};
  if (options.mariadb) {
    MariadbCatalog::Settings settings;
    settings.address = *options.mariadb;
    settings.password = options.databasePassword;
    settings.connections = static_cast<std::size_t>(options.dbConnections);
    return std::make_unique<MariadbCatalog>(std::move(settings), options.writable, limits);
  }
  return std::make_unique<SqliteCatalog>(options.dataDir / "db", options.writable, limits);
}

}  // namespace veltrano::server
