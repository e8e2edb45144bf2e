#include "tools/sim/event_loop.h"

#include <poll.h>
#include <sys/timerfd.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>

#include "tools/sim/log_line.h"
#include "tools/sim/request_parser.h"
#include "tools/sim/unique_fd.h"

namespace quorvel::sim {

namespace {

// How often to look whether the reader has taken a byte sent one at a time.
constexpr Nanos kConsumedPoll = std::chrono::microseconds(100);
// A one-byte-per-read reply whose reader has gone away is not waited for
// longer than this: the rest is written at once instead of polling for ever.
constexpr Nanos kConsumedPatience = std::chrono::seconds(1);

timespec ToTimespec(Nanos time) {
  const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(time);
  return timespec{static_cast<time_t>(seconds.count()),
                  static_cast<long>((time - seconds).count())};
}

// The output speed the program last set on the slave. On Linux the master's
// tcgetattr reports the slave's settings, so the slave need not be reached.
std::optional<std::uint32_t> LineSpeed(const PtyPort& pty) {
  termios settings{};
  if (tcgetattr(pty.master_fd(), &settings) != 0) return std::nullopt;
  return BitsPerSecond(cfgetospeed(&settings));
}

}  // namespace

void EventLoop::AddPort(PtyPort pty, const PortConfig& config) {
  Port port{
      .pty = std::move(pty),
      .name = std::filesystem::path(config.link).filename().string(),
      .baud = config.baud,
      .devices = {},
      .assembler = {},
      .schedule = OutputSchedule(config.baud),
      .outage = config.outage,
  };
  for (const DeviceConfig& device : config.devices) port.devices.emplace_back(device);
  ports_.push_back(std::move(port));
}

std::vector<const PtyPort*> EventLoop::ports() const {
  std::vector<const PtyPort*> result;
  for (const Port& port : ports_) result.push_back(&port.pty);
  return result;
}

bool EventLoop::Run(std::optional<Nanos> end, const volatile std::sig_atomic_t* stop,
                    const sigset_t& wait_mask, std::string* error) {
  const bool served = Serve(end, stop, wait_mask, error);
  for (const Port& port : ports_) {
    for (const TimedWrite& write : port.schedule.writes()) {
      if (!write.log_line.empty()) log_.Write(write.log_line + SentField(std::nullopt));
    }
  }
  return served;
}

bool EventLoop::Serve(std::optional<Nanos> end, const volatile std::sig_atomic_t* stop,
                      const sigset_t& wait_mask, std::string* error) {
  // Waits end at absolute times on a timer of their own: a late wake-up
  // cannot push later bytes back, and the timer's expiry carries no slack.
  UniqueFd timer(timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC));
  if (!timer) {
    *error = std::string("timerfd_create: ") + std::strerror(errno);
    return false;
  }
  std::vector<pollfd> fds(ports_.size() + 1);
  while (!*stop) {
    const Nanos now = MonotonicNow();
    if (end && now >= *end) break;
    Nanos wake = end.value_or(Nanos::max());
    for (std::size_t i = 0; i < ports_.size(); ++i) {
      if (!FollowOutage(ports_[i], now, &wake, error)) return false;
      if (ports_[i].pty.away()) {
        fds[i] = pollfd{-1, 0, 0};  // left out of the wait
        continue;
      }
      if (!Send(ports_[i], now, &wake, error)) return false;
      const short events = POLLIN | (ports_[i].blocked ? POLLOUT : 0);
      fds[i] = pollfd{ports_[i].pty.master_fd(), events, 0};
    }

    // Zero disarms the timer; the earliest possible time would fire at once.
    const itimerspec due{
        {0, 0}, wake == Nanos::max() ? timespec{0, 0} : ToTimespec(std::max(wake, Nanos(1)))};
    if (timerfd_settime(timer.get(), TFD_TIMER_ABSTIME, &due, nullptr) != 0) {
      *error = std::string("timerfd_settime: ") + std::strerror(errno);
      return false;
    }
    fds.back() = pollfd{timer.get(), POLLIN, 0};
    if (ppoll(fds.data(), fds.size(), nullptr, &wait_mask) < 0) {
      if (errno == EINTR) continue;
      *error = std::string("ppoll: ") + std::strerror(errno);
      return false;
    }
    for (std::size_t i = 0; i < ports_.size(); ++i) {
      if (fds[i].revents & POLLIN) {
        if (!Receive(ports_[i], error)) return false;
      } else if (fds[i].revents & (POLLERR | POLLHUP | POLLNVAL)) {
        *error = "the pseudo-terminal of " + ports_[i].pty.link() + " failed";
        return false;
      }
    }
  }
  return true;
}

