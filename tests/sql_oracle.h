// What the SQLite oracles of the vexfilt language share: an in-memory database, quoting, and the run's
// seed and size from the environment.
#ifndef VEXFILT_TESTS_SQL_ORACLE_H_
#define VEXFILT_TESTS_SQL_ORACLE_H_

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace vexfilt::testing {

inline std::string Quoted(const std::string& text) { return "'" + text + "'"; }

// VEXFILT_ORACLE_SEED and VEXFILT_ORACLE_PREDICATES give a longer run with another seed.
inline unsigned FromEnvironment(const char* name, unsigned otherwise) {
  const char* value = std::getenv(name);
  return value != nullptr && *value != '\0' ? static_cast<unsigned>(std::strtoul(value, nullptr, 10)) : otherwise;
}

struct Database {
  sqlite3* db = nullptr;
  Database() { EXPECT_EQ(sqlite3_open(":memory:", &db), SQLITE_OK); }
  ~Database() { sqlite3_close(db); }
  Database(const Database&) = delete;
  Database& operator=(const Database&) = delete;

  void Execute(const std::string& sql) {
    char* message = nullptr;
    EXPECT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &message), SQLITE_OK) << sql << ": " << (message ? message : "");
    sqlite3_free(message);
  }
  // The first column of every row of `query`, as text.
  std::vector<std::string> Column(const std::string& query) {
    std::vector<std::string> values;
    sqlite3_stmt* statement = nullptr;
    EXPECT_EQ(sqlite3_prepare_v2(db, query.c_str(), -1, &statement, nullptr), SQLITE_OK) << query << ": " << sqlite3_errmsg(db);
    while (statement != nullptr && sqlite3_step(statement) == SQLITE_ROW) {
      const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(statement, 0));
      values.push_back(text != nullptr ? text : "");
    }
    sqlite3_finalize(statement);
    return values;
  }
};

}  // namespace vexfilt::testing

#endif  // VEXFILT_TESTS_SQL_ORACLE_H_
