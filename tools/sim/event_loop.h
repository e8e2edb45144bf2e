// The simulator's one thread: waits on every port at once, answers requests
// and sends each scheduled byte when it is due.
#pragma once

#include <signal.h>

#include <csignal>
#include <optional>
#include <string>
#include <vector>

#include "tools/sim/log_file.h"
#include "tools/sim/output_schedule.h"
#include "tools/sim/pty_port.h"
#include "tools/sim/request_assembler.h"
#include "tools/sim/sim_config.h"
#include "tools/sim/sim_device.h"
#include "tools/sim/sim_time.h"

namespace quorvel::sim {

class EventLoop {
 public:
  // `started` is the time wave channels count from.
  EventLoop(Nanos started, LogFile log) : started_(started), log_(std::move(log)) {}

  void AddPort(PtyPort pty, const PortConfig& config);

  std::vector<const PtyPort*> ports() const;

  // Serves the ports until `*stop` is set by a signal handler or `end`
  // passes. Signals are let through only while waiting, with `wait_mask`, so
  // a stop is never missed between a check and a wait. Returns false on an
  // I/O error, described in `error`. Either way every request has its log
  // line when it returns: replies still unsent are logged as not sent.
  bool Run(std::optional<Nanos> end, const volatile std::sig_atomic_t* stop,
           const sigset_t& wait_mask, std::string* error);

 private:
  struct Port {
    PtyPort pty;
    std::string name;  // the link's basename, as the log shows it
    std::uint32_t baud = 0;
    std::vector<SimDevice> devices;
    RequestAssembler assembler;
    OutputSchedule schedule;
    bool blocked = false;  // the last write found the terminal full
    std::optional<Outage> outage;
    bool outage_over = false;
  };

  // Takes a port away or brings it back when its outage says so; lowers
  // `wake` to its next change.
  bool FollowOutage(Port& port, Nanos now, Nanos* wake, std::string* error);

  bool Serve(std::optional<Nanos> end, const volatile std::sig_atomic_t* stop,
             const sigset_t& wait_mask, std::string* error);
  // Writes what is due; lowers `wake` to when something next will be.
  bool Send(Port& port, Nanos now, Nanos* wake, std::string* error);
  bool Receive(Port& port, std::string* error);
  void Handle(Port& port, const ReceivedFrame& frame);

  Nanos started_;
  LogFile log_;
  std::vector<Port> ports_;
};

}  // namespace quorvel::sim
