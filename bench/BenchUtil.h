// What the benchmarks share: timing a piece of work, the median of timings,
// reading a numeric option off the command line, running the SQLite side's
// statements with every step checked, and comparing what both sides stored.
#pragma once

#include <sqlite3.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "DictModel.h"
#include "ServerFile.h"

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

// Ends the benchmark with a line that says what failed.
[[noreturn]] inline void Fail(const std::string& what) {
  std::fprintf(stderr, "%s\n", what.c_str());
  std::exit(1);
}

// A connection of the SQLite side, opened as the server opens its own:
// without SQLite's locking for use from several threads, which a
// single-threaded program does not need.
inline sqlite3* Open(const std::string& path) {
  sqlite3* db = nullptr;
  if (sqlite3_open_v2(path.c_str(), &db,
                      SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX,
                      nullptr) != SQLITE_OK)
    Fail("sqlite: cannot open " + path + ": " + sqlite3_errmsg(db));
  return db;
}

// A prepared statement of the SQLite side; a benchmark whose own SQL does not
// prepare has nothing to measure, so it ends there.
inline sqlite3_stmt* Prepare(sqlite3* db, const std::string& sql) {
  sqlite3_stmt* s = nullptr;
  if (sqlite3_prepare_v2(db, sql.c_str(), -1, &s, nullptr) != SQLITE_OK)
    Fail(std::string("sqlite: ") + sqlite3_errmsg(db));
  return s;
}

// SQL of the SQLite side that returns no rows; one that fails ends the
// benchmark, as a statement that does not prepare does.
inline void Exec(sqlite3* db, const std::string& sql) {
  char* error = nullptr;
  if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &error) != SQLITE_OK)
    Fail(std::string("sqlite: ") + (error != nullptr ? error : sqlite3_errmsg(db)));
}

// One step of a statement of the SQLite side: true for a row, false at its
// end; any other result ends the benchmark, as a failed statement of the
// program ends its run.
inline bool Step(sqlite3_stmt* s) {
  const int rc = sqlite3_step(s);
  if (rc == SQLITE_ROW) return true;
  if (rc != SQLITE_DONE) Fail(std::string("sqlite: ") + sqlite3_errmsg(sqlite3_db_handle(s)));
  return false;
}

// Runs a statement that returns no rows to its end and resets it.
inline void Run(sqlite3_stmt* s) {
  if (Step(s)) Fail(std::string("sqlite: a row from ") + sqlite3_sql(s));
  sqlite3_reset(s);
}

// The first difference between the program's stored result and the SQLite
// side's, each a list of rows as text, or empty when they are the same.
inline std::string FirstDifference(const std::vector<std::string>& program,
                                   const std::vector<std::string>& raw) {
  const size_t n = std::min(program.size(), raw.size());
  for (size_t i = 0; i < n; ++i)
    if (program[i] != raw[i])
      return "row " + std::to_string(i + 1) + ": the program's \"" + program[i] +
             "\", SQLite's \"" + raw[i] + "\"";
  if (program.size() == raw.size()) return "";
  return "the program's " + std::to_string(program.size()) + " rows, SQLite's " +
         std::to_string(raw.size());
}

// Compares the two sides' results of what; a difference prints a line and
// makes same false, so that the benchmark fails after printing its figures.
inline void Compare(const std::string& what, const std::vector<std::string>& program,
                    const std::vector<std::string>& raw, bool& same) {
  const std::string difference = FirstDifference(program, raw);
  if (difference.empty()) return;
  std::fprintf(stderr, "DIFFERENT: %s: %s\n", what.c_str(), difference.c_str());
  same = false;
}

// A record type of a database in a server file: its table and its
// dictionary entry, as the server reads them.
struct ServerRecord {
  int32_t dbId = 0;
  int index = 0;  // the record's index in its dictionary
  std::string table;
  qordb::RecordModel rec;

