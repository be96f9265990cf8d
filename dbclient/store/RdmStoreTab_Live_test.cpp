// Store tables against the real client library and a server made for the
// test: loading a tree, stepping it, the joined walk, writes and re-reads.
#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <ostream>

#include "CachedStoreTab_testutil.h"
#include "DbDescMap.h"
#include "FncLoader.h"
#include "LiveClient_testutil.h"
#include "Raised_testutil.h"
#include "RdmStoreTab.h"
#include "qordbcli_diag.h"

namespace {

const char* kShop = R"(database SHOP id 20
record MASTER
  M_ID  l unique
  CITY  c 11
  NAME  c 21 key
end
record CHILD
  C_ID  l unique
  M_ID  l key
  CODE  c 11
  QTY   l
  TAG   c 5
end
record GRAND
  G_ID  l unique
  C_ID  l key
  TXT   c 11
end
)";

// Counts the server selections of one key, the client call a child table
// makes once per parent record.
int g_findLists = 0;
QorFn_FindList g_realFindList = nullptr;
int32_t CountingFindList(int32_t h, int32_t* size, char** key, char** list, int32_t db,
                         int32_t record, int32_t field) {
  ++g_findLists;
  return g_realFindList(h, size, key, list, db, record, field);
}

// A tree SHOP.MASTER -> CHILD (by M_ID) -> GRAND (by C_ID).
class StoreLiveTest : public LiveClientTest {
 protected:
  StoreLiveTest() : LiveClientTest("SHOP") {}
  void Fill(QorTestServer& s) override {
    s.AddDatabase(kShop);
    s.Load("SHOP", "MASTER", "M_ID\tNAME\n1\tAnna\n2\tBéla\n3\tCecil\n");
    s.Load("SHOP", "CHILD",
           "C_ID\tM_ID\tCODE\tQTY\tTAG\n"
           "10\t1\t10\t10\ta\n"
           "11\t1\t9\t9\tB\n"
           "12\t2\tx\t5\tA\n");
    s.Load("SHOP", "GRAND", "G_ID\tC_ID\tTXT\n100\t10\tegy\n101\t10\tkettő\n102\t12\thárom\n");
  }
  void SetUp() override {
    LiveClientTest::SetUp();
    if (!Ready()) return;
    desc = map.GetDescription("SHOP");
    master.emplace(nullptr, &*desc, "master", "m");
    child = new RdmStoreTab(&*master, &*desc, "child", "c");
    child->SetLink("M_ID", "M_ID", "M_ID");
    grand = new RdmStoreTab(child, &*desc, "grand", "g");
    grand->SetLink("C_ID", "C_ID", "C_ID");
    g_realFindList = GlobalFncLoader->pfFindList;
    GlobalFncLoader->pfFindList = CountingFindList;
    g_findLists = 0;
  }
  void TearDown() override {
    if (g_realFindList) GlobalFncLoader->pfFindList = g_realFindList;
    g_realFindList = nullptr;
    master.reset();
    desc.reset();
    LiveClientTest::TearDown();
    if (server) {
      EXPECT_EQ(QorDbCliOutstandingBuffers(), 0);
    }
  }

  std::string Text(RdmStoreTab& t, const char* field) { return t.GetField(field).AsString(); }
  // The texts of a field over the whole store of the table, in store order;
  // the table is left in its mode, before its first record.
  std::vector<std::string> Stored(RdmStoreTab& t, const char* field) {
    const bool mode = t.MasterDepMode();
    t.SetMasterDepMode(0);
    std::vector<std::string> texts;
    for (int i = 0; t.SetPosition(i); ++i) texts.push_back(Text(t, field));
    t.SetPosition(-1);
    t.SetMasterDepMode(mode);
    return texts;
  }
  // The joined rows of the walk, as "master/child/grand" ids ("0" for cleared fields).
  std::vector<std::string> JoinedRows() {
    std::vector<std::string> rows;
    master->SetTreeMasterDepMode(1);
    master->Step(5, 5);
    for (;;) {
      bool found = false;
      master->NextJoined(-1, found);
      if (!found) break;
      rows.push_back(Text(*master, "M_ID") + "/" + Text(*child, "C_ID") + "/" +
                     Text(*grand, "G_ID"));
    }
    return rows;
  }

