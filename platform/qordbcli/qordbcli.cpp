// The exported entries: look the handle up, hold its session for the call,
// and turn every failure into a status, so no input can take the caller down.
#include "qordbcli.h"

#include <pthread.h>

#include <chrono>
#include <ctime>
#include <memory>
#include <mutex>
#include <new>
#include <unordered_map>

#include "BufferRegistry.h"
#include "ClientSession.h"
#include "FileLocks.h"
#include "SnapshotWatch.h"
#include "qordbcli_diag.h"

#define QOR_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

using qordb::ClientSession;
using qordb::StatusError;

constexpr int32_t kNoConnection = 10014;

// A handle belongs to the process that made it: after a fork, the child's
// copies of its parent's sessions are the parent's, and no call of the child
// may use them (FileLocks.h).
struct Handle {
  std::shared_ptr<ClientSession> session;
  int forks;  // the forks this process had been made by when it was made
};

struct Handles {
  std::mutex mutex;
  std::unordered_map<int32_t, Handle> sessions;
  int32_t next = 1;
  int forks = 0;  // the forks between the first process and this one
};

void BeforeFork();
void InParent();
void InChild();

Handles& Table() {
  static auto* t = [] {
    pthread_atfork(BeforeFork, InParent, InChild);
    return new Handles;  // entries may still run while statics are torn down
  }();
  return *t;
}

void BeforeFork() { Table().mutex.lock(); }
void InParent() { Table().mutex.unlock(); }
void InChild() {
  ++Table().forks;
  Table().mutex.unlock();
}

// The session of handle h when it is this process's own.
std::shared_ptr<ClientSession> Find(int32_t h) {
  Handles& t = Table();
  std::lock_guard<std::mutex> lock(t.mutex);
  auto it = t.sessions.find(h);
  if (it == t.sessions.end() || it->second.forks != t.forks) return nullptr;
  return it->second.session;
}

template <typename F>
int Guarded(F&& f) {
  try {
    return f();
  } catch (const StatusError& e) {
    return e.status;
  } catch (const std::bad_alloc&) {
    return qordb::kNoMemory;
  } catch (...) {
    return qordb::kEngineFailure;
  }
}

// Runs f on a connected session; connected false also takes sessions that
// have not sent their user block yet.
template <typename F>
int OnSession(int32_t h, F&& f, bool connected = true) {
  std::shared_ptr<ClientSession> s = Find(h);
  if (!s) return qordb::kBadConnection;
  std::lock_guard<std::mutex> lock(s->mutex);
  if (connected && !s->Connected()) return qordb::kBadConnection;
  int status = Guarded([&] { return f(*s); });
  if (status != 0) s->SyncTransaction();
  s->EndCall();
  return status;
}

}  // namespace

QOR_EXPORT int FreePtr(void* buffer) {
  if (!buffer) return qordb::kBadPointer;
  return qordb::FreeBuffer(buffer) ? 0 : qordb::kBadPointer;
}

QOR_EXPORT int CreateDbHandler(int32_t* h) {
  if (!h) return qordb::kBadPointer;
  return Guarded([&] {
    auto s = std::make_shared<ClientSession>();
    Handles& t = Table();
    std::lock_guard<std::mutex> lock(t.mutex);
    int32_t id = t.next;
    // Skip the value that means "no connection", and any id still in use after wrapping.
    while (id == kNoConnection || id <= 0 || t.sessions.count(id)) id = id == INT32_MAX ? 1 : id + 1;
    t.sessions.emplace(id, Handle{std::move(s), t.forks});
    t.next = id == INT32_MAX ? 1 : id + 1;
    *h = id;
    return 0;
  });
}

QOR_EXPORT int InitUserEx(int32_t h, const void* userBlock) {
  return OnSession(
      h, [&](ClientSession& s) { return s.InitUser(userBlock); }, false);
}

QOR_EXPORT int SetCode(int32_t h, int32_t length, const char* code) {
  return OnSession(
      h, [&](ClientSession& s) { return s.SetCode(length, code); }, false);
}

