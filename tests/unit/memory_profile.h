// A profile file in memory, answering as the Win32 profile functions do:
// sections and keys without regard to case, the fallback for a missing key,
// values cut to what the read buffer holds.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "config/profile.h"

namespace quorvel::config::testing {

class MemoryProfile final : public Profile {
 public:
  std::string Read(std::string_view section, std::string_view key,
                   std::string_view fallback) override {
    reads.push_back(std::string(key));
    const auto found = values.find(Key(section, key));
    if (found == values.end()) return std::string(fallback);
    return found->second.substr(0, kProfileBufferSize - 1);
  }
  bool Write(std::string_view section, std::string_view key, std::string_view value) override {
    if (refuse_key == key) return false;
    writes.push_back(std::string(key));
    values[Key(section, key)] = std::string(value);
    return true;
  }
  void Flush() override { ++flushes; }

  void Set(std::string_view section, std::string_view key, std::string value) {
    values[Key(section, key)] = std::move(value);
  }
  const std::string* Get(std::string_view section, std::string_view key) const {
    const auto found = values.find(Key(section, key));
    return found == values.end() ? nullptr : &found->second;
  }

  std::map<std::string, std::string> values;
  std::vector<std::string> reads;
  std::vector<std::string> writes;
  std::string refuse_key;  // a Write of this key fails
  int flushes = 0;

 private:
  static std::string Key(std::string_view section, std::string_view key) {
    std::string k = std::string(section) + "\n" + std::string(key);
    for (char& c : k) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
    return k;
  }
};

}  // namespace quorvel::config::testing
