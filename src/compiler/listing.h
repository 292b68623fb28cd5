// The compiled plan for people: a listing of its elements (--explain) and its jump graph (--dot). Each line
// joins what the plan itself says (ids, skips, routine slots) with what the library reports about the
// predicate through FLT1_GetFilter (column, comparison, value).
#ifndef VEXFILT_COMPILER_LISTING_H_
#define VEXFILT_COMPILER_LISTING_H_

#include <cstdio>

#include "predicate.h"
#include "schema.h"

namespace vexfilt::cli {

// Both return 0, or 2 after printing on `err` why the plan could not be read or created.
int Explain(const CompiledPlan& compiled, const Schema& schema, std::FILE* out, std::FILE* err);
int Dot(const CompiledPlan& compiled, const Schema& schema, std::FILE* out, std::FILE* err);

}  // namespace vexfilt::cli

#endif  // VEXFILT_COMPILER_LISTING_H_
