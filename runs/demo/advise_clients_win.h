// DdeClient.exe advise processes as the linked clients of a workbook or a
// SCADA package would be: each its own process (under Wine one process holds
// one conversation at a time), its output in a file of its own, ended by its
// handle.
#pragma once

#include <windows.h>

#include <cstddef>
#include <string>
#include <vector>

namespace quorvel::tools {

class AdviseClients {
 public:
  AdviseClients() = default;
  ~AdviseClients() { End(); }
  AdviseClients(const AdviseClients&) = delete;
  AdviseClients& operator=(const AdviseClients&) = delete;

  // Starts `count` processes of `client` (DdeClient.exe), each linked to
  // every item, writing into `folder`client-N.txt. False with `error` set
  // when one could not be started (those started before run on).
  bool Start(const std::string& client, const std::string& folder, const std::string& service,
             const std::string& topic, const std::vector<std::string>& items, int count,
             std::string* error);

  // The clients started; their output can still be read once they ended.
  std::size_t Count() const { return outputs_.size(); }
  // How many of them have ended.
  std::size_t Ended() const;
  // Whether every client printed `line` (and none ended).
  bool AllPrinted(const std::string& line) const;

  // What client `index` printed so far: update lines ("hh:mm:ss.mmm ITEM =
  // ...") and updates that came without data ("... ITEM (no data)").
  struct Received {
    std::size_t updates = 0;
    std::size_t without_data = 0;
    // Whether it printed the line `marker` (when one is asked for).
    bool saw_marker = false;
  };
  Received Read(std::size_t index, const std::string& marker = {}) const;
  // The update lines of all of them.
  std::size_t Updates() const;

  // Ends those still running, by their handles, and waits for them.
  void End();

 private:
  std::vector<HANDLE> processes_;
  std::vector<std::string> outputs_;
};

// Under Wine, DdePostAdvise adds one reference to the item's global atom for
// all the links it serves, while every client that takes the update deletes
// one: with K clients linked, the atom is gone after the first client and
// the others drop the update (see tests/win/dde_win_test.cpp). References
// added beforehand keep every item's atom alive through `updates` updates of
// it, as a Windows server's references would; surplus ones only stay in the
// run's atom table.
void ReserveAtomReferences(const std::vector<std::string>& items, int clients, int updates);

// The most readings of one of `sensors` sensors a line of `baud` bit/s
// allows in `seconds`: no request and reply together are shorter than 25
// bytes.
int MostReadingsPerSensor(int baud, std::size_t sensors, double seconds);

}  // namespace quorvel::tools