  std::optional<DbDescription> desc;
  std::optional<RdmStoreTab> master;
  RdmStoreTab* child = nullptr;  // owned by master
  RdmStoreTab* grand = nullptr;  // owned by child
};

TEST_F(StoreLiveTest, ASelectionLoadsTheTreeWithOneSelectionPerParentRecord) {
  ASSERT_TRUE(master->Select("", 5));
  // Three masters for CHILD, three children for GRAND; the master read all.
  EXPECT_EQ(g_findLists, 6);
  g_findLists = 0;
  // Before the first record, fields cleared, children before theirs too.
  EXPECT_EQ(master->GetPosition(), -1);
  EXPECT_EQ(Text(*master, "NAME"), "");
  EXPECT_EQ(master->GetRecordCount(), 3);
  EXPECT_EQ(child->GetRecordCount(), 0);

  ASSERT_TRUE(master->Next());
  EXPECT_EQ(Text(*master, "NAME"), "Anna");
  EXPECT_EQ(child->GetRecordCount(), 2);
  EXPECT_EQ(child->GetPosition(), -1);
  ASSERT_TRUE(child->Next());
  EXPECT_EQ(Text(*child, "CODE"), "10");
  EXPECT_EQ(grand->GetRecordCount(), 2);
  ASSERT_TRUE(child->Next());
  EXPECT_EQ(grand->GetRecordCount(), 0);
  EXPECT_FALSE(child->Next());
  EXPECT_EQ(Text(*child, "C_ID"), "11");

  ASSERT_TRUE(master->Step(2, 0));
  EXPECT_EQ(Text(*master, "NAME"), "Béla");
  EXPECT_EQ(Text(*child, "C_ID"), "12");
  EXPECT_EQ(Text(*grand, "TXT"), "három");
  // A parent without children: an empty group, never Béla's rows.
  ASSERT_TRUE(master->Step(3, 0));
  EXPECT_EQ(child->GetRecordCount(), 0);
  EXPECT_TRUE(child->IsEmpty());
  EXPECT_EQ(Text(*child, "C_ID"), "0");
  EXPECT_TRUE(child->Step(5, 5));
  EXPECT_FALSE(child->Step(0, 0));
  EXPECT_EQ(Text(*grand, "G_ID"), "0");
  // Stepping uses the stores only.
  EXPECT_EQ(g_findLists, 0);
}

TEST_F(StoreLiveTest, OutsideMasterDependencyTheChildStepsItsWholeStore) {
  ASSERT_TRUE(master->Select("", 0));
  child->SetMasterDepMode(0);
  EXPECT_EQ(child->GetRecordCount(), 3);
  // It stands where master-dependency mode left it, on Anna's first child.
  EXPECT_EQ(child->GetPosition(), 0);
  ASSERT_TRUE(child->GoTo(2, 0));
  EXPECT_EQ(Text(*child, "C_ID"), "12");
  // Its children still follow it.
  EXPECT_EQ(Text(*grand, "G_ID"), "102");
  // Re-reading a master reloads the child's records of it, never twice, and
  // the child stays on Béla's child, which now stands first.
  ASSERT_TRUE(master->GoTo(0, 0));
  ASSERT_TRUE(master->ReRead(1));
  EXPECT_EQ(Text(*child, "C_ID"), "12");
  EXPECT_EQ(child->GetPosition(), 0);
  ASSERT_TRUE(child->SetPosition(child->GetPosition()));
  EXPECT_EQ(Text(*child, "C_ID"), "12");
  EXPECT_EQ(Stored(*child, "C_ID"), (std::vector<std::string>{"12", "10", "11"}));
}

TEST_F(StoreLiveTest, ASelectionThatFindsNothingEmptiesTheTree) {
  ASSERT_TRUE(master->Select("", 0));
  master->GetField("NAME").SetString("Senki");
  EXPECT_FALSE(master->Select("NAME", 0));
  EXPECT_EQ(master->GetRecordCount(), 0);
  child->SetMasterDepMode(0);
  grand->SetMasterDepMode(0);
  EXPECT_EQ(child->GetRecordCount(), 0);
  EXPECT_EQ(grand->GetRecordCount(), 0);
}

