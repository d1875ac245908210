#pragma once
// The application event log: syslog(3) on Linux, the Windows event log on Windows. A sink
// lets tests read what was written.

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

// Writes one entry (syslog facility user, the source as identifier; on Windows an entry of
// the application log from that source).
void write(std::string_view source, std::string_view text, Type type = Type::Information);

// Receives every entry written by this process, besides syslog. Empty to remove.
using Sink = std::function<void(const Entry&)>;
void setSink(Sink sink);

}  // namespace veltrano::eventlog
