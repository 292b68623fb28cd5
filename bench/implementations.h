// The implementations compared: the library a record at a time and in batches, a hand-written loop, SQLite
// and libpcap's BPF interpreter,
// each ready to count the records of a table that satisfy one predicate.
#ifndef VEXFILT_BENCH_IMPLEMENTATIONS_H_
#define VEXFILT_BENCH_IMPLEMENTATIONS_H_

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "process_table.h"
#include "sqlite_table.h"

namespace vexfilt::bench {

// One table size with everything each implementation reads: the records, their big-endian copy and the
// same rows in SQLite.
struct TableSet {
  explicit TableSet(std::size_t records);
  ProcessTable table;
  std::vector<std::uint8_t> bigEndian;
  SqliteTable sql;
};

enum class Impl { kVexFilt, kBatch, kHand, kSqlite, kLibpcap };
inline constexpr std::array<Impl, 5> kImpls = {Impl::kVexFilt, Impl::kBatch, Impl::kHand, Impl::kSqlite, Impl::kLibpcap};
const char* NameOf(Impl impl);

// Counts the records in [first, last) that satisfy the predicate. Everything the count needs (a Filter, a
// prepared statement, a program) is made when the counter is; SQLite always counts its whole table.
class RecordCounter {
 public:
  virtual ~RecordCounter() = default;
  virtual std::int64_t Count(std::size_t first, std::size_t last) = 0;
};

std::unique_ptr<RecordCounter> MakeCounter(Impl impl, Predicate p, const TableSet& set);

}  // namespace vexfilt::bench

#endif  // VEXFILT_BENCH_IMPLEMENTATIONS_H_
