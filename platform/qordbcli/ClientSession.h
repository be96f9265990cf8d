// One connection handle of the client library: its own SQLite connection to
// the server file, the databases it opened, its transaction, bookmarks and,
// per record type, the current key and the remembered current record.
//
// Reads outside a transaction share one read snapshot, held from call to
// call: it is ended before a write or a transaction begins, taken anew when
// another connection has committed since it was taken (so that no read sees
// older data than the last commit of any process), ended when the session
// has been idle for a few milliseconds (SnapshotWatch.h), and held beyond
// its call only where it keeps no writer from starting the log again. The
// statement of a selection by key value stays open on that snapshot, so that
// the selection of the next value goes on stepping it.
//
// Every operation returns a client status or throws StatusError; the entries,
// and the thread that ends idle snapshots, hold the session's mutex around
// each call.
#pragma once

#include <sqlite3.h>

#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "DictModel.h"
#include "KeptSelection.h"
#include "ServerFile.h"

namespace qordb {

class ClientSession {
 public:
  ClientSession() = default;
  ~ClientSession();
  ClientSession(const ClientSession&) = delete;
  ClientSession& operator=(const ClientSession&) = delete;

  std::mutex mutex;

  int InitUser(const void* block);
  int SetCode(int32_t length, const char* code);
  // Aborts an open transaction and closes the connection.
  void Close();

  int OpenDb(int32_t db, const char* name);
  int CloseDb(int32_t db);
  int GetDbDescription(int32_t db, char** image, int32_t* size);

  enum class Move { First, Prev, Next, Last, Current };
  int Navigate(Move move, int32_t db, int32_t rt, int32_t len, char** image);
  int DefineKey(int32_t db, int32_t rt, int32_t keyField);
  int FindRec(int32_t db, int32_t rt, int32_t len, char** buffer, bool next);
  int NewRec(int32_t db, int32_t rt, int32_t len, char** buffer);
  int ModRec(int32_t db, int32_t rt, int32_t len, char** buffer);
  int DelRec(int32_t db, int32_t rt, int32_t len, char** buffer);
  enum class ListKind { Equal, Greater };
  int FindList(ListKind kind, int32_t* size, char** keyImage, char** list, int32_t db, int32_t rt, int32_t keyField);
  int GetAllRec(int32_t db, int32_t rt, int32_t* size, char** list);
  int GetCount(int32_t db, int32_t rt, int32_t* count);
  int UnlockRecord(int32_t db, int32_t rt);

  int BeginTransaction(const char* name);
  int EndTransaction(int32_t commit);
  int GetNextId(const char* sequence, int32_t* id);

  int BookmarkCreate(int32_t db, int32_t rt, int32_t* id);
  int BookmarkDrop(int32_t id);
  int BookmarkOperation(int32_t id, int32_t op);

  int GetServerParam(const char* name, char** text);
  int OpenExtPackage(const char* package);
  int CloseExtPackage(const char* package);
  int CallExtFnc(const char* package, const char* function, void** output, int32_t* size);
  int SqlOperation(const char* statement);
  const std::string& LastSql() const { return lastSql_; }

  bool Connected() const { return db_ != nullptr; }
  // After a failure: SQLite may have ended the transaction on its own.
  void SyncTransaction();

  // Ends the held read snapshot when the last read is SnapshotIdleTime()
  // before now. Returns when to look again, or time_point::max() when the
  // session holds no snapshot any more. Called with mutex held.
  std::chrono::steady_clock::time_point EndIdleSnapshot(std::chrono::steady_clock::time_point now);
  // After each call: ends a snapshot that must not be held between calls.
  // Called with mutex held.
  void EndCall();

 private:
  struct Position {
    int32_t key = 1;   // field number of the current key, 1 for the default key
    bool has = false;  // a current record is remembered
    int64_t rid = 0;
    std::vector<char> image;  // the current record as last read or written
    int64_t transaction = 0;  // the transaction it was seen in, 0 outside one
  };
  struct OpenDatabase {
    DictModel model;
    std::vector<char> image;
    std::vector<Position> positions;  // per record type
    // Per record type: the positions of the fields that have a key column.
    std::vector<std::vector<int>> keyFields;
  };
  struct Bookmark {
    int32_t db;
    int rt;
    bool marked = false;
    int64_t rid = 0;
  };
  struct Target {
    int32_t dbId;
    OpenDatabase* odb;
    int index;  // record index
    const RecordModel* rec;
    Position* pos;
  };

