/* vexplan.h: the byte layout of a Filter Plan and a Literal Pool, and the codes they carry.
 *
 * For hosts that write plans and pools for FLT1_CreateFilter, or that inspect them. Everything here is
 * in the local form the library reads on 64-bit Linux: integers in the local byte order, characters as
 * single bytes, references 8 bytes wide. A plan or pool that comes from a machine of another data
 * representation is first converted with FLT1_TranslateFilterPlanNCS / FLT1_TranslateLiteralPoolNCS.
 *
 * The header declares types and constants only, no functions, and compiles as C99, C11 and C++. Every
 * struct is checked at compile time against the offsets below, so a struct that compiles is the layout.
 *
 * Buffers hold these records at any alignment (pool entries chain by their lengths): fill a struct and
 * copy it into the buffer with memcpy, and read one back the same way, rather than casting a pointer
 * into a buffer.
 *
 * Contents
 *   1. Compile-time checks           VXP_STATIC_CHECK
 *   2. Filter Plan                   VxpPlanHeader, VxpElement
 *   3. Literal Pool                  VxpPoolHeader, VxpLiteralEntry
 *   4. Structured literal data       VxpColumnDescriptor
 *                                    VxpSearchListHeader, VxpSearchEntry
 *                                    VxpChangeControl, VxpChangeKey, VxpChangeRecord
 *   5. Codes                         versions, plan flags, operators, function codes, data types,
 *                                    representation flags, routine slots, pool entry kinds,
 *                                    search list bits, change options and value types
 */
#ifndef VEXPLAN_H_
#define VEXPLAN_H_

#include <stddef.h>
#include <stdint.h>

/* ----------------------------------------------------------------------------------------------------- */
/* 1. Compile-time checks                                                                                */
/* ----------------------------------------------------------------------------------------------------- */

/* VXP_STATIC_CHECK(condition, name): fails to compile when `condition` is false. `name` is a unique
 * identifier that also serves as the message. C99 has no static assertion: there a false condition
 * declares an array of negative size. */
#if defined(__cplusplus)
#define VXP_STATIC_CHECK(condition, name) static_assert(condition, #name)
#elif defined(__STDC_VERSION__) && __STDC_VERSION__ >= 201112L
#define VXP_STATIC_CHECK(condition, name) _Static_assert(condition, #name)
#else
#define VXP_STATIC_CHECK(condition, name) typedef char vxp_check_##name[(condition) ? 1 : -1]
#endif

/* References in the change control block are 8 bytes: the layouts here are those of a 64-bit host. */
VXP_STATIC_CHECK(sizeof(void*) == 8, references_are_8_bytes);

/* ----------------------------------------------------------------------------------------------------- */
/* 2. Filter Plan                                                                                        */
/*    A VxpPlanHeader, then `elementCount` element records `elementLength` bytes apart. The library      */
/*    reads the first 192 bytes of each record, the VxpElement; the last record needs no more.           */
/* ----------------------------------------------------------------------------------------------------- */

typedef struct VxpPlanHeader {
  char tag[4];            /* not interpreted ("PLAN" by convention)                                      */
  int16_t version;        /* VXP_VERSION_OLDEST to VXP_VERSION_NEWEST                                    */
  int16_t totalLength;    /* bytes of the whole plan, checked against the length given to creation for   */
                          /* later versions; at least elementLength * (elementCount - 1) + 224           */
  int32_t recordLength;   /* bytes of one record of the table; 0: column reads are not bounded by it     */
  int16_t elementLength;  /* bytes from one element record to the next: exactly 192 for version 130,     */
                          /* 192 or more for later versions                                              */
  int16_t elementCount;   /* number of element records                                                   */
  char tableName[10];     /* the table's name, blank padded, no terminator                               */
  uint16_t planFlags;     /* VXP_PLAN_FLAG_ bits                                                         */
  uint32_t reserved;      /* not read                                                                    */
} VxpPlanHeader;

VXP_STATIC_CHECK(sizeof(VxpPlanHeader) == 32, plan_header_size);
VXP_STATIC_CHECK(offsetof(VxpPlanHeader, version) == 4, plan_header_version);
VXP_STATIC_CHECK(offsetof(VxpPlanHeader, totalLength) == 6, plan_header_totalLength);
VXP_STATIC_CHECK(offsetof(VxpPlanHeader, recordLength) == 8, plan_header_recordLength);
VXP_STATIC_CHECK(offsetof(VxpPlanHeader, elementLength) == 12, plan_header_elementLength);
VXP_STATIC_CHECK(offsetof(VxpPlanHeader, elementCount) == 14, plan_header_elementCount);
VXP_STATIC_CHECK(offsetof(VxpPlanHeader, tableName) == 16, plan_header_tableName);
VXP_STATIC_CHECK(offsetof(VxpPlanHeader, planFlags) == 26, plan_header_planFlags);
VXP_STATIC_CHECK(offsetof(VxpPlanHeader, reserved) == 28, plan_header_reserved);

