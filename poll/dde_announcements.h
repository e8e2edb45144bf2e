// Telling the DDE clients of a reading while the line carries the next
// request: the sink holds the manager's announcements from each reading on,
// so the items' texts change at once and the clients are told when the poll
// cycle says (ReadingSink::Announce). It comes before the DDE item sinks.
#pragma once

#include "poll/dde_server.h"
#include "poll/reading.h"

namespace quorvel::poll {

class DdeAnnouncements final : public ReadingSink {
 public:
  explicit DdeAnnouncements(TDdeMgr& manager) : manager_(manager) {}
  void Take(const Reading& /*reading*/) override { manager_.HoldAnnouncements(); }
  void Announce() override { manager_.AnnounceHeld(); }

 private:
  TDdeMgr& manager_;
};

}  // namespace quorvel::poll
