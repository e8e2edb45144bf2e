#include "runs/demo/dde_links_win.h"

#include <windows.h>
// After windows.h, whose types it uses.
#include <ddeml.h>

#include <unordered_map>

#include "tools/dde_client/ddeml_win.h"

namespace quorvel::tools {

namespace {

using dde::DdeConversation;
using dde::DdeInstance;
using dde::DdeString;

constexpr DWORD kTransactionMs = 10'000;

std::string DmlError(const std::string& what, DWORD instance) {
  return what + " failed: " + dde::DmlErrorName(::DdeGetLastError(instance));
}

}  // namespace

struct DdeLinks::State {
  Handler handler;
  DdeInstance instance;
  DdeString service;
  DdeString topic;
  DdeConversation conversation;
  std::vector<DdeString> items;  // the linked ones, in order
  // Under Wine a string handle is an atom of the process: the handle an
  // update names is the one made for the link.
  std::unordered_map<HSZ, std::size_t> index;

  std::size_t IndexOf(HSZ item) const {
    if (const auto found = index.find(item); found != index.end()) return found->second;
    for (std::size_t i = 0; i < items.size(); ++i) {
      if (::DdeCmpStringHandles(items[i].get().hsz, item) == 0) return i;
    }
    return items.size();
  }
};

namespace {

// The one set of links of the process, for the callback.
DdeLinks::State* g_links = nullptr;

HDDEDATA OnAdviseData(DdeLinks::State& links, HCONV conversation, HSZ item, HDDEDATA data) {
  if (conversation != links.conversation.get()) {
    return reinterpret_cast<HDDEDATA>(DDE_FNOTPROCESSED);
  }
  const std::size_t index = links.IndexOf(item);
  if (index == links.items.size()) return reinterpret_cast<HDDEDATA>(DDE_FNOTPROCESSED);
  std::string bytes;
  if (data != nullptr) {
    bytes.resize(::DdeGetData(data, /*pDst=*/nullptr, 0, /*cbOff=*/0));
    if (!bytes.empty()) {
      bytes.resize(::DdeGetData(data, reinterpret_cast<LPBYTE>(bytes.data()),
                                static_cast<DWORD>(bytes.size()), /*cbOff=*/0));
    }
  }
  links.handler(index, bytes);
  return reinterpret_cast<HDDEDATA>(DDE_FACK);
}

HDDEDATA CALLBACK OnDdeEvent(UINT type, UINT /*format*/, HCONV conversation, HSZ /*hsz1*/, HSZ hsz2,
                             HDDEDATA data, ULONG_PTR /*data1*/, ULONG_PTR /*data2*/) noexcept {
  // Nothing may unwind through DDEML's frames: a failure is "not processed".
  try {
    if (g_links != nullptr && type == XTYP_ADVDATA) {
      return OnAdviseData(*g_links, conversation, hsz2, data);
    }
    return nullptr;
  } catch (...) {
    return type == XTYP_ADVDATA ? reinterpret_cast<HDDEDATA>(DDE_FNOTPROCESSED) : nullptr;
  }
}

bool MakeString(DWORD instance, const std::string& text, DdeString& out, std::string* error) {
  const HSZ hsz = ::DdeCreateStringHandleA(instance, text.c_str(), CP_WINANSI);
  if (hsz == nullptr) {
    *error = DmlError("DdeCreateStringHandle(" + text + ")", instance);
    return false;
  }
  out.reset({instance, hsz});
  return true;
}

}  // namespace

DdeLinks::DdeLinks(std::unique_ptr<State> state) : state_(std::move(state)) {
  g_links = state_.get();
}

std::unique_ptr<DdeLinks> DdeLinks::Connect(const std::string& service, const std::string& topic,
                                            Handler handler, std::string* error) {
  if (g_links != nullptr) {
    *error = "this process holds DDE links already";
    return nullptr;
  }
  auto state = std::make_unique<State>();
  state->handler = std::move(handler);
  DWORD id = 0;
  const UINT started = ::DdeInitializeA(
      &id, &OnDdeEvent, APPCMD_CLIENTONLY | CBF_SKIP_REGISTRATIONS | CBF_SKIP_UNREGISTRATIONS,
      /*ulRes=*/0);
  if (started != DMLERR_NO_ERROR) {
    *error = std::string("DdeInitialize failed: ") + dde::DmlErrorName(started);
    return nullptr;
  }
  state->instance.reset(id);
  if (!MakeString(id, service, state->service, error) ||
      !MakeString(id, topic, state->topic, error)) {
    return nullptr;
  }
  state->conversation.reset(::DdeConnect(id, state->service.get().hsz, state->topic.get().hsz,
                                         /*pCC=*/nullptr));
  if (!state->conversation) {
    *error = DmlError("DdeConnect(" + service + ", " + topic + ")", id);
    return nullptr;
  }
  dde::PumpMessages();
  return std::unique_ptr<DdeLinks>(new DdeLinks(std::move(state)));
}

DdeLinks::~DdeLinks() {
  Unlink();
  g_links = nullptr;
  // The state's members go in reverse order: the string handles before the
  // instance they belong to.
}

bool DdeLinks::Link(const std::vector<std::string>& items, std::string* error) {
  State& s = *state_;
  const DWORD instance = s.instance.get();
  for (const std::string& name : items) {
    DdeString item;
    if (!MakeString(instance, name, item, error)) return false;
    const HSZ hsz = item.get().hsz;
    // In the list before the link starts: an update may come with the answer.
    s.index.emplace(hsz, s.items.size());
    s.items.push_back(std::move(item));
    DWORD result = 0;
    const HDDEDATA answer =
        ::DdeClientTransaction(/*pData=*/nullptr, /*cbData=*/0, s.conversation.get(), hsz, CF_TEXT,
                               XTYP_ADVSTART, kTransactionMs, &result);
    if (answer == nullptr) {
      *error = DmlError("XTYP_ADVSTART(" + name + ")", instance);
      s.index.erase(hsz);
      s.items.pop_back();
      dde::PumpMessages();
      return false;
    }
    dde::PumpMessages();
  }
  return true;
}

bool DdeLinks::Unlink() {
  State& s = *state_;
  if (!s.conversation) return true;
  if (!dde::Connected(s.conversation.get())) {
    // The links went with the server; only the handle is left to free.
    s.conversation.reset();
    return false;
  }
  bool ok = true;
  for (const DdeString& item : s.items) {
    DWORD result = 0;
    ok = ::DdeClientTransaction(/*pData=*/nullptr, /*cbData=*/0, s.conversation.get(),
                                item.get().hsz, CF_TEXT, XTYP_ADVSTOP, kTransactionMs,
                                &result) != nullptr &&
         ok;
    dde::PumpMessages();
  }
  s.conversation.reset();
  dde::PumpMessages();
  return ok;
}

std::size_t DdeLinks::LinkCount() const {
  return state_->items.size();
}

}  // namespace quorvel::tools
