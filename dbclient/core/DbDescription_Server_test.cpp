// Transactions, sequences, counts, unlocking and bookmarks of a description.
#include <gtest/gtest.h>

#include "DbDescription.h"
#include "FakeEntries_testutil.h"
#include "Raised_testutil.h"
#include "TestDictionary_testutil.h"

namespace {

class ServerServicesTest : public ::testing::Test {
 protected:
  FakeEntries fake;
  DbDescription d = TestDictionary::Sample().Load("db", 7, 55);
};

TEST_F(ServerServicesTest, TransactionsPassTheHandleAndName) {
  d.BeginTransaction("ImportUgyfel");
  EXPECT_EQ(fake.Last("BeginTransaction").ints, (std::vector<int64_t>{55, 0, 0}));
  EXPECT_EQ(fake.Last("BeginTransaction").texts, std::vector<std::string>{"ImportUgyfel"});
  d.EndTransaction(true);
  d.EndTransaction(false);
  auto ends = fake.CallsOf("EndTransaction");
  ASSERT_EQ(ends.size(), 2u);
  EXPECT_EQ(ends[0].ints, (std::vector<int64_t>{55, 1}));
  EXPECT_EQ(ends[1].ints, (std::vector<int64_t>{55, 0}));

  fake.SetStatus("BeginTransaction", 10023);
  Raised e = RaisedBy([&] { d.BeginTransaction("SQL"); });
  EXPECT_EQ(e.code, 10023);
  EXPECT_EQ(e.message, "Tranzakció aktív!\n (SQL)");
  fake.SetStatus("EndTransaction", 10001);
  e = RaisedBy([&] { d.EndTransaction(true); });
  EXPECT_EQ(e.code, 10001);
  EXPECT_TRUE(e.args.empty());
}

TEST_F(ServerServicesTest, NextIdAndCount) {
  fake.ScriptValue("GetNextId", 4711);
  EXPECT_EQ(d.GetNextId("UGYFEL_UGYFEL_NEXTID"), 4711);
  EXPECT_EQ(fake.Last("GetNextId").texts, std::vector<std::string>{"UGYFEL_UGYFEL_NEXTID"});
  fake.ScriptValue("GetNextId", 0, 10061);
  Raised e = RaisedBy([&] { d.GetNextId("S"); });
  EXPECT_EQ(e.code, 10061);
  EXPECT_EQ(e.args, StringVector("S"));

  fake.ScriptValue("GetCount", 12);
  EXPECT_EQ(d.GetCount("item"), 12);
  EXPECT_EQ(fake.Last("GetCount").ints, (std::vector<int64_t>{55, 7, 10001}));
  fake.ScriptValue("GetCount", 5, 10002);
  EXPECT_EQ(d.GetCount("item"), 0);
  fake.SetStatus("GetCount", 10012);
  EXPECT_THROW(d.GetCount("item"), DbDescError);
  EXPECT_THROW(d.GetCount("nobody"), DbDescError);
  fake.Remove("FreePtr");
  e = RaisedBy([&] { d.GetCount("item"); });
  EXPECT_EQ(e.args, StringVector("pfFreePtr"));
}

TEST_F(ServerServicesTest, UnlockPassesUnknownRecordsOn) {
  EXPECT_TRUE(d.UnlockRecord("item", 99));
  EXPECT_EQ(fake.Last("UnlockRecord").ints, (std::vector<int64_t>{55, 7, 10001, 99}));
  fake.SetStatus("UnlockRecord", 10002);
  EXPECT_FALSE(d.UnlockRecord("nobody", 3));
  EXPECT_EQ(fake.Last("UnlockRecord").ints[2], -1);
  fake.SetStatus("UnlockRecord", 10024);
  EXPECT_THROW(d.UnlockRecord("item", 3), DbDescError);
}

TEST_F(ServerServicesTest, BookmarkStatusesAreReturned) {
  int32_t id = 5;
  EXPECT_THROW(d.BookmarkCreate(id, "nobody"), DbDescError);
  EXPECT_EQ(id, -1);
  EXPECT_EQ(fake.Calls("BookmarkCreate"), 0);

  fake.ScriptValue("BookmarkCreate", 31);
  EXPECT_EQ(d.BookmarkCreate(id, "item"), 0);
  EXPECT_EQ(id, 31);
  fake.ScriptValue("BookmarkCreate", 32, 10016);
  EXPECT_EQ(d.BookmarkCreate(id, "item"), 10016);
  EXPECT_EQ(id, 32);

  fake.SetStatus("BookmarkOperation", 10062);
  EXPECT_EQ(d.BookmarkOperation(31, 1), 10062);
  EXPECT_EQ(fake.Last("BookmarkOperation").ints, (std::vector<int64_t>{55, 31, 1}));
  EXPECT_EQ(d.BookmarkDrop(31), 0);
  EXPECT_EQ(fake.Last("BookmarkDrop").ints, (std::vector<int64_t>{55, 31}));
}

}  // namespace
