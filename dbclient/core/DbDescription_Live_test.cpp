// The description against the real client library and a server made for
// the test: navigation, finds, writes, lists, transactions and bookmarks.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <cstring>
#include <optional>

#include "DbDescription.h"
#include "FncLoader.h"
#include "Raised_testutil.h"
#include "RdmBookmark.h"
#include "RdmCursor.h"
#include "RdmFld.h"
#include "ServerAdmin.h"
#include "TestServer.h"
#include "UserInfoBlock.h"
#include "qordbcli_diag.h"

namespace {

const char* kShop = R"(database SHOP id 20
record CUSTOMER
  CUST_ID  l unique
  CITY     c 21
  NAME     c 21 key
  BALANCE  d
end
record ORDERS
  ORD_ID   l unique
  CUST_ID  l key
  AMOUNT   F
end
)";

const char* kLedger = R"(database LEDGER id 21
record ENTRY
  E_ID  l unique
  TEXT  c 31
end
)";

// AGE, two bytes, comes to lie over the low half of ID: the server makes no
// such dictionary but serves one made elsewhere.
const char* kPeople = R"(database PEOPLE id 22
record PERSON
  P_ID  l unique
  ID    l
  AGE   s
end
)";

void LayAgeOverId(const QorTestServer& server) {
  std::vector<char> image = qordb::ServerAdmin(server.Path()).DictionaryImage("PEOPLE");
  DbDescription d;
  d.Load(image.data(), int(image.size()), "PEOPLE", 22);
  int16_t files, records;
  std::memcpy(&files, &image[8], 2);
  std::memcpy(&records, &image[10], 2);
  const size_t at = 22 + 60 * size_t(files) + 12 * size_t(records) +
                    20 * size_t(d.GetRecordEntryByName("person").firstField + 2);
  FIELD_ENTRY_S age;
  std::memcpy(&age, &image[at], sizeof age);
  age.offset = d.GetFieldEntryByName("person", "id").offset;
  std::memcpy(&image[at], &age, sizeof age);
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(server.Path().c_str(), &db), SQLITE_OK);
  sqlite3_stmt* update = nullptr;
  sqlite3_prepare_v2(db, "UPDATE qor_database SET image = ?1 WHERE name = 'PEOPLE'", -1, &update,
                     nullptr);
  sqlite3_bind_blob(update, 1, image.data(), int(image.size()), SQLITE_STATIC);
  EXPECT_EQ(sqlite3_step(update), SQLITE_DONE);
  sqlite3_finalize(update);
  sqlite3_close(db);
}

class LiveTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!GlobalFncLoader || !GlobalFncLoader->hModule)
      GTEST_SKIP() << "the client library is not next to the tests";
    server.emplace();
    server->AddDatabase(kShop);
    server->AddDatabase(kLedger);
    server->AddSequence("CUST_SEQ", 100, 5);
    server->Load("SHOP", "CUSTOMER",
                 "CUST_ID\tCITY\tNAME\tBALANCE\n"
                 "1\tGyőr\tKiss\t10\n"
                 "2\tPécs\tAbai\t20\n"
                 "3\tEger\tKiss\t30\n"
                 "4\tSopron\tZala\t4000000000\n");
    ASSERT_EQ(GlobalFncLoader->pfCreateDbHandler(&handle), 0);
    UserInfoBlock block;
    block.Clear();
    block.PutUInt32(UserInfoBlock::SizeAt, UserInfoBlock::Size);
    block.PutText(UserInfoBlock::ServerAt, server->Name().c_str());
    block.PutText(UserInfoBlock::ServiceAt, "qordb");
    ASSERT_EQ(GlobalFncLoader->pfInitUserEx(handle, block.bytes), 0);
    shop = Open("SHOP", 20);
    ledger = Open("LEDGER", 21);
  }

  void TearDown() override {
    if (handle != kNoConnection) GlobalFncLoader->pfFreeDbHandler(handle);
    if (server) {
      EXPECT_EQ(QorDbCliOutstandingBuffers(), 0);
    }
  }

  DbDescription Open(const char* name, int dbId) {
    EXPECT_EQ(GlobalFncLoader->pfOpenDbExA(handle, dbId, name, 0), 0);
    char* image = nullptr;
    int32_t size = 0;
    EXPECT_EQ(GlobalFncLoader->pfGetDbDescription(handle, dbId, &image, &size), 0);
    DbDescription d;
    d.SetHandle(handle);
    d.Load(image, size, name, dbId);
    GlobalFncLoader->pfFreePtr(image);
    return d;
  }

  std::string Name() { return shop.GetFieldTextByName("customer", "name"); }
  std::string Id() { return shop.GetFieldTextByName("customer", "cust_id"); }

  std::optional<QorTestServer> server;
  int32_t handle = kNoConnection;
  DbDescription shop, ledger;
};

