// The server beside other programs, each in a process of its own: code in a
// program's process that opens and closes a server file, the log beside a
// session that keeps reading, and handles across fork. What each case checks
// is the stored data, read by another process afterwards.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>
#include <string>
#include <thread>

#include "SchemaDef.h"
#include "ServerAdmin.h"
#include "TestDictionary_testutil.h"
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
      EXPECT_EQ(first.Ask("count"), "0 5");
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
        EXPECT_EQ(second.Ask("count"), "0 5");
      }  // logs out and exits
      ASSERT_EQ(first.Status(state == State::kWriting ? "commit" : "add 100"), 0);
      {
        Peer third;
        ASSERT_EQ(third.Status(Login(server)), 0);
        EXPECT_EQ(third.Status("has 100"), 0) << "another process sees the first's commit";
        EXPECT_EQ(third.Status("add 200"), 0);
      }
      EXPECT_EQ(first.Ask("count"), "0 7");
      EXPECT_EQ(first.Quit(), 0);

      Peer last;
      ASSERT_EQ(last.Status(Login(server)), 0);
      EXPECT_EQ(last.Status("has 100"), 0) << "the first's commit is stored";
      EXPECT_EQ(last.Status("has 200"), 0) << "the third's commit survived the first's exit";
      EXPECT_EQ(last.Ask("count"), "0 7");
      last.Quit();
      EXPECT_EQ(IntegrityOf(server.path), "ok");
    }
  }
}

}  // namespace
