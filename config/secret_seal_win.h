// A secret the settings file keeps (the broker's password) sealed for the
// Windows user with the data-protection API: the file holds the sealed bytes
// as hexadecimal text, which only the same user on the same computer can
// open. The clear text never reaches the file.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace quorvel::config {

// Empty text seals to empty text (no password). Nullopt when the platform
// refused.
std::optional<std::string> SealSecret(std::string_view clear);
// Nullopt when the text is not hexadecimal or does not open for this user
// (a file copied from another account or computer).
std::optional<std::string> OpenSecret(std::string_view sealed);

}  // namespace quorvel::config
