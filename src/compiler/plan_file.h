// Compiled plans kept in a file, so that a predicate is compiled once and run many times:
//
//   VEXFILT PLAN 3
//   schema PID int32, NAME char(16)
//   predicate CPU > 90
//   plan 416
//   <416 bytes, the Filter Plan as FLT1_CreateFilter takes it>
//   pool 120
//   <120 bytes, the Literal Pool>
//
// Each byte block is followed by a newline. The schema travels with the plan because the plan's column
// offsets only mean something with the record layout they were compiled for.
#ifndef VEXFILT_COMPILER_PLAN_FILE_H_
#define VEXFILT_COMPILER_PLAN_FILE_H_

#include <string>
#include <string_view>

#include <optional>

#include "predicate.h"
#include "schema.h"

namespace vexfilt::cli {

struct SavedPlan {
  std::string schema;     // as Schema::Text writes it
  std::string predicate;  // the text it was compiled from, on one line
  CompiledPlan compiled;
};

std::string EncodePlanFile(const SavedPlan& saved);
// False with `error` set when `bytes` are not a whole plan file.
bool DecodePlanFile(std::string_view bytes, SavedPlan* saved, std::string* error);

// A plan file's plan and the schema it was compiled for, which must lay records out as long as the plan reads
// them. Nullopt with `error` set otherwise.
struct OpenedPlan {
  SavedPlan saved;
  Schema schema;
};
std::optional<OpenedPlan> OpenPlanFile(std::string_view bytes, std::string* error);

}  // namespace vexfilt::cli

#endif  // VEXFILT_COMPILER_PLAN_FILE_H_
