// The process table in an in-memory SQLite database, counted with SELECT count(*) ... WHERE, as a host
// that keeps its rows in SQLite would filter them.
#ifndef VEXFILT_BENCH_SQLITE_TABLE_H_
#define VEXFILT_BENCH_SQLITE_TABLE_H_

#include <cstdint>
#include <string>

#include "process_table.h"

struct sqlite3;
struct sqlite3_stmt;

namespace vexfilt::bench {

class SqliteTable {
 public:
  // Loads every record of `table` into process(cpu, prio, mem, name, pid, user). NAME keeps its blanks and
  // USER its value; both collate RTRIM, SQLite's blank-padded comparison.
  explicit SqliteTable(const ProcessTable& table);
  ~SqliteTable();
  SqliteTable(const SqliteTable&) = delete;
  SqliteTable& operator=(const SqliteTable&) = delete;

  // A prepared SELECT count(*) FROM process WHERE `condition`.
  class Query {
   public:
    Query(const SqliteTable& table, const std::string& condition);
    ~Query();
    Query(const Query&) = delete;
    Query& operator=(const Query&) = delete;
    std::int64_t Count();

   private:
    sqlite3_stmt* statement_ = nullptr;
  };

 private:
  void Execute(const char* sql);
  sqlite3* db_ = nullptr;
};

}  // namespace vexfilt::bench

#endif  // VEXFILT_BENCH_SQLITE_TABLE_H_
