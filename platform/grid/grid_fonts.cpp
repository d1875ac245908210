#include "platform/grid/grid_fonts.h"

#include <QFontDatabase>
#include <QPaintDevice>
#include <QStringList>
#include <map>
#include <vector>

namespace veltrano::grid {
namespace {

struct Mapping {
  std::vector<const char*> names;
  std::vector<const char*> families;  // the first installed one is used
};

// Fixed-pitch Korean fonts (…체) map onto a fixed-pitch Korean font, so that the box-drawing
// lines of printed headers keep their columns.
const std::vector<Mapping>& mappings() {
  static const std::vector<Mapping> m = {
      {{"굴림체", "gulimche", "돋움체", "dotumche", "바탕체", "batangche", "궁서체", "gungsuhche"},
       {"NanumGothicCoding", "D2Coding", "DejaVu Sans Mono"}},
      {{"굴림", "gulim", "돋움", "dotum", "맑은 고딕", "malgun gothic", "새굴림", "new gulim"},
       {"NanumGothic", "NanumBarunGothic", "DejaVu Sans"}},
      {{"바탕", "batang", "궁서", "gungsuh"}, {"NanumMyeongjo", "DejaVu Serif"}},
      {{"verdana", "tahoma", "arial", "ms sans serif", "segoe ui", "microsoft sans serif"},
       {"DejaVu Sans", "Liberation Sans", "NanumGothic"}},
      {{"courier", "courier new", "fixedsys"}, {"DejaVu Sans Mono", "Liberation Mono", "NanumGothicCoding"}},
      {{"times new roman"}, {"DejaVu Serif", "Liberation Serif", "NanumMyeongjo"}},
  };
  return m;
}

std::string lower(const std::string& s) {
  std::string out = s;
  for (char& c : out)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return out;
}

}  // namespace

QString installedFamily(const std::string& windowsName) {
  static std::map<std::string, QString> cache;
  auto it = cache.find(windowsName);
  if (it != cache.end()) return it->second;
  const QStringList installed = QFontDatabase::families();
  QString chosen = QString::fromStdString(windowsName);
  const std::string key = lower(windowsName);
  for (const Mapping& m : mappings()) {
    bool named = false;
    for (const char* n : m.names) named = named || key == n;
    if (!named) continue;
    for (const char* f : m.families)
      if (installed.contains(QString::fromUtf8(f), Qt::CaseInsensitive)) {
        chosen = QString::fromUtf8(f);
        break;
      }
    break;
  }
  cache[windowsName] = chosen;
  return chosen;
}

QFont widgetFont(const std::string& windowsName, double points, bool bold, bool italic, bool underline) {
  QFont f(installedFamily(windowsName));
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
