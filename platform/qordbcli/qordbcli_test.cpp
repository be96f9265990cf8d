// The client entries against a real server file, as the client library
// calls them.
#include "qordbcli.h"

#include <dlfcn.h>
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <cstring>
#include <functional>
#include <random>
#include <set>

#include "ServerAdmin.h"
#include "TestServer_testutil.h"

namespace {

class Entries : public NoLeakedBuffers {
 protected:
  TestServer server_;
};

TEST_F(Entries, ConnectionNeedsTheQordbServiceAndAnExistingServer) {
  struct Case {
    const char* server;
    const char* service;
    int status;
  };
  const std::string absolute = server_.path;
  const Case cases[] = {
      {"SRV", "qordb", 0}, {absolute.c_str(), "qordb", 0}, {"SRV", "QORDB", 10039},
      {"SRV", "", 10039},  {"NOSUCH", "qordb", 10039},     {"", "qordb", 10039},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.server) + "/" + c.service);
    int32_t h = 10014;
    ASSERT_EQ(CreateDbHandler(&h), 0);
    std::vector<char> block = UserBlock(c.server, c.service);
    EXPECT_EQ(InitUserEx(h, block.data()), c.status);
    EXPECT_EQ(OpenDbExA(h, 19, "SYSDB", 0), c.status == 0 ? 0 : 10015);
    EXPECT_EQ(FreeDbHandler(h), 0);
  }
  // A server that is not one: a stray file under the root.
  FILE* f = fopen((server_.dir + "/JUNK").c_str(), "w");
  fputs("not a server", f);
  fclose(f);
  int32_t h;
  ASSERT_EQ(CreateDbHandler(&h), 0);
  std::vector<char> block = UserBlock("JUNK");
  EXPECT_EQ(InitUserEx(h, block.data()), 10039);
  EXPECT_EQ(FreeDbHandler(h), 0);
}

TEST_F(Entries, AFileThatIsNoServerIsRefusedWithoutAByteChanged) {
  for (const std::string& path : MakeForeignFiles(server_.dir)) {
    SCOPED_TRACE(path);
    const std::string before = FileState(path);
    int32_t h;
    ASSERT_EQ(CreateDbHandler(&h), 0);
    std::vector<char> block = UserBlock(path.substr(server_.dir.size() + 1));
    EXPECT_EQ(InitUserEx(h, block.data()), 10039);
    EXPECT_EQ(FreeDbHandler(h), 0);
    EXPECT_THROW(qordb::ServerAdmin admin(path), qordb::ServerError);
    EXPECT_EQ(FileState(path), before);
  }
}

TEST_F(Entries, ARecordTypeWithAnEmptyImageIsServed) {
  // A dictionary made elsewhere: LOG's ENTRY without fields, its slot no
  // longer than its data offset.
  EditStoredImage(server_.path, server_.logId, [](std::vector<char>& image) {
    const size_t at = RecordEntryAt(image, 0);
    std::memcpy(&image[at + 2], &image[at + 4], 2);
    const int16_t pastTheFields = 2;
    std::memcpy(&image[at + 6], &pastTheFields, 2);
  });
  TestClient c(server_);
  ASSERT_EQ(c.logDict.ImageLength("ENTRY"), 0);
  char none = 0;
  char* p = &none;
  EXPECT_EQ(NewRec(c.h, c.log, 10000, 0, &p), 0);
  EXPECT_EQ(ModRec(c.h, c.log, 10000, 0, &p), 0);
  EXPECT_EQ(FindRec(c.h, c.log, 10000, 0, &p), 10021) << "no key to find by";
  int32_t n = 0;
  EXPECT_EQ(GetCount(c.h, c.log, 10000, &n), 0);
  EXPECT_EQ(n, 1);
  Owned image;
  EXPECT_EQ(FirstRec(c.h, c.log, 10000, 0, &image), 0);
  EXPECT_NE(image.p, nullptr);
}

TEST_F(Entries, ABufferStaysTheCallersUntilItIsReleased) {
  TestClient c(server_);
  int32_t size = c.Len("CUSTOMER");
  char* list = nullptr;
  ASSERT_EQ(GetAllRec(c.h, c.shop, c.Rt("CUSTOMER"), &size, &list), 0);
  const std::string bytes(list, size);
  // Later calls hand out and take back buffers of their own meanwhile.
  for (int i = 0; i < 10; ++i) {
    Owned more, image;
    int32_t n = c.Len("CUSTOMER");
    ASSERT_EQ(GetAllRec(c.h, c.shop, c.Rt("CUSTOMER"), &n, &more), 0);
    ASSERT_EQ(FirstRec(c.h, c.shop, c.Rt("CUSTOMER"), c.Len("CUSTOMER"), &image), 0);
    std::memset(more.p, 'x', n);
  }
  EXPECT_EQ(std::string(list, size), bytes);
  EXPECT_EQ(FreePtr(list), 0);
  EXPECT_EQ(FreePtr(list), 10050) << "released once";
}