/* One element of the plan: a condition on the record, the routine slot that evaluates it, and where
 * evaluation goes next. Evaluation starts at the first element; a routine's answer 0 (the condition holds)
 * advances by trueSkip, anything else by falseSkip; reaching the end returns the last answer. Fields that
 * the routines use as work words are rewritten in the library's copy, never in the host's plan. */
typedef struct VxpElement {
  char tag[4];                  /* not interpreted                                                       */
  int32_t compareOperator;      /* VXP_OP_ comparison, VXP_OP_FUNC or VXP_OP_LIKE                        */
  int32_t logicalOperator;      /* VXP_OP_OR or VXP_OP_AND: the connective, reported only                */
  int32_t conditionCode;        /* work word: the routine's last three-way outcome                       */
  int32_t columnOffset;         /* bytes from the record's start to the column                           */
  int32_t rightColumnOffset;    /* bytes to the second column of a column-against-column element         */
  int32_t leftResult;           /* value or work word of the left operand (function results delivered)   */
  int32_t rightResult;          /* the same for the right operand                                        */
  int32_t substringOffset;      /* bytes added to the column's position when a part of it is compared    */
  int16_t reserved36;           /* not read                                                              */
  int16_t routineSlot;          /* VXP_SLOT_: what is compared, by kind of data and of operands          */
  uint16_t elementId;           /* the element's id in traces                                            */
  uint16_t trueTargetId;        /* id of the element reached when the condition holds (traces only)      */
  uint16_t falseTargetId;       /* id of the element reached when it does not (traces only)              */
  int16_t reserved46;           /* not read                                                              */
  int16_t columnLength;         /* bytes of the column, a varying column's 2-byte length prefix included */
  int16_t dataType;             /* VXP_TYPE_ code of the column                                          */
  int16_t trueSkip;             /* elements to advance when the condition holds; 1 or more               */
  int16_t falseSkip;            /* elements to advance when it does not; 1 or more                       */
  int16_t resultTarget;         /* a function's receiving element, relative to this one (0: itself)      */
  int16_t resultOperand;        /* operand of the receiver that gets an MKTIME result: 0 left, 1 right   */
  int16_t leftScale;            /* decimals of the left operand, the low byte read as a signed count     */
  int16_t rightScale;           /* decimals of the right operand; of a LIKE: the pattern length          */
  uint16_t leftFlags;           /* VXP_REP_ bits of the left operand (the column); derived from dataType */
                                /* at creation when the low byte is 0                                    */
  uint16_t rightFlags;          /* VXP_REP_ bits of the right operand                                    */
  int16_t leftLiteralLength;    /* bytes of the left literal                                             */
  int16_t rightLiteralLength;   /* bytes of the right literal, the compared value                        */
  int16_t leftLiteralId;        /* id of the pool entry bound to the left operand                        */
  int16_t rightLiteralId;       /* id of the pool entry bound to the right operand                       */
  uint16_t alternateOperator;   /* operator of a converted column-against-column element; a work word    */
  int16_t rightDataType;        /* VXP_TYPE_ code of the second column; a work word                      */
  uint32_t functionCode;        /* VXP_FN_ code; VXP_FN_NONE for a plain comparison                      */
  char columnName[11];          /* the column's name, blank padded, no terminator                        */
  uint8_t reserved95;           /* not read                                                              */
  uint32_t referenceWords[4];   /* reserved for the library, which keeps its references outside the      */
                                /* record; write 0                                                       */
  uint8_t reserved112[80];      /* not read                                                              */
} VxpElement;

