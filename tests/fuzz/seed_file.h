// The seed writers put each seed in a file of its own, in the folder the
// fuzz run gives them.
#pragma once

#include <fstream>
#include <iostream>
#include <string>
#include <string_view>

namespace quorvel::fuzz {

// False, after saying so on stderr, when the file could not be written.
inline bool WriteSeed(const std::string& path, std::string_view bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  out.close();
  if (!out) std::cerr << "cannot write " << path << "\n";
  return static_cast<bool>(out);
}

}  // namespace quorvel::fuzz
