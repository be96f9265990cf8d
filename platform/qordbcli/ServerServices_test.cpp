// Transactions, sequences, counts, bookmarks, server parameters and the
// extension package through the exported entries; two handles on one server,
// the read snapshot a handle holds between calls, other processes on the
// same server and a process killed inside a transaction.
#include <gtest/gtest.h>
#include <signal.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstring>
#include <ctime>
#include <functional>
#include <set>
#include <thread>

#include "ServerAdmin.h"
#include "TestServer_testutil.h"
#include "qordbcli.h"
#include "qordbcli_diag.h"

namespace {

class Services : public NoLeakedBuffers {
 protected:
  int AddCustomer(TestClient& c, int id) {
    std::vector<char> img = c.Blank("CUSTOMER");
    c.shopDict.SetInt(img, "CUSTOMER", "ID", id);
    c.shopDict.SetText(img, "CUSTOMER", "NAME", "Új " + std::to_string(id));
    char* p = img.data();
    return NewRec(c.h, c.shop, c.Rt("CUSTOMER"), c.Len("CUSTOMER"), &p);
  }
  int AddEntry(TestClient& c, int id) {
    std::vector<char> img(c.logDict.ImageLength("ENTRY"));
    c.logDict.SetInt(img, "ENTRY", "ID", id);
    c.logDict.SetText(img, "ENTRY", "TEXT", "bejegyzés");
    char* p = img.data();
    return NewRec(c.h, c.log, c.logDict.Rt("ENTRY"), c.logDict.ImageLength("ENTRY"), &p);
  }
  int32_t Count(TestClient& c, bool log = false) {
    int32_t n = -1;
    EXPECT_EQ(GetCount(c.h, log ? c.log : c.shop, log ? c.logDict.Rt("ENTRY") : c.Rt("CUSTOMER"), &n), 0);
    return n;
  }

  // A child process that logs in and runs work, which may write to out and
  // returns the child's exit status (3: the login failed). A child may log
  // in only where this process has no handle on the server.
  struct Child {
    pid_t pid;
    int out;  // the read end of the child's out
  };
  Child Spawn(const std::function<int(BareClient& c, int out)>& work) {
    int fds[2];
    if (pipe(fds) != 0) return {-1, -1};
    const pid_t pid = fork();
    if (pid == 0) {
      BareClient c;
      _exit(c.Open("SRV", server_.shopId, "SHOP") ? 3 : work(c, fds[1]));
    }
    close(fds[1]);
    return {pid, fds[0]};
  }
  // The child's wait status once it has ended.
  int WaitFor(const Child& c) {
    close(c.out);
    int status = -1;
    EXPECT_EQ(waitpid(c.pid, &status, 0), c.pid);
    return status;
  }

  TestServer server_;
};

// Sets how long an idle handle keeps its read snapshot, for one test.
class SnapshotIdleTime {
 public:
  explicit SnapshotIdleTime(std::chrono::microseconds idle) {
    QorDbCliSetSnapshotIdleTime(idle.count());
  }
  ~SnapshotIdleTime() { QorDbCliSetSnapshotIdleTime(5000); }
};

// A checkpoint by another program that copies the whole log into the file
// and empties it, without waiting for anyone: false while a reader still
// reads from the log.
bool TruncatingCheckpoint(const std::string& path) {
  sqlite3* db = nullptr;
  sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr);
  sqlite3_stmt* s = nullptr;
  sqlite3_prepare_v2(db, "PRAGMA wal_checkpoint(TRUNCATE)", -1, &s, nullptr);
  // Its first column is 1 when a reader kept it from completing.
  const bool done = sqlite3_step(s) == SQLITE_ROW && sqlite3_column_int(s, 0) == 0;
  sqlite3_finalize(s);
  sqlite3_close(db);
  return done;
}

TEST_F(Services, OneTransactionCoversEveryDatabaseOfTheHandle) {
  TestClient c(server_);
  EXPECT_EQ(EndTransaction(c.h, 1), 0) << "none open";
  ASSERT_EQ(BeginTransaction(c.h, "Import", 0, 0), 0);
  EXPECT_EQ(BeginTransaction(c.h, "Import", 0, 0), 10023);
  ASSERT_EQ(AddCustomer(c, 10), 0);
  ASSERT_EQ(AddEntry(c, 1), 0);
  EXPECT_EQ(Count(c), 6) << "the handle sees its own changes";
  ASSERT_EQ(EndTransaction(c.h, 0), 0);
  EXPECT_EQ(Count(c), 5);
  EXPECT_EQ(Count(c, true), 0);
  EXPECT_EQ(EndTransaction(c.h, 0), 0);

  ASSERT_EQ(BeginTransaction(c.h, "Import", 0, 0), 0);
  ASSERT_EQ(AddCustomer(c, 10), 0);
  ASSERT_EQ(AddEntry(c, 1), 0);
  EXPECT_EQ(AddCustomer(c, 10), 10005) << "a failed write keeps the transaction";
  ASSERT_EQ(EndTransaction(c.h, 1), 0);
  EXPECT_EQ(Count(c), 6);
  EXPECT_EQ(Count(c, true), 1);

  // Outside a transaction every write commits at once.
  ASSERT_EQ(AddEntry(c, 2), 0);
  TestClient other(server_);
  EXPECT_EQ(Count(other, true), 2);
}