QOR_EXPORT int FreeDbHandler(int32_t h) {
  std::shared_ptr<ClientSession> s;
  {
    Handles& t = Table();
    std::lock_guard<std::mutex> lock(t.mutex);
    auto it = t.sessions.find(h);
    if (it == t.sessions.end() || it->second.forks != t.forks) return qordb::kBadConnection;
    s = std::move(it->second.session);
    t.sessions.erase(it);
  }
  std::lock_guard<std::mutex> lock(s->mutex);
  s->Close();  // aborts an open transaction
  return 0;
}

// Entries no caller of this system uses: refused, touching nothing.
QOR_EXPORT int ArchiveDb(int32_t) { return qordb::kNotAvailable; }
QOR_EXPORT int RestoreArchive(int32_t, const char*) { return qordb::kNotAvailable; }
QOR_EXPORT int CreateDatabase(int32_t, const char*, int32_t, int32_t) { return qordb::kNotAvailable; }
QOR_EXPORT int Connect(int32_t, const char*) { return qordb::kNotAvailable; }
QOR_EXPORT int DropDatabase(int32_t, const char*) { return qordb::kNotAvailable; }
QOR_EXPORT int CreateTablespace(int32_t, const char*) { return qordb::kNotAvailable; }
QOR_EXPORT int Reindex(int32_t) { return qordb::kNotAvailable; }
QOR_EXPORT int GetServiceNames(int32_t, char**, int32_t*, int32_t) { return qordb::kNotAvailable; }
QOR_EXPORT int StepToRelative(int32_t, int32_t, int32_t, int32_t) { return qordb::kNotAvailable; }
QOR_EXPORT int SetEventPtr(int32_t, void*) { return qordb::kNotAvailable; }
QOR_EXPORT int SetEventCookie(int32_t, void*) { return qordb::kNotAvailable; }
QOR_EXPORT int SqlGetResult(int32_t, int32_t, int32_t, int32_t, char**, int32_t*) { return qordb::kNotAvailable; }
QOR_EXPORT int SqlGetResultText(int32_t, char**) { return qordb::kNotAvailable; }
QOR_EXPORT int GetQorVersion(int32_t, int32_t*, int32_t*) { return qordb::kNotAvailable; }
QOR_EXPORT int FindBlob(int32_t, int32_t, char**, int32_t*) { return qordb::kNotAvailable; }
QOR_EXPORT int NewBlob(int32_t, const char*, int32_t, int32_t*) { return qordb::kNotAvailable; }
QOR_EXPORT int DelBlob(int32_t, int32_t) { return qordb::kNotAvailable; }
QOR_EXPORT int FindData(int32_t, int32_t, int32_t, int32_t, const char*, char**, int32_t*) {
  return qordb::kNotAvailable;
}
QOR_EXPORT int WriteData(int32_t, int32_t, int32_t, int32_t, const char*, int32_t) { return qordb::kNotAvailable; }
QOR_EXPORT int LockRecord(int32_t, int32_t, int32_t, int32_t) { return qordb::kNotAvailable; }
QOR_EXPORT int WhoMadeLock(int32_t, int32_t, int32_t, int32_t, char**) { return qordb::kNotAvailable; }
QOR_EXPORT int GetStatuses(int32_t, char**, int32_t*) { return qordb::kNotAvailable; }
QOR_EXPORT int EngineStatistic(int32_t, int32_t, char**, int32_t*) { return qordb::kNotAvailable; }
QOR_EXPORT int KillUser(int32_t, int32_t) { return qordb::kNotAvailable; }
QOR_EXPORT int GetMaxuser(int32_t*) { return qordb::kNotAvailable; }
QOR_EXPORT int GetCompanyDataFile(int32_t, const char*, char**) { return qordb::kNotAvailable; }
QOR_EXPORT int CursorCreate(int32_t, int32_t, int32_t, int32_t, int32_t*) { return qordb::kNotAvailable; }
QOR_EXPORT int CursorDrop(int32_t, int32_t) { return qordb::kNotAvailable; }
QOR_EXPORT int CursorOperation(int32_t, int32_t, int32_t, int32_t, char**) { return qordb::kNotAvailable; }
QOR_EXPORT int GetConditionedCount(int32_t, int32_t, int32_t, int32_t, int32_t, const char*, int32_t, int32_t*) {
  return qordb::kNotAvailable;
}
QOR_EXPORT int FindLess(int32_t, int32_t*, char**, char**, int32_t, int32_t, int32_t) { return qordb::kNotAvailable; }
QOR_EXPORT int FindListOr(int32_t, int32_t*, char**, char**, int32_t, int32_t, int32_t) { return qordb::kNotAvailable; }
QOR_EXPORT int GetRecLocks(int32_t, char**, int32_t*) { return qordb::kNotAvailable; }

