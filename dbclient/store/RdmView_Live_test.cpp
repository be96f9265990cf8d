// The joined view against the real client library and a server made for the
// test: building the tree, the joined rows, counting and copying.
#include <gtest/gtest.h>

#include <functional>
#include <optional>

#include "LiveClient_testutil.h"
#include "Raised_testutil.h"
#include "RdmView.h"

namespace {

// A master M with two children A and B, both linked by M_ID.
const char* kShop = R"(database SHOP id 20
record M
  M_ID  l unique
  NAME  c 21
end
record A
  A_ID  l unique
  M_ID  l key
end
record B
  B_ID  l unique
  M_ID  l key
end
)";

class ViewLiveTest : public LiveClientTest {
 protected:
  ViewLiveTest() : LiveClientTest("SHOP") {}
  void Fill(QorTestServer& s) override {
    s.AddDatabase(kShop);
    s.Load("SHOP", "M", "M_ID\tNAME\n1\tegy\n2\tkettő\n");
    s.Load("SHOP", "A", "A_ID\tM_ID\n11\t1\n12\t1\n13\t2\n");
    s.Load("SHOP", "B", "B_ID\tM_ID\n21\t1\n22\t1\n");
  }

  // M with children A and B; the database name in lower case on purpose.
  void BuildTree(RdmView& view) {
    view.AddTable("", "shop", "M", "", "", "", "");
    view.AddTable("", "shop", "B", "M_ID", "M", "M_ID", "");
    view.AddTable("", "shop", "A", "M_ID", "M", "M_ID", "");
  }
  static std::string Text(RdmView& view, const char* table, const char* field) {
    return view.GetTable(table)->GetField(field).AsString();
  }
  // Each remaining row as "m/a/b"; cleared fields read "0".
  static std::vector<std::string> Rows(RdmView& view) {
    std::vector<std::string> rows;
    while (view.Next())
      rows.push_back(Text(view, "M", "M_ID") + "/" + Text(view, "A", "A_ID") + "/" +
                     Text(view, "B", "B_ID"));
    return rows;
  }
};

// Without option 4 a master is passed over when its last child (by alias) gives no row.
TEST_F(ViewLiveTest, TheLastChildChangesFastestAndTheRowsEndForGood) {
  RdmView view(&map, "joined", DefaultTableOptions());
  BuildTree(view);
  ASSERT_TRUE(view.Select("", 5));
  EXPECT_EQ(Rows(view), (std::vector<std::string>{"1/11/21", "1/11/22", "1/12/21", "1/12/22"}));
  // Once ended the walk does not start over by itself, not even where the
  // last master record's children could still move.
  view.GetTable("M")->GetField("M_ID").SetLong(1);
  ASSERT_TRUE(view.Select("M_ID", 5));
  EXPECT_EQ(Rows(view).size(), 4u);
  EXPECT_FALSE(view.Next());
  EXPECT_FALSE(view.Next());
  // A new selection walks again.
  ASSERT_TRUE(view.Select("", 5));
  EXPECT_EQ(Rows(view).size(), 4u);
}

TEST_F(ViewLiveTest, OptionFourKeepsMastersWithoutChildRows) {
  RdmView view(&map, "joined", DefaultTableOptions());
  BuildTree(view);
  ASSERT_TRUE(view.Select("", 5));
  const char option[] = {4, 0};
  view.AddTableOption(option);
  EXPECT_EQ(Rows(view),
            (std::vector<std::string>{"1/11/21", "1/11/22", "1/12/21", "1/12/22", "2/13/0"}));
}

TEST_F(ViewLiveTest, SizeCountsWithoutDisturbingTheWalk) {
  RdmView view(&map, "joined", DefaultTableOptions());
  BuildTree(view);
  ASSERT_TRUE(view.Select("", 5));
  EXPECT_EQ(view.Size(), 4);
  ASSERT_TRUE(view.Next());
  ASSERT_TRUE(view.Next());
  EXPECT_EQ(view.Size(), 4);
  EXPECT_EQ(Rows(view), (std::vector<std::string>{"1/12/21", "1/12/22"}));
  EXPECT_EQ(view.Size(), 4);
  EXPECT_FALSE(view.Next());
}

