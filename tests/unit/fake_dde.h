// DDEML's string handles as a native test sees them.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "poll/component_names.h"
#include "poll/dde_server.h"

namespace quorvel::poll::testing {

// String handles behave as DDEML's atoms: one handle per text, whatever its
// case, counted; the first spelling stays.
class FakePlatform final : public DdePlatform {
 public:
  DdeString CreateString(std::string_view text) override {
    for (auto& [handle, atom] : atoms) {
      if (SameName(atom.text, text) && atom.count > 0) {
        ++atom.count;
        return handle;
      }
    }
    const DdeString handle = next++;
    atoms[handle] = {std::string(text), 1};
    return handle;
  }
  void FreeString(DdeString handle) override {
    ASSERT_TRUE(atoms.count(handle) && atoms[handle].count > 0) << "freed twice";
    --atoms[handle].count;
  }
  bool SameString(DdeString a, DdeString b) override { return a == b; }
  void PostAdvise(DdeString topic, DdeString item) override {
    posts.push_back(atoms[topic].text + "!" + atoms[item].text);
    if (on_post) on_post(atoms[item].text);
  }
  // Called with the item's name at each post, as DDEML then serves it.
  std::function<void(const std::string&)> on_post;
  void Disconnect(DdeConversation conversation) override { disconnects.push_back(conversation); }

  int Held() const {
    int held = 0;
    for (const auto& [handle, atom] : atoms) held += atom.count;
    return held;
  }

  struct Atom {
    std::string text;
    int count;
  };
  std::map<DdeString, Atom> atoms;
  DdeString next = 0x100;
  std::vector<std::string> posts;
  std::vector<DdeConversation> disconnects;
};

}  // namespace quorvel::poll::testing
