#include "ServerFile.h"

#include <algorithm>
#include <cstring>

#include "BufferRegistry.h"
#include "FileLocks.h"
#include "ServerAdmin.h"

namespace qordb {

int StatusOf(int rc) {
  switch (rc & 0xff) {
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
      return kBusy;
    case SQLITE_CONSTRAINT:
      return kDuplicate;
    case SQLITE_NOMEM:
      return kNoMemory;
    default:
      return kEngineFailure;
  }
}

Stmt::Stmt(sqlite3* db, const std::string& sql, bool persistent) {
  int rc = sqlite3_prepare_v3(db, sql.c_str(), static_cast<int>(sql.size()), persistent ? SQLITE_PREPARE_PERSISTENT : 0,
                              &s_, nullptr);
  if (rc != SQLITE_OK) {
    sqlite3_finalize(s_);
    s_ = nullptr;
    throw StatusError{StatusOf(rc)};
  }
}

Stmt::~Stmt() { sqlite3_finalize(s_); }

Stmt& Stmt::operator=(Stmt&& o) noexcept {
  if (this != &o) {
    sqlite3_finalize(s_);
    s_ = o.s_;
    o.s_ = nullptr;
  }
  return *this;
}

bool StepRow(sqlite3_stmt* s) {
  int rc = sqlite3_step(s);
  if (rc == SQLITE_ROW) return true;
  if (rc == SQLITE_DONE) return false;
  throw StatusError{StatusOf(rc)};
}

void Exec(sqlite3* db, const char* sql) {
  int rc = sqlite3_exec(db, sql, nullptr, nullptr, nullptr);
  if (rc != SQLITE_OK) throw StatusError{StatusOf(rc)};
}

namespace {

// When the library is loaded, before anything in the process opens a
// database. SQLite counts the memory it holds under a global mutex on every
// allocation, and a call of the server allocates often; nothing here reads
// the count. Only possible before SQLite's first use in the process (the
// server is its only user in the programs); afterwards this changes nothing,
// and its refusal tells that SQLite may have files open already.
const bool g_sqliteReady = [] {
  KeepLocksOnOwnDescriptions(sqlite3_config(SQLITE_CONFIG_MEMSTATUS, 0) != SQLITE_OK);
  return true;
}();

}  // namespace

sqlite3* OpenServerFile(const std::string& path, bool create) {
  sqlite3* db = nullptr;
  int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX | (create ? SQLITE_OPEN_CREATE : 0);
  int rc = sqlite3_open_v2(path.c_str(), &db, flags, nullptr);
  if (rc != SQLITE_OK) {
    sqlite3_close(db);
    throw StatusError{kNoService};
  }
  try {
    sqlite3_busy_timeout(db, 5000);
    sqlite3_extended_result_codes(db, 0);
    if (!create) {
      // A file that is not a server (or not a database at all) is no service,
      // and is refused before anything below could write to it: switching
      // the journal mode would turn an empty file into a database.
      Stmt check(db,
                 "SELECT count(*) FROM sqlite_master WHERE name IN ('qor_param','qor_database')");
      StmtUse use(check.get());
      if (!use.Step() || sqlite3_column_int(check.get(), 0) != 2) throw StatusError{kNoService};
    }
    Exec(db, "PRAGMA journal_mode=WAL");
    // FULL syncs the log at every commit, so a commit survives a power cut,
    // not only a killed process.
    Exec(db, "PRAGMA synchronous=FULL");
    if (create) {
      Exec(db,
           "CREATE TABLE qor_param(name TEXT PRIMARY KEY, value TEXT NOT NULL);"
           "CREATE TABLE qor_database(dbid INTEGER PRIMARY KEY, name TEXT NOT NULL UNIQUE, "
           "image BLOB NOT NULL);");
    }
  } catch (const StatusError& e) {
    sqlite3_close(db);
    throw StatusError{e.status == kEngineFailure ? kNoService : e.status};
  }
  return db;
}

std::string RecordTableName(int32_t dbId, int recordIndex) {
  return "t" + std::to_string(dbId) + "_" + std::to_string(recordIndex);
}

void CreateRecordTable(sqlite3* db, int32_t dbId, int r, const RecordModel& rec) {
  const std::string t = RecordTableName(dbId, r);
  std::string sql = "CREATE TABLE " + t + "(rid INTEGER PRIMARY KEY AUTOINCREMENT, img BLOB NOT NULL";
  int columns = 0;
  for (int c : rec.keyColumn) columns = std::max(columns, c + 1);
  for (int c = 0; c < columns; ++c) sql += ", k" + std::to_string(c);
  sql += ")";
  Exec(db, sql.c_str());
  for (size_t p = 0; p < rec.fields.size(); ++p) {
    std::vector<int> parts = rec.KeyParts(static_cast<int>(p));
    if (parts.empty()) continue;
    std::string idx = std::string(rec.fields[p].keyKind == 'u' ? "CREATE UNIQUE INDEX " : "CREATE INDEX ") + "i" +
                      t.substr(1) + "_" + std::to_string(p) + " ON " + t + "(";
    for (size_t i = 0; i < parts.size(); ++i) idx += (i ? ", k" : "k") + std::to_string(rec.keyColumn[parts[i]]);
    idx += ")";
    Exec(db, idx.c_str());
  }
}

void BindKeyPart(sqlite3_stmt* s, int index, const FieldModel& f, const char* image) {
  const char* p = image + f.offset;
  int rc;
  switch (f.type) {
    case 'c':
      if (f.length == 1) {
        rc = sqlite3_bind_int(s, index, static_cast<uint8_t>(p[0]));
      } else {
        // Character keys compare as bytes up to the NUL.
        const void* nul = std::memchr(p, 0, f.length);
        int n = nul ? static_cast<int>(static_cast<const char*>(nul) - p) : f.length;
        rc = sqlite3_bind_blob(s, index, p, n, SQLITE_STATIC);
      }
      break;
    case 's':
    case 'i':
    case 'l':
    case 'd':
      rc = sqlite3_bind_int64(s, index, FieldInteger(f, image));
      break;
    case 'f': {
      float v;
      std::memcpy(&v, p, 4);
      rc = sqlite3_bind_double(s, index, v);
      break;
    }
    case 'F': {
      double v;
      std::memcpy(&v, p, 8);
      rc = sqlite3_bind_double(s, index, v);
      break;
    }
    default:
      rc = sqlite3_bind_blob(s, index, p, f.length, SQLITE_STATIC);
      break;
  }
  if (rc != SQLITE_OK) throw StatusError{StatusOf(rc)};
}

namespace {

// A key value, its kinds in the order SQLite sorts them. Images give no
// text; a stored column may hold one.
struct KeyValue {
  enum Kind { kNull, kNumber, kText, kBytes } kind = kNull;
  bool integral = false;
  int64_t i = 0;
  double d = 0;
  const char* p = nullptr;
  size_t n = 0;
};

KeyValue ValueOf(const FieldModel& f, const char* image) {
  KeyValue v;
  const char* p = image + f.offset;
  switch (f.type) {
    case 'c':
      if (f.length == 1) {
        v.kind = KeyValue::kNumber;
        v.integral = true;
        v.i = static_cast<uint8_t>(p[0]);
      } else {
        const void* nul = std::memchr(p, 0, f.length);
        v.kind = KeyValue::kBytes;
        v.p = p;
        v.n = nul ? static_cast<const char*>(nul) - p : f.length;
      }
      break;
    case 's':
    case 'i':
    case 'l':
    case 'd':
      v.kind = KeyValue::kNumber;
      v.integral = true;
      v.i = FieldInteger(f, image);
      break;
    case 'f':
    case 'F': {
      if (f.type == 'f') {
        float x;
        std::memcpy(&x, p, 4);
        v.d = x;
      } else {
        std::memcpy(&v.d, p, 8);
      }
      // NaN is stored as NULL, which sorts first.
      v.kind = v.d == v.d ? KeyValue::kNumber : KeyValue::kNull;
      break;
    }
    default:
      v.kind = KeyValue::kBytes;
      v.p = p;
      v.n = f.length;
      break;
  }
  return v;
}

// A stored column's value as the index holds it.
KeyValue ValueOf(sqlite3_stmt* row, int column) {
  KeyValue v;
  sqlite3_value* stored = sqlite3_column_value(row, column);
  switch (sqlite3_value_type(stored)) {
    case SQLITE_INTEGER:
      v.kind = KeyValue::kNumber;
      v.integral = true;
      v.i = sqlite3_value_int64(stored);
      break;
    case SQLITE_FLOAT:
      v.kind = KeyValue::kNumber;
      v.d = sqlite3_value_double(stored);
      break;
    case SQLITE_TEXT:
      v.kind = KeyValue::kText;
      v.p = reinterpret_cast<const char*>(sqlite3_value_text(stored));
      v.n = static_cast<size_t>(sqlite3_value_bytes(stored));
      break;
    case SQLITE_BLOB:
      v.kind = KeyValue::kBytes;
      v.p = static_cast<const char*>(sqlite3_value_blob(stored));
      v.n = static_cast<size_t>(sqlite3_value_bytes(stored));
      if (!v.p) v.p = "";  // the empty blob
      break;
    default:
      break;
  }
  return v;
}

// An integer against a double exactly, as SQLite compares them: a 64-bit
// integer need not convert to a double unchanged.
int CompareIntReal(int64_t i, double r) {
  if (r < -9223372036854775808.0) return 1;
  if (r >= 9223372036854775808.0) return -1;
  const int64_t y = static_cast<int64_t>(r);
  if (i != y) return i < y ? -1 : 1;
  const double s = static_cast<double>(i);
  return s < r ? -1 : s > r ? 1 : 0;
}

int Compare(const KeyValue& a, const KeyValue& b) {
  if (a.kind != b.kind) return a.kind < b.kind ? -1 : 1;
  switch (a.kind) {
    case KeyValue::kNull:
      return 0;
    case KeyValue::kNumber:
      if (a.integral && b.integral) return a.i < b.i ? -1 : a.i > b.i ? 1 : 0;
      if (a.integral) return CompareIntReal(a.i, b.d);
      if (b.integral) return -CompareIntReal(b.i, a.d);
      return a.d < b.d ? -1 : a.d > b.d ? 1 : 0;
    case KeyValue::kText:
    case KeyValue::kBytes: {
      int c = std::memcmp(a.p, b.p, std::min(a.n, b.n));
      if (c != 0) return c < 0 ? -1 : 1;
      return a.n < b.n ? -1 : a.n > b.n ? 1 : 0;
    }
  }
  return 0;
}

}  // namespace

int CompareKey(const RecordModel& rec, const std::vector<int>& parts, const char* a, const char* b) {
  for (int p : parts) {
    int c = Compare(ValueOf(rec.fields[p], a), ValueOf(rec.fields[p], b));
    if (c != 0) return c;
  }
  return 0;
}

int CompareStoredKey(sqlite3_stmt* row, int first, const RecordModel& rec,
                     const std::vector<int>& parts, const char* image) {
  for (int p : parts) {
    int c = Compare(ValueOf(row, first++), ValueOf(rec.fields[p], image));
    if (c != 0) return c;
  }
  return 0;
}

bool HasNullPart(const RecordModel& rec, const std::vector<int>& parts, const char* image) {
  return std::any_of(parts.begin(), parts.end(), [&](int p) {
    const FieldModel& f = rec.fields[p];
    return (f.type == 'f' || f.type == 'F') && ValueOf(f, image).kind == KeyValue::kNull;
  });
}

int BindParts(sqlite3_stmt* s, int first, const RecordModel& rec, const std::vector<int>& parts,
              const char* image) {
  for (int p : parts) BindKeyPart(s, first++, rec.fields[p], image);
  return first;
}

void AppendImage(BufferBuilder& out, sqlite3_stmt* s, const RecordModel& rec) {
  if (sqlite3_column_bytes(s, 0) != rec.imageLength) throw StatusError{kEngineFailure};
  if (out.Size() + rec.imageLength > INT32_MAX) throw StatusError{kNoMemory};
  out.Append(sqlite3_column_blob(s, 0), rec.imageLength);
}

int HandOut(BufferBuilder& out, int32_t* size, char** list) {
  if (out.Size() == 0) {
    *size = 0;
    *list = nullptr;
    return kNotFound;
  }
  *size = static_cast<int32_t>(out.Size());
  *list = out.Release();
  return 0;
}

std::string InsertSql(int32_t dbId, int r, const RecordModel& rec) {
  std::string cols = "img", vals = "?";
  int columns = 0;
  for (int c : rec.keyColumn) columns = std::max(columns, c + 1);
  for (int c = 0; c < columns; ++c) {
    cols += ", k" + std::to_string(c);
    vals += ", ?";
  }
  return "INSERT INTO " + RecordTableName(dbId, r) + "(" + cols + ") VALUES(" + vals + ")";
}

void BindImage(sqlite3_stmt* s, int index, const char* image, int length) {
  // A null pointer would bind NULL, which the img column refuses.
  int rc = length > 0 ? sqlite3_bind_blob(s, index, image, length, SQLITE_STATIC)
                      : sqlite3_bind_zeroblob(s, index, 0);
  if (rc != SQLITE_OK) throw StatusError{StatusOf(rc)};
}

int64_t InsertRecord(sqlite3* db, sqlite3_stmt* ins, const RecordModel& rec, const char* image) {
  StmtUse use(ins);
  BindImage(ins, 1, image, rec.imageLength);
  for (size_t p = 0; p < rec.fields.size(); ++p)
    if (rec.keyColumn[p] >= 0) BindKeyPart(ins, 2 + rec.keyColumn[p], rec.fields[p], image);
  use.Step();
  return sqlite3_last_insert_rowid(db);
}

std::vector<char> LoadImage(sqlite3* db, int32_t dbId) {
  Stmt s(db, "SELECT image FROM qor_database WHERE dbid = ?");
  StmtUse use(s.get());
  sqlite3_bind_int(s.get(), 1, dbId);
  if (!use.Step()) return {};
  const char* p = static_cast<const char*>(sqlite3_column_blob(s.get(), 0));
  int n = sqlite3_column_bytes(s.get(), 0);
  return std::vector<char>(p, p + n);
}

SequenceDraw::SequenceDraw(sqlite3* db, int r, const RecordModel& rec)
    : rec_(rec),
      name_(rec.FieldByName("SEQ_NAME")),
      value_(rec.FieldByName("SEQ_ID")),
      step_(rec.FieldByName("SEQ_STEP")) {
  const std::string table = RecordTableName(ServerAdmin::kSysdbId, r);
  byRid_ = Stmt(db, "SELECT rid, img FROM " + table + " WHERE rid = ?", true);
  all_ = Stmt(db, "SELECT rid, img FROM " + table + " ORDER BY rid", true);
  update_ = Stmt(db, "UPDATE " + table + " SET img = ? WHERE rid = ?", true);
}

bool SequenceDraw::NameIs(const char* img, std::string_view wanted) const {
  const std::string stored = FieldText(rec_.fields[name_], img);
  return std::equal(stored.begin(), stored.end(), wanted.begin(), wanted.end(),
                    [](char a, char b) { return UpperAscii(a) == UpperAscii(b); });
}

int SequenceDraw::Draw(std::string_view name, int32_t* id) {
  if (name_ < 0 || value_ < 0 || step_ < 0) return kUnknownSequence;
  const FieldModel &fvalue = rec_.fields[value_], &fstep = rec_.fields[step_];
  // A catalogue made elsewhere may type them otherwise; a float would not
  // convert to an id.
  if (!fvalue.IsInteger() || !fstep.IsInteger()) throw StatusError{kEngineFailure};
  // The stored record of the row that s stands on, when it is the sequence named.
  auto stored = [&](sqlite3_stmt* s) -> const char* {
    if (sqlite3_column_bytes(s, 1) != rec_.imageLength) throw StatusError{kEngineFailure};
    const char* img = static_cast<const char*>(sqlite3_column_blob(s, 1));
    return NameIs(img, name) ? img : nullptr;
  };
  auto advance = [&](sqlite3_stmt* s, const char* stored) -> int {
    image_.assign(stored, stored + rec_.imageLength);
    const int64_t value = FieldInteger(fvalue, image_.data());
    const int64_t next = value + FieldInteger(fstep, image_.data());
    // A sequence at the end of the 32-bit range stops rather than wrap
    // around to ids it already gave out.
    if (value < INT32_MIN || value > INT32_MAX || next < INT32_MIN || next > INT32_MAX)
      return kUnknownSequence;
    SetFieldInteger(fvalue, next, image_.data());
    StmtUse up(update_.get());
    BindImage(update_.get(), 1, image_.data(), rec_.imageLength);
    sqlite3_bind_int64(update_.get(), 2, sqlite3_column_int64(s, 0));
    up.Step();
    *id = static_cast<int32_t>(value);
    return 0;
  };
  const auto found =
      std::find_if(found_.begin(), found_.end(), [&](const Found& f) { return f.name == name; });
  if (found != found_.end()) {
    StmtUse use(byRid_.get());
    sqlite3_bind_int64(byRid_.get(), 1, found->rid);
    if (use.Step())
      if (const char* img = stored(byRid_.get())) return advance(byRid_.get(), img);
    found_.erase(found);
  }
  StmtUse use(all_.get());
  while (use.Step()) {
    if (const char* img = stored(all_.get())) {
      if (found_.size() == kMaxFound) found_.clear();
      found_.push_back({std::string(name), sqlite3_column_int64(all_.get(), 0)});
      return advance(all_.get(), img);
    }
  }
  return kUnknownSequence;
}

}  // namespace qordb
