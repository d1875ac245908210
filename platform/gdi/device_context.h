#pragma once
// Device-context handles: 32-bit numbers that stand for a drawing surface, so that code which
// receives "an hDC" as a Long can draw on the surface behind it, and the GDI calls that take
// such a handle.

#include <cstdint>

#include "platform/gdi/surface.h"

namespace veltrano::gdi {

// The surface behind `hdc`, or nullptr for an unknown or released handle.
Surface* surfaceFromHdc(Hdc hdc);

// Issued and withdrawn by Surface itself.
Hdc registerSurface(Surface* surface);
void unregisterSurface(Hdc hdc);

// GradientFill on the surface behind `hdc` (Surface::gradientFill); false for an unknown handle.
bool GradientFill(Hdc hdc, const TriVertex* vertices, std::uint32_t vertexCount,
                  const GradientRect* meshes, std::uint32_t meshCount, std::uint32_t mode);

// SetDIBitsToDevice on the surface behind `hdc` (Surface::setDIBitsToDevice); 0 for an
// unknown handle.
int SetDIBitsToDevice(Hdc hdc, int xDest, int yDest, int width, int height, int xSrc, int ySrc,
                      std::uint32_t startScan, std::uint32_t scanLines, const void* bits,
                      const BitmapInfoHeader& header, std::uint32_t colourUse);

}  // namespace veltrano::gdi
