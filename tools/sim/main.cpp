// quorvel-sim: instruments on pseudo-terminals, for the tests that run the
// driver under Wine.
//
//   quorvel-sim [--log FILE] [--ready FILE] [--seconds N] PORT...
//     PORT:   --port LINK [--baud N] DEVICE...
//     DEVICE: --device ADDR [--channel CH=SOURCE]... [--fault MODE]...
//
// Each --port opens a new pseudo-terminal and points the symbolic link LINK
// at its slave. --baud N paces that line at N bit/s, 10 bits a byte. Each
// --device answers reading requests ("1;CH;") at address ADDR with its
// channels: SOURCE is a fixed value, wave:BASE:AMP:PERIOD or count. --fault
// MODE (silent, silent-for=S, partial, noise, noiseonly, overlong[=L], badcrc,
// badaddr, extrafield, bytewise, delay=MS, trailing) makes it misbehave.
// --log FILE appends "T PORT check=C addr=A cmd=CMD answer=W line=L sent=S"
// per request (L: the line speed the program set; S: when the reply's last
// byte went out, on CLOCK_REALTIME);
// --ready FILE is written once the ports are up; --seconds N ends the run,
// as do SIGTERM and SIGINT. See --help for the details.
//
// Exit status: 0 when stopped, 1 on a failure to set up or serve a port,
// 2 on a bad command line.
#include <signal.h>
#include <sys/prctl.h>

#include <csignal>
#include <cstdio>
#include <string>
#include <vector>

#include "tools/sim/event_loop.h"
#include "tools/sim/log_file.h"
#include "tools/sim/pty_port.h"
#include "tools/sim/ready_file.h"
#include "tools/sim/sim_config.h"
#include "tools/sim/sim_time.h"

namespace {

volatile std::sig_atomic_t g_stop = 0;

void OnStopSignal(int) {
  g_stop = 1;
}

int Fail(const std::string& message, int status) {
  std::fprintf(stderr, "quorvel-sim: %s\n", message.c_str());
  return status;
}

}  // namespace

int main(int argc, char** argv) {
  using namespace quorvel::sim;
  const Nanos started = MonotonicNow();

  std::string error;
  const auto config = ParseCommandLine(std::vector<std::string>(argv + 1, argv + argc), &error);
  if (!config) return Fail(error + " (see --help)", 2);
  if (config->show_help) {
    std::fputs(UsageText().data(), stdout);
    return 0;
  }

  // Paced bytes must leave within tens of microseconds of their time; the
  // default timer slack alone would eat most of that.
  prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);

  // Stop signals are held back except inside the wait, where ppoll lets them
  // in; one arriving at any other moment ends that very wait.
  sigset_t stop_signals;
  sigemptyset(&stop_signals);
  sigaddset(&stop_signals, SIGTERM);
  sigaddset(&stop_signals, SIGINT);
  sigset_t wait_mask;
  sigprocmask(SIG_BLOCK, &stop_signals, &wait_mask);
  sigdelset(&wait_mask, SIGTERM);
  sigdelset(&wait_mask, SIGINT);
  struct sigaction action {};
  action.sa_handler = OnStopSignal;
  sigemptyset(&action.sa_mask);
  sigaction(SIGTERM, &action, nullptr);
  sigaction(SIGINT, &action, nullptr);

  LogFile log;
  if (!config->log_path.empty()) {
    auto opened = LogFile::Open(config->log_path, &error);
    if (!opened) return Fail(error, 1);
    log = std::move(*opened);
  }

  EventLoop loop(started, std::move(log));
  for (const PortConfig& port_config : config->ports) {
    auto pty = PtyPort::Open(port_config.link, &error);
    if (!pty) return Fail(error, 1);
    loop.AddPort(std::move(*pty), port_config);
  }
  if (!config->ready_path.empty() && !WriteReadyFile(config->ready_path, loop.ports(), &error)) {
    return Fail(error, 1);
  }

  std::optional<Nanos> end;
  if (config->run_for) end = started + *config->run_for;
  if (!loop.Run(end, &g_stop, wait_mask, &error)) return Fail(error, 1);
  return 0;
}
