#include "ClientSession.h"

#include <sys/stat.h>

#include <cstring>

#include "BufferRegistry.h"
#include "FileLocks.h"
#include "ServerAdmin.h"
#include "SnapshotWatch.h"

namespace qordb {

namespace {

// Offsets in the user block that the login sends.
constexpr int kBlockSize = 211;
constexpr int kServerAt = 72;
constexpr int kServiceAt = 104;
constexpr int kTextField = 32;

enum Op {
  kFirst,
  kPrev,
  kNext,
  kLast,
  kNextSame,
  kPrevSame,
  kByRid,
  kFindEq,
  kFindNext,
  kListFrom,
  kListGe,
  kAll,
  kCount,
  kUpdate,
  kUpdateImage,
  kUpdateImageByRid,
  kDelete,
  kInsert,
  kRidMatches
};

std::string BlockText(const char* block, int at) { return std::string(block + at, strnlen(block + at, kTextField)); }

std::string Columns(const RecordModel& rec, const std::vector<int>& parts) {
  std::string s;
  for (int p : parts) s += (s.empty() ? "k" : ", k") + std::to_string(rec.keyColumn[p]);
  return s;
}

std::string Placeholders(size_t n) {
  std::string s;
  for (size_t i = 0; i < n; ++i) s += i ? ", ?" : "?";
  return s;
}

// "ORDER BY k0, k1, rid" in key order (ties by insertion), or the reverse.
std::string OrderBy(const RecordModel& rec, const std::vector<int>& parts, bool desc) {
  std::string s = " ORDER BY ";
  for (int p : parts) s += "k" + std::to_string(rec.keyColumn[p]) + (desc ? " DESC, " : ", ");
  return s + (desc ? "rid DESC" : "rid");
}

// The start of the shared memory that SQLite maps for db's log index, or null
// when it has none: the documented layout of the "-shm" file begins with
// the wal-index header.
const volatile uint32_t* MapWalIndex(sqlite3* db) {
  sqlite3_file* file = nullptr;
  if (sqlite3_file_control(db, "main", SQLITE_FCNTL_FILE_POINTER, &file) != SQLITE_OK || !file ||
      !file->pMethods || file->pMethods->iVersion < 2 || !file->pMethods->xShmMap)
    return nullptr;
  void volatile* region = nullptr;
  if (file->pMethods->xShmMap(file, 0, 32 * 1024, 0, &region) != SQLITE_OK) return nullptr;
  return static_cast<const volatile uint32_t*>(region);
}

// The images of every row of s.
int HandOutImages(StmtUse& use, sqlite3_stmt* s, const RecordModel& rec, int32_t* size,
                  char** list) {
  BufferBuilder out;
  while (use.Step()) AppendImage(out, s, rec);
  return HandOut(out, size, list);
}

}  // namespace

ClientSession::~ClientSession() { Close(); }

void ClientSession::Close() {
  // First, so that the idle watch no longer looks at this session.
  ForgetSnapshot(this);
  watched_ = false;
  kept_.Drop();
  stmts_.clear();
  sequences_.reset();
  control_.reset();
  if (db_) {
    if (inTransaction_ || snapshot_) sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close_v2(db_);
  }
  db_ = nullptr;
  walIndex_ = nullptr;
  inTransaction_ = snapshot_ = false;
  dbs_.clear();
  sysdb_.reset();
  bookmarks_.clear();
  packages_.clear();
}

void ClientSession::SyncTransaction() {
  if (db_ && sqlite3_get_autocommit(db_)) {
    kept_.Drop();
    inTransaction_ = snapshot_ = false;
  }
}

void ClientSession::Run(sqlite3_stmt* s) {
  StmtUse use(s);
  use.Step();
}

void ClientSession::Rollback() {
  sqlite3_step(control_->rollback.get());
  sqlite3_reset(control_->rollback.get());
}

template <typename F>
int ClientSession::Atomically(F&& f) {
  if (inTransaction_) return f();
  EndRead();
  Run(control_->beginWrite.get());
  try {
    int status = f();
    if (status == 0)
      Run(control_->commit.get());
    else
      Rollback();
    return status;
  } catch (...) {
    Rollback();
    throw;
  }
}

void ClientSession::BeginRead() {
  if (inTransaction_) return;
  lastRead_ = std::chrono::steady_clock::now();
  if (snapshot_ && walIndex_) {
    bool unchanged = true;
    for (int i = 0; i < kWalHeaderWords && unchanged; ++i)
      unchanged = walIndex_[i] == walHeader_[i];
    if (unchanged) return;
  }
  EndRead();
  if (!watched_) {
    WatchSnapshot(this);
    watched_ = true;
  }
  // The header before the snapshot, which the call's first read takes: a
  // commit in between is seen by this snapshot, and by the next call's
  // check as well, which only takes the snapshot once more.
  for (int i = 0; walIndex_ && i < kWalHeaderWords; ++i) walHeader_[i] = walIndex_[i];
  // A snapshot that reads from the log keeps its read mark, and no writer
  // can start the log again from its beginning while any such mark is held:
  // a session that reads every few milliseconds would let the log grow
  // without end. Such a snapshot is held beyond the call only while the log
  // is short; one that reads from the database alone (every frame of the log
  // already copied back) holds no such mark.
  holdSnapshot_ = true;
  if (walIndex_) {
    const uint32_t frames = walHeader_[kMaxFrameWord], copied = walIndex_[kBackfillWord];
    holdSnapshot_ = frames < kLongLogFrames || copied >= frames;
  }
  Run(control_->begin.get());
  snapshot_ = true;
}

void ClientSession::EndCall() {
  if (snapshot_ && !holdSnapshot_) EndRead();
}

void ClientSession::EndRead() {
  // A statement not reset keeps its read transaction beyond the commit.
  kept_.Drop();
  if (!snapshot_) return;
  snapshot_ = false;
  // Ending a read transaction does not fail; should it, the rollback ends it.
  sqlite3_stmt* commit = control_->commit.get();
  if (sqlite3_step(commit) != SQLITE_DONE) Rollback();
  sqlite3_reset(commit);
}

std::chrono::steady_clock::time_point ClientSession::EndIdleSnapshot(
    std::chrono::steady_clock::time_point now) {
  const auto idle = SnapshotIdleTime();
  if (snapshot_ && now - lastRead_ < idle) return lastRead_ + idle;
  EndRead();
  watched_ = false;
  return std::chrono::steady_clock::time_point::max();
}

int ClientSession::InitUser(const void* block) {
  if (!block) return kBadPointer;
  const char* b = static_cast<const char*>(block);
  int32_t size;
  std::memcpy(&size, b, 4);
  if (size < kBlockSize) return kBadRecordSize;
  if (BlockText(b, kServiceAt) != "qordb") return kNoService;
  const std::string server = BlockText(b, kServerAt);
  if (server.empty()) return kNoService;
  const std::string path = ServerAdmin::ResolveServerPath(server);
  struct stat st;
  if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return kNoService;
  // SQLite's state of it in this process names locks that this process does
  // not hold (the parent's), or this process holds locks on it that are not
  // kept on the library's own descriptions (SQLite's from before the library
  // was loaded, or another copy's). Held until SQLite has opened it.
  const LoginCheck check(path);
  if (check.OutsideOwnLocks()) return kServerLocked;
  Close();
  db_ = OpenServerFile(path, false);
  try {
    control_ = std::make_unique<Control>(
        Control{Stmt(db_, "BEGIN", true), Stmt(db_, "BEGIN IMMEDIATE", true),
                Stmt(db_, "COMMIT", true), Stmt(db_, "ROLLBACK", true)});
  } catch (...) {
    Close();
    throw;
  }
  walIndex_ = MapWalIndex(db_);
  return 0;
}

int ClientSession::SetCode(int32_t length, const char* code) {
  if (length < 0) return kBadRecordSize;
  if (length > 0 && !code) return kBadPointer;
  code_.assign(code ? code : "", length);
  return 0;
}

int ClientSession::OpenDb(int32_t db, const char* name) {
  if (!name) return kBadPointer;
  const std::string upper = UpperAscii(name);
  if (dbs_.count(db)) return kAlreadyOpen;
  BeginRead();
  Stmt s(db_, "SELECT dbid, image FROM qor_database WHERE name = ?");
  StmtUse use(s.get());
  sqlite3_bind_text(s.get(), 1, upper.c_str(), -1, SQLITE_TRANSIENT);
  if (!use.Step()) return kNoDatabase;
  if (sqlite3_column_int(s.get(), 0) != db) return kBadDatabaseId;
  OpenDatabase odb;
  const char* p = static_cast<const char*>(sqlite3_column_blob(s.get(), 1));
  odb.image.assign(p, p + sqlite3_column_bytes(s.get(), 1));
  try {
    odb.model = DictModel::Parse(odb.image.data(), odb.image.size());
  } catch (const std::runtime_error&) {
    return kEngineFailure;
  }
  odb.positions.resize(odb.model.records.size());
  for (const RecordModel& rec : odb.model.records) {
    std::vector<int>& keys = odb.keyFields.emplace_back();
    for (size_t p = 0; p < rec.fields.size(); ++p)
      if (rec.keyColumn[p] >= 0) keys.push_back(static_cast<int>(p));
  }
  dbs_[db] = std::move(odb);
  return 0;
}

int ClientSession::CloseDb(int32_t db) {
  if (kept_.Reads(db)) kept_.Drop();
  if (dbs_.erase(db) == 0) return kAlreadyClosed;
  return 0;
}

int ClientSession::GetDbDescription(int32_t db, char** image, int32_t* size) {
  if (!image || !size) return kBadPointer;
  auto it = dbs_.find(db);
  if (it == dbs_.end()) return kDatabaseClosed;
  *image = AllocCopy(it->second.image.data(), it->second.image.size());
  *size = static_cast<int32_t>(it->second.image.size());
  return 0;
}

ClientSession::Target ClientSession::Resolve(int32_t db, int32_t rt) {
  auto it = dbs_.find(db);
  if (it == dbs_.end()) throw StatusError{kBadDatabaseId};
  OpenDatabase& odb = it->second;
  int64_t index = static_cast<int64_t>(rt) - 10000;
  if (index < 0 || index >= static_cast<int64_t>(odb.model.records.size())) throw StatusError{kBadRecordType};
  int i = static_cast<int>(index);
  return Target{db, &odb, i, &odb.model.records[i], &odb.positions[i]};
}

ClientSession::Target ClientSession::ResolveImage(int32_t db, int32_t rt, int32_t len, char** buffer) {
  if (!buffer) throw StatusError{kBadPointer};
  Target t = Resolve(db, rt);
  if (len != t.rec->imageLength) throw StatusError{kBadRecordSize};
  return t;
}

const std::vector<int>& ClientSession::KeyPartsOf(const Target& t, int32_t keyField) const {
  if (keyField < 0 || keyField / 1000 != t.index) throw StatusError{kBadKey};
  const std::vector<int>& parts = t.rec->KeyParts(keyField % 1000);
  if (parts.empty()) throw StatusError{kBadKey};
  return parts;
}

char* ClientSession::Normalised(const RecordModel& rec, const char* image) {
  if (scratch_.size() < static_cast<size_t>(rec.imageLength)) scratch_.resize(rec.imageLength);
  NormaliseImage(rec, image, scratch_.data());
  return scratch_.data();
}

const std::vector<int>& ClientSession::CurrentKeyParts(const Target& t) const {
  static const std::vector<int> none;  // the default key: insertion order
  return t.pos->key == 1 ? none : t.rec->KeyParts(t.pos->key % 1000);
}

template <typename B>
sqlite3_stmt* ClientSession::Cached(const Target& t, int32_t key, int op, B&& build) {
  auto k = std::make_tuple(t.dbId, t.index, key, op);
  auto it = stmts_.find(k);
  if (it == stmts_.end()) it = stmts_.emplace(k, Stmt(db_, build(), true)).first;
  return it->second.get();
}

bool ClientSession::ReadRid(const Target& t, int64_t rid, std::vector<char>* image) {
  sqlite3_stmt* s = Cached(t, 0, kByRid, [&] {
    return "SELECT img FROM " + RecordTableName(t.dbId, t.index) + " WHERE rid = ?";
  });
  StmtUse use(s);
  sqlite3_bind_int64(s, 1, rid);
  if (!use.Step()) return false;
  CopyStored(t, s, 0, image);
  return true;
}

void ClientSession::CopyStored(const Target& t, sqlite3_stmt* row, int column,
                               std::vector<char>* to) {
  if (sqlite3_column_bytes(row, column) != t.rec->imageLength) throw StatusError{kEngineFailure};
  if (!to) return;
  const char* p = static_cast<const char*>(sqlite3_column_blob(row, column));
  to->assign(p, p + t.rec->imageLength);
}

bool ClientSession::SeenInThisTransaction(const Position& pos) const {
  return inTransaction_ && pos.transaction == transactions_;
}

void ClientSession::Remember(const Target& t, int64_t rid, const char* image) {
  t.pos->has = true;
  t.pos->rid = rid;
  t.pos->image.assign(image, image + t.rec->imageLength);
  t.pos->transaction = inTransaction_ ? transactions_ : 0;
}

int ClientSession::Navigate(Move move, int32_t db, int32_t rt, int32_t len, char** image) {
  Target t = ResolveImage(db, rt, len, image);
  Position& pos = *t.pos;
  BeginRead();
  if (move == Move::Current) {
    std::vector<char> img;
    if (!pos.has || !ReadRid(t, pos.rid, &img)) return kNotFound;
    Remember(t, pos.rid, img.data());
    *image = AllocCopy(img.data(), img.size());
    return 0;
  }
  // Without a remembered record, next starts at the first and prior at the last.
  if (!pos.has && move == Move::Next) move = Move::First;
  if (!pos.has && move == Move::Prev) move = Move::Last;
  const std::vector<int>& parts = CurrentKeyParts(t);
  const bool desc = move == Move::Prev || move == Move::Last;
  const bool relative = move == Move::Prev || move == Move::Next;
  const std::string cols = Columns(*t.rec, parts);

  // A relative move looks first among the records that share the remembered
  // key value (by insertion order), then beyond that value; one range query
  // over (key, rid) would scan every duplicate of a popular value.
  sqlite3_stmt* s = nullptr;
  if (relative) {
    sqlite3_stmt* same = Cached(t, pos.key, desc ? kPrevSame : kNextSame, [&] {
      std::string sql = "SELECT rid, img FROM " + RecordTableName(t.dbId, t.index) + " WHERE ";
      if (!parts.empty()) sql += "(" + cols + ") = (" + Placeholders(parts.size()) + ") AND ";
      return sql + (desc ? "rid < ? ORDER BY rid DESC" : "rid > ? ORDER BY rid") + " LIMIT 1";
    });
    StmtUse use(same);
    int at = BindParts(same, 1, *t.rec, parts, pos.image.data());
    sqlite3_bind_int64(same, at, pos.rid);
    if (use.Step()) return Deliver(t, same, image);
    if (parts.empty()) return kNotFound;
    s = Cached(t, pos.key, desc ? kPrev : kNext, [&] {
      return "SELECT rid, img FROM " + RecordTableName(t.dbId, t.index) + " WHERE (" + cols + ")" +
             (desc ? " < (" : " > (") + Placeholders(parts.size()) + ")" + OrderBy(*t.rec, parts, desc) + " LIMIT 1";
    });
  } else {
    s = Cached(t, pos.key, desc ? kLast : kFirst, [&] {
      return "SELECT rid, img FROM " + RecordTableName(t.dbId, t.index) + OrderBy(*t.rec, parts, desc) + " LIMIT 1";
    });
  }
  StmtUse use(s);
  if (relative) BindParts(s, 1, *t.rec, parts, pos.image.data());
  if (!use.Step()) return kNotFound;
  return Deliver(t, s, image);
}

int ClientSession::Deliver(const Target& t, sqlite3_stmt* row, char** image) {
  if (sqlite3_column_bytes(row, 1) != t.rec->imageLength) throw StatusError{kEngineFailure};
  const char* img = static_cast<const char*>(sqlite3_column_blob(row, 1));
  char* out = AllocCopy(img, t.rec->imageLength);
  try {
    Remember(t, sqlite3_column_int64(row, 0), img);
  } catch (...) {
    FreeBuffer(out);
    throw;
  }
  *image = out;
  return 0;
}

int ClientSession::DefineKey(int32_t db, int32_t rt, int32_t keyField) {
  Target t = Resolve(db, rt);
  if (keyField != 1) KeyPartsOf(t, keyField);
  t.pos->key = keyField;
  return 0;
}

sqlite3_stmt* ClientSession::FindEqStmt(const Target& t, const std::vector<int>& parts) {
  return Cached(t, t.pos->key, kFindEq, [&] {
    return "SELECT rid, img FROM " + RecordTableName(t.dbId, t.index) + " WHERE (" + Columns(*t.rec, parts) + ") = (" +
           Placeholders(parts.size()) + ") ORDER BY rid LIMIT 1";
  });
}

int ClientSession::FindRec(int32_t db, int32_t rt, int32_t len, char** buffer, bool next) {
  Target t = ResolveImage(db, rt, len, buffer);
  if (!*buffer) return kBadPointer;
  Position& pos = *t.pos;
  if (pos.key == 1) return kNoKey;
  BeginRead();
  const std::vector<int>& parts = CurrentKeyParts(t);
  // The next match follows the current record only when that record carries
  // the value; a current record past the value leaves no next match.
  bool after = false;
  if (next && pos.has) {
    int order = CompareKey(*t.rec, parts, pos.image.data(), *buffer);
    if (order > 0) return kNotFound;
    after = order == 0;
  }
  sqlite3_stmt* s = nullptr;
  if (after)
    s = Cached(t, pos.key, kFindNext, [&] {
      return "SELECT rid, img FROM " + RecordTableName(t.dbId, t.index) + " WHERE (" + Columns(*t.rec, parts) +
             ") = (" + Placeholders(parts.size()) + ") AND rid > ? ORDER BY rid LIMIT 1";
    });
  else
    s = FindEqStmt(t, parts);
  StmtUse use(s);
  int at = BindParts(s, 1, *t.rec, parts, *buffer);
  if (after) sqlite3_bind_int64(s, at, pos.rid);
  if (!use.Step()) return kNotFound;
  if (sqlite3_column_bytes(s, 1) != t.rec->imageLength) throw StatusError{kEngineFailure};
  const char* img = static_cast<const char*>(sqlite3_column_blob(s, 1));
  CopyBytes(*buffer, img, t.rec->imageLength);
  Remember(t, sqlite3_column_int64(s, 0), img);
  return 0;
}

int ClientSession::NewRec(int32_t db, int32_t rt, int32_t len, char** buffer) {
  Target t = ResolveImage(db, rt, len, buffer);
  if (!*buffer) return kBadPointer;
  char* img = Normalised(*t.rec, *buffer);
  sqlite3_stmt* s = Cached(t, 0, kInsert, [&] { return InsertSql(t.dbId, t.index, *t.rec); });
  int64_t rid = 0;
  Atomically([&] {
    rid = InsertRecord(db_, s, *t.rec, img);
    return 0;
  });
  CopyBytes(*buffer, img, t.rec->imageLength);
  Remember(t, rid, img);
  return 0;
}

int64_t ClientSession::Locate(const Target& t, const char* image, std::vector<char>* stored) {
  Position& pos = *t.pos;
  if (pos.key == 1) return pos.has && ReadRid(t, pos.rid, stored) ? pos.rid : 0;
  const std::vector<int>& parts = CurrentKeyParts(t);
  // The current record when it carries the key value, else the first that does.
  if (pos.has && SeenInThisTransaction(pos)) {
    if (CompareKey(*t.rec, parts, pos.image.data(), image) == 0) {
      if (stored) *stored = pos.image;
      return pos.rid;
    }
  } else if (pos.has) {
    sqlite3_stmt* s = Cached(t, pos.key, kRidMatches, [&] {
      return "SELECT rid, img FROM " + RecordTableName(t.dbId, t.index) + " WHERE rid = ? AND (" +
             Columns(*t.rec, parts) + ") = (" + Placeholders(parts.size()) + ")";
    });
    StmtUse use(s);
    sqlite3_bind_int64(s, 1, pos.rid);
    BindParts(s, 2, *t.rec, parts, image);
    if (use.Step()) {
      CopyStored(t, s, 1, stored);
      return pos.rid;
    }
  }
  sqlite3_stmt* s = FindEqStmt(t, parts);
  StmtUse use(s);
  BindParts(s, 1, *t.rec, parts, image);
  if (!use.Step()) return 0;
  CopyStored(t, s, 1, stored);
  return sqlite3_column_int64(s, 0);
}

int ClientSession::ModRec(int32_t db, int32_t rt, int32_t len, char** buffer) {
  Target t = ResolveImage(db, rt, len, buffer);
  if (!*buffer) return kBadPointer;
  const char* img = Normalised(*t.rec, *buffer);
  int64_t rid = 0;
  const int status = Atomically([&] {
    rid = RewriteImage(t, *buffer, img) ? t.pos->rid : 0;
    if (rid != 0) return 0;
    rid = Locate(t, *buffer, &located_);
    if (rid == 0) return static_cast<int>(kNotFound);
    // The record as it is stored now: when no key column changes, its
    // indexes stay as they are.
    if (SameKeyColumns(t, located_.data(), img)) {
      StoreImage(t, rid, img);
      return 0;
    }
    sqlite3_stmt* s = Cached(t, 0, kUpdate, [&] {
      std::string sql = "UPDATE " + RecordTableName(t.dbId, t.index) + " SET img = ?";
      for (size_t p = 0; p < t.rec->fields.size(); ++p)
        if (t.rec->keyColumn[p] >= 0) sql += ", k" + std::to_string(t.rec->keyColumn[p]) + " = ?";
      return sql + " WHERE rid = ?";
    });
    StmtUse use(s);
    BindImage(s, 1, img, t.rec->imageLength);
    int at = 2;
    for (size_t p = 0; p < t.rec->fields.size(); ++p)
      if (t.rec->keyColumn[p] >= 0) BindKeyPart(s, at++, t.rec->fields[p], img);
    sqlite3_bind_int64(s, at, rid);
    use.Step();
    return 0;
  });
  if (status != 0) return status;
  CopyBytes(*buffer, img, t.rec->imageLength);
  Remember(t, rid, img);
  return 0;
}

bool ClientSession::SameKeyColumns(const Target& t, const char* a, const char* b) const {
  // Records are stored normalised, so equal key values are equal bytes; the
  // rare equal values in other bytes (a float's -0, an image stored by
  // someone else) count as a change.
  for (int p : t.odb->keyFields[t.index]) {
    const FieldModel& f = t.rec->fields[p];
    if (std::memcmp(a + f.offset, b + f.offset, f.length) != 0) return false;
  }
  return true;
}

bool ClientSession::StoreImage(const Target& t, int64_t rid, const char* img) {
  sqlite3_stmt* s = Cached(t, 0, kUpdateImageByRid, [&] {
    return "UPDATE " + RecordTableName(t.dbId, t.index) + " SET img = ? WHERE rid = ?";
  });
  StmtUse use(s);
  BindImage(s, 1, img, t.rec->imageLength);
  sqlite3_bind_int64(s, 2, rid);
  use.Step();
  return sqlite3_changes(db_) == 1;
}

bool ClientSession::RewriteImage(const Target& t, const char* image, const char* img) {
  Position& pos = *t.pos;
  // Worth a try only when no key column changes against the record as we
  // last saw it.
  if (!pos.has || !SameKeyColumns(t, pos.image.data(), img)) return false;
  const std::vector<int>& keys = t.odb->keyFields[t.index];
  const std::vector<int>& parts = CurrentKeyParts(t);
  // Seen in this transaction, the record is still as we saw it (no other
  // connection writes meanwhile); otherwise the statement checks the record
  // as it is now.
  if (SeenInThisTransaction(pos)) return StoreImage(t, pos.rid, img);
  sqlite3_stmt* s = Cached(t, pos.key, kUpdateImage, [&] {
    std::string sql = "UPDATE " + RecordTableName(t.dbId, t.index) + " SET img = ? WHERE rid = ?";
    if (!parts.empty())
      sql += " AND (" + Columns(*t.rec, parts) + ") = (" + Placeholders(parts.size()) + ")";
    for (int p : keys) sql += " AND k" + std::to_string(t.rec->keyColumn[p]) + " IS ?";
    return sql;
  });
  StmtUse use(s);
  BindImage(s, 1, img, t.rec->imageLength);
  sqlite3_bind_int64(s, 2, pos.rid);
  // The current key as the caller sent it, as Locate matches it.
  int at = BindParts(s, 3, *t.rec, parts, image);
  for (int p : keys) BindKeyPart(s, at++, t.rec->fields[p], img);
  use.Step();
  return sqlite3_changes(db_) == 1;
}

int ClientSession::DelRec(int32_t db, int32_t rt, int32_t len, char** buffer) {
  Target t = ResolveImage(db, rt, len, buffer);
  if (!*buffer) return kBadPointer;
  int64_t rid = 0;
  std::vector<char> img;
  const int status = Atomically([&] {
    rid = Locate(t, *buffer, &img);
    if (rid == 0) return static_cast<int>(kNotFound);
    sqlite3_stmt* s = Cached(t, 0, kDelete, [&] {
      return "DELETE FROM " + RecordTableName(t.dbId, t.index) + " WHERE rid = ?";
    });
    StmtUse use(s);
    sqlite3_bind_int64(s, 1, rid);
    use.Step();
    return 0;
  });
  if (status != 0) return status;
  // The deleted record stays the position that next and prior continue
  // from, as a record that is no longer there.
  Remember(t, rid, img.data());
  t.pos->transaction = 0;
  return 0;
}

int ClientSession::FindList(ListKind kind, int32_t* size, char** keyImage, char** list, int32_t db, int32_t rt,
                            int32_t keyField) {
  if (!size || !keyImage || !*keyImage || !list) return kBadPointer;
  Target t = Resolve(db, rt);
  if (*size != t.rec->imageLength) return kBadRecordSize;
  if (keyField == 1) return kNoKey;
  const std::vector<int>& parts = KeyPartsOf(t, keyField);
  BeginRead();
  if (kind == ListKind::Equal) return SelectEqual(t, keyField, parts, *keyImage, size, list);
  sqlite3_stmt* s = Cached(t, keyField, kListGe, [&] {
    return "SELECT img FROM " + RecordTableName(t.dbId, t.index) + " WHERE (" +
           Columns(*t.rec, parts) + ") >= (" + Placeholders(parts.size()) + ")" +
           OrderBy(*t.rec, parts, false);
  });
  StmtUse use(s);
  BindParts(s, 1, *t.rec, parts, *keyImage);
  return HandOutImages(use, s, *t.rec, size, list);
}

int ClientSession::SelectEqual(const Target& t, int32_t keyField, const std::vector<int>& parts,
                               const char* key, int32_t* size, char** list) {
  const RecordModel& rec = *t.rec;
  // A value with a NaN part equals nothing, whatever was selected before.
  if (HasNullPart(rec, parts, key)) {
    BufferBuilder none;
    return HandOut(none, size, list);
  }
  const KeptSelection::Source source{t.dbId, t.index, keyField};
  if (auto status = kept_.Continue(source, rec, parts, key, size, list)) return *status;
  sqlite3_stmt* s = Cached(t, keyField, kListFrom, [&] {
    const std::string cols = Columns(rec, parts);
    return "SELECT img, " + cols + " FROM " + RecordTableName(t.dbId, t.index) + " WHERE (" + cols +
           ") >= (" + Placeholders(parts.size()) + ")" + OrderBy(rec, parts, false);
  });
  // A transaction's writes are no place to go on from: the statement would
  // not follow them.
  return kept_.Start(source, s, !inTransaction_, rec, parts, key, size, list);
}

int ClientSession::GetAllRec(int32_t db, int32_t rt, int32_t* size, char** list) {
  if (!size || !list) return kBadPointer;
  Target t = Resolve(db, rt);
  if (*size != t.rec->imageLength) return kBadRecordSize;
  BeginRead();
  sqlite3_stmt* s =
      Cached(t, 0, kAll, [&] { return "SELECT img FROM " + RecordTableName(t.dbId, t.index) + " ORDER BY rid"; });
  StmtUse use(s);
  return HandOutImages(use, s, *t.rec, size, list);
}

int ClientSession::GetCount(int32_t db, int32_t rt, int32_t* count) {
  if (!count) return kBadPointer;
  Target t = Resolve(db, rt);
  BeginRead();
  sqlite3_stmt* s = Cached(t, 0, kCount, [&] { return "SELECT count(*) FROM " + RecordTableName(t.dbId, t.index); });
  StmtUse use(s);
  use.Step();
  *count = sqlite3_column_int(s, 0);
  return 0;
}

int ClientSession::UnlockRecord(int32_t db, int32_t rt) {
  Resolve(db, rt);
  return kNotFound;  // this server keeps no record locks
}

int ClientSession::BeginTransaction(const char* name) {
  (void)name;
  if (inTransaction_) return kTransactionActive;
  EndRead();
  Run(control_->beginWrite.get());
  inTransaction_ = true;
  ++transactions_;
  return 0;
}

int ClientSession::EndTransaction(int32_t commit) {
  SyncTransaction();
  if (!inTransaction_) return 0;
  Run(commit ? control_->commit.get() : control_->rollback.get());
  inTransaction_ = false;
  return 0;
}

const DictModel& ClientSession::Sysdb() {
  if (!sysdb_) {
    std::vector<char> image = LoadImage(db_, ServerAdmin::kSysdbId);
    try {
      sysdb_ = std::make_unique<DictModel>(DictModel::Parse(image.data(), image.size()));
    } catch (const std::runtime_error&) {
      throw StatusError{kEngineFailure};
    }
  }
  return *sysdb_;
}

int ClientSession::GetNextId(const char* sequence, int32_t* id) {
  if (!sequence || !id) return kBadPointer;
  if (!sequences_) {
    const DictModel& sys = Sysdb();
    const int r = sys.RecordByName("SEQUENCIES");
    if (r < 0) return kUnknownSequence;
    sequences_ = std::make_unique<SequenceDraw>(db_, r, sys.records[r]);
  }
  return Atomically([&] { return sequences_->Draw(sequence, id); });
}

int ClientSession::BookmarkCreate(int32_t db, int32_t rt, int32_t* id) {
  if (!id) return kBadPointer;
  Resolve(db, rt);
  if (nextBookmark_ == INT32_MAX) return kNoMemory;
  bookmarks_[nextBookmark_] = Bookmark{db, rt - 10000};
  *id = nextBookmark_++;
  return 0;
}

int ClientSession::BookmarkDrop(int32_t id) { return bookmarks_.erase(id) ? 0 : kBadPointer; }

int ClientSession::BookmarkOperation(int32_t id, int32_t op) {
  auto it = bookmarks_.find(id);
  if (it == bookmarks_.end()) return kBadPointer;
  Bookmark& b = it->second;
  Target t = Resolve(b.db, 10000 + b.rt);
  if (op == 0) {
    if (!t.pos->has) return kNotFound;
    b.marked = true;
    b.rid = t.pos->rid;
    return 0;
  }
  if (op == 1) {
    if (!b.marked) return kBookmarkNotSet;
    BeginRead();
    std::vector<char> img;
    if (!ReadRid(t, b.rid, &img)) return kBookmarkNotSet;
    Remember(t, b.rid, img.data());
    return 0;
  }
  return kBadDirection;
}

int ClientSession::GetServerParam(const char* name, char** text) {
  if (!name || !text) return kBadPointer;
  const std::string n = name;
  if (n != "VolumeId" && n != "RegLmgrName") return kUnknownParam;
  BeginRead();
  Stmt s(db_, "SELECT value FROM qor_param WHERE name = ?");
  StmtUse use(s.get());
  sqlite3_bind_text(s.get(), 1, name, -1, SQLITE_TRANSIENT);
  if (!use.Step()) return kUnknownParam;
  const char* v = reinterpret_cast<const char*>(sqlite3_column_text(s.get(), 0));
  if (!v) v = "";
  *text = AllocCopy(v, std::strlen(v) + 1);
  return 0;
}

int ClientSession::OpenExtPackage(const char* package) {
  if (!package) return kBadPointer;
  if (std::string(package) != "ZkProcess") return kNotAvailable;
  packages_.insert(package);
  return 0;
}

int ClientSession::CloseExtPackage(const char* package) {
  if (!package) return kBadPointer;
  return packages_.erase(package) ? 0 : kNotAvailable;
}

int ClientSession::CallExtFnc(const char* package, const char* function, void** output, int32_t* size) {
  if (!package || !function || !output || !size) return kBadPointer;
  if (!packages_.count(package) || std::string(function) != "xd16") return kNotAvailable;
  char* text = nullptr;
  int status = GetServerParam("VolumeId", &text);
  if (status != 0) return status;
  uint32_t volume = static_cast<uint32_t>(std::strtoul(text, nullptr, 10));
  FreeBuffer(text);
  unsigned char bytes[4] = {static_cast<unsigned char>(volume), static_cast<unsigned char>(volume >> 8),
                            static_cast<unsigned char>(volume >> 16), static_cast<unsigned char>(volume >> 24)};
  *output = AllocCopy(bytes, 4);
  *size = 4;
  return 0;
}

int ClientSession::SqlOperation(const char* statement) {
  if (!statement) return kBadPointer;
  lastSql_ = statement;
  return 0;
}

}  // namespace qordb
