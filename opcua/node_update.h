// What the OPC UA server is told of a sensor item: its text, value and
// status, and when the reply ended; made on the poll cycle's thread, taken on
// the server's. The queue between them is bounded: a server that falls far
// behind loses the oldest updates, counted, and the poll cycle never waits.
#pragma once

#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace quorvel::opcua {

struct NodeUpdate {
  int item = 0;                 // DDE value item, from 0
  std::string text;             // UTF-8, as the DDE item shows it
  std::optional<double> value;  // nothing: the Value variable holds none
  std::uint32_t status = 0;     // StatusCode of Value
  std::int64_t source_utc_ns = 0;
  std::int32_t device = 0;
  std::int32_t channel = 0;
};

class UpdateQueue {
 public:
  explicit UpdateQueue(std::size_t capacity) : capacity_(capacity) {}

  // From the poll cycle. A full queue drops its oldest update and counts it.
  void Push(NodeUpdate update);
  // From the server: everything waiting, oldest first.
  std::vector<NodeUpdate> TakeAll();
  std::uint64_t dropped() const;

 private:
  const std::size_t capacity_;
  mutable std::mutex mutex_;
  std::deque<NodeUpdate> updates_;
  std::uint64_t dropped_ = 0;
};

}  // namespace quorvel::opcua