VXP_STATIC_CHECK(sizeof(VxpElement) == 192, element_size);
VXP_STATIC_CHECK(offsetof(VxpElement, compareOperator) == 4, element_compareOperator);
VXP_STATIC_CHECK(offsetof(VxpElement, logicalOperator) == 8, element_logicalOperator);
VXP_STATIC_CHECK(offsetof(VxpElement, conditionCode) == 12, element_conditionCode);
VXP_STATIC_CHECK(offsetof(VxpElement, columnOffset) == 16, element_columnOffset);
VXP_STATIC_CHECK(offsetof(VxpElement, rightColumnOffset) == 20, element_rightColumnOffset);
VXP_STATIC_CHECK(offsetof(VxpElement, leftResult) == 24, element_leftResult);
VXP_STATIC_CHECK(offsetof(VxpElement, rightResult) == 28, element_rightResult);
VXP_STATIC_CHECK(offsetof(VxpElement, substringOffset) == 32, element_substringOffset);
VXP_STATIC_CHECK(offsetof(VxpElement, reserved36) == 36, element_reserved36);
VXP_STATIC_CHECK(offsetof(VxpElement, routineSlot) == 38, element_routineSlot);
VXP_STATIC_CHECK(offsetof(VxpElement, elementId) == 40, element_elementId);
VXP_STATIC_CHECK(offsetof(VxpElement, trueTargetId) == 42, element_trueTargetId);
VXP_STATIC_CHECK(offsetof(VxpElement, falseTargetId) == 44, element_falseTargetId);
VXP_STATIC_CHECK(offsetof(VxpElement, reserved46) == 46, element_reserved46);
VXP_STATIC_CHECK(offsetof(VxpElement, columnLength) == 48, element_columnLength);
VXP_STATIC_CHECK(offsetof(VxpElement, dataType) == 50, element_dataType);
VXP_STATIC_CHECK(offsetof(VxpElement, trueSkip) == 52, element_trueSkip);
VXP_STATIC_CHECK(offsetof(VxpElement, falseSkip) == 54, element_falseSkip);
VXP_STATIC_CHECK(offsetof(VxpElement, resultTarget) == 56, element_resultTarget);
VXP_STATIC_CHECK(offsetof(VxpElement, resultOperand) == 58, element_resultOperand);
VXP_STATIC_CHECK(offsetof(VxpElement, leftScale) == 60, element_leftScale);
VXP_STATIC_CHECK(offsetof(VxpElement, rightScale) == 62, element_rightScale);
VXP_STATIC_CHECK(offsetof(VxpElement, leftFlags) == 64, element_leftFlags);
VXP_STATIC_CHECK(offsetof(VxpElement, rightFlags) == 66, element_rightFlags);
VXP_STATIC_CHECK(offsetof(VxpElement, leftLiteralLength) == 68, element_leftLiteralLength);
VXP_STATIC_CHECK(offsetof(VxpElement, rightLiteralLength) == 70, element_rightLiteralLength);
VXP_STATIC_CHECK(offsetof(VxpElement, leftLiteralId) == 72, element_leftLiteralId);
VXP_STATIC_CHECK(offsetof(VxpElement, rightLiteralId) == 74, element_rightLiteralId);
VXP_STATIC_CHECK(offsetof(VxpElement, alternateOperator) == 76, element_alternateOperator);
VXP_STATIC_CHECK(offsetof(VxpElement, rightDataType) == 78, element_rightDataType);
VXP_STATIC_CHECK(offsetof(VxpElement, functionCode) == 80, element_functionCode);
VXP_STATIC_CHECK(offsetof(VxpElement, columnName) == 84, element_columnName);
VXP_STATIC_CHECK(offsetof(VxpElement, reserved95) == 95, element_reserved95);
VXP_STATIC_CHECK(offsetof(VxpElement, referenceWords) == 96, element_referenceWords);
VXP_STATIC_CHECK(offsetof(VxpElement, reserved112) == 112, element_reserved112);

/* ----------------------------------------------------------------------------------------------------- */
/* 3. Literal Pool                                                                                       */
/*    A VxpPoolHeader, then `entryCount` entries: each a VxpLiteralEntry and its data, the next entry    */
/*    `entryLength` bytes after the start of this one. An element names an entry by its id; the          */
/*    operand then refers to the entry's data, 16 bytes after the entry's start.                         */
/* ----------------------------------------------------------------------------------------------------- */

typedef struct VxpPoolHeader {
  char tag[4];           /* not interpreted ("POOL" by convention)                                       */
  int16_t version;       /* VXP_VERSION_OLDEST to VXP_VERSION_NEWEST                                     */
  int16_t totalLength;   /* bytes of the whole pool; bounds translation, not read by creation            */
  int16_t entryCount;    /* number of literal entries                                                    */
  uint16_t reserved;     /* not read                                                                     */
  uint32_t languageId;   /* language of the table's data, (territory << 16) | language;                  */
                         /* 0 for VXP_DEFAULT_LANGUAGE_ID                                                */
} VxpPoolHeader;

VXP_STATIC_CHECK(sizeof(VxpPoolHeader) == 16, pool_header_size);
VXP_STATIC_CHECK(offsetof(VxpPoolHeader, version) == 4, pool_header_version);
VXP_STATIC_CHECK(offsetof(VxpPoolHeader, totalLength) == 6, pool_header_totalLength);
VXP_STATIC_CHECK(offsetof(VxpPoolHeader, entryCount) == 8, pool_header_entryCount);
VXP_STATIC_CHECK(offsetof(VxpPoolHeader, reserved) == 10, pool_header_reserved);
VXP_STATIC_CHECK(offsetof(VxpPoolHeader, languageId) == 12, pool_header_languageId);

typedef struct VxpLiteralEntry {
  int16_t id;               /* matched against leftLiteralId and rightLiteralId of the elements          */
  int16_t entryLength;      /* bytes from this entry's start to the next entry's; 16 or more             */
  int16_t dataLength;       /* declared bytes of the data; a change scratch record is cleared over them  */
  int16_t dataType;         /* VXP_TYPE_ code of the data                                                */
  int16_t valueLength;      /* bytes of value actually held (what translation converts)                  */
  uint16_t reserved;        /* not read                                                                  */
  int16_t kind;             /* VXP_ENTRY_ kind of the data; read by translation, not by creation, which  */
                            /* goes by what the bound element's routine reads                            */
  int16_t alternateLength;  /* reported by FLT1_GetFilter                                                */
  /* the data follows: a value, a VxpColumnDescriptor, a search list or a change control block           */
} VxpLiteralEntry;

