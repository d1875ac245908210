#pragma once
// PNG files through the Windows Imaging Component: the surface's savePng on Windows.

#include <cstdint>
#include <string>

namespace veltrano::gdi {

// Writes width x height pixels, rows top first, each pixel 0x00RRGGBB, as a 24-bit PNG file.
// False when the file cannot be written (or WIC is missing).
bool writePngFile(const std::string& utf8Path, int width, int height, const std::uint32_t* pixels);

}  // namespace veltrano::gdi
