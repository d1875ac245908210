#pragma once
// The Qt side of the drawing surface, for widgets that show a surface and for Qt code that
// draws text like it: the surface's image, a region as a widget mask, and a font as Qt sees it.

#include <QFont>
#include <QImage>
#include <QRegion>

#include "platform/gdi/region.h"
#include "platform/gdi/surface.h"

namespace veltrano::gdi {

// The image behind the surface (32-bit RGB); valid until the surface is resized or destroyed.
const QImage& qImage(const Surface& surface);

// The region as a QRegion (for QWidget::setMask).
QRegion qRegion(const Region& region);

// The font with its Windows name mapped onto installed families (platform/gdi/font_map.h), its
// size in pixels on a 96 dpi surface, and its styles.
QFont qFont(const Font& font);

// Starts a headless QGuiApplication (offscreen platform) when the process has no Qt
// application yet, and keeps it for the life of the process. True when a GUI application is
// available afterwards (false when a non-GUI QCoreApplication runs).
bool ensureGuiApplication();

}  // namespace veltrano::gdi
