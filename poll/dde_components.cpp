#include "poll/dde_components.h"

#include "poll/component_names.h"

namespace quorvel::poll {

DdeComponents::DdeComponents(TDdeMgr& manager, DdeForm& window, int item_count)
    : topic_(std::make_unique<TDdeServerConv>(manager, &window, std::string(kDesignedTopic))) {
  const auto make = [&](std::vector<std::unique_ptr<TDdeServerItem>>& items,
                        std::optional<std::string_view> text) {
    items.reserve(static_cast<std::size_t>(item_count));
    for (int i = 0; i < item_count; ++i) {
      items.push_back(std::make_unique<TDdeServerItem>(manager, &window, topic_.get()));
      if (!text) continue;
      items.back()->SetText(*text);
      items.back()->RefusePokes();
    }
  };
  make(items_, std::nullopt);
  make(quality_, kNoQualityText);
  make(time_, "");
}

std::optional<std::string> DdeComponents::Refusal(std::string_view name, const void* self,
                                                  bool skip_items) const {
  if (name.empty()) return std::nullopt;  // no name at all
  if (!IsIdentifier(name)) return InvalidNameMessage(name);
  for (std::string_view fixed : kMainWindowComponents) {
    if (SameName(fixed, name)) return DuplicateNameMessage(name);
  }
  if (topic_.get() != self && SameName(topic_->Name(), name)) return DuplicateNameMessage(name);
  if (!skip_items) {
    for (const auto* items : {&items_, &quality_, &time_}) {
      for (const auto& item : *items) {
        if (item.get() != self && SameName(item->Name(), name)) return DuplicateNameMessage(name);
      }
    }
  }
  return std::nullopt;
}

std::optional<std::string> DdeComponents::SetTopicName(std::string_view name) {
  if (name == topic_->Name()) return std::nullopt;
  if (auto refusal = Refusal(name, topic_.get(), false)) return refusal;
  topic_->SetName(std::string(name));
  return std::nullopt;
}

std::optional<std::string> DdeComponents::SetItemName(int index, std::string_view name) {
  TDdeServerItem& item = Item(index);
  if (name == item.Name()) return std::nullopt;
  if (auto refusal = Refusal(name, &item, false)) return refusal;
  item.SetName(std::string(name));
  return std::nullopt;
}

std::optional<std::string> DdeComponents::NameItems(std::string_view prefix) {
  std::vector<std::string> names;
  names.reserve(3 * items_.size());
  for (const std::string_view suffix : {std::string_view(), kQualitySuffix, kTimeSuffix}) {
    for (std::size_t i = 0; i < items_.size(); ++i) {
      names.push_back(std::string(prefix) + std::to_string(i + 1) + std::string(suffix));
      // The items give up their old names; only the other components count.
      // The new names differ among themselves by their numbers and suffixes.
      if (auto refusal = Refusal(names.back(), nullptr, true)) return refusal;
    }
  }
  const std::size_t count = items_.size();
  for (std::size_t i = 0; i < count; ++i) {
    items_[i]->SetName(std::move(names[i]));
    quality_[i]->SetName(std::move(names[count + i]));
    time_[i]->SetName(std::move(names[2 * count + i]));
  }
  return std::nullopt;
}

}  // namespace quorvel::poll