VXP_STATIC_CHECK(sizeof(VxpLiteralEntry) == 16, literal_entry_size);
VXP_STATIC_CHECK(offsetof(VxpLiteralEntry, entryLength) == 2, literal_entry_entryLength);
VXP_STATIC_CHECK(offsetof(VxpLiteralEntry, dataLength) == 4, literal_entry_dataLength);
VXP_STATIC_CHECK(offsetof(VxpLiteralEntry, dataType) == 6, literal_entry_dataType);
VXP_STATIC_CHECK(offsetof(VxpLiteralEntry, valueLength) == 8, literal_entry_valueLength);
VXP_STATIC_CHECK(offsetof(VxpLiteralEntry, reserved) == 10, literal_entry_reserved);
VXP_STATIC_CHECK(offsetof(VxpLiteralEntry, kind) == 12, literal_entry_kind);
VXP_STATIC_CHECK(offsetof(VxpLiteralEntry, alternateLength) == 14, literal_entry_alternateLength);

/* ----------------------------------------------------------------------------------------------------- */
/* 4. Structured literal data: the data of a pool entry that is more than a value                        */
/* ----------------------------------------------------------------------------------------------------- */

/* Column descriptor: the right literal of a column-against-column element (rightFlags has
 * VXP_REP_COLUMN). It names the second column and is the routines' work space; the library writes the
 * divisors and the type at creation. The library reads the first 46 bytes; the struct is 48 because of
 * its doubles' alignment. */
typedef struct VxpColumnDescriptor {
  double rightValue;        /* work area: the right operand's value                                      */
  double rightDivisor;      /* 10 to the right scale, set at creation                                    */
  double leftValue;         /* work area: the left operand's value; the element's leftData points here   */
  double leftDivisor;       /* 10 to the left scale, set at creation                                     */
  char columnName[12];      /* the second column's name, ended by a zero byte                            */
  int16_t dataType;         /* the second column's VXP_TYPE_ code; creation writes rightDataType here    */
  uint16_t reserved46;      /* padding, not read                                                         */
} VxpColumnDescriptor;

VXP_STATIC_CHECK(sizeof(VxpColumnDescriptor) == 48, column_descriptor_size);
VXP_STATIC_CHECK(offsetof(VxpColumnDescriptor, rightDivisor) == 8, column_descriptor_rightDivisor);
VXP_STATIC_CHECK(offsetof(VxpColumnDescriptor, leftValue) == 16, column_descriptor_leftValue);
VXP_STATIC_CHECK(offsetof(VxpColumnDescriptor, leftDivisor) == 24, column_descriptor_leftDivisor);
VXP_STATIC_CHECK(offsetof(VxpColumnDescriptor, columnName) == 32, column_descriptor_columnName);
VXP_STATIC_CHECK(offsetof(VxpColumnDescriptor, dataType) == 44, column_descriptor_dataType);

/* Search list: the right literal of a search element (VXP_OP_FUNC with VXP_FN_SEARCH_LIST), in an entry
 * of kind VXP_ENTRY_SEARCH_LIST. A VxpSearchListHeader, then `entryCount` entries: each a VxpSearchEntry
 * and its key, the next entry `size` bytes after the start of this one. When the first key begins with
 * VXP_SEARCH_FILE_MARK, the rest of it names a file whose lines replace the list at creation. */
typedef struct VxpSearchListHeader {
  int16_t reserved0;        /* not read                                                                  */
  int16_t entryCount;       /* number of search entries                                                  */
  uint32_t listFlags;       /* VXP_SEARCH_LIST_ bits                                                     */
  int16_t reserved8;        /* not read                                                                  */
  int16_t dataOffset;       /* bytes into the record where FLT1_RetrieveRecord writes a key; 0 or more   */
  int16_t reserved12;       /* not read                                                                  */
  int16_t reserved14;       /* not read                                                                  */
} VxpSearchListHeader;

VXP_STATIC_CHECK(sizeof(VxpSearchListHeader) == 16, search_list_header_size);
VXP_STATIC_CHECK(offsetof(VxpSearchListHeader, entryCount) == 2, search_list_header_entryCount);
VXP_STATIC_CHECK(offsetof(VxpSearchListHeader, listFlags) == 4, search_list_header_listFlags);
VXP_STATIC_CHECK(offsetof(VxpSearchListHeader, dataOffset) == 10, search_list_header_dataOffset);

