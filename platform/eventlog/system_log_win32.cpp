// The application event log of Windows (ReportEventW), the source named by each entry.
#include <windows.h>

#include <string>

#include "platform/eventlog/system_log.h"
#include "platform/text/wide.h"

namespace veltrano::eventlog::detail {

void writeSystemLog(std::string_view source, std::string_view text, Type type) {
  const std::wstring name = text::widen(source);
  const std::wstring message = text::widen(text);
  HANDLE log = RegisterEventSourceW(nullptr, name.c_str());
  if (!log) return;
  const WORD kind = type == Type::Error     ? EVENTLOG_ERROR_TYPE
                    : type == Type::Warning ? EVENTLOG_WARNING_TYPE
                                            : EVENTLOG_INFORMATION_TYPE;
  const wchar_t* strings[] = {message.c_str()};
  ReportEventW(log, kind, 0, 0, nullptr, 1, 0, strings, nullptr);
  DeregisterEventSource(log);
}

}  // namespace veltrano::eventlog::detail
