// What the benchmarks share: timing a piece of work, the median of timings,
// reading a numeric option off the command line and running the SQLite
// side's statements.
#pragma once

#include <sqlite3.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace bench {

// Wall-clock seconds that f takes.
template <class F>
double Seconds(F&& f) {
  const auto start = std::chrono::steady_clock::now();
  f();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// The median of some timings (the upper one of the middle two of an even count).
inline double Median(std::vector<double> seconds) {
  if (seconds.empty()) return 0;
  std::nth_element(seconds.begin(), seconds.begin() + seconds.size() / 2, seconds.end());
  return seconds[seconds.size() / 2];
}

// The number after name, or fallback. The pair is taken out of argv so that
// what remains can go on to another parser.
inline size_t TakeOption(int& argc, char** argv, const char* name, size_t fallback) {
  for (int i = 1; i + 1 < argc; ++i) {
    if (std::strcmp(argv[i], name) != 0) continue;
    const size_t value = std::strtoul(argv[i + 1], nullptr, 10);
    for (int j = i; j + 2 <= argc; ++j) argv[j] = argv[j + 2];
    argc -= 2;
    return value;
  }
  return fallback;
}

// A prepared statement of the SQLite side; a benchmark whose own SQL does not
// prepare has nothing to measure, so it ends there.
inline sqlite3_stmt* Prepare(sqlite3* db, const std::string& sql) {
  sqlite3_stmt* s = nullptr;
  if (sqlite3_prepare_v2(db, sql.c_str(), -1, &s, nullptr) != SQLITE_OK) {
    std::fprintf(stderr, "sqlite: %s\n", sqlite3_errmsg(db));
    std::exit(1);
  }
  return s;
}

// SQL of the SQLite side that returns no rows; one that fails ends the
// benchmark, as a statement that does not prepare does.
inline void Exec(sqlite3* db, const std::string& sql) {
  char* error = nullptr;
  if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &error) != SQLITE_OK) {
    std::fprintf(stderr, "sqlite: %s\n", error != nullptr ? error : sqlite3_errmsg(db));
    std::exit(1);
  }
}

// Steps a statement to its end, reading every column as text as the program
// reads its fields, and resets it; the rows stepped. bytes grows by the text
// read.
inline size_t ReadAll(sqlite3_stmt* s, size_t& bytes) {
  size_t rows = 0;
  while (sqlite3_step(s) == SQLITE_ROW) {
    ++rows;
    for (int c = 0, n = sqlite3_column_count(s); c < n; ++c) {
      sqlite3_column_text(s, c);
      bytes += size_t(sqlite3_column_bytes(s, c));
    }
  }
  sqlite3_reset(s);
  return rows;
}

// ReadAll of a query of its own.
inline size_t ReadQuery(sqlite3* db, const std::string& sql, size_t& bytes) {
  sqlite3_stmt* s = Prepare(db, sql);
  const size_t rows = ReadAll(s, bytes);
  sqlite3_finalize(s);
  return rows;
}

}  // namespace bench
