// A text of at most 255 8-bit characters in fixed storage, as the bus link's
// per-port buffers are: appending past the capacity is ignored, so no reply,
// however long, can grow a buffer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace quorvel {

class ShortText {
 public:
  static constexpr std::size_t kCapacity = 255;

  ShortText() = default;
  explicit ShortText(std::string_view text) { assign(text); }

  std::size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }
  const char* data() const { return data_; }
  std::string_view view() const { return {data_, size_}; }
  std::string str() const { return std::string(view()); }
  char operator[](std::size_t i) const { return data_[i]; }
  char& operator[](std::size_t i) { return data_[i]; }

  void clear() { size_ = 0; }
  // Returns false when the text is full and the character was dropped.
  bool push_back(char c) {
    if (size_ == kCapacity) return false;
    data_[size_++] = c;
    return true;
  }
  // Keeps the first 255 characters of a longer text.
  void assign(std::string_view text) {
    size_ = text.size() < kCapacity ? static_cast<std::uint8_t>(text.size())
                                    : static_cast<std::uint8_t>(kCapacity);
    for (std::size_t i = 0; i < size_; ++i) data_[i] = text[i];
  }
  ShortText& operator=(std::string_view text) {
    assign(text);
    return *this;
  }
  friend bool operator==(const ShortText& a, std::string_view b) { return a.view() == b; }

 private:
  std::uint8_t size_ = 0;
  char data_[kCapacity]{};
};

}  // namespace quorvel
