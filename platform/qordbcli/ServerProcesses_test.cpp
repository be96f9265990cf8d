// The server beside other programs, each in a process of its own: code in a
// program's process that opens and closes a server file, the log beside a
// session that keeps reading, and handles across fork. What each case checks
// is the stored data, read by another process afterwards.
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "SchemaDef.h"
#include "ServerAdmin.h"
#include "TestServer_testutil.h"
#include "qordbcli.h"

namespace {

std::string Login(const TestServer& server) { return "login " + std::to_string(server.shopId); }

// The whole file is sound, read by SQLite itself once every program is done.
std::string IntegrityOf(const std::string& path) {
  sqlite3* db = nullptr;
  std::string result = "cannot open";
  if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
    sqlite3_stmt* s = nullptr;
    if (sqlite3_prepare_v2(db, "PRAGMA integrity_check", -1, &s, nullptr) == SQLITE_OK &&
        sqlite3_step(s) == SQLITE_ROW)
      result = reinterpret_cast<const char*>(sqlite3_column_text(s, 0));
    sqlite3_finalize(s);
  }
  sqlite3_close(db);
  return result;
}

enum class State { kIdle, kSnapshot, kWriting };

// What became of the commits when other code in the first of three programs
// on a server opened and closed file (the server file, "-wal" or "-shm")
// while that program was in state: the first commits record 100 after it,
// a second program logs in and exits, a third looks for 100 and commits
// 200, and a last one, once the others have exited, looks for both.
struct Outcome {
  int firstCommit = -1, thirdSeesFirst = -1, thirdCommit = -1;
  std::string firstCount;
  int firstKept = -1, thirdKept = -1;
  std::string lastCount, integrity;
  auto Tie() const {
    return std::tie(firstCommit, thirdSeesFirst, thirdCommit, firstCount, firstKept, thirdKept,
                    lastCount, integrity);
  }
  bool operator==(const Outcome& o) const { return Tie() == o.Tie(); }
  // Whether a commit that answered 0 is missing at the end.
  bool Lost() const {
    return (firstCommit == 0 && firstKept != 0) || (thirdCommit == 0 && thirdKept != 0);
  }
  friend void PrintTo(const Outcome& o, std::ostream* os) {
    *os << "first commits " << o.firstCommit << ", third sees it " << o.thirdSeesFirst
        << ", third commits " << o.thirdCommit << ", first counts " << o.firstCount
        << "; at the end the first's " << o.firstKept << ", the third's " << o.thirdKept
        << ", count " << o.lastCount << ", integrity " << o.integrity;
  }
};
const Outcome kEveryCommitKept{0, 0, 0, "7", 0, 0, "7", "ok"};

// Every program runs with the variables of environment.
Outcome TouchBesideSessions(const std::string& file, State state,
                            const std::vector<std::string>& environment = {}) {
  TestServer server;
  Outcome o;
  Peer first(environment);
  EXPECT_EQ(first.Status(Login(server)), 0);
  if (state == State::kSnapshot) {
    EXPECT_EQ(first.Status("idle 3600000000"), 0);
  }
  EXPECT_EQ(first.Ask("count"), "5");
  if (state == State::kIdle) std::this_thread::sleep_for(std::chrono::milliseconds(50));
  if (state == State::kWriting) {
    EXPECT_EQ(first.Status("begin"), 0);
    EXPECT_EQ(first.Status("add 100"), 0);
  }
  // Other code in the first program's process opens and closes the file,
  // which drops every POSIX lock the process holds on it.
  EXPECT_EQ(first.Status("touch " + server.path + file), 0);
  {
    Peer second(environment);
    EXPECT_EQ(second.Status(Login(server)), 0);
    EXPECT_EQ(second.Ask("count"), "5");
  }  // logs out and exits
  o.firstCommit = first.Status(state == State::kWriting ? "commit" : "add 100");
  {
    Peer third(environment);
    EXPECT_EQ(third.Status(Login(server)), 0);
    o.thirdSeesFirst = third.Status("has 100");
    o.thirdCommit = third.Status("add 200");
  }
  o.firstCount = first.Ask("count");
  EXPECT_EQ(first.Quit(), 0);

  Peer last(environment);
  EXPECT_EQ(last.Status(Login(server)), 0);
  o.firstKept = last.Status("has 100");
  o.thirdKept = last.Status("has 200");
  o.lastCount = last.Ask("count");
  last.Quit();
  o.integrity = IntegrityOf(server.path);
  return o;
}

