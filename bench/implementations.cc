#include "implementations.h"

#include <pcap/pcap.h>  // bpf.h, with the BSD integer types it relies on

#include <algorithm>
#include <stdexcept>
#include <string>

#include "bpf_programs.h"
#include "vexfilt.h"

namespace vexfilt::bench {
namespace {

// The Filter of `p` over the table.
FilterHandle CreateFilter(Predicate p, const TableSet& set) {
  const PlanAndPool built = BuildPlan(p, set.table);
  FilterHandle handle{};
  if (FLT1_CreateFilter(0, built.plan.data(), static_cast<std::int16_t>(built.plan.size()), built.pool.data(),
                        static_cast<std::int16_t>(built.pool.size()), &handle) != 0) {
    throw std::runtime_error(std::string("FLT1_CreateFilter failed for ") + NameOf(p));
  }
  return handle;
}

class LibraryCounter final : public RecordCounter {
 public:
  LibraryCounter(Predicate p, const TableSet& set) : table_(set.table), handle_(CreateFilter(p, set)) {}
  ~LibraryCounter() override { FLT1_DestroyFilter(handle_); }
  std::int64_t Count(std::size_t first, std::size_t last) override {
    // Locals, so that the call in the loop cannot make the compiler reload them.
    const std::uint8_t* const end = table_.record(last);
    const FilterHandle handle = handle_;
    std::int64_t passed = 0;
    for (const std::uint8_t* r = table_.record(first); r != end; r += kRecordLength)
      passed += FLT1_FilterRecord(handle, 0, r) == 0;
    return passed;
  }

 private:
  const ProcessTable& table_;
  FilterHandle handle_{};
};

// FLT1_FilterRecords over batches of the table, counting the statuses of 0.
class BatchCounter final : public RecordCounter {
 public:
  BatchCounter(Predicate p, const TableSet& set)
      : table_(set.table), statuses_(kBatchRecords), handle_(CreateFilter(p, set)) {}
  ~BatchCounter() override { FLT1_DestroyFilter(handle_); }
  std::int64_t Count(std::size_t first, std::size_t last) override {
    std::int64_t passed = 0;
    std::int32_t* const statuses = statuses_.data();
    for (std::size_t at = first; at < last; at += kBatchRecords) {
      const auto count = static_cast<std::int32_t>(std::min(kBatchRecords, last - at));
      FLT1_FilterRecords(handle_, 0, table_.record(at), kRecordLength, count, statuses);
      for (std::int32_t i = 0; i < count; ++i) passed += statuses[i] == 0;
    }
    return passed;
  }

 private:
  // A batch a data server would hand over: its statuses stay in the first-level cache.
  static constexpr std::size_t kBatchRecords = 1024;
  const ProcessTable& table_;
  std::vector<std::int32_t> statuses_;
  FilterHandle handle_{};
};

template <class Matches>
class HandCounter final : public RecordCounter {
 public:
  HandCounter(const ProcessTable& table, Matches matches) : table_(table), matches_(matches) {}
  std::int64_t Count(std::size_t first, std::size_t last) override {
    const std::uint8_t* const end = table_.record(last);
    std::int64_t passed = 0;
    for (const std::uint8_t* r = table_.record(first); r != end; r += kRecordLength) passed += matches_(r);
    return passed;
  }

 private:
  const ProcessTable& table_;
  Matches matches_;
};

template <class Matches>
std::unique_ptr<RecordCounter> Hand(const ProcessTable& table, Matches matches) {
  return std::make_unique<HandCounter<Matches>>(table, matches);
}

class SqliteCounter final : public RecordCounter {
 public:
  SqliteCounter(Predicate p, const TableSet& set) : query_(set.sql, SqlConditionOf(p, set.table)) {}
  std::int64_t Count(std::size_t, std::size_t) override { return query_.Count(); }

 private:
  SqliteTable::Query query_;
};

class BpfCounter final : public RecordCounter {
 public:
  BpfCounter(Predicate p, const TableSet& set) : bytes_(set.bigEndian), program_(BpfProgramOf(p, set.table)) {}
  std::int64_t Count(std::size_t first, std::size_t last) override {
    const bpf_insn* const program = program_.data();
    const std::uint8_t* const end = bytes_.data() + last * kRecordLength;
    std::int64_t passed = 0;
    for (const std::uint8_t* r = bytes_.data() + first * kRecordLength; r != end; r += kRecordLength)
      passed += bpf_filter(program, r, kRecordLength, kRecordLength) != 0;
    return passed;
  }

 private:
  const std::vector<std::uint8_t>& bytes_;
  std::vector<bpf_insn> program_;
};

}  // namespace

TableSet::TableSet(std::size_t records)
    : table(MakeProcessTable(records)), bigEndian(BigEndianCopy(table)), sql(table) {}

const char* NameOf(Impl impl) {
  switch (impl) {
    case Impl::kVexFilt: return "VexFilt";
    case Impl::kBatch: return "batch";
    case Impl::kHand: return "hand";
    case Impl::kSqlite: return "SQLite";
    case Impl::kLibpcap: return "libpcap";
  }
  return "?";
}

std::unique_ptr<RecordCounter> MakeCounter(Impl impl, Predicate p, const TableSet& set) {
  switch (impl) {
    case Impl::kVexFilt: return std::make_unique<LibraryCounter>(p, set);
    case Impl::kBatch: return std::make_unique<BatchCounter>(p, set);
    case Impl::kSqlite: return std::make_unique<SqliteCounter>(p, set);
    case Impl::kLibpcap: return std::make_unique<BpfCounter>(p, set);
    case Impl::kHand: break;
  }
  switch (p) {
    case Predicate::kP1: return Hand(set.table, [](const std::uint8_t* r) { return HandPredicates::P1(r); });
    case Predicate::kP2: return Hand(set.table, [](const std::uint8_t* r) { return HandPredicates::P2(r); });
    case Predicate::kP3: return Hand(set.table, [](const std::uint8_t* r) { return HandPredicates::P3(r); });
    case Predicate::kP4: return Hand(set.table, [pids = WantedPids(set.table)](const std::uint8_t* r) {
        return HandPredicates{pids}.P4(r);
      });
    case Predicate::kP5:
    case Predicate::kP6: return Hand(set.table, [](const std::uint8_t* r) { return HandPredicates::P5(r); });
    case Predicate::kP7: return Hand(set.table, [](const std::uint8_t* r) { return HandPredicates::P7(r); });
  }
  return nullptr;
}

}  // namespace vexfilt::bench
