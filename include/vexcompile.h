/* vexcompile.h: the predicate compiler, for hosts that write their conditions as text.
 *
 * A host describes its table's records (a schema) and writes a predicate in the vexfilt language,
 *
 *     CPU > 90 AND (NAME LIKE 'web-*' OR CHANGE(IO_KB) > 1000) AND KEYS(NAME) IN ('db', 'cron')
 *
 * and gets the Filter Plan and Literal Pool that FLT1_CreateFilter (vexfilt.h) takes. The language, the
 * column types and how each type lays its values out in a record are described in vexfilt(1).
 *
 * Schemas are text ("PID int32, NAME char(16)", columns in record order, or placed with "at OFFSET") or an
 * array of VxcColumn with explicit offsets, for a record struct the host already has. Text columns hold
 * their values as the compiler expects them (a char(N) takes N+1 bytes: the value, a zero byte, then
 * bytes 0x01); VXC_PutValue writes a value so.
 *
 * Every function returns a VXC_ status and, on failure, fills the VxcError it is given (when not NULL). No
 * function exits, throws or keeps global state; a compiled plan may be used from any thread, and
 * different plans from different threads at once.
 */
#ifndef VEXCOMPILE_H_
#define VEXCOMPILE_H_

#include <stddef.h>
#include <stdint.h>

#if defined(__GNUC__) && defined(VEXCOMPILE_BUILDING_LIBRARY)
#define VEXCOMPILE_EXPORT __attribute__((visibility("default")))
#else
#define VEXCOMPILE_EXPORT
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Statuses. */
#define VXC_OK 0
#define VXC_BAD_ARGUMENT 1   /* a required pointer is NULL, or a count is negative              */
#define VXC_BAD_SCHEMA 2     /* the schema or a column cannot be read; `line` and `column` 0    */
#define VXC_BAD_OPTION 3     /* an unknown language or key column, a table name too long        */
#define VXC_BAD_PREDICATE 4  /* the predicate does not parse or cannot be compiled exactly      */
#define VXC_BAD_VALUE 5      /* a value VXC_PutValue cannot write into its column               */
#define VXC_FILE_ERROR 6     /* a plan file cannot be read or written, or is not a plan file    */
#define VXC_NO_MEMORY 7      /* the heap could not supply room                                   */
#define VXC_INTERNAL 8       /* a fault of the compiler; please report it with the predicate    */

typedef struct VxcError {
  int32_t status;     /* the status the function returned                                          */
  int32_t line;       /* 1-based line of the predicate the fault is on; 0 when no place applies    */
  int32_t column;     /* 1-based character (not byte) on that line                                  */
  char message[256];  /* what is wrong, terminated, cut short at a character if longer              */
} VxcError;

/* A column of a record the host lays out itself. */
typedef struct VxcColumn {
  const char* name;  /* letters, digits and _, matched in any case                                  */
  const char* type;  /* "int16" "uint16" "int32" "uint32" "double" "char(N)" "varchar(N)"          */
                     /* "utf8char(N)" "utf8varchar(N)" "timestamp"                                   */
  int32_t offset;    /* byte of the record the column starts at                                     */
  int32_t length;    /* bytes it takes, which must be the type's (0: the type's, not checked)       */
} VxcColumn;

typedef struct VxcOptions {
  const char* tableName;          /* up to 10 characters, shown in the library's traces; NULL "TABLE" */
  const char* language;           /* collation of UTF-8 columns: "de_DE", "sv-SE", "fr", "0x02F40002";  */
                                  /* NULL en_US                                                         */
  const char* const* keyColumns;  /* the columns that identify a row across samples, for CHANGE       */
  int32_t keyColumnCount;
} VxcOptions;

/* A compiled predicate: its plan, pool, schema and text. */
typedef struct VxcPlan VxcPlan;

/* Compiles `predicate` over the schema `schema` ("PID int32, NAME char(16)"). `options` may be NULL. */
VEXCOMPILE_EXPORT int32_t VXC_CompileText(const char* schema, const char* predicate, const VxcOptions* options,
                                          VxcPlan** plan, VxcError* error);
/* The same over `columnCount` columns at their offsets in records of `recordLength` bytes. */
VEXCOMPILE_EXPORT int32_t VXC_CompileColumns(const VxcColumn* columns, int32_t columnCount, int32_t recordLength,
                                             const char* predicate, const VxcOptions* options, VxcPlan** plan,
                                             VxcError* error);
/* Releases a plan; NULL does nothing. The bytes it gave out go with it. */
VEXCOMPILE_EXPORT void VXC_FreePlan(VxcPlan* plan);

