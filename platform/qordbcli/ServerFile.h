// The SQLite side of a server file, shared by the client entries and the
// administration: opening, the catalogue tables of the file itself, record
// tables with their key columns, and prepared statements.
//
// Layout of a server file:
//   qor_param(name, value)            server parameters ("VolumeId", "RegLmgrName")
//   qor_database(dbid, name, image)   one row per database: upper-case name, dictionary image
//   t<dbid>_<record index>(rid, img, k0, k1, ...)
//       one row per record: rid gives insertion order, img the normalised
//       record image, k<n> the value of the n-th key column, indexed per key.
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "DictModel.h"

namespace qordb {

// A failure carrying the client status to return.
struct StatusError {
  int status;
};

// Client statuses, as the library knows them.
enum : int {
  kNotFound = 10002,
  kNoDatabase = 10003,
  kDatabaseClosed = 10004,
  kDuplicate = 10005,
  kBadRecordType = 10012,
  kBadKey = 10013,
  kBadConnection = 10015,
  kNoMemory = 10016,
  kBadDatabaseId = 10017,
  kAlreadyClosed = 10019,
  kAlreadyOpen = 10020,
  kNoKey = 10021,
  kTransactionActive = 10023,
  kBadDirection = 10029,
  kBadRecordSize = 10036,
  kNotAvailable = 10038,
  kNoService = 10039,
  kServerLocked = 10042,
  kBadPointer = 10050,
  kBusy = 10054,
  kEngineFailure = 10057,
  kUnknownParam = 10059,
  kUnknownSequence = 10061,
  kBookmarkNotSet = 10063,
};

// The status an SQLite result code stands for (busy, duplicate, anything else).
int StatusOf(int sqliteCode);

// Owns one prepared statement; resets it on destruction when borrowed.
class Stmt {
 public:
  Stmt() = default;
  Stmt(sqlite3* db, const std::string& sql, bool persistent = false);
  ~Stmt();
  Stmt(Stmt&& o) noexcept : s_(o.s_) { o.s_ = nullptr; }
  Stmt& operator=(Stmt&& o) noexcept;
  Stmt(const Stmt&) = delete;
  Stmt& operator=(const Stmt&) = delete;
  sqlite3_stmt* get() const { return s_; }

 private:
  sqlite3_stmt* s_ = nullptr;
};

// One step of s: SQLITE_ROW true, SQLITE_DONE false, anything else throws
// StatusError.
bool StepRow(sqlite3_stmt* s);

// Resets and clears a statement when a call is done with it.
class StmtUse {
 public:
  explicit StmtUse(sqlite3_stmt* s) : s_(s) {}
  ~StmtUse() {
    sqlite3_reset(s_);
    sqlite3_clear_bindings(s_);
  }
  bool Step() { return StepRow(s_); }

 private:
  sqlite3_stmt* s_;
};

void Exec(sqlite3* db, const char* sql);  // throws StatusError

// Opens an existing server file (create false) or makes a new one; WAL mode,
// full syncs, a busy timeout, and the file's own tables when created. Throws
// StatusError; 10039 for a file that is not a server, which is left as it was.
sqlite3* OpenServerFile(const std::string& path, bool create);

std::string RecordTableName(int32_t dbId, int recordIndex);
// The columns and indexes of one record type.
void CreateRecordTable(sqlite3* db, int32_t dbId, int recordIndex, const RecordModel& rec);

// Binds the value that key column part (a data field position) has in image.
// Like BindImage, it binds without a copy: image must stay as it is until the
// statement has been stepped.
void BindKeyPart(sqlite3_stmt* s, int index, const FieldModel& field, const char* image);
// Binds the values of the key parts in image, from parameter first on, the
// same way; returns the next parameter.
int BindParts(sqlite3_stmt* s, int first, const RecordModel& rec, const std::vector<int>& parts,
              const char* image);

// How two images compare on the key parts, in the order the indexes keep
// (numbers by value, characters as bytes up to the NUL): -1, 0 or 1.
int CompareKey(const RecordModel& rec, const std::vector<int>& parts, const char* a, const char* b);
// The same for the key columns of row, one per part from column first on,
// against the image's values, as SQLite compares them (numbers by value,
// texts before blobs, each as bytes).
int CompareStoredKey(sqlite3_stmt* row, int first, const RecordModel& rec,
                     const std::vector<int>& parts, const char* image);
// Whether a key part of image has no value (a NaN, stored as NULL), which
// equals nothing.
bool HasNullPart(const RecordModel& rec, const std::vector<int>& parts, const char* image);

class BufferBuilder;
// Appends the image of the row s stands on (its first column) to out.
void AppendImage(BufferBuilder& out, sqlite3_stmt* s, const RecordModel& rec);
// The images in out, back to back in one buffer for the caller; 10002, no
// buffer and size 0 when there is none.
int HandOut(BufferBuilder& out, int32_t* size, char** list);

// Binds a record image of length bytes as a blob, the empty one too, without
// copying it.
void BindImage(sqlite3_stmt* s, int index, const char* image, int length);

// Inserts a normalised image; returns its rid. Throws StatusError (10005 on a
// unique-key duplicate).
int64_t InsertRecord(sqlite3* db, sqlite3_stmt* insert, const RecordModel& rec, const char* image);
// "INSERT INTO t(img, k...) VALUES(...)" for InsertRecord.
std::string InsertSql(int32_t dbId, int recordIndex, const RecordModel& rec);

// The stored dictionary image of a database, or empty when there is none.
std::vector<char> LoadImage(sqlite3* db, int32_t dbId);

// Draws from SYSDB "sequencies" (record index r, record model rec, which
// must outlive it) through statements prepared once.
class SequenceDraw {
 public:
  SequenceDraw(sqlite3* db, int r, const RecordModel& rec);  // throws StatusError

  // The next value of the sequence named: its seq_id, after which seq_id
  // advances by seq_step. Names match in any case, and a catalogue that holds
  // one name in two cases serves it from the row stored first, however it is
  // asked. Returns 0, or 10061 when there is no such sequence or its next value
  // would leave the 32-bit range. Throws StatusError for the engine, and
  // 10057 when SEQ_ID or SEQ_STEP is not an integer field.
  int Draw(std::string_view name, int32_t* id);

 private:
  // Whether the name field of img holds wanted, in any case.
  bool NameIs(const char* img, std::string_view wanted) const;

  // A name as it was asked for and the row that serves it. The first draw
  // finds the row by a scan in stored order; later ones read it by its rid
  // and check its name. Rids only grow, so no row stored later can come
  // before it; a row deleted or renamed is found again by a scan.
  struct Found {
    std::string name;
    int64_t rid;
  };
  static constexpr size_t kMaxFound = 64;  // names asked for are few; this bounds any caller

  const RecordModel& rec_;
  int name_, value_, step_;  // field positions, -1 when missing
  Stmt byRid_, all_, update_;
  std::vector<Found> found_;
  std::vector<char> image_;  // the record being advanced
};

}  // namespace qordb
