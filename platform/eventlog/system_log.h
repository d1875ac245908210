#pragma once
// Internal to platform/eventlog: the system's own log, one backend per platform (syslog on
// Linux, the application event log on Windows).

#include <string_view>

#include "platform/eventlog/eventlog.h"

namespace veltrano::eventlog::detail {

void writeSystemLog(std::string_view source, std::string_view text, Type type);

}  // namespace veltrano::eventlog::detail
