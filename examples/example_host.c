/* A data server's use of the library, written in C against vexfilt.h alone.
 *
 * The server keeps a PROCESS table of fixed-layout rows and has compiled, for one client, the predicate
 *
 *   KEYS(NAME) IN ('db-writer', 'web-0', 'cron') AND CPU > 90 AND STATE = 'RUN'
 *
 * into a Filter Plan and a Literal Pool. It creates a Filter from them, reads the predicate back the way
 * it would show it to an operator, runs two samples of the table through it (asking after each which
 * expected processes did not appear), lowers the CPU limit of the live Filter, and destroys it.
 *
 * The plan and the pool are written field by field from the tables below, as a server's own compiler
 * would write them: every integer in the local byte order, every name and text blank padded. */
#include <stdint.h>
#include <stdio.h>
#include <string.h>

#include "vexfilt.h"

/* The PROCESS row: NAME char(16), STATE char(4), CPU int32. */
enum { kNameAt = 0, kNameLength = 16, kStateAt = 16, kStateLength = 4, kCpuAt = 20, kRecordLength = 24 };

/* Codes of the plan format. */
enum { kOpOr = 2, kOpAnd = 3, kOpEq = 4, kOpGt = 7, kOpFunc = 33 };
enum { kFnSearchList = 12 };
enum { kTypeChar = 452, kTypeLong = 496 };
enum { kSlotChar = 0, kSlotLong = 10 };
enum { kKindValue = 0, kKindSearchList = 1 };

/* Byte offsets in the plan header, an element record and a pool entry. */
enum { kPlanHeaderSize = 32, kElementSize = 192 };
enum {
  kElOperator = 4, kElConnective = 8, kElColumnOffset = 16, kElSlot = 38, kElId = 40, kElTrueId = 42,
  kElFalseId = 44, kElColumnLength = 48, kElDataType = 50, kElTrueSkip = 52, kElFalseSkip = 54,
  kElRightLength = 70, kElRightId = 74, kElFunction = 80, kElColumnName = 84
};
enum { kPoolHeaderSize = 16, kEntryHeaderSize = 16, kSearchHeaderSize = 16, kSearchEntryHeaderSize = 12 };

static void Put16(unsigned char* at, int16_t value) { memcpy(at, &value, sizeof value); }
static void Put32(unsigned char* at, int32_t value) { memcpy(at, &value, sizeof value); }
/* `text` followed by blanks up to `width` bytes. */
static void PutText(unsigned char* at, const char* text, size_t width) {
  memset(at, ' ', width);
  memcpy(at, text, strlen(text) < width ? strlen(text) : width);
}

/* One element of the plan: column OP literal, and where evaluation goes next (a skip past the last
 * element ends it: after a true skip the row passes, after a false skip it fails). */
struct ElementRow {
  int32_t op, connective;
  uint32_t function;
  const char* column;
  int32_t offset;
  int16_t length, type, slot, literalId, literalLength, trueSkip, falseSkip;
};
static const struct ElementRow kElements[] = {
    /* The search marks the expected keys a row matches; it never holds, so both ways lead on. */
    {kOpFunc, kOpAnd, kFnSearchList, "NAME", kNameAt, kNameLength, kTypeChar, kSlotChar, 1, 0, 1, 1},
    {kOpGt, kOpAnd, 0, "CPU", kCpuAt, 4, kTypeLong, kSlotLong, 2, 4, 1, 2},
    {kOpEq, 0, 0, "STATE", kStateAt, kStateLength, kTypeChar, kSlotChar, 3, kStateLength, 1, 1},
};
enum { kElementCount = sizeof kElements / sizeof kElements[0] };

static const char* const kExpected[] = {"db-writer", "web-0", "cron"};
enum { kExpectedCount = sizeof kExpected / sizeof kExpected[0] };

static unsigned char plan[kPlanHeaderSize + kElementCount * kElementSize];
static unsigned char pool[512];