TEST_F(StoreLiveTest, SelectionMovesPlaceTheTable) {
  struct Case {
    unsigned char move;
    int code;  // 2005: a move that is no child mode fails once the stores are loaded
    int position;
    const char* childId;  // the child's fields after the selection
  };
  for (const Case& c : {Case{0, 0, 0, "10"}, Case{1, 0, 0, "10"}, Case{2, 2005, 1, "0"},
                        Case{3, 2005, 2, "0"}, Case{5, 0, -1, "0"}}) {
    SCOPED_TRACE(int(c.move));
    EXPECT_EQ(RaisedBy([&] { EXPECT_TRUE(master->Select("", c.move)); }).code, c.code);
    EXPECT_EQ(master->GetPosition(), c.position);
    EXPECT_EQ(Text(*child, "C_ID"), c.childId);
  }
}

TEST_F(StoreLiveTest, NavigationAndFindsLoadTheOneRecordWithItsChildren) {
  ASSERT_TRUE(master->Go(3, 0));
  EXPECT_EQ(master->GetRecordCount(), 1);
  EXPECT_EQ(Text(*master, "NAME"), "Cecil");
  master->GetField("NAME").SetString("Anna");
  ASSERT_TRUE(master->Find("NAME", 0));
  EXPECT_EQ(Text(*master, "M_ID"), "1");
  EXPECT_EQ(child->GetRecordCount(), 2);
  EXPECT_EQ(Text(*child, "C_ID"), "10");
  master->GetField("NAME").SetString("Senki");
  EXPECT_FALSE(master->Find("NAME", 0));
  // A failed find leaves the stores as they were.
  EXPECT_EQ(child->GetRecordCount(), 2);
}

TEST_F(StoreLiveTest, ABookmarkReloadsTheRecordItMarks) {
  ASSERT_TRUE(master->Go(0, 0));
  ASSERT_TRUE(master->CreateBookmark("b"));
  ASSERT_TRUE(master->SetBookmark("b"));
  ASSERT_TRUE(master->Go(3, 0));
  ASSERT_TRUE(master->GoBookmark("b", 0));
  EXPECT_EQ(Text(*master, "NAME"), "Anna");
  EXPECT_EQ(child->GetRecordCount(), 2);
  ASSERT_TRUE(master->Go(3, 0));
  ASSERT_TRUE(master->JumpToBookmark("b", 5));
  EXPECT_EQ(Text(*master, "M_ID"), "1");
  EXPECT_EQ(child->GetPosition(), -1);
  // A child is not reloaded on its own: it keeps its records and its place.
  ASSERT_TRUE(child->CreateBookmark("c"));
  RdmTable kids(&*desc, "CHILD");  // puts the server on Anna's 11
  kids.GetField("C_ID").SetLong(11);
  ASSERT_TRUE(kids.Find("C_ID"));
  ASSERT_TRUE(child->SetBookmark("c"));
  ASSERT_TRUE(child->Step(0, 0));  // Anna's 10
  Raised e = RaisedBy([&] { child->GoBookmark("c", 0); });
  EXPECT_EQ(e.code, 2012);
  EXPECT_EQ(e.args, StringVector("C"));
  EXPECT_EQ(child->GetRecordCount(), 2);
  EXPECT_EQ(child->GetPosition(), 0);
  EXPECT_EQ(Text(*child, "C_ID"), "10");
}

TEST_F(StoreLiveTest, TheJoinedWalkStepsLikeAnOdometer) {
  ASSERT_TRUE(master->Select("", 5));
  EXPECT_EQ(JoinedRows(), (std::vector<std::string>{"1/10/100", "1/10/101", "2/12/102"}));
  master->AddTreeTableOption(rtoKeepMasterRows);
  EXPECT_EQ(JoinedRows(),
            (std::vector<std::string>{"1/10/100", "1/10/101", "1/11/0", "2/12/102", "3/0/0"}));
}

