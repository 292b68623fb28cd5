// What the SQLite oracles of the vexfilt language share: an in-memory database, quoting, random draws, the
// nesting of predicates, and the run's seed and size from the environment.
#ifndef VEXFILT_TESTS_SQL_ORACLE_H_
#define VEXFILT_TESTS_SQL_ORACLE_H_

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <cstdlib>
#include <random>
#include <string>
#include <vector>

namespace vexfilt::testing {

inline std::string Quoted(const std::string& text) { return "'" + text + "'"; }

// VEXFILT_ORACLE_SEED and VEXFILT_ORACLE_PREDICATES give a longer run with another seed.
inline unsigned FromEnvironment(const char* name, unsigned otherwise) {
  const char* value = std::getenv(name);
  return value != nullptr && *value != '\0' ? static_cast<unsigned>(std::strtoul(value, nullptr, 10)) : otherwise;
}

// The draws of a run, from its seed.
class Draws {
 public:
  explicit Draws(unsigned seed) : engine_(seed) {}
  int Below(int n) { return std::uniform_int_distribution<int>(0, n - 1)(engine_); }
  bool OneIn(int n) { return Below(n) == 0; }
  template <typename T, std::size_t N>
  const T& Of(const T (&items)[N]) {
    return items[Below(static_cast<int>(N))];
  }

 private:
  std::mt19937 engine_;
};

// A predicate in both languages.
struct Predicate {
  std::string vexfilt, sql;
};

// NOT, AND and OR nested up to `depth` deep over the predicates `leaf` draws.
template <typename Leaf>
Predicate Nested(Draws& random, int depth, Leaf&& leaf) {
  if (depth == 0 || random.OneIn(3)) return leaf();
  if (random.Below(3) == 0) {
    const Predicate inner = Nested(random, depth - 1, leaf);
    return {"NOT (" + inner.vexfilt + ")", "NOT (" + inner.sql + ")"};
  }
  const char* connective = random.OneIn(2) ? " AND " : " OR ";
  const Predicate a = Nested(random, depth - 1, leaf);
  const Predicate b = Nested(random, depth - 1, leaf);
  return {"(" + a.vexfilt + ")" + connective + "(" + b.vexfilt + ")", "(" + a.sql + ")" + connective + "(" + b.sql + ")"};
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
