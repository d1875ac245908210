#pragma once
// What both update-window programs (the Qt module on Linux, the Win32 program) share about
// running the window: the title of their boxes, the report of a run-time error that ends the
// program, and the run without a window on screen.

#include <memory>

#include "platform/runtime/error.h"

namespace meridox {

struct ProgramInfo;
class QueryExchange;

inline constexpr const char* kWindowAppTitle = "Meridox";

// Shows VB's run-time error box for `e`, writes it to standard error, and gives exit code 1.
int ReportRuntimeError(const veltrano::RuntimeError& e);

// Makes the update window for `program` (with its first query, already posted) and runs it
// with no window on screen: every box is answered by ui::ScriptedUi from
// VELTRANO_ANSWERS and logged to VELTRANO_UI_LOG; where the window would wait for the user a
// "Form" line is logged and takes the next answer ("Yes" presses 업데이트, anything else 취 소).
// Returns the program's exit code.
int RunScripted(const ProgramInfo& program, std::unique_ptr<QueryExchange> firstQuery);

}  // namespace meridox
