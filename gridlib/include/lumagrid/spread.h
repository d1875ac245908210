#pragma once
// SPREAD: brings a product program's grid into the house look, fills it from a recordset with
// a one-row totals grid under it, and selects a row. Keeps no state between calls.
//
// SpreadDisplay, SpreadDisplay2, SpreadDisplayOne and SpreadReset never raise: the fills stop
// at the first error and return (the grids may then be left with drawing off); SpreadReset
// goes on past every error. SumFormula and FSPR_SETSEL pass the grid's errors on.
//
// SpreadDisplay and SpreadDisplayOne announce each fill to the call-center window (title
// "Tarvic Innovation for call center v2.0 [MORA]") with WM_COPYDATA: code 4001 before, 4002
// after, the record count as text; a missing window only skips the notice.
//
// Lumagrid shows its boxes and windows to people only once the program has installed the Qt
// user interface (see spreadsetup.h); until then every box takes its default answer unseen.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "lumagrid/export.h"
#include "platform/ado/recordset.h"
#include "platform/grid/data_source.h"
#include "platform/grid/grid.h"

namespace lumagrid {

using Grid = veltrano::grid::Grid;
// The recordset a grid is bound to: a Recordset of platform/ado (the product programs' case),
// or any other data source. The grid keeps it while it shows it.
using RecordSource = std::shared_ptr<const veltrano::grid::DataSource>;
using Recordset = veltrano::ado::RecordsetPtr;

class LUMAGRID_API Spread {
 public:
  static constexpr const char* kCallCenterTitle = "Tarvic Innovation for call center v2.0 [MORA]";
  static constexpr std::uint64_t kFillStarts = 4001, kFillEnded = 4002;

  void SumFormula(Grid& SPREAD, Grid& SpreadTot);
  void SpreadDisplay(const RecordSource& RST, Grid& SPREAD, Grid& SpreadTot, bool DataFillEventFlag,
                     std::int32_t AutoScroll = 0, bool DVirtualMode = false, const std::string& DataFillFields = "");
  void SpreadDisplay2(const RecordSource& RST, Grid& SPREAD, Grid& SpreadTot,
                      const std::vector<std::string>& DataFillEventCol, std::int32_t AutoScroll = 0);
  void SpreadDisplayOne(const RecordSource& RST, Grid& SPREAD, bool DataFillEventFlag, std::int32_t AutoScroll = 0,
                        bool DVirtualMode = false, const std::string& DataFillFields = "");
  void SpreadDisplay(const Recordset& RST, Grid& SPREAD, Grid& SpreadTot, bool DataFillEventFlag,
                     std::int32_t AutoScroll = 0, bool DVirtualMode = false, const std::string& DataFillFields = "");
  void SpreadDisplay2(const Recordset& RST, Grid& SPREAD, Grid& SpreadTot,
                      const std::vector<std::string>& DataFillEventCol, std::int32_t AutoScroll = 0);
  void SpreadDisplayOne(const Recordset& RST, Grid& SPREAD, bool DataFillEventFlag, std::int32_t AutoScroll = 0,
                        bool DVirtualMode = false, const std::string& DataFillFields = "");
  void FSPR_SETSEL(Grid& SPREAD, std::int32_t& Col, double& Row);
  void SpreadReset(Grid& SPREAD, bool Flag = false, bool MultiSel = true);
};

}  // namespace lumagrid
