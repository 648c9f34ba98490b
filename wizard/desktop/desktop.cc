#include "wizard/desktop/desktop.h"

namespace nvx::wizard {

void Desktop::BusyPointer(bool up) {
  busy_count_ += up ? 1 : -1;
  bool busy = busy_count_ >= 1;
  if (busy == busy_shown_) return;
  busy_shown_ = busy;
  ShowBusy(busy);
}

}  // namespace nvx::wizard
