// The sample run with no arguments: a process table over three samples.
#ifndef VEXFILT_TOOLS_VEXFILT_DEMO_H_
#define VEXFILT_TOOLS_VEXFILT_DEMO_H_

#include <cstdio>

namespace vexfilt::cli {

int RunDemo(std::FILE* out, std::FILE* err);

}  // namespace vexfilt::cli

#endif  // VEXFILT_TOOLS_VEXFILT_DEMO_H_
