// The DDE server hosted the way the program hosts it, for DdeTestServer.exe
// and the benchmark: the service, the main window's form with its topic
// object and 500 items named S1..S500, two more forms, and the one-line
// commands that drive it (see Run). Every call belongs on the thread that
// started it, which must handle its window messages: DDEML calls back there.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "poll/dde_components.h"
#include "poll/dde_server.h"
#include "poll/dde_server_win.h"

namespace quorvel::testing {

struct DdeHostStats {
  std::size_t conversations = 0;  // the manager's records
  std::size_t links = 0;
  // GetProcessHandleCount; where it answers 0 (Wine does), this process's
  // entries in the system's handle list.
  unsigned long handles = 0;
  unsigned long gdi_objects = 0;   // GetGuiResources (0 where it is a stub)
  unsigned long user_objects = 0;  // GetGuiResources (0 where it is a stub)
  unsigned long windows = 0;       // the process's windows, message-only ones too
  // PrivateUsage; where it answers 0 (Wine does), PagefileUsage.
  unsigned long long private_bytes = 0;
  unsigned long long working_set = 0;
  // Copies of posted data freed (under Wine; see PostedDataRelease).
  unsigned long long released = 0;
};

class DdeTestHost {
 public:
  // Starts DDEML and registers `service`; null and DDEML's code on failure.
  static std::unique_ptr<DdeTestHost> Start(const std::string& service, std::uint32_t* error_code);
  // Releases the items and the topic object, then ends the server.
  ~DdeTestHost();
  DdeTestHost(const DdeTestHost&) = delete;
  DdeTestHost& operator=(const DdeTestHost&) = delete;

  // Runs one command and gives its one-line answer:
  //   set N TEXT   Item(N-1).SetText(TEXT), TEXT escaped     -> ok
  //   text N       Text of item N                            -> "TEXT"
  //   lines N      its lines                                 -> COUNT "LINE"...
  //   name N       its name                                  -> "NAME"
  //   topic NAME   SetTopicName                              -> ok | the message
  //   prefix P     NameItems                                 -> ok | the message
  //   stats        counts (see DdeHostStats)                 -> conversations=C links=L ...
  //   burst [TEXT] every item written once, in order        -> burst_us=MICROSECONDS
  //   hold N       N more movable memory blocks kept till the end, so that
  //                a test reaches the process's limit of them sooner -> held=TOTAL
  //   quit                                                   -> bye (sets *quit)
  // Texts are escaped as in dde_text.h; a bad command answers "error: ...".
  std::string Run(std::string_view line, bool* quit);

  DdeHostStats Stats();
  // Writes every item once; the microseconds it took.
  double Burst(std::string_view text);

  poll::DdeComponents& Components() { return *components_; }
  poll::TDdeMgr& Manager() { return server_->Manager(); }

 private:
  explicit DdeTestHost(std::unique_ptr<poll::DdemlServer> server);

  std::unique_ptr<poll::DdemlServer> server_;
  poll::DdeForm main_form_;
  poll::DdeForm settings_form_;
  poll::DdeForm about_form_;
  std::unique_ptr<poll::DdeComponents> components_;
  long bursts_ = 0;
  std::vector<HGLOBAL> held_;
};

// The counts as the stats command prints them.
std::string FormatStats(const DdeHostStats& stats);

}  // namespace quorvel::testing