// The variables that preload the shim standing for a system without what
// lacking names (peer/qordbcli_shim.cpp). A sanitized peer would refuse to
// start with the shim loaded before the sanitizer's runtime.
std::vector<std::string> Lacking(const std::string& lacking) {
  return {"LD_PRELOAD=" QORDBCLI_SHIM, "QOR_SHIM=" + lacking,
          "ASAN_OPTIONS=verify_asan_link_order=0"};
}

TEST(ForeignCodeInTheProcess, EveryCommitThatAnsweredZeroIsKept) {
  const std::pair<State, const char*> states[] = {{State::kIdle, "idle"},
                                                  {State::kSnapshot, "holding a read snapshot"},
                                                  {State::kWriting, "inside a write transaction"}};
  const std::pair<const char*, std::vector<std::string>> systems[] = {
      {"with /proc", {}}, {"without /proc", Lacking("no-proc")}};
  for (const auto& [system, environment] : systems) {
    for (const char* file : {"", "-wal", "-shm"}) {
      for (const auto& [state, name] : states) {
        SCOPED_TRACE(std::string(system) + ", the server file" + file + ", " + name);
        EXPECT_EQ(TouchBesideSessions(file, state, environment), kEveryCommitKept);
      }
    }
  }
}

TEST(ForeignCodeInTheProcess, WithoutOfdLocksTheLibrarySaysSoOnceAndTheLossReturns) {
  TestServer server;
  const std::string errors = server.dir + "/errors";
  {
    Peer sound({}, errors);
    ASSERT_EQ(sound.Status(Login(server)), 0);
    EXPECT_EQ(sound.Ask("count"), "5");
    EXPECT_EQ(sound.Ask("notice"), "") << "OFD locks are kept";
    Peer withoutProc(Lacking("no-proc"));
    ASSERT_EQ(withoutProc.Status(Login(server)), 0);
    EXPECT_EQ(withoutProc.Ask("count"), "5");
    EXPECT_EQ(withoutProc.Ask("notice"), "") << "OFD locks are kept without /proc";
  }
  {
    Peer plain(Lacking("no-ofd"), errors);
    ASSERT_EQ(plain.Status(Login(server)), 0);
    EXPECT_EQ(plain.Ask("count"), "5");
    EXPECT_EQ(plain.Status("add 100"), 0);  // locks on the log and the index too
    const std::string notice = plain.Ask("notice");
    EXPECT_EQ(notice, "qordbcli: " + server.path +
                          ": OFD locks refused (Invalid argument); SQLite's locks on it stay plain "
                          "POSIX locks, which closing any descriptor of the file in this process "
                          "drops");
    EXPECT_EQ(plain.Quit(), 0);
    std::ifstream said(errors);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(said), {}), notice + "\n")
        << "said once, on the standard error";
  }
  // As the README says: a close by other code drops the first program's
  // locks, and a commit that answered 0 is lost.
  const Outcome o = TouchBesideSessions("", State::kIdle, Lacking("no-ofd"));
  EXPECT_TRUE(o.Lost()) << ::testing::PrintToString(o);
}

// A program that uses SQLite itself and loads the library later
// (peer/qordbcli_late.cpp): with the system's shared SQLite, or with a copy
// of its own that the library's code does not see.
const char* LateProgram(bool ownCopy) { return ownCopy ? "qordbcli_late_own" : "qordbcli_late"; }

