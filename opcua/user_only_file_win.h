// A file only the Windows user who writes it can read: the OPC UA server's
// private key.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace quorvel::opcua {

// Writes `bytes` to a new file at `path` whose access list grants the
// current user alone, replacing none: false with `error` set when the file
// is there already or cannot be made.
bool WriteUserOnlyFile(const std::filesystem::path& path, std::string_view bytes,
                       std::string* error);

}  // namespace quorvel::opcua