static int16_t BuildPlan(void) {
  int i;
  memcpy(plan, "PLAN", 4);
  Put16(plan + 4, 131);                       /* version */
  Put16(plan + 6, (int16_t)sizeof plan);      /* total length */
  Put32(plan + 8, kRecordLength);
  Put16(plan + 12, kElementSize);
  Put16(plan + 14, kElementCount);
  PutText(plan + 16, "PROCESS", 10);
  for (i = 0; i < kElementCount; ++i) {
    const struct ElementRow* row = &kElements[i];
    unsigned char* e = plan + kPlanHeaderSize + i * kElementSize;
    const int onTrue = i + row->trueSkip, onFalse = i + row->falseSkip;
    Put32(e + kElOperator, row->op);
    Put32(e + kElConnective, row->connective);
    Put32(e + kElColumnOffset, row->offset);
    Put16(e + kElSlot, row->slot);
    Put16(e + kElId, (int16_t)(i + 1));
    Put16(e + kElTrueId, (int16_t)(onTrue < kElementCount ? onTrue + 1 : 0)); /* 0: leaves the plan */
    Put16(e + kElFalseId, (int16_t)(onFalse < kElementCount ? onFalse + 1 : 0));
    Put16(e + kElColumnLength, row->length);
    Put16(e + kElDataType, row->type);
    Put16(e + kElTrueSkip, row->trueSkip);
    Put16(e + kElFalseSkip, row->falseSkip);
    Put16(e + kElRightLength, row->literalLength);
    Put16(e + kElRightId, row->literalId);
    Put32(e + kElFunction, (int32_t)row->function);
    PutText(e + kElColumnName, row->column, 11);
  }
  return (int16_t)sizeof plan;
}

/* Appends a literal entry at `at` and returns where the next one starts. */
static size_t AddEntry(size_t at, int16_t id, int16_t type, int16_t kind, const unsigned char* data, int16_t length) {
  unsigned char* entry = pool + at;
  memset(entry, 0, kEntryHeaderSize);
  Put16(entry + 0, id);
  Put16(entry + 2, (int16_t)(kEntryHeaderSize + length)); /* to the next entry */
  Put16(entry + 4, length);                               /* declared length */
  Put16(entry + 6, type);
  Put16(entry + 8, length);                               /* bytes held */
  Put16(entry + 12, kind);
  memcpy(entry + kEntryHeaderSize, data, (size_t)length);
  return at + kEntryHeaderSize + (size_t)length;
}

static int16_t BuildPool(void) {
  unsigned char list[kSearchHeaderSize + kExpectedCount * (kSearchEntryHeaderSize + kNameLength)];
  unsigned char limit[4], state[kStateLength];
  size_t at = kPoolHeaderSize;
  int i;
  /* The search list: a header with the entry count and where retrieval writes a key in the row, then
   * one entry per key, each compared over the column's whole width. */
  memset(list, 0, sizeof list);
  Put16(list + 2, kExpectedCount);
  Put16(list + 10, kNameAt);
  for (i = 0; i < kExpectedCount; ++i) {
    unsigned char* entry = list + kSearchHeaderSize + i * (kSearchEntryHeaderSize + kNameLength);
    Put16(entry + 0, kSearchEntryHeaderSize + kNameLength); /* to the next entry */
    Put16(entry + 6, kNameLength);                          /* compared length */
    Put16(entry + 10, kNameLength);                         /* key length */
    PutText(entry + kSearchEntryHeaderSize, kExpected[i], kNameLength);
  }
  Put32(limit, 90);
  PutText(state, "RUN", kStateLength);
  at = AddEntry(at, 1, kTypeChar, kKindSearchList, list, (int16_t)sizeof list);
  at = AddEntry(at, 2, kTypeLong, kKindValue, limit, 4);
  at = AddEntry(at, 3, kTypeChar, kKindValue, state, kStateLength);
  memcpy(pool, "POOL", 4);
  Put16(pool + 4, 131);               /* version */
  Put16(pool + 6, (int16_t)at);
  Put16(pool + 8, 3);                 /* entries */
  Put32(pool + 12, 0);                /* language id: the default */
  return (int16_t)at;
}

