#include "platform/runtime/environment.h"

#include <cstdlib>

#ifdef _WIN32
#include "platform/text/wide.h"
#endif

namespace veltrano {

std::optional<std::string> environmentVariable(std::string_view name) {
#ifdef _WIN32
  if (const wchar_t* value = _wgetenv(text::widen(name).c_str())) return text::narrow(value);
#else
  if (const char* value = std::getenv(std::string(name).c_str())) return std::string(value);
#endif
  return std::nullopt;
}

}  // namespace veltrano
