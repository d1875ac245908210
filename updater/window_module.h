#pragma once
// The window's half of the program. The program (main.cpp) is free of the toolkit: it reads its
// process, posts the window's first query (first_query.h) and only then loads this half, a
// module of its own (libmeridox-window.so, found on the program's library path) that brings the
// toolkit's libraries with it, and runs the window in it. So the query service works on the first
// query while the toolkit loads.

#include <memory>

#include "updater/program_info.h"
#include "updater/query_client.h"

namespace meridox {

struct WindowStart {
  int argc = 0;
  char** argv = nullptr;
  ProgramInfo program;
  // The load's first statement, already posted; null when the load posts none.
  std::unique_ptr<QueryExchange> firstQuery;
};

// The module's file and its entry, which runs the window to the end of the program and returns
// the exit status.
inline constexpr const char* kWindowModule = "libmeridox-window.so";
inline constexpr const char* kWindowEntry = "meridox_run_window";
using WindowEntry = int (*)(WindowStart& start);

}  // namespace meridox

extern "C" int meridox_run_window(meridox::WindowStart& start);
