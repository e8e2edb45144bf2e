// Writes seed files for the DDE poke fuzzer into the folder given: byte 0
// picks the item (0 and 1 are the items, 2 and up names none has, the high
// bit a format other than text), the rest is what a client pokes.
#include <cstdint>
#include <iostream>
#include <string>

#include "tests/fuzz/seed_file.h"

namespace {

bool Save(const std::string& path, std::uint8_t choice, const std::string& data) {
  return quorvel::fuzz::WriteSeed(path, static_cast<char>(choice) + data);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: dde_poke_seeds DIR\n";
    return 2;
  }
  const std::string dir = argv[1] + std::string("/");
  bool ok = true;
  ok &= Save(dir + "one_line", 0, "23.45");
  ok &= Save(dir + "lines_and_junk", 1, std::string("12\r\n34\0junk\r\n", 13));
  ok &= Save(dir + "every_break", 0, "a\rb\nc\r\n\r\n\n\rd\n");
  ok &= Save(dir + "empty", 1, "");
  ok &= Save(dir + "nul_first", 0, std::string("\0x", 2));
  ok &= Save(dir + "long_line", 1, std::string(4096, '7') + "\r\n");
  ok &= Save(dir + "cyrillic", 0, "\xC4\xE0\xE2\xEB\xE5\xED\xE8\xE5\r\n1.5");
  ok &= Save(dir + "missing_item", 3, "5\r\n");
  ok &= Save(dir + "other_format", 0x80, "5");
  return ok ? 0 : 1;
}
