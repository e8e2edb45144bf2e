// Writes seed files for the reply parser fuzzer into the folder given: the
// address asked, the number of value fields, then the reply bytes. Most are
// replies a device sends, checksummed with the link's own CRC; a few are
// broken the ways a line breaks them.
#include <cstdint>
#include <iostream>
#include <string>

#include "bus/crc16.h"
#include "tests/fuzz/seed_file.h"

namespace {

using quorvel::bus::Crc16;

// '!' body checksum CR, the checksum covering the body.
std::string Reply(const std::string& body) {
  return "!" + body + std::to_string(Crc16(body)) + "\r";
}

bool Save(const std::string& path, std::uint8_t address, std::uint8_t count,
          const std::string& reply) {
  return quorvel::fuzz::WriteSeed(
      path, std::string{static_cast<char>(address), static_cast<char>(count)} + reply);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: parse_reply_seeds DIR\n";
    return 2;
  }
  const std::string dir = argv[1] + std::string("/");
  bool ok = true;
  ok &= Save(dir + "one_value", 5, 1, Reply("5;23.45;"));
  ok &= Save(dir + "noise_and_trailing", 5, 1, "#@x*" + Reply("5;-0.5;") + "!9;77;1\r");
  ok &= Save(dir + "three_values", 254, 3, Reply("254;1;$2;-.3;"));
  ok &= Save(dir + "no_values", 0, 0, Reply("0;"));
  ok &= Save(dir + "address_spelling", 0, 1, Reply("-00;7;"));
  std::string sixty = "17;";
  for (int k = 0; k < 60; ++k) sixty += std::to_string(k) + ".5;";
  ok &= Save(dir + "sixty_values", 17, 60, Reply(sixty));
  ok &= Save(dir + "long_field", 1, 1, Reply("1;" + std::string(300, '9') + ";"));
  // 2^32 + 36887: only the low 32 bits of the checksum count.
  ok &= Save(dir + "wide_checksum", 5, 1, "!5;23.45;4295004183\r");

  const std::string good = Reply("5;23.45;");
  ok &= Save(dir + "bad_checksum", 5, 1, "!5;23.45;36888\r");
  ok &= Save(dir + "other_address", 6, 1, good);
  ok &= Save(dir + "no_end", 5, 1, good.substr(0, good.size() - 1));
  ok &= Save(dir + "truncated", 5, 1, good.substr(0, 6));
  ok &= Save(dir + "too_many_fields", 5, 61, good);
  return ok ? 0 : 1;
}
