/* A host that writes its condition as text: compile it over the record struct, run two samples, report
 * the rows that pass and the expected keys that went missing. */
#include <stddef.h>
#include <stdio.h>

#include "vexcompile.h"
#include "vexfilt.h"

typedef struct Process {
  char name[9]; /* char(8): the value, a zero byte, then bytes 0x01 */
  int32_t cpu;
} Process;

static const VxcColumn kColumns[] = {{"NAME", "char(8)", offsetof(Process, name), sizeof(((Process*)0)->name)},
                                     {"CPU", "int32", offsetof(Process, cpu), 4}};
static const char* const kSamples[2][3][2] = {{{"web-0", "95"}, {"db", "20"}, {"cron", "99"}},
                                              {{"web-0", "10"}, {"web-1", "97"}, {"db", "50"}}};

int main(void) {
  VxcPlan* plan = NULL;
  VxcError error;
  FilterHandle filter;
  int16_t planLength, poolLength;
  int s, r;
  if (VXC_CompileColumns(kColumns, 2, sizeof(Process), "KEYS(NAME) IN ('db', 'cron') AND CPU > 90 AND NAME LIKE '*-?'",
                         NULL, &plan, &error) != VXC_OK) {
    fprintf(stderr, "line %d, character %d: %s\n", error.line, error.column, error.message);
    return 1;
  }
  const void* planBytes = VXC_PlanBytes(plan, &planLength);
  const void* poolBytes = VXC_PoolBytes(plan, &poolLength);
  if (FLT1_CreateFilter(0, planBytes, planLength, poolBytes, poolLength, &filter) != VXF_STATUS_OK) return 1;
  for (s = 0; s < 2; ++s) {
    uint32_t result = 0, length = sizeof(Process);
    Process row;
    FLT1_BeginSample(filter);
    for (r = 0; r < 3; ++r) {
      VXC_PutValue(plan, "NAME", kSamples[s][r][0], &row, sizeof row, NULL);
      VXC_PutValue(plan, "CPU", kSamples[s][r][1], &row, sizeof row, NULL);
      if (FLT1_FilterRecord(filter, 0, &row) == VXF_STATUS_OK) printf("sample %d: %s at %d%%\n", s + 1, row.name, row.cpu);
    }
    FLT1_EndSample(filter, &result);
    while ((result & VXF_RESULT_UNMATCHED_ENTRIES) && FLT1_RetrieveRecord(filter, &row, &length) == VXF_STATUS_OK) {
      printf("sample %d: %s missing\n", s + 1, row.name);
      length = sizeof row;
    }
  }
  FLT1_DestroyFilter(filter);
  VXC_FreePlan(plan);
  return 0;
}
