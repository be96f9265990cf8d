// The runner over the fake client library: what server mode sends and where
// it stops, and client mode without databases.
#include "RdmFileImport.h"

#include <gtest/gtest.h>

#include "FakeEntries_testutil.h"
#include "Raised_testutil.h"

namespace {

TEST(RdmFileImport, ServerModeStopsAtTheFirstStatementTheServerRefuses) {
  FakeEntries fake;
  fake.SetStatus("SqlOperation", 10027);
  DbDescMap map;
  map.SetHandle(77);
  RdmFileImport runner;
  runner.Attach(&map, true);
  Raised r = RaisedBy([&] { runner.Run("select 'a b' from T; DELETE FROM T;"); });
  EXPECT_EQ(r.code, 10027);
  EXPECT_TRUE(r.args.empty());
  ASSERT_EQ(fake.Calls("SqlOperation"), 1);
  EXPECT_EQ(fake.Last("SqlOperation").texts.at(0), "SELECT a b FROM T ; ");
  EXPECT_EQ(fake.Last("SqlOperation").ints, (std::vector<int64_t>{77, 71}));
  // Without the entry nothing is sent, not even for a script without statements.
  fake.Remove("SqlOperation");
  r = RaisedBy([&] { runner.Run(""); });
  EXPECT_EQ(r.code, 10038);
  EXPECT_EQ(r.args, StringVector("pfSqlOperation"));
}

TEST(RdmFileImport, ClientModeWithoutDatabasesAnswersMissingItem) {
  DbDescMap map;
  RdmFileImport runner;
  runner.Attach(&map, false);
  runner.Run("SELECT * FROM T;");
  EXPECT_EQ(runner.GetMessage(), "Hiányzó elem!");
  EXPECT_FALSE(runner.GetResultView()->Next());
}

}  // namespace
