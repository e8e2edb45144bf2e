// The settings file through the Win32 profile functions.
#pragma once

#include <string>

#include "config/profile.h"

namespace quorvel::config {

class Win32ProfileFile final : public Profile {
 public:
  explicit Win32ProfileFile(std::string path) : path_(std::move(path)) {}

  std::string Read(std::string_view section, std::string_view key,
                   std::string_view fallback) override;
  bool Write(std::string_view section, std::string_view key, std::string_view value) override;
  void Flush() override;

  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

}  // namespace quorvel::config