typedef struct VxpSearchEntry {
  int16_t size;             /* bytes from this entry's start to the next entry's                         */
  uint8_t matchFlags;       /* VXP_SEARCH_MATCHED once a record of the sample matched; library-set       */
  uint8_t entryType;        /* VXP_SEARCH_VARYING, VXP_SEARCH_LOCALE and one VXP_SEARCH_KIND_            */
  int16_t compareOffset;    /* bytes into the key at which the compared part begins                      */
  int16_t compareLength;    /* bytes of the compared part                                                */
  int16_t reserved8;        /* not read                                                                  */
  int16_t keyLength;        /* bytes of the key; for a varying column, these two bytes and the key are   */
                            /* the column value with its length prefix                                   */
  /* the key follows                                                                                     */
} VxpSearchEntry;

VXP_STATIC_CHECK(sizeof(VxpSearchEntry) == 12, search_entry_size);
VXP_STATIC_CHECK(offsetof(VxpSearchEntry, matchFlags) == 2, search_entry_matchFlags);
VXP_STATIC_CHECK(offsetof(VxpSearchEntry, entryType) == 3, search_entry_entryType);
VXP_STATIC_CHECK(offsetof(VxpSearchEntry, compareOffset) == 4, search_entry_compareOffset);
VXP_STATIC_CHECK(offsetof(VxpSearchEntry, compareLength) == 6, search_entry_compareLength);
VXP_STATIC_CHECK(offsetof(VxpSearchEntry, keyLength) == 10, search_entry_keyLength);

/* Change control block: the right literal of a change element (VXP_FN_CHANGE or VXP_FN_CHANGE_ALT), in
 * an entry of kind VXP_ENTRY_CHANGE_CONTROL. The host writes the options and the key description; the
 * library uses the block in place as working storage and clears its counts and references at creation.
 * `keyCount` VxpChangeKey entries follow the block, `keyStride` bytes apart. The element's left literal
 * is the scratch record, laid out as a VxpChangeRecord and at least `recordSize` bytes long. */
typedef struct VxpChangeControl {
  uint32_t options;         /* VXP_CHANGE_ option bits                                                   */
  uint32_t bytesHeld;       /* library: bytes of the cache records of this element                       */
  uint32_t recordsHeld;     /* library: number of cache records of this element                          */
  uint32_t reserved12;      /* not read                                                                  */
  int16_t keyCount;         /* number of key columns                                                     */
  int16_t keyStride;        /* bytes from one VxpChangeKey to the next                                   */
  int16_t keyLength;        /* bytes of the row key: the sum of the key columns' lengths                 */
  int16_t valueAreaLength;  /* bytes of the scratch record cleared before each use                       */
  int16_t recordSize;       /* bytes of each cache record: at least sizeof(VxpChangeRecord) + keyLength  */
  int16_t reserved26;       /* not read                                                                  */
  int16_t reserved28;       /* not read                                                                  */
  int16_t reserved30;       /* not read                                                                  */
  void* cache;              /* library: the element's change-value cache                                 */
  uint8_t reserved40[8];    /* not read                                                                  */
  void* currentRecord;      /* library: the cache record of the row being evaluated                      */
  uint8_t reserved56[8];    /* not read                                                                  */
  /* the key entries follow                                                                              */
} VxpChangeControl;

VXP_STATIC_CHECK(sizeof(VxpChangeControl) == 64, change_control_size);
VXP_STATIC_CHECK(offsetof(VxpChangeControl, bytesHeld) == 4, change_control_bytesHeld);
VXP_STATIC_CHECK(offsetof(VxpChangeControl, recordsHeld) == 8, change_control_recordsHeld);
VXP_STATIC_CHECK(offsetof(VxpChangeControl, keyCount) == 16, change_control_keyCount);
VXP_STATIC_CHECK(offsetof(VxpChangeControl, keyStride) == 18, change_control_keyStride);
VXP_STATIC_CHECK(offsetof(VxpChangeControl, keyLength) == 20, change_control_keyLength);
VXP_STATIC_CHECK(offsetof(VxpChangeControl, valueAreaLength) == 22, change_control_valueAreaLength);
VXP_STATIC_CHECK(offsetof(VxpChangeControl, recordSize) == 24, change_control_recordSize);
VXP_STATIC_CHECK(offsetof(VxpChangeControl, cache) == 32, change_control_cache);
VXP_STATIC_CHECK(offsetof(VxpChangeControl, currentRecord) == 48, change_control_currentRecord);

/* One key column of a change control block. Creation reads only columnOffset and columnLength, so a local
 * block may use a stride as small as 10 bytes; translation converts whole 32-byte entries and refuses a
 * smaller stride. */
