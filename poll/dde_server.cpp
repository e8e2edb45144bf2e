#include "poll/dde_server.h"

#include <algorithm>
#include <cstdio>

#include "base/file_name.h"
#include "poll/component_names.h"

namespace quorvel::poll {

std::string ServedText(const std::vector<std::string>& lines) {
  std::string served;
  for (const std::string& line : lines) {
    served += line;
    served += "\r\n";
  }
  served.push_back('\0');
  return served;
}

std::vector<std::string> SplitLines(std::string_view text) {
  text = text.substr(0, text.find('\0'));
  std::vector<std::string> lines;
  std::size_t pos = 0;
  while (pos < text.size()) {
    const std::size_t end = std::min(text.find_first_of("\r\n", pos), text.size());
    lines.emplace_back(text.substr(pos, end - pos));
    pos = end;
    if (pos < text.size() && text[pos] == '\r') ++pos;
    if (pos < text.size() && text[pos] == '\n') ++pos;
  }
  return lines;
}

std::string ServiceName(std::string_view executable_path) {
  const std::string_view file = FileNameOf(executable_path);
  return std::string(file.substr(0, file.find('.')));
}

std::string DdeStartupErrorMessage(std::uint32_t code) {
  const char* format = "An error returned from DDE  ($0%x)";
  if (code == 0x4007 || code == 0x4008) format = "Error occurred when DDE ran out of memory ($0%x)";
  if (code == 0x400A) format = "DDE Error - conversation not established ($0%x)";
  char text[96];
  std::snprintf(text, sizeof text, format, code);
  return text;
}

TDdeServerConv::TDdeServerConv(TDdeMgr& manager, DdeForm* owner, std::string name)
    : manager_(manager), owner_(owner), name_(std::move(name)) {
  manager_.AddTopic(this);
}

TDdeServerConv::~TDdeServerConv() {
  manager_.ForgetTopic(this);
}

TDdeServerItem::TDdeServerItem(TDdeMgr& manager, DdeForm* owner, TDdeServerConv* server_conv)
    : manager_(manager),
      owner_(owner),
      server_conv_(server_conv),
      lines_{std::string(kNoValueText)} {
  if (owner_ != nullptr) owner_->items.push_back(this);
}

TDdeServerItem::~TDdeServerItem() {
  if (owner_ != nullptr) std::erase(owner_->items, this);
  manager_.ForgetItem(this);
}

std::string TDdeServerItem::Text() const {
  return lines_.empty() ? std::string() : lines_[0];
}

void TDdeServerItem::SetText(std::string_view text) {
  manager_.WillChange(*this);
  lines_.assign(1, std::string(text));
  format_ = kCfText;
  manager_.PostChange(*this);
}

void TDdeServerItem::SetLinesFromText(std::string_view text) {
  manager_.WillChange(*this);
  lines_ = SplitLines(text);
  manager_.PostChange(*this);
}

TDdeMgr::TDdeMgr(DdePlatform& platform) : platform_(platform) {}

TDdeMgr::~TDdeMgr() {
  DisconnectAll();
}

void TDdeMgr::AddForm(const DdeForm* form) {
  forms_.push_back(form);
}

void TDdeMgr::RemoveForm(const DdeForm* form) {
  std::erase(forms_, form);
  for (auto& conversation : conversations_) {
    if (conversation->form == form) conversation->form = nullptr;
  }
}

void TDdeMgr::AddTopic(TDdeServerConv* topic) {
  topics_.push_back(topic);
}

void TDdeMgr::ForgetTopic(TDdeServerConv* topic) {
  std::erase(topics_, topic);
  for (auto& conversation : conversations_) {
    if (conversation->topic_object == topic) conversation->topic_object = nullptr;
  }
  for (const DdeForm* form : forms_) {
    for (TDdeServerItem* item : form->items) {
      if (item->ServerConv() == topic) item->ClearServerConv();
    }
  }
}

void TDdeMgr::ForgetItem(TDdeServerItem* item) {
  std::erase(held_, item);
  for (auto& conversation : conversations_) {
    for (auto& link : conversation->links) {
      if (link->item == item) link->item = nullptr;
    }
  }
}

bool TDdeMgr::AcceptsTopic(std::string_view topic) const {
  for (const TDdeServerConv* object : topics_) {
    if (SameName(object->Name(), topic)) return true;
  }
  for (const DdeForm* form : forms_) {
    if (SameName(form->caption, topic)) return true;
  }
  return false;
}

TDdeSrvrConv& TDdeMgr::ConfirmConnection(std::string_view topic, DdeConversation handle) {
  auto conversation = std::make_unique<TDdeSrvrConv>();
  conversation->topic = std::string(topic);
  conversation->handle = handle;
  // The first topic object whose name matches wins; a form's caption only
  // when none does.
  for (TDdeServerConv* object : topics_) {
    if (SameName(object->Name(), topic)) {
      conversation->topic_object = object;
      break;
    }
  }
  if (conversation->topic_object == nullptr) {
    for (const DdeForm* form : forms_) {
      if (SameName(form->caption, topic)) {
        conversation->form = form;
        break;
      }
    }
  }
  conversations_.push_back(std::move(conversation));
  return *conversations_.back();
}

TDdeServerItem* TDdeMgr::FindServerItem(const TDdeSrvrConv& conversation,
                                        std::string_view name) const {
  const DdeForm* container = conversation.form;
  if (container == nullptr && conversation.topic_object != nullptr) {
    container = conversation.topic_object->Owner();
  }
  if (container == nullptr) return nullptr;
  for (TDdeServerItem* item : container->items) {
    if (item->Name() == name && item->ServerConv() == conversation.topic_object &&
        item->ServerConv() != nullptr) {
      return item;
    }
  }
  return nullptr;
}

bool TDdeMgr::StartAdvise(TDdeSrvrConv& conversation, std::string_view item_name,
                          std::uint32_t format) {
  if (format != kCfText) return false;
  TDdeServerItem* item = FindServerItem(conversation, item_name);
  if (item == nullptr) return false;
  auto link = std::make_unique<TDdeSrvrItem>();
  link->conversation = &conversation;
  link->item_name = std::string(item_name);
  link->item_handle = MakeString(item_name);
  link->item = item;
  conversation.links.push_back(std::move(link));
  if (!conversation.topic_handle) conversation.topic_handle = MakeString(conversation.topic);
  return true;
}

PlatformString TDdeMgr::MakeString(std::string_view text) {
  const DdeString handle = platform_.CreateString(text);
  return handle != 0 ? PlatformString({&platform_, handle}) : PlatformString();
}

std::optional<std::string> TDdeMgr::Serve(TDdeSrvrConv& conversation, DdeString item_handle,
                                          std::string_view item_name, std::uint32_t format) {
  return Serve(
      conversation, item_handle, [&] { return std::string(item_name); }, format);
}

std::optional<std::string> TDdeMgr::Serve(TDdeSrvrConv& conversation, DdeString item_handle,
                                          const std::function<std::string()>& item_name,
                                          std::uint32_t format) {
  const TDdeServerItem* item = nullptr;
  bool linked = false;
  for (const auto& link : conversation.links) {
    if (platform_.SameString(link->item_handle.get().handle, item_handle)) {
      item = link->item;
      linked = true;
      break;
    }
  }
  if (!linked) item = FindServerItem(conversation, item_name());
  if (item == nullptr || format != kCfText) return std::nullopt;
  return ServedText(item->Lines());
}

bool TDdeMgr::Poke(TDdeSrvrConv& conversation, std::string_view item_name, std::uint32_t format,
                   std::string_view data) {
  if (format != kCfText) return false;
  TDdeServerItem* item = FindServerItem(conversation, item_name);
  if (item == nullptr || !item->TakesPokes()) return false;
  item->SetLinesFromText(data);
  return true;
}

bool TDdeMgr::Execute(const TDdeSrvrConv& conversation, bool data_accessible) const {
  return conversation.topic_object != nullptr && data_accessible;
}

void TDdeMgr::StopAdvise(TDdeSrvrConv& conversation, DdeString item_handle) {
  auto& links = conversation.links;
  const auto found = std::find_if(links.begin(), links.end(), [&](const auto& link) {
    return platform_.SameString(link->item_handle.get().handle, item_handle);
  });
  if (found == links.end()) return;
  links.erase(found);
}

void TDdeMgr::Release(TDdeSrvrConv& conversation) {
  // The record's string handles go with it.
  std::erase_if(conversations_, [&](const auto& c) { return c.get() == &conversation; });
}

void TDdeMgr::Disconnected(TDdeSrvrConv& conversation) {
  Release(conversation);
}

void TDdeMgr::DisconnectAll() {
  while (!conversations_.empty()) {
    TDdeSrvrConv& conversation = *conversations_.front();
    platform_.Disconnect(conversation.handle);
    // DdeDisconnect may already have released it through XTYP_DISCONNECT.
    if (!conversations_.empty() && conversations_.front().get() == &conversation) {
      Release(conversation);
    }
  }
}

void TDdeMgr::ReleaseConversations(const std::function<bool(DdeConversation)>& gone) {
  std::vector<TDdeSrvrConv*> dead;
  for (const auto& conversation : conversations_) {
    if (gone(conversation->handle)) dead.push_back(conversation.get());
  }
  for (TDdeSrvrConv* conversation : dead) {
    platform_.Disconnect(conversation->handle);
    Release(*conversation);
  }
}

void TDdeMgr::HoldAnnouncements() {
  holding_ = true;
}

void TDdeMgr::AnnounceHeld() {
  holding_ = false;
  // Taken out first: what an announcement does cannot change the list it
  // walks.
  std::vector<const TDdeServerItem*> held;
  held.swap(held_);
  for (const TDdeServerItem* item : held) PostChange(*item);
}

void TDdeMgr::WillChange(const TDdeServerItem& item) {
  // An item about to change again before its last change was told: what was
  // held is told first, while the item still has that text, so that every
  // change reaches the clients once and with its own text.
  if (holding_ && std::find(held_.begin(), held_.end(), &item) != held_.end()) {
    AnnounceHeld();
    holding_ = true;
  }
}

void TDdeMgr::PostChange(const TDdeServerItem& item) {
  if (holding_) {
    held_.push_back(&item);
    return;
  }
  if (item.ServerConv() == nullptr) return;
  const std::string& topic = item.ServerConv()->Name();
  for (const auto& conversation : conversations_) {
    if (!SameName(conversation->topic, topic)) continue;
    for (const auto& link : conversation->links) {
      if (link->item_name == item.Name()) {
        platform_.PostAdvise(conversation->topic_handle.get().handle,
                             link->item_handle.get().handle);
        return;
      }
    }
  }
}

std::vector<DdeConversation> TDdeMgr::ConversationHandles() const {
  std::vector<DdeConversation> handles;
  for (const auto& conversation : conversations_) handles.push_back(conversation->handle);
  return handles;
}

bool TDdeMgr::AnyClientHere() const {
  return std::any_of(conversations_.begin(), conversations_.end(),
                     [](const auto& conversation) { return conversation->client_here; });
}

std::size_t TDdeMgr::LinkCount() const {
  std::size_t links = 0;
  for (const auto& conversation : conversations_) links += conversation->links.size();
  return links;
}

}  // namespace quorvel::poll
