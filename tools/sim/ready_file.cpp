#include "tools/sim/ready_file.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace quorvel::sim {

bool WriteReadyFile(const std::string& path, const std::vector<const PtyPort*>& ports,
                    std::string* error) {
  const std::string temporary = path + ".tmp";
  std::FILE* file = std::fopen(temporary.c_str(), "w");
  if (!file) {
    *error = "cannot write " + temporary + ": " + std::strerror(errno);
    return false;
  }
  for (const PtyPort* port : ports) {
    std::fprintf(file, "%s %s\n", port->link().c_str(), port->slave_path().c_str());
  }
  const bool written = std::ferror(file) == 0;
  if (std::fclose(file) != 0 || !written) {
    *error = "cannot write " + temporary + ": " + std::strerror(errno);
    return false;
  }
  if (std::rename(temporary.c_str(), path.c_str()) != 0) {
    *error = "cannot rename " + temporary + " to " + path + ": " + std::strerror(errno);
    return false;
  }
  return true;
}

}  // namespace quorvel::sim