typedef struct VxpChangeKey {
  uint32_t reserved0;       /* not read                                                                  */
  int16_t reserved4;        /* not read                                                                  */
  int16_t columnOffset;     /* bytes from the record's start to the key column                           */
  int16_t columnLength;     /* bytes of the key column                                                   */
  int16_t reserved10;       /* not read                                                                  */
  int16_t reserved12;       /* not read                                                                  */
  int16_t reserved14;       /* not read                                                                  */
  char columnName[11];      /* the key column's name, blank padded; converted by translation only        */
  char reserved27[5];       /* not read                                                                  */
} VxpChangeKey;

VXP_STATIC_CHECK(sizeof(VxpChangeKey) == 32, change_key_size);
VXP_STATIC_CHECK(offsetof(VxpChangeKey, columnOffset) == 6, change_key_columnOffset);
VXP_STATIC_CHECK(offsetof(VxpChangeKey, columnLength) == 8, change_key_columnLength);
VXP_STATIC_CHECK(offsetof(VxpChangeKey, columnName) == 16, change_key_columnName);
VXP_STATIC_CHECK(offsetof(VxpChangeKey, reserved27) == 27, change_key_reserved27);

/* A cache record of one row key, and the layout of a change element's scratch record. The default value
 * area is this header: the values and the stamps. */
typedef struct VxpChangeRecord {
  uint8_t current[8];       /* the column's bytes in the current sample (2, 4 or 8 of them)              */
  uint8_t previous[8];      /* the same from the previous sample that saw the key                        */
  uint32_t stamp;           /* sample stamp of the sample that last saw the key                          */
  uint32_t earlierStamp;    /* sample stamp of the one before                                            */
  uint8_t reserved24[8];    /* zero                                                                      */
  /* the key follows: the key columns' bytes in entry order                                              */
} VxpChangeRecord;

VXP_STATIC_CHECK(sizeof(VxpChangeRecord) == 32, change_record_size);
VXP_STATIC_CHECK(offsetof(VxpChangeRecord, previous) == 8, change_record_previous);
VXP_STATIC_CHECK(offsetof(VxpChangeRecord, stamp) == 16, change_record_stamp);
VXP_STATIC_CHECK(offsetof(VxpChangeRecord, earlierStamp) == 20, change_record_earlierStamp);

/* ----------------------------------------------------------------------------------------------------- */
/* 5. Codes                                                                                              */
/* ----------------------------------------------------------------------------------------------------- */

/* Versions of plans and pools (VxpPlanHeader.version, VxpPoolHeader.version). */
#define VXP_VERSION_OLDEST             130     /* elements exactly 192 bytes apart; no totalLength; pool */
                                               /* entries carry no kind                                  */
#define VXP_VERSION_EXTENDED           131     /* the first with totalLength, longer element records and */
                                               /* entry kinds                                            */
#define VXP_VERSION_CHANGE_CONTROL     141     /* the first pool version whose change control blocks     */
                                               /* translation converts                                   */
#define VXP_VERSION_NEWEST             21844   /* the last version accepted                              */

#define VXP_DEFAULT_LANGUAGE_ID        0x03480001u  /* en_US: 840 (United States) << 16 | 1 (English)    */

/* Plan flags (VxpPlanHeader.planFlags). */
#define VXP_PLAN_FLAG_REPORTED_FEATURES 0x0110 /* handed to the host as they are, as features            */
#define VXP_PLAN_FLAG_LOCALE_SETUP     0x0200  /* with UTF8_DATA: a locale for the pool's language id    */
#define VXP_PLAN_FLAG_UTF8_DATA        0x0400  /* elements with VXP_REP_UTF8 get locale-aware routines   */

/* Operators (VxpElement.compareOperator, logicalOperator, alternateOperator). */
#define VXP_OP_NOT                     1       /* structural; never evaluated                            */
#define VXP_OP_OR                      2       /* connective                                             */
#define VXP_OP_AND                     3       /* connective                                             */
#define VXP_OP_EQ                      4
#define VXP_OP_NE                      5
#define VXP_OP_LT                      6
#define VXP_OP_GT                      7
#define VXP_OP_LE                      8
#define VXP_OP_GE                      9
#define VXP_OP_ADD                     10      /* arithmetic; not evaluated                              */
#define VXP_OP_SUB                     11
#define VXP_OP_MUL                     12
#define VXP_OP_DIV                     13
#define VXP_OP_FUNC                    33      /* a function element: functionCode says which            */
#define VXP_OP_LIKE                    59      /* wildcard pattern: '*' any run, '?' any one character   */

/* Function codes (VxpElement.functionCode). */
#define VXP_FN_NONE                    0       /* a plain comparison                                     */
#define VXP_FN_ALWAYS                  1       /* always holds                                           */
#define VXP_FN_STRING_SEARCH           6       /* the column contains the left literal; the found flag   */
                                               /* goes to the result target                              */
#define VXP_FN_SUBSTRING               7       /* compares the part of the column at substringOffset     */
#define VXP_FN_MKTIME                  8       /* a timestamp column moved by an increment, to a target  */
#define VXP_FN_SEARCH_LIST             12      /* marks the search entries the column matches; never     */
                                               /* holds                                                  */
