#include "mqtt/outbox.h"

#include <utility>

namespace quorvel::mqtt {

void Outbox::Push(Message message) {
  if (messages_.size() == capacity_) {
    messages_.pop_front();
    ++dropped_;
  }
  messages_.push_back(std::move(message));
}

std::optional<Message> Outbox::Pop() {
  if (messages_.empty()) return std::nullopt;
  Message front = std::move(messages_.front());
  messages_.pop_front();
  return front;
}

void Outbox::Return(Message message) {
  if (messages_.size() == capacity_) {
    ++dropped_;
    return;
  }
  messages_.push_front(std::move(message));
}

}  // namespace quorvel::mqtt
