// An interrupt or a termination asks the program to stop after the sample it is on, so that what that
// sample found is printed whole and the missing keys are not lost.
#ifndef VEXFILT_TOOLS_VEXFILT_STOP_SIGNAL_H_
#define VEXFILT_TOOLS_VEXFILT_STOP_SIGNAL_H_

namespace vexfilt::cli {

// Catches SIGINT and SIGTERM without restarting reads, so a read or a wait under way returns at once.
// A second signal ends the program as the signal would have.
void CatchStopSignals();
bool StopRequested();

}  // namespace vexfilt::cli

#endif  // VEXFILT_TOOLS_VEXFILT_STOP_SIGNAL_H_