// The rows that the caller's own SQLite committed to the file at path.
std::string CallerRowsOf(const std::string& path) {
  sqlite3* db = nullptr;
  std::string rows = "cannot open";
  if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
    sqlite3_stmt* s = nullptr;
    rows = "no table";
    if (sqlite3_prepare_v2(db, "SELECT count(*) FROM caller_rows", -1, &s, nullptr) == SQLITE_OK &&
        sqlite3_step(s) == SQLITE_ROW)
      rows = std::to_string(sqlite3_column_int(s, 0));
    sqlite3_finalize(s);
  }
  sqlite3_close(db);
  return rows;
}

TEST(SqliteBesideTheLibrary, ALoginIsRefusedWhileSqliteOutsideTheLibraryHasTheServer) {
  enum class Before { kReadAndKept, kOnlyOpened, kAnotherDatabase, kClosedEverything };
  struct Case {
    const char* name;
    bool ownCopy;
    Before before;  // what the caller's SQLite did before the library was loaded
    int login;
    bool otherFirst = false;  // another program had the server open and read before
    std::vector<std::string> environment = {};
  };
  const Case cases[] = {
      {"shared SQLite, the server read and kept", false, Before::kReadAndKept, 10042},
      {"shared SQLite, the server only opened", false, Before::kOnlyOpened, 10042},
      {"shared SQLite, another database read and kept", false, Before::kAnotherDatabase, 0},
      {"shared SQLite, everything closed again", false, Before::kClosedEverything, 0},
      {"shared SQLite, the server read and kept after another program's", false,
       Before::kReadAndKept, 10042, true},
      {"shared SQLite, the server read and kept, without /proc", false, Before::kReadAndKept, 10042,
       false, Lacking("no-proc")},
      {"shared SQLite, the server only opened, without /proc", false, Before::kOnlyOpened, 10042,
       false, Lacking("no-proc")},
      {"own SQLite, the server read and kept", true, Before::kReadAndKept, 10042},
      // Holds no lock, so nothing tells it; its SQLite is not the library's.
      {"own SQLite, the server only opened", true, Before::kOnlyOpened, 0},
      {"own SQLite, another database read and kept", true, Before::kAnotherDatabase, 0},
      {"own SQLite, everything closed again", true, Before::kClosedEverything, 0},
      {"own SQLite, the server read and kept after another program's", true, Before::kReadAndKept,
       10042, true},
      {"own SQLite, the server read and kept, without /proc", true, Before::kReadAndKept, 10042,
       false, Lacking("no-proc")},
  };
  for (const Case& c : cases) {
#ifndef QORDBCLI_LATE_OWN
    if (c.ownCopy) continue;  // no static SQLite to link a copy of
#endif
    SCOPED_TRACE(c.name);
    TestServer server;
    const std::string early =
        c.before == Before::kAnotherDatabase ? MakeForeignFiles(server.dir)[1] : server.path;
    Peer first;
    if (c.otherFirst) {
      ASSERT_EQ(first.Status(Login(server)), 0);
      ASSERT_EQ(first.Ask("count"), "5");
    }
    Peer caller(LateProgram(c.ownCopy), {QORDBCLI_LIBRARY}, c.environment);
    ASSERT_EQ(caller.Status("sqlite " + early), 0);
    if (c.before != Before::kOnlyOpened) {
      ASSERT_EQ(caller.Status("read"), 0);
    }
    const bool kept = c.before != Before::kClosedEverything;
    if (!kept) {
      ASSERT_EQ(caller.Status("close"), 0);
    }
    ASSERT_EQ(caller.Status("load"), 0);
    EXPECT_EQ(caller.Status("separate"), c.ownCopy ? 1 : 0) << "whose SQLite the library uses";
    const int login = caller.Status(Login(server));
    EXPECT_EQ(login, c.login);
    // The caller's commits through the library, where it is logged in.
    std::vector<int> added;
    for (int id = 1001; login == 0 && id <= 1010; ++id)
      if (caller.Status("add " + std::to_string(id)) == 0) added.push_back(id);
    EXPECT_EQ(caller.Status("free"), 0);
    {
      Peer visitor;  // connects, reads and disconnects
      ASSERT_EQ(visitor.Status(Login(server)), 0);
      EXPECT_EQ(visitor.Ask("count"), std::to_string(5 + added.size()));
    }
    // The caller's own SQLite commits beside another program's commits.
    if (kept) {
      EXPECT_EQ(caller.Status("insert 10"), 0);
    }
    {
      Peer writer;
      ASSERT_EQ(writer.Status(Login(server)), 0);
      for (int id = 2001; id <= 2100; ++id) added.push_back(id);
      for (size_t i = added.size() - 100; i < added.size(); ++i)
        EXPECT_EQ(writer.Status("add " + std::to_string(added[i])), 0);
    }
    EXPECT_EQ(caller.Quit(), 0);  // closes its SQLite
    EXPECT_EQ(first.Quit(), 0);

    // Every commit that answered 0, seen by other processes once all are done.
    EXPECT_EQ(IntegrityOf(server.path), "ok");
    if (kept) {
      EXPECT_EQ(CallerRowsOf(early), "10");
    }
    Peer last;
    ASSERT_EQ(last.Status(Login(server)), 0);
    EXPECT_EQ(last.Ask("count"), std::to_string(5 + added.size()));
    std::vector<int> missing;
    for (int id : added)
      if (last.Status("has " + std::to_string(id)) != 0) missing.push_back(id);
    EXPECT_EQ(missing, std::vector<int>{});
  }
}

