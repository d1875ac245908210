#include "raw_registry.h"

#include <windows.h>

#include "platform/text/wide.h"

namespace veltrano::test {

std::optional<std::string> rawCurrentUserString(const std::string& path, const std::string& name) {
  wchar_t buffer[512];
  DWORD size = sizeof buffer;
  if (RegGetValueW(HKEY_CURRENT_USER, text::widen(path).c_str(), text::widen(name).c_str(), RRF_RT_REG_SZ, nullptr,
                   buffer, &size) != ERROR_SUCCESS)
    return std::nullopt;
  std::wstring_view value(buffer, size / sizeof(wchar_t));
  while (!value.empty() && value.back() == L'\0') value.remove_suffix(1);  // the terminator, if stored
  return text::narrow(value);
}

}  // namespace veltrano::test