QOR_EXPORT int OpenExtPackage(int32_t h, const char* package) {
  return OnSession(h, [&](ClientSession& s) { return s.OpenExtPackage(package); });
}
QOR_EXPORT int CloseExtPackage(int32_t h, const char* package) {
  return OnSession(h, [&](ClientSession& s) { return s.CloseExtPackage(package); });
}
QOR_EXPORT int CallExtFnc(int32_t h, const char* package, const char* function, const void* input, void** output,
                          int32_t* size) {
  (void)input;  // "xd16" takes no input
  return OnSession(h, [&](ClientSession& s) { return s.CallExtFnc(package, function, output, size); });
}

QOR_EXPORT int CloseDb(int32_t h, int32_t db) {
  return OnSession(h, [&](ClientSession& s) { return s.CloseDb(db); });
}
QOR_EXPORT int OpenDbEx(int32_t h, int32_t db, const char* name) {
  return OnSession(h, [&](ClientSession& s) { return s.OpenDb(db, name); });
}
QOR_EXPORT int OpenDbExA(int32_t h, int32_t db, const char* name, char mode) {
  (void)mode;  // every open mode reads and writes
  return OnSession(h, [&](ClientSession& s) { return s.OpenDb(db, name); });
}
QOR_EXPORT int GetDbDescription(int32_t h, int32_t db, char** image, int32_t* size) {
  return OnSession(h, [&](ClientSession& s) { return s.GetDbDescription(db, image, size); });
}

QOR_EXPORT int BeginTransaction(int32_t h, const char* name, int32_t, int32_t) {
  return OnSession(h, [&](ClientSession& s) { return s.BeginTransaction(name); });
}
QOR_EXPORT int AddToTransaction(int32_t h, int32_t, int32_t) {
  // A transaction already spans every database of the connection.
  return OnSession(h, [&](ClientSession&) { return 0; });
}
QOR_EXPORT int EndTransaction(int32_t h, int32_t commit) {
  return OnSession(h, [&](ClientSession& s) { return s.EndTransaction(commit); });
}
QOR_EXPORT int GetServerParam(int32_t h, const char* name, char** text) {
  return OnSession(h, [&](ClientSession& s) { return s.GetServerParam(name, text); });
}

