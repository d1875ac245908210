#pragma once
// Environment variables as UTF-8 text, the text of every other interface of the platform
// layer. On Windows they are read through the wide-character calls: the C run-time's narrow
// environment is in the ANSI code page, which turns Korean into CP949 bytes and loses every
// character outside it.

#include <optional>
#include <string>
#include <string_view>

namespace veltrano {

// The variable's value when it is set (even to empty), else nothing.
std::optional<std::string> environmentVariable(std::string_view name);

}  // namespace veltrano