bool EventLoop::FollowOutage(Port& port, Nanos now, Nanos* wake, std::string* error) {
  if (!port.outage || port.outage_over) return true;
  const Nanos from = started_ + port.outage->from;
  const Nanos until = started_ + port.outage->until;
  if (!port.pty.away() && now >= from) {
    // What was still to be sent goes with the terminal.
    for (const TimedWrite& write : port.schedule.writes()) {
      if (!write.log_line.empty()) log_.Write(write.log_line + SentField(std::nullopt));
    }
    port.schedule = OutputSchedule(port.baud);
    port.assembler = RequestAssembler();
    port.blocked = false;
    port.pty.TakeAway();
    log_.Write(FormatSeconds(now) + " " + port.name + " port=away");
  }
  if (port.pty.away() && now >= until) {
    std::optional<PtyPort> back = PtyPort::Open(port.pty.link(), error);
    if (!back) return false;
    port.pty = std::move(*back);
    port.outage_over = true;
    log_.Write(FormatSeconds(MonotonicNow()) + " " + port.name + " port=back");
    return true;
  }
  *wake = std::min(*wake, port.pty.away() ? until : from);
  return true;
}

bool EventLoop::Send(Port& port, Nanos now, Nanos* wake, std::string* error) {
  port.blocked = false;
  while (!port.schedule.empty()) {
    TimedWrite& next = port.schedule.front();
    if (next.at > now) {
      *wake = std::min(*wake, next.at);
      return true;
    }
    if (next.after_consumed && now < next.at + kConsumedPatience && !port.pty.PeerHasReadAll()) {
      *wake = std::min(*wake, now + kConsumedPoll);
      return true;
    }
    if (!next.log_line.empty()) {
      // The line goes out just before the reply's last byte, so a reader
      // that has the whole reply finds its request logged. The time is taken
      // before both writes: it is early by the few microseconds of the
      // log's write. (A terminal too full to take the byte makes it earlier.)
      log_.Write(next.log_line + SentField(RealtimeNow()));
      next.log_line.clear();
    }
    const ssize_t written = write(port.pty.master_fd(), next.bytes.data(), next.bytes.size());
    if (written < 0) {
      if (errno == EINTR) continue;
      if (errno == EAGAIN) {
        port.blocked = true;
        return true;
      }
      *error = "cannot write to " + port.pty.link() + ": " + std::strerror(errno);
      return false;
    }
    if (static_cast<std::size_t>(written) < next.bytes.size()) {
      next.bytes.erase(0, static_cast<std::size_t>(written));
      port.blocked = true;
      return true;
    }
    port.schedule.pop_front();
  }
  return true;
}

bool EventLoop::Receive(Port& port, std::string* error) {
  char buffer[4096];
  for (;;) {
    const ssize_t got = read(port.pty.master_fd(), buffer, sizeof buffer);
    if (got > 0) {
      const Nanos now = MonotonicNow();
      for (const ReceivedFrame& frame :
           port.assembler.Feed(std::string_view(buffer, static_cast<std::size_t>(got)), now)) {
        Handle(port, frame);
      }
      continue;
    }
    if (got < 0 && errno == EINTR) continue;
    if (got < 0 && errno != EAGAIN) {
      *error = "cannot read from " + port.pty.link() + ": " + std::strerror(errno);
      return false;
    }
    return true;
  }
}

void EventLoop::Handle(Port& port, const ReceivedFrame& frame) {
  Request request;
  if (frame.overflow) {
    request.check = RequestCheck::kBadStart;
    request.command = frame.bytes;
  } else {
    request = ParseRequest(frame.bytes);
  }

  // The speed the program's side was set to when its request came in.
  const std::optional<std::uint32_t> line_speed = LineSpeed(port.pty);
  Answer answer = Answer::kNone;
  if (request.check == RequestCheck::kOk) {
    // On a paced line the request is only in once its last byte would be.
    const Nanos received = port.baud != 0
                               ? frame.first_byte + LineTime(port.baud, frame.bytes.size())
                               : frame.last_byte;
    const auto device =
        std::find_if(port.devices.begin(), port.devices.end(),
                     [&](const SimDevice& d) { return d.address() == request.address; });
    if (device == port.devices.end()) {
      answer = Answer::kNoDevice;
    } else {
      const std::chrono::duration<double> since_start = received - started_;
      const Reply reply = device->Respond(request.command, since_start.count());
      answer = reply.answer;
      if (!reply.bytes.empty()) {
        // Logged when the reply's last byte is sent (see Send).
        port.schedule.Add(reply.bytes, reply.bytewise, received + reply.delay, frame.last_byte,
                          FormatLogLine(frame.last_byte, port.name, request, answer, line_speed));
        return;
      }
    }
  }
  log_.Write(FormatLogLine(frame.last_byte, port.name, request, answer, line_speed) +
             SentField(std::nullopt));
}

}  // namespace quorvel::sim