TEST_F(Services, TwoHandlesReadWhileTheOtherWrites) {
  TestClient writer(server_), reader(server_);
  ASSERT_EQ(BeginTransaction(writer.h, "W", 0, 0), 0);
  ASSERT_EQ(AddCustomer(writer, 20), 0);
  // The reader neither waits nor sees what is not committed.
  EXPECT_EQ(Count(reader), 5);
  EXPECT_EQ(reader.CustomerId(LastRec), 5);
  ASSERT_EQ(AddCustomer(writer, 21), 0);
  EXPECT_EQ(reader.CustomerId(FirstRec), 1);
  EXPECT_EQ(reader.CustomerId(NextRec), 2);
  ASSERT_EQ(EndTransaction(writer.h, 1), 0);
  EXPECT_EQ(Count(reader), 7);
  EXPECT_EQ(reader.CustomerId(LastRec), 21);
  // Positions and keys belong to each handle.
  ASSERT_EQ(DefineKey(reader.h, reader.shop, reader.Rt("CUSTOMER"), reader.Key("CUSTOMER", "NAME")), 0);
  EXPECT_EQ(writer.CustomerId(FirstRec), 1);
  EXPECT_EQ(reader.CustomerId(FirstRec), 4);
  EXPECT_EQ(writer.CustomerId(ReadCurrentRec), 1);
}

TEST_F(Services, ARecordAnotherHandleDeletedIsNotFoundForChanges) {
  TestClient a(server_), b(server_);
  Owned first;
  ASSERT_EQ(FirstRec(a.h, a.shop, a.Rt("CUSTOMER"), a.Len("CUSTOMER"), &first), 0);
  std::vector<char> img(first.p, first.p + a.Len("CUSTOMER"));
  ASSERT_EQ(b.CustomerId(FirstRec), 1);
  std::vector<char> gone = img;
  char* p = gone.data();
  ASSERT_EQ(DelRec(b.h, b.shop, b.Rt("CUSTOMER"), b.Len("CUSTOMER"), &p), 0);

  // By the default key (a's current record) and by the unique key's value.
  for (const std::string key : {"", "ID"}) {
    SCOPED_TRACE("key " + key);
    ASSERT_EQ(DefineKey(a.h, a.shop, a.Rt("CUSTOMER"), key.empty() ? 1 : a.Key("CUSTOMER", key)), 0);
    a.shopDict.SetText(img, "CUSTOMER", "CITY", "Pécs");
    p = img.data();
    EXPECT_EQ(ModRec(a.h, a.shop, a.Rt("CUSTOMER"), a.Len("CUSTOMER"), &p), 10002);
    EXPECT_EQ(DelRec(a.h, a.shop, a.Rt("CUSTOMER"), a.Len("CUSTOMER"), &p), 10002);
  }
  EXPECT_EQ(Count(a), 4);
}

TEST_F(Services, ConcurrentReadersSeeATransactionWholeOrNotAtAll) {
  TestClient writer(server_), reader(server_);
  std::atomic<bool> done{false};
  std::vector<int32_t> seen;
  std::thread readerThread([&] {
    while (!done) {
      int32_t n = -1;
      if (GetCount(reader.h, reader.shop, reader.Rt("CUSTOMER"), &n) != 0) n = -1;
      seen.push_back(n);
      Owned image;
      FirstRec(reader.h, reader.shop, reader.Rt("CUSTOMER"), reader.Len("CUSTOMER"), &image);
    }
  });
  ASSERT_EQ(BeginTransaction(writer.h, "Bulk", 0, 0), 0);
  for (int i = 0; i < 300; ++i) ASSERT_EQ(AddCustomer(writer, 100 + i), 0);
  ASSERT_EQ(EndTransaction(writer.h, 1), 0);
  int32_t n = -1;
  while (n != 305) {
    ASSERT_EQ(GetCount(reader.h, reader.shop, reader.Rt("CUSTOMER"), &n), 0);
  }
  done = true;
  readerThread.join();
  for (int32_t count : seen) ASSERT_TRUE(count == 5 || count == 305) << count;
}

TEST_F(Services, AHeldSnapshotGivesWayToAnotherHandlesCommit) {
  const SnapshotIdleTime held(std::chrono::hours(1));
  TestClient a(server_), b(server_);
  ASSERT_EQ(AddCustomer(b, 10), 0);  // the log holds a commit from here on
  EXPECT_EQ(Count(a), 6);
  EXPECT_FALSE(TruncatingCheckpoint(server_.path)) << "a holds its snapshot between calls";
  ASSERT_EQ(AddCustomer(b, 11), 0);
  EXPECT_EQ(Count(a), 7) << "a's next read sees b's commit";
  EXPECT_EQ(a.CustomerId(LastRec), 11);
}

TEST_F(Services, AnIdleHandleHoldsBackNoCheckpoint) {
  TestClient a(server_), b(server_);
  ASSERT_EQ(AddCustomer(b, 10), 0);
  EXPECT_EQ(Count(a), 6);
  // a stays idle: within a few milliseconds its snapshot ends, and a
  // checkpoint of the whole log goes through.
  bool done = false;
  for (int tries = 0; tries < 1000 && !done; ++tries) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    done = TruncatingCheckpoint(server_.path);
  }
  EXPECT_TRUE(done);
  struct stat log {};
  ASSERT_EQ(stat((server_.path + "-wal").c_str(), &log), 0);
  EXPECT_EQ(log.st_size, 0);
  EXPECT_EQ(Count(a), 6);
}