TEST_F(StoreLiveTest, TwoChildrenTheGreaterAliasChangesFastest) {
  auto* second = new RdmStoreTab(&*master, &*desc, "child", "d");
  second->SetLink("M_ID", "M_ID", "M_ID");
  // Both children read CHILD into the same field values, so the rows are
  // told by the positions of C, its G, and D.
  std::vector<std::string> order;
  ASSERT_TRUE(master->Select("", 5));
  master->SetTreeMasterDepMode(1);
  master->Step(5, 5);
  bool found = false;
  for (master->NextJoined(-1, found); found; found = false, master->NextJoined(-1, found))
    order.push_back(std::to_string(child->GetPosition()) + std::to_string(grand->GetPosition()) +
                    std::to_string(second->GetPosition()));
  // Anna: C 10 with G 100 and 101, D over 10 and 11; C 11 has no G row.
  // Béla: C 12 with G 102, D 12.
  EXPECT_EQ(order, (std::vector<std::string>{"000", "001", "010", "011", "000"}));
}

TEST_F(StoreLiveTest, LinkFiltersKeepMatchingChildRecordsIgnoringCase) {
  child->SetLinkFilters({{"TAG", "A"}});
  ASSERT_TRUE(master->Select("", 0));
  EXPECT_EQ(child->GetRecordCount(), 1);
  EXPECT_EQ(Text(*child, "C_ID"), "10");
  // Re-reading the group applies the filters too.
  ASSERT_TRUE(child->ReRead(1));
  EXPECT_EQ(child->GetRecordCount(), 1);
  ASSERT_TRUE(master->Step(2, 0));
  EXPECT_EQ(Text(*child, "C_ID"), "12");
}

TEST_F(StoreLiveTest, DirectChangesReachTheServerAndTheStore) {
  master->AddTreeTableOption(rtoLinkValues);
  ASSERT_TRUE(master->Select("", 0));
  ASSERT_TRUE(master->Step(3, 0));  // Cecil, without children
  child->GetField("C_ID").SetLong(13);
  child->GetField("CODE").SetString("új");
  child->Append();
  EXPECT_EQ(child->GetRecordCount(), 1);
  EXPECT_EQ(child->GetPosition(), 0);
  // The link value came from Cecil.
  EXPECT_EQ(server->Records("SHOP", "CHILD").back(),
            (std::vector<std::string>{"13", "3", "új", "0", ""}));

  child->GetField("QTY").SetLong(7);
  ASSERT_TRUE(child->Update(1));
  EXPECT_EQ(server->Records("SHOP", "CHILD").back().at(3), "7");
  ASSERT_TRUE(child->Delete(1));
  EXPECT_EQ(child->GetRecordCount(), 0);
  EXPECT_EQ(server->Records("SHOP", "CHILD").size(), 3u);

  // Anna has children whose link key is not unique: her delete is refused.
  ASSERT_TRUE(master->Step(0, 0));
  EXPECT_FALSE(master->Delete(0));
  EXPECT_EQ(RaisedBy([&] { master->Delete(1); }).code, 2012);
  EXPECT_EQ(server->Records("SHOP", "MASTER").size(), 3u);
}

TEST_F(StoreLiveTest, ReReadBringsTheServersValuesAndReloadsTheChildren) {
  ASSERT_TRUE(master->Select("", 0));
  // Another table changes the server behind the store's back.
  RdmTable other(&*desc, "CHILD");
  other.GetField("C_ID").SetLong(14);
  other.GetField("M_ID").SetLong(1);
  other.Append();
  RdmTable names(&*desc, "MASTER");
  names.GetField("M_ID").SetLong(1);
  ASSERT_TRUE(names.Find("M_ID"));
  names.GetField("NAME").SetString("Anikó");
  ASSERT_TRUE(names.Update(1));

  ASSERT_TRUE(master->GoTo(0, 0));
  ASSERT_TRUE(master->ReRead(1));
  EXPECT_EQ(Text(*master, "NAME"), "Anikó");
  EXPECT_EQ(child->GetRecordCount(), 3);
  // A child re-reads its group.
  other.GetField("C_ID").SetLong(15);
  other.Append();
  ASSERT_TRUE(child->ReRead(1));
  EXPECT_EQ(child->GetRecordCount(), 4);
  // A record the server no longer has keeps its stored copy and loses its children.
  names.GetField("M_ID").SetLong(1);
  ASSERT_TRUE(names.Find("M_ID"));
  ASSERT_TRUE(names.Delete(1));
  EXPECT_FALSE(master->ReRead(0));
  EXPECT_EQ(master->GetRecordCount(), 3);
  EXPECT_EQ(child->GetRecordCount(), 0);
}

