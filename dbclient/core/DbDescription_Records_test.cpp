// Record operations against the fake entry table.
#include <gtest/gtest.h>

#include <cstring>

#include "DbDescription.h"
#include "FakeEntries_testutil.h"
#include "Raised_testutil.h"
#include "TestDictionary_testutil.h"

namespace {

// PERSON's 17-byte image: ID at 0, SEX at 4, NAME at 5 (10), AGE at 15.
std::vector<char> Person(int32_t id, const std::string& name, char sex = 0, int16_t age = 0) {
  std::vector<char> image(17, 0);
  std::memcpy(&image[0], &id, 4);
  image[4] = sex;
  std::memcpy(&image[5], name.data(), std::min<size_t>(name.size(), 9));
  std::memcpy(&image[15], &age, 2);
  return image;
}

class RecordOpsTest : public ::testing::Test {
 protected:
  FakeEntries fake;
  DbDescription d = TestDictionary::Sample().Load("db", 7, 55);

  void SetPerson(int id, const std::string& name) {
    d.SetFieldText(0, std::to_string(id));
    d.SetFieldText(2, name);
  }
  void ExpectZeroPerson() {
    EXPECT_EQ(d.GetFieldText(0), "0");
    EXPECT_EQ(d.GetFieldText(2), "");
  }
  // Key numbers the fake saw, in order.
  std::vector<int64_t> KeysDefined() {
    std::vector<int64_t> keys;
    for (const auto& c : fake.CallsOf("DefineKey")) keys.push_back(c.ints[3]);
    return keys;
  }
};

TEST_F(RecordOpsTest, NavigationUnpacksTheRecordAndReleasesTheImage) {
  fake.ScriptBytes("FirstRec", Person(3, "Kovács", 'F', 41));
  EXPECT_TRUE(d.Navigate(0, "Person"));
  EXPECT_EQ(d.GetFieldText(0), "3");
  EXPECT_EQ(d.GetFieldText(2), "Kovács");
  EXPECT_EQ(d.GetFieldText(3), "41");
  EXPECT_EQ(d.GetFetchedCount("person"), 1);
  EXPECT_EQ(d.GetFetchedPos("person"), 0);
  EXPECT_EQ(fake.Last("FirstRec").ints, (std::vector<int64_t>{55, 7, 10000, 17}));
  EXPECT_EQ(fake.Frees(), 1);
  EXPECT_EQ(fake.Outstanding(), 0);
}

TEST_F(RecordOpsTest, EachDirectionCallsItsEntry) {
  const char* entries[] = {"FirstRec", "PrevRec", "NextRec", "LastRec", "ReadCurrentRec"};
  for (unsigned char dir = 0; dir <= 4; ++dir) {
    fake.ScriptBytes(entries[dir], Person(dir, "x"));
    EXPECT_TRUE(d.Navigate(dir, "person"));
    EXPECT_EQ(fake.Calls(entries[dir]), 1) << entries[dir];
    EXPECT_EQ(d.GetFieldText(0), std::to_string(dir));
  }
  EXPECT_EQ(fake.Outstanding(), 0);
}

TEST_F(RecordOpsTest, NotFoundZeroesOnlyWhenTheRecordTypeIsEmpty) {
  struct Case {
    unsigned char direction;
    const char* entry;
    bool zeroed;
  } cases[] = {{0, "FirstRec", true}, {1, "PrevRec", false}, {2, "NextRec", false},
               {3, "LastRec", true}, {4, "ReadCurrentRec", false}};
  for (const Case& c : cases) {
    fake.ScriptBytes("LastRec", Person(9, "Last"));
    ASSERT_TRUE(d.Navigate(3, "person"));
    fake.SetStatus(c.entry, 10002);
    EXPECT_FALSE(d.Navigate(c.direction, "person"));
    fake.SetStatus(c.entry, 0);
    if (c.zeroed) {
      ExpectZeroPerson();
      EXPECT_EQ(d.GetFetchedCount("person"), 0);
    } else {
      EXPECT_EQ(d.GetFieldText(2), "Last") << c.entry;
      EXPECT_EQ(d.GetFetchedCount("person"), 1);
    }
  }
}

TEST_F(RecordOpsTest, NavigationFailures) {
  // Direction 5 is refused before anything is asked, empty or not.
  Raised e = RaisedBy([&] { d.Navigate(5, "person"); });
  EXPECT_EQ(e.code, 2005);
  EXPECT_EQ(e.args, StringVector("person"));
  EXPECT_EQ(fake.Log().size(), 0u);

  fake.SetStatus("NextRec", 10015);
  e = RaisedBy([&] { d.Navigate(2, "person"); });
  EXPECT_EQ(e.code, 10015);
  EXPECT_TRUE(e.args.empty());

  e = RaisedBy([&] { d.Navigate(0, "nobody"); });
  EXPECT_EQ(e.code, 2002);
  EXPECT_EQ(e.args, StringVector("nobody"));

  fake.Remove("FirstRec");
  e = RaisedBy([&] { d.Navigate(0, "person"); });
  EXPECT_EQ(e.code, 10038);
  EXPECT_EQ(e.message, "A függvény nem használható!\n (pfFirstRec)");
}

TEST_F(RecordOpsTest, MissingFreePtrFailsAfterTheRecordWasStored) {
  fake.ScriptBytes("LastRec", Person(4, "Nagy"));
  fake.Remove("FreePtr");
  Raised e = RaisedBy([&] { d.Navigate(3, "person"); });
  EXPECT_EQ(e.code, 10038);
  EXPECT_EQ(e.args, StringVector("pfFreePtr"));
  EXPECT_EQ(d.GetFetchedCount("person"), 1);
}

TEST_F(RecordOpsTest, FindSendsTheSearchValuesAndUnpacksTheRecordFound) {
  SetPerson(0, "Kis");
  fake.ScriptBytes("FindRec", Person(12, "Kis", 'M', 30));
  EXPECT_TRUE(d.FindRec("person"));
  auto call = fake.Last("FindRec");
  EXPECT_EQ(call.ints, (std::vector<int64_t>{55, 7, 10000, 17}));
  EXPECT_EQ(call.bytes, Person(0, "Kis"));
  EXPECT_EQ(d.GetFieldText(0), "12");
  EXPECT_EQ(d.GetFieldText(3), "30");
  EXPECT_EQ(d.GetFetchedCount("person"), 1);
  EXPECT_EQ(fake.Outstanding(), 0);
}

TEST_F(RecordOpsTest, AFailedFindZeroesTheValuesOnlyWithOption5) {
  for (bool option5 : {true, false}) {
    RdmTableOptions options;
    if (option5) options.Add(rtoClearOnFailedFind);
    d.SetTableOptions("person", options);
    fake.ScriptBytes("FirstRec", Person(1, "a"));
    d.Navigate(0, "person");
    SetPerson(77, "Senki");
    fake.SetStatus("FindRecNext", 10002);
    EXPECT_FALSE(d.FindRecNext("person"));
    EXPECT_EQ(d.GetFetchedCount("person"), 0);
    if (option5)
      ExpectZeroPerson();
    else
      EXPECT_EQ(d.GetFieldText(2), "Senki");
  }
}

TEST_F(RecordOpsTest, AFindErrorCarriesTheRecordName) {
  fake.SetStatus("FindRec", 10017);
  Raised e = RaisedBy([&] { d.FindRec("Person"); });
  EXPECT_EQ(e.code, 10017);
  EXPECT_EQ(e.args, StringVector("Person"));
}

TEST_F(RecordOpsTest, DefineKeyTakesFieldNumbersOrTheDefaultKey) {
  d.DefineKey("person", "name");
  EXPECT_EQ(d.GetKeyName("PERSON"), "NAME");
  d.DefineKey("person", "");
  EXPECT_EQ(d.GetKeyName("person"), "");
  EXPECT_EQ(KeysDefined(), (std::vector<int64_t>{2, 1}));
  d.FindRecByKey("item", "k");
  EXPECT_EQ(d.GetKeyName("item"), "K");
  EXPECT_EQ(fake.Last("DefineKey").ints, (std::vector<int64_t>{55, 7, 10001, 1008}));

  struct Case {
    const char* field;
    int code;
  } cases[] = {{"sex", 2009}, {"zip", 2003}};
  for (const Case& c : cases) {
    Raised e = RaisedBy([&] { d.DefineKey("person", c.field); });
    EXPECT_EQ(e.code, c.code);
    EXPECT_EQ(e.args, (StringVector() << "person" << c.field));
  }
  // A refused key leaves the current one.
  fake.SetStatus("DefineKey", 10013);
  EXPECT_THROW(d.DefineKey("item", ""), DbDescError);
  EXPECT_EQ(d.GetKeyName("item"), "K");
  EXPECT_EQ(d.GetUniqueKeyName("person"), "ID");
  EXPECT_EQ(d.GetUniqueKeyName("empty"), "");
}

TEST_F(RecordOpsTest, UniqueKeyWritesRestoreThePreviousKeyOnEveryPath) {
  d.DefineKey("person", "name");
  d.AddTableOption("person", 0);
  fake.ClearLog();

  struct Case {
    const char* what;
    std::function<void()> setup;
    std::function<void()> run;
  } cases[] = {
      {"success", [] {}, [&] { EXPECT_TRUE(d.ModRec("person", false)); }},
      {"not found", [&] { fake.SetStatus("ModRec", 10002); },
       [&] { EXPECT_FALSE(d.ModRec("person", false)); }},
      {"server error", [&] { fake.SetStatus("DelRec", 10018); },
       [&] { EXPECT_THROW(d.DelRec("person", false), DbDescError); }},
      {"entry missing", [&] { fake.Remove("DelRec"); },
       [&] { EXPECT_THROW(d.DelRec("person", false), DbDescError); }},
  };
  for (const Case& c : cases) {
    fake.ClearLog();
    c.setup();
    c.run();
    // The unique key ID (0) for the call, then NAME (2) again.
    EXPECT_EQ(KeysDefined(), (std::vector<int64_t>{0, 2})) << c.what;
    EXPECT_EQ(d.GetKeyName("person"), "NAME") << c.what;
  }
}

TEST_F(RecordOpsTest, UniqueKeyWritesNeedAUniqueKey) {
  TestDictionary t;
  t.Record("log").Field("text", 'c', 20);
  DbDescription noKey = t.Load();
  noKey.AddTableOption("log", 0);
  Raised e = RaisedBy([&] { noKey.ModRec("log", false); });
  EXPECT_EQ(e.code, 10028);
  EXPECT_EQ(e.args, StringVector("log"));
  EXPECT_EQ(fake.Calls("ModRec"), 0);
}

TEST_F(RecordOpsTest, WritesSendTheValuesAndTakeTheStoredRecordBack) {
  SetPerson(0, "Új");
  fake.ScriptBytes("NewRec", Person(101, "Új"));
  d.NewRec("person");
  EXPECT_EQ(fake.Last("NewRec").bytes, Person(0, "Új"));
  EXPECT_EQ(d.GetFieldText(0), "101");
  EXPECT_EQ(d.GetFetchedCount("person"), 0);

  fake.ScriptBytes("ModRec", Person(101, "Javított"));
  EXPECT_TRUE(d.ModRec("person", true));
  EXPECT_EQ(d.GetFieldText(2), "Javított");
  // Without option 0 the key is left alone.
  EXPECT_EQ(fake.Calls("DefineKey"), 0);

  fake.SetStatus("NewRec", 10005);
  Raised e = RaisedBy([&] { d.NewRec("person"); });
  EXPECT_EQ(e.code, 10005);
  EXPECT_EQ(e.message, "Az egyedi azonosító már létezik!\n (person)");
}

TEST_F(RecordOpsTest, DeletingAMissingRecord) {
  fake.SetStatus("DelRec", 10002);
  EXPECT_FALSE(d.DelRec("person", false));
  Raised e = RaisedBy([&] { d.DelRec("person", true); });
  EXPECT_EQ(e.code, 10002);
  EXPECT_EQ(e.message, "Sikertelen keresés!\n (person)");
}

TEST_F(RecordOpsTest, ReadCurrentRecLeavesTheFetchedRecords) {
  fake.ScriptBytes("ReadCurrentRec", Person(5, "Most"));
  EXPECT_TRUE(d.ReadCurrentRec("person", true));
  EXPECT_EQ(d.GetFieldText(2), "Most");
  EXPECT_EQ(d.GetFetchedCount("person"), 0);
  EXPECT_EQ(fake.Outstanding(), 0);

  fake.SetStatus("ReadCurrentRec", 10002);
  EXPECT_FALSE(d.ReadCurrentRec("person", false));
  EXPECT_THROW(d.ReadCurrentRec("person", true), DbDescError);
}

TEST_F(RecordOpsTest, TableOptions) {
  EXPECT_EQ(d.GetTableOptions("person"), DefaultTableOptions());
  d.AddTableOption("Person", 3);
  EXPECT_EQ(d.GetTableOptions("PERSON"), (RdmTableOptions{rtoLinkValues, rtoClearOnFailedFind}));
  d.SetTableOptions("person", RdmTableOptions{});
  EXPECT_TRUE(d.GetTableOptions("person").empty());
  EXPECT_THROW(d.GetTableOptions("nobody"), QoMapExcept);
  EXPECT_THROW(d.AddTableOption("nobody", 0), QoMapExcept);
}

}  // namespace
