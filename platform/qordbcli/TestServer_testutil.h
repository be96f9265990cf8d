// A server in a temporary folder for the tests, and a client logged in to it
// through the exported entries.
#pragma once

#include <gtest/gtest.h>
#include <sys/types.h>

#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "SchemaDef.h"
#include "TestDictionary_testutil.h"
#include "qordbcli_diag.h"

// A field of a test schema: its type letter, length and key kind as
// FieldDef has them.
qordb::FieldDef F(const char* name, char type, int length = 0, char key = 'n');

// SHOP: CUSTOMER (ID unique, NAME non-unique, CITYNAME compound of CITY and
// NAME) and CONTACT (a group, a unique compound key OWNERKIND); LOG: ENTRY.
qordb::SchemaDef ShopSchema();
qordb::SchemaDef LogSchema();

class TestServer {
 public:
  // Creates the folder, points QORDB_ROOT at it and makes the server "SRV"
  // with SHOP and LOG, a sequence and the rows below.
  TestServer();
  ~TestServer();
  std::string dir;
  std::string path;  // dir + "/SRV"
  int32_t shopId = 0, logId = 0;
};

// Rewrites the stored dictionary image of database dbId in the server file,
// as a file made elsewhere might hold it.
void EditStoredImage(const std::string& path, int32_t dbId,
                     const std::function<void(std::vector<char>&)>& edit);
// Where an entry of a dictionary image starts: record entry r, or the field
// entry of record.field.
size_t RecordEntryAt(const std::vector<char>& image, int r);
size_t FieldEntryAt(const std::vector<char>& image, const std::string& record,
                    const std::string& field);

// Files under dir that are not servers of ours: an empty one and another
// program's SQLite database. Their paths.
std::vector<std::string> MakeForeignFiles(const std::string& dir);
// A file's bytes with those of its SQLite side files ("-wal", "-shm",
// "-journal"), to tell that nothing of it changed.
std::string FileState(const std::string& path);

// The 211-byte block the login sends.
std::vector<char> UserBlock(const std::string& server, const std::string& service = "qordb");

// A buffer returned by an entry, released with FreePtr when it goes.
struct Owned {
  char* p = nullptr;
  Owned() = default;
  Owned(const Owned&) = delete;
  ~Owned();
  char** operator&() { return &p; }
};

// A handle logged in to "SRV" with SYSDB, SHOP and LOG open and read.
class TestClient {
 public:
  explicit TestClient(const TestServer& server);
  ~TestClient();
  int32_t h = 10014;
  int32_t shop = 0, log = 0;
  TestDictionary shopDict, logDict, sysDict;

  std::vector<char> Blank(const std::string& record) const { return std::vector<char>(shopDict.ImageLength(record)); }
  int Rt(const std::string& record) const { return shopDict.Rt(record); }
  int Len(const std::string& record) const { return shopDict.ImageLength(record); }
  int Key(const std::string& record, const std::string& field) const { return shopDict.FieldNumber(record, field); }
  // NextRec and friends on SHOP: the status, and the field's text on success.
  int Go(int (*entry)(int32_t, int32_t, int32_t, int32_t, char**), const std::string& record, const std::string& field,
         std::string* text);
  // The ID of the CUSTOMER record a move entry (NextRec and friends) returns,
  // or minus its status.
  int CustomerId(int (*entry)(int32_t, int32_t, int32_t, int32_t, char**));
  // The values of one field over the records a list entry returned.
  std::vector<std::string> Column(const char* list, int32_t size, const std::string& record,
                                  const std::string& field) const;
};

// A handle on a server with one database open, through the entries alone and
// without test macros, for a child process or the peer program: every call
// answers its status.
struct BareClient {
  int32_t h = 10014, db = 0;
  TestDictionary dict;

  int Open(const std::string& server, int32_t dbId, const char* name);
  // A record of the given ID (its unique key), its other fields filled with
  // fill: NewRec of it, and FindRec of it by its ID.
  int Add(const std::string& record, int id, char fill = 0);
  int Has(const std::string& record, int id);
  // FindList by ID: the ID of the one record it gives, or minus its status
  // (-1 for another number of records).
  int Select(const std::string& record, int id);
  // The record type's count, or -1.
  int32_t Count(const std::string& record);

 private:
  std::vector<char> Record(const std::string& record, int id, char fill) const;
};

// Another program on the server: qordbcli_peer (peer/qordbcli_peer.cpp lists
// its commands), started from the test program's folder with this process's
// environment, QORDB_ROOT included, and the variables of environment
// ("NAME=value") beside; its standard error goes to the file errors, where
// one is named.
class Peer {
 public:
  explicit Peer(const std::vector<std::string>& environment = {}, const std::string& errors = "");
  // Another program of the test program's folder that answers as the peer
  // does, started with the arguments args.
  Peer(const std::string& program, const std::vector<std::string>& args,
       const std::vector<std::string>& environment = {});
  // Ends its input, so that it logs out and exits, and waits for it.
  ~Peer();
  Peer(const Peer&) = delete;
  Peer& operator=(const Peer&) = delete;

  // Sends a command and returns the answer line; Send and Answer do it in
  // two steps, for a command that answers only once the next line arrives.
  std::string Ask(const std::string& command);
  void Send(const std::string& command);
  std::string Answer();
  // The status that the answer to command begins with.
  int Status(const std::string& command);
  // Ends its input and returns its wait status once it has exited, and
  // every child that holds its output with it.
  int Quit();
  // Kills it (SIGKILL), as a program killed mid-call, and waits for it.
  void Kill();
  pid_t pid() const { return pid_; }

 private:
  void Start(const std::string& program, const std::vector<std::string>& args,
             const std::vector<std::string>& environment, const std::string& errors);
  pid_t pid_ = -1;
  FILE* to_ = nullptr;
  FILE* from_ = nullptr;
};

// A fixture that fails the test when an entry's buffer was never released.
class NoLeakedBuffers : public ::testing::Test {
 protected:
  void SetUp() override { buffersBefore_ = QorDbCliOutstandingBuffers(); }
  void TearDown() override {
    // Every buffer an entry handed out has been released by now.
    EXPECT_EQ(QorDbCliOutstandingBuffers(), buffersBefore_);
  }

 private:
  int64_t buffersBefore_ = 0;
};
