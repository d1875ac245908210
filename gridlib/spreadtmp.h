#pragma once
// SPREADTMP: the hidden form that holds the copy grid SS of the print job. One shared
// instance, loaded on first use and kept until unloaded (by the print job's Cancel or by the
// preview window's close). Unloading destroys SS; the preview holds it only by its handle.

#include "platform/grid/grid.h"

namespace lumagrid {

class SPREADTMP {
 public:
  // The shared instance, loaded now if it is not.
  static SPREADTMP& Load();
  // The shared instance, or nullptr while it is not loaded.
  static SPREADTMP* Loaded();
  static void Unload();

  veltrano::grid::Grid SS;

 private:
  SPREADTMP() = default;
};

}  // namespace lumagrid
