// The DDE server on DDEML: initialisation, the service name, the callback
// that translates every transaction to the manager, and the end.
#pragma once

#include <windows.h>
// after windows.h, which it needs
#include <ddeml.h>

#include <cstdint>
#include <memory>
#include <string>

#include "base/ddeml_handles_win.h"
#include "poll/dde_server.h"

namespace quorvel::poll {

class DdemlServer final : public DdePlatform {
 public:
  // Initialises DDEML and registers the service. On failure: null, and the
  // code DDEML gave in `error_code`.
  static std::unique_ptr<DdemlServer> Start(const std::string& service_name,
                                            std::uint32_t* error_code);
  // Ends every open conversation, withdraws the service, uninitialises.
  ~DdemlServer() override;
  DdemlServer(const DdemlServer&) = delete;
  DdemlServer& operator=(const DdemlServer&) = delete;

  TDdeMgr& Manager() { return manager_; }
  DWORD Instance() const { return instance_.get(); }

  DdeString CreateString(std::string_view text) override;
  void FreeString(DdeString handle) override;
  bool SameString(DdeString a, DdeString b) override;
  void PostAdvise(DdeString topic, DdeString item) override;
  void Disconnect(DdeConversation conversation) override;

 private:
  explicit DdemlServer(UniqueDdeInstance instance);
  // Every second: conversations whose client window is gone are released.
  static void CALLBACK SweepTimer(HWND window, UINT message, UINT_PTR id, DWORD time);
  static HDDEDATA CALLBACK Callback(UINT type, UINT format, HCONV conversation, HSZ hsz1, HSZ hsz2,
                                    HDDEDATA data, ULONG_PTR data1, ULONG_PTR data2);
  HDDEDATA Answer(UINT type, UINT format, HCONV conversation, HSZ hsz1, HSZ hsz2, HDDEDATA data);
  std::string Query(HSZ handle) const;
  TDdeSrvrConv* Record(HCONV conversation) const;
  bool ServiceMatches(HSZ service) const;

  // The handles go before the instance they belong to.
  UniqueDdeInstance instance_;
  UniqueDdeString service_;
  UINT_PTR sweep_timer_ = 0;
  UniqueDdeData last_answer_;         // the last answer to a request
  bool release_posted_data_ = false;  // see PostedDataRelease
  TDdeMgr manager_{*this};
};

}  // namespace quorvel::poll