/* The bytes to hand to FLT1_CreateFilter, valid while the plan lives. */
VEXCOMPILE_EXPORT const void* VXC_PlanBytes(const VxcPlan* plan, int16_t* length);
VEXCOMPILE_EXPORT const void* VXC_PoolBytes(const VxcPlan* plan, int16_t* length);
/* Bytes of one record, as the schema lays them out. */
VEXCOMPILE_EXPORT int32_t VXC_RecordLength(const VxcPlan* plan);

/* The schema's columns in record order: how many, and the name of column `index` (from 0), valid while
 * the plan lives; NULL for an index out of range. */
VEXCOMPILE_EXPORT int32_t VXC_ColumnCount(const VxcPlan* plan);
VEXCOMPILE_EXPORT const char* VXC_ColumnName(const VxcPlan* plan, int32_t index);
/* The column whose expected keys the plan lists (KEYS(...) IN), whose values FLT1_RetrieveRecord returns
 * for the keys a sample missed; NULL when the plan lists none. */
VEXCOMPILE_EXPORT const char* VXC_KeysColumn(const VxcPlan* plan);

/* The column of the plan's CHANGE() or PCTCHANGE() (`percent` set to 1 for the latter, when given), and
 * its key column number `index` (from 0), valid while the plan lives; NULL when the plan has none, or past
 * the last key. A program that shows the change a row matched by keeps the previous values by these keys. */
VEXCOMPILE_EXPORT const char* VXC_ChangeColumn(const VxcPlan* plan, int32_t* percent);
VEXCOMPILE_EXPORT const char* VXC_ChangeKey(const VxcPlan* plan, int32_t index);

/* Writes `value`, as text ("42", "web-0", "2024-01-15 12:30:00"), into `column` of the record of
 * `recordLength` bytes, laid out as the plan reads it. A value the column cannot hold is refused with
 * VXC_BAD_VALUE and a message that says why, and the record is left as it was. */
VEXCOMPILE_EXPORT int32_t VXC_PutValue(const VxcPlan* plan, const char* column, const char* value, void* record,
                                       int32_t recordLength, VxcError* error);
/* The same for a value of `valueLength` bytes, not terminated, as a CSV field or a network buffer holds it:
 * a byte 0 inside is part of the value, not its end. */
VEXCOMPILE_EXPORT int32_t VXC_PutValueBytes(const VxcPlan* plan, const char* column, const char* value,
                                            size_t valueLength, void* record, int32_t recordLength, VxcError* error);
/* The same for the schema's column number `index` (from 0, as VXC_ColumnName counts), without looking up a
 * name: for a program that writes many rows. On success `error` is left as it was. */
VEXCOMPILE_EXPORT int32_t VXC_PutColumnBytes(const VxcPlan* plan, int32_t index, const char* value,
                                             size_t valueLength, void* record, int32_t recordLength, VxcError* error);
/* Writes an empty record: its numbers 0, its text columns empty, its timestamps blank and every byte between
 * columns 0. A record the library returns (FLT1_RetrieveRecord) starts best from one. */
VEXCOMPILE_EXPORT int32_t VXC_ClearRecord(const VxcPlan* plan, void* record, int32_t recordLength, VxcError* error);

/* The value of `column` in the record, as text VXC_PutValue would take back, to release with
 * VXC_FreeText. */
VEXCOMPILE_EXPORT int32_t VXC_GetValue(const VxcPlan* plan, const char* column, const void* record,
                                       int32_t recordLength, char** text, VxcError* error);

/* The listing of the plan's elements (what `vexfilt --explain` prints) and its jump graph in Graphviz
 * (`vexfilt --dot`), as text to release with VXC_FreeText. */
VEXCOMPILE_EXPORT int32_t VXC_Listing(const VxcPlan* plan, char** text, VxcError* error);
VEXCOMPILE_EXPORT int32_t VXC_JumpGraph(const VxcPlan* plan, char** text, VxcError* error);
VEXCOMPILE_EXPORT void VXC_FreeText(char* text);

/* A plan kept in a file (the format `vexfilt --save-plan` writes), with its schema and predicate. */
VEXCOMPILE_EXPORT int32_t VXC_SavePlan(const VxcPlan* plan, const char* path, VxcError* error);
VEXCOMPILE_EXPORT int32_t VXC_LoadPlan(const char* path, VxcPlan** plan, VxcError* error);
/* The same file's bytes in memory, for a host that keeps plans in its own store: written into a buffer to
 * release with VXC_FreeText (not terminated; `length` bytes), and read back from one. */
VEXCOMPILE_EXPORT int32_t VXC_WritePlanBytes(const VxcPlan* plan, char** bytes, size_t* length, VxcError* error);
VEXCOMPILE_EXPORT int32_t VXC_ReadPlanBytes(const void* bytes, size_t length, VxcPlan** plan, VxcError* error);

#ifdef __cplusplus
}
#endif

#endif /* VEXCOMPILE_H_ */
