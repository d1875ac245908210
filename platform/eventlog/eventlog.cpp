#include "platform/eventlog/eventlog.h"

#include <syslog.h>

#include <mutex>

namespace veltrano::eventlog {
namespace {
std::mutex g_mutex;
Sink g_sink;
}  // namespace

void write(std::string_view source, std::string_view text, Type type) {
  const int priority = type == Type::Error ? LOG_ERR : type == Type::Warning ? LOG_WARNING : LOG_INFO;
  const std::string ident(source.empty() ? "veltrano" : source);
  syslog(LOG_USER | priority, "%s: %.*s", ident.c_str(), static_cast<int>(text.size()), text.data());
  std::lock_guard lock(g_mutex);
  if (g_sink) g_sink(Entry{std::string(source), std::string(text), type});
}

void setSink(Sink sink) {
  std::lock_guard lock(g_mutex);
  g_sink = std::move(sink);
}

}  // namespace veltrano::eventlog
