#include "freight_grid.h"

#include <memory>
#include <string>
#include <vector>

#include "lumagrid/spread.h"

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

}  // namespace printjob_test
