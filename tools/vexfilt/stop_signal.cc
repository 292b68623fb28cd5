#include "stop_signal.h"

#include <signal.h>

#include <initializer_list>

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
  for (const int signalNumber : {SIGINT, SIGTERM}) {
    // A signal ignored when the program started (SIGINT in a background job of a shell) stays ignored.
    struct sigaction before {};
    if (sigaction(signalNumber, nullptr, &before) == 0 && before.sa_handler == SIG_IGN) continue;
    sigaction(signalNumber, &action, nullptr);
  }
}

bool StopRequested() { return stopRequested != 0; }

}  // namespace vexfilt::cli
