/* A host written in C99 that writes its condition as text: the compiler library compiles it over a schema
 * given as text and over the host's own record struct, the evaluation library runs it, and the plan is
 * listed, kept in a file and loaded again. Prints each failed check and exits 1 if there was one. */
#include <stddef.h>
#include <stdio.h>
#include <string.h>

#include "vexcompile.h"
#include "vexfilt.h"

static int failures = 0;

#define CHECK(condition)                                                      \
  do {                                                                        \
    if (!(condition)) {                                                       \
      fprintf(stderr, "%s:%d: failed: %s\n", __FILE__, __LINE__, #condition); \
      ++failures;                                                             \
    }                                                                         \
  } while (0)

/* The host's record: its own layout, text columns in the form the compiler reads them. */
typedef struct Process {
  int32_t pid;
  char name[13]; /* char(12): the value, a zero byte, then bytes 0x01 */
  char pad[3];
  int32_t cpu;
} Process;

enum { kSize = (int32_t)sizeof(Process) };

/* Creates a Filter from `plan` and returns whether only the first of the three records passes. */
static int PassesTheFirstAlone(const VxcPlan* plan, const Process* processes) {
  FilterHandle handle;
  int16_t planLength = 0, poolLength = 0;
  const void* planBytes = VXC_PlanBytes(plan, &planLength);
  const void* poolBytes = VXC_PoolBytes(plan, &poolLength);
  uint32_t result = 0;
  int verdicts[3], i;
  if (FLT1_CreateFilter(0, planBytes, planLength, poolBytes, poolLength, &handle) != VXF_STATUS_OK) return 0;
  FLT1_BeginSample(handle);
  for (i = 0; i < 3; ++i) verdicts[i] = FLT1_FilterRecord(handle, 0, &processes[i]) == 0;
  FLT1_EndSample(handle, &result);
  FLT1_DestroyFilter(handle);
  return verdicts[0] && !verdicts[1] && !verdicts[2];
}

/* The value VXC_GetValue reads, as the text it gives or a status. */
static int ValueIs(const VxcPlan* plan, const char* column, const Process* process, const char* expected) {
  VxcError error;
  char* text = NULL;
  const int status = VXC_GetValue(plan, column, process, kSize, &text, &error);
  const int same = expected != NULL ? status == VXC_OK && text != NULL && strcmp(text, expected) == 0
                                    : status == VXC_BAD_VALUE && text == NULL;
  VXC_FreeText(text);
  return same;
}

static void HostStructCompilesAndRuns(void) {
  const VxcColumn columns[] = {
      {"PID", "int32", (int32_t)offsetof(Process, pid), 4},
      {"NAME", "char(12)", (int32_t)offsetof(Process, name), (int32_t)sizeof(((Process*)0)->name)},
      {"CPU", "int32", (int32_t)offsetof(Process, cpu), 0},
  };
  const char* values[3][3] = {{"1", "web-1", "90"}, {"2", "web-12", "90"}, {"3", "web-3", "10"}};
  VxcPlan* plan = NULL;
  VxcError error;
  Process processes[3];
  char* text = NULL;
  int i, c;
  memset(processes, 0, sizeof processes);
  CHECK(VXC_CompileColumns(columns, 3, kSize, "CPU > 50 AND NAME LIKE 'web-?'", NULL, &plan, &error) == VXC_OK);
  if (plan == NULL) return;
  CHECK(VXC_RecordLength(plan) == kSize);
  for (i = 0; i < 3; ++i) {
    for (c = 0; c < 3; ++c)
      CHECK(VXC_PutValue(plan, columns[c].name, values[i][c], &processes[i], kSize, &error) == VXC_OK);
  }
  CHECK(processes[0].pid == 1 && processes[0].cpu == 90 && strcmp(processes[0].name, "web-1") == 0);
  CHECK(PassesTheFirstAlone(plan, processes));

  CHECK(VXC_ColumnCount(plan) == 3 && strcmp(VXC_ColumnName(plan, 1), "NAME") == 0);
  CHECK(VXC_ColumnName(plan, 3) == NULL && VXC_ColumnName(plan, -1) == NULL && VXC_KeysColumn(plan) == NULL);
  CHECK(ValueIs(plan, "NAME", &processes[1], "web-12") && ValueIs(plan, "CPU", &processes[2], "10"));
  CHECK(ValueIs(plan, "NOPE", &processes[2], NULL));
  /* A value refused says why and leaves the record as it was. */
  CHECK(VXC_PutValue(plan, "CPU", "ninety", &processes[0], kSize, &error) == VXC_BAD_VALUE);
  CHECK(strstr(error.message, "'ninety' is not an int32") != NULL && error.status == VXC_BAD_VALUE);
  CHECK(processes[0].cpu == 90);
  /* A value given with its length keeps the bytes a terminated string would lose: a zero byte is no end. */
  CHECK(VXC_PutValueBytes(plan, "NAME", "web\0-9", 6, &processes[0], kSize, &error) == VXC_BAD_VALUE);
  CHECK(strcmp(processes[0].name, "web-1") == 0);
  CHECK(VXC_PutValueBytes(plan, "NAME", "web-77", 5, &processes[2], kSize, &error) == VXC_OK);
  CHECK(strcmp(processes[2].name, "web-7") == 0);
  CHECK(VXC_PutValue(plan, "NAME", "web-3", &processes[2], kSize, &error) == VXC_OK);
  CHECK(VXC_PutValue(plan, "NAME", "web-1", &processes[0], 8, &error) == VXC_BAD_ARGUMENT);
  /* By column number: the same conversion and the same refusals, and no column past the last. */
  CHECK(VXC_PutColumnBytes(plan, 2, " 77", 3, &processes[2], kSize, &error) == VXC_OK && processes[2].cpu == 77);
  CHECK(VXC_PutColumnBytes(plan, 1, "web-3", 5, &processes[2], kSize, &error) == VXC_OK);
  CHECK(VXC_PutColumnBytes(plan, 2, "1e3", 3, &processes[2], kSize, &error) == VXC_BAD_VALUE);
  CHECK(strstr(error.message, "'1e3' is not an int32") != NULL && processes[2].cpu == 77);
  CHECK(VXC_PutColumnBytes(plan, 3, "1", 1, &processes[2], kSize, &error) == VXC_BAD_VALUE);
  CHECK(VXC_PutColumnBytes(plan, 2, "10", 2, &processes[2], kSize, &error) == VXC_OK && processes[2].cpu == 10);
  CHECK(VXC_ChangeColumn(plan, NULL) == NULL && VXC_ChangeKey(plan, 0) == NULL);

  CHECK(VXC_Listing(plan, &text, &error) == VXC_OK && text != NULL && strstr(text, "LIKE") != NULL);
  VXC_FreeText(text);
  CHECK(VXC_JumpGraph(plan, &text, &error) == VXC_OK && text != NULL && strncmp(text, "digraph", 7) == 0);
  VXC_FreeText(text);

  /* Kept in a file and loaded again: the same bytes, and the placed schema with them. */
  CHECK(VXC_SavePlan(plan, "compile_api_test.vxp", &error) == VXC_OK);
  {
    VxcPlan* loaded = NULL;
    int16_t a = 0, b = 0;
    CHECK(VXC_LoadPlan("compile_api_test.vxp", &loaded, &error) == VXC_OK);
    if (loaded != NULL) {
      CHECK(memcmp(VXC_PlanBytes(plan, &a), VXC_PlanBytes(loaded, &b), (size_t)a) == 0 && a == b);
      CHECK(VXC_RecordLength(loaded) == kSize);
      CHECK(PassesTheFirstAlone(loaded, processes));
    }
    VXC_FreePlan(loaded);
  }
  /* The same bytes kept in the host's own store, read back; what is not a plan file is refused. */
  {
    VxcPlan* read = NULL;
    char* bytes = NULL;
    size_t length = 0;
    CHECK(VXC_WritePlanBytes(plan, &bytes, &length, &error) == VXC_OK && length > 0);
    CHECK(VXC_ReadPlanBytes(bytes, length, &read, &error) == VXC_OK);
    if (read != NULL) CHECK(PassesTheFirstAlone(read, processes));
    VXC_FreePlan(read);
    CHECK(VXC_ReadPlanBytes(bytes, length - 1, &read, &error) == VXC_FILE_ERROR && read == NULL);
    CHECK(strstr(error.message, "cut short") != NULL || strstr(error.message, "pool") != NULL);
    VXC_FreeText(bytes);
  }
  /* An empty record: numbers 0, text empty, the bytes between columns 0. */
  memset(&processes[0], 0x5A, sizeof(Process));
  CHECK(VXC_ClearRecord(plan, &processes[0], kSize, &error) == VXC_OK);
  CHECK(processes[0].pid == 0 && processes[0].cpu == 0 && processes[0].name[0] == '\0' && processes[0].pad[0] == 0);
  CHECK(VXC_ClearRecord(plan, &processes[0], 8, &error) == VXC_BAD_ARGUMENT);
  VXC_FreePlan(plan);
}

static void FaultsAreStatusesWithPlaces(void) {
  VxcPlan* plan = (VxcPlan*)&failures; /* not NULL, to see that it is cleared */
  VxcError error;
  const char* keys[] = {"NAME"};
  VxcOptions options = {"PROCS", "de_DE", keys, 1};
  CHECK(VXC_CompileText("CPU int32, NAME char(8)", "CPU > 1 AND\n  NAME = 5", NULL, &plan, &error) ==
        VXC_BAD_PREDICATE);
  CHECK(plan == NULL);
  CHECK(error.status == VXC_BAD_PREDICATE && error.line == 2 && error.column == 10);
  CHECK(strstr(error.message, "compare it with a 'quoted' text") != NULL);
  CHECK(VXC_CompileText("CPU int32, NAME char(8)", "NAME = 'caf\xC3\xA9' AND CPU = 'x'", NULL, &plan, &error) ==
        VXC_BAD_PREDICATE);
  CHECK(error.line == 1 && error.column == 25); /* characters, not bytes */
  CHECK(VXC_CompileText("CPU int64", "CPU > 1", NULL, &plan, &error) == VXC_BAD_SCHEMA);
  CHECK(strstr(error.message, "unknown type 'int64'") != NULL && error.line == 0);
  options.language = "xx_YY";
  CHECK(VXC_CompileText("CPU int32, NAME char(8)", "CPU > 1", &options, &plan, &error) == VXC_BAD_OPTION);
  options.language = "de_DE";
  keys[0] = "NAMES";
  CHECK(VXC_CompileText("CPU int32, NAME char(8)", "CPU > 1", &options, &plan, &error) == VXC_BAD_OPTION);
  CHECK(strstr(error.message, "NAMES") != NULL);
  keys[0] = "NAME";
  CHECK(VXC_CompileText("CPU int32, NAME char(8)", "KEYS(NAME) IN ('db') AND CHANGE(CPU) > 1", &options, &plan,
                        &error) == VXC_OK);
  CHECK(plan != NULL && VXC_KeysColumn(plan) != NULL && strcmp(VXC_KeysColumn(plan), "NAME") == 0);
  CHECK(VXC_ChangeColumn(plan, NULL) != NULL && strcmp(VXC_ChangeColumn(plan, NULL), "CPU") == 0);
  CHECK(VXC_ChangeKey(plan, 0) != NULL && strcmp(VXC_ChangeKey(plan, 0), "NAME") == 0 && VXC_ChangeKey(plan, 1) == NULL);
  VXC_FreePlan(plan);
  {
    int32_t percent = 0;
    CHECK(VXC_CompileText("CPU int32, NAME char(8)", "PCTCHANGE(CPU) > 1", &options, &plan, &error) == VXC_OK);
    CHECK(plan != NULL && VXC_ChangeColumn(plan, &percent) != NULL && percent == 1);
    VXC_FreePlan(plan);
  }
  CHECK(VXC_CompileText(NULL, "CPU > 1", NULL, &plan, &error) == VXC_BAD_ARGUMENT);
  CHECK(VXC_CompileText("CPU int32", "CPU > 1", NULL, NULL, NULL) == VXC_BAD_ARGUMENT);
  {
    const VxcColumn wrong[] = {{"NAME", "char(12)", 0, 12}};
    CHECK(VXC_CompileColumns(wrong, 1, 16, "NAME = 'x'", NULL, &plan, &error) == VXC_BAD_SCHEMA);
    CHECK(strstr(error.message, "char(12) takes 13 bytes, not 12") != NULL);
  }
  {
    const VxcColumn overlapping[] = {{"A", "int32", 0, 0}, {"B", "int32", 2, 0}};
    CHECK(VXC_CompileColumns(overlapping, 2, 8, "A = 1", NULL, &plan, &error) == VXC_BAD_SCHEMA);
    CHECK(strstr(error.message, "overlaps") != NULL);
  }
  CHECK(VXC_LoadPlan("no-such-plan.vxp", &plan, &error) == VXC_FILE_ERROR && plan == NULL);
}

int main(void) {
  HostStructCompilesAndRuns();
  FaultsAreStatusesWithPlaces();
  if (failures == 0) printf("all checks passed\n");
  return failures == 0 ? 0 : 1;
}
