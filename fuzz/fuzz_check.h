#pragma once
// What a fuzz target does when an invariant breaks: says which and why, then aborts, so that
// libFuzzer keeps the input as a finding.

#include <cstdio>
#include <cstdlib>
#include <string>

namespace veltrano::fuzz {

[[noreturn]] inline void fail(const char* invariant, const std::string& detail = {}) {
  std::fprintf(stderr, "fuzz invariant broken: %s\n%s\n", invariant, detail.c_str());
  std::abort();
}

inline void require(bool holds, const char* invariant, const std::string& detail = {}) {
  if (!holds) fail(invariant, detail);
}

}  // namespace veltrano::fuzz
