// The DDE item server: one service, topic objects, text items, and the
// conversations and advise links of clients. Everything a transaction
// decides is here and portable; the DDEML callback (dde_server_win.cpp) only
// translates between DDEML and these calls, and DdePlatform gives this code
// the few DDEML calls it makes itself.
//
// Lifetimes: the manager outlives every topic object, item and form; items
// and topic objects tell the manager when they go, so no conversation keeps
// a pointer to one that is gone.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/unique_handle.h"

namespace quorvel::poll {

inline constexpr std::uint32_t kCfText = 1;
// The text of an item never written.
inline constexpr std::string_view kNoValueText = " --.-";

// A DDEML string handle (HSZ) and a conversation handle (HCONV), opaque here.
using DdeString = std::uintptr_t;
using DdeConversation = std::uintptr_t;

class DdePlatform {
 public:
  virtual ~DdePlatform() = default;
  virtual DdeString CreateString(std::string_view text) = 0;
  virtual void FreeString(DdeString handle) = 0;
  // Handles of the same text, without regard to case (DdeCmpStringHandles).
  virtual bool SameString(DdeString a, DdeString b) = 0;
  // DDEML sends an advise request for every advise loop on topic and item.
  virtual void PostAdvise(DdeString topic, DdeString item) = 0;
  virtual void Disconnect(DdeConversation conversation) = 0;
};

// A string handle the manager made, freed through the platform that made it.
struct PlatformStringTraits {
  struct pointer {
    DdePlatform* platform = nullptr;
    DdeString handle = 0;
    bool operator==(const pointer&) const = default;
  };
  static pointer Invalid() { return {}; }
  static void Close(pointer string) { string.platform->FreeString(string.handle); }
};
using PlatformString = UniqueHandle<PlatformStringTraits>;

class TDdeMgr;
class TDdeServerItem;

// A form of the program: a connection may name its caption as the topic,
// and the DDE items it owns are its components, in creation order.
struct DdeForm {
  std::string caption;
  std::vector<TDdeServerItem*> items;
};

// The topic object; its name is the DDE topic.
class TDdeServerConv {
 public:
  TDdeServerConv(TDdeMgr& manager, DdeForm* owner, std::string name);
  ~TDdeServerConv();
  TDdeServerConv(const TDdeServerConv&) = delete;
  TDdeServerConv& operator=(const TDdeServerConv&) = delete;

  const std::string& Name() const { return name_; }
  // No checks here; the component namespace checks names (DdeComponents).
  void SetName(std::string name) { name_ = std::move(name); }
  DdeForm* Owner() const { return owner_; }

 private:
  TDdeMgr& manager_;
  DdeForm* owner_;
  std::string name_;
};

// A text item. Its value is a list of lines; Text is the first line.
class TDdeServerItem {
 public:
  // Created with the text " --.-", no name, and added to the owner's items.
  TDdeServerItem(TDdeMgr& manager, DdeForm* owner, TDdeServerConv* server_conv);
  ~TDdeServerItem();
  TDdeServerItem(const TDdeServerItem&) = delete;
  TDdeServerItem& operator=(const TDdeServerItem&) = delete;

  const std::string& Name() const { return name_; }
  void SetName(std::string name) { name_ = std::move(name); }

  // The first line, or empty when there are none.
  std::string Text() const;
  // Replaces every line by `text` and tells linked clients, changed or not.
  void SetText(std::string_view text);
  // Replaces the lines by `text` split at CR LF, CR or LF (stopping at a
  // NUL) and tells linked clients.
  void SetLinesFromText(std::string_view text);

  const std::vector<std::string>& Lines() const { return lines_; }
  // An item the program alone writes: a client's poke is not processed.
  bool TakesPokes() const { return takes_pokes_; }
  void RefusePokes() { takes_pokes_ = false; }
  TDdeServerConv* ServerConv() const { return server_conv_; }
  void ClearServerConv() { server_conv_ = nullptr; }
  std::uint32_t Format() const { return format_; }

