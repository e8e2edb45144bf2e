#include "poll/dde_server_win.h"

#include <utility>
#include <vector>

#include "poll/posted_data_release_win.h"

namespace quorvel::poll {

namespace {

// DDEML's callback carries no context: the one server of the program.
DdemlServer* g_server = nullptr;

HSZ AsHsz(DdeString handle) {
  return reinterpret_cast<HSZ>(handle);
}
DdeString AsString(HSZ handle) {
  return reinterpret_cast<DdeString>(handle);
}

}  // namespace

std::unique_ptr<DdemlServer> DdemlServer::Start(const std::string& service_name,
                                                std::uint32_t* error_code) {
  DWORD made = 0;
  // Standard application class, no filter: every transaction reaches us.
  const UINT result = ::DdeInitializeA(&made, &DdemlServer::Callback, /*afCmd=*/0, 0);
  if (result != DMLERR_NO_ERROR) {
    if (error_code != nullptr) *error_code = result;
    return nullptr;
  }
  UniqueDdeInstance instance(made);  // owned first: a failed allocation must not keep it
  std::unique_ptr<DdemlServer> server(new DdemlServer(std::move(instance)));
  server->release_posted_data_ = PostedDataRelease::Install();
  if (const HSZ service = ::DdeCreateStringHandleA(made, service_name.c_str(), CP_WINANSI)) {
    server->service_.reset({made, service});
  }
  ::DdeNameService(made, server->service_.get().hsz, /*hsz2=*/nullptr, DNS_REGISTER);
  // A thread timer: it fires wherever this thread dispatches messages.
  server->sweep_timer_ = ::SetTimer(/*hWnd=*/nullptr, 0, 1000, &DdemlServer::SweepTimer);
  return server;
}

DdemlServer::DdemlServer(UniqueDdeInstance instance) : instance_(std::move(instance)) {
  g_server = this;
}

DdemlServer::~DdemlServer() {
  if (sweep_timer_ != 0) ::KillTimer(/*hWnd=*/nullptr, sweep_timer_);
  manager_.DisconnectAll();
  // Here rather than as members go: the service is withdrawn between them,
  // and DDEML may call back while it ends, which still reaches this server.
  last_answer_.reset();
  ::DdeNameService(instance_.get(), service_.get().hsz, /*hsz2=*/nullptr, DNS_UNREGISTER);
  service_.reset();
  instance_.reset();
  g_server = nullptr;
}

DdeString DdemlServer::CreateString(std::string_view text) {
  return AsString(::DdeCreateStringHandleA(instance_.get(), std::string(text).c_str(), CP_WINANSI));
}

void DdemlServer::FreeString(DdeString handle) {
  if (handle != 0) ::DdeFreeStringHandle(instance_.get(), AsHsz(handle));
}

bool DdemlServer::SameString(DdeString a, DdeString b) {
  return ::DdeCmpStringHandles(AsHsz(a), AsHsz(b)) == 0;
}

void DdemlServer::PostAdvise(DdeString topic, DdeString item) {
  const PostedDataRelease release(release_posted_data_ && !manager_.AnyClientHere());
  ::DdePostAdvise(instance_.get(), AsHsz(topic), AsHsz(item));
}

void DdemlServer::Disconnect(DdeConversation conversation) {
  const auto handle = reinterpret_cast<HCONV>(conversation);
  // The record goes next: DDEML must not hand it to the callback again (a
  // dead client's conversation can outlive DdeDisconnect under Wine).
  ::DdeSetUserHandle(handle, QID_SYNC, 0);
  ::DdeDisconnect(handle);
}

std::string DdemlServer::Query(HSZ handle) const {
  if (handle == nullptr) return {};
  char text[4096];
  const DWORD length = ::DdeQueryStringA(instance_.get(), handle, text, sizeof text, CP_WINANSI);
  return std::string(text, length < sizeof text ? length : sizeof text - 1);
}

TDdeSrvrConv* DdemlServer::Record(HCONV conversation) const {
  CONVINFO info{};
  info.cb = sizeof info;
  if (::DdeQueryConvInfo(conversation, QID_SYNC, &info) == 0) return nullptr;
  return reinterpret_cast<TDdeSrvrConv*>(info.hUser);
}

bool DdemlServer::ServiceMatches(HSZ service) const {
  return service == nullptr || ::DdeCmpStringHandles(service, service_.get().hsz) == 0;
}

void CALLBACK DdemlServer::SweepTimer(HWND /*window*/, UINT /*message*/, UINT_PTR /*id*/,
                                      DWORD /*time*/) {
  if (g_server == nullptr) return;
  // A killed client never disconnects: its conversation's partner window is
  // simply gone. Nothing may leave a timer procedure.
  try {
    g_server->manager_.ReleaseConversations([](DdeConversation handle) {
      CONVINFO info{};
      info.cb = sizeof info;
      const auto conversation = reinterpret_cast<HCONV>(handle);
      return ::DdeQueryConvInfo(conversation, QID_SYNC, &info) == 0 ||
             ::IsWindow(info.hwndPartner) == FALSE;
    });
  } catch (...) {
  }
}

HDDEDATA CALLBACK DdemlServer::Callback(UINT type, UINT format, HCONV conversation, HSZ hsz1,
                                        HSZ hsz2, HDDEDATA data, ULONG_PTR /*data1*/,
                                        ULONG_PTR /*data2*/) {
  // Nothing may leave a callback that DDEML made: a failure is a refusal.
  try {
    if (g_server == nullptr) return nullptr;
    const PostedDataRelease::Pause own_answers;
    return g_server->Answer(type, format, conversation, hsz1, hsz2, data);
  } catch (...) {
    return nullptr;
  }
}

HDDEDATA DdemlServer::Answer(UINT type, UINT format, HCONV conversation, HSZ hsz1, HSZ hsz2,
                             HDDEDATA data) {
  const auto yes_no = [](bool yes) { return reinterpret_cast<HDDEDATA>(yes ? TRUE : FALSE); };
  const auto ack = [](bool processed) {
    return reinterpret_cast<HDDEDATA>(static_cast<ULONG_PTR>(processed ? DDE_FACK : 0));
  };
  switch (type) {
    case XTYP_CONNECT:  // hsz1 topic, hsz2 service
      return yes_no(ServiceMatches(hsz2) && manager_.AcceptsTopic(Query(hsz1)));

    case XTYP_WILDCONNECT: {
      if (hsz1 == nullptr || !ServiceMatches(hsz2) || !manager_.AcceptsTopic(Query(hsz1))) {
        return nullptr;
      }
      // One (service, topic) pair and the empty pair that ends the list.
      HSZPAIR pairs[2] = {{service_.get().hsz, hsz1}, {nullptr, nullptr}};
      return ::DdeCreateDataHandle(instance_.get(), reinterpret_cast<LPBYTE>(pairs), sizeof pairs,
                                   /*cbOff=*/0, /*hszItem=*/nullptr, CF_TEXT, /*afCmd=*/0);
    }

    case XTYP_CONNECT_CONFIRM: {
      TDdeSrvrConv& record =
          manager_.ConfirmConnection(Query(hsz1), reinterpret_cast<DdeConversation>(conversation));
      ::DdeSetUserHandle(conversation, QID_SYNC, reinterpret_cast<DWORD_PTR>(&record));
      CONVINFO info{};
      info.cb = sizeof info;
      if (::DdeQueryConvInfo(conversation, QID_SYNC, &info) != 0) {
        // Asked once here rather than at every update: a conversation keeps
        // its partner window.
        DWORD process = 0;
        record.client_here = ::GetWindowThreadProcessId(info.hwndPartner, &process) != 0 &&
                             process == ::GetCurrentProcessId();
        if (release_posted_data_) PostedDataRelease::WatchRequests(info.hwnd);
      }
      return nullptr;
    }

    case XTYP_ADVSTART: {
      TDdeSrvrConv* record = Record(conversation);
      return yes_no(record != nullptr && manager_.StartAdvise(*record, Query(hsz2), format));
    }

    case XTYP_REQUEST:
    case XTYP_ADVREQ: {
      TDdeSrvrConv* record = Record(conversation);
      if (record == nullptr) return nullptr;
      const auto served = manager_.Serve(
          *record, AsString(hsz2), [&] { return Query(hsz2); }, format);
      if (!served) return nullptr;
      // The server keeps the answer and frees it at the next one: DDEML has
      // copied it by then, and some DDEML builds never free an answer handed
      // over (after 32768 of them no request is served any more).
      std::string bytes = *served;
      last_answer_.reset(
          ::DdeCreateDataHandle(instance_.get(), reinterpret_cast<LPBYTE>(bytes.data()),
                                static_cast<DWORD>(bytes.size()), 0, hsz2, format, HDATA_APPOWNED));
      return last_answer_.get();
    }

    case XTYP_POKE: {
      TDdeSrvrConv* record = Record(conversation);
      if (record == nullptr || format != CF_TEXT || data == nullptr) return ack(false);
      DWORD size = 0;
      const BYTE* bytes = ::DdeAccessData(data, &size);
      if (bytes == nullptr) return ack(false);
      // Only the bytes DDEML says the data has; a missing NUL ends it there.
      const std::string text(reinterpret_cast<const char*>(bytes), size);
      ::DdeUnaccessData(data);
      return ack(manager_.Poke(*record, Query(hsz2), format, text));
    }

    case XTYP_EXECUTE: {
      TDdeSrvrConv* record = Record(conversation);
      if (record == nullptr) return ack(false);
      DWORD size = 0;
      const bool accessible = data != nullptr && ::DdeAccessData(data, &size) != nullptr;
      if (accessible) ::DdeUnaccessData(data);
      return ack(manager_.Execute(*record, accessible));
    }

    case XTYP_ADVSTOP: {
      if (TDdeSrvrConv* record = Record(conversation)) manager_.StopAdvise(*record, AsString(hsz2));
      return nullptr;
    }

    case XTYP_DISCONNECT: {
      TDdeSrvrConv* record = Record(conversation);
      ::DdeSetUserHandle(conversation, QID_SYNC, 0);
      if (record != nullptr) manager_.Disconnected(*record);
      return nullptr;
    }

    default:
      return nullptr;
  }
}

}  // namespace quorvel::poll
