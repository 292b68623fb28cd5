#include "stop_signal.h"

#include <signal.h>

namespace vexfilt::cli {
namespace {

volatile sig_atomic_t stopRequested = 0;

void OnStop(int signalNumber) {
  if (stopRequested) {
    signal(signalNumber, SIG_DFL);
    raise(signalNumber);
    return;
  }
  stopRequested = 1;
}

}  // namespace

void CatchStopSignals() {
  struct sigaction action {};
  action.sa_handler = &OnStop;
  sigemptyset(&action.sa_mask);
  action.sa_flags = 0;  // no SA_RESTART: the read or wait under way returns EINTR
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
}

bool StopRequested() { return stopRequested != 0; }

}  // namespace vexfilt::cli
