#include "platform/eventlog/eventlog.h"

#include <mutex>

#include "platform/eventlog/system_log.h"

namespace veltrano::eventlog {
namespace {
std::mutex g_mutex;
Sink g_sink;
}  // namespace

void write(std::string_view source, std::string_view text, Type type) {
  detail::writeSystemLog(source.empty() ? std::string_view("veltrano") : source, text, type);
  std::lock_guard lock(g_mutex);
  if (g_sink) g_sink(Entry{std::string(source), std::string(text), type});
}

void setSink(Sink sink) {
  std::lock_guard lock(g_mutex);
  g_sink = std::move(sink);
}

}  // namespace veltrano::eventlog
