#pragma once
// Internal to platform/fs: how a Windows-style path becomes a native one, the part of the
// module each platform does its own way. On Linux existing names are matched without regard
// to case through kept folder listings, which every change made through this module drops for
// the folder it changed; on Windows the file system does that itself.

#include <filesystem>
#include <string_view>

namespace veltrano::fs::detail {

enum class Entry { Missing, File, Folder, Other };

// The native path `windowsPath` names (see fs.h) and what is there.
Entry lookUp(std::string_view windowsPath, std::filesystem::path& native);

// Drops what is kept of `folder`'s listing (a change was made in it).
void forgetListing(const std::filesystem::path& folder);

}  // namespace veltrano::fs::detail