QOR_EXPORT int FirstRec(int32_t h, int32_t db, int32_t rt, int32_t len, char** image) {
  return OnSession(h, [&](ClientSession& s) { return s.Navigate(ClientSession::Move::First, db, rt, len, image); });
}
QOR_EXPORT int PrevRec(int32_t h, int32_t db, int32_t rt, int32_t len, char** image) {
  return OnSession(h, [&](ClientSession& s) { return s.Navigate(ClientSession::Move::Prev, db, rt, len, image); });
}
QOR_EXPORT int NextRec(int32_t h, int32_t db, int32_t rt, int32_t len, char** image) {
  return OnSession(h, [&](ClientSession& s) { return s.Navigate(ClientSession::Move::Next, db, rt, len, image); });
}
QOR_EXPORT int LastRec(int32_t h, int32_t db, int32_t rt, int32_t len, char** image) {
  return OnSession(h, [&](ClientSession& s) { return s.Navigate(ClientSession::Move::Last, db, rt, len, image); });
}
QOR_EXPORT int ReadCurrentRec(int32_t h, int32_t db, int32_t rt, int32_t len, char** image) {
  return OnSession(h, [&](ClientSession& s) { return s.Navigate(ClientSession::Move::Current, db, rt, len, image); });
}
QOR_EXPORT int DefineKey(int32_t h, int32_t db, int32_t rt, int32_t keyField) {
  return OnSession(h, [&](ClientSession& s) { return s.DefineKey(db, rt, keyField); });
}
QOR_EXPORT int FindRec(int32_t h, int32_t db, int32_t rt, int32_t len, char** buffer) {
  return OnSession(h, [&](ClientSession& s) { return s.FindRec(db, rt, len, buffer, false); });
}
QOR_EXPORT int FindRecNext(int32_t h, int32_t db, int32_t rt, int32_t len, char** buffer) {
  return OnSession(h, [&](ClientSession& s) { return s.FindRec(db, rt, len, buffer, true); });
}
QOR_EXPORT int NewRec(int32_t h, int32_t db, int32_t rt, int32_t len, char** buffer) {
  return OnSession(h, [&](ClientSession& s) { return s.NewRec(db, rt, len, buffer); });
}
QOR_EXPORT int ModRec(int32_t h, int32_t db, int32_t rt, int32_t len, char** buffer) {
  return OnSession(h, [&](ClientSession& s) { return s.ModRec(db, rt, len, buffer); });
}
QOR_EXPORT int DelRec(int32_t h, int32_t db, int32_t rt, int32_t len, char** buffer) {
  return OnSession(h, [&](ClientSession& s) { return s.DelRec(db, rt, len, buffer); });
}
QOR_EXPORT int UnlockRecord(int32_t h, int32_t db, int32_t rt, int32_t) {
  return OnSession(h, [&](ClientSession& s) { return s.UnlockRecord(db, rt); });
}
QOR_EXPORT int GetNextId(int32_t h, const char* sequence, int32_t* id) {
  return OnSession(h, [&](ClientSession& s) { return s.GetNextId(sequence, id); });
}
QOR_EXPORT int GetServerTime(int32_t h, time_t* now) {
  return OnSession(h, [&](ClientSession&) {
    if (!now) return static_cast<int>(qordb::kBadPointer);
    *now = std::time(nullptr);
    return 0;
  });
}
QOR_EXPORT int BookmarkCreate(int32_t h, int32_t db, int32_t rt, int32_t* id) {
  return OnSession(h, [&](ClientSession& s) { return s.BookmarkCreate(db, rt, id); });
}
QOR_EXPORT int BookmarkDrop(int32_t h, int32_t id) {
  return OnSession(h, [&](ClientSession& s) { return s.BookmarkDrop(id); });
}
QOR_EXPORT int BookmarkOperation(int32_t h, int32_t id, int32_t op) {
  return OnSession(h, [&](ClientSession& s) { return s.BookmarkOperation(id, op); });
}
QOR_EXPORT int GetCount(int32_t h, int32_t db, int32_t rt, int32_t* count) {
  return OnSession(h, [&](ClientSession& s) { return s.GetCount(db, rt, count); });
}
QOR_EXPORT int FindList(int32_t h, int32_t* size, char** keyImage, char** list, int32_t db, int32_t rt,
                        int32_t keyField) {
  return OnSession(h, [&](ClientSession& s) {
    return s.FindList(ClientSession::ListKind::Equal, size, keyImage, list, db, rt, keyField);
  });
}
QOR_EXPORT int FindGreater(int32_t h, int32_t* size, char** keyImage, char** list, int32_t db, int32_t rt,
                           int32_t keyField) {
  return OnSession(h, [&](ClientSession& s) {
    return s.FindList(ClientSession::ListKind::Greater, size, keyImage, list, db, rt, keyField);
  });
}
QOR_EXPORT int GetAllRec(int32_t h, int32_t db, int32_t rt, int32_t* size, char** list) {
  return OnSession(h, [&](ClientSession& s) { return s.GetAllRec(db, rt, size, list); });
}
QOR_EXPORT int SqlOperation(int32_t h, const char* statement, int32_t) {
  return OnSession(h, [&](ClientSession& s) { return s.SqlOperation(statement); });
}

QOR_EXPORT int64_t QorDbCliOutstandingBuffers() { return qordb::OutstandingBuffers(); }

QOR_EXPORT void QorDbCliSetSnapshotIdleTime(int64_t microseconds) {
  qordb::SetSnapshotIdleTime(std::chrono::microseconds(microseconds));
}

QOR_EXPORT const char* QorDbCliLastSql(int32_t h) {
  std::shared_ptr<ClientSession> s = Find(h);
  if (!s) return "";
  std::lock_guard<std::mutex> lock(s->mutex);
  return s->LastSql().c_str();
}

QOR_EXPORT const char* QorDbCliLockNotice() { return qordb::LockNotice(); }
