// Reading a compiled Filter Plan and Literal Pool back: the elements as evaluation walks them, the routine
// family creation binds each one to, and the literal entries they refer to. Nothing here calls the library.
#ifndef VEXFILT_COMPILER_PLAN_VIEW_H_
#define VEXFILT_COMPILER_PLAN_VIEW_H_

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/filter.h"
#include "core/plan_format.h"

namespace vexfilt::cli {

// Where evaluation goes after an element when it leaves the plan: after a true skip the record passes,
// after a false skip it fails (the last routine's status is the verdict).
inline constexpr int kPass = -1;
inline constexpr int kFail = -2;

struct PlanElementView {
  std::size_t index = 0;
  VxpElement record{};  // the 192 bytes of the plan
  std::string column;      // the name without its padding
  std::int16_t slot = 0;   // the slot creation binds, locale-aware shift and mixed columns included
  std::string routine;     // the family's trace name, e.g. ColGTLit
  int onTrue = kPass;      // index of the next element, or kPass / kFail
  int onFalse = kFail;
};

struct PlanView {
  PlanHeader header{};
  std::vector<PlanElementView> elements;
};

// Reads the plan's header and elements; nullopt with `error` set when the bytes cannot be a plan.
std::optional<PlanView> ReadPlan(const std::vector<std::uint8_t>& plan, std::string* error);

// The routine family that creation binds for this operator, function code and (final) slot, named as its
// traced form names itself; "?" for a cell the library leaves empty.
std::string RoutineName(std::int32_t op, std::uint32_t function, std::int16_t slot);

// The data of the pool entry with `id` (the last one when several share it, as creation binds them), or
// an empty view when there is none.
std::string_view PoolData(const std::vector<std::uint8_t>& pool, std::int16_t id);
std::uint32_t PoolLanguageId(const std::vector<std::uint8_t>& pool);

// What a change control block says: PCTCHANGE rather than CHANGE, and the names of its key columns.
struct ChangeControlView {
  bool percent = false;
  std::vector<std::string> keys;
};
ChangeControlView ReadChangeControl(std::string_view control);

// The plan's change element (CHANGE or PCTCHANGE; a plan the compiler writes holds at most one): its
// column and control block; nullopt when it has none.
struct ChangeUse {
  std::string column;
  ChangeControlView control;
};
std::optional<ChangeUse> ChangeOf(const std::vector<std::uint8_t>& plan, const std::vector<std::uint8_t>& pool);

}  // namespace vexfilt::cli

#endif  // VEXFILT_COMPILER_PLAN_VIEW_H_
