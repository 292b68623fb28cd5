#include "filter/evaluate.h"

#include <algorithm>
#include <cstring>

#include "routines/byte_strings.h"
#include "routines/dispatch_tables.h"

namespace vexfilt {

std::int32_t WalkSteps(const Filter& filter, const std::uint8_t* record) {
  const Step* step = filter.steps;
  FilterElement* element = filter.elements;
  // Steps after the current one. Creation proved every skip to be at least 1 (PrepareElement refuses any
  // other), so evaluation only moves forward, and a skip beyond the steps still ahead ends it.
  int ahead = filter.elementCount - 1;
  if (ahead < 0) return 0;
  for (;;) {
    // Whatever the last step answers is the record's status: called last, as a jump, its routine returns
    // straight to the host, which saves a call and a return per record that gets this far.
    if (ahead == 0) return step->routine(*element, record);
    const std::int32_t status = step->routine(*element, record);
    const int skip = status == 0 ? step->trueSkip : step->falseSkip;
    if (skip > ahead) return status;
    ahead -= skip;
    step += skip;
    element += skip;
  }
}

namespace {

// Records a batch hands to its steps at a time: a bit for each in a step's waiting set.
constexpr int kChunkRecords = 256;
constexpr int kChunkWords = kChunkRecords / 64;

// The walk of `count` (at most kChunkRecords) records, step by step: each step, in order, runs its loop over
// the records waiting for it, in ascending order, and sends each on to the step its answer leads to, or
// decides it. Skips lead only forward, so a record waits for a step only while the steps before it run.
void StepsOverChunk(const Filter& filter, const std::uint8_t* records, std::size_t stride, std::int32_t count,
                    std::int32_t* statuses) {
  const int steps = filter.elementCount;
  std::uint64_t waiting[kLongestStepsOverBatches][kChunkWords];
  std::memset(waiting, 0, sizeof waiting[0] * static_cast<std::size_t>(steps));
  for (std::int32_t r = 0; r < count; ++r) waiting[0][r / 64] |= std::uint64_t{1} << (r % 64);
  std::int32_t selection[kChunkRecords];
  std::int32_t answers[kChunkRecords];
  for (int k = 0; k < steps; ++k) {
    std::int32_t selected = 0;
    for (int w = 0; w < kChunkWords; ++w) {
      for (std::uint64_t bits = waiting[k][w]; bits != 0; bits &= bits - 1) selection[selected++] = w * 64 + __builtin_ctzll(bits);
    }
    if (selected == 0) continue;
    const Step& step = filter.steps[k];
    FilterElement& element = filter.elements[k];
    if (step.batch != nullptr) {
      step.batch(element, records, stride, selection, selected, answers);
    } else {
      // A prefix pattern modified into one its routines do not hold keeps the matcher, which has no loop.
      for (std::int32_t j = 0; j < selected; ++j) answers[j] = step.routine(element, records + static_cast<std::size_t>(selection[j]) * stride);
    }
    const int ahead = steps - 1 - k;
    for (std::int32_t j = 0; j < selected; ++j) {
      const std::int32_t r = selection[j];
      const int skip = answers[j] == 0 ? step.trueSkip : step.falseSkip;
      if (skip > ahead) {
        statuses[r] = answers[j];
      } else {
        waiting[k + skip][r / 64] |= std::uint64_t{1} << (r % 64);
      }
    }
  }
}

}  // namespace

bool StepsRunOverBatches(const Filter& filter) {
  const int steps = filter.elementCount;
  if (steps < 2 || steps > kLongestStepsOverBatches) return false;
  bool insideChain[kLongestStepsOverBatches] = {};
  for (int k = 0; k < steps; ++k) {
    const Step& step = filter.steps[k];
    if (step.batch == nullptr) return false;
    for (int m = 1; m < step.members && k + m < steps; ++m) insideChain[k + m] = true;
  }
  // A member's own skips count only if something leads to it. A number's compare writes no work field, so
  // its step may be led to as well.
  const auto writesWorkFields = [&](int k) {
    const Family family = filter.facts[k].cell->family;
    return family != Family::kLongLiteral && family != Family::kShortLiteral && family != Family::kDoubleLiteral;
  };
  for (int k = 0; k < steps; ++k) {
    if (insideChain[k] && writesWorkFields(k)) continue;
    for (const int skip : {filter.steps[k].trueSkip, filter.steps[k].falseSkip}) {
      if (k + skip < steps && insideChain[k + skip] && writesWorkFields(k + skip)) return false;
    }
  }
  return true;
}

void EvaluateRecords(const Filter& filter, const std::uint8_t* records, std::size_t stride, std::int32_t count,
                     std::int32_t* statuses) {
  if (filter.firstElementDecides) {
    const Step& step = *filter.steps;
    if (step.batch != nullptr) return step.batch(*filter.elements, records, stride, nullptr, count, statuses);
    for (std::int32_t i = 0; i < count; ++i) statuses[i] = step.routine(*filter.elements, records + i * stride);
    return;
  }
  // The matcher's traced calls must appear record by record, as the walk makes them.
  if (filter.stepsRunOverBatches && !ComparePatternTracesCalls()) {
    for (std::int32_t at = 0; at < count; at += kChunkRecords) {
      StepsOverChunk(filter, records + static_cast<std::size_t>(at) * stride, stride, std::min(kChunkRecords, count - at), statuses + at);
    }
    return;
  }
  for (std::int32_t i = 0; i < count; ++i) statuses[i] = WalkSteps(filter, records + i * stride);
}

}  // namespace vexfilt
