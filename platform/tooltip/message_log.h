#pragma once
// The tooltip module's record of calls, shared by both backends (internal to platform/tooltip).

#include <cstdint>
#include <optional>
#include <string>

#include "platform/tooltip/tooltip.h"

namespace veltrano::tooltip::detail {

// The text a pointer argument carries, or nothing for a null or callback pointer.
std::optional<std::string> ansiText(const char* p);

// Appends one call to the log.
void record(LoggedCall call);

// The log entry of CreateWindowExA, without its outcome (hwnd, delivered).
LoggedCall creationCall(std::uint32_t exStyle, const char* className, std::uint32_t style, std::int32_t x,
                        std::int32_t y, std::int32_t width, std::int32_t height, Hwnd parent, std::uint32_t menu,
                        std::uint32_t instance);

// The log entry of SendMessageA with what its pointer arguments carry, without its outcome.
LoggedCall sentCall(Hwnd hwnd, std::uint32_t msg, std::uintptr_t wParam, std::intptr_t lParam);

}  // namespace veltrano::tooltip::detail
