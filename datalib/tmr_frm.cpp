#include "tmr_frm.h"

namespace lumadata {

TMR_FRM::TMR_FRM() : Timer1([this] { Timer1_Timer(); }, 1000) {}

void TMR_FRM::Load() {
  count_ = 0;
  loaded_ = true;
  Timer1.setEnabled(true);
}

void TMR_FRM::Unload() {
  Timer1.setEnabled(false);
  loaded_ = false;
}

void TMR_FRM::Timer1_Timer() {
  if (count_ > 29) {
    if (ClosedThisProcesure) ClosedThisProcesure();
    Unload();
  }
  ++count_;
}

}  // namespace lumadata
