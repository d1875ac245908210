// The application event log of Windows (ReportEventW), the source named by each entry.
#include "platform/eventlog/eventlog.h"

#include <windows.h>

#include <mutex>
#include <string>

#include "platform/text/wide.h"

namespace veltrano::eventlog {
namespace {
std::mutex g_mutex;
Sink g_sink;
}  // namespace

void write(std::string_view source, std::string_view text, Type type) {
  const std::wstring name = text::widen(source.empty() ? std::string_view("veltrano") : source);
  const std::wstring message = text::widen(text);
  if (HANDLE log = RegisterEventSourceW(nullptr, name.c_str())) {
    const WORD kind = type == Type::Error     ? EVENTLOG_ERROR_TYPE
                      : type == Type::Warning ? EVENTLOG_WARNING_TYPE
                                              : EVENTLOG_INFORMATION_TYPE;
    const wchar_t* strings[] = {message.c_str()};
    ReportEventW(log, kind, 0, 0, nullptr, 1, 0, strings, nullptr);
    DeregisterEventSource(log);
  }
  std::lock_guard lock(g_mutex);
  if (g_sink) g_sink(Entry{std::string(source), std::string(text), type});
}

void setSink(Sink sink) {
  std::lock_guard lock(g_mutex);
  g_sink = std::move(sink);
}

}  // namespace veltrano::eventlog
