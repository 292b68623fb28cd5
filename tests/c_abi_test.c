/* A host written in C: the public headers compile as C, and the shared library creates a Filter, passes
 * records through it and releases it; handles are numbered from 101. Prints "1 passed, 0 failed" on success. */
#include <stdio.h>
#include <string.h>

#include "vexfilt.h"
#include "vexhost.h"
#include "vexplan.h"

int main(void) {
  /* One FUNC element (always holds) over a 16-byte record. */
  unsigned char plan[sizeof(VxpPlanHeader) + sizeof(VxpElement)];
  unsigned char pool[sizeof(VxpPoolHeader)];
  VxpPlanHeader planHeader;
  VxpElement element;
  VxpPoolHeader poolHeader;
  FilterHandle handle;
  unsigned char record[16] = {0};
  int failures = 0;

  memset(&planHeader, 0, sizeof planHeader);
  memcpy(planHeader.tag, "PLAN", 4);
  planHeader.version = VXP_VERSION_EXTENDED;
  planHeader.totalLength = (int16_t)sizeof plan;
  planHeader.recordLength = (int32_t)sizeof record;
  planHeader.elementLength = (int16_t)sizeof element;
  planHeader.elementCount = 1;
  memcpy(planHeader.tableName, "CTABLE    ", sizeof planHeader.tableName);
  memset(&element, 0, sizeof element);
  element.compareOperator = VXP_OP_FUNC;
  element.trueSkip = 1;
  element.falseSkip = 1;
  element.functionCode = VXP_FN_ALWAYS;
  memcpy(plan, &planHeader, sizeof planHeader);
  memcpy(plan + sizeof planHeader, &element, sizeof element);
  memset(&poolHeader, 0, sizeof poolHeader);
  memcpy(poolHeader.tag, "POOL", 4);
  poolHeader.version = VXP_VERSION_EXTENDED;
  memcpy(pool, &poolHeader, sizeof poolHeader);

  memset(&handle, 0, sizeof handle);
  if (FLT1_CreateFilter(0, plan, (int16_t)sizeof plan, pool, (int16_t)sizeof pool, &handle) != VXF_STATUS_OK) ++failures;
  /* This is the process's first Filter, so it carries the first sequence number; the next one follows. */
  if (handle.sequence != 101 || handle.reserved != 0 || handle.filter == NULL) ++failures;
  if (FLT1_FilterRecord(handle, 0, record) != VXF_STATUS_OK) ++failures;
  if (FLT1_DestroyFilter(handle) != VXF_STATUS_OK) ++failures;
  if (FLT1_CreateFilter(0, plan, (int16_t)sizeof plan, pool, (int16_t)sizeof pool, &handle) != VXF_STATUS_OK) ++failures;
  if (handle.sequence != 102) ++failures;
  if (FLT1_DestroyFilter(handle) != VXF_STATUS_OK) ++failures;
  if (FLT1_CreateFilter(0, NULL, 0, pool, (int16_t)sizeof pool, &handle) != VXF_STATUS_FALSE) ++failures;
  VEXH_ResetTraceLevels();
  printf("%d passed, %d failed\n", failures == 0 ? 1 : 0, failures == 0 ? 0 : 1);
  return failures == 0 ? 0 : 1;
}