TEST(SqliteBesideTheLibrary, AConnectionOpenedWhileTheLibraryLoadsIsRefusedWhileItsLocksArePlain) {
  // A thread of the caller opens the server, reads it and keeps it, at some
  // moment of the library's load, which notes the 15,000 descriptors open:
  // the moments are spread over as long as a load takes here.
  long long loadTime = 0;
  {
    TestServer server;
    Peer caller(LateProgram(false), {QORDBCLI_LIBRARY});
    ASSERT_EQ(caller.Status("descriptors 15000"), 0);
    const auto start = std::chrono::steady_clock::now();
    ASSERT_EQ(caller.Status("load"), 0);
    loadTime = std::chrono::duration_cast<std::chrono::microseconds>(
                   std::chrono::steady_clock::now() - start)
                   .count();
  }
  const int runs = 40;
  for (int run = 0; run < runs; ++run) {
    const long long delay = loadTime * 6 / 5 * run / runs;  // microseconds
    SCOPED_TRACE("opened " + std::to_string(delay) + " us into the load");
    TestServer server;
    Peer caller(LateProgram(false), {QORDBCLI_LIBRARY});
    ASSERT_EQ(caller.Status("descriptors 15000"), 0);
    ASSERT_EQ(caller.Status("race " + server.path + " " + std::to_string(delay)), 0);
    ASSERT_EQ(caller.Status("load"), 0);
    // Whether its connection was opened before the library routed SQLite's calls.
    const bool plain = caller.Status("plain " + server.path) == 1;
    const int login = caller.Status(Login(server));
    EXPECT_EQ(login, plain ? 10042 : 0);
    if (login == 0) {
      EXPECT_EQ(caller.Status("add 100"), 0);
      // Other code in the process opens and closes the server's files, and
      // another program connects, reads and disconnects.
      for (const char* file : {"", "-wal", "-shm"})
        EXPECT_EQ(caller.Status("touch " + server.path + file), 0) << file;
      {
        Peer visitor;
        ASSERT_EQ(visitor.Status(Login(server)), 0);
        EXPECT_EQ(visitor.Ask("count"), "6");
      }
      EXPECT_EQ(caller.Status("add 200"), 0);
    }
    EXPECT_EQ(caller.Status("free"), 0);
    EXPECT_EQ(caller.Quit(), 0);

    EXPECT_EQ(IntegrityOf(server.path), "ok");
    Peer last;
    ASSERT_EQ(last.Status(Login(server)), 0);
    EXPECT_EQ(last.Ask("count"), login == 0 ? "7" : "5");
    if (login == 0) {
      EXPECT_EQ(last.Status("has 100"), 0);
      EXPECT_EQ(last.Status("has 200"), 0);
    }
  }
}

