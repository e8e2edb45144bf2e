// Writes seed files for the sensor table fuzzer into the folder given: table
// files as the program writes them, and one it never writes (FullGrid false).
#include <cstdint>
#include <fstream>
#include <iostream>
#include <optional>
#include <string>

#include "base/cp1251.h"
#include "config/sensor_table.h"
#include "config/table_file.h"

namespace {

using quorvel::config::SaveSensorTable;
using quorvel::config::SensorTable;

// An identifier as a window handle gives it, wide enough for the 4-byte tag.
constexpr std::int32_t kId = 0x00030A5C;

bool Save(const std::string& path, const SensorTable& table) {
  if (const auto error = SaveSensorTable(table, kId, path)) {
    std::cerr << *error << "\n";
    return false;
  }
  return true;
}

template <std::size_t N>
std::string Bytes(const char (&literal)[N]) {
  return std::string(literal, N - 1);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: sensor_table_seeds DIR\n";
    return 2;
  }
  const std::string dir = argv[1];
  bool ok = true;

  SensorTable one;
  ResetSensorTable(one, "S", 1);
  ok &= Save(dir + "/one_sensor.dde", one);

  SensorTable three = one;
  ResizeSensorTable(three, "3", quorvel::cp1251::Text("Датчик"));
  three.SetCell(2, 2, "");
  ok &= Save(dir + "/three_cyrillic_prefix.dde", three);

  SensorTable five_hundred = one;
  ResizeSensorTable(five_hundred, "500", "S");
  ok &= Save(dir + "/five_hundred.dde", five_hundred);

  SensorTable cyrillic = one;
  ResizeSensorTable(cyrillic, "3", "S");
  cyrillic.SetCell(0, 1, std::string(quorvel::cp1251::Text("Давление")));
  cyrillic.SetCell(0, 2, std::string(quorvel::cp1251::Text("Температура")));
  cyrillic.SetCell(0, 3, std::string(quorvel::cp1251::Text("Расход")));
  ok &= Save(dir + "/cyrillic_names.dde", cyrillic);

  // FullGrid false: the cells at (1, 1) and (2, 1) land at (0, 0) and (1, 0).
  // clang-format off
  const std::string origin = Bytes(
      "TPF0" "\x0B" "TGridPropIO" "\x00"
      "\x08" "ColCount" "\x02\x04"
      "\x08" "RowCount" "\x02\x02"
      "\x08" "FullGrid" "\x08"
      "\x00\x00"
      "TPF0" "\x0B" "TGridCellIO" "\x00"
      "\x03" "Col" "\x02\x01" "\x03" "Row" "\x02\x01"
      "\x04" "Cell" "\x06\x01" "a"
      "\x07" "HasProp" "\x08" "\x00\x00"
      "TPF0" "\x0B" "TGridCellIO" "\x00"
      "\x03" "Col" "\x02\x02" "\x03" "Row" "\x02\x01"
      "\x04" "Cell" "\x14\x02\x00\x00\x00" "\xD0\x96"
      "\x07" "HasProp" "\x08" "\x00\x00");
  // clang-format on
  std::ofstream out(dir + "/full_grid_false.dde", std::ios::binary);
  out.write(origin.data(), static_cast<std::streamsize>(origin.size()));
  out.close();
  if (!out) {
    std::cerr << "cannot write " << dir << "/full_grid_false.dde\n";
    ok = false;
  }
  return ok ? 0 : 1;
}
