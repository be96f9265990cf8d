// The entry table: slots, missing entries and the loaded library.
#include "FncLoader.h"

#include <gtest/gtest.h>

#include <functional>

#include "DbDescription.h"
#include "FakeEntries_testutil.h"
#include "Raised_testutil.h"
#include "TestDictionary_testutil.h"

namespace {

TEST(FncLoaderTest, AnUnloadedTableHasNoEntries) {
  FncLoader loader(false);
  EXPECT_EQ(loader.pfFreePtr, nullptr);
  EXPECT_EQ(loader.pfGetRecLocks, nullptr);
  EXPECT_EQ(loader.hModule, nullptr);
}

TEST(FncLoaderTest, AMissingEntryNamesItsMember) {
  Raised e = RaisedBy([&] { RequireEntry<QorFn_CreateDbHandler>(nullptr, "pfCreateDbHandler"); });
  EXPECT_EQ(e.code, 10038);
  EXPECT_EQ(e.message, "A függvény nem használható!\n (pfCreateDbHandler)");
  FakeEntries fake;
  fake.Remove("OpenDbExA");
  e = RaisedBy([&] { QOR_ENTRY(OpenDbExA); });
  EXPECT_EQ(e.args, StringVector("pfOpenDbExA"));
  EXPECT_NE(QOR_ENTRY(OpenDbEx), nullptr);
}

TEST(FncLoaderTest, WithoutTheLibraryEveryOperationFailsWithItsEntry) {
  // What a program started without the library has: an empty table.
  FncLoader* loaded = GlobalFncLoader;
  GlobalFncLoader = new FncLoader(false);
  DbDescription d = TestDictionary::Sample().Load();
  struct Case {
    const char* member;
    std::function<void()> run;
  } cases[] = {
      {"pfFirstRec", [&] { d.Navigate(0, "person"); }},
      {"pfFindRec", [&] { d.FindRec("person"); }},
      {"pfFindList", [&] { d.FindList("person", "", 5); }},
      {"pfBeginTransaction", [&] { d.BeginTransaction("T"); }},
      {"pfDefineKey", [&] { d.DefineKey("person", "name"); }},
  };
  for (const Case& c : cases) {
    Raised e = RaisedBy([&] { c.run(); });
    EXPECT_EQ(e.code, 10038);
    EXPECT_EQ(e.args, StringVector(c.member));
  }
  delete GlobalFncLoader;
  GlobalFncLoader = loaded;
}

TEST(FncLoaderTest, TheFakeRestoresTheEntriesItReplaced) {
  QorFn_FindRec before = GlobalFncLoader->pfFindRec;
  {
    FakeEntries fake;
    EXPECT_NE(GlobalFncLoader->pfFindRec, before);
    fake.Remove("FindRec");
  }
  EXPECT_EQ(GlobalFncLoader->pfFindRec, before);
}

TEST(FncLoaderTest, ALoadedLibraryServesEveryEntry) {
  FncLoader loader(true);
  if (!loader.hModule) GTEST_SKIP() << "no client library next to the tests";
#define QOR_TEST_RESOLVED(name, bytes, params) EXPECT_NE(loader.pf##name, nullptr) << #name;
  QORDBCLI_ENTRIES(QOR_TEST_RESOLVED)
#undef QOR_TEST_RESOLVED
}

}  // namespace