TEST_F(StoreLiveTest, AReReadGroupThatShrankLeavesNoPositionPastItsEnd) {
  ASSERT_TRUE(master->Select("", 0));
  ASSERT_TRUE(child->GoTo(1, 0));  // Anna's second child, 11
  RdmTable other(&*desc, "CHILD");
  other.GetField("C_ID").SetLong(11);
  ASSERT_TRUE(other.Find("C_ID"));
  ASSERT_TRUE(other.Delete(1));
  ASSERT_TRUE(child->ReRead(1));
  EXPECT_EQ(child->GetRecordCount(), 1);
  EXPECT_EQ(child->GetPosition(), -1);
  EXPECT_EQ(JoinedRows(), (std::vector<std::string>{"1/10/100", "1/10/101", "2/12/102"}));
}

TEST_F(StoreLiveTest, TheCacheReachesTheServerParentsFirst) {
  CachedStoreTab root(nullptr, &*desc, "master", "cm");
  auto* kids = new CachedStoreTab(&root, &*desc, "child", "ck");
  kids->SetLink("M_ID", "M_ID", "M_ID");
  root.AddTreeTableOption(rtoLinkValues);
  root.AddTreeTableOption(rtoUniqueKeyWrites);
  ASSERT_TRUE(root.Select("", 0));
  // A new master with a child: the child's insert needs its master on the server first.
  root.GetField("M_ID").SetLong(4);
  root.GetField("NAME").SetString("Dénes");
  root.Append();
  kids->GetField("C_ID").SetLong(16);
  kids->Append();
  // Anna's first child changes, her second goes.
  ASSERT_TRUE(root.GoTo(0, 0));
  kids->GetField("QTY").SetLong(99);
  ASSERT_TRUE(kids->Update(1));
  ASSERT_TRUE(kids->Step(2, 0));
  ASSERT_TRUE(kids->Delete(1));
  EXPECT_EQ(server->Records("SHOP", "CHILD").size(), 3u);
  // Going to a bookmark would reload the tree and drop what waits.
  ASSERT_TRUE(root.CreateBookmark("b"));
  ASSERT_TRUE(RdmTable(&*desc, "MASTER").Go(0, 5));  // puts the server on Anna
  ASSERT_TRUE(root.SetBookmark("b"));
  EXPECT_EQ(RaisedBy([&] { root.GoBookmark("b", 0); }).code, 2012);

  ASSERT_TRUE(root.WriteCache());
  EXPECT_EQ(server->Records("SHOP", "MASTER").back(), (std::vector<std::string>{"4", "", "Dénes"}));
  const std::vector<std::vector<std::string>> children = server->Records("SHOP", "CHILD");
  ASSERT_EQ(children.size(), 3u);
  EXPECT_EQ(children[0], (std::vector<std::string>{"10", "1", "10", "99", "a"}));
  EXPECT_EQ(children[1].at(0), "12");
  EXPECT_EQ(children[2], (std::vector<std::string>{"16", "4", "", "0", ""}));
  // Nothing is left to write and the tree may be reloaded.
  ASSERT_TRUE(root.Select("", 0));
  EXPECT_EQ(root.GetRecordCount(), 4);
}

// ---- Every way found for the position and the fields to part ----

// One way: what makes the position stale, the table that is then updated,
// its id field, a field the update changes, and the ids its store holds.
struct StaleWay {
  const char* name;
  RdmStoreTab* (*make)(class StalePositionTest& t);
  const char* idField;
  const char* changed;
  std::vector<std::string> ids;  // sorted
};

void PrintTo(const StaleWay& way, std::ostream* out) { *out << way.name; }

class StalePositionTest : public StoreLiveTest, public ::testing::WithParamInterface<StaleWay> {
 public:
  static std::vector<StaleWay> Ways();

 protected:
  // Changes the server behind the store's back, with buffers of its own.
  void Rename(int id, const char* name) {
    DbDescription behind = map.GetDescription("SHOP");
    RdmTable names(&behind, "MASTER");
    names.GetField("M_ID").SetLong(id);
    ASSERT_TRUE(names.Find("M_ID"));
    names.GetField("NAME").SetString(name);
    ASSERT_TRUE(names.Update(1));
  }
  // A cached tree of its own over MASTER and CHILD, selected.
  CachedStoreTab& CachedTree() {
    cached.emplace(nullptr, &*desc, "master", "cm");
    auto* kids = new CachedStoreTab(&*cached, &*desc, "child", "ck");
    kids->SetLink("M_ID", "M_ID", "M_ID");
    EXPECT_TRUE(cached->Select("", 0));
    return *cached;
  }
  // Walks as many joined rows, without touching the tables' modes.
  void WalkJoinedRows(int rows) {
    master->Step(5, 5);
    for (int row = 0; row < rows; ++row) {
      bool found = false;
      master->NextJoined(-1, found);
      EXPECT_TRUE(found);
    }
  }

