// The predicate language and its compilation into a Filter Plan and a Literal Pool.
//
//   CPU > 90 AND (NAME LIKE 'db*' OR NOT STATE = 'RUN') AND CHANGE(IO) > 100 AND KEYS(NAME) IN ('a', 'b')
#ifndef VEXFILT_TOOLS_VEXFILT_PREDICATE_H_
#define VEXFILT_TOOLS_VEXFILT_PREDICATE_H_

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

  // The message, the predicate and a caret under `position`.
  std::string Render(std::string_view predicate) const;
};

// What an element does, for people reading the plan.
struct ElementNote {
  std::string operation;
  std::string column;
  std::string literal;
};

struct CompiledPlan {
  std::vector<std::uint8_t> plan;
  std::vector<std::uint8_t> pool;
  std::vector<ElementNote> notes;  // one per element
  const Field* keysField = nullptr;  // the column of the expected keys, when there are some
};

struct CompileOptions {
  std::string tableName = "TABLE";
  std::vector<std::string> keyColumns;  // what identifies a row across samples, for CHANGE
};

std::optional<CompiledPlan> CompilePredicate(std::string_view predicate, const Schema& schema,
                                             const CompileOptions& options, CompileError* error);

}  // namespace vexfilt::cli

#endif  // VEXFILT_TOOLS_VEXFILT_PREDICATE_H_