TEST_F(Entries, ASequenceCatalogueWithoutANameKeyStillDraws) {
  // SEQ_NAME not a key: no column to go straight to a sequence's row.
  EditStoredImage(server_.path, 19, [](std::vector<char>& image) {
    image[FieldEntryAt(image, "sequencies", "seq_name")] = 'n';
  });
  TestClient c(server_);
  int32_t id = 0;
  EXPECT_EQ(GetNextId(c.h, "Customer_Next", &id), 0);
  EXPECT_EQ(id, 100);
  EXPECT_EQ(GetNextId(c.h, "CUSTOMER_NEXT", &id), 0);
  EXPECT_EQ(id, 105);
  EXPECT_EQ(GetNextId(c.h, "Nosuch", &id), 10061);
  EXPECT_EQ(id, 105);
}

TEST_F(Entries, ASequenceCatalogueOfFloatValuesIsRefused) {
  // SEQ_ID typed 'f': its stored bytes would be read as a float, which is no id.
  EditStoredImage(server_.path, 19, [](std::vector<char>& image) {
    image[FieldEntryAt(image, "sequencies", "seq_id") + 1] = 'f';
  });
  TestClient c(server_);
  int32_t id = 0;
  EXPECT_EQ(GetNextId(c.h, "Customer_Next", &id), 10057);
  EXPECT_EQ(id, 0);
  qordb::ServerAdmin admin(server_.path);
  for (const std::function<void()>& call :
       std::vector<std::function<void()>>{[&] { admin.AddSequence("MORE"); },
                                          [&] {
                                            admin.AddUser({"EVA", "X"});
                                          }}) {
    try {
      call();
      ADD_FAILURE() << "accepted";
    } catch (const qordb::ServerError& e) {
      EXPECT_NE(std::string(e.what()).find("SEQUENCIES.seq_id is not an integer"),
                std::string::npos)
          << e.what();
    }
  }
}

TEST_F(Entries, BadHandlesAndPointersGetTheirStatus) {
  EXPECT_EQ(CreateDbHandler(nullptr), 10050);
  EXPECT_EQ(InitUserEx(12345, nullptr), 10015);
  EXPECT_EQ(FreeDbHandler(12345), 10015);
  EXPECT_EQ(FreeDbHandler(10014), 10015);
  int32_t h;
  ASSERT_EQ(CreateDbHandler(&h), 0);
  EXPECT_EQ(InitUserEx(h, nullptr), 10050);
  char* image = nullptr;
  int32_t size = 0;
  EXPECT_EQ(GetDbDescription(h, 19, &image, &size), 10015) << "no user block sent yet";
  EXPECT_EQ(FreeDbHandler(h), 0);
  EXPECT_EQ(FreeDbHandler(h), 10015) << "released once only";
  EXPECT_EQ(FreePtr(nullptr), 10050);
  char local[8];
  EXPECT_EQ(FreePtr(local), 10050) << "a buffer the library did not hand out is left alone";
}

TEST_F(Entries, HandlesAreNeverTheNoConnectionValue) {
  std::vector<int32_t> handles;
  std::set<int32_t> seen;
  for (int i = 0; i < 10020; ++i) {
    int32_t h = 0;
    ASSERT_EQ(CreateDbHandler(&h), 0);
    ASSERT_NE(h, 10014);
    ASSERT_TRUE(seen.insert(h).second);
    handles.push_back(h);
  }
  for (int32_t h : handles) ASSERT_EQ(FreeDbHandler(h), 0);
}

TEST_F(Entries, OpeningDatabases) {
  int32_t h;
  ASSERT_EQ(CreateDbHandler(&h), 0);
  std::vector<char> block = UserBlock("SRV");
  ASSERT_EQ(InitUserEx(h, block.data()), 0);
  Owned image;
  int32_t size = 0;
  EXPECT_EQ(GetDbDescription(h, 19, &image, &size), 10004) << "the client opens what it cannot read";
  EXPECT_EQ(OpenDbExA(h, 19, "sysdb", 0), 0);
  EXPECT_EQ(OpenDbExA(h, 19, "SYSDB", 0), 10020);
  EXPECT_EQ(OpenDbExA(h, server_.shopId, "nosuch", 0), 10003);
  EXPECT_EQ(OpenDbExA(h, server_.shopId + 50, "shop", 0), 10017);
  EXPECT_EQ(OpenDbExA(h, server_.shopId, nullptr, 0), 10050);
  EXPECT_EQ(OpenDbExA(h, server_.shopId, "sHoP", 0), 0);
  EXPECT_EQ(GetDbDescription(h, server_.shopId, &image, &size), 0);
  qordb::ServerAdmin admin(server_.path);
  std::vector<char> stored = admin.DictionaryImage("SHOP");
  ASSERT_EQ(size, static_cast<int32_t>(stored.size()));
  EXPECT_EQ(std::memcmp(image.p, stored.data(), size), 0);
  EXPECT_EQ(GetDbDescription(h, server_.shopId, nullptr, &size), 10050);
  EXPECT_EQ(CloseDb(h, server_.shopId), 0);
  EXPECT_EQ(CloseDb(h, server_.shopId), 10019);
  Owned again;
  EXPECT_EQ(GetDbDescription(h, server_.shopId, &again, &size), 10004);
  EXPECT_EQ(FreeDbHandler(h), 0);
}

}  // namespace

