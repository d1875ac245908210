#pragma once
// What the load benches (a server against nginx, the stack) share: their settings from the
// environment, a free loopback port, and a command's output.

#include <string>

namespace veltrano::bench {

// A positive whole number from the environment variable, else `fallback`.
int envNumber(const char* name, int fallback);
// VELTRANO_BENCH_SECONDS (each load's length) and VELTRANO_BENCH_ROUNDS (paired rounds).
inline int loadSeconds(int fallback) { return envNumber("VELTRANO_BENCH_SECONDS", fallback); }
inline int rounds() { return envNumber("VELTRANO_BENCH_ROUNDS", 3); }

// A loopback port no one listens on now.
int freePort();
// What `command` (run by the shell) writes to standard output.
std::string output(const std::string& command);
inline std::string shellQuote(const std::string& s) { return "'" + s + "'"; }

}  // namespace veltrano::bench
