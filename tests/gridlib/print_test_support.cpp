#include "print_test_support.h"

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <sstream>

#include "support/test_support.h"

namespace printjob_test {

using namespace veltrano::grid;

void settle() {
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  QCoreApplication::processEvents();
}

QWidget* window(const char* name) {
  settle();
  for (QWidget* w : QApplication::topLevelWidgets())
    if (w->objectName() == QString::fromUtf8(name)) return w;
  return nullptr;
}

std::filesystem::path outputFolder() {
  std::filesystem::path dir = PRINTJOB_OUTPUT_DIR;
  std::filesystem::create_directories(dir);
  return dir;
}

int pdfPages(const std::filesystem::path& pdf) {
  const std::string info = veltrano::test::run("pdfinfo '" + pdf.string() + "' 2>&1").out;
  const auto at = info.find("Pages:");
  return at == std::string::npos ? -1 : std::atoi(info.c_str() + at + 6);
}

std::string pdfText(const std::filesystem::path& pdf) {
  std::string text = veltrano::test::run("pdftotext -layout '" + pdf.string() + "' - 2>&1").out;
  std::erase_if(text, [](char c) { return c == ' ' || (c > 0 && c < 32 && c != '\n'); });
  return text;
}

}  // namespace printjob_test
