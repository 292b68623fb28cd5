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

/* A plan and a pool under construction: elements and entries (with ids 1, 2, ...) are appended, and the
 * headers are written once they are counted. */
typedef struct Plan {
  unsigned char bytes[sizeof(VxpPlanHeader) + 4 * sizeof(VxpElement)];
  int16_t count;
} Plan;
typedef struct Pool {
  unsigned char bytes[1024];
  size_t used;
  int16_t count;
} Pool;

/* Appends `element` on the column `name` with its id, and a skip of 1 wherever it gives none. */
static void AddElement(Plan* plan, const char* name, VxpElement element) {
  element.elementId = (uint16_t)(plan->count + 1);
  if (element.trueSkip == 0) element.trueSkip = 1;
  if (element.falseSkip == 0) element.falseSkip = 1;
  PutText(element.columnName, name, sizeof element.columnName);
  memcpy(plan->bytes + sizeof(VxpPlanHeader) + (size_t)plan->count * sizeof element, &element, sizeof element);
  ++plan->count;
}

static int16_t AddEntry(Pool* pool, int16_t dataType, int16_t kind, const void* data, size_t length) {
  const VxpLiteralEntry entry = {.id = (int16_t)(pool->count + 1),
                                 .entryLength = (int16_t)(sizeof entry + length),
                                 .dataLength = (int16_t)length,
                                 .dataType = dataType,
                                 .valueLength = (int16_t)length,
                                 .kind = kind};
  if (pool->used == 0) pool->used = sizeof(VxpPoolHeader);
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
  VxpPlanHeader header = {.tag = {'P', 'L', 'A', 'N'},
                          .version = VXP_VERSION_EXTENDED,
                          .totalLength = (int16_t)(sizeof header + (size_t)plan->count * sizeof(VxpElement)),
                          .recordLength = recordLength,
                          .elementLength = (int16_t)sizeof(VxpElement),
                          .elementCount = plan->count};
  VxpPoolHeader poolHeader = {.tag = {'P', 'O', 'O', 'L'},
                              .version = VXP_VERSION_EXTENDED,
                              .totalLength = (int16_t)(pool->used == 0 ? sizeof poolHeader : pool->used),
                              .entryCount = pool->count};
  PutText(header.tableName, table, sizeof header.tableName);
  memcpy(plan->bytes, &header, sizeof header);
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
  const VxpSearchListHeader listHeader = {.entryCount = kKeyCount, .dataOffset = kNameAt};
  const VxpSearchEntry entry = {
      .size = kEntrySize, .entryType = VXP_SEARCH_KIND_LITERAL, .compareLength = kNameLength, .keyLength = kNameLength};
  unsigned char list[sizeof listHeader + kKeyCount * kEntrySize];
  Plan plan = {{0}, 0};
  Pool pool = {{0}, 0, 0};
  FilterHandle handle;
  FilterInfo* info = NULL;
  unsigned char buffer[kProcessLength];
  uint32_t result = 0, length = 0;
  int32_t status;
  int i, reported = 0;

  memcpy(list, &listHeader, sizeof listHeader);
  for (i = 0; i < kKeyCount; ++i) {
    unsigned char* place = list + sizeof listHeader + (size_t)i * kEntrySize;
    memcpy(place, &entry, sizeof entry);
    PutText(place + sizeof entry, kKeys[i], kNameLength);
  }
  AddElement(&plan, "NAME",
             (VxpElement){.compareOperator = VXP_OP_FUNC,
                          .functionCode = VXP_FN_SEARCH_LIST,
                          .logicalOperator = VXP_OP_AND,
                          .columnOffset = kNameAt,
                          .columnLength = kNameLength,
                          .dataType = VXP_TYPE_CHAR,
                          .routineSlot = VXP_SLOT_KIND_CHAR + VXP_SLOT_COL_LIT,
                          .rightLiteralId = AddEntry(&pool, VXP_TYPE_CHAR, VXP_ENTRY_SEARCH_LIST, list, sizeof list),
                          .rightLiteralLength = (int16_t)sizeof list});
  /* falseSkip 2: past the last element, where the row fails. */
  AddElement(&plan, "CPU",
             (VxpElement){.compareOperator = VXP_OP_GT,
                          .logicalOperator = VXP_OP_AND,
                          .columnOffset = kCpuAt,
                          .columnLength = 4,
                          .dataType = VXP_TYPE_LONG,
                          .routineSlot = VXP_SLOT_KIND_LONG + VXP_SLOT_COL_LIT,
                          .rightLiteralId = AddLong(&pool, 50),
                          .rightLiteralLength = 4,
                          .falseSkip = 2});
  AddElement(&plan, "STATE",
             (VxpElement){.compareOperator = VXP_OP_LIKE,
                          .columnOffset = kStateAt,
                          .columnLength = kStateLength,
                          .dataType = VXP_TYPE_CHAR,
                          .routineSlot = VXP_SLOT_KIND_CHAR + VXP_SLOT_COL_LIT,
                          .rightLiteralId = AddEntry(&pool, VXP_TYPE_CHAR, VXP_ENTRY_VALUE, "R*", 2),
                          .rightLiteralLength = 2});

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
  const int32_t cases[][3] = {{10, 20, VXF_STATUS_OK}, {20, 20, VXF_STATUS_FALSE}, {-5, -6, VXF_STATUS_FALSE}};
  VxpColumnDescriptor descriptor = {.columnName = "LIMIT", .dataType = VXP_TYPE_LONG};
  Plan plan = {{0}, 0};
  Pool pool = {{0}, 0, 0};
  FilterHandle handle;
  unsigned char row[kRowLength];
  size_t i;

  AddElement(
      &plan, "USED",
      (VxpElement){.compareOperator = VXP_OP_LT,
                   .columnOffset = kUsedAt,
                   .columnLength = 4,
                   .dataType = VXP_TYPE_LONG,
                   .routineSlot = VXP_SLOT_KIND_LONG + VXP_SLOT_COL_COL,
                   .rightColumnOffset = kLimitAt,
                   .rightDataType = VXP_TYPE_LONG,
                   .rightFlags = VXP_REP_COLUMN,
                   .rightLiteralId = AddEntry(&pool, VXP_TYPE_LONG, VXP_ENTRY_VALUE, &descriptor, sizeof descriptor),
                   .rightLiteralLength = (int16_t)sizeof descriptor});
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
  /* No EnableFire: a new key has no change; then up by 10, then up by 3. */
  const int32_t samples[][2] = {{100, VXF_STATUS_NO_MATCH}, {110, VXF_STATUS_OK}, {113, VXF_STATUS_FALSE}};
  const VxpChangeControl control = {.options = 0,
                                    .keyCount = 1,
                                    .keyStride = (int16_t)sizeof(VxpChangeKey),
                                    .keyLength = kKeyLength,
                                    .valueAreaLength = (int16_t)sizeof(VxpChangeRecord),
                                    .recordSize = (int16_t)(sizeof(VxpChangeRecord) + kKeyLength)};
  VxpChangeKey key = {.columnOffset = kKeyAt, .columnLength = kKeyLength};
  unsigned char block[sizeof control + sizeof key];
  unsigned char scratch[sizeof(VxpChangeRecord) + kKeyLength] = {0};
  Plan plan = {{0}, 0};
  Pool pool = {{0}, 0, 0};
  FilterHandle handle;
  unsigned char row[kRowLength];
  uint32_t result = 0;
  int16_t scratchId, blockId;
  size_t i;

  PutText(key.columnName, "KEY", sizeof key.columnName);
  memcpy(block, &control, sizeof control);
  memcpy(block + sizeof control, &key, sizeof key);
  scratchId = AddEntry(&pool, 0, VXP_ENTRY_VALUE, scratch, sizeof scratch);
  blockId = AddEntry(&pool, 0, VXP_ENTRY_CHANGE_CONTROL, block, sizeof block);
  /* VXP_FN_CHANGE_ALT keeps the block's own options, whatever the environment says; falseSkip 2: no change to
   * compare, the row fails. */
  AddElement(&plan, "CPU",
             (VxpElement){.compareOperator = VXP_OP_FUNC,
                          .functionCode = VXP_FN_CHANGE_ALT,
                          .columnOffset = kValueAt,
                          .columnLength = 4,
                          .dataType = VXP_TYPE_LONG,
                          .routineSlot = VXP_SLOT_KIND_LONG + VXP_SLOT_COL_LIT,
                          .leftLiteralId = scratchId,
                          .leftLiteralLength = (int16_t)sizeof scratch,
                          .rightLiteralId = blockId,
                          .rightLiteralLength = (int16_t)sizeof block,
                          .resultTarget = 1,
                          .falseSkip = 2});
  AddElement(&plan, "CPU",
             (VxpElement){.compareOperator = VXP_OP_GT,
                          .dataType = VXP_TYPE_LONG,
                          .routineSlot = VXP_SLOT_KIND_LONG + VXP_SLOT_RESULT_LIT,
                          .rightLiteralId = AddLong(&pool, 5),
                          .rightLiteralLength = 4});

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
