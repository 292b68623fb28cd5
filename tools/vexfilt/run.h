// Running a compiled predicate over CSV samples through the C interfaces of the compiler and the library.
#ifndef VEXFILT_TOOLS_VEXFILT_RUN_H_
#define VEXFILT_TOOLS_VEXFILT_RUN_H_

#include <cstdio>
#include <string>
#include <vector>

#include "vexcompile.h"

namespace vexfilt::cli {

struct Sample {
  std::string name;  // shown in messages
  std::string text;  // CSV with a header row
};

struct RunOptions {
  bool countOnly = false;       // the number of matching rows instead of the rows
  bool sampleHeadings = false;  // a "# sample" line before each sample's rows
  bool planFromFile = false;    // the plan was loaded, not compiled here: a refusal is the file's fault
};

// Each sample is one FLT1_BeginSample ... FLT1_EndSample bracket, in order; the matching rows are printed as
// CSV in schema order (the header once), then the expected keys no row of the sample matched as
// "# missing: KEY". A bad row stops the run: what came before it has been printed.
// Exit status: 0 when rows matched, 1 when none did, 2 on an error (reported on `err`).
int RunSamples(const VxcPlan* plan, const std::vector<Sample>& samples, const RunOptions& options, std::FILE* out,
               std::FILE* err);

}  // namespace vexfilt::cli

#endif  // VEXFILT_TOOLS_VEXFILT_RUN_H_