 private:
  TDdeMgr& manager_;
  DdeForm* owner_;
  TDdeServerConv* server_conv_;
  std::string name_;
  std::vector<std::string> lines_;
  std::uint32_t format_ = kCfText;
  bool takes_pokes_ = true;
};

struct TDdeSrvrConv;

// An advise link: a client's hot link to an item, under the name it asked.
struct TDdeSrvrItem {
  TDdeSrvrConv* conversation;
  std::string item_name;
  PlatformString item_handle;
  TDdeServerItem* item;  // null once the item is released
};

// An open conversation.
struct TDdeSrvrConv {
  std::string topic;
  PlatformString topic_handle;             // made with the first advise link
  const DdeForm* form = nullptr;           // when a form's caption matched
  TDdeServerConv* topic_object = nullptr;  // when a topic object matched
  DdeConversation handle = 0;
  std::vector<std::unique_ptr<TDdeSrvrItem>> links;
  // The client is a window of this process.
  bool client_here = false;
};

// The lines of an item as a client receives them: each line and CR LF, then
// one NUL (counted in the size).
std::string ServedText(const std::vector<std::string>& lines);

// `text` up to its first NUL, split at CR LF, CR or LF. A line break at the
// very end adds no empty line.
std::vector<std::string> SplitLines(std::string_view text);

// The service: the executable's file name, without its folder, cut before
// its first '.'.
std::string ServiceName(std::string_view executable_path);

// The message shown when DDEML cannot be initialised.
std::string DdeStartupErrorMessage(std::uint32_t code);

class TDdeMgr {
 public:
  explicit TDdeMgr(DdePlatform& platform);
  ~TDdeMgr();
  TDdeMgr(const TDdeMgr&) = delete;
  TDdeMgr& operator=(const TDdeMgr&) = delete;

  void AddForm(const DdeForm* form);
  void RemoveForm(const DdeForm* form);

  // XTYP_CONNECT and XTYP_WILDCONNECT: a topic object's name, or else a
  // form's caption, equals `topic` without regard to case.
  bool AcceptsTopic(std::string_view topic) const;
  // XTYP_CONNECT_CONFIRM: the record of the new conversation.
  TDdeSrvrConv& ConfirmConnection(std::string_view topic, DdeConversation handle);
  // XTYP_ADVSTART.
  bool StartAdvise(TDdeSrvrConv& conversation, std::string_view item_name, std::uint32_t format);
  // XTYP_REQUEST and XTYP_ADVREQ: the bytes to serve, or nothing.
  std::optional<std::string> Serve(TDdeSrvrConv& conversation, DdeString item_handle,
                                   std::string_view item_name, std::uint32_t format);
  // The same, with the item's name asked for only when no advise link of
  // the conversation has that handle (asking may cost a system call).
  std::optional<std::string> Serve(TDdeSrvrConv& conversation, DdeString item_handle,
                                   const std::function<std::string()>& item_name,
                                   std::uint32_t format);
  // XTYP_POKE: true when processed.
  bool Poke(TDdeSrvrConv& conversation, std::string_view item_name, std::uint32_t format,
            std::string_view data);
  // XTYP_EXECUTE: true when acknowledged; the command is not looked at.
  bool Execute(const TDdeSrvrConv& conversation, bool data_accessible) const;
  // XTYP_ADVSTOP.
  void StopAdvise(TDdeSrvrConv& conversation, DdeString item_handle);
  // XTYP_DISCONNECT: the record and its links go.
  void Disconnected(TDdeSrvrConv& conversation);
  // End of the program: every open conversation is ended and released.
  void DisconnectAll();
  // Ends and releases the conversations whose client is gone without saying
  // so (a client that was killed): their records and links would otherwise
  // stay for the rest of the run.
  void ReleaseConversations(const std::function<bool(DdeConversation)>& gone);

  // The first item of the conversation's container with exactly this name
  // under the conversation's topic object.
  TDdeServerItem* FindServerItem(const TDdeSrvrConv& conversation, std::string_view name) const;
  // Tells the clients linked to the item under its current topic and name;
  // while announcements are held, only notes the item.
  void PostChange(const TDdeServerItem& item);
  // From now until AnnounceHeld, changes are noted rather than told, so that
  // telling the clients can wait for a better moment (the line busy with the
  // next request). AnnounceHeld tells them in the order of the changes.
  void HoldAnnouncements();
  void AnnounceHeld();
  // Called by an item before its text changes.
  void WillChange(const TDdeServerItem& item);
  // Whether any open conversation's client is a window of this process.
  bool AnyClientHere() const;

  std::size_t ConversationCount() const { return conversations_.size(); }
  std::vector<DdeConversation> ConversationHandles() const;
  std::size_t LinkCount() const;

 private:
  friend class TDdeServerConv;
  friend class TDdeServerItem;
  void AddTopic(TDdeServerConv* topic);
  void ForgetTopic(TDdeServerConv* topic);
  void ForgetItem(TDdeServerItem* item);
  void Release(TDdeSrvrConv& conversation);
  // Empty when the platform could not make it.
  PlatformString MakeString(std::string_view text);

  DdePlatform& platform_;
  std::vector<TDdeServerConv*> topics_;
  std::vector<const DdeForm*> forms_;
  std::vector<std::unique_ptr<TDdeSrvrConv>> conversations_;
  bool holding_ = false;
  std::vector<const TDdeServerItem*> held_;  // changed, in order, not yet told
};

}  // namespace quorvel::poll
