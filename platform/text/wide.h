#pragma once
// UTF-8 text and the UTF-16 text of the Windows wide-character calls (Windows only).

#include <string>
#include <string_view>

namespace veltrano::text {

std::wstring widen(std::string_view utf8);
std::string narrow(std::wstring_view utf16);

}  // namespace veltrano::text
