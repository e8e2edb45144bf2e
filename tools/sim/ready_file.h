// The file that tells the test harness the ports are up.
#pragma once

#include <string>
#include <vector>

#include "tools/sim/pty_port.h"

namespace quorvel::sim {

// Writes "LINK /dev/pts/N" per port to `path` by way of a renamed temporary,
// so the harness never reads it half written.
bool WriteReadyFile(const std::string& path, const std::vector<const PtyPort*>& ports,
                    std::string* error);

}  // namespace quorvel::sim
