#pragma once
// Internal to platform/fs: the kept folder listings of case-insensitive lookups (fs.cpp), which
// every change made through this module drops for the folder it changed.

#include <filesystem>

namespace veltrano::fs::detail {

void forgetListing(const std::filesystem::path& folder);

}  // namespace veltrano::fs::detail
