#include "testkit/wine_run.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace quorvel::testing {

std::string WindowsPath(const std::string& unix_path) {
  std::string path = "Z:" + unix_path;
  for (char& c : path) {
    if (c == '/') c = '\\';
  }
  return path;
}

std::string RunFile(const std::string& relative) {
  const char* run = std::getenv("QUORVEL_RUN");
  return WindowsPath(std::string(run != nullptr ? run : "/nonexistent") + "/" + relative);
}

std::optional<std::string> FileText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

bool PlaceFile(const std::string& path, std::string_view text, std::string* error) {
  const std::string pending = path + ".tmp";
  {
    std::ofstream out(pending, std::ios::binary);
    out << text;
    if (!out.flush()) return *error = "cannot write " + pending, false;
  }
  std::error_code renamed;
  std::filesystem::rename(pending, path, renamed);
  if (!renamed) return true;
  std::filesystem::remove(pending, renamed);
  return *error = "cannot rename " + pending + ": " + renamed.message(), false;
}

std::vector<std::string> SimulatorLog() {
  std::vector<std::string> lines;
  const char* log = std::getenv("QUORVEL_SIM_LOG");
  if (log == nullptr) return lines;
  std::ifstream in(WindowsPath(log));
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

std::optional<double> SimulatorPortEvent(const std::string& what) {
  for (const std::string& line : SimulatorLog()) {
    if (line.ends_with(" COM3 port=" + what)) return std::strtod(line.c_str(), nullptr);
  }
  return std::nullopt;
}

}  // namespace quorvel::testing