  Target Resolve(int32_t db, int32_t rt);
  Target ResolveImage(int32_t db, int32_t rt, int32_t len, char** buffer);
  const std::vector<int>& KeyPartsOf(const Target& t, int32_t keyField) const;
  // The parts of the record type's current key; none for the default key.
  const std::vector<int>& CurrentKeyParts(const Target& t) const;
  // The prepared statement of one operation on one record type and key,
  // built by build() the first time.
  template <typename B>
  sqlite3_stmt* Cached(const Target& t, int32_t key, int op, B&& build);
  // Whether the record rid exists, and its image copied into image (when
  // not null).
  bool ReadRid(const Target& t, int64_t rid, std::vector<char>* image);
  // Copies the record image in column of row into to (when not null), once
  // its length is checked.
  void CopyStored(const Target& t, sqlite3_stmt* row, int column, std::vector<char>* to);
  // The record at pos was seen (read or written) in the open transaction,
  // so it is as pos holds it: no other connection writes meanwhile.
  bool SeenInThisTransaction(const Position& pos) const;
  // Hands the row's record (rid, img) to the caller and makes it current.
  int Deliver(const Target& t, sqlite3_stmt* row, char** image);
  void Remember(const Target& t, int64_t rid, const char* image);
  // The record ModRec and DelRec work on: the current record when it carries
  // the current key's value that image holds, else the first record that
  // does; 0 when none does. Its stored image goes to stored (when not null).
  int64_t Locate(const Target& t, const char* image, std::vector<char>* stored);
  // ModRec of the current record when it still carries the key value that
  // image (as sent) holds and no key column changes: img (normalised) is
  // stored without touching key columns or indexes. False when it does not
  // apply, with nothing changed.
  bool RewriteImage(const Target& t, const char* image, const char* img);
  // Whether a and b hold the same bytes in every field that has a key column.
  bool SameKeyColumns(const Target& t, const char* a, const char* b) const;
  // Stores img (normalised) as record rid's image, key columns untouched;
  // false when there is no such record.
  bool StoreImage(const Target& t, int64_t rid, const char* img);
  // FindList: the records whose key (made of parts) has key's value, by
  // insertion order; the kept selection goes on where it can.
  int SelectEqual(const Target& t, int32_t keyField, const std::vector<int>& parts, const char* key,
                  int32_t* size, char** list);
  // The first record, by insertion order, whose current key (made of parts)
  // equals the bound value.
  sqlite3_stmt* FindEqStmt(const Target& t, const std::vector<int>& parts);
  // The stored form of a record image sent for a write, in the session's
  // scratch buffer, valid until the next write.
  char* Normalised(const RecordModel& rec, const char* image);
  const DictModel& Sysdb();
  // Runs f inside the open transaction, or inside a transaction of its own.
  template <typename F>
  int Atomically(F&& f);

  // Before the reads of a call outside a transaction: keeps the held
  // snapshot when no connection has committed since it was taken, else
  // takes a new one.
  void BeginRead();
  // Before a write or a transaction, and when idle: ends the held snapshot.
  void EndRead();
  // Steps a statement of control to its end; throws StatusError.
  void Run(sqlite3_stmt* s);
  void Rollback();  // never throws

  // The statements that begin and end transactions, prepared once.
  struct Control {
    Stmt begin, beginWrite, commit, rollback;
  };
  // The wal-index header, as it was when the snapshot was taken: two copies
  // of 48 bytes at the start of the server file's shared memory, rewritten
  // by every commit of any connection.
  static constexpr int kWalHeaderWords = 24;
  // In the shared memory: the last frame of the log (in the header) and the
  // frames of it copied back into the database (after both header copies).
  static constexpr int kMaxFrameWord = 4, kBackfillWord = 24;
  // SQLite's own checkpoint size: a log of this many frames is long.
  static constexpr uint32_t kLongLogFrames = 1000;

  sqlite3* db_ = nullptr;
  std::unique_ptr<Control> control_;
  const volatile uint32_t* walIndex_ = nullptr;  // null when SQLite did not map it
  uint32_t walHeader_[kWalHeaderWords] = {};
  bool snapshot_ = false;  // a read transaction of ours is held outside a transaction
  bool holdSnapshot_ = true;  // it may be held beyond the call that took it
  bool watched_ = false;   // the idle watch knows of this session
  std::chrono::steady_clock::time_point lastRead_;
  std::vector<char> scratch_;
  std::vector<char> located_;  // the stored image of the record ModRec changes
  std::string code_;
  std::map<int32_t, OpenDatabase> dbs_;
  std::unique_ptr<DictModel> sysdb_;
  std::unique_ptr<SequenceDraw> sequences_;  // on sysdb_'s SEQUENCIES
  bool inTransaction_ = false;
  int64_t transactions_ = 0;  // the transactions begun, the open one's number
  std::map<std::tuple<int32_t, int, int32_t, int>, Stmt> stmts_;
  KeptSelection kept_;  // on one of stmts_
  std::map<int32_t, Bookmark> bookmarks_;
  int32_t nextBookmark_ = 1;
  std::set<std::string> packages_;
  std::string lastSql_;
};

}  // namespace qordb