TEST(SqliteBesideTheLibrary, TheLibrarysOwnDescriptionIsNoDescriptorOfBefore) {
  TestServer server;
  const std::string other = MakeForeignFiles(server.dir)[1];
  Peer caller(LateProgram(false), {QORDBCLI_LIBRARY});
  ASSERT_EQ(caller.Status("sqlite " + other), 0);
  ASSERT_EQ(caller.Status("read"), 0);
  const std::string opened = caller.Ask("open " + server.path);  // not SQLite
  ASSERT_EQ(opened.substr(0, 2), "0 ");
  ASSERT_EQ(caller.Status("load"), 0);
  // Both closed before the login: the library's descriptions may take their numbers.
  ASSERT_EQ(caller.Status("close"), 0);
  ASSERT_EQ(caller.Status("shut " + opened.substr(2)), 0);
  EXPECT_EQ(caller.Status(Login(server)), 0);
  EXPECT_EQ(caller.Status("add 100"), 0);
  EXPECT_EQ(caller.Status(Login(server)), 0) << "a second handle on the same server";
  EXPECT_EQ(caller.Status("add 200"), 0);
  EXPECT_EQ(caller.Status("free"), 0);
  EXPECT_EQ(caller.Status("free"), 0);
  EXPECT_EQ(caller.Quit(), 0);
  Peer last;
  ASSERT_EQ(last.Status(Login(server)), 0);
  EXPECT_EQ(last.Status("has 100"), 0);
  EXPECT_EQ(last.Status("has 200"), 0);
  EXPECT_EQ(last.Ask("count"), "7");
}

// A database of large records, so that a few hundred commits write about
// 20 MB to the log.
qordb::SchemaDef BulkSchema() {
  qordb::SchemaDef s;
  s.name = "BULK";
  s.records.push_back({"PAGE", {F("ID", 'l', 0, 'u'), F("BODY", 'c', 2000)}});
  return s;
}

// Writes 10,000 records of 2,000 bytes in 200 transactions through a handle
// of this process; returns the largest size the log had after a commit.
off_t WriteAndWatchTheLog(const std::string& path, int32_t bulkId) {
  BareClient bulk;
  EXPECT_EQ(bulk.Open("SRV", bulkId, "BULK"), 0);
  off_t largest = 0;
  for (int t = 0, id = 1; t < 200; ++t) {
    EXPECT_EQ(BeginTransaction(bulk.h, "Bulk", 0, 0), 0);
    for (int i = 0; i < 50; ++i) EXPECT_EQ(bulk.Add("PAGE", id++, 'x'), 0);
    EXPECT_EQ(EndTransaction(bulk.h, 1), 0);
    struct stat log {};
    if (stat((path + "-wal").c_str(), &log) == 0) largest = std::max(largest, log.st_size);
  }
  EXPECT_EQ(FreeDbHandler(bulk.h), 0);
  return largest;
}

TEST(TheLog, StaysBoundedBesideAnotherSession) {
  struct Case {
    const char* other;
    std::function<void(Peer&)> start, stop;
  };
  const Case cases[] = {
      {"no other session", nullptr, nullptr},
      {"read once then idle", [](Peer& p) { EXPECT_EQ(p.Ask("count"), "5"); }, nullptr},
      {"a read every 1 ms", [](Peer& p) { p.Send("reads 1000"); },
       [](Peer& p) { EXPECT_EQ(p.Ask("stop").substr(0, 2), "0 "); }},
      {"a tight read loop", [](Peer& p) { p.Send("reads 0"); },
       [](Peer& p) { EXPECT_EQ(p.Ask("stop").substr(0, 2), "0 "); }},
      {"a child forked within 1 ms of a read",
       [](Peer& p) { EXPECT_EQ(p.Ask("fork").substr(0, 2), "0 "); }, nullptr},
  };
  off_t alone = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.other);
    TestServer server;
    const int32_t bulkId = qordb::ServerAdmin(server.path).AddDatabase(BulkSchema());
    Peer other;
    if (c.start) {
      ASSERT_EQ(other.Status(Login(server)), 0);
      c.start(other);
    }
    const off_t largest = WriteAndWatchTheLog(server.path, bulkId);
    if (c.stop) c.stop(other);
    EXPECT_EQ(other.Quit(), 0);
    if (!c.start) {
      alone = largest;
      ASSERT_GT(alone, 0);
    } else {
      EXPECT_LE(largest, 3 * alone) << "the largest log: " << largest << " bytes, alone " << alone;
    }
  }
}

