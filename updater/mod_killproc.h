#pragma once
// Mod_KillProc: ends running processes by the ending of their executable file name.

#include <string>
#include <string_view>

namespace meridox {

// Ends every process whose executable name, compared over its last nine characters without
// regard to case, matches the last nine characters of `name` (a shorter name is compared
// whole). Asks nothing, reports nothing, does not wait for the processes to exit.
void KillProcessByName(std::string_view name);

// The characters before the first NUL, or the whole text.
std::string TextUpToNul(std::string_view text);

}  // namespace meridox
