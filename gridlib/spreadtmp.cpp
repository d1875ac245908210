#include "spreadtmp.h"

namespace lumagrid {
namespace {
// Deliberately not destroyed at exit: the grid's handle table of the platform library may be
// gone by then.
SPREADTMP* g_form = nullptr;
}  // namespace

SPREADTMP& SPREADTMP::Load() {
  if (!g_form) g_form = new SPREADTMP;
  return *g_form;
}

SPREADTMP* SPREADTMP::Loaded() { return g_form; }

void SPREADTMP::Unload() {
  SPREADTMP* form = g_form;
  g_form = nullptr;
  delete form;
}

}  // namespace lumagrid