namespace {

TEST_F(Entries, UnusedEntriesRefuseAndTouchNothing) {
  TestClient c(server_);
  char* text = reinterpret_cast<char*>(0x1);
  int32_t n = 77;
  void* ptr = &n;
  EXPECT_EQ(ArchiveDb(c.h), 10038);
  EXPECT_EQ(RestoreArchive(c.h, "x"), 10038);
  EXPECT_EQ(CreateDatabase(c.h, "x", 0, 0), 10038);
  EXPECT_EQ(Connect(c.h, "x"), 10038);
  EXPECT_EQ(DropDatabase(c.h, "SHOP"), 10038);
  EXPECT_EQ(CreateTablespace(c.h, "x"), 10038);
  EXPECT_EQ(Reindex(c.h), 10038);
  EXPECT_EQ(GetServiceNames(c.h, &text, &n, 0), 10038);
  EXPECT_EQ(StepToRelative(c.h, c.shop, 10000, 2), 10038);
  EXPECT_EQ(SetEventPtr(c.h, ptr), 10038);
  EXPECT_EQ(SetEventCookie(c.h, ptr), 10038);
  EXPECT_EQ(SqlGetResult(c.h, 0, 0, 0, &text, &n), 10038);
  EXPECT_EQ(SqlGetResultText(c.h, &text), 10038);
  EXPECT_EQ(GetQorVersion(c.h, &n, &n), 10038);
  EXPECT_EQ(FindBlob(c.h, 1, &text, &n), 10038);
  EXPECT_EQ(NewBlob(c.h, "x", 1, &n), 10038);
  EXPECT_EQ(DelBlob(c.h, 1), 10038);
  EXPECT_EQ(FindData(c.h, c.shop, 10000, 0, "x", &text, &n), 10038);
  EXPECT_EQ(WriteData(c.h, c.shop, 10000, 0, "x", 1), 10038);
  EXPECT_EQ(LockRecord(c.h, c.shop, 10000, 1), 10038);
  EXPECT_EQ(WhoMadeLock(c.h, c.shop, 10000, 1, &text), 10038);
  EXPECT_EQ(GetStatuses(c.h, &text, &n), 10038);
  EXPECT_EQ(EngineStatistic(c.h, 0, &text, &n), 10038);
  EXPECT_EQ(KillUser(c.h, 1), 10038);
  EXPECT_EQ(GetMaxuser(&n), 10038);
  EXPECT_EQ(GetCompanyDataFile(c.h, "x", &text), 10038);
  EXPECT_EQ(CursorCreate(c.h, c.shop, 10000, 0, &n), 10038);
  EXPECT_EQ(CursorDrop(c.h, 1), 10038);
  EXPECT_EQ(CursorOperation(c.h, 1, 0, 52, &text), 10038);
  EXPECT_EQ(GetConditionedCount(c.h, c.shop, 10000, 0, 0, "x", 1, &n), 10038);
  EXPECT_EQ(FindLess(c.h, &n, &text, &text, c.shop, 10000, 0), 10038);
  EXPECT_EQ(FindListOr(c.h, &n, &text, &text, c.shop, 10000, 0), 10038);
  EXPECT_EQ(GetRecLocks(c.h, &text, &n), 10038);
  EXPECT_EQ(text, reinterpret_cast<char*>(0x1));
  EXPECT_EQ(n, 77);
  EXPECT_EQ(AddToTransaction(c.h, c.shop, 10000), 0) << "transactions span every database anyway";
}

TEST_F(Entries, AShortUserBlockIsRefused) {
  int32_t h;
  ASSERT_EQ(CreateDbHandler(&h), 0);
  std::vector<char> block = UserBlock("SRV");
  int32_t size = 100;
  std::memcpy(block.data(), &size, 4);
  EXPECT_EQ(InitUserEx(h, block.data()), 10036);
  // Texts that fill their whole field without a NUL are read within it.
  block = UserBlock("SRV");
  std::memset(block.data() + 104, 'q', 32);
  EXPECT_EQ(InitUserEx(h, block.data()), 10039);
  EXPECT_EQ(FreeDbHandler(h), 0);
}

TEST_F(Entries, RandomImagesAreStoredNormalisedOrRefused) {
  TestClient c(server_);
  const int rt = c.Rt("CONTACT"), len = c.Len("CONTACT");
  std::mt19937 gen(12345);
  std::vector<char> img(len);
  int stored = 0;
  for (int i = 0; i < 400; ++i) {
    for (char& b : img) b = static_cast<char>(gen());
    // Small key values so duplicates happen.
    c.shopDict.SetInt(img, "CONTACT", "CID", gen() % 300);
    c.shopDict.SetInt(img, "CONTACT", "OWNER", gen() % 5);
    char* p = img.data();
    int status = NewRec(c.h, c.shop, rt, len, &p);
    ASSERT_TRUE(status == 0 || status == 10005) << status;
    stored += status == 0;
    status = ModRec(c.h, c.shop, rt, len, &p);
    ASSERT_TRUE(status == 0 || status == 10005 || status == 10002) << status;
    for (auto e : {FindRec, FindRecNext, DelRec}) {
      status = e(c.h, c.shop, rt, len, &p);
      ASSERT_TRUE(status == 0 || status == 10002 || status == 10021) << status;
    }
  }
  EXPECT_GT(stored, 50);
  int32_t size = len;
  Owned all;
  ASSERT_EQ(GetAllRec(c.h, c.shop, rt, &size, &all), 0);
  std::vector<bool> covered(len);
  for (const TestField* f : c.shopDict.FieldsOf("CONTACT"))
    if (f->type != 'g' && f->type != 'k')
      for (int b = 0; b < f->length; ++b) covered[c.shopDict.Offset("CONTACT", f->name) + b] = true;
  for (int32_t at = 0; at < size; at += len) {
    const char* rec = all.p + at;
    for (int b = 0; b < len; ++b) {
      if (!covered[b]) {
        ASSERT_EQ(rec[b], 0) << "uncovered byte " << b;
      }
    }
    for (const char* field : {"VALUE", "STREET"}) {
      const int off = c.shopDict.Offset("CONTACT", field), flen = c.shopDict.Field("CONTACT", field).length;
      const char* nul = static_cast<const char*>(std::memchr(rec + off, 0, flen));
      for (const char* q = nul; q && q < rec + off + flen; ++q) ASSERT_EQ(*q, 0) << field;
    }
  }
}

TEST_F(Entries, EngineFailuresAndBusyAreStatuses) {
  TestClient c(server_), other(server_);
  // Another writer holds the lock: a second transaction waits, then is told.
  ASSERT_EQ(BeginTransaction(c.h, "Holder", 0, 0), 0);
  EXPECT_EQ(BeginTransaction(other.h, "Waiter", 0, 0), 10054);
  EXPECT_EQ(EndTransaction(other.h, 1), 0) << "the refused transaction never opened";
  ASSERT_EQ(EndTransaction(c.h, 1), 0);

  // A record table that has gone from the file.
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(server_.path.c_str(), &db), SQLITE_OK);
  ASSERT_EQ(
      sqlite3_exec(db, ("DROP TABLE t" + std::to_string(server_.logId) + "_0").c_str(), nullptr, nullptr, nullptr),
      SQLITE_OK);
  sqlite3_close(db);
  Owned image;
  EXPECT_EQ(FirstRec(other.h, other.log, 10000, other.logDict.ImageLength("ENTRY"), &image), 10057);
  int32_t n = 0;
  EXPECT_EQ(GetCount(other.h, other.log, 10000, &n), 10057);
  EXPECT_EQ(GetCount(other.h, other.shop, 10000, &n), 0) << "the rest of the server still serves";
  EXPECT_EQ(n, 5);
}

}  // namespace

namespace {

// The client binds the library at run time by the entries' plain names.
TEST(Library, ExportsEveryEntryByItsPlainName) {
  void* lib = dlopen("libqordbcli.so", RTLD_NOW | RTLD_LOCAL);
  if (!lib) {
    Dl_info info;
    ASSERT_NE(dladdr(reinterpret_cast<void*>(&FreePtr), &info), 0);
    lib = dlopen(info.dli_fname, RTLD_NOW | RTLD_LOCAL);
  }
  ASSERT_NE(lib, nullptr) << dlerror();
#define QOR_EXPECT_EXPORTED(name, bytes, params) \
  EXPECT_EQ(dlsym(lib, #name), reinterpret_cast<void*>(static_cast<QorFn_##name>(&name))) << #name;
  QORDBCLI_ENTRIES(QOR_EXPECT_EXPORTED)
#undef QOR_EXPECT_EXPORTED
  dlclose(lib);
}

}  // namespace
