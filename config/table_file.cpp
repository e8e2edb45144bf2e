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

// Reads the whole file into `content`; an error message when it cannot be
// opened (*opened false) or read.
std::optional<std::string> ReadWhole(const std::string& path, std::string& content,
                                     bool* opened = nullptr) {
  std::ifstream in(path, std::ios::binary);
  if (opened != nullptr) *opened = in.is_open();
  if (!in.is_open()) return "cannot open '" + path + "'";
  std::array<char, 4096> chunk{};
  while (in.read(chunk.data(), chunk.size()) || in.gcount() > 0) {
    content.append(chunk.data(), static_cast<std::size_t>(in.gcount()));
  }
  if (in.bad()) return "cannot read '" + path + "'";
  return std::nullopt;
}

}  // namespace

std::optional<std::string> LoadSensorTable(SensorTable& table, const std::string& path) {
  std::string content;
  if (std::optional<std::string> error = ReadWhole(path, content)) return error;
  return DecodeSensorTable(content, table);
}

std::string KeptTablePath(const std::string& path, int n) {
  return path + ".bad" + (n > 1 ? std::to_string(n) : std::string());
}

TableLoad LoadSensorTableKeepingRefused(SensorTable& table, const std::string& path) {
  TableLoad load;
  std::string content;
  bool opened = false;
  load.error = ReadWhole(path, content, &opened);
  if (load.error) {
    // A file that is there but cannot be read cannot be copied either.
    load.unkept = opened;
    return load;
  }
  load.error = DecodeSensorTable(content, table);
  if (!load.error) return load;
  load.unkept = true;
  for (int n = 1; n <= kMaxKeptTables && load.unkept; ++n) {
    const NewFileResult result = WriteNewFile(KeptTablePath(path, n), content);
    if (result == NewFileResult::kFailed) break;
    load.unkept = result == NewFileResult::kExists;
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
