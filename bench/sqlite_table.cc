#include "sqlite_table.h"

#include <sqlite3.h>

#include <stdexcept>

namespace vexfilt::bench {
namespace {

void Check(sqlite3* db, int rc, const char* what) {
  if (rc != SQLITE_OK && rc != SQLITE_DONE && rc != SQLITE_ROW) {
    throw std::runtime_error(std::string(what) + ": " + sqlite3_errmsg(db));
  }
}

}  // namespace

SqliteTable::SqliteTable(const ProcessTable& table) {
  Check(db_, sqlite3_open(":memory:", &db_), "sqlite3_open");
  Execute("CREATE TABLE process(cpu INTEGER, prio INTEGER, mem REAL, name TEXT COLLATE RTRIM, pid INTEGER, "
          "user TEXT COLLATE RTRIM)");
  Execute("BEGIN");
  sqlite3_stmt* insert = nullptr;
  Check(db_, sqlite3_prepare_v2(db_, "INSERT INTO process VALUES(?, ?, ?, ?, ?, ?)", -1, &insert, nullptr), "prepare");
  for (std::size_t i = 0; i < table.size(); ++i) {
    const std::uint8_t* r = table.record(i);
    const auto userLength = Read<std::uint16_t>(r, kUserOffset);
    sqlite3_bind_int(insert, 1, Read<std::int32_t>(r, kCpuOffset));
    sqlite3_bind_int(insert, 2, Read<std::uint16_t>(r, kPrioOffset));
    sqlite3_bind_double(insert, 3, Read<double>(r, kMemOffset));
    sqlite3_bind_text(insert, 4, reinterpret_cast<const char*>(r + kNameOffset), kNameLength, SQLITE_STATIC);
    sqlite3_bind_int(insert, 5, Read<std::int32_t>(r, kPidOffset));
    sqlite3_bind_text(insert, 6, reinterpret_cast<const char*>(r + kUserOffset + 2), userLength, SQLITE_STATIC);
    Check(db_, sqlite3_step(insert), "insert");
    sqlite3_reset(insert);
  }
  sqlite3_finalize(insert);
  Execute("COMMIT");
}

SqliteTable::~SqliteTable() { sqlite3_close(db_); }

void SqliteTable::Execute(const char* sql) { Check(db_, sqlite3_exec(db_, sql, nullptr, nullptr, nullptr), sql); }

SqliteTable::Query::Query(const SqliteTable& table, const std::string& condition) {
  const std::string sql = "SELECT count(*) FROM process WHERE " + condition;
  Check(table.db_, sqlite3_prepare_v2(table.db_, sql.c_str(), -1, &statement_, nullptr), sql.c_str());
}

SqliteTable::Query::~Query() { sqlite3_finalize(statement_); }

std::int64_t SqliteTable::Query::Count() {
  std::int64_t count = -1;
  if (sqlite3_step(statement_) == SQLITE_ROW) count = sqlite3_column_int64(statement_, 0);
  sqlite3_reset(statement_);
  return count;
}

}  // namespace vexfilt::bench