TEST_F(LiveTest, TheServersDictionaryIsNumberedAsTheClientNumbersIt) {
  EXPECT_EQ(shop.GetRecordType("orders"), 10001);
  EXPECT_EQ(shop.GetFieldNumber("customer", "name"), 2);
  EXPECT_EQ(shop.GetFieldNumber("orders", "amount"), 1002);
  EXPECT_EQ(shop.GetUniqueKeyName("orders"), "ORD_ID");
  EXPECT_STREQ(ledger.GetName(), "LEDGER");
}

TEST_F(LiveTest, NavigationFollowsTheCurrentKey) {
  shop.DefineKey("customer", "name");
  std::vector<std::string> seen;
  for (bool found = shop.Navigate(0, "customer"); found; found = shop.Navigate(2, "customer"))
    seen.push_back(Name() + Id());
  EXPECT_EQ(seen, (std::vector<std::string>{"Abai2", "Kiss1", "Kiss3", "Zala4"}));
  // Past the end the values stay on the last record.
  EXPECT_EQ(Name(), "Zala");
  EXPECT_TRUE(shop.Navigate(3, "customer"));
  EXPECT_TRUE(shop.Navigate(1, "customer"));
  EXPECT_EQ(Id(), "3");
  // An empty record type: false, values zeroed.
  shop.SetFieldText(1000, "9");
  EXPECT_FALSE(shop.Navigate(0, "orders"));
  EXPECT_EQ(shop.GetFieldText(1000), "0");
}

TEST_F(LiveTest, FieldsLaidOverOneAnotherAreStoredInDictionaryOrder) {
  server->AddDatabase(kPeople);
  LayAgeOverId(*server);
  DbDescription people = Open("PEOPLE", 22);
  RdmFld key(&people, "person", "p_id", false), id(&people, "person", "id", false),
      age(&people, "person", "age", false);
  // In both orders each field reads what was written to it...
  struct Person {
    long key, age;
    bool ageFirst;
  };
  for (const Person& p : {Person{1, 1, false}, Person{2, 2, true}}) {
    key.SetLong(p.key);
    if (p.ageFirst) age.SetLong(p.age);
    id.SetLong(70000);
    if (!p.ageFirst) age.SetLong(p.age);
    EXPECT_EQ(id.AsLong(), 70000);
    EXPECT_EQ(age.AsLong(), p.age);
    people.NewRec("person");
  }
  // ...and each record holds ID with AGE written over its low half.
  EXPECT_EQ(server->DumpedRecords("PEOPLE", "PERSON"),
            (std::vector<std::vector<std::string>>{{"1", "65537", "1"}, {"2", "65538", "2"}}));
  people.ClearFields("person");
  key.SetLong(1);
  ASSERT_TRUE(people.FindRecByKey("person", "p_id"));
  EXPECT_EQ(id.AsLong(), 65537);
  EXPECT_EQ(age.AsLong(), 1);
}

TEST_F(LiveTest, FindsAndTheDuplicatesOfAKey) {
  shop.SetFieldText(2, "Kiss");
  ASSERT_TRUE(shop.FindRecByKey("customer", "name"));
  EXPECT_EQ(Id(), "1");
  ASSERT_TRUE(shop.FindRecNext("customer"));
  EXPECT_EQ(Id(), "3");
  EXPECT_FALSE(shop.FindRecNext("customer"));

  // With option 5 a failed find zeroes the values and empties the fetched records.
  shop.SetFieldText(2, "Senki");
  shop.SetFieldText(1, "Budapest");
  EXPECT_FALSE(shop.FindRec("customer"));
  EXPECT_EQ(shop.GetFetchedCount("customer"), 0);
  EXPECT_EQ(shop.GetFieldText(1), "");
}

TEST_F(LiveTest, WritesAndTheirFailures) {
  shop.SetFieldText(0, "5");
  shop.SetFieldText(2, "Új");
  // Above 2147483647: written and read back whole.
  shop.SetFieldText(3, "3000000000");
  shop.NewRec("customer");
  shop.ClearFields("customer");
  shop.SetFieldText(0, "5");
  ASSERT_TRUE(shop.FindRecByKey("customer", "cust_id"));
  EXPECT_EQ(shop.GetFieldText(3), "3000000000");
  EXPECT_EQ(Name(), "Új");

  Raised e = RaisedBy([&] { shop.NewRec("Customer"); });
  EXPECT_EQ(e.code, 10005);
  EXPECT_EQ(e.args, StringVector("Customer"));

  shop.SetFieldText(1, "Vác");
  shop.AddTableOption("customer", 0);
  shop.DefineKey("customer", "name");
  EXPECT_TRUE(shop.ModRec("customer", true));
  EXPECT_EQ(shop.GetKeyName("customer"), "NAME");
  EXPECT_EQ(server->Records("SHOP", "CUSTOMER").size(), 5u);

  EXPECT_TRUE(shop.DelRec("customer", true));
  EXPECT_FALSE(shop.DelRec("customer", false));
  e = RaisedBy([&] { shop.DelRec("customer", true); });
  EXPECT_EQ(e.code, 10002);
  EXPECT_EQ(e.message, "Sikertelen keresés!\n (customer)");
  EXPECT_EQ(shop.GetCount("customer"), 4);
  EXPECT_EQ(shop.GetCount("orders"), 0);
}

