#include "bus/reply_end.h"

#include <string>

#include "bus/crc16.h"
#include "bus/frame.h"

namespace quorvel::bus {

std::size_t BytesStillToCome(std::string_view received, std::int32_t address) {
  // The shortest value and checksum: one character each, with their ';' and
  // the CR after them.
  constexpr std::size_t kShortestTail = 4;  // v ; c CR
  std::string head(1, kReplyStart);
  head += std::to_string(address);
  head += ';';
  if (received.size() < head.size()) {
    if (head.compare(0, received.size(), received) != 0) return 1;
    return head.size() - received.size() + kShortestTail;
  }
  if (received.compare(0, head.size(), head) != 0) return 1;
  const std::string_view fields = received.substr(head.size());
  const std::size_t last = fields.rfind(';');
  if (last == std::string_view::npos) return fields.empty() ? kShortestTail : kShortestTail - 1;
  // What follows the last ';' is the checksum if it begins as the checksum of
  // everything before it; another value field is possible, so only a match
  // counts.
  const std::string checksum =
      std::to_string(Crc16(received.substr(1, head.size() - 1 + last + 1)));
  const std::string_view after = fields.substr(last + 1);
  if (after.size() >= checksum.size() || checksum.compare(0, after.size(), after) != 0) return 1;
  return checksum.size() - after.size() + 1;
}

}  // namespace quorvel::bus
