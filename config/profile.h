// A profile (INI) file as the settings code sees it: the two calls of the
// Win32 profile functions it relies on, so the reading and writing rules run
// natively against an in-memory profile and under Win32 against the file.
#pragma once

#include <string>
#include <string_view>

namespace quorvel::config {

// GetPrivateProfileStringA reads into a buffer of this many characters, so
// a longer stored value comes back cut to 2047.
inline constexpr std::size_t kProfileBufferSize = 2048;

class Profile {
 public:
  virtual ~Profile() = default;
  // The stored value, or `fallback` when the key is missing.
  virtual std::string Read(std::string_view section, std::string_view key,
                           std::string_view fallback) = 0;
  // False when the value could not be written.
  virtual bool Write(std::string_view section, std::string_view key, std::string_view value) = 0;
  // Releases the file, writing out what is cached.
  virtual void Flush() = 0;
};

}  // namespace quorvel::config
