// The messages on their way to the broker, oldest first, at most `capacity`
// of them: while the broker is away they wait here, and past the capacity
// the oldest are dropped and counted. Not synchronised; the broker link
// guards it with its own lock.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <string>

namespace quorvel::mqtt {

struct Message {
  std::string topic;
  std::string payload;
};

class Outbox {
 public:
  explicit Outbox(std::size_t capacity) : capacity_(capacity < 1 ? 1 : capacity) {}

  void Push(Message message);
  // The oldest message, taken out.
  std::optional<Message> Pop();
  // A message taken out that could not be handed on goes back in front:
  // it is still the oldest, so it is the one dropped if the box filled
  // meanwhile.
  void Return(Message message);

  std::size_t Size() const { return messages_.size(); }
  std::uint64_t Dropped() const { return dropped_; }

 private:
  std::size_t capacity_;
  std::deque<Message> messages_;
  std::uint64_t dropped_ = 0;
};

}  // namespace quorvel::mqtt
