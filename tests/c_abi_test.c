/* A host written in C: the public headers compile as C, and the shared library creates a Filter, passes
 * records through it and releases it; handles are numbered from 101. Prints "1 passed, 0 failed" on success. */
#include <stdio.h>
#include <string.h>

#include "vexfilt.h"
#include "vexhost.h"

static void Put16(unsigned char* p, int16_t v) { memcpy(p, &v, sizeof v); }
static void Put32(unsigned char* p, int32_t v) { memcpy(p, &v, sizeof v); }

int main(void) {
  /* One FUNC element (always holds) over a 16-byte record, version 131. */
  unsigned char plan[224];
  unsigned char pool[16];
  FilterHandle handle;
  unsigned char record[16] = {0};
  int failures = 0;

  memset(plan, 0, sizeof plan);
  memcpy(plan, "PLAN", 4);
  Put16(plan + 4, 131);
  Put16(plan + 6, (int16_t)sizeof plan);
  Put32(plan + 8, 16);
  Put16(plan + 12, 192);
  Put16(plan + 14, 1);
  memcpy(plan + 16, "CTABLE    ", 10);
  Put32(plan + 32 + 4, 33);     /* FUNC */
  Put16(plan + 32 + 52, 1);     /* true skip */
  Put16(plan + 32 + 54, 1);     /* false skip */
  Put32(plan + 32 + 80, 1);     /* function 1 */
  memset(pool, 0, sizeof pool);
  memcpy(pool, "POOL", 4);
  Put16(pool + 4, 131);

  memset(&handle, 0, sizeof handle);
  if (FLT1_CreateFilter(0, plan, (int16_t)sizeof plan, pool, (int16_t)sizeof pool, &handle) != 0) ++failures;
  /* This is the process's first Filter, so it carries the first sequence number; the next one follows. */
  if (handle.sequence != 101 || handle.reserved != 0 || handle.filter == NULL) ++failures;
  if (FLT1_FilterRecord(handle, 0, record) != 0) ++failures;
  if (FLT1_DestroyFilter(handle) != 0) ++failures;
  if (FLT1_CreateFilter(0, plan, (int16_t)sizeof plan, pool, (int16_t)sizeof pool, &handle) != 0) ++failures;
  if (handle.sequence != 102) ++failures;
  if (FLT1_DestroyFilter(handle) != 0) ++failures;
  if (FLT1_CreateFilter(0, NULL, 0, pool, (int16_t)sizeof pool, &handle) != 1) ++failures;
  VEXH_ResetTraceLevels();
  printf("%d passed, %d failed\n", failures == 0 ? 1 : 0, failures == 0 ? 0 : 1);
  return failures == 0 ? 0 : 1;
}
