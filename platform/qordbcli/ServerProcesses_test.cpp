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
#include <fstream>
#include <functional>
#include <map>
#include <sstream>
#include <string>
#include <thread>

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

TEST(ForeignCodeInTheProcess, EveryCommitThatAnsweredZeroIsKept) {
  enum class State { kIdle, kSnapshot, kWriting };
  const std::pair<State, const char*> states[] = {{State::kIdle, "idle"},
                                                  {State::kSnapshot, "holding a read snapshot"},
                                                  {State::kWriting, "inside a write transaction"}};
  for (const char* file : {"", "-wal", "-shm"}) {
    for (const auto& [state, name] : states) {
      SCOPED_TRACE(std::string("the server file") + file + ", " + name);
      TestServer server;
      Peer first;
      ASSERT_EQ(first.Status(Login(server)), 0);
      if (state == State::kSnapshot) {
        ASSERT_EQ(first.Status("idle 3600000000"), 0);
      }
      EXPECT_EQ(first.Ask("count"), "5");
      if (state == State::kIdle) std::this_thread::sleep_for(std::chrono::milliseconds(50));
      if (state == State::kWriting) {
        ASSERT_EQ(first.Status("begin"), 0);
        ASSERT_EQ(first.Status("add 100"), 0);
      }
      // Other code in the first program's process opens and closes the file,
      // which drops every POSIX lock the process holds on it.
      ASSERT_EQ(first.Status("touch " + server.path + file), 0);
      {
        Peer second;
        ASSERT_EQ(second.Status(Login(server)), 0);
        EXPECT_EQ(second.Ask("count"), "5");
      }  // logs out and exits
      ASSERT_EQ(first.Status(state == State::kWriting ? "commit" : "add 100"), 0);
      {
        Peer third;
        ASSERT_EQ(third.Status(Login(server)), 0);
        EXPECT_EQ(third.Status("has 100"), 0) << "another process sees the first's commit";
        EXPECT_EQ(third.Status("add 200"), 0);
      }
      EXPECT_EQ(first.Ask("count"), "7");
      EXPECT_EQ(first.Quit(), 0);

      Peer last;
      ASSERT_EQ(last.Status(Login(server)), 0);
      EXPECT_EQ(last.Status("has 100"), 0) << "the first's commit is stored";
      EXPECT_EQ(last.Status("has 200"), 0) << "the third's commit survived the first's exit";
      EXPECT_EQ(last.Ask("count"), "7");
      last.Quit();
      EXPECT_EQ(IntegrityOf(server.path), "ok");
    }
  }
}

// A database of large records, so that a few hundred commits write about
// 20 MB to the log.
qordb::SchemaDef BulkSchema() {
  qordb::SchemaDef s;
  s.name = "BULK";
  qordb::FieldDef id, body;
  id.name = "ID";
  id.type = 'l';
  id.keyKind = 'u';
  body.name = "BODY";
  body.type = 'c';
  body.length = 2000;
  s.records.push_back({"PAGE", {id, body}});
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

}  // namespace
