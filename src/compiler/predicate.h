// The predicate language and its compilation into a Filter Plan and a Literal Pool.
//
//   CPU > 90 AND (NAME LIKE 'db*' OR NOT STATE = 'RUN') AND CHANGE(IO) > 100 AND KEYS(NAME) IN ('a', 'b')
//   SUBSTR(NAME, 1, 3) = 'web'   NAME CONTAINS 'eb'   PCTCHANGE(IO) >= 50
//   MKTIME(START, '+90M') < '2024-01-15 12:00:00'   STOP > MKTIME(START, '-1D')
//
// Conditions are compiled into a jump list: AND and OR short-circuit through the true and false skips, NOT
// exchanges its operand's targets. Logic is two-valued: a comparison whose function gives no value (a key's
// first sample, a timestamp MKTIME cannot read) is false, and NOT makes it true.
#ifndef VEXFILT_COMPILER_PREDICATE_H_
#define VEXFILT_COMPILER_PREDICATE_H_

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "schema.h"

namespace vexfilt::cli {

struct CompileError {
  std::string message;
  int position = -1;  // byte in the predicate the error points at; -1 for none

  // The 1-based line of `position` and its 1-based character on that line (UTF-8 continuation bytes take
  // none); both 0 when the error points nowhere.
  struct Place {
    int line = 0, column = 0;
  };
  Place PlaceIn(std::string_view predicate) const;
};

// The bytes FLT1_CreateFilter is given.
struct CompiledPlan {
  std::vector<std::uint8_t> plan;
  std::vector<std::uint8_t> pool;
};

struct CompileOptions {
  std::string tableName = "TABLE";
  std::vector<std::string> keyColumns;  // what identifies a row across samples, for CHANGE
  std::uint32_t languageId = 0;         // of the UTF-8 columns' collation; 0 is en_US
};

std::optional<CompiledPlan> CompilePredicate(std::string_view predicate, const Schema& schema,
                                             const CompileOptions& options, CompileError* error);

// The column of the plan's expected keys (its search element), or null when it has none.
const Field* KeysField(const CompiledPlan& compiled, const Schema& schema);

}  // namespace vexfilt::cli

#endif  // VEXFILT_COMPILER_PREDICATE_H_
