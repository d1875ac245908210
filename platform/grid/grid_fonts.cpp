#include "platform/grid/grid_fonts.h"

#include <QPaintDevice>
#include <QStringList>

#include "platform/gdi/font_map.h"

namespace veltrano::grid {

QString installedFamily(const std::string& windowsName) {
  return QString::fromStdString(gdi::installedFontFamily(windowsName));
}

QFont widgetFont(const std::string& windowsName, double points, bool bold, bool italic, bool underline) {
  QFont f;
  QStringList families;
  for (const std::string& family : gdi::installedFontFamilies(windowsName)) families << QString::fromStdString(family);
  f.setFamilies(families);
  f.setPointSizeF(points > 0 ? points : 9);
  f.setBold(bold);
  f.setItalic(italic);
  f.setUnderline(underline);
  return f;
}

QFont pointFont(const std::string& windowsName, double points, bool bold, bool italic, bool underline,
                const QPaintDevice* device) {
  const double dpi = device && device->logicalDpiY() > 0 ? device->logicalDpiY() : 72.0;
  return widgetFont(windowsName, points * 72.0 / dpi, bold, italic, underline);
}

}  // namespace veltrano::grid
