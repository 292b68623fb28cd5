// A small host: compiles "CPU > 90 AND THREADS <= 64 AND STATE = 'RUN'" over a table of processes into a plan and a pool,
// creates a Filter through the C interface, and prints which of a handful of records pass.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

#include "plan/plan_builder.h"
#include "vexfilt.h"

namespace {

using vexfilt::plan::Column;
using vexfilt::plan::PlanBuilder;
using vexfilt::plan::PoolBuilder;

// Record layout of the PROCESS table: a 16-byte name, CPU percentage (4-byte integer), threads (2-byte),
// a 4-byte state.
struct Process {
  const char* name;
  std::int32_t cpu;
  std::int16_t threads;
  const char* state;
};
constexpr int kNameOffset = 0, kCpuOffset = 16, kThreadsOffset = 20, kStateOffset = 22, kRecordLength = 26;

std::vector<std::uint8_t> RecordOf(const Process& process) {
  std::vector<std::uint8_t> record(kRecordLength, ' ');
  std::memcpy(record.data() + kNameOffset, process.name, std::strlen(process.name));
  std::memcpy(record.data() + kCpuOffset, &process.cpu, sizeof process.cpu);
  std::memcpy(record.data() + kThreadsOffset, &process.threads, sizeof process.threads);
  std::memcpy(record.data() + kStateOffset, process.state, std::strlen(process.state));
  return record;
}

}  // namespace

int main() {
  PoolBuilder pool;
  PlanBuilder plan("PROCESS");
  plan.RecordLength(kRecordLength).AllOf();
  plan.Compare(Column::Long("CPU", kCpuOffset), vexfilt::op::kGT, pool.Long(90));
  plan.Compare(Column::Short("THREADS", kThreadsOffset), vexfilt::op::kLE, pool.Short(64));
  plan.Compare(Column::Char("STATE", kStateOffset, 4), vexfilt::op::kEQ, pool.Char("RUN", 4));
  const std::vector<std::uint8_t> planBytes = plan.Build();
  const std::vector<std::uint8_t> poolBytes = pool.Build();

  FilterHandle handle{};
  const std::int32_t status = FLT1_CreateFilter(0, planBytes.data(), static_cast<std::int16_t>(planBytes.size()),
                                                poolBytes.data(), static_cast<std::int16_t>(poolBytes.size()), &handle);
  if (status != 0) {
    std::printf("FLT1_CreateFilter failed with status %d\n", status);
    return 1;
  }
  std::printf("Filter %d: CPU > 90 AND THREADS <= 64 AND STATE = 'RUN'\n", handle.sequence);

  const Process sample[] = {
      {"db-writer", 97, 48, "RUN"}, {"log-rotate", 12, 1, "RUN"}, {"indexer", 93, 200, "RUN"},
      {"web-0", 91, 64, "RUN"},     {"cache", 95, 16, "WAIT"},     {"backup", 90, 8, "RUN"},
  };
  FLT1_BeginSample(handle);
  int passed = 0;
  for (const Process& process : sample) {
    const std::vector<std::uint8_t> record = RecordOf(process);
    const bool keep = FLT1_FilterRecord(handle, 0, record.data()) == 0;
    passed += keep;
    std::printf("  %-12s cpu=%3d threads=%4d state=%-4s %s\n", process.name, process.cpu, process.threads,
                process.state, keep ? "pass" : "-");
  }
  std::uint32_t sampleResult = 0;
  FLT1_EndSample(handle, &sampleResult);
  std::printf("%d of %zu records pass\n", passed, sizeof sample / sizeof sample[0]);
  FLT1_DestroyFilter(handle);
  return 0;
}
