#pragma once
// The Windows side of the drawing surface, for Win32 windows that show a surface and for code
// that draws on it with GDI calls of its own: the memory device context that holds the
// surface's DIB section, and a region as a GDI region. Windows only.

#include <windows.h>

#include "platform/gdi/region.h"
#include "platform/gdi/surface.h"

namespace veltrano::gdi {

// The surface's memory device context; valid while the surface lives. Drawing on it changes
// the surface (GdiFlush is done before the surface's pixels are read).
HDC nativeDc(const Surface& surface);

// A new GDI region with the region's pixels (for SetWindowRgn, which takes it over); the
// caller owns it otherwise. Null when the region cannot be made.
HRGN nativeRegion(const Region& region);

}  // namespace veltrano::gdi
