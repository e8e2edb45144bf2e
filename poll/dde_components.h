// The main window's DDE components: the topic object and the 500 items, and
// their names, which live in the window's component namespace.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "poll/dde_server.h"

namespace quorvel::poll {

inline constexpr int kDdeItemCount = 500;
inline constexpr std::string_view kDesignedTopic = "ZORVIK";

class DdeComponents {
 public:
  // The topic object named ZORVIK and `item_count` unnamed items with the
  // text " --.-", served under it, owned by `window`.
  DdeComponents(TDdeMgr& manager, DdeForm& window, int item_count = kDdeItemCount);

  TDdeServerConv& Topic() { return *topic_; }
  TDdeServerItem& Item(int index) { return *items_.at(static_cast<std::size_t>(index)); }
  int ItemCount() const { return static_cast<int>(items_.size()); }

  // A failure message, or nothing when the name was taken (or already was
  // the name). The name must be an identifier, or empty, and no other
  // component's name without regard to case.
  std::optional<std::string> SetTopicName(std::string_view name);
  std::optional<std::string> SetItemName(int index, std::string_view name);

  // Names every item the prefix followed by its number (1, 2, ...). The new
  // names are checked as one set against every other component first, so
  // names the items are about to give up do not count; a refused prefix
  // changes no item.
  std::optional<std::string> NameItems(std::string_view prefix);

  // The window releases its items when it closes.
  void ReleaseItems() { items_.clear(); }

 private:
  // A failure message when `name` may not be taken by the component `self`
  // (null for none), ignoring the items when `skip_items` is set.
  std::optional<std::string> Refusal(std::string_view name, const void* self,
                                     bool skip_items) const;

  std::unique_ptr<TDdeServerConv> topic_;
  std::vector<std::unique_ptr<TDdeServerItem>> items_;
};

}  // namespace quorvel::poll
