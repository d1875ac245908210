#include "print_test_support.h"

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <sstream>

#include "lumagrid/spread.h"
#include "support/test_support.h"

namespace printjob_test {

using namespace veltrano::grid;

void freightGrid(Grid& g, int records) {
  auto src = std::make_shared<MemoryDataSource>(std::vector<MemoryDataSource::Field>{
      {"일자", adtype::adVarWChar},
      {"화주명", adtype::adVarWChar},
      {"차량번호", adtype::adVarWChar},
      {"건수", adtype::adInteger},
      {"운임", adtype::adDouble},
      {"누계금액", adtype::adDouble},
      {"비고", adtype::adVarWChar}});
  const char* shippers[] = {"(주)한빛물류", "대한운송", "서울화물", "부산특송", "동해로지스"};
  double cumulative = 0;
  for (int i = 1; i <= records; ++i) {
    cumulative += 1000.0 * i;
    src->addRecord({"2024-05-" + std::string(i % 28 + 1 < 10 ? "0" : "") + std::to_string(i % 28 + 1),
                    shippers[i % 5], "서울 12가 " + std::to_string(3400 + i), std::int32_t{i % 5 + 1}, 1000.0 * i,
                    cumulative, veltrano::Variant(i % 4 ? "" : "야간")});
  }
  lumagrid::Spread spread;
  spread.SpreadReset(g);
  spread.SpreadDisplayOne(src, g, false);
  const double widths[] = {0, 11, 16, 16, 6, 12, 14, 10};
  for (int c = 1; c <= kFreightCols; ++c) g.COLWIDTH(c, widths[c]);
}

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

int XlsRead::rows() const {
  int n = 0;
  for (const auto& [at, cell] : cells) n = std::max(n, at.first + 1);
  return n;
}

int XlsRead::cols() const {
  int n = 0;
  for (const auto& [at, cell] : cells) n = std::max(n, at.second + 1);
  return n;
}

std::string XlsRead::text(int row, int col) const {
  auto it = cells.find({row, col});
  return it == cells.end() ? "" : it->second.value;
}

XlsRead readXls(const std::filesystem::path& file) {
  const auto result = veltrano::test::run("/usr/bin/python3 " XLS_DUMP_SCRIPT " '" + file.string() + "' 2>&1");
  XlsRead read;
  if (result.exitCode != 0) read.error = "xlrd failed: " + result.out;
  std::istringstream in(result.out);
  std::string line;
  while (std::getline(in, line)) {
    std::vector<std::string> f;
    std::stringstream ls(line);
    std::string part;
    while (std::getline(ls, part, '\t')) f.push_back(part);
    if (f.empty()) continue;
    if (f[0] == "error") {
      read.error = f.size() > 1 ? f[1] : "?";
    } else if (f[0] == "cell" && f.size() >= 7) {
      XlsCell c{f[3], f[4], std::atoi(f[5].c_str()), std::atoi(f[6].c_str())};
      read.cells[{std::atoi(f[1].c_str()), std::atoi(f[2].c_str())}] = c;
    } else if (f[0] == "font" && f.size() >= 3) {
      std::string rest;
      for (std::size_t i = 2; i < f.size(); ++i) rest += (i > 2 ? " " : "") + f[i];
      read.fonts.push_back(rest);
    }
  }
  return read;
}

}  // namespace printjob_test
