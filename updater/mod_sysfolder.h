#pragma once
// Mod_SysFolder: the Windows system folder (replaces {SYSPATH} in download folders).

#include <string>

namespace meridox {

// The system folder without a final separator; empty when the call fails.
std::string GetSystemFolder();

}  // namespace meridox
