#pragma once
// TMR_FRM: the watchdog of a transaction's wait, a hidden form with one timer. Once loaded,
// its timer Timer1 ticks every 1,000 ms (on veltrano::clock(), delivered by the message pump);
// each tick first tests the tick counter, which starts at 0: when it is above 29 (on the 31st
// tick, 31 s after Load) the form raises ClosedThisProcesure and unloads itself; then the
// counter goes up by one.
//
// The event runs inside the pump that delivered the tick. Its handler may unload or destroy
// nothing but the form's own state; the form is never shown.

#include <functional>

#include "platform/ui/user_interface.h"

namespace lumadata {

class TMR_FRM {
 public:
  TMR_FRM();
  ~TMR_FRM() = default;
  TMR_FRM(const TMR_FRM&) = delete;
  TMR_FRM& operator=(const TMR_FRM&) = delete;

  // Form_Load: the form stays hidden; the counter starts at 0 and Timer1 starts.
  void Load();
  // Unload: Timer1 stops.
  void Unload();
  bool loaded() const { return loaded_; }
  int tickCount() const { return count_; }

  // Event ClosedThisProcesure.
  std::function<void()> ClosedThisProcesure;

 private:
  void Timer1_Timer();

  veltrano::ui::Timer Timer1;
  int count_ = 0;
  bool loaded_ = false;
};

}  // namespace lumadata
