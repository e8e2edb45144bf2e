#include "bus/frame.h"

#include <limits>

#include "bus/crc16.h"

namespace quorvel::bus {

std::optional<std::int64_t> ReadDecimal(std::string_view text, std::int64_t min, std::int64_t max) {
  std::size_t pos = 0;
  const bool negative = !text.empty() && text[0] == '-';
  if (negative) pos = 1;
  if (pos == text.size()) return std::nullopt;
  // Accumulate as a negative number, which has the larger range.
  std::int64_t value = 0;
  for (; pos < text.size(); ++pos) {
    const char c = text[pos];
    if (c < '0' || c > '9') return std::nullopt;
    const int digit = c - '0';
    if (value < (std::numeric_limits<std::int64_t>::min() + digit) / 10) return std::nullopt;
    value = value * 10 - digit;
  }
  if (!negative) {
    if (value == std::numeric_limits<std::int64_t>::min()) return std::nullopt;
    value = -value;
  }
  if (value < min || value > max) return std::nullopt;
  return value;
}

std::string BuildRequest(std::string_view Cmd, std::int32_t Addr) {
  std::string frame;
  frame.reserve(2 + 3 + 1 + Cmd.size() + 5 + 1);
  frame += kRequestStart;
  frame += ':';
  frame += std::to_string(Addr);
  frame += ';';
  frame += Cmd;
  const std::uint16_t crc = Crc16(std::string_view(frame).substr(2));
  frame += std::to_string(crc);
  frame += kFrameEnd;
  return frame;
}

namespace {

// Walks a reply; every read past the end fails the parse.
class ReplyCursor {
 public:
  explicit ReplyCursor(std::string_view text) : text_(text) {}
  bool AtEnd() const { return pos_ >= text_.size(); }
  char Peek() const { return text_[pos_]; }
  std::size_t pos() const { return pos_; }
  void Skip() { ++pos_; }
  template <typename Pred>
  std::string_view Collect(Pred in_class) {
    const std::size_t start = pos_;
    while (pos_ < text_.size() && in_class(text_[pos_])) ++pos_;
    return text_.substr(start, pos_ - start);
  }
  // The character at the cursor is `c` and at least one more follows it.
  bool ConsumeSeparator(char c) {
    if (AtEnd() || Peek() != c) return false;
    ++pos_;
    return !AtEnd();
  }

 private:
  std::string_view text_;
  std::size_t pos_ = 0;
};

}  // namespace

bool ParseReply(std::string_view Reply, std::int32_t Addr, ValueFields& Values,
                std::int32_t Count) {
  if (Count > kMaxValues) return false;
  const std::size_t bang = Reply.find(kReplyStart);
  if (bang == std::string_view::npos || bang + 1 == Reply.size()) return false;

  ReplyCursor cursor(Reply);
  for (std::size_t i = 0; i <= bang; ++i) cursor.Skip();
  const std::size_t region_start = cursor.pos();

  const std::optional<std::int64_t> address =
      ReadDecimal(cursor.Collect(IsNumChar), std::numeric_limits<std::int32_t>::min(),
                  std::numeric_limits<std::int32_t>::max());
  if (!address || !cursor.ConsumeSeparator(';') || *address != Addr) return false;

  for (std::int32_t k = 0; k < Count; ++k) {
    ShortText& field = Values[static_cast<std::size_t>(k)];
    field.clear();
    while (!cursor.AtEnd() && IsValueChar(cursor.Peek())) {
      field.push_back(cursor.Peek());
      cursor.Skip();
    }
    if (!cursor.ConsumeSeparator(';')) return false;
  }
  const std::size_t region_end = cursor.pos();

  const std::optional<std::int64_t> checksum =
      ReadDecimal(cursor.Collect(IsNumChar), std::numeric_limits<std::int64_t>::min(),
                  std::numeric_limits<std::int64_t>::max());
  if (!checksum || cursor.AtEnd() || cursor.Peek() != kFrameEnd) return false;

  const std::uint16_t crc = Crc16(Reply.substr(region_start, region_end - region_start));
  return static_cast<std::uint32_t>(*checksum) == crc;
}

}  // namespace quorvel::bus
