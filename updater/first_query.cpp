#include "updater/first_query.h"

#include "platform/text/vbstring.h"
#include "updater/self_update.h"
#include "updater/version_check.h"

namespace meridox {

std::optional<std::string> FirstStatementOf(const ProgramInfo& program) {
  if (IsCopyCommand(program) || IsDeleteCommand(program)) return std::nullopt;
  if (program.command.empty()) return CatalogueSql("");
  const std::vector<std::string> items = veltrano::text::Split(program.command, ",");
  if (items.size() >= 2) return CatalogueSql(items[0]);
  return std::nullopt;
}

}  // namespace meridox
