#pragma once
// Reads a PNG file through the Windows Imaging Component (tests only).

#include <optional>
#include <string>

#include "progress_bar_gallery.h"

namespace meridox::gallery {

// The picture in the file, or nothing when it cannot be read.
std::optional<Picture> readPng(const std::string& path);

}  // namespace meridox::gallery
