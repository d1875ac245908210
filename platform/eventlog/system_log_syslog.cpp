#include <syslog.h>

#include <string>

#include "platform/eventlog/system_log.h"

namespace veltrano::eventlog::detail {

void writeSystemLog(std::string_view source, std::string_view text, Type type) {
  const int priority = type == Type::Error ? LOG_ERR : type == Type::Warning ? LOG_WARNING : LOG_INFO;
  const std::string ident(source);
  syslog(LOG_USER | priority, "%s: %.*s", ident.c_str(), static_cast<int>(text.size()), text.data());
}

}  // namespace veltrano::eventlog::detail
