/* A data server's use of the library, written in C against vexfilt.h and vexplan.h alone.
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
 * would write them: each record filled in its vexplan.h struct and copied into place, every name and text
 * blank padded. */
#include <stdint.h>
#include <stdio.h>
#include <string.h>

#include "vexfilt.h"
#include "vexplan.h"

/* The PROCESS row: NAME char(16), STATE char(4), CPU int32. */
enum { kNameAt = 0, kNameLength = 16, kStateAt = 16, kStateLength = 4, kCpuAt = 20, kRecordLength = 24 };

static void Put32(unsigned char* at, int32_t value) { memcpy(at, &value, sizeof value); }
/* `text` followed by blanks up to `width` bytes. */
static void PutText(void* at, const char* text, size_t width) {
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
/* Routine slots of the elements. */
enum {
  kCharLit = VXP_SLOT_KIND_CHAR + VXP_SLOT_COL_LIT, /* character column with a literal */
  kLongLit = VXP_SLOT_KIND_LONG + VXP_SLOT_COL_LIT  /* 4-byte integer column with a literal */
};
static const struct ElementRow kElements[] = {
    /* The search marks the expected keys a row matches; it never holds, so both ways lead on. */
    {VXP_OP_FUNC, VXP_OP_AND, VXP_FN_SEARCH_LIST, "NAME", kNameAt, kNameLength, VXP_TYPE_CHAR, kCharLit, 1, 0, 1, 1},
    {VXP_OP_GT, VXP_OP_AND, VXP_FN_NONE, "CPU", kCpuAt, 4, VXP_TYPE_LONG, kLongLit, 2, 4, 1, 2},
    {VXP_OP_EQ, 0, VXP_FN_NONE, "STATE", kStateAt, kStateLength, VXP_TYPE_CHAR, kCharLit, 3, kStateLength, 1, 1},
};
enum { kElementCount = sizeof kElements / sizeof kElements[0] };

static const char* const kExpected[] = {"db-writer", "web-0", "cron"};
enum { kExpectedCount = sizeof kExpected / sizeof kExpected[0] };

static unsigned char plan[sizeof(VxpPlanHeader) + kElementCount * sizeof(VxpElement)];
static unsigned char pool[512];

static int16_t BuildPlan(void) {
  VxpPlanHeader header;
  int i;
  memset(&header, 0, sizeof header);
  memcpy(header.tag, "PLAN", 4);
  header.version = VXP_VERSION_EXTENDED;
  header.totalLength = (int16_t)sizeof plan;
  header.recordLength = kRecordLength;
  header.elementLength = (int16_t)sizeof(VxpElement);
  header.elementCount = kElementCount;
  PutText(header.tableName, "PROCESS", sizeof header.tableName);
  memcpy(plan, &header, sizeof header);
  for (i = 0; i < kElementCount; ++i) {
    const struct ElementRow* row = &kElements[i];
    const int onTrue = i + row->trueSkip, onFalse = i + row->falseSkip;
    VxpElement e;
    memset(&e, 0, sizeof e);
    e.compareOperator = row->op;
    e.logicalOperator = row->connective;
    e.columnOffset = row->offset;
    e.routineSlot = row->slot;
    e.elementId = (uint16_t)(i + 1);
    e.trueTargetId = (uint16_t)(onTrue < kElementCount ? onTrue + 1 : 0); /* 0: leaves the plan */
    e.falseTargetId = (uint16_t)(onFalse < kElementCount ? onFalse + 1 : 0);
    e.columnLength = row->length;
    e.dataType = row->type;
    e.trueSkip = row->trueSkip;
    e.falseSkip = row->falseSkip;
    e.rightLiteralLength = row->literalLength;
    e.rightLiteralId = row->literalId;
    e.functionCode = row->function;
    PutText(e.columnName, row->column, sizeof e.columnName);
    memcpy(plan + sizeof header + (size_t)i * sizeof e, &e, sizeof e);
  }
  return (int16_t)sizeof plan;
}

/* Appends a literal entry at `at` and returns where the next one starts. */
static size_t AddEntry(size_t at, int16_t id, int16_t type, int16_t kind, const void* data, int16_t length) {
  VxpLiteralEntry entry;
  memset(&entry, 0, sizeof entry);
  entry.id = id;
  entry.entryLength = (int16_t)(sizeof entry + (size_t)length); /* to the next entry */
  entry.dataLength = length;                                     /* declared length */
  entry.dataType = type;
  entry.valueLength = length;                                    /* bytes held */
  entry.kind = kind;
  memcpy(pool + at, &entry, sizeof entry);
  memcpy(pool + at + sizeof entry, data, (size_t)length);
  return at + sizeof entry + (size_t)length;
}

/* The search list: a header with the entry count and where retrieval writes a key in the row, then one
 * entry per key, each compared over the column's whole width. */
enum { kSearchEntrySize = sizeof(VxpSearchEntry) + kNameLength };

static int16_t BuildPool(void) {
  unsigned char list[sizeof(VxpSearchListHeader) + kExpectedCount * kSearchEntrySize];
  VxpSearchListHeader listHeader;
  VxpPoolHeader header;
  unsigned char limit[4], state[kStateLength];
  size_t at = sizeof header;
  int i;
  memset(&listHeader, 0, sizeof listHeader);
  listHeader.entryCount = kExpectedCount;
  listHeader.dataOffset = kNameAt;
  memcpy(list, &listHeader, sizeof listHeader);
  for (i = 0; i < kExpectedCount; ++i) {
    unsigned char* place = list + sizeof listHeader + (size_t)i * kSearchEntrySize;
    VxpSearchEntry entry;
    memset(&entry, 0, sizeof entry);
    entry.size = kSearchEntrySize; /* to the next entry */
    entry.entryType = VXP_SEARCH_KIND_LITERAL;
    entry.compareLength = kNameLength;
    entry.keyLength = kNameLength;
    memcpy(place, &entry, sizeof entry);
    PutText(place + sizeof entry, kExpected[i], kNameLength);
  }
  Put32(limit, 90);
  PutText(state, "RUN", kStateLength);
  at = AddEntry(at, 1, VXP_TYPE_CHAR, VXP_ENTRY_SEARCH_LIST, list, (int16_t)sizeof list);
  at = AddEntry(at, 2, VXP_TYPE_LONG, VXP_ENTRY_VALUE, limit, 4);
  at = AddEntry(at, 3, VXP_TYPE_CHAR, VXP_ENTRY_VALUE, state, kStateLength);
  memset(&header, 0, sizeof header);
  memcpy(header.tag, "POOL", 4);
  header.version = VXP_VERSION_EXTENDED;
  header.totalLength = (int16_t)at;
  header.entryCount = 3;
  header.languageId = 0; /* the default */
  memcpy(pool, &header, sizeof header);
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

/* A comparison as FilterInfo reports it, in the host's codes (VXF_INFO_OP_), written as SQL writes it. */
static const char* ComparisonText(int16_t code) {
  switch (code) {
    case VXF_INFO_OP_EQ: return "=";
    case VXF_INFO_OP_NE: return "<>";
    case VXF_INFO_OP_GE: return ">=";
    case VXF_INFO_OP_LE: return "<=";
    case VXF_INFO_OP_LT: return "<";
    case VXF_INFO_OP_GT: return ">";
    case VXF_INFO_OP_LIKE: return "LIKE";
    default: return "?";
  }
}

/* The predicate as the library reports it, one comparison a line, in the host's operator codes. */
static void ShowPredicate(FilterHandle handle) {
  FilterInfo* info = NULL;
  while (FLT1_GetFilter(handle, &info) == VXF_STATUS_OK) {
    printf("  ");
    PrintTrimmed(info->columnName, (int)sizeof ((const VxpElement*)0)->columnName); /* the element's name */
    printf(" %s ", ComparisonText(info->compareOperator));
    if (info->dataType == VXP_TYPE_LONG) {
      int32_t value;
      memcpy(&value, info->value, sizeof value);
      printf("%d", value);
    } else {
      printf("'");
      PrintTrimmed(info->value, info->valueLen);
      printf("'");
    }
    printf("%s\n", info->logicalOperator == VXF_INFO_OP_OR ? " OR" : info->logicalOperator == VXF_INFO_OP_AND ? " AND" : "");
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
    keep = FLT1_FilterRecord(handle, 0, row) == VXF_STATUS_OK;
    passed += keep;
    printf("  %-10s cpu %3d %-4s %s\n", rows[i].name, rows[i].cpu, rows[i].state, keep ? "pass" : "-");
  }
  FLT1_EndSample(handle, &result);
  printf("  %d of %d rows pass\n", passed, count);
  /* Some expected keys were matched by no row. */
  if (result & VXF_RESULT_UNMATCHED_ENTRIES) {
    /* Each call writes the next missing key into the row at the column's place. */
    for (length = sizeof row; FLT1_RetrieveRecord(handle, row, &length) == VXF_STATUS_OK; length = sizeof row) {
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
  if (status != VXF_STATUS_OK) {
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
