#include "config/secret_seal_win.h"

#include <windows.h>

#include <wincrypt.h>  // after windows.h, which it needs

#include "base/hex_text.h"
#include "base/local_memory_win.h"

namespace quorvel::config {

namespace {

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

std::optional<std::string> Unhex(std::string_view text) {
  if (text.size() % 2 != 0) return std::nullopt;
  std::string bytes;
  bytes.reserve(text.size() / 2);
  for (std::size_t i = 0; i < text.size(); i += 2) {
    const int high = HexDigit(text[i]);
    const int low = HexDigit(text[i + 1]);
    if (high < 0 || low < 0) return std::nullopt;
    bytes.push_back(static_cast<char>(high << 4 | low));
  }
  return bytes;
}

DATA_BLOB Blob(std::string_view bytes) {
  return {static_cast<DWORD>(bytes.size()),
          reinterpret_cast<BYTE*>(const_cast<char*>(bytes.data()))};
}

}  // namespace

std::optional<std::string> SealSecret(std::string_view clear) {
  if (clear.empty()) return std::string();
  DATA_BLOB in = Blob(clear);
  DATA_BLOB out{};
  if (!::CryptProtectData(&in, L"Quorvel", nullptr, nullptr, nullptr, CRYPTPROTECT_UI_FORBIDDEN,
                          &out)) {
    return std::nullopt;
  }
  const UniqueLocalMemory owned(out.pbData);
  return HexText({reinterpret_cast<const char*>(out.pbData), out.cbData});
}

std::optional<std::string> OpenSecret(std::string_view sealed) {
  if (sealed.empty()) return std::string();
  const std::optional<std::string> bytes = Unhex(sealed);
  if (!bytes) return std::nullopt;
  DATA_BLOB in = Blob(*bytes);
  DATA_BLOB out{};
  if (!::CryptUnprotectData(&in, nullptr, nullptr, nullptr, nullptr, CRYPTPROTECT_UI_FORBIDDEN,
                            &out)) {
    return std::nullopt;
  }
  const UniqueLocalMemory owned(out.pbData);
  std::string clear(reinterpret_cast<const char*>(out.pbData), out.cbData);
  ::SecureZeroMemory(out.pbData, out.cbData);
  return clear;
}

}  // namespace quorvel::config
