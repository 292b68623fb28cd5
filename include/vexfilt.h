/* vexfilt.h: the record-filter library's C interface.
 *
 * Conventions
 *  1. A host compiles a predicate over one table into a Filter Plan and a Literal Pool and hands both to
 *     FLT1_CreateFilter, which copies them: the caller keeps ownership of its buffers and may free them as
 *     soon as the call returns.
 *  2. Every function returns a 32-bit status; 0 is success (for FLT1_FilterRecord: the record passes).
 *     No failure is reported any other way. Failures also print a message through the host's tracing.
 *  3. A FilterHandle is passed by value. Only its `filter` member is read. A handle whose `filter` is NULL
 *     is accepted by FLT1_BeginSample and FLT1_DestroyFilter (they do nothing and return 0); every other
 *     call expects a Filter that FLT1_CreateFilter built and FLT1_DestroyFilter has not yet released.
 *  4. A Filter is used by one thread at a time; different Filters may be used on different threads.
 *  5. The FilterInfo handed out by FLT1_GetFilter belongs to the Filter and is rewritten by its next call.
 */
#ifndef VEXFILT_H_
#define VEXFILT_H_

#include <stddef.h>
#include <stdint.h>

#if defined(VEXFILT_BUILDING_LIBRARY)
#define VEXFILT_EXPORT __attribute__((visibility("default")))
#else
#define VEXFILT_EXPORT
#endif

/* FLT1_FilterRecord is called once for every record. Where the compiler offers it, a host's calls to it
 * load its address from the GOT and call it there, instead of calling a PLT stub that jumps to it: one jump
 * less per record. */
#if defined(__has_attribute)
#if __has_attribute(noplt)
#define VEXFILT_PER_RECORD __attribute__((noplt))
#endif
#endif
#ifndef VEXFILT_PER_RECORD
#define VEXFILT_PER_RECORD
#endif

/* Statuses the functions return. FLT1_FilterRecord returns the status of the last element it evaluated:
 * 0 when the record passes, otherwise 1 or the error of that element's routine. */
#define VXF_STATUS_OK                      0     /* success; the record passes                           */
#define VXF_STATUS_FALSE                   1     /* the record fails; a missing argument; an operator,   */
                                                 /* slot or function with no routine; a retrieval buffer */
                                                 /* too small                                            */
#define VXF_STATUS_UNAVAILABLE             5     /* a regular-expression element: matching not provided  */
#define VXF_STATUS_BAD_VERSION_OR_LENGTH   6     /* plan or pool version or lengths; an element field    */
                                                 /* that leads outside the record, plan or pool          */
#define VXF_STATUS_NO_MEMORY               7     /* an allocation failed                                 */
#define VXF_STATUS_BAD_LITERAL             8     /* a pool entry translation cannot walk; a modified     */
                                                 /* literal that shares its bytes with a structure       */
#define VXF_STATUS_BAD_NUMBER              57    /* text compared as a number holds none                 */
#define VXF_STATUS_LENGTH_OUT_OF_RANGE     58    /* a length prefix beyond its column; a modified value  */
                                                 /* of a length the literal cannot take                  */
#define VXF_STATUS_NO_MORE_ELEMENTS        63    /* FLT1_GetFilter: every predicate has been reported    */
#define VXF_STATUS_NO_MATCH                207   /* the record fails: a locale-aware pattern, string     */
                                                 /* search or change element did not hold                */
#define VXF_STATUS_BAD_LANGUAGE            312   /* the pool's language id names no known language or    */
                                                 /* territory                                            */
#define VXF_STATUS_SUBSTRING_BEYOND_DATA   512   /* a substring reaches past a varying column's room     */
#define VXF_STATUS_NO_MORE_RECORDS         514   /* FLT1_RetrieveRecord: no unmatched search entry left  */
#define VXF_STATUS_HEAP_EXHAUSTED          1000  /* a change element has no cache or no memory for a row */
#define VXF_STATUS_UNREADABLE_OPERAND      1004  /* an operand whose flags name no readable number       */
#define VXF_STATUS_LOCALE_ERROR            1022  /* the national-language service failed                 */

/* Bits of FLT1_EndSample's result word. */
#define VXF_RESULT_UNMATCHED_ENTRIES       0x8000u /* search-list entries went unmatched in the sample   */

/* The FilterInfo that FLT1_GetFilter fills speaks the host's codes, not the plan's. */
#define VXF_INFO_VERSION                   300   /* FilterInfo.version, always                           */

/* Comparisons (FilterInfo.compareOperator). */
#define VXF_INFO_OP_NONE                   0     /* a function element, or an operator with no code here */
#define VXF_INFO_OP_EQ                     1     /* from VXP_OP_EQ, and a literal search entry           */
#define VXF_INFO_OP_NE                     2     /* from VXP_OP_NE                                       */
#define VXF_INFO_OP_GE                     3     /* from VXP_OP_GE                                       */
#define VXF_INFO_OP_LE                     4     /* from VXP_OP_LE                                       */
#define VXF_INFO_OP_LT                     5     /* from VXP_OP_LT                                       */
#define VXF_INFO_OP_GT                     6     /* from VXP_OP_GT                                       */
#define VXF_INFO_OP_LIKE                   10    /* from VXP_OP_LIKE, and a search entry with a pattern  */