TEST_F(LiveTest, ListsSortsAndAggregates) {
  ASSERT_TRUE(shop.FindList("customer", "", 5));
  EXPECT_EQ(shop.GetFetchedCount("customer"), 4);
  EXPECT_EQ(shop.Aggregate("customer", "cust_id", 1), "10");
  shop.SortFetched("customer", "city", true);
  std::string cities;
  while (shop.NextFetched("customer")) cities += shop.GetFieldText(1) + ",";
  EXPECT_EQ(cities, "Sopron,Pécs,Győr,Eger,");

  shop.SetFieldText(2, "Kiss");
  ASSERT_TRUE(shop.FindList("customer", "name", 0));
  EXPECT_EQ(shop.GetFetchedCount("customer"), 2);
  shop.SetFieldText(2, "Kiss");
  ASSERT_TRUE(shop.FindGreater("customer", "name", 0));
  EXPECT_EQ(shop.GetFetchedCount("customer"), 3);
  shop.SetFieldText(2, "Kiss");
  ASSERT_TRUE(shop.GetAllRecNotEqual("customer", "name", 0));
  EXPECT_EQ(shop.GetFetchedCount("customer"), 2);
  shop.SetFieldText(2, "Zz");
  EXPECT_FALSE(shop.FindList("customer", "name", 0));
}

TEST_F(LiveTest, TransactionsSpanTheConnectionsDatabases) {
  shop.BeginTransaction("Teszt");
  Raised e = RaisedBy([&] { ledger.BeginTransaction("Teszt"); });
  EXPECT_EQ(e.code, 10023);
  EXPECT_EQ(e.message, "Tranzakció aktív!\n (Teszt)");
  shop.SetFieldText(0, "50");
  shop.NewRec("customer");
  ledger.SetFieldText(0, "1");
  ledger.SetFieldText(1, "nyitó tétel");
  ledger.NewRec("entry");
  EXPECT_EQ(ledger.GetCount("entry"), 1);
  ledger.EndTransaction(false);
  EXPECT_EQ(shop.GetCount("customer"), 4);
  EXPECT_EQ(ledger.GetCount("entry"), 0);

  shop.BeginTransaction("Teszt");
  ledger.NewRec("entry");
  shop.EndTransaction(true);
  EXPECT_EQ(ledger.GetCount("entry"), 1);
}

TEST_F(LiveTest, SequencesGiveTheirValues) {
  EXPECT_EQ(shop.GetNextId("CUST_SEQ"), 100);
  EXPECT_EQ(ledger.GetNextId("CUST_SEQ"), 105);
  EXPECT_THROW(shop.GetNextId("NO_SUCH"), DbDescError);
}

TEST_F(LiveTest, TwoCopiesOfABookmarkDropItOnce) {
  shop.DefineKey("customer", "cust_id");
  ASSERT_TRUE(shop.Navigate(3, "customer"));
  std::optional<RdmBookmark> first(std::in_place);
  ASSERT_EQ(first->Open(&shop, "customer"), 0);
  ASSERT_EQ(first->Mark(), 0);
  const int32_t id = first->GetServerId();
  std::optional<RdmBookmark> second(*first);

  ASSERT_TRUE(shop.Navigate(0, "customer"));
  first.reset();
  ASSERT_EQ(second->GoTo(), 0);
  ASSERT_TRUE(shop.ReadCurrentRec("customer", true));
  EXPECT_EQ(Id(), "4");
  second.reset();
  EXPECT_NE(shop.BookmarkOperation(id, 1), 0);  // gone on the server
}

TEST_F(LiveTest, ACursorStepsAlongItsKeyOnly) {
  shop.DefineKey("customer", "cust_id");
  RdmCursor byName;
  byName.Open(&shop, "customer", "name");
  ASSERT_EQ(byName.Step(3), 0);
  EXPECT_EQ(Name(), "Zala");
  ASSERT_EQ(byName.Step(1), 0);
  EXPECT_EQ(Id(), "3");
  EXPECT_EQ(shop.GetKeyName("customer"), "CUST_ID");
  ASSERT_EQ(byName.Step(3), 0);
  EXPECT_EQ(byName.Step(2), 10002);
  EXPECT_EQ(shop.GetKeyName("customer"), "CUST_ID");
}

}  // namespace
