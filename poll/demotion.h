// Demotion of a device that has stopped answering. A dead device takes all
// its channels with it, and each of its rows would cost the whole reply
// time-out in every pass; so after `after` exchanges in a row on one address
// in which the device never began to answer, the rows of that address are
// passed over for a while. Then the next due row of the address is asked
// once, as a probe: any reply restores the address (its rows are asked again
// from the following pass), no reply demotes it again for twice as long, up
// to eight times the first length.
#pragma once

#include <cstdint>
#include <map>

namespace quorvel::poll {

class Demotion {
 public:
  enum class Turn {
    kAsk,    // ask the row as usual
    kProbe,  // ask it: the probe of a demoted address
    kSkip,   // pass it over
  };

  // Off when `after` is 0. Forgets every address.
  void Reset(int after, std::int64_t first_length_ns);
  bool On() const { return after_ > 0; }

  // What to do with a due row of `address` at `now_ns`.
  Turn TurnOf(std::int32_t address, std::int64_t now_ns);
  // The outcome of an exchange with `address` that ended at `now_ns`: whether
  // the device began to answer. True when the address is demoted by it.
  bool Note(std::int32_t address, bool answered, std::int64_t now_ns);
  // A new pass over the table begins.
  void NewPass();

 private:
  struct Device {
    int misses = 0;  // exchanges in a row without an answer
    bool demoted = false;
    bool probing = false;   // the probe is out
    bool restored = false;  // restored in this pass: its rows wait for the next
    std::int64_t until_ns = 0;
    std::int64_t length_ns = 0;  // of the demotion now or last
  };
  void Demote(Device& device, std::int64_t length_ns, std::int64_t now_ns);

  int after_ = 0;
  std::int64_t first_length_ns_ = 0;
  std::map<std::int32_t, Device> devices_;
};

}  // namespace quorvel::poll