  std::optional<CachedStoreTab> cached;
};

std::vector<StaleWay> StalePositionTest::Ways() {
  using T = StalePositionTest;
  const std::vector<std::string> masters = {"1", "2", "3"};
  const std::vector<std::string> children = {"10", "11", "12"};
  const std::vector<std::string> grandchildren = {"100", "101", "102"};
  const std::vector<std::string> withoutCecil = {"1", "2"};
  const std::vector<std::string> belasChild = {"12"};
  return {
      {"ReReadThatSortsAgain",
       [](T& t) -> RdmStoreTab* {
         t.master->SetMasterDepMode(0);
         EXPECT_TRUE(t.master->Select("", 0));
         t.master->Sort("NAME", 0);
         EXPECT_TRUE(t.master->GoTo(0, 0));  // Anna, who becomes Zoé
         t.Rename(1, "Zoé");
         EXPECT_TRUE(t.master->ReRead(1));
         return &*t.master;
       },
       "M_ID", "CITY", masters},
      {"ParentReReadOfTheGroupOfAChildOutsideMasterDependency",
       [](T& t) -> RdmStoreTab* {
         EXPECT_TRUE(t.master->Select("", 0));
         t.child->SetMasterDepMode(0);
         EXPECT_TRUE(t.child->GoTo(1, 0));  // Anna's 11
         EXPECT_TRUE(t.master->ReRead(1));
         return t.child;
       },
       "C_ID", "TAG", children},
      {"ParentReReadOfAGroupBeforeAChildOutsideMasterDependency",
       [](T& t) -> RdmStoreTab* {
         EXPECT_TRUE(t.master->Select("", 0));
         t.child->SetMasterDepMode(0);
         EXPECT_TRUE(t.child->GoTo(2, 0));  // Béla's 12, after Anna's group
         EXPECT_TRUE(t.master->ReRead(1));
         return t.child;
       },
       "C_ID", "TAG", children},
      {"ParentReReadUnderAGrandchildOutsideMasterDependency",
       [](T& t) -> RdmStoreTab* {
         EXPECT_TRUE(t.master->Select("", 0));
         t.grand->SetMasterDepMode(0);
         EXPECT_TRUE(t.grand->GoTo(0, 0));  // 100, under Anna's 10
         EXPECT_TRUE(t.master->ReRead(1));
         return t.grand;
       },
       "G_ID", "TXT", grandchildren},
      {"ParentReReadAfterSetPosition",
       [](T& t) -> RdmStoreTab* {
         EXPECT_TRUE(t.master->Select("", 0));   // the child on Anna's 10
         EXPECT_TRUE(t.master->SetPosition(1));  // Béla, the child left where it was
         EXPECT_TRUE(t.master->ReRead(1));
         return t.child;
       },
       "C_ID", "TAG", children},
      {"OwnReRead",
       [](T& t) -> RdmStoreTab* {
         EXPECT_TRUE(t.master->Select("", 0));
         EXPECT_TRUE(t.child->GoTo(1, 0));  // Anna's 11
         EXPECT_TRUE(t.child->ReRead(1));
         return t.child;
       },
       "C_ID", "TAG", children},
      {"DeleteThenNext",
       [](T& t) -> RdmStoreTab* {
         EXPECT_TRUE(t.master->Select("", 0));
         EXPECT_TRUE(t.master->GoTo(2, 0));  // Cecil, the last
         EXPECT_TRUE(t.master->Delete(1));
         EXPECT_FALSE(t.master->Next());
         return &*t.master;
       },
       "M_ID", "CITY", withoutCecil},
      {"Sort",
       [](T& t) -> RdmStoreTab* {
         EXPECT_TRUE(t.master->Select("", 0));
         EXPECT_TRUE(t.master->GoTo(2, 0));  // Cecil, who sorts first
         t.master->Sort("M_ID", 1);
         return &*t.master;
       },
       "M_ID", "CITY", masters},
      {"SwitchOutOfMasterDependency",
       [](T& t) -> RdmStoreTab* {
         EXPECT_TRUE(t.master->Select("", 0));  // the child on Anna's 10
         t.child->SetMasterDepMode(0);
         return t.child;
       },
       "C_ID", "TAG", children},
      {"SwitchIntoMasterDependency",
       [](T& t) -> RdmStoreTab* {
         EXPECT_TRUE(t.master->Select("", 0));  // the child under Anna
         t.child->SetMasterDepMode(0);
         EXPECT_TRUE(t.child->GoTo(2, 0));  // Béla's 12
         t.child->SetMasterDepMode(1);
         return t.child;
       },
       "C_ID", "TAG", children},
      {"JoinedWalkOverAChildOutsideMasterDependency",
       [](T& t) -> RdmStoreTab* {
         EXPECT_TRUE(t.master->Select("", 0));
         t.child->SetMasterDepMode(0);
         EXPECT_TRUE(t.child->GoTo(0, 0));
         t.WalkJoinedRows(3);  // the third row is Béla's 12
         return t.child;
       },
       "C_ID", "TAG", children},
      {"RemovalOfTheParentOfOtherRecords",
       [](T& t) -> RdmStoreTab* {
         EXPECT_TRUE(t.master->Select("", 0));
         t.child->SetMasterDepMode(0);
         EXPECT_TRUE(t.child->GoTo(2, 0));  // Béla's 12, after Anna's group
         EXPECT_TRUE(t.master->RemoveAt(0));
         return t.child;
       },
       "C_ID", "TAG", belasChild},
      {"RestoringTheBackupAfterASort",
       [](T& t) -> RdmStoreTab* {
         CachedStoreTab& root = t.CachedTree();
         EXPECT_TRUE(root.GoTo(0, 0));  // Anna
         EXPECT_TRUE(root.Update(1));
         root.Sort("M_ID", 1);  // Anna last
         root.EndBackup(false);
         return &root;
       },
       "M_ID", "CITY", masters},
      {"WritingTheCache",
       [](T& t) -> RdmStoreTab* {
         CachedStoreTab& root = t.CachedTree();
         EXPECT_TRUE(root.GoTo(0, 0));  // Anna
         root.GetField("CITY").SetString("Pécs");
         EXPECT_TRUE(root.Update(1));
         EXPECT_TRUE(root.GoTo(1, 0));  // Béla
         EXPECT_TRUE(root.WriteCache());
         return &root;
       },
       "M_ID", "CITY", masters},
  };
}

