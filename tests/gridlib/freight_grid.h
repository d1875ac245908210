#pragma once
// A freight grid as a product program shows it, for the grid's print, export and window tests.

#include "platform/grid/grid.h"

namespace printjob_test {

using veltrano::grid::Grid;

// Columns of the freight grid, in order.
enum FreightCol { kDate = 1, kShipper, kVehicle, kTrips, kFare, kCumulative, kNote, kFreightCols = kNote };

// Fills `g` through SPREAD.SpreadReset and SpreadDisplayOne with `records` freight records: date,
// shipper and vehicle texts, trips (integer), fare and cumulative fare (numbers, the latter
// headed "누계금액"), note (text). Record i (from 1) has trips i % 5 + 1 and fare 1000 * i.
// Needs a registry store (test::ScopedRegistry).
void freightGrid(Grid& g, int records);

}  // namespace printjob_test
