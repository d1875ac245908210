#pragma once
// Fonts for the grid's view and print, from the Windows font names of the product programs
// ("굴림체", "Verdana", ...) through the one font table of platform/gdi/font_map.h.

#include <QFont>
#include <QString>
#include <string>

class QPaintDevice;

namespace veltrano::grid {

// The installed family that stands for `windowsName`; the name itself when nothing stands for
// it (the font system then finds the nearest).
QString installedFamily(const std::string& windowsName);
// A font of `points` points for painting in point units: the painter's coordinates count
// points on `device` (the caller scales by the device's dots per inch / 72).
QFont pointFont(const std::string& windowsName, double points, bool bold, bool italic, bool underline,
                const QPaintDevice* device);
// A font for widgets (sizes in points as usual).
QFont widgetFont(const std::string& windowsName, double points, bool bold, bool italic, bool underline);

}  // namespace veltrano::grid