TEST(TheLog, StaysBoundedBesideASessionWhoseSelectionsGoOn) {
  // Each selection asks for the ID after the last one's, so that the other
  // session's statement stays open from one call to the next.
  off_t alone = 0;
  for (const std::string apart : {"", "1000", "0"}) {
    SCOPED_TRACE(apart.empty() ? "no other session" : "selections " + apart + " us apart");
    TestServer server;
    const int32_t bulkId = qordb::ServerAdmin(server.path).AddDatabase(BulkSchema());
    Peer other;
    if (!apart.empty()) {
      ASSERT_EQ(other.Status(Login(server)), 0);
      other.Send("selects " + apart);
    }
    const off_t largest = WriteAndWatchTheLog(server.path, bulkId);
    if (!apart.empty()) {
      EXPECT_EQ(other.Ask("stop").substr(0, 2), "0 ") << "every answer right";
    }
    EXPECT_EQ(other.Quit(), 0);
    if (apart.empty()) {
      alone = largest;
      ASSERT_GT(alone, 0);
    } else {
      EXPECT_LE(largest, 3 * alone) << "the largest log: " << largest << " bytes, alone " << alone;
    }
  }
}

// Lines "name status" that the processes of a test write to one pipe.
void Report(int out, const std::string& name, long value) {
  const std::string line = name + " " + std::to_string(value) + "\n";
  if (write(out, line.data(), line.size()) != static_cast<ssize_t>(line.size())) _exit(9);
}

std::map<std::string, long> ReadReports(int in) {
  std::string text;
  char buffer[256];
  for (ssize_t n; (n = read(in, buffer, sizeof buffer)) > 0;) text.append(buffer, n);
  std::map<std::string, long> reports;
  std::istringstream lines(text);
  std::string name;
  long value;
  while (lines >> name >> value) reports[name] = value;
  return reports;
}

long ThreadsOfThisProcess() {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);)
    if (line.rfind("Threads:", 0) == 0) return std::stol(line.substr(8));
  return -1;
}