// Afterwards the fields name the record at the position (no record before the
// first), an update changes that record, and the store holds each record once.
TEST_P(StalePositionTest, TheFieldsNameTheRecordAtThePositionAndAnUpdateLandsThere) {
  const StaleWay& way = GetParam();
  // Updates and deletes find their record on the server by its unique key.
  master->AddTreeTableOption(rtoUniqueKeyWrites);
  RdmStoreTab* table = way.make(*this);
  ASSERT_FALSE(HasFailure());
  const std::string id = Text(*table, way.idField);
  EXPECT_EQ(table->IndexOf(way.idField, id, 0), table->GetPosition()) << id;
  if (table->GetPosition() == -1) {
    EXPECT_EQ(RaisedBy([&] { table->Update(1); }).code, 2012);
  } else {
    table->GetField(way.changed).SetString("új");
    ASSERT_TRUE(table->Update(1));
    ASSERT_TRUE(table->SetPosition(table->GetPosition()));
    EXPECT_EQ(Text(*table, way.idField), id);
    EXPECT_EQ(Text(*table, way.changed), "új");
  }
  std::vector<std::string> ids = Stored(*table, way.idField);
  std::sort(ids.begin(), ids.end());
  EXPECT_EQ(ids, way.ids);
}

INSTANTIATE_TEST_SUITE_P(Ways, StalePositionTest, ::testing::ValuesIn(StalePositionTest::Ways()),
                         [](const ::testing::TestParamInfo<StaleWay>& info) {
                           return std::string(info.param.name);
                         });

}  // namespace