TEST_F(Services, AWriteAfterAHeldReadCommitsOnTheLatestData) {
  const SnapshotIdleTime held(std::chrono::hours(1));
  struct Case {
    const char* entry;
    std::function<int(TestClient&)> write;
    std::function<void(TestClient&)> seen;  // checks the write from another handle
  };
  auto firstCustomer = [](TestClient& c) {
    std::vector<char> img = c.Blank("CUSTOMER");
    EXPECT_EQ(c.CustomerId(FirstRec), 1);
    Owned image;
    EXPECT_EQ(ReadCurrentRec(c.h, c.shop, c.Rt("CUSTOMER"), c.Len("CUSTOMER"), &image), 0);
    if (image.p) img.assign(image.p, image.p + c.Len("CUSTOMER"));
    return img;
  };
  const Case cases[] = {
      {"NewRec", [&](TestClient& a) { return AddCustomer(a, 30); },
       [&](TestClient& b) { EXPECT_EQ(b.CustomerId(LastRec), 30); }},
      {"ModRec",
       [&](TestClient& a) {
         std::vector<char> img = firstCustomer(a);
         a.shopDict.SetText(img, "CUSTOMER", "CITY", "Pécs");
         char* p = img.data();
         return ModRec(a.h, a.shop, a.Rt("CUSTOMER"), a.Len("CUSTOMER"), &p);
       },
       [&](TestClient& b) {
         std::string city;
         EXPECT_EQ(b.Go(FirstRec, "CUSTOMER", "CITY", &city), 0);
         EXPECT_EQ(city, "Pécs");
       }},
      {"DelRec",
       [&](TestClient& a) {
         std::vector<char> img = firstCustomer(a);
         char* p = img.data();
         return DelRec(a.h, a.shop, a.Rt("CUSTOMER"), a.Len("CUSTOMER"), &p);
       },
       [&](TestClient& b) { EXPECT_EQ(b.CustomerId(FirstRec), 2); }},
      {"GetNextId",
       [](TestClient& a) {
         int32_t id = 0;
         const int status = GetNextId(a.h, "Customer_Next", &id);
         EXPECT_EQ(id, 100);
         return status;
       },
       [](TestClient& b) {
         int32_t id = 0;
         EXPECT_EQ(GetNextId(b.h, "Customer_Next", &id), 0);
         EXPECT_EQ(id, 105);
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.entry);
    TestServer server;
    TestClient a(server), b(server);
    EXPECT_EQ(Count(a), 5);  // a holds a snapshot
    ASSERT_EQ(AddCustomer(b, 20), 0);
    // Not refused as a write on a snapshot that another commit has passed.
    EXPECT_EQ(c.write(a), 0);
    c.seen(b);
  }
}

TEST_F(Services, ATransactionAfterAHeldReadStartsFromTheLatestCommit) {
  const SnapshotIdleTime held(std::chrono::hours(1));
  TestClient a(server_), b(server_);
  EXPECT_EQ(Count(a), 5);
  ASSERT_EQ(AddCustomer(b, 10), 0);
  ASSERT_EQ(BeginTransaction(a.h, "T", 0, 0), 0);
  EXPECT_EQ(Count(a), 6);
  ASSERT_EQ(AddCustomer(a, 11), 0);
  EXPECT_EQ(Count(b), 6) << "nothing of the transaction before its commit";
  ASSERT_EQ(EndTransaction(a.h, 1), 0);
  EXPECT_EQ(Count(b), 7);
  EXPECT_EQ(Count(a), 7);
}

TEST_F(Services, AnotherProcessesCommitIsSeenByTheNextRead) {
  const SnapshotIdleTime held(std::chrono::hours(1));
  TestClient a(server_);
  EXPECT_EQ(Count(a), 5);  // a holds its snapshot from here on
  Peer other;
  ASSERT_EQ(other.Status("login " + std::to_string(server_.shopId)), 0);
  ASSERT_EQ(other.Status("add 40"), 0);
  EXPECT_EQ(Count(a), 6) << "the first read after the other's commit returned";
  EXPECT_EQ(a.CustomerId(LastRec), 40);
}

// Selections by key value (FindList) on one handle, each answer as the IDs
// (CIDs for CONTACT) of the records it returned, none for 10002.
class Selections {
 public:
  explicit Selections(TestClient& c, Peer* other = nullptr) : c_(c), other_(other) {}
  TestClient& c_;
  Peer* other_;  // another program on the server, where the test has one

  std::vector<int> ById(int id) {
    return Select("CUSTOMER", "ID", [&](std::vector<char>& img) { Set(img, "ID", id); });
  }
  std::vector<int> ByName(const char* name) {
    return Select("CUSTOMER", "NAME", [&](std::vector<char>& img) { SetText(img, "NAME", name); });
  }
  std::vector<int> ByCityName(const char* city, const char* name) {
    return Select("CUSTOMER", "CITYNAME", [&](std::vector<char>& img) {
      SetText(img, "CITY", city);
      SetText(img, "NAME", name);
    });
  }
  std::vector<int> ByOwner(int owner) {
    return Select("CONTACT", "OWNER", [&](std::vector<char>& img) {
      c_.shopDict.SetInt(img, "CONTACT", "OWNER", owner);
    });
  }
  int Add(int id, const char* name) {
    std::vector<char> img = c_.Blank("CUSTOMER");
    Set(img, "ID", id);
    SetText(img, "NAME", name);
    char* p = img.data();
    return NewRec(c_.h, c_.shop, c_.Rt("CUSTOMER"), c_.Len("CUSTOMER"), &p);
  }
  int Delete(int id) {
    std::vector<char> img = c_.Blank("CUSTOMER");
    Set(img, "ID", id);
    char* p = img.data();
    if (int s = DefineKey(c_.h, c_.shop, c_.Rt("CUSTOMER"), c_.Key("CUSTOMER", "ID"))) return s;
    return DelRec(c_.h, c_.shop, c_.Rt("CUSTOMER"), c_.Len("CUSTOMER"), &p);
  }

 private:
  void Set(std::vector<char>& img, const char* field, int v) {
    c_.shopDict.SetInt(img, "CUSTOMER", field, v);
  }
  void SetText(std::vector<char>& img, const char* field, const char* text) {
    c_.shopDict.SetText(img, "CUSTOMER", field, text);
  }
  std::vector<int> Select(const char* record, const char* key,
                          const std::function<void(std::vector<char>&)>& set) {
    std::vector<char> img = c_.Blank(record);
    set(img);
    char* p = img.data();
    int32_t size = c_.Len(record);
    Owned list;
    std::vector<int> ids;
    const int status =
        FindList(c_.h, &size, &p, &list, c_.shop, c_.Rt(record), c_.Key(record, key));
    if (status != 0) {
      EXPECT_EQ(status, 10002);
      EXPECT_EQ(list.p, nullptr);
      return ids;
    }
    for (int32_t at = 0; at + c_.Len(record) <= size; at += c_.Len(record))
      ids.push_back(static_cast<int>(
          c_.shopDict.Int(list.p + at, record, std::strcmp(record, "CONTACT") ? "ID" : "CID")));
    return ids;
  }
};

TEST_F(Services, EverySelectionAnswersAsAFreshOneWouldWhateverCameBefore) {
  // The snapshot is held from call to call, so each selection meets the
  // statement the one before it left.
  const SnapshotIdleTime held(std::chrono::hours(1));
  using V = std::vector<int>;
  struct Case {
    const char* name;
    std::function<void(Selections&)> run;
  };
  const Case cases[] = {
      {"one value after another, a skipped one, past the end and back",
       [](Selections& s) {
         EXPECT_EQ(s.ById(1), V{1});
         EXPECT_EQ(s.ById(2), V{2});
         EXPECT_EQ(s.ById(4), V{4});
         EXPECT_EQ(s.ById(5), V{5});
         EXPECT_EQ(s.ById(6), V{});
         EXPECT_EQ(s.ById(7), V{});
         EXPECT_EQ(s.ById(3), V{3});
         EXPECT_EQ(s.ById(3), V{3}) << "the same value twice";
         EXPECT_EQ(s.ById(0), V{});
         EXPECT_EQ(s.ById(1), V{1});
       }},
      {"values with several records, and none, between others",
       [](Selections& s) {
         EXPECT_EQ(s.ByOwner(0), V{});
         EXPECT_EQ(s.ByOwner(1), (V{10, 11}));
         EXPECT_EQ(s.ByOwner(2), V{});
         EXPECT_EQ(s.ByOwner(3), V{12});
         EXPECT_EQ(s.ByOwner(4), V{});
         EXPECT_EQ(s.ByOwner(1), (V{10, 11}));
         // Character keys order as bytes: 'B' < 'K' < 'Á' in Windows-1250.
         EXPECT_EQ(s.ByName("Bíró"), V{4});
         EXPECT_EQ(s.ByName("Kovács"), (V{1, 3, 5}));
         EXPECT_EQ(s.ByName("Kovácsné"), V{});
         EXPECT_EQ(s.ByName("Áron"), V{2});
       }},
      {"a compound key",
       [](Selections& s) {
         EXPECT_EQ(s.ByCityName("Budapest", "Bíró"), V{4});
         EXPECT_EQ(s.ByCityName("Budapest", "Kovács"), (V{1, 5}));
         EXPECT_EQ(s.ByCityName("Budapest", "Áron"), V{});
         EXPECT_EQ(s.ByCityName("Debrecen", "Kovács"), V{3});
         EXPECT_EQ(s.ByCityName("Szeged", "Áron"), V{2});
         EXPECT_EQ(s.ByCityName("Budapest", "Kovács"), (V{1, 5}));
       }},
      {"the handle's own writes between",
       [](Selections& s) {
         EXPECT_EQ(s.ByName("Bíró"), V{4});
         ASSERT_EQ(s.Add(6, "Kovács"), 0);
         EXPECT_EQ(s.ByName("Kovács"), (V{1, 3, 5, 6}));
         ASSERT_EQ(s.Add(8, "Kovács"), 0);
         EXPECT_EQ(s.ByName("Kovács"), (V{1, 3, 5, 6, 8})) << "the same value again";
         EXPECT_EQ(s.ById(1), V{1});
         ASSERT_EQ(s.Delete(2), 0);
         EXPECT_EQ(s.ById(2), V{});
         EXPECT_EQ(s.ById(5), V{5});
         ASSERT_EQ(s.Add(7, "Zoltán"), 0);
         EXPECT_EQ(s.ById(6), V{6});
         EXPECT_EQ(s.ById(7), V{7});
       }},
      {"the handle's own writes inside a transaction",
       [](Selections& s) {
         ASSERT_EQ(BeginTransaction(s.c_.h, "T", 0, 0), 0);
         EXPECT_EQ(s.ByName("Bíró"), V{4});
         ASSERT_EQ(s.Add(6, "Kovács"), 0);
         EXPECT_EQ(s.ByName("Kovács"), (V{1, 3, 5, 6}));
         EXPECT_EQ(s.ById(5), V{5});
         ASSERT_EQ(s.Add(7, "Zoltán"), 0);
         EXPECT_EQ(s.ById(6), V{6});
         EXPECT_EQ(s.ById(7), V{7});
         ASSERT_EQ(EndTransaction(s.c_.h, 0), 0);
         EXPECT_EQ(s.ByName("Bíró"), V{4});
         EXPECT_EQ(s.ByName("Kovács"), (V{1, 3, 5})) << "the transaction was aborted";
       }},
      {"another program's commits between",
       [](Selections& s) {
         EXPECT_EQ(s.ByName(""), V{});
         ASSERT_EQ(s.other_->Status("add 9"), 0);  // a name left empty
         EXPECT_EQ(s.ByName(""), V{9}) << "the same value again";
         EXPECT_EQ(s.ById(3), V{3});
         ASSERT_EQ(s.other_->Status("add 6"), 0);
         EXPECT_EQ(s.ById(4), V{4});
         EXPECT_EQ(s.ById(5), V{5});
         ASSERT_EQ(s.other_->Status("add 7"), 0);
         EXPECT_EQ(s.ById(6), V{6});
         EXPECT_EQ(s.ById(7), V{7});
       }},
      {"another key, and another current key, between",
       [](Selections& s) {
         EXPECT_EQ(s.ById(1), V{1});
         EXPECT_EQ(s.ByName("Kovács"), (V{1, 3, 5}));
         EXPECT_EQ(s.ById(2), V{2});
         EXPECT_EQ(s.ByCityName("Budapest", "Kovács"), (V{1, 5}));
         EXPECT_EQ(s.ByName("Áron"), V{2});
         ASSERT_EQ(DefineKey(s.c_.h, s.c_.shop, s.c_.Rt("CUSTOMER"), s.c_.Key("CUSTOMER", "NAME")),
                   0);
         EXPECT_EQ(s.ById(3), V{3});
         EXPECT_EQ(s.ByOwner(1), (V{10, 11}));
         EXPECT_EQ(s.ById(4), V{4});
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TestServer server;
    TestClient client(server);
    Peer other;
    ASSERT_EQ(other.Status("login " + std::to_string(server.shopId)), 0);
    Selections s(client, &other);
    c.run(s);
  }
}

TEST_F(Services, AValueThatEqualsNothingLeavesNoPlaceForTheNextSelection) {
  const SnapshotIdleTime held(std::chrono::hours(1));
  qordb::SchemaDef schema;
  schema.name = "METER";
  // Field 1 would be the default key.
  schema.records.push_back(
      {"READING", {F("ID", 'l', 0, 'u'), F("TAG", 'c', 4), F("VALUE", 'F', 0, 'd')}});
  qordb::ServerAdmin admin(server_.path);
  const int32_t meterId = admin.AddDatabase(schema);
  admin.LoadRecords("METER", "READING", {{"1", "", "1.5"}, {"2", "", "2.5"}});
  BareClient c;
  ASSERT_EQ(c.Open("SRV", meterId, "METER"), 0);
  auto select = [&](double v) {
    std::vector<char> img(c.dict.ImageLength("READING"));
    c.dict.SetDouble(img, "READING", "VALUE", v);
    char* p = img.data();
    int32_t size = static_cast<int32_t>(img.size());
    Owned list;
    const int status = FindList(c.h, &size, &p, &list, c.db, c.dict.Rt("READING"),
                                c.dict.FieldNumber("READING", "VALUE"));
    return status != 0 ? -status : static_cast<int>(c.dict.Int(list.p, "READING", "ID"));
  };
  const double nan = std::nan("");
  EXPECT_EQ(select(nan), -10002) << "a NaN equals nothing";
  EXPECT_EQ(select(1.5), 1);
  EXPECT_EQ(select(nan), -10002);
  EXPECT_EQ(select(2.5), 2);
  EXPECT_EQ(FreeDbHandler(c.h), 0);
}

TEST_F(Services, ANaNInACompoundKeysLaterPartEqualsNothing) {
  const SnapshotIdleTime held(std::chrono::hours(1));
  qordb::SchemaDef schema;
  schema.name = "METER";
  qordb::FieldDef af = F("AF", 'k', 0, 'd');
  af.components = {"A", "F"};
  // Field 1 would be the default key.
  schema.records.push_back(
      {"READING", {F("ID", 'l', 0, 'u'), F("TAG", 'c', 4), F("A", 'l'), F("F", 'F'), af}});
  qordb::ServerAdmin admin(server_.path);
  const int32_t meterId = admin.AddDatabase(schema);
  admin.LoadRecords("METER", "READING", {{"1", "", "5", "1.0"}});
  const double nan = std::nan("");
  auto image = [](BareClient& c, int64_t av, double fv) {
    std::vector<char> img(c.dict.ImageLength("READING"));
    c.dict.SetInt(img, "READING", "A", av);
    c.dict.SetDouble(img, "READING", "F", fv);
    return img;
  };
  {
    BareClient c;
    ASSERT_EQ(c.Open("SRV", meterId, "METER"), 0);
    std::vector<char> img = image(c, 6, nan);
    c.dict.SetInt(img, "READING", "ID", 2);
    char* p = img.data();
    ASSERT_EQ(NewRec(c.h, c.db, c.dict.Rt("READING"), c.dict.ImageLength("READING"), &p), 0);
    EXPECT_EQ(FreeDbHandler(c.h), 0);
  }
  struct Selection {
    int64_t a;
    double f;
    int expected;  // the ID of the one record selected, or minus the status
  };
  struct Case {
    const char* name;
    std::vector<Selection> selections;
  };
  const Case cases[] = {
      {"on a fresh handle", {{6, nan, -10002}}},
      {"after the record before it", {{5, 1.0, 1}, {6, nan, -10002}}},
      {"asked again", {{5, 1.0, 1}, {6, nan, -10002}, {6, nan, -10002}, {5, 1.0, 1}}},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.name);
    BareClient c;
    ASSERT_EQ(c.Open("SRV", meterId, "METER"), 0);
    for (const Selection& s : k.selections) {
      std::vector<char> img = image(c, s.a, s.f);
      char* p = img.data();
      int32_t size = static_cast<int32_t>(img.size());
      Owned list;
      const int status = FindList(c.h, &size, &p, &list, c.db, c.dict.Rt("READING"),
                                  c.dict.FieldNumber("READING", "AF"));
      int got = -status;
      if (status == 0)
        got = size == c.dict.ImageLength("READING")
                  ? static_cast<int>(c.dict.Int(list.p, "READING", "ID"))
                  : -1;
      EXPECT_EQ(got, s.expected) << "A=" << s.a << " F=" << s.f;
    }
    EXPECT_EQ(FreeDbHandler(c.h), 0);
  }
}

TEST_F(Services, ASelectionHoldsNothingOnceItsSnapshotEnds) {
  const SnapshotIdleTime held(std::chrono::hours(1));
  struct Case {
    const char* how;
    std::function<void(TestClient& a, TestClient& b)> end;
  };
  const Case cases[] = {
      {"the handle idles", [](TestClient&, TestClient&) { QorDbCliSetSnapshotIdleTime(5000); }},
      {"a write outside a transaction",
       [&](TestClient& a, TestClient&) { EXPECT_EQ(AddCustomer(a, 20), 0); }},
      {"a transaction",
       [](TestClient& a, TestClient&) {
         EXPECT_EQ(BeginTransaction(a.h, "T", 0, 0), 0);
         EXPECT_EQ(EndTransaction(a.h, 1), 0);
       }},
      {"a transaction with selections inside",
       [&](TestClient& a, TestClient& b) {
         // The transaction begins on a log that holds frames not yet copied back.
         EXPECT_EQ(AddCustomer(b, 11), 0);
         EXPECT_EQ(BeginTransaction(a.h, "T", 0, 0), 0);
         Selections s(a);
         EXPECT_EQ(s.ById(1), std::vector<int>{1});
         EXPECT_EQ(s.ById(2), std::vector<int>{2});
         EXPECT_EQ(EndTransaction(a.h, 1), 0);
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.how);
    TestServer server;
    TestClient a(server), b(server);
    ASSERT_EQ(AddCustomer(b, 10), 0);  // the log holds a commit from here on
    Selections s(a);
    EXPECT_EQ(s.ById(1), std::vector<int>{1});  // its statement stands on the next record
    EXPECT_FALSE(TruncatingCheckpoint(server.path)) << "the snapshot is held";
    c.end(a, b);
    bool done = TruncatingCheckpoint(server.path);
    for (int tries = 0; tries < 1000 && !done; ++tries) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
      done = TruncatingCheckpoint(server.path);
    }
    EXPECT_TRUE(done) << "a checkpoint of the whole log goes through";
    EXPECT_EQ(s.ById(2), std::vector<int>{2});
    QorDbCliSetSnapshotIdleTime(std::chrono::microseconds(std::chrono::hours(1)).count());
  }
}

TEST_F(Services, IdsDrawnByManyProcessesAreUniqueAndRiseInEach) {
  constexpr int kDraws = 50;
  std::vector<Child> children;
  for (int n = 0; n < 2; ++n) {
    children.push_back(Spawn([&](BareClient& c, int out) {
      for (int i = 0; i < kDraws; ++i) {
        int32_t id = 0;
        if (GetNextId(c.h, "Customer_Next", &id) || write(out, &id, sizeof id) != sizeof id)
          return 4;
      }
      return 0;
    }));
    ASSERT_GE(children.back().pid, 0);
  }
  TestClient a(server_);
  std::vector<std::vector<int32_t>> drawn(1);
  for (int i = 0; i < kDraws; ++i) {
    int32_t id = 0;
    ASSERT_EQ(GetNextId(a.h, "CUSTOMER_NEXT", &id), 0);
    drawn[0].push_back(id);
  }
  for (const Child& c : children) {
    std::vector<int32_t>& ids = drawn.emplace_back(kDraws);
    char* at = reinterpret_cast<char*>(ids.data());
    const size_t want = ids.size() * sizeof(int32_t);
    size_t got = 0;
    for (ssize_t n; got < want && (n = read(c.out, at + got, want - got)) > 0;) got += n;
    EXPECT_EQ(got, want);
    EXPECT_EQ(WaitFor(c), 0);
  }
  std::set<int32_t> all;
  for (const std::vector<int32_t>& ids : drawn) {
    EXPECT_TRUE(std::adjacent_find(ids.begin(), ids.end(), std::greater_equal<int32_t>()) ==
                ids.end())
        << "each handle's ids rise";
    all.insert(ids.begin(), ids.end());
  }
  EXPECT_EQ(all.size(), 3u * kDraws) << "no id given twice";
  EXPECT_EQ(*all.begin(), 100);
  EXPECT_EQ(*all.rbegin(), 100 + 5 * (3 * kDraws - 1)) << "every step taken once";
}

TEST_F(Services, WritersOutsideTransactionsTakeTurns) {
  TestClient a(server_), b(server_);
  auto fill = [&](TestClient& c, int from, int* failures) {
    for (int i = 0; i < 150; ++i) *failures += AddCustomer(c, from + i) != 0;
  };
  int failuresA = 0, failuresB = 0;
  std::thread ta(fill, std::ref(a), 1000, &failuresA), tb(fill, std::ref(b), 2000, &failuresB);
  ta.join();
  tb.join();
  EXPECT_EQ(failuresA + failuresB, 0);
  EXPECT_EQ(Count(a), 305);
}

TEST_F(Services, FreeingAHandleAbortsItsTransaction) {
  {
    TestClient c(server_);
    ASSERT_EQ(BeginTransaction(c.h, "Lost", 0, 0), 0);
    ASSERT_EQ(AddCustomer(c, 30), 0);
  }
  TestClient after(server_);
  EXPECT_EQ(Count(after), 5);
  ASSERT_EQ(BeginTransaction(after.h, "Next", 0, 0), 0) << "the write lock was released";
  EXPECT_EQ(EndTransaction(after.h, 1), 0);
}

TEST_F(Services, KilledInsideATransactionLeavesTheServerAsBefore) {
  const Child child = Spawn([&](BareClient& c, int) {
    // No test macros here: the child only works and dies.
    int32_t id;
    if (BeginTransaction(c.h, "Doomed", 0, 0) || GetNextId(c.h, "Customer_Next", &id)) return 5;
    for (int i = 0; i < 2000; ++i)
      if (c.Add("CUSTOMER", 1000 + i)) return 6;
    kill(getpid(), SIGKILL);
    return 7;
  });
  ASSERT_GE(child.pid, 0);
  const int status = WaitFor(child);
  ASSERT_TRUE(WIFSIGNALED(status)) << "child ended with " << WEXITSTATUS(status);
  EXPECT_EQ(WTERMSIG(status), SIGKILL);

  TestClient c(server_);
  EXPECT_EQ(Count(c), 5);
  int32_t id = 0;
  EXPECT_EQ(GetNextId(c.h, "customer_next", &id), 0);
  EXPECT_EQ(id, 100) << "the sequence step taken inside the transaction is gone too";
  ASSERT_EQ(BeginTransaction(c.h, "After", 0, 0), 0) << "no lock left behind";
  ASSERT_EQ(AddCustomer(c, 1000), 0);
  ASSERT_EQ(EndTransaction(c.h, 1), 0);
  EXPECT_EQ(Count(c), 6);
}

TEST_F(Services, GetNextIdDrawsFromSysdbSequencies) {
  TestClient a(server_), b(server_);
  int32_t id = 0;
  EXPECT_EQ(GetNextId(a.h, "Customer_Next", &id), 0);
  EXPECT_EQ(id, 100);
  EXPECT_EQ(GetNextId(b.h, "CUSTOMER_NEXT", &id), 0) << "names match without regard to case";
  EXPECT_EQ(id, 105);
  EXPECT_EQ(GetNextId(a.h, "customer_next", &id), 0);
  EXPECT_EQ(id, 110);
  EXPECT_EQ(GetNextId(a.h, "sysdb_dbuser", &id), 0);
  EXPECT_EQ(id, 2) << "the user the test server made took 1";
  id = -5;
  EXPECT_EQ(GetNextId(a.h, "nosuch", &id), 10061);
  EXPECT_EQ(id, -5);
  EXPECT_EQ(GetNextId(a.h, "", &id), 10061);
  EXPECT_EQ(GetNextId(a.h, nullptr, &id), 10050);

  // At the end of the 32-bit range the sequence fails instead of wrapping.
  {
    qordb::ServerAdmin admin(server_.path);
    admin.AddSequence("NEAR_END", 2147483640, 5);
  }
  EXPECT_EQ(GetNextId(a.h, "NEAR_END", &id), 0);
  EXPECT_EQ(id, 2147483640);
  id = 0;
  EXPECT_EQ(GetNextId(a.h, "NEAR_END", &id), 10061);
  EXPECT_EQ(GetNextId(b.h, "NEAR_END", &id), 10061);
  EXPECT_EQ(id, 0);
  EXPECT_EQ(GetNextId(a.h, "customer_next", nullptr), 10050);
}

TEST_F(Services, ANameStoredInTwoCasesIsDrawnFromTheRowStoredFirst) {
  // A catalogue from before names that differ only in case were refused:
  // next_one, and NEXT_ONE stored after it, written as any client may write.
  TestClient a(server_), b(server_);
  const std::string seq = "sequencies";
  std::vector<char> img(a.sysDict.ImageLength(seq));
  auto put = [&](QorFn_NewRec entry, const std::string& name, int32_t start) {
    a.sysDict.SetText(img, seq, "seq_name", name);
    a.sysDict.SetInt(img, seq, "seq_id", start);
    a.sysDict.SetInt(img, seq, "seq_step", 1);
    char* p = img.data();
    return entry(a.h, 19, a.sysDict.Rt(seq), a.sysDict.ImageLength(seq), &p);
  };
  ASSERT_EQ(put(NewRec, "next_one", 1), 0);
  ASSERT_EQ(put(NewRec, "NEXT_ONE", 500), 0);

  struct Draw {
    TestClient* client;
    const char* name;
    int32_t id;
  };
  auto draw = [](const std::vector<Draw>& draws) {
    for (const Draw& d : draws) {
      int32_t id = 0;
      EXPECT_EQ(GetNextId(d.client->h, d.name, &id), 0) << d.name;
      EXPECT_EQ(id, d.id) << d.name;
    }
  };
  draw({{&a, "NEXT_ONE", 1}, {&a, "next_one", 2}, {&b, "Next_One", 3}, {&a, "NEXT_ONE", 4}});
  Peer other;
  ASSERT_EQ(other.Status("login " + std::to_string(server_.shopId)), 0);
  EXPECT_EQ(other.Ask("draw NEXT_ONE"), "0 5") << "another process draws from the same row";

  // Once that row is gone, the one stored after it serves the name, also to
  // a handle that drew from the first before.
  ASSERT_EQ(DefineKey(a.h, 19, a.sysDict.Rt(seq), a.sysDict.FieldNumber(seq, "seq_name")), 0);
  ASSERT_EQ(put(DelRec, "next_one", 0), 0);
  draw({{&a, "NEXT_ONE", 500}, {&b, "next_one", 501}});
  qordb::ServerAdmin admin(server_.path);
  const auto rows = admin.ReadRecords("SYSDB", seq);
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[2], (std::vector<std::string>{"NEXT_ONE", "502", "1", "0", "0", "0", "0"}));
}

TEST_F(Services, CountsTimeAndLocks) {
  TestClient c(server_);
  int32_t n = -1;
  EXPECT_EQ(GetCount(c.h, c.log, c.logDict.Rt("ENTRY"), &n), 0);
  EXPECT_EQ(n, 0);
  EXPECT_EQ(GetCount(c.h, c.shop, 10009, &n), 10012);
  EXPECT_EQ(GetCount(c.h, c.shop, c.Rt("CUSTOMER"), nullptr), 10050);
  time_t now = 0;
  const time_t before = std::time(nullptr);
  EXPECT_EQ(GetServerTime(c.h, &now), 0);
  EXPECT_GE(now, before);
  EXPECT_LE(now, std::time(nullptr));
  EXPECT_EQ(GetServerTime(c.h, nullptr), 10050);
  EXPECT_EQ(GetServerTime(4711, &now), 10015);
  EXPECT_EQ(UnlockRecord(c.h, c.shop, c.Rt("CUSTOMER"), 1), 10002) << "nothing is ever locked";
}

TEST_F(Services, BookmarksMarkAndReturnToARecord) {
  TestClient c(server_);
  const int rt = c.Rt("CUSTOMER");
  int32_t id = -1;
  ASSERT_EQ(BookmarkCreate(c.h, c.shop, rt, &id), 0);
  EXPECT_EQ(BookmarkOperation(c.h, id, 0), 10002) << "no current record to mark";
  EXPECT_EQ(BookmarkOperation(c.h, id, 1), 10063) << "not marked yet";
  EXPECT_EQ(c.CustomerId(FirstRec), 1);
  EXPECT_EQ(c.CustomerId(NextRec), 2);
  EXPECT_EQ(BookmarkOperation(c.h, id, 0), 0);
  EXPECT_EQ(c.CustomerId(LastRec), 5);
  EXPECT_EQ(BookmarkOperation(c.h, id, 1), 0);
  EXPECT_EQ(c.CustomerId(ReadCurrentRec), 2);
  EXPECT_EQ(c.CustomerId(NextRec), 3) << "moves continue from the bookmarked record";
  EXPECT_EQ(BookmarkOperation(c.h, id, 7), 10029);

  int32_t second = -1;
  ASSERT_EQ(BookmarkCreate(c.h, c.shop, rt, &second), 0);
  EXPECT_NE(second, id);
  EXPECT_EQ(BookmarkOperation(c.h, second, 0), 0);  // on record 3
  std::vector<char> img = c.Blank("CUSTOMER");
  char* p = img.data();
  ASSERT_EQ(DelRec(c.h, c.shop, rt, c.Len("CUSTOMER"), &p), 0);  // the current record, 3
  EXPECT_EQ(BookmarkOperation(c.h, second, 1), 10063) << "its record is gone";

  EXPECT_EQ(BookmarkDrop(c.h, id), 0);
  EXPECT_EQ(BookmarkDrop(c.h, id), 10050);
  EXPECT_EQ(BookmarkOperation(c.h, id, 1), 10050);
  EXPECT_EQ(BookmarkCreate(c.h, c.shop, 9000, &id), 10012);
  EXPECT_EQ(BookmarkCreate(c.h, c.shop, rt, nullptr), 10050);
}

TEST_F(Services, ServerParametersAndTheExtensionPackage) {
  TestClient c(server_);
  struct Case {
    const char* name;
    int status;
    const char* text;
  };
  const Case cases[] = {
      {"VolumeId", 0, "3000000001"},
      {"RegLmgrName", 0, "LMGR-1"},
      {"volumeid", 10059, nullptr},
      {"Anything", 10059, nullptr},
  };
  for (const Case& k : cases) {
    Owned text;
    EXPECT_EQ(GetServerParam(c.h, k.name, &text), k.status) << k.name;
    if (k.text) {
      EXPECT_STREQ(text.p, k.text);
    }
  }
  Owned none;
  EXPECT_EQ(GetServerParam(c.h, nullptr, &none), 10050);

  ASSERT_EQ(OpenExtPackage(c.h, "ZkProcess"), 0);
  void* out = nullptr;
  int32_t size = 0;
  ASSERT_EQ(CallExtFnc(c.h, "ZkProcess", "xd16", nullptr, &out, &size), 0);
  ASSERT_EQ(size, 4);
  const unsigned char* b = static_cast<const unsigned char*>(out);
  EXPECT_EQ(b[0] | (b[1] << 8) | (b[2] << 16) | (static_cast<uint32_t>(b[3]) << 24), 3000000001u);
  EXPECT_EQ(FreePtr(out), 0);
  out = nullptr;
  EXPECT_EQ(CallExtFnc(c.h, "ZkProcess", "xd17", nullptr, &out, &size), 10038);
  EXPECT_EQ(CallExtFnc(c.h, "ZkProcess", "xd16", nullptr, nullptr, &size), 10050);
  EXPECT_EQ(CloseExtPackage(c.h, "ZkProcess"), 0);
  EXPECT_EQ(CallExtFnc(c.h, "ZkProcess", "xd16", nullptr, &out, &size), 10038) << "closed";
  EXPECT_EQ(OpenExtPackage(c.h, "Other"), 10038);
  EXPECT_EQ(out, nullptr);
}

TEST_F(Services, RegLmgrNameUnsetIsAnUnsupportedParameter) {
  const std::string path = server_.dir + "/BARE";
  qordb::ServerAdmin::Create(path);
  int32_t h;
  ASSERT_EQ(CreateDbHandler(&h), 0);
  std::vector<char> block = UserBlock("BARE");
  ASSERT_EQ(InitUserEx(h, block.data()), 0);
  Owned text, volume;
  EXPECT_EQ(GetServerParam(h, "RegLmgrName", &text), 10059);
  EXPECT_EQ(GetServerParam(h, "VolumeId", &volume), 0);
  EXPECT_NE(std::string(volume.p), "0");
  EXPECT_EQ(FreeDbHandler(h), 0);
}

TEST_F(Services, SqlOperationRecordsTheStatement) {
  TestClient c(server_);
  EXPECT_STREQ(QorDbCliLastSql(c.h), "");
  EXPECT_EQ(SqlOperation(c.h, "UPDATE UGYFEL SET X = 1", 71), 0);
  EXPECT_STREQ(QorDbCliLastSql(c.h), "UPDATE UGYFEL SET X = 1");
  EXPECT_EQ(SqlOperation(c.h, nullptr, 71), 10050);
  EXPECT_EQ(SqlOperation(999, "x", 71), 10015);
}

}  // namespace
