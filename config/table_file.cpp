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

// The whole file's bytes; `opened` false when it cannot be opened.
std::optional<std::string> ReadWhole(const std::string& path, bool* opened) {
  std::ifstream in(path, std::ios::binary);
  *opened = in.is_open();
  if (!*opened) return std::nullopt;
  std::string content;
  std::array<char, 4096> chunk{};
  while (in.read(chunk.data(), chunk.size()) || in.gcount() > 0) {
    content.append(chunk.data(), static_cast<std::size_t>(in.gcount()));
  }
  if (in.bad()) return std::nullopt;
  return content;
}

}  // namespace

std::optional<std::string> LoadSensorTable(SensorTable& table, const std::string& path) {
  bool opened = false;
  const std::optional<std::string> content = ReadWhole(path, &opened);
  if (!opened) return "cannot open '" + path + "'";
  if (!content) return "cannot read '" + path + "'";
  return DecodeSensorTable(*content, table);
}

std::string KeptTablePath(const std::string& path, int n) {
  return path + ".bad" + (n > 1 ? std::to_string(n) : std::string());
}

TableLoad LoadSensorTableKeepingRefused(SensorTable& table, const std::string& path) {
  TableLoad load;
  bool opened = false;
  const std::optional<std::string> content = ReadWhole(path, &opened);
  if (!opened) {
    load.error = "cannot open '" + path + "'";
    return load;
  }
  if (!content) {
    load.error = "cannot read '" + path + "'";
    load.unkept = true;
    return load;
  }
  load.error = DecodeSensorTable(*content, table);
  if (!load.error) return load;
  load.unkept = true;
  for (int n = 1; n <= kMaxKeptTables; ++n) {
    const std::string kept = KeptTablePath(path, n);
    const NewFileResult result = WriteNewFile(kept, *content, /*error=*/nullptr);
    if (result == NewFileResult::kExists) continue;
    if (result == NewFileResult::kWritten) {
      load.kept_path = kept;
      load.unkept = false;
    }
    break;
  }
  return load;
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
