// The main window's DDE components: the topic object, the 500 value items
// and beside each its quality and time items, and their names, which live in
// the window's component namespace.
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
// What the quality and time items of value item S1 are called: S1_Q, S1_T.
inline constexpr std::string_view kQualitySuffix = "_Q";
inline constexpr std::string_view kTimeSuffix = "_T";
// The quality item's text before its sensor was first asked.
inline constexpr std::string_view kNoQualityText = "NONE";

class DdeComponents {
 public:
  // The topic object named ZORVIK and `item_count` unnamed value items with
  // the text " --.-", served under it, owned by `window`; then as many
  // quality items ("NONE") and time items (empty), which take no pokes.
  DdeComponents(TDdeMgr& manager, DdeForm& window, int item_count = kDdeItemCount);

  TDdeServerConv& Topic() { return *topic_; }
  TDdeServerItem& Item(int index) { return *items_.at(static_cast<std::size_t>(index)); }
  TDdeServerItem& QualityItem(int index) { return *quality_.at(static_cast<std::size_t>(index)); }
  TDdeServerItem& TimeItem(int index) { return *time_.at(static_cast<std::size_t>(index)); }
  // The value items; every one has its quality and time item.
  int ItemCount() const { return static_cast<int>(items_.size()); }

  // A failure message, or nothing when the name was taken (or already was
  // the name). The name must be an identifier, or empty, and no other
  // component's name without regard to case.
  std::optional<std::string> SetTopicName(std::string_view name);
  std::optional<std::string> SetItemName(int index, std::string_view name);

  // Names every value item the prefix followed by its number (1, 2, ...),
  // its quality and time items that name and their suffixes. The new names
  // are checked as one set against every other component first, so names
  // the items are about to give up do not count; a refused prefix changes no
  // item.
  std::optional<std::string> NameItems(std::string_view prefix);

  // The window releases its items when it closes.
  void ReleaseItems() {
    items_.clear();
    quality_.clear();
    time_.clear();
  }

 private:
  // A failure message when `name` may not be taken by the component `self`
  // (null for none), ignoring the items when `skip_items` is set.
  std::optional<std::string> Refusal(std::string_view name, const void* self,
                                     bool skip_items) const;

  std::unique_ptr<TDdeServerConv> topic_;
  std::vector<std::unique_ptr<TDdeServerItem>> items_;
  std::vector<std::unique_ptr<TDdeServerItem>> quality_;
  std::vector<std::unique_ptr<TDdeServerItem>> time_;
};

}  // namespace quorvel::poll
