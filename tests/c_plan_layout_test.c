/* A host in C99 that writes its plans and pools with vexplan.h's structs and codes alone, and checks the
 * library's answers through vexfilt.h's statuses: a comparison with a LIKE and a search list, a column
 * against a column through its descriptor, and a change since the previous sample. The public headers,
 * vexhost.h too, compile as C, and the shared library serves a C host through them alone; handles are
 * numbered from 101. Each check that fails prints its line; the last line is "N checks, M failed". */
#include <stdio.h>
#include <string.h>

#include "vexfilt.h"
#include "vexhost.h"
#include "vexplan.h"

static int g_checks = 0;
static int g_failures = 0;

#define CHECK_EQ(actual, expected)                                                         \
  do {                                                                                     \
    const long actual_ = (long)(actual), expected_ = (long)(expected);                     \
    ++g_checks;                                                                            \
    if (actual_ != expected_) {                                                            \
      ++g_failures;                                                                        \
      printf("line %d: %s is %ld, expected %ld\n", __LINE__, #actual, actual_, expected_); \
    }                                                                                      \
  } while (0)

/* `text` followed by blanks up to `width` bytes. */
static void PutText(void* at, const char* text, size_t width) {
  const size_t length = strlen(text) < width ? strlen(text) : width;
  memset(at, ' ', width);
  memcpy(at, text, length);
}

/* A plan and a pool under construction: elements and entries are appended (entries with ids 1, 2, ...) and
 * the headers are written last, once they are counted. */
typedef struct Plan {
  unsigned char bytes[sizeof(VxpPlanHeader) + 4 * sizeof(VxpElement)];
  int16_t count;
} Plan;
typedef struct Pool {
  unsigned char bytes[1024];
  size_t used;
  int16_t count;
} Pool;

/* An element of `compareOperator` on the column `name` at `offset`, of `length` bytes and type `dataType`,
 * read through routine slot `slot`; one-element skips, and every other field zero. */
static VxpElement NewElement(int32_t compareOperator, const char* name, int32_t offset, int16_t length,
                             int16_t dataType, int16_t slot) {
  VxpElement element;
  memset(&element, 0, sizeof element);
  element.compareOperator = compareOperator;
  element.trueSkip = 1;
  element.falseSkip = 1;
  element.columnOffset = offset;
  element.columnLength = length;
  element.dataType = dataType;
  element.routineSlot = slot;
  PutText(element.columnName, name, sizeof element.columnName);
  return element;
}

static void AddElement(Plan* plan, VxpElement element) {
  element.elementId = (uint16_t)(plan->count + 1);
  memcpy(plan->bytes + sizeof(VxpPlanHeader) + (size_t)plan->count * sizeof element, &element, sizeof element);
  ++plan->count;
}

static int16_t AddEntry(Pool* pool, int16_t dataType, int16_t kind, const void* data, size_t length) {
  VxpLiteralEntry entry;
  memset(&entry, 0, sizeof entry);
  if (pool->used == 0) pool->used = sizeof(VxpPoolHeader);
  entry.id = (int16_t)(pool->count + 1);
  entry.entryLength = (int16_t)(sizeof entry + length);
  entry.dataLength = (int16_t)length;
  entry.dataType = dataType;
  entry.valueLength = (int16_t)length;
  entry.kind = kind;
  memcpy(pool->bytes + pool->used, &entry, sizeof entry);
  memcpy(pool->bytes + pool->used + sizeof entry, data, length);
  pool->used += sizeof entry + length;
  ++pool->count;
  return entry.id;
}

static int16_t AddLong(Pool* pool, int32_t value) {
  return AddEntry(pool, VXP_TYPE_LONG, VXP_ENTRY_VALUE, &value, sizeof value);
}

/* Writes both headers and creates the Filter. */
static int32_t Create(Plan* plan, const char* table, int32_t recordLength, Pool* pool, FilterHandle* handle) {
  VxpPlanHeader header;
  VxpPoolHeader poolHeader;
  memset(&header, 0, sizeof header);
  memcpy(header.tag, "PLAN", 4);
  header.version = VXP_VERSION_EXTENDED;
  header.totalLength = (int16_t)(sizeof header + (size_t)plan->count * sizeof(VxpElement));
  header.recordLength = recordLength;
  header.elementLength = (int16_t)sizeof(VxpElement);
  header.elementCount = plan->count;
  PutText(header.tableName, table, sizeof header.tableName);
  memcpy(plan->bytes, &header, sizeof header);
  memset(&poolHeader, 0, sizeof poolHeader);
  if (pool->used == 0) pool->used = sizeof poolHeader;
  memcpy(poolHeader.tag, "POOL", 4);
  poolHeader.version = VXP_VERSION_EXTENDED;
  poolHeader.totalLength = (int16_t)pool->used;
  poolHeader.entryCount = pool->count;
  memcpy(pool->bytes, &poolHeader, sizeof poolHeader);
  memset(handle, 0, sizeof *handle);
  return FLT1_CreateFilter(0, plan->bytes, header.totalLength, pool->bytes, poolHeader.totalLength, handle);
}

/* The PROCESS row: NAME char(8), STATE char(4), CPU int32. */
enum { kNameAt = 0, kNameLength = 8, kStateAt = 8, kStateLength = 4, kCpuAt = 12, kProcessLength = 16 };

static const unsigned char* Process(const char* name, const char* state, int32_t cpu) {
  static unsigned char row[kProcessLength];
  PutText(row + kNameAt, name, kNameLength);
  PutText(row + kStateAt, state, kStateLength);
  memcpy(row + kCpuAt, &cpu, sizeof cpu);
  return row;
}

/* KEYS(NAME) IN ('init', 'sshd') AND CPU > 50 AND STATE LIKE 'R*' */
static void SearchListCompareAndLike(void) {
  static const char* const kKeys[] = {"init", "sshd"};
  enum { kKeyCount = 2, kEntrySize = sizeof(VxpSearchEntry) + kNameLength };
  unsigned char list[sizeof(VxpSearchListHeader) + kKeyCount * kEntrySize];
  VxpSearchListHeader listHeader;
  Plan plan;
  Pool pool;
  VxpElement element;
  FilterHandle handle;
  FilterInfo* info = NULL;
  unsigned char buffer[kProcessLength];
  uint32_t result = 0, length = 0;
  int32_t status;
  int i, reported = 0;

  memset(&plan, 0, sizeof plan);
  memset(&pool, 0, sizeof pool);
  memset(&listHeader, 0, sizeof listHeader);
  listHeader.entryCount = kKeyCount;
  listHeader.dataOffset = kNameAt;
  memcpy(list, &listHeader, sizeof listHeader);
  for (i = 0; i < kKeyCount; ++i) {
    unsigned char* place = list + sizeof listHeader + (size_t)i * kEntrySize;
    VxpSearchEntry entry;
    memset(&entry, 0, sizeof entry);
    entry.size = kEntrySize;
    entry.entryType = VXP_SEARCH_KIND_LITERAL;
    entry.compareLength = kNameLength;
    entry.keyLength = kNameLength;
    memcpy(place, &entry, sizeof entry);
    PutText(place + sizeof entry, kKeys[i], kNameLength);
  }

  element = NewElement(VXP_OP_FUNC, "NAME", kNameAt, kNameLength, VXP_TYPE_CHAR, VXP_SLOT_KIND_CHAR + VXP_SLOT_COL_LIT);
  element.logicalOperator = VXP_OP_AND;
  element.functionCode = VXP_FN_SEARCH_LIST;
  element.rightLiteralId = AddEntry(&pool, VXP_TYPE_CHAR, VXP_ENTRY_SEARCH_LIST, list, sizeof list);
  element.rightLiteralLength = (int16_t)sizeof list;
  AddElement(&plan, element);

  element = NewElement(VXP_OP_GT, "CPU", kCpuAt, 4, VXP_TYPE_LONG, VXP_SLOT_KIND_LONG + VXP_SLOT_COL_LIT);
  element.logicalOperator = VXP_OP_AND;
  element.rightLiteralId = AddLong(&pool, 50);
  element.rightLiteralLength = 4;
  element.falseSkip = 2; /* past the last element: the row fails */
  AddElement(&plan, element);

  element =
      NewElement(VXP_OP_LIKE, "STATE", kStateAt, kStateLength, VXP_TYPE_CHAR, VXP_SLOT_KIND_CHAR + VXP_SLOT_COL_LIT);
  element.rightLiteralId = AddEntry(&pool, VXP_TYPE_CHAR, VXP_ENTRY_VALUE, "R*", 2);
  element.rightLiteralLength = 2;
  AddElement(&plan, element);

  CHECK_EQ(Create(&plan, "PROCESS", kProcessLength, &pool, &handle), VXF_STATUS_OK);
  if (handle.filter == NULL) return;
  /* The process's first Filter carries the first sequence number; the next one follows. */
  CHECK_EQ(handle.sequence, 101);
  CHECK_EQ(handle.reserved, 0);

  CHECK_EQ(FLT1_BeginSample(handle), VXF_STATUS_OK);
  CHECK_EQ(FLT1_FilterRecord(handle, 0, Process("init", "RUN", 90)), VXF_STATUS_OK);
  CHECK_EQ(FLT1_FilterRecord(handle, 0, Process("cron", "RUN", 20)), VXF_STATUS_FALSE);
  CHECK_EQ(FLT1_FilterRecord(handle, 0, Process("cron", "WAIT", 99)), VXF_STATUS_FALSE);
  CHECK_EQ(FLT1_FilterRecord(handle, 0, Process("web", "RDY", 99)), VXF_STATUS_OK);
  CHECK_EQ(FLT1_EndSample(handle, &result), VXF_STATUS_OK);
  CHECK_EQ(result & VXF_RESULT_UNMATCHED_ENTRIES, VXF_RESULT_UNMATCHED_ENTRIES);

  /* "sshd" appeared in no row: retrieval writes it at the list's data offset, then has nothing left. */
  memset(buffer, 0, sizeof buffer);
  length = sizeof buffer;
  CHECK_EQ(FLT1_RetrieveRecord(handle, buffer, &length), VXF_STATUS_OK);
  CHECK_EQ(length, kProcessLength);
  CHECK_EQ(memcmp(buffer + kNameAt, "sshd    ", kNameLength), 0);
  length = sizeof buffer;
  CHECK_EQ(FLT1_RetrieveRecord(handle, buffer, &length), VXF_STATUS_NO_MORE_RECORDS);

  /* Every key appears in the next sample. */
  CHECK_EQ(FLT1_BeginSample(handle), VXF_STATUS_OK);
  CHECK_EQ(FLT1_FilterRecord(handle, 0, Process("sshd", "SLP", 1)), VXF_STATUS_FALSE);
  CHECK_EQ(FLT1_FilterRecord(handle, 0, Process("init", "SLP", 1)), VXF_STATUS_FALSE);
  CHECK_EQ(FLT1_EndSample(handle, &result), VXF_STATUS_OK);
  CHECK_EQ(result & VXF_RESULT_UNMATCHED_ENTRIES, 0);

  while ((status = FLT1_GetFilter(handle, &info)) == VXF_STATUS_OK) ++reported;
  CHECK_EQ(status, VXF_STATUS_NO_MORE_ELEMENTS);
  CHECK_EQ(reported, kKeyCount + 2); /* a predicate per key, then CPU and STATE */
  CHECK_EQ(FLT1_DestroyFilter(handle), VXF_STATUS_OK);
}

/* USED < LIMIT: two 4-byte columns of one row, the second named by a column descriptor. */
static void ColumnAgainstColumn(void) {
  enum { kUsedAt = 0, kLimitAt = 4, kRowLength = 8 };
  VxpColumnDescriptor descriptor;
  Plan plan;
  Pool pool;
  VxpElement element;
  FilterHandle handle;
  unsigned char row[kRowLength];
  const int32_t cases[][3] = {{10, 20, VXF_STATUS_OK}, {20, 20, VXF_STATUS_FALSE}, {-5, -6, VXF_STATUS_FALSE}};
  size_t i;

  memset(&plan, 0, sizeof plan);
  memset(&pool, 0, sizeof pool);
  memset(&descriptor, 0, sizeof descriptor);
  strcpy(descriptor.columnName, "LIMIT");
  descriptor.dataType = VXP_TYPE_LONG;

  element = NewElement(VXP_OP_LT, "USED", kUsedAt, 4, VXP_TYPE_LONG, VXP_SLOT_KIND_LONG + VXP_SLOT_COL_COL);
  element.rightColumnOffset = kLimitAt;
  element.rightDataType = VXP_TYPE_LONG;
  element.rightFlags = VXP_REP_COLUMN;
  element.rightLiteralId = AddEntry(&pool, VXP_TYPE_LONG, VXP_ENTRY_VALUE, &descriptor, sizeof descriptor);
  element.rightLiteralLength = (int16_t)sizeof descriptor;
  AddElement(&plan, element);

  CHECK_EQ(Create(&plan, "QUOTA", kRowLength, &pool, &handle), VXF_STATUS_OK);
  if (handle.filter == NULL) return;
  CHECK_EQ(handle.sequence, 102);
  for (i = 0; i < sizeof cases / sizeof cases[0]; ++i) {
    memcpy(row + kUsedAt, &cases[i][0], 4);
    memcpy(row + kLimitAt, &cases[i][1], 4);
    CHECK_EQ(FLT1_FilterRecord(handle, 0, row), cases[i][2]);
  }
  CHECK_EQ(FLT1_DestroyFilter(handle), VXF_STATUS_OK);
  CHECK_EQ(FLT1_CreateFilter(0, NULL, 0, pool.bytes, (int16_t)pool.used, &handle), VXF_STATUS_FALSE);
}

/* CHANGE(CPU) > 5 per KEY: a change element hands the change since the previous sample to a comparison. */
static void ChangeSinceThePreviousSample(void) {
  enum { kKeyAt = 0, kKeyLength = 8, kValueAt = 8, kRowLength = 12 };
  /* A new key has no change; then up by 10, then up by 3. */
  const int32_t samples[][2] = {{100, VXF_STATUS_NO_MATCH}, {110, VXF_STATUS_OK}, {113, VXF_STATUS_FALSE}};
  unsigned char block[sizeof(VxpChangeControl) + sizeof(VxpChangeKey)];
  unsigned char scratch[sizeof(VxpChangeRecord) + kKeyLength];
  VxpChangeControl control;
  VxpChangeKey key;
  Plan plan;
  Pool pool;
  VxpElement element;
  FilterHandle handle;
  unsigned char row[kRowLength];
  uint32_t result = 0;
  size_t i;

  memset(&plan, 0, sizeof plan);
  memset(&pool, 0, sizeof pool);
  memset(&control, 0, sizeof control);
  control.options = 0; /* no EnableFire: a new key has no change */
  control.keyCount = 1;
  control.keyStride = (int16_t)sizeof key;
  control.keyLength = kKeyLength;
  control.valueAreaLength = (int16_t)sizeof(VxpChangeRecord);
  control.recordSize = (int16_t)sizeof scratch;
  memset(&key, 0, sizeof key);
  key.columnOffset = kKeyAt;
  key.columnLength = kKeyLength;
  PutText(key.columnName, "KEY", sizeof key.columnName);
  memcpy(block, &control, sizeof control);
  memcpy(block + sizeof control, &key, sizeof key);
  memset(scratch, 0, sizeof scratch);

  /* VXP_FN_CHANGE_ALT keeps the block's own options, whatever the environment says. */
  element = NewElement(VXP_OP_FUNC, "CPU", kValueAt, 4, VXP_TYPE_LONG, VXP_SLOT_KIND_LONG + VXP_SLOT_COL_LIT);
  element.functionCode = VXP_FN_CHANGE_ALT;
  element.leftLiteralId = AddEntry(&pool, 0, VXP_ENTRY_VALUE, scratch, sizeof scratch);
  element.leftLiteralLength = (int16_t)sizeof scratch;
  element.rightLiteralId = AddEntry(&pool, 0, VXP_ENTRY_CHANGE_CONTROL, block, sizeof block);
  element.rightLiteralLength = (int16_t)sizeof block;
  element.resultTarget = 1;
  element.falseSkip = 2; /* no change to compare: the row fails */
  AddElement(&plan, element);

  element = NewElement(VXP_OP_GT, "CPU", 0, 0, VXP_TYPE_LONG, VXP_SLOT_KIND_LONG + VXP_SLOT_RESULT_LIT);
  element.rightLiteralId = AddLong(&pool, 5);
  element.rightLiteralLength = 4;
  AddElement(&plan, element);

  CHECK_EQ(Create(&plan, "CHANGES", kRowLength, &pool, &handle), VXF_STATUS_OK);
  if (handle.filter == NULL) return;
  PutText(row + kKeyAt, "A", kKeyLength);
  for (i = 0; i < sizeof samples / sizeof samples[0]; ++i) {
    CHECK_EQ(FLT1_BeginSample(handle), VXF_STATUS_OK);
    memcpy(row + kValueAt, &samples[i][0], 4);
    CHECK_EQ(FLT1_FilterRecord(handle, 0, row), samples[i][1]);
    CHECK_EQ(FLT1_EndSample(handle, &result), VXF_STATUS_OK);
  }
  CHECK_EQ(FLT1_DestroyFilter(handle), VXF_STATUS_OK);
}

int main(void) {
  SearchListCompareAndLike();
  ColumnAgainstColumn();
  ChangeSinceThePreviousSample();
  VEXH_ResetTraceLevels();
  printf("%d checks, %d failed\n", g_checks, g_failures);
  return g_failures == 0 ? 0 : 1;
}
