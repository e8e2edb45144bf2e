// The parts of a path: the file name, what follows its last '\' or '/', and
// the folder, up to and with that separator (empty for a bare name).
#pragma once

#include <cstddef>
#include <string_view>

namespace quorvel {

constexpr std::string_view FileNameOf(std::string_view path) {
  const std::size_t slash = path.find_last_of("\\/");
  return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

constexpr std::string_view FolderOf(std::string_view path) {
  const std::size_t slash = path.find_last_of("\\/");
  return slash == std::string_view::npos ? std::string_view{} : path.substr(0, slash + 1);
}

}  // namespace quorvel
