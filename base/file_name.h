// The file name part of a path: what follows its last '\' or '/'.
#pragma once

#include <cstddef>
#include <string_view>

namespace quorvel {

constexpr std::string_view FileNameOf(std::string_view path) {
  const std::size_t slash = path.find_last_of("\\/");
  return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

}  // namespace quorvel
