#include "testkit/dde_test_host_win.h"

#include <psapi.h>
#include <windows.h>

#include <algorithm>
#include <charconv>
#include <vector>

#include "base/cp1251.h"
#include "poll/posted_data_release_win.h"
#include "testkit/dde_text.h"
#include "testkit/process_resources_win.h"
#include "ui/form_captions.h"

namespace quorvel::testing {

namespace {

// The first word of `rest`, taken off it with the one space after it.
std::string_view TakeWord(std::string_view& rest) {
  const std::size_t space = rest.find(' ');
  const std::string_view word = rest.substr(0, space);
  rest = space == std::string_view::npos ? std::string_view() : rest.substr(space + 1);
  return word;
}

bool ParseInt(std::string_view text, int& value) {
  const char* end = text.data() + text.size();
  const auto [stop, error] = std::from_chars(text.data(), end, value);
  return error == std::errc{} && stop == end;
}

std::string Quoted(std::string_view bytes) {
  std::string quoted(1, '"');
  quoted += EscapeBytes(bytes);
  quoted.push_back('"');
  return quoted;
}

}  // namespace

std::string FormatStats(const DdeHostStats& stats) {
  return "conversations=" + std::to_string(stats.conversations) +
         " links=" + std::to_string(stats.links) + " handles=" + std::to_string(stats.handles) +
         " gdi=" + std::to_string(stats.gdi_objects) +
         " user=" + std::to_string(stats.user_objects) +
         " windows=" + std::to_string(stats.windows) +
         " private_bytes=" + std::to_string(stats.private_bytes) +
         " working_set=" + std::to_string(stats.working_set) +
         " released=" + std::to_string(stats.released);
}

std::unique_ptr<DdeTestHost> DdeTestHost::Start(const std::string& service,
                                                std::uint32_t* error_code) {
  auto server = poll::DdemlServer::Start(service, error_code);
  if (!server) return nullptr;
  return std::unique_ptr<DdeTestHost>(new DdeTestHost(std::move(server)));
}

DdeTestHost::DdeTestHost(std::unique_ptr<poll::DdemlServer> server)
    : server_(std::move(server)),
      main_form_{std::string(ui::kMainFormCaption), {}},
      settings_form_{std::string(ui::kSetupFormCaption.view()), {}},
      about_form_{std::string(ui::kAboutFormCaption.view()), {}} {
  poll::TDdeMgr& manager = server_->Manager();
  manager.AddForm(&main_form_);
  manager.AddForm(&settings_form_);
  manager.AddForm(&about_form_);
  components_ = std::make_unique<poll::DdeComponents>(manager, main_form_);
  components_->NameItems("S");
}

DdeTestHost::~DdeTestHost() {
  for (HGLOBAL block : held_) ::GlobalFree(block);
  // The window closes: its items go, then its topic object; the forms leave
  // the manager before the server, which ends the conversations, goes.
  components_->ReleaseItems();
  components_.reset();
  poll::TDdeMgr& manager = server_->Manager();
  manager.RemoveForm(&about_form_);
  manager.RemoveForm(&settings_form_);
  manager.RemoveForm(&main_form_);
  server_.reset();
}

DdeHostStats DdeTestHost::Stats() {
  DdeHostStats stats;
  stats.conversations = Manager().ConversationCount();
  stats.links = Manager().LinkCount();
  stats.released = poll::PostedDataRelease::Released();
  HANDLE self = ::GetCurrentProcess();
  DWORD handles = 0;
  if (!::GetProcessHandleCount(self, &handles)) handles = 0;
  const DWORD pid = ::GetCurrentProcessId();
  stats.handles = handles != 0 ? handles
                               : static_cast<unsigned long>(std::max<std::int64_t>(
                                     0, tools::CountHandlesInSystemList(pid)));
  stats.gdi_objects = ::GetGuiResources(self, GR_GDIOBJECTS);
  stats.user_objects = ::GetGuiResources(self, GR_USEROBJECTS);
  stats.windows = static_cast<unsigned long>(tools::CountWindows(pid));
  PROCESS_MEMORY_COUNTERS_EX memory{};
  memory.cb = sizeof memory;
  if (::GetProcessMemoryInfo(self, reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&memory),
                             sizeof memory)) {
    stats.private_bytes = memory.PrivateUsage != 0 ? memory.PrivateUsage : memory.PagefileUsage;
    stats.working_set = memory.WorkingSetSize;
  }
  return stats;
}

double DdeTestHost::Burst(std::string_view text) {
  LARGE_INTEGER frequency, start, end;
  ::QueryPerformanceFrequency(&frequency);
  ::QueryPerformanceCounter(&start);
  for (int i = 0; i < components_->ItemCount(); ++i) components_->Item(i).SetText(text);
  ::QueryPerformanceCounter(&end);
  return static_cast<double>(end.QuadPart - start.QuadPart) * 1e6 /
         static_cast<double>(frequency.QuadPart);
}

std::string DdeTestHost::Run(std::string_view line, bool* quit) {
  std::string_view rest = line;
  const std::string_view command = TakeWord(rest);
  const auto item_at = [&](std::string_view number) -> poll::TDdeServerItem* {
    int index = 0;
    if (!ParseInt(number, index) || index < 1 || index > components_->ItemCount()) return nullptr;
    return &components_->Item(index - 1);
  };

  if (command == "set") {
    poll::TDdeServerItem* item = item_at(TakeWord(rest));
    if (item == nullptr) return "error: no such item";
    const auto text = UnescapeBytes(rest);
    if (!text) return "error: bad escape in the text";
    item->SetText(*text);
    return "ok";
  }
  if (command == "text" || command == "lines" || command == "name") {
    const poll::TDdeServerItem* item = item_at(rest);
    if (item == nullptr) return "error: no such item";
    if (command == "text") return Quoted(item->Text());
    if (command == "name") return Quoted(item->Name());
    std::string answer = std::to_string(item->Lines().size());
    for (const std::string& text : item->Lines()) answer.append(" ").append(Quoted(text));
    return answer;
  }
  if (command == "topic" || command == "prefix") {
    const auto refusal =
        command == "topic" ? components_->SetTopicName(rest) : components_->NameItems(rest);
    return refusal ? *refusal : "ok";
  }
  if (command == "stats") return FormatStats(Stats());
  if (command == "burst") {
    std::string text(rest);
    if (text.empty()) text = std::string("B").append(std::to_string(++bursts_));
    const auto unescaped = UnescapeBytes(text);
    if (!unescaped) return "error: bad escape in the text";
    return "burst_us=" + std::to_string(static_cast<long long>(Burst(*unescaped)));
  }
  if (command == "hold") {
    int count = 0;
    if (!ParseInt(rest, count) || count < 0) return "error: bad count";
    for (int i = 0; i < count; ++i) {
      const HGLOBAL block = ::GlobalAlloc(GMEM_MOVEABLE, 1);
      if (block == nullptr) break;
      held_.push_back(block);
    }
    return "held=" + std::to_string(held_.size());
  }
  if (command == "quit") {
    *quit = true;
    return "bye";
  }
  return std::string("error: unknown command '").append(command).append("'");
}

}  // namespace quorvel::testing