TEST_F(ViewLiveTest, AMasterWithoutRecordsGivesNoRows) {
  RdmView view(&map, "joined", DefaultTableOptions());
  BuildTree(view);
  view.GetTable("M")->GetField("M_ID").SetLong(99);
  view.Select("M_ID", 5);
  EXPECT_EQ(view.Size(), 0);
  EXPECT_FALSE(view.Next());
}

TEST_F(ViewLiveTest, TablesInPreOrderWithChildrenByAlias) {
  RdmView view(&map, "joined", DefaultTableOptions());
  BuildTree(view);
  view.AddTable("am", "SHOP", "M", "M_ID", "A", "M_ID", "");
  ASSERT_EQ(view.GetTableCount(), 4);
  std::vector<std::string> names;
  for (int i = 0; i < 4; ++i) names.push_back(static_cast<RdmStoreTab*>(view[i])->GetAlias());
  EXPECT_EQ(names, (std::vector<std::string>{"M", "A", "AM", "B"}));
  Raised negative = RaisedBy([&] { view[-1]; });
  EXPECT_EQ(negative.code, 2002);
  EXPECT_EQ(negative.position.line, 903);
}

TEST_F(ViewLiveTest, AddTableRefusals) {
  RdmView view(&map, "joined", DefaultTableOptions());
  EXPECT_EQ(RaisedBy([&] { view.AddTable("", "NINCS", "M", "", "", "", ""); }).code, 2000);
  BuildTree(view);
  struct Case {
    const char* alias;
    const char* database;
    const char* parent;
    int code;
  };
  for (const Case& c : {Case{"X", "SHOP", "", 2002}, Case{"X", "SHOP", "NINCS", 2002},
                        Case{"a", "SHOP", "M", 2002}, Case{"X", "NINCS", "M", 8}}) {
    Raised r =
        RaisedBy([&] { view.AddTable(c.alias, c.database, "A", "M_ID", c.parent, "M_ID", ""); });
    EXPECT_EQ(r.code, c.code) << c.alias << " " << c.database << " " << c.parent;
  }
  EXPECT_EQ(view.GetTableCount(), 3);
  EXPECT_EQ(RaisedBy([&] { view.GetTable("NINCS"); }).args, (StringVector("JOINED") << "NINCS"));
}

TEST_F(ViewLiveTest, WithoutMasterOperationsRefuse) {
  RdmView view(&map, "joined", DefaultTableOptions());
  EXPECT_FALSE(view.Next());
  struct Case {
    std::function<void()> run;
    int code;
    int line;
  };
  const char option[] = {4, 0};
  for (const Case& c :
       {Case{[&] { view.Size(); }, 2011, 596}, Case{[&] { view.GetTableCount(); }, 2011, 881},
        Case{[&] { view[0]; }, 2011, 891}, Case{[&] { view.AddTableOption(option); }, 2011, 1043},
        Case{[&] { view.SetMasterDepMode(1); }, 2011, 815},
        Case{[&] { view.GetTable("M"); }, 2011, 0}, Case{[&] { view.Select("", 5); }, 2008, 614},
        Case{[&] { view.SelectGe("", 5); }, 2008, 624},
        Case{[&] { view.SelectNe("", 5); }, 2008, 632}}) {
    Raised r = RaisedBy(c.run);
    EXPECT_EQ(r.code, c.code);
    EXPECT_EQ(r.position.line, c.line);
  }
  EXPECT_FALSE(view.Init(&map, "again", DefaultTableOptions()));
}

TEST_F(ViewLiveTest, ACopyWalksOnItsOwn) {
  RdmView view(&map, "joined", DefaultTableOptions());
  BuildTree(view);
  view.GetTable("M")->SetFldList({"M_ID"});
  ASSERT_TRUE(view.Select("", 5));
  ASSERT_TRUE(view.Next());
  RdmView copy(view);
  EXPECT_EQ(Rows(copy), (std::vector<std::string>{"1/11/22", "1/12/21", "1/12/22"}));
  EXPECT_EQ(Rows(view), (std::vector<std::string>{"1/11/22", "1/12/21", "1/12/22"}));
  // The copy keeps the restricted field list and has descriptions of its own.
  EXPECT_FALSE(copy.GetTable("M")->HasField("NAME", false));
  EXPECT_NE(copy.GetDescriptionMap().Get("SHOP"), view.GetDescriptionMap().Get("SHOP"));
  copy = RdmView();
  EXPECT_FALSE(copy.Next());
}

}  // namespace
