// The predicate compiler from arbitrary text, through its C interface: nothing may crash, leak or throw,
// and every plan it compiles must be one the library accepts (FLT1_CreateFilter status 0), lists and
// evaluates without a fault, over records written as the schema lays them out and over raw bytes.
//
// Input: one byte choosing the schema (one of three fixed ones covering every type, or the text up to the
// first newline), one byte choosing the options, then the predicate up to a zero byte; what follows the
// zero byte fills a record's bytes and gives the text values written into the others.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_input.h"
#include "guarded_bytes.h"
#include "schema.h"
#include "vexcompile.h"
#include "vexfilt.h"

namespace {

using vexfilt::testing::GuardedBytes;

constexpr const char* kSchemas[] = {
    "PID int32, NAME char(8), STATE varchar(6), CPU int16, PORT uint16, IO uint32, LOAD double",
    "CITY utf8char(8), NOTE utf8varchar(10), START timestamp, STOP timestamp, ID int32",
    "K char(4) at 2, V varchar(4) at 12, X int32 at 24, W uint32 at 28, D double at 32, record 48",
};

[[noreturn]] void Finding(const char* what, const std::string& detail) {
  std::fprintf(stderr, "compile_fuzz: %s: %s\n", what, detail.c_str());
  std::abort();
}

// Every column of `schema` given a value taken from `values` (one per line, cycled), as a host writes them.
void PutValues(const VxcPlan* plan, const vexfilt::cli::Schema& schema, std::string_view values,
               std::vector<std::uint8_t>& record) {
  std::size_t at = 0;
  for (const auto& field : schema.fields()) {
    std::string value;
    if (!values.empty()) {
      const std::size_t end = values.find('\n', at);
      value = std::string(values.substr(at, end == std::string_view::npos ? std::string_view::npos : end - at));
      at = end == std::string_view::npos || end + 1 >= values.size() ? 0 : end + 1;
    }
    VxcError error;
    // A value the column cannot hold is refused and leaves the record as it was.
    VXC_PutValueBytes(plan, field.name.c_str(), value.data(), value.size(), record.data(),
                      static_cast<std::int32_t>(record.size()), &error);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  vexfilt::fuzzing::SilenceTraces();
  if (size < 2) return 0;
  const std::string_view input(reinterpret_cast<const char*>(data) + 2, size - 2);
  const std::size_t zero = input.find('\0');
  std::string predicate(input.substr(0, zero));
  const std::string_view tail = zero == std::string_view::npos ? std::string_view() : input.substr(zero + 1);

  std::string schemaText;
  const unsigned choice = data[0] % 4;
  if (choice < 3) {
    schemaText = kSchemas[choice];
  } else {
    const std::size_t newline = predicate.find('\n');
    schemaText = predicate.substr(0, newline);
    predicate = newline == std::string::npos ? std::string() : predicate.substr(newline + 1);
  }
  const char* keys[] = {"NAME", "K", "ID"};
  const VxcOptions options{(data[1] & 1) ? "FUZZTABLE" : nullptr, (data[1] & 2) ? "de_DE" : nullptr, keys,
                           (data[1] & 4) ? 1 + (data[1] >> 3) % 2 : 0};

  VxcPlan* plan = nullptr;
  VxcError error;
  const std::int32_t status = VXC_CompileText(schemaText.c_str(), predicate.c_str(), &options, &plan, &error);
  if (status != VXC_OK) {
    if (plan != nullptr) Finding("a failed compile returned a plan", predicate);
    if (status == VXC_INTERNAL || status == VXC_NO_MEMORY) Finding(error.message, predicate);
    return 0;
  }
  std::string parseError;
  const auto schema = vexfilt::cli::Schema::Parse(schemaText, &parseError);
  if (!schema) Finding("a compiled plan's schema does not parse", parseError);

  std::int16_t planLength = 0, poolLength = 0;
  const void* planBytes = VXC_PlanBytes(plan, &planLength);
  const void* poolBytes = VXC_PoolBytes(plan, &poolLength);
  FilterHandle handle{};
  const std::int32_t created = FLT1_CreateFilter(0, planBytes, planLength, poolBytes, poolLength, &handle);
  if (created != 0) Finding("the library refused a compiled plan", "status " + std::to_string(created) + ": " + predicate);

  char* text = nullptr;
  if (VXC_Listing(plan, &text, &error) != VXC_OK) Finding("a compiled plan cannot be listed", error.message);
  VXC_FreeText(text);
  if (VXC_JumpGraph(plan, &text, &error) != VXC_OK) Finding("a compiled plan cannot be drawn", error.message);
  VXC_FreeText(text);

  // Kept as a plan file's bytes and read back, the plan is the same plan.
  char* fileBytes = nullptr;
  std::size_t fileLength = 0;
  if (VXC_WritePlanBytes(plan, &fileBytes, &fileLength, &error) != VXC_OK) Finding("a plan cannot be kept", error.message);
  VxcPlan* reread = nullptr;
  if (VXC_ReadPlanBytes(fileBytes, fileLength, &reread, &error) != VXC_OK) Finding("a kept plan cannot be read", error.message);
  std::int16_t rereadLength = 0;
  const void* rereadBytes = VXC_PlanBytes(reread, &rereadLength);
  if (rereadLength != planLength || std::memcmp(rereadBytes, planBytes, static_cast<std::size_t>(planLength)) != 0 ||
      VXC_RecordLength(reread) != VXC_RecordLength(plan)) {
    Finding("a kept plan reads back otherwise", predicate);
  }
  VXC_FreePlan(reread);
  VXC_FreeText(fileBytes);
  // Whatever bytes are given as a plan file are read or refused.
  if (VXC_ReadPlanBytes(tail.data(), tail.size(), &reread, &error) == VXC_OK) VXC_FreePlan(reread);

  // Two samples: records as a host writes them, then raw bytes, each ending where a readable page ends.
  std::vector<std::uint8_t> written(static_cast<std::size_t>(VXC_RecordLength(plan)));
  VXC_ClearRecord(plan, written.data(), static_cast<std::int32_t>(written.size()), &error);
  PutValues(plan, *schema, tail, written);
  std::vector<std::uint8_t> raw(static_cast<std::size_t>(VXC_RecordLength(plan)), 0);
  for (std::size_t i = 0; i < raw.size() && !tail.empty(); ++i) raw[i] = static_cast<std::uint8_t>(tail[i % tail.size()]);
  for (int sample = 0; sample < 2; ++sample) {
    FLT1_BeginSample(handle);
    for (const auto* bytes : {&written, &raw, &written}) {
      const GuardedBytes record(*bytes);
      FLT1_FilterRecord(handle, 0, record.data());
    }
    std::uint32_t result = 0;
    FLT1_EndSample(handle, &result);
    std::vector<std::uint8_t> buffer(raw.size() + 8);
    for (int n = 0; n < 64; ++n) {
      auto length = static_cast<std::uint32_t>(buffer.size());
      if (FLT1_RetrieveRecord(handle, buffer.data(), &length) != 0) break;
    }
  }
  FLT1_DestroyFilter(handle);
  VXC_FreePlan(plan);
  return 0;
}
