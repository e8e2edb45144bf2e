// Bytes as hexadecimal text, two upper-case digits a byte: how the settings
// file keeps sealed secrets and how a certificate's thumbprint is shown.
#pragma once

#include <string>
#include <string_view>

namespace quorvel {

inline std::string HexText(std::string_view bytes) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string text;
  text.reserve(bytes.size() * 2);
  for (const char c : bytes) {
    const auto b = static_cast<unsigned char>(c);
    text.push_back(kDigits[b >> 4]);
    text.push_back(kDigits[b & 0x0F]);
  }
  return text;
}

}  // namespace quorvel
