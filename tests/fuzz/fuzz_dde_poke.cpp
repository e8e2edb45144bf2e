// Fuzzes the DDE server's poke: any bytes poked into an item must leave it
// serving exactly the lines of those bytes as dde_server.h describes them
// (split up to the first NUL at CR LF, CR or LF; each line and CR LF, then
// one NUL), tell its linked client once, and touch no other item; a poke to
// a name no item has, or in a format other than text, changes nothing. The
// expected bytes are worked out here from that description, not by the
// server's own helpers.
//
// Input: byte 0 picks the item name (low bits) and a wrong format (high
// bit), the rest is the poked data.
#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>

#include "poll/dde_server.h"

namespace {

using quorvel::poll::DdeConversation;
using quorvel::poll::DdeForm;
using quorvel::poll::DdePlatform;
using quorvel::poll::DdeString;
using quorvel::poll::kCfText;
using quorvel::poll::TDdeMgr;
using quorvel::poll::TDdeServerConv;
using quorvel::poll::TDdeServerItem;
using quorvel::poll::TDdeSrvrConv;

void Check(bool condition) {
  if (!condition) __builtin_trap();
}

// Each string handle is new and counted until freed: the harness never asks
// for one text twice, so DDEML's sharing of atoms does not come into it.
class CountingPlatform final : public DdePlatform {
 public:
  DdeString CreateString(std::string_view) override {
    ++held;
    return next++;
  }
  void FreeString(DdeString) override { --held; }
  bool SameString(DdeString a, DdeString b) override { return a == b; }
  void PostAdvise(DdeString, DdeString item) override { ++posts[item]; }
  void Disconnect(DdeConversation) override {}

  int held = 0;
  DdeString next = 0x100;
  std::map<DdeString, int> posts;
};

constexpr std::string_view kTopic = "ZORVIK";
// Two items, then names no item has: another case, a third item, none, a
// trailing blank, an item's name with a NUL after it.
constexpr std::string_view kNames[] = {
    "S1", "S2", "s1", "S3", "", "S1 ", std::string_view("S2\0", 3), "S",
};
constexpr std::size_t kItems = 2;

// What a client is served after `data` was poked.
std::string ExpectedServed(std::string_view data) {
  std::string served;
  bool in_line = false;
  for (std::size_t i = 0; i < data.size() && data[i] != '\0'; ++i) {
    if (data[i] == '\r' || data[i] == '\n') {
      served += "\r\n";
      in_line = false;
      if (data[i] == '\r' && i + 1 < data.size() && data[i + 1] == '\n') ++i;
    } else {
      served += data[i];
      in_line = true;
    }
  }
  if (in_line) served += "\r\n";
  served += '\0';
  return served;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  const std::string_view name = kNames[data[0] % std::size(kNames)];
  const std::uint32_t format = (data[0] & 0x80) != 0 ? kCfText + 1 : kCfText;
  const std::string_view poked(reinterpret_cast<const char*>(data) + 1, size - 1);
  const bool found = format == kCfText && data[0] % std::size(kNames) < kItems;

  CountingPlatform platform;
  {
    TDdeMgr manager(platform);
    DdeForm form{"Quorvel", {}};
    TDdeServerConv topic(manager, &form, std::string(kTopic));
    TDdeServerItem first(manager, &form, &topic);
    TDdeServerItem second(manager, &form, &topic);
    first.SetName("S1");
    second.SetName("S2");
    second.SetText("12.5");
    manager.AddForm(&form);

    TDdeSrvrConv& conversation = manager.ConfirmConnection(kTopic, 1);
    Check(manager.StartAdvise(conversation, "S1", kCfText));
    Check(manager.StartAdvise(conversation, "S2", kCfText));
    const DdeString links[kItems] = {conversation.links[0]->item_handle.get().handle,
                                     conversation.links[1]->item_handle.get().handle};
    const std::string before[kItems] = {std::string(" --.-\r\n\0", 8),
                                        std::string("12.5\r\n\0", 7)};

    Check(manager.Poke(conversation, name, format, poked) == found);

    for (std::size_t k = 0; k < kItems; ++k) {
      const bool poked_here = found && kNames[k] == name;
      const std::string expected = poked_here ? ExpectedServed(poked) : before[k];
      // Asked by name, and through the advise link.
      Check(manager.Serve(conversation, /*item_handle=*/0, kNames[k], kCfText) == expected);
      Check(manager.Serve(conversation, links[k], kNames[k], kCfText) == expected);
      Check(platform.posts[links[k]] == (poked_here ? 1 : 0));
    }
    Check(platform.posts.size() == kItems);
    manager.RemoveForm(&form);
  }
  Check(platform.held == 0);
  return 0;
}
