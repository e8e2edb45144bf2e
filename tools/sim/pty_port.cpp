#include "tools/sim/pty_port.h"

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace quorvel::sim {

namespace {

std::string Failure(std::string_view what, std::string_view subject) {
  return std::string(what) + " " + std::string(subject) + ": " + std::strerror(errno);
}

// Points `link` at `target`, replacing a symbolic link already there but
// nothing else: real devices and files are not ours to overwrite.
bool PlaceLink(const std::string& link, const std::string& target, std::string* error) {
  if (link.starts_with("/dev/ttyS")) {
    *error = "refusing to place a link at " + link;
    return false;
  }
  struct stat st {};
  if (lstat(link.c_str(), &st) == 0 && !S_ISLNK(st.st_mode)) {
    *error = "cannot place link " + link + ": it exists and is not a symbolic link";
    return false;
  }
  // Renamed into place, so a reader never finds the link missing or stale.
  const std::string temporary = link + ".tmp" + std::to_string(getpid());
  unlink(temporary.c_str());
  if (symlink(target.c_str(), temporary.c_str()) != 0) {
    *error = Failure("cannot create link", temporary);
    return false;
  }
  if (rename(temporary.c_str(), link.c_str()) != 0) {
    *error = Failure("cannot place link", link);
    unlink(temporary.c_str());
    return false;
  }
  return true;
}

}  // namespace

std::optional<PtyPort> PtyPort::Open(const std::string& link, std::string* error) {
  PtyPort port;
  port.link_ = link;
  port.master_.reset(posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC));
  if (!port.master_) {
    *error = Failure("cannot open a pseudo-terminal for", link);
    return std::nullopt;
  }
  const int master = port.master_.get();
  char name[128];
  if (grantpt(master) != 0 || unlockpt(master) != 0 || ptsname_r(master, name, sizeof name) != 0) {
    *error = Failure("cannot set up the pseudo-terminal for", link);
    return std::nullopt;
  }
  port.slave_path_ = name;
  port.slave_.reset(open(name, O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK));
  if (!port.slave_) {
    *error = Failure("cannot open", port.slave_path_);
    return std::nullopt;
  }
  termios settings{};
  if (tcgetattr(port.slave_.get(), &settings) != 0) {
    *error = Failure("cannot read the settings of", port.slave_path_);
    return std::nullopt;
  }
  cfmakeraw(&settings);
  if (tcsetattr(port.slave_.get(), TCSANOW, &settings) != 0) {
    *error = Failure("cannot set raw mode on", port.slave_path_);
    return std::nullopt;
  }
  if (fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK) != 0) {
    *error = Failure("cannot make non-blocking", link);
    return std::nullopt;
  }
  if (!PlaceLink(link, port.slave_path_, error)) return std::nullopt;
  return port;
}

bool PtyPort::PeerHasReadAll() const {
  // Bytes written to the master reach the slave's input queue a moment later,
  // from a kernel worker. Polling the slave first waits that hand-over out,
  // so FIONREAD cannot report an empty queue for a byte still on its way.
  pollfd slave{slave_.get(), POLLIN, 0};
  poll(&slave, 1, 0);
  int queued = 0;
  if (ioctl(slave_.get(), FIONREAD, &queued) != 0) return true;
  return queued == 0;
}

void PtyPort::TakeAway() {
  struct stat st {};
  if (lstat(link_.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) unlink(link_.c_str());
  slave_.reset();
  master_.reset();
}

}  // namespace quorvel::sim
