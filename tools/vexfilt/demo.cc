#include "demo.h"

#include <cstdio>
#include <cstring>
#include <iterator>
#include <string>
#include <vector>

#include "error_text.h"
#include "run.h"
#include "vexcompile.h"
#include "vexplan.h"

namespace vexfilt::cli {
namespace {

constexpr const char* kSchema =
    "PID int32, NAME char(16), STATE char(4), CPU int32, THREADS int16, RSS_MB double, IO_KB uint32";

constexpr const char* kPredicate =
    "STATE <> 'ZOMB' AND ((CPU >= 80 AND NAME LIKE 'web-*') OR CHANGE(IO_KB) > 1000 OR RSS_MB > 4096.5) "
    "EXPECT KEYS(NAME) IN ('db-writer', 'web-0', 'cron')";

// Columns in a different order from the schema on purpose: they are matched by name.
const Sample kSamples[] = {
    {"processes at 12:00:00",
     "NAME,PID,STATE,CPU,THREADS,RSS_MB,IO_KB\n"
     "db-writer,101,RUN,97,48,2048.0,5000\n"
     "web-0,102,RUN,91,64,512.5,100\n"
     "web-1,103,RUN,20,64,480.0,50\n"
     "cron,104,WAIT,5,1,12.0,10\n"
     "indexer,105,RUN,93,200,6144.0,700\n"},
    {"processes at 12:00:10",
     "PID,NAME,STATE,CPU,THREADS,RSS_MB,IO_KB\n"
     "101,db-writer,RUN,60,48,2050.0,9000\n"
     "102,web-0,RUN,95,64,530.0,180\n"
     "103,web-1,RUN,85,64,490.0,90\n"
     "104,cron,RUN,7,1,12.0,20\n"},
    {"processes at 12:00:20",
     "PID,NAME,STATE,CPU,THREADS,RSS_MB,IO_KB\n"
     "101,db-writer,RUN,55,48,2051.0,9500\n"
     "102,web-0,RUN,40,64,531.0,260\n"
     "103,web-1,ZOMB,88,64,0.0,90\n"},
};

}  // namespace

int RunDemo(std::FILE* out, std::FILE* err) {
  const char* const keys[] = {"NAME"};
  const VxcOptions options{"PROCESS", nullptr, keys, 1};
  VxcPlan* plan = nullptr;
  VxcError error;
  if (VXC_CompileText(kSchema, kPredicate, &options, &plan, &error) != VXC_OK) {
    std::fputs(CompileErrorText(kPredicate, error).c_str(), err);
    return 2;
  }
  std::int16_t planLength = 0, poolLength = 0;
  VxpPlanHeader header;
  std::memcpy(&header, VXC_PlanBytes(plan, &planLength), sizeof header);
  VXC_PoolBytes(plan, &poolLength);
  std::fprintf(out, "vexfilt sample run (see vexfilt --help)\n");
  std::fprintf(out, "schema:    %s\nkey:       NAME\npredicate: %s\n", kSchema, kPredicate);
  std::fprintf(out, "plan:      %d elements, %d bytes; pool %d bytes (vexfilt --explain lists them)\n\n",
               header.elementCount, planLength, poolLength);
  // The input first, so that a reader can tell why each row matched.
  std::fprintf(out, "input (the columns of a sample are matched by name, in any order):\n");
  for (std::size_t i = 0; i < std::size(kSamples); ++i) {
    std::fprintf(out, "# sample %zu: %s\n%s", i + 1, kSamples[i].name.c_str(), kSamples[i].text.c_str());
  }
  std::fprintf(out, "\nmatching rows, with the change of IO_KB, and the expected keys each sample missed:\n");
  RunOptions runOptions;
  runOptions.sampleHeadings = true;
  const std::vector<Sample> samples(std::begin(kSamples), std::end(kSamples));
  const int status = RunSamples(plan, samples, runOptions, out, err);
  VXC_FreePlan(plan);
  // Rows matched or not, the sample itself ran.
  return status == 2 ? 2 : 0;
}

}  // namespace vexfilt::cli
