// How many bytes a reply still needs, from what of it has come: the wait for
// a reply is woken once they have arrived, not at every byte.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace quorvel::bus {

// The fewest bytes, the CR included, that must still arrive before the
// reply to `address` can end, for a reply of the usual form
// '!' address ';' value ';' checksum CR. `received` is the reply so far from
// its '!' (empty before the '!'). Once the last ';' has come the checksum is
// known, and so is the exact count. Bytes that do not fit that form give 1:
// a reply out of form is then waited for byte by byte, never late.
std::size_t BytesStillToCome(std::string_view received, std::int32_t address);

}  // namespace quorvel::bus