TEST(Fork, AHandleIsUsedOnlyInTheProcessThatOpenedIt) {
  TestServer other;  // a server that the forking process never opens
  TestServer server;
  int reports[2];
  ASSERT_EQ(pipe(reports), 0);
  const pid_t parent = fork();
  if (parent == 0) {
    close(reports[0]);
    const int out = reports[1];
    QorDbCliSetSnapshotIdleTime(3600000000LL);
    BareClient shop;
    if (shop.Open("SRV", server.shopId, "SHOP") || shop.Add("CUSTOMER", 50)) _exit(3);
    shop.Count("CUSTOMER");  // a read snapshot is held from here on
    int go[2];
    if (pipe(go) != 0) _exit(4);
    const pid_t child = fork();
    if (child == 0) {
      char c;
      if (read(go[0], &c, 1) != 1) _exit(5);  // the parent has freed its handle
      Report(out, "threads-before", ThreadsOfThisProcess());
      Report(out, "inherited-add", shop.Add("CUSTOMER", 60));
      int32_t n = -1;
      Report(out, "inherited-count", GetCount(shop.h, shop.db, shop.dict.Rt("CUSTOMER"), &n));
      Report(out, "inherited-free", FreeDbHandler(shop.h));
      BareClient fresh;
      Report(out, "fresh-same-server", fresh.Open("SRV", server.shopId, "SHOP"));
      Report(out, "threads-unused", ThreadsOfThisProcess());
      BareClient elsewhere;
      int status = elsewhere.Open(other.path, other.shopId, "SHOP");
      for (int id = 1000; status == 0 && id < 1200; ++id) status = elsewhere.Add("CUSTOMER", id);
      Report(out, "fresh-other-server", status);
      Report(out, "other-count", elsewhere.Count("CUSTOMER"));
      Report(out, "threads-used", ThreadsOfThisProcess());
      FreeDbHandler(elsewhere.h);
      _exit(0);
    }
    Report(out, "parent-free", FreeDbHandler(shop.h));
    if (write(go[1], "g", 1) != 1) _exit(6);
    int status = -1;
    waitpid(child, &status, 0);
    Report(out, "child-exit", WIFEXITED(status) ? WEXITSTATUS(status) : -1);
    _exit(0);
  }
  close(reports[1]);
  std::map<std::string, long> r = ReadReports(reports[0]);
  close(reports[0]);
  int status = -1;
  ASSERT_EQ(waitpid(parent, &status, 0), parent);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;

  EXPECT_EQ(r["parent-free"], 0);
  EXPECT_EQ(r["child-exit"], 0);
  EXPECT_EQ(r["threads-before"], 1) << "a fork leaves the child one thread";
  EXPECT_EQ(r["inherited-add"], 10015);
  EXPECT_EQ(r["inherited-count"], 10015);
  EXPECT_EQ(r["inherited-free"], 10015);
  EXPECT_EQ(r["fresh-same-server"], 10042) << "the parent had this server open";
  EXPECT_EQ(r["threads-unused"], 1) << "no idle watcher where the child read nothing";
  EXPECT_EQ(r["fresh-other-server"], 0);
  EXPECT_EQ(r["other-count"], 205);
  EXPECT_EQ(r["threads-used"], 2) << "the idle watcher, once the child has read";

  // From this process, after both have exited.
  BareClient after;
  ASSERT_EQ(after.Open("SRV", server.shopId, "SHOP"), 0);
  EXPECT_EQ(after.Count("CUSTOMER"), 6) << "the parent's commit, nothing of the child";
  EXPECT_EQ(FreeDbHandler(after.h), 0);
  BareClient elsewhere;
  ASSERT_EQ(elsewhere.Open(other.path, other.shopId, "SHOP"), 0);
  EXPECT_EQ(elsewhere.Count("CUSTOMER"), 205) << "the child's commits on the other server";
  EXPECT_EQ(FreeDbHandler(elsewhere.h), 0);
}

TEST(Fork, AChildThatOutlivesAParentKilledInATransactionHoldsNoLock) {
  struct Case {
    const char* how;  // the peer's spawn
    bool keepsLocks;  // until it ends
  };
  const Case cases[] = {
      {"fork", false}, {"fork-exec", false}, {"_Fork-exec", false}, {"_Fork", true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.how);
    TestServer server;
    Peer parent;
    ASSERT_EQ(parent.Status(Login(server)), 0);
    ASSERT_EQ(parent.Status("begin"), 0);
    ASSERT_EQ(parent.Status("add 100"), 0);
    ASSERT_EQ(parent.Ask(std::string("spawn ") + c.how).substr(0, 2), "0 ");
    parent.Kill();
    Peer writer;
    ASSERT_EQ(writer.Status(Login(server)), 0);
    if (c.keepsLocks) {
      EXPECT_EQ(writer.Status("add 200"), 10054) << "the child holds the parent's write lock";
      parent.Quit();  // the child ends with the parent's input
    }
    EXPECT_EQ(writer.Status("add 200"), 0);
    EXPECT_EQ(writer.Quit(), 0);
    parent.Quit();

    Peer reader;
    ASSERT_EQ(reader.Status(Login(server)), 0);
    EXPECT_EQ(reader.Status("has 200"), 0) << "the writer's commit is stored";
    EXPECT_EQ(reader.Status("has 100"), 10002) << "the killed parent's transaction is not";
    EXPECT_EQ(reader.Ask("count"), "6");
  }
}

}  // namespace
