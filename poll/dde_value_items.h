// The DDE value items as a sink: each reading becomes the text of its item,
// and the item's linked clients are advised, also when the text is the one
// it had.
#pragma once

#include "poll/dde_components.h"
#include "poll/reading.h"

namespace quorvel::poll {

class DdeValueItems final : public ReadingSink {
 public:
  explicit DdeValueItems(DdeComponents& items) : items_(items) {}
  void Take(const Reading& reading) override {
    // The items are released as the program closes; a run has ended then.
    if (reading.item < items_.ItemCount()) items_.Item(reading.item).SetText(reading.text);
  }

 private:
  DdeComponents& items_;
};

}  // namespace quorvel::poll