struct Process {
  const char* name;
  const char* state;
  int32_t cpu;
};

static void RowOf(const struct Process* process, unsigned char* row) {
  PutText(row + kNameAt, process->name, kNameLength);
  PutText(row + kStateAt, process->state, kStateLength);
  Put32(row + kCpuAt, process->cpu);
}

static void PrintTrimmed(const void* text, int length) {
  while (length > 0 && ((const char*)text)[length - 1] == ' ') --length;
  printf("%.*s", length, (const char*)text);
}

/* The predicate as the library reports it, one comparison a line, in the host's operator codes. */
static void ShowPredicate(FilterHandle handle) {
  static const char* const kComparison[] = {"?", "=", "<>", ">=", "<=", "<", ">", "?", "?", "?", "LIKE"};
  FilterInfo* info = NULL;
  while (FLT1_GetFilter(handle, &info) == 0) {
    printf("  ");
    PrintTrimmed(info->columnName, 11);
    printf(" %s ", info->compareOperator >= 0 && info->compareOperator <= 10 ? kComparison[info->compareOperator] : "?");
    if (info->dataType == kTypeLong) {
      int32_t value;
      memcpy(&value, info->value, sizeof value);
      printf("%d", value);
    } else {
      printf("'");
      PrintTrimmed(info->value, info->valueLen);
      printf("'");
    }
    printf("%s\n", info->logicalOperator == 7 ? " OR" : info->logicalOperator == 8 ? " AND" : "");
  }
}

/* One sample: every row through the Filter, then the expected keys that no row matched. */
static void RunSample(FilterHandle handle, const char* title, const struct Process* rows, int count) {
  unsigned char row[kRecordLength];
  uint32_t result = 0, length;
  int i, passed = 0;
  printf("%s\n", title);
  FLT1_BeginSample(handle);
  for (i = 0; i < count; ++i) {
    int keep;
    RowOf(&rows[i], row);
    keep = FLT1_FilterRecord(handle, 0, row) == 0;
    passed += keep;
    printf("  %-10s cpu %3d %-4s %s\n", rows[i].name, rows[i].cpu, rows[i].state, keep ? "pass" : "-");
  }
  FLT1_EndSample(handle, &result);
  printf("  %d of %d rows pass\n", passed, count);
  /* Bit 0x8000: some expected keys were matched by no row. */
  if (result & 0x8000) {
    /* Each call writes the next missing key into the row at the column's place. */
    for (length = sizeof row; FLT1_RetrieveRecord(handle, row, &length) == 0; length = sizeof row) {
      printf("  missing: ");
      PrintTrimmed(row + kNameAt, kNameLength);
      printf("\n");
    }
  }
}

int main(void) {
  static const struct Process kFirst[] = {{"db-writer", "RUN", 97}, {"web-0", "RUN", 91}, {"indexer", "WAIT", 99}};
  static const struct Process kSecond[] = {
      {"db-writer", "RUN", 60}, {"web-0", "RUN", 72}, {"cron", "RUN", 5}, {"web-1", "WAIT", 80}};
  const int16_t planLength = BuildPlan();
  const int16_t poolLength = BuildPool();
  FilterHandle handle;
  const int32_t newLimit = 50;
  int32_t status;

  memset(&handle, 0, sizeof handle);
  status = FLT1_CreateFilter(0, plan, planLength, pool, poolLength, &handle);
  if (status != 0) {
    printf("FLT1_CreateFilter failed with status %d\n", status);
    return 1;
  }
  printf("Filter %d on PROCESS, %d elements; the library reports:\n", handle.sequence, kElementCount);
  ShowPredicate(handle);

  RunSample(handle, "sample 1:", kFirst, 3);
  status = FLT1_ModifyPredicate(handle, "CPU", 0, &newLimit, (int16_t)sizeof newLimit);
  printf("CPU limit lowered to %d (FLT1_ModifyPredicate status %d)\n", newLimit, status);
  RunSample(handle, "sample 2:", kSecond, 4);

  FLT1_DestroyFilter(handle);
  printf("Filter destroyed\n");
  return 0;
}
