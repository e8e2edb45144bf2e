// The sensor table's file, DDEConf.dde (content: config/table_stream.h).
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "config/sensor_table.h"

namespace quorvel::config {

// A bare name: the file lives in the process's working directory.
inline constexpr char kSensorTableFile[] = "DDEConf.dde";

// Reads the whole file and decodes it into `table`; an error message when
// the file cannot be opened or read, or its content is refused. After a
// refusal the table holds what the decoder had applied (see
// DecodeSensorTable); the caller rebuilds the default table over it.
std::optional<std::string> LoadSensorTable(SensorTable& table,
                                           const std::string& path = kSensorTableFile);

// Where a table file that failed to load is kept: the n-th name tried is
// path + ".bad" for n = 1, path + ".bad" + n after it (".bad2", ".bad3", ...).
std::string KeptTablePath(const std::string& path, int n);
inline constexpr int kMaxKeptTables = 999;

struct TableLoad {
  // Why the table was not loaded; nullopt when it was.
  std::optional<std::string> error;
  // A file failed to load and could not be kept: saving over it would lose
  // it for good.
  bool unkept = false;
};

// LoadSensorTable, and a file that stands at `path` but fails to load is
// copied first to the first free KeptTablePath, so the save that follows
// (the default table) cannot lose it. An earlier kept copy is never
// overwritten. A missing file is no failure to keep anything of.
TableLoad LoadSensorTableKeepingRefused(SensorTable& table,
                                        const std::string& path = kSensorTableFile);

// Writes the table to path + ".tmp" and, once all of it is written and the
// file closed, puts that file in place of `path`. On any failure the
// temporary file is removed and a file already at `path` stays whole.
std::optional<std::string> SaveSensorTable(const SensorTable& table, std::int32_t id,
                                           const std::string& path = kSensorTableFile);

}  // namespace quorvel::config
