#include "opcua/node_update.h"

#include <utility>

namespace quorvel::opcua {

void UpdateQueue::Push(NodeUpdate update) {
  const std::lock_guard lock(mutex_);
  if (updates_.size() >= capacity_) {
    updates_.pop_front();
    ++dropped_;
  }
  updates_.push_back(std::move(update));
}

std::vector<NodeUpdate> UpdateQueue::TakeAll() {
  std::deque<NodeUpdate> taken;
  {
    const std::lock_guard lock(mutex_);
    taken.swap(updates_);
  }
  return {std::make_move_iterator(taken.begin()), std::make_move_iterator(taken.end())};
}

std::uint64_t UpdateQueue::dropped() const {
  const std::lock_guard lock(mutex_);
  return dropped_;
}

}  // namespace quorvel::opcua