  // A field's position; a field the dictionary lacks ends the benchmark.
  int Field(const char* name) const {
    const int p = rec.FieldByName(name);
    if (p < 0) Fail(std::string("bench: no field ") + name + " in " + rec.name);
    return p;
  }
  const qordb::FieldModel& FieldModel(const char* name) const {
    return rec.fields[size_t(Field(name))];
  }
};

inline ServerRecord FindRecord(sqlite3* db, const std::string& database, const char* record) {
  sqlite3_stmt* s = Prepare(db, "SELECT dbid FROM qor_database WHERE name = ?1");
  sqlite3_bind_text(s, 1, database.c_str(), -1, SQLITE_TRANSIENT);
  if (!Step(s)) Fail("bench: no database " + database + " in the server file");
  const int32_t dbId = sqlite3_column_int(s, 0);
  sqlite3_finalize(s);
  const std::vector<char> image = qordb::LoadImage(db, dbId);
  const qordb::DictModel dict = qordb::DictModel::Parse(image.data(), image.size());
  const int r = dict.RecordByName(record);
  if (r < 0) Fail("bench: no record " + std::string(record) + " in " + database);
  return {dbId, r, qordb::RecordTableName(dbId, r), dict.records[size_t(r)]};
}

// The rows of a table in the server's layout in insertion order, each the
// texts of the given fields of its image (every data field when none are
// given) as the client reads them, tab-separated. The texts are the image's
// bytes but for what the server's normalising zeroes, so an image stored
// otherwise says so; so does one with anything in a field of clear (fields
// that nothing may have set).
inline std::vector<std::string> ImageRows(sqlite3* db, const std::string& table,
                                          const qordb::RecordModel& rec,
                                          std::vector<int> fields = {},
                                          const std::vector<int>& clear = {}) {
  if (fields.empty())
    for (size_t p = 0; p < rec.fields.size(); ++p)
      if (rec.fields[p].IsData()) fields.push_back(int(p));
  sqlite3_stmt* s = Prepare(db, "SELECT img FROM " + table + " ORDER BY rid");
  std::vector<std::string> rows;
  std::vector<char> normal(size_t(rec.imageLength));
  while (Step(s)) {
    if (sqlite3_column_bytes(s, 0) != rec.imageLength) Fail("bench: a short image in " + table);
    const char* img = static_cast<const char*>(sqlite3_column_blob(s, 0));
    std::string& row = rows.emplace_back();
    for (size_t i = 0; i < fields.size(); ++i) {
      if (i > 0) row += '\t';
      row += qordb::FieldText(rec.fields[size_t(fields[i])], img);
    }
    qordb::NormaliseImage(rec, img, normal.data());
    if (std::memcmp(img, normal.data(), normal.size()) != 0) row += "\t(stored not normalised)";
    for (int p : clear) {
      const qordb::FieldModel& f = rec.fields[size_t(p)];
      if (std::any_of(img + f.offset, img + f.offset + f.length, [](char c) { return c != 0; }))
        row += "\t(" + f.name + " set)";
    }
  }
  sqlite3_finalize(s);
  return rows;
}

// A page-for-page copy of the server file at path, made through SQLite and
// synced, so that a raw side working on the copy meets the same tables and
// indexes, page for page, and the same values as the program meets in the
// server file. Returns the copy's path.
inline std::string CopyServerFile(const std::string& path) {
  const std::string copy = path + ".raw";
  sqlite3 *from = nullptr, *to = nullptr;
  bool copied = sqlite3_open_v2(path.c_str(), &from, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK &&
                sqlite3_open(copy.c_str(), &to) == SQLITE_OK;
  if (copied) {
    sqlite3_backup* backup = sqlite3_backup_init(to, "main", from, "main");
    copied = backup && sqlite3_backup_step(backup, -1) == SQLITE_DONE;
    copied = sqlite3_backup_finish(backup) == SQLITE_OK && copied;
  }
  sqlite3_close(from);
  sqlite3_close(to);
  if (!copied) Fail("bench: the server file could not be copied");
  return copy;
}

}  // namespace bench
