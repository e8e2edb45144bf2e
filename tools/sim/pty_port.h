// A pseudo-terminal standing in for a serial port, reached through a
// symbolic link. Both ends stay open for the simulator's whole life, so the
// terminal outlives any number of opens and closes by the other side, and
// the simulator can see whether that side has read what was sent.
#pragma once

#include <optional>
#include <string>

#include "tools/sim/unique_fd.h"

namespace quorvel::sim {

class PtyPort {
 public:
  // Opens a new pseudo-terminal in raw mode and points `link` at its slave.
  // On failure returns nothing and sets `error`.
  static std::optional<PtyPort> Open(const std::string& link, std::string* error);

  int master_fd() const { return master_.get(); }
  const std::string& link() const { return link_; }
  const std::string& slave_path() const { return slave_path_; }

  // True when nothing written to the master waits to be read on the slave.
  bool PeerHasReadAll() const;

  // The port goes away as an unplugged adapter does: the link is removed and
  // both ends are closed, so the other side's handle fails and a new open
  // finds nothing. A new PtyPort::Open at the same link brings it back.
  void TakeAway();
  bool away() const { return !master_; }

 private:
  PtyPort() = default;

  UniqueFd master_;
  UniqueFd slave_;
  std::string link_;
  std::string slave_path_;
};

}  // namespace quorvel::sim
