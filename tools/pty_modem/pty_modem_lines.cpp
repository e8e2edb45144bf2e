// Preloaded into the Wine processes of a test run (LD_PRELOAD): gives the
// simulator's pseudo-terminals the modem lines that a real serial port has.
//
// A Linux pseudo-terminal answers TIOCMGET/TIOCMBIS/TIOCMBIC/TIOCMSET with
// ENOTTY, so raising RTS and DTR on it fails and the port counts as refusing
// its settings. Here those four requests are answered on pseudo-terminal
// slaves only, from a per-terminal record of the lines, as a real port would
// answer them; every other request and every other file goes to the real
// ioctl unchanged (so /dev/null still refuses the line settings).
#include <dlfcn.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <atomic>
#include <cstdarg>

namespace {

// Unix98 pseudo-terminal slaves have majors 136..143.
bool IsPtySlave(int fd, unsigned& minor_number) {
  struct stat st;
  if (fstat(fd, &st) != 0 || !S_ISCHR(st.st_mode)) return false;
  const unsigned major_number = major(st.st_rdev);
  if (major_number < 136 || major_number > 143) return false;
  minor_number = (major_number - 136) * 256 + minor(st.st_rdev);
  return true;
}

// Modem-line bits per terminal; a line keeps its state between opens, as
// nothing here sees the close.
constexpr unsigned kTerminals = 2048;
std::atomic<int> g_lines[kTerminals];

using IoctlFn = int (*)(int, unsigned long, ...);

IoctlFn RealIoctl() {
  static IoctlFn real = reinterpret_cast<IoctlFn>(dlsym(RTLD_NEXT, "ioctl"));
  return real;
}

}  // namespace

extern "C" int ioctl(int fd, unsigned long request, ...) noexcept {
  va_list args;
  va_start(args, request);
  void* argument = va_arg(args, void*);
  va_end(args);

  const bool modem_request =
      request == TIOCMGET || request == TIOCMBIS || request == TIOCMBIC || request == TIOCMSET;
  unsigned terminal = 0;
  if (modem_request && argument != nullptr && IsPtySlave(fd, terminal) && terminal < kTerminals) {
    int* bits = static_cast<int*>(argument);
    std::atomic<int>& lines = g_lines[terminal];
    switch (request) {
      case TIOCMGET:
        *bits = lines.load();
        break;
      case TIOCMBIS:
        lines.fetch_or(*bits);
        break;
      case TIOCMBIC:
        lines.fetch_and(~*bits);
        break;
      default:
        lines.store(*bits);
        break;
    }
    return 0;
  }
  return RealIoctl()(fd, request, argument);
}