#define VXP_FN_REGEXP                  13      /* regular expressions: not provided, always status 5     */
#define VXP_FN_REGEXP_ALT              14
#define VXP_FN_CHANGE                  15      /* change since the previous sample, to the target; its   */
                                               /* EnableFire option follows VEX_RATE_ENABLEFIRE          */
#define VXP_FN_CHANGE_ALT              16      /* the same, with the block's own EnableFire option       */

/* Bytes of the length before a varying value's characters, in the machine's byte order; a varying column's
 * columnLength counts them, so it holds at most columnLength - VXP_LENGTH_PREFIX_BYTES characters. */
#define VXP_LENGTH_PREFIX_BYTES        2

/* Data types (VxpElement.dataType and rightDataType, VxpLiteralEntry.dataType). An odd code above
 * VXP_TYPE_NULLABLE_ABOVE is the nullable form of the even code below it; lower codes have none. */
#define VXP_TYPE_NULLABLE_ABOVE        383
#define VXP_TYPE_VARCHAR               448     /* characters after a 2-byte length prefix                */
#define VXP_TYPE_VARCHAR_NULLABLE      449
#define VXP_TYPE_CHAR                  452     /* fixed-length characters, blank padded                  */
#define VXP_TYPE_CHAR_NULLABLE         453
#define VXP_TYPE_DOUBLE                480     /* 8-byte IEEE floating point                             */
#define VXP_TYPE_DOUBLE_NULLABLE       481
#define VXP_TYPE_LONG                  496     /* 4-byte signed integer                                  */
#define VXP_TYPE_LONG_NULLABLE         497
#define VXP_TYPE_SHORT                 500     /* 2-byte signed integer                                  */
#define VXP_TYPE_SHORT_NULLABLE        501
#define VXP_TYPE_DOUBLE_ALT            1000    /* 8-byte IEEE floating point                             */
#define VXP_TYPE_DOUBLE_ALT_NULLABLE   1001
#define VXP_TYPE_ULONG                 1006    /* 4-byte unsigned integer                                */
#define VXP_TYPE_ULONG_NULLABLE        1007
#define VXP_TYPE_UTF8_VARCHAR          1018    /* UTF-8 after a 2-byte length prefix; locale-aware       */
#define VXP_TYPE_UTF8_VARCHAR_NULLABLE 1019
#define VXP_TYPE_UTF8_CHAR             1022    /* fixed-length UTF-8, blank padded; locale-aware         */
#define VXP_TYPE_UTF8_CHAR_NULLABLE    1023
#define VXP_TYPE_USHORT                2       /* 2-byte unsigned integer                                */

/* Further data types, which no routine compares: FLT1_TranslateLiteralPoolNCS converts values of them as
 * said here, and FLT1_GetFilter's trace shows VXP_TYPE_LONG_TEXT and VXP_TYPE_TEXT values as text. */
#define VXP_TYPE_BYTES                 0       /* single bytes, converted one by one                     */
#define VXP_TYPE_BYTES_ALT             3       /* the same                                               */
#define VXP_TYPE_WORDS                 4       /* 4-byte integers                                        */
#define VXP_TYPE_LONG_TEXT             456     /* text, converted in 4-byte units                        */
#define VXP_TYPE_LONG_TEXT_NULLABLE    457
#define VXP_TYPE_TEXT                  460     /* text, converted character by character                 */
#define VXP_TYPE_TEXT_NULLABLE         461

/* Representation flags of an operand (VxpElement.leftFlags, rightFlags). */
#define VXP_REP_NULLABLE               0x0001  /* the type is nullable (an odd code)                     */
#define VXP_REP_SHORT                  0x0002  /* 2-byte integer                                         */
#define VXP_REP_LONG                   0x0004  /* 4-byte integer                                         */
#define VXP_REP_DOUBLE                 0x0008  /* 8-byte floating point                                  */
#define VXP_REP_UTF8                   0x0010  /* UTF-8 characters, compared locale-aware                */
#define VXP_REP_CHAR                   0x0020  /* single-byte characters                                 */
#define VXP_REP_VARYING                0x0040  /* after a 2-byte length prefix                           */
#define VXP_REP_UNSIGNED               0x0080  /* an unsigned integer                                    */
#define VXP_REP_MIXED                  0x0100  /* operands differ in representation: numeric conversion  */
#define VXP_REP_COLUMN                 0x0200  /* (right) a second column, named by a column descriptor  */
#define VXP_REP_SCALED                 0x0400  /* scales differ, or characters meet a number: as doubles */
#define VXP_REP_PATTERN_LENGTH_GIVEN   0x0800  /* (right) rightScale holds the LIKE pattern length       */
#define VXP_REP_OWNED_LITERAL          0x1000  /* library: the operand's buffer is the Filter's; cleared */
                                               /* at creation                                            */