/* Connectives (FilterInfo.logicalOperator); 0 for none. */
#define VXF_INFO_OP_OR                     7     /* from VXP_OP_OR; joins the entries of a search list   */
#define VXF_INFO_OP_AND                    8     /* from VXP_OP_AND                                      */

/* Attribute bits of the column (FilterInfo.attribute) and of the second operand (FilterInfo.extAttrs). */
#define VXF_INFO_ATTR_VARYING              0x10000000u /* characters after a 2-byte length prefix        */
#define VXF_INFO_ATTR_UNSIGNED             0x00200000u /* an unsigned integer                            */
#define VXF_INFO_ATTR_LOCALE               0x00100000u /* UTF-8 characters, compared locale-aware        */

/* Feature bits (FilterInfo.features): the plan's VXP_PLAN_FLAG_REPORTED_FEATURES bits as they are, and: */
#define VXF_INFO_FEATURE_PATTERN_LENGTH    0x1000u /* the element gives its LIKE pattern's length itself  */

/* Kinds of extra operand (FilterInfo.extType); 0 for none. */
#define VXF_INFO_EXT_SECOND_COLUMN         0x8000u /* the right operand is a second column               */
#define VXF_INFO_EXT_NAME_GIVEN            0x0080u /* extData holds the second column's name             */
#define VXF_INFO_EXT_ARGUMENT              0x0040u /* extData holds a function's argument                */

#ifdef __cplusplus
extern "C" {
#endif

typedef struct FilterHandle {
  int16_t sequence;   /* from the process-wide counter; first Filter is 101 */
  uint16_t reserved;  /* always 0 */
  void* filter;       /* the Filter; NULL means none */
} FilterHandle;

typedef struct FilterInfo {
  int16_t version; int16_t logicalOperator; int16_t compareOperator;
  uint32_t functionType; const char* columnName; int32_t dataType;
  int16_t valueLen; const void* value; uint32_t features; uint32_t attribute;
  uint32_t extAttrs; uint16_t extType; int16_t extLen; const void* extData;
  int32_t extDataType; uint32_t languageId;
} FilterInfo;

/* Builds a Filter from copies of the plan and the pool and writes `handle`. Returns 0, 1 (missing or empty
 * argument, unsupported operator), 6 (version or length), 312 (language id) or 1022 (locale). */
VEXFILT_EXPORT int32_t FLT1_CreateFilter(uint32_t ignored, const void* plan, int16_t planLength,
                                         const void* pool, int16_t poolLength, FilterHandle* handle);
/* Points *info at the Filter's FilterInfo describing the next predicate; 63 after the last one. */
VEXFILT_EXPORT int32_t FLT1_GetFilter(FilterHandle handle, FilterInfo** info);
/* Evaluates one record; 0 means the record satisfies the Filter. `record` must hold a whole row. */
VEXFILT_EXPORT VEXFILT_PER_RECORD int32_t FLT1_FilterRecord(FilterHandle handle, uint32_t ignored,
                                                            const void* record);
/* Evaluates `count` records in one call: record i starts at (const char*)records + i * stride, and
 * statuses[i] receives what FLT1_FilterRecord would have returned for it had the records been passed one by
 * one, in order, with the same side effects in the same order. Returns 0, or 1 (nothing evaluated) for a
 * missing handle, records or statuses, or a negative count; a count of 0 does nothing. */
VEXFILT_EXPORT int32_t FLT1_FilterRecords(FilterHandle handle, uint32_t ignored, const void* records, size_t stride,
                                          int32_t count, int32_t* statuses);
VEXFILT_EXPORT int32_t FLT1_BeginSample(FilterHandle handle);
/* Sets bit 0x8000 of *result when search-list entries went unmatched in the sample. */
VEXFILT_EXPORT int32_t FLT1_EndSample(FilterHandle handle, uint32_t* result);
/* Copies the next unmatched search entry into `buffer`; *bufferLength is its size in, the record's out. */
VEXFILT_EXPORT int32_t FLT1_RetrieveRecord(FilterHandle handle, void* buffer, uint32_t* bufferLength);
/* Releases the Filter and all it owns; the handle must not be used again. Always 0. */
VEXFILT_EXPORT int32_t FLT1_DestroyFilter(FilterHandle handle);
VEXFILT_EXPORT int32_t FLT1_ModifyPredicate(FilterHandle handle, const char* columnName, uint32_t functionCode,
                                            const void* value, int16_t valueLength);
/* Convert, in place, a plan or pool compiled in another data representation. */
VEXFILT_EXPORT int32_t FLT1_TranslateFilterPlanNCS(uint32_t dataRepresentation, void* plan);
VEXFILT_EXPORT int32_t FLT1_TranslateLiteralPoolNCS(uint32_t dataRepresentation, void* pool);

#ifdef __cplusplus
}
#endif

#endif /* VEXFILT_H_ */
