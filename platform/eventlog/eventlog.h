#pragma once
// The application event log, over syslog(3). A sink lets tests read what was written.

#include <functional>
#include <string>
#include <string_view>

namespace veltrano::eventlog {

enum class Type { Error = 1, Warning = 2, Information = 4 };

struct Entry {
  std::string source;
  std::string text;
  Type type;
};

// Writes one entry (syslog facility user; the source is the syslog identifier).
void write(std::string_view source, std::string_view text, Type type = Type::Information);

// Receives every entry written by this process, besides syslog. Empty to remove.
using Sink = std::function<void(const Entry&)>;
void setSink(Sink sink);

}  // namespace veltrano::eventlog