#define VXP_REP_NAME_NORMALISED        0x2000  /* (left) functionCode and columnName are in the form     */
                                               /* above; otherwise creation re-derives them from bytes   */
                                               /* 80 to 84                                               */
#define VXP_REP_SUBSTITUTION           0x2000  /* (right) a regular-expression element's substitution    */
                                               /* form                                                   */
#define VXP_REP_ALTERNATE_LENGTH       0x8000  /* (right) with PATTERN_LENGTH_GIVEN: FLT1_GetFilter      */
                                               /* reports a VXP_FN_ALWAYS element's literal by its       */
                                               /* entry's alternateLength                                */

/* Routine slots (VxpElement.routineSlot): a kind of data, plus what is compared. The library moves the
 * slot of an element with VXP_REP_UTF8 by VXP_SLOT_LOCALE_SHIFT in a plan with VXP_PLAN_FLAG_UTF8_DATA,
 * and gives a column-against-column element of mixed representations 1 plus its left column's kind. */
#define VXP_SLOT_KIND_CHAR             0       /* kinds of data                                          */
#define VXP_SLOT_KIND_VARCHAR          5
#define VXP_SLOT_KIND_LONG             10
#define VXP_SLOT_KIND_SHORT            15
#define VXP_SLOT_KIND_DOUBLE           20
#define VXP_SLOT_COL_LIT               0       /* column with a literal; added to a kind                 */
#define VXP_SLOT_COL_COL               1       /* column with another column                             */
#define VXP_SLOT_COL_RESULT            2       /* numeric column with another element's result           */
#define VXP_SLOT_RESULT_RESULT         3       /* numeric result with another result                     */
#define VXP_SLOT_RESULT_LIT            4       /* numeric result with a literal                          */
#define VXP_SLOT_CHAR_RESULT_LIT       3       /* character function result (MKTIME's) with a literal    */
#define VXP_SLOT_DOUBLE_RESULT_LIT     24      /* floating-point result with a literal: never holds      */
#define VXP_SLOT_FUNCTION              0       /* a VXP_OP_FUNC or VXP_FN_ALWAYS element: the one routine */
                                               /* of its table                                           */
#define VXP_SLOT_LOCALE_SHIFT          25      /* from a character slot to its locale-aware one          */
#define VXP_SLOT_COUNT                 36      /* slots 0 to 35                                          */

/* Kinds of pool entry (VxpLiteralEntry.kind). */
#define VXP_ENTRY_VALUE                0       /* a plain value (0 or less)                              */
#define VXP_ENTRY_SEARCH_LIST          1       /* a search list                                          */
#define VXP_ENTRY_CHANGE_CONTROL       2       /* a change control block                                 */

/* Search lists: list flags (VxpSearchListHeader.listFlags), match flags (VxpSearchEntry.matchFlags) and
 * entry types (VxpSearchEntry.entryType). The kind bits are tested in the order listed. */
#define VXP_SEARCH_LIST_CONTINUE_AFTER_MATCH 0x8 /* a record goes on to later entries after a match      */
#define VXP_SEARCH_MATCHED             0x80    /* a record of the current sample matched the entry       */
#define VXP_SEARCH_VARYING             0x80    /* the column has a 2-byte length prefix                  */
#define VXP_SEARCH_LOCALE              0x10    /* the comparison is locale-aware                         */
#define VXP_SEARCH_KIND_MASK           0x0F
#define VXP_SEARCH_KIND_LITERAL        0x00    /* no bit: the column equals the key                      */
#define VXP_SEARCH_KIND_SUBSTRING      0x08    /* or PREFIX|ANY: the compared part occurs in the column  */
#define VXP_SEARCH_KIND_PREFIX         0x04    /* the column begins with the compared part               */
#define VXP_SEARCH_KIND_PATTERN        0x01    /* the column matches the compared part as a LIKE pattern */
#define VXP_SEARCH_KIND_ANY            0x02    /* alone: every column matches                            */
#define VXP_SEARCH_FILE_MARK           '@'     /* first byte of a first key naming a search list file    */

/* Change control blocks: options (VxpChangeControl.options), and the value types a change element reads
 * (the low byte of its leftFlags). */
#define VXP_CHANGE_ENABLE_FIRE         0x0400  /* a new key delivers its value itself                    */
#define VXP_CHANGE_PERCENT             0x4000  /* the change in percent of the previous value            */
#define VXP_CHANGE_VALUE_SHORT         0x02    /* 2-byte signed integer                                  */
#define VXP_CHANGE_VALUE_USHORT        0x82    /* 2-byte unsigned integer                                */
#define VXP_CHANGE_VALUE_LONG          0x04    /* 4-byte signed integer                                  */
#define VXP_CHANGE_VALUE_ULONG         0x84    /* 4-byte unsigned integer                                */
#define VXP_CHANGE_VALUE_DOUBLE        0x08    /* 8-byte floating point                                  */

#endif /* VEXPLAN_H_ */
