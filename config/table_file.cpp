#include "config/table_file.h"

#include <array>
#include <cstdio>
#include <fstream>

#include "config/file_replace.h"
#include "config/table_stream.h"

namespace quorvel::config {

namespace {

constexpr char kTempSuffix[] = ".tmp";

// Writes all of `content`; false on any failing step. The stream is closed
// either way.
bool WriteWhole(std::ofstream& out, const std::string& content) {
  out.write(content.data(), static_cast<std::streamsize>(content.size()));
  out.flush();
  const bool written = out.good();
  out.close();
  return written && !out.fail();
}

}  // namespace

std::optional<std::string> LoadSensorTable(SensorTable& table, const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in.is_open()) return "cannot open '" + path + "'";
  std::string content;
  std::array<char, 4096> chunk{};
  while (in.read(chunk.data(), chunk.size()) || in.gcount() > 0) {
    content.append(chunk.data(), static_cast<std::size_t>(in.gcount()));
  }
  if (in.bad()) return "cannot read '" + path + "'";
  return DecodeSensorTable(content, table);
}

std::optional<std::string> SaveSensorTable(const SensorTable& table, std::int32_t id,
                                           const std::string& path) {
  const std::string content = EncodeSensorTable(table, id);
  const std::string temp_path = path + kTempSuffix;
  std::ofstream out(temp_path, std::ios::binary | std::ios::trunc);
  // Nothing was created, so nothing is removed: the name may well belong to
  // something else, a directory for instance.
  if (!out.is_open()) return "cannot create '" + temp_path + "'";
  if (!WriteWhole(out, content)) {
    std::remove(temp_path.c_str());
    return "cannot write '" + temp_path + "'";
  }
  std::string error;
  if (!ReplaceFileWith(temp_path, path, &error)) {
    std::remove(temp_path.c_str());
    return error;
  }
  return std::nullopt;
}

}  // namespace quorvel::config
