// Store tables over the fake client library: refusals and their positions,
// the tree, changes and the write cache, sorting, finding, totals and removal.
#include "RdmStoreTab.h"

#include <gtest/gtest.h>

#include <functional>

#include "CachedStoreTab_testutil.h"
#include "FakeEntries_testutil.h"
#include "Raised_testutil.h"
#include "TestDictionary_testutil.h"

namespace {

// MASTER: M_ID unique, CITY, NAME (key). CHILD: C_ID unique, M_ID (key),
// CODE text, QTY number, M_C compound key (M_ID, C_ID). NOKEY: TXT (key), M_ID (key), no unique
// key.
TestDictionary Dictionary() {
  TestDictionary d;
  d.Record("master").Field("m_id", 'l', 4, 'u').Field("city", 'c', 6).Field("name", 'c', 10, 'd');
  d.Record("child")
      .Field("c_id", 'l', 4, 'u')
      .Field("m_id", 'l', 4, 'd')
      .Field("code", 'c', 6)
      .Field("qty", 'l', 4)
      .CompoundKey("m_c", {"m_id", "c_id"}, 'd');
  d.Record("nokey").Field("txt", 'c', 6, 'd').Field("m_id", 'l', 4, 'd');
  return d;
}

using Values = std::vector<std::pair<const char*, std::string>>;

class StoreTest : public ::testing::Test {
 protected:
  FakeEntries fake;
  DbDescription desc = Dictionary().Load("Testdb", 7, 55);

  // One packed record image.
  std::vector<char> Image(const char* record, const Values& values) {
    DbDescription scratch(desc);
    scratch.ClearFields(record);
    for (const auto& [field, text] : values)
      scratch.SetFieldText(scratch.GetFieldNumber(record, field), text);
    DbDescription::Bytes image;
    scratch.PackRecord(record, image);
    return image;
  }
  std::vector<char> Images(const char* record, const std::vector<Values>& rows) {
    std::vector<char> all;
    for (const Values& row : rows) {
      std::vector<char> one = Image(record, row);
      all.insert(all.end(), one.begin(), one.end());
    }
    return all;
  }
  // Masters 1, 2, 3 (names given) and, per master, the children's (id, code, qty).
  void ScriptTree(const std::vector<std::string>& names,
                  const std::vector<std::vector<std::tuple<int, std::string, int>>>& children) {
    std::vector<Values> masters;
    for (size_t i = 0; i < names.size(); ++i)
      masters.push_back({{"M_ID", std::to_string(i + 1)}, {"NAME", names[i]}});
    fake.ScriptBytes("GetAllRec", Images("MASTER", masters));
    for (size_t i = 0; i < children.size(); ++i) {
      std::vector<Values> rows;
      for (const auto& [id, code, qty] : children[i])
        rows.push_back({{"C_ID", std::to_string(id)},
                        {"M_ID", std::to_string(i + 1)},
                        {"CODE", code},
                        {"QTY", std::to_string(qty)}});
      if (rows.empty())
        fake.Script("FindList", {10002, {}, {}});
      else
        fake.ScriptBytes("FindList", Images("CHILD", rows));
    }
  }
  // The texts of a field over the current list, in list order; the
  // position is put back.
  std::vector<std::string> Column(RdmStoreTab& t, const char* field) {
    std::vector<std::string> out;
    const int saved = t.GetPosition();
    for (int i = 0; i < t.GetRecordCount(); ++i) {
      t.SetPosition(i);
      out.push_back(t.GetField(field).AsString());
    }
    t.SetPosition(saved);
    return out;
  }
  std::vector<std::string> Entries() {
    std::vector<std::string> out;
    for (const FakeEntries::Call& call : fake.Log()) out.push_back(call.entry);
    return out;
  }
};

// ---- Loading ----

TEST_F(StoreTest, AChildIsSelectedWithItsParentRecordsLinkValuesAsTheirTextsGive) {
  struct Case {
    const char* name;
    std::vector<RdmStoreTab::LinkPair> links;  // MASTER field, NOKEY field
    const char* detachedCity;                  // the master's CITY detached with this text
    std::vector<Values> keys;                  // NOKEY's key image of each master's selection
  } cases[] = {
      {"NumberToNumberAndTextToText",
       {{"M_ID", "M_ID"}, {"NAME", "TXT"}},
       nullptr,
       {{{"M_ID", "1"}, {"TXT", "Anna"}}, {{"M_ID", "2"}, {"TXT", "Béla"}}}},
      {"NumberToTextAndTextToNumber",
       {{"M_ID", "TXT"}, {"CITY", "M_ID"}},
       nullptr,
       {{{"M_ID", "12"}, {"TXT", "1"}}, {{"M_ID", "-7"}, {"TXT", "2"}}}},
      {"ADetachedParentField", {{"CITY", "M_ID"}}, "5", {{{"M_ID", "5"}}, {{"M_ID", "5"}}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    RdmStoreTab master(nullptr, &desc, "master", "m");
    auto* child = new RdmStoreTab(&master, &desc, "nokey", "n");
    for (const auto& [parentField, childField] : c.links)
      child->SetLink(parentField, childField, "M_ID");
    if (c.detachedCity) {
      master.GetField("CITY").Detach();
      master.GetField("CITY").SetText(c.detachedCity);
    }
    fake.ScriptBytes("GetAllRec",
                     Images("MASTER", {{{"M_ID", "1"}, {"CITY", "12x"}, {"NAME", "Anna"}},
                                       {{"M_ID", "2"}, {"CITY", "-7"}, {"NAME", "Béla"}}}));
    for (size_t i = 0; i < c.keys.size(); ++i) fake.Script("FindList", {10002, {}, {}});
    fake.ClearLog();
    ASSERT_TRUE(master.Select("", 0));
    std::vector<std::vector<char>> sent;
    for (const FakeEntries::Call& call : fake.Log())
      if (call.entry == "FindList") sent.push_back(call.bytes);
    std::vector<std::vector<char>> expected;
    for (const Values& key : c.keys) expected.push_back(Image("NOKEY", key));
    EXPECT_EQ(sent, expected);
  }
}

// ---- Refusals of the server operations ----

TEST_F(StoreTest, ServerOperationsOnAChildAreRefusedWithoutAServerCall) {
  RdmStoreTab master(nullptr, &desc, "master", "m");
  RdmStoreTab* child = new RdmStoreTab(&master, &desc, "child", "kid");
  struct Case {
    const char* function;
    int line;
    std::function<void()> run;
  };
  const std::vector<Case> cases = {
      {"RdmStoreTab::Go", 336, [&] { child->Go(0, 0); }},
      {"RdmStoreTab::Find", 356, [&] { child->Find("C_ID", 0); }},
      {"RdmStoreTab::Find", 374, [&] { child->Find(0); }},
      {"RdmStoreTab::FindNext", 392, [&] { child->FindNext("C_ID", 0); }},
      {"RdmStoreTab::FindNext", 410, [&] { child->FindNext(0); }},
      {"RdmStoreTab::Select", 428, [&] { child->Select("", 0); }},
      {"RdmStoreTab::SelectGe", 446, [&] { child->SelectGe("C_ID", 0); }},
      {"RdmStoreTab::SelectNe", 464, [&] { child->SelectNe("C_ID", 0); }},
      {"RdmStoreTab::GoCursor", 2436, [&] { child->GoCursor("cur", 0, 0); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    Raised e = RaisedBy(c.run);
    EXPECT_EQ(e.code, 2012);
    EXPECT_EQ(e.args, StringVector("KID"));
    EXPECT_EQ(e.position.function, c.function);
    EXPECT_EQ(e.position.line, c.line);
  }
  EXPECT_EQ(RaisedBy([&] { child->GoBookmark("b", 0); }).code, 2012);
  EXPECT_TRUE(fake.Log().empty());
}

TEST_F(StoreTest, MovesAndChildModesOutsideTheirCodesFailWith2005) {
  RdmStoreTab master(nullptr, &desc, "master", "m");
  ScriptTree({"Anna", "Béla"}, {});
  ASSERT_TRUE(master.Select("", 0));
  EXPECT_FALSE(master.Step(1, 0));
  Raised e = RaisedBy([&] { master.Step(4, 0); });
  EXPECT_EQ(e.code, 2005);
  EXPECT_EQ(e.args, StringVector("M"));
  EXPECT_EQ(e.position.function, "RdmStoreTab::_Step");
  EXPECT_EQ(e.position.line, 1163);
  e = RaisedBy([&] { master.GoTo(1, 7); });
  EXPECT_EQ(e.code, 2005);
  EXPECT_EQ(e.position.line, 882);
  EXPECT_EQ(master.GetPosition(), 1);  // loaded before its children were refused
  EXPECT_TRUE(master.Step(0, 0));
  EXPECT_FALSE(master.Next() && master.Next());
  EXPECT_EQ(master.GetField("NAME").AsString(), "Béla");
}

TEST_F(StoreTest, ASelectionsMoveIsItsChildrensModeToo) {
  struct Case {
    unsigned char move;
    int code;        // 2005 when the move is no child mode
    int position;    // of the master, loaded in any case
    int childCount;  // under the master's record; 0 where the children were not placed
  };
  for (const Case& c : {Case{1, 0, 0, 1}, Case{2, 2005, 1, 0}, Case{3, 2005, 1, 0}}) {
    SCOPED_TRACE(int(c.move));
    RdmStoreTab master(nullptr, &desc, "master", "m");
    auto* child = new RdmStoreTab(&master, &desc, "child", "kid");
    child->SetLink("M_ID", "M_ID", "M_ID");
    ScriptTree({"Anna", "Béla"}, {{{10, "a", 1}}, {{20, "b", 2}, {21, "c", 3}}});
    Raised e = RaisedBy([&] { EXPECT_TRUE(master.Select("", c.move)); });
    EXPECT_EQ(e.code, c.code);
    if (c.code != 0) {
      EXPECT_EQ(e.position.line, 882);
    }
    EXPECT_EQ(master.GetRecordCount(), 2);
    EXPECT_EQ(master.GetPosition(), c.position);
    EXPECT_EQ(child->GetRecordCount(), c.childCount);
  }
}

TEST_F(StoreTest, ReReadingWithoutAListAndRemovingWithoutRecursingAreRefused) {
  RdmStoreTab master(nullptr, &desc, "master", "m");
  struct Case {
    const char* function;
    int line;
    std::function<void()> run;
  };
  const std::vector<Case> cases = {
      // Nothing loaded: the root has no group to stand in.
      {"RdmStoreTab::ReReadRecord", 1270, [&] { master.ReRead(1); }},
      {"RdmStoreTab::FClearByThisBuffer", 238, [&] { master.FClearByThisBuffer({}, true, false); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    Raised e = RaisedBy(c.run);
    EXPECT_EQ(e.code, 2012);
    EXPECT_EQ(e.args, StringVector("M"));
    EXPECT_EQ(e.position.function, c.function);
    EXPECT_EQ(e.position.line, c.line);
  }
  EXPECT_TRUE(fake.Log().empty());
}

// ---- The tree ----

TEST_F(StoreTest, ChildrenAreRegisteredOnceAndLeaveTheirParentWhenDestroyed) {
  RdmStoreTab master(nullptr, &desc, "master", "m");
  auto* child = new RdmStoreTab(&master, &desc, "child", "kid");
  new RdmStoreTab(child, &desc, "child", "grand");
  Raised e = RaisedBy([&] { RdmStoreTab twin(&master, &desc, "nokey", "Kid"); });
  EXPECT_EQ(e.code, 2017);
  EXPECT_EQ(e.args, StringVector("KID"));
  std::vector<RdmStoreTab*> tables;
  master.CollectTreeTables(tables);
  EXPECT_EQ(tables, (std::vector<RdmStoreTab*>{&master, child, master.FindTable("grand", "")}));
  EXPECT_EQ(RaisedBy([&] { master.RemoveChild("nobody"); }).code, 2015);

  EXPECT_EQ(master.FindTable("kid", ""), child);
  EXPECT_EQ(master.FindTable("", "M"), &master);
  EXPECT_EQ(master.FindTable("kid", "x"), child);
  EXPECT_EQ(master.FindTable("nobody", ""), nullptr);

  delete child;  // with its own child
  tables.clear();
  master.CollectTreeTables(tables);
  EXPECT_EQ(tables, (std::vector<RdmStoreTab*>{&master}));
  int count = 0;
  master.CountTreeTables(count);
  EXPECT_EQ(count, 1);
}

TEST_F(StoreTest, ANoCloneChildIsNeitherFoundBelowTheRootNorDestroyed) {
  RdmStoreTab master(nullptr, &desc, "master", "m");
  auto* kept = new RdmStoreTab(&master, &desc, "child", "k", true);
  EXPECT_EQ(master.FindTable("k", ""), nullptr);
  master.DeleteChildren();
  // Left alive and out of the tree, it no longer points at its parent.
  EXPECT_EQ(kept->GetParent(), nullptr);
  delete kept;
}

TEST_F(StoreTest, CloneChildrenCopiesStateLinksAndFilters) {
  RdmStoreTab master(nullptr, &desc, "master", "m");
  auto* child = new RdmStoreTab(&master, &desc, "child", "kid");
  child->SetLink("M_ID", "M_ID", "M_ID");
  child->SetLinkFilters({{"CODE", "a"}});
  ScriptTree({"Anna"}, {{{10, "a", 1}, {11, "b", 2}}});
  ASSERT_TRUE(master.Select("", 0));
  ASSERT_EQ(child->GetRecordCount(), 1);

  DbDescription other(desc);
  RdmStoreTab copy(nullptr, &other, "master", "m");
  copy.CopyState(master);
  EXPECT_EQ(RaisedBy([&] { copy.CloneChildren(master, {}); }).code, 8);
  copy.CloneChildren(master, {{"TESTDB", &other}});
  RdmStoreTab* cloned = copy.FindTable("kid", "");
  ASSERT_NE(cloned, nullptr);
  EXPECT_EQ(cloned->GetDescription(), &other);
  EXPECT_EQ(cloned->GetRecordCount(), 1);
  EXPECT_EQ(copy.GetRecordCount(), 1);
  // The copy re-reads its group with the same link and filter.
  fake.ScriptBytes("FindList", Images("CHILD", {{{"C_ID", "10"}, {"M_ID", "1"}, {"CODE", "a"}},
                                                {{"C_ID", "12"}, {"M_ID", "1"}, {"CODE", "c"}}}));
  ASSERT_TRUE(cloned->ReRead(1));
  EXPECT_EQ(Column(*cloned, "C_ID"), (std::vector<std::string>{"10"}));
  // Selected again, the copy keeps to the filter as its source does.
  ScriptTree({"Anna"}, {{{10, "a", 1}, {11, "b", 2}}});
  ASSERT_TRUE(copy.Select("", 0));
  EXPECT_EQ(Column(*cloned, "C_ID"), (std::vector<std::string>{"10"}));
}

TEST_F(StoreTest, TreePositionsAreSavedAndRestored) {
  RdmStoreTab master(nullptr, &desc, "master", "m");
  auto* child = new RdmStoreTab(&master, &desc, "child", "kid");
  child->SetLink("M_ID", "M_ID", "M_ID");
  ScriptTree({"Anna", "Béla"}, {{}, {{20, "b", 2}, {21, "a", 1}}});
  ASSERT_TRUE(master.Select("", 0));
  ASSERT_TRUE(master.GoTo(1, 0));
  ASSERT_TRUE(child->GoTo(1, 0));
  QoMap<std::string, _TableInfo> saved;
  master.SaveTreePositions(saved);
  ASSERT_EQ(saved.size(), 2u);
  EXPECT_EQ(saved.Get("KID").groupPosition, 1);
  EXPECT_EQ(saved.Get("KID").storePosition, -1);
  ASSERT_TRUE(master.GoTo(0, 0));
  master.RestoreTreePositions(saved);
  EXPECT_EQ(master.GetField("NAME").AsString(), "Béla");
  EXPECT_EQ(child->GetPosition(), 1);
  EXPECT_EQ(child->GetField("C_ID").AsString(), "21");
}

TEST_F(StoreTest, RenamingAParentFieldFollowsIntoTheChildrensLinks) {
  RdmStoreTab master(nullptr, &desc, "master", "m");
  auto* child = new RdmStoreTab(&master, &desc, "child", "kid");
  child->SetLink("M_ID", "M_ID", "M_ID");
  ASSERT_TRUE(master.SetFieldAlias("MASTER_ID", "M_ID"));
  ScriptTree({"Anna"}, {{{10, "a", 1}}});
  ASSERT_TRUE(master.Select("", 0));
  EXPECT_EQ(child->GetRecordCount(), 1);
  EXPECT_EQ(fake.Last("FindList").bytes, Image("CHILD", {{"M_ID", "1"}}));
}

TEST_F(StoreTest, TheJoinedWalkTakesAChildOutsideMasterDependencyToEachParentsGroup) {
  RdmStoreTab master(nullptr, &desc, "master", "m");
  auto* child = new RdmStoreTab(&master, &desc, "child", "kid");
  child->SetLink("M_ID", "M_ID", "M_ID");
  ScriptTree({"Anna", "Béla"}, {{{10, "a", 1}}, {{11, "b", 1}, {12, "c", 1}, {13, "d", 1}}});
  ASSERT_TRUE(master.Select("", 0));
  ASSERT_TRUE(master.GoTo(1, 0));
  ASSERT_TRUE(child->GoTo(2, 0));  // 13, third of Béla's; Anna has one child
  // Outside the mode the parent's moves leave the child where it stands.
  child->SetMasterDepMode(0);
  ASSERT_TRUE(master.Step(5, 5));
  std::vector<std::string> rows;
  for (bool found = false; master.NextJoined(-1, found), found; found = false)
    rows.push_back(master.GetField("M_ID").AsString() + "/" + child->GetField("C_ID").AsString());
  EXPECT_EQ(rows, (std::vector<std::string>{"1/10", "2/11", "2/12", "2/13"}));
  EXPECT_FALSE(child->MasterDepMode());
  // Put back on its first record when it could not advance, it stays there
  // when the walk passes a parent record without child records.
  EXPECT_EQ(child->GetPosition(), 0);
  bool found = true;
  child->NextJoined(2, found);  // no group of key 2
  EXPECT_FALSE(found);
  EXPECT_EQ(child->GetPosition(), 0);
  EXPECT_EQ(child->GetField("C_ID").AsString(), "10");
}

// ---- Loading ----

TEST_F(StoreTest, LinkConstantsOfAParentsFieldWaitForOneGroupsLoad) {
  RdmStoreTab master(nullptr, &desc, "master", "m");
  // KID's TXT is seen as NAME, a visible name of MASTER too.
  auto* child = new RdmStoreTab(&master, &desc, "nokey", "kid");
  child->SetFieldAlias("NAME", "TXT");
  child->SetLink("M_ID", "M_ID", "M_ID");
  child->SetLinkConstant("NAME", "fix");
  auto* other = new RdmStoreTab(&master, &desc, "child", "other");
  other->SetLink("M_ID", "M_ID", "M_ID");
  other->SetLinkConstant("CODE", "kód");
  ScriptTree({"Anna"}, {});
  fake.Script("FindList", {10002, {}, {}});
  fake.Script("FindList", {10002, {}, {}});
  ASSERT_TRUE(master.Select("", 0));
  // Loading the whole tree: NAME is MASTER's field, so its constant waits.
  std::vector<FakeEntries::Call> lists = fake.CallsOf("FindList");
  ASSERT_EQ(lists.size(), 2u);
  EXPECT_EQ(lists[0].bytes, Image("NOKEY", {{"M_ID", "1"}}));
  EXPECT_EQ(lists[1].bytes, Image("CHILD", {{"M_ID", "1"}, {"CODE", "kód"}}));
  // Loading one group sets every constant.
  fake.Script("FindList", {10002, {}, {}});
  ASSERT_TRUE(child->ReRead(1));
  lists = fake.CallsOf("FindList");
  ASSERT_EQ(lists.size(), 3u);
  EXPECT_EQ(lists[2].bytes, Image("NOKEY", {{"TXT", "fix"}, {"M_ID", "1"}}));
}

// ---- Changes ----

TEST_F(StoreTest, AppendInAChildNeedsTheParentsCurrentRecord) {
  RdmStoreTab master(nullptr, &desc, "master", "m");
  auto* child = new RdmStoreTab(&master, &desc, "child", "kid");
  child->SetLink("M_ID", "M_ID", "M_ID");
  Raised e = RaisedBy([&] { child->Append(); });
  EXPECT_EQ(e.code, 2013);
  EXPECT_EQ(e.args, StringVector("KID"));
  EXPECT_EQ(e.position.function, "RdmStoreTab::Append");
  EXPECT_EQ(e.position.line, 1348);
  EXPECT_TRUE(fake.Log().empty());
  EXPECT_EQ(child->GetRecordCount(), 0);
  // Not under any parent record: a re-read has nothing to read.
  EXPECT_TRUE(child->ReRead(1));
  EXPECT_TRUE(fake.Log().empty());
}

TEST_F(StoreTest, UpdateAndDeleteRefusals) {
  RdmStoreTab master(nullptr, &desc, "master", "m");
  auto* child = new RdmStoreTab(&master, &desc, "child", "kid");
  child->SetLink("C_ID", "C_ID", "C_ID");  // the link key is the unique key
  // No current record: refused whatever throwIfMissing says.
  for (unsigned char throwIfMissing : {0, 1}) {
    Raised u = RaisedBy([&] { master.Update(throwIfMissing); });
    EXPECT_EQ(u.code, 2012);
    EXPECT_EQ(u.position.line, 1388);
    Raised d = RaisedBy([&] { master.Delete(throwIfMissing); });
    EXPECT_EQ(d.code, 2012);
    EXPECT_EQ(d.position.line, 1436);
  }
  // Option 3 and a link key that is the unique key, or a compound key that
  // holds it: links are not changed.
  child->AddTableOption(rtoLinkValues);
  for (const char* linkKey : {"C_ID", "M_C"}) {
    SCOPED_TRACE(linkKey);
    child->SetLink("C_ID", "C_ID", linkKey);
    EXPECT_FALSE(child->Update(0));
    EXPECT_FALSE(child->Delete(0));
    EXPECT_EQ(RaisedBy([&] { child->Update(1); }).position.line, 1380);
    EXPECT_EQ(RaisedBy([&] { child->Delete(1); }).position.line, 1428);
  }
  EXPECT_TRUE(fake.Log().empty());
}

TEST_F(StoreTest, AParentRecordWithDependentChildRecordsIsDeletedOnlyThroughAUniqueLink) {
  struct Case {
    const char* childField;  // linked to MASTER.M_ID; its key is the link key
    unsigned char childMode;
    bool allowed;
  };
  // Outside master-dependency mode the child's records of the parent block
  // it too: the server would keep them without their parent.
  for (const Case& c : {Case{"M_ID", 1, false}, Case{"C_ID", 1, true}, Case{"M_ID", 0, false},
                        Case{"C_ID", 0, true}}) {
    SCOPED_TRACE(std::string(c.childField) + " " + std::to_string(c.childMode));
    RdmStoreTab master(nullptr, &desc, "master", "m");
    auto* child = new RdmStoreTab(&master, &desc, "child", "kid");
    child->SetLink("M_ID", c.childField, c.childField);
    ScriptTree({"Anna"}, {{{10, "a", 1}}});
    ASSERT_TRUE(master.Select("", 0));
    child->SetMasterDepMode(c.childMode);
    fake.ClearLog();
    if (!c.allowed) {
      EXPECT_FALSE(master.Delete(0));
      Raised e = RaisedBy([&] { master.Delete(1); });
      EXPECT_EQ(e.code, 2012);
      EXPECT_EQ(e.args, StringVector("M"));
      EXPECT_EQ(e.position.line, 1428);
      EXPECT_TRUE(fake.Log().empty());
      EXPECT_EQ(master.GetRecordCount(), 1);
      continue;
    }
    ASSERT_TRUE(master.Delete(1));
    EXPECT_EQ(fake.Calls("DelRec"), 1);
    EXPECT_EQ(master.GetRecordCount(), 0);
    // The child's records are not touched.
    child->SetMasterDepMode(0);
    EXPECT_EQ(Column(*child, "C_ID"), (std::vector<std::string>{"10"}));
  }
}

TEST_F(StoreTest, DeleteStepsBackSoThatNextGivesTheFollowingRecord) {
  RdmStoreTab master(nullptr, &desc, "master", "m");
  ScriptTree({"Anna", "Béla", "Cecil"}, {});
  ASSERT_TRUE(master.Select("", 0));
  ASSERT_TRUE(master.GoTo(1, 0));
  ASSERT_TRUE(master.Delete(1));
  EXPECT_EQ(fake.Calls("DelRec"), 1);
  EXPECT_EQ(master.GetPosition(), 0);
  EXPECT_EQ(master.GetField("NAME").AsString(), "Anna");
  ASSERT_TRUE(master.Next());
  EXPECT_EQ(master.GetField("NAME").AsString(), "Cecil");
  // The server does not find the record: the store keeps it.
  fake.SetStatus("DelRec", 10002);
  EXPECT_FALSE(master.Delete(0));
  EXPECT_EQ(master.GetRecordCount(), 2);
}

TEST_F(StoreTest, TheCacheMergesPerRecordAndWritesParentsBeforeChildren) {
  CachedStoreTab master(nullptr, &desc, "master", "m");
  auto* child = new CachedStoreTab(&master, &desc, "child", "kid");
  child->SetLink("M_ID", "M_ID", "M_ID");
  master.AddTreeTableOption(rtoLinkValues);
  ScriptTree({"Anna", "Béla"}, {{{10, "a", 1}}, {{11, "b", 2}}});
  ASSERT_TRUE(master.Select("", 0));
  fake.ClearLog();

  // Béla is renamed twice: one update with the later name.
  ASSERT_TRUE(master.GoTo(1, 0));
  master.GetField("NAME").SetString("Bálint");
  ASSERT_TRUE(master.Update(1));
  master.GetField("NAME").SetString("Barna");
  ASSERT_TRUE(master.Update(1));
  EXPECT_EQ(master.Cache().Find(1)->flags, kCacheUpdate);
  // A new master with a new child under it.
  master.GetField("M_ID").SetLong(3);
  master.GetField("NAME").SetString("Cecil");
  master.Append();
  child->GetField("C_ID").SetLong(12);
  child->Append();
  EXPECT_EQ(child->GetField("M_ID").AsLong(), 3);
  // An insert deleted again leaves nothing to write.
  child->GetField("C_ID").SetLong(13);
  child->Append();
  ASSERT_TRUE(child->Delete(1));
  // Anna's child is deleted.
  ASSERT_TRUE(master.GoTo(0, 0));
  ASSERT_TRUE(child->GoTo(0, 0));
  ASSERT_TRUE(child->Delete(1));
  EXPECT_TRUE(fake.Log().empty());
  // While a backup exists the tree is not reloaded.
  EXPECT_EQ(RaisedBy([&] { master.Go(0, 0); }).code, 2012);
  EXPECT_EQ(RaisedBy([&] { master.GoBookmark("b", 0); }).code, 2012);
  EXPECT_EQ(RaisedBy([&] { master.ReRead(1); }).code, 2014);
  Raised drop = RaisedBy([&] { master.RemoveAt(0); });
  EXPECT_EQ(drop.code, 2014);
  EXPECT_EQ(drop.position.line, 2047);

  ASSERT_TRUE(master.WriteCache());
  std::vector<std::string> writes;
  for (const FakeEntries::Call& call : fake.Log())
    if (call.entry == "NewRec" || call.entry == "ModRec" || call.entry == "DelRec")
      writes.push_back(call.entry + " " + std::to_string(call.ints.at(2)));
  EXPECT_EQ(writes, (std::vector<std::string>{"DelRec 10001", "ModRec 10000", "NewRec 10000",
                                              "NewRec 10001"}));
  EXPECT_EQ(fake.CallsOf("ModRec")[0].bytes, Image("MASTER", {{"M_ID", "2"}, {"NAME", "Barna"}}));
  EXPECT_EQ(fake.CallsOf("NewRec")[1].bytes, Image("CHILD", {{"C_ID", "12"}, {"M_ID", "3"}}));
  EXPECT_EQ(fake.CallsOf("DelRec")[0].bytes,
            Image("CHILD", {{"C_ID", "10"}, {"M_ID", "1"}, {"CODE", "a"}, {"QTY", "1"}}));
  EXPECT_TRUE(master.Cache().Entries().empty());
  EXPECT_TRUE(child->Cache().Entries().empty());
  // Written: the backups are gone and the tree may be reloaded.
  fake.SetStatus("GetAllRec", 10002);
  EXPECT_FALSE(master.Select("", 0));
}

TEST_F(StoreTest, ACachedChildTakesTheLinkValuesOfItsOwnParentRecord) {
  CachedStoreTab master(nullptr, &desc, "master", "m");
  auto* child = new CachedStoreTab(&master, &desc, "child", "kid");
  child->SetLink("M_ID", "M_ID", "M_ID");
  child->AddTableOption(rtoLinkValues);
  ScriptTree({"Anna", "Béla"}, {{}, {{11, "b", 2}}});
  ASSERT_TRUE(master.Select("", 0));
  ASSERT_TRUE(master.GoTo(1, 0));
  child->GetField("QTY").SetLong(5);
  ASSERT_TRUE(child->Update(1));
  ASSERT_TRUE(master.GoTo(0, 0));  // the field values are Anna's now
  ASSERT_TRUE(master.WriteCache());
  ASSERT_EQ(fake.Calls("ModRec"), 1);
  EXPECT_EQ(fake.Last("ModRec").bytes,
            Image("CHILD", {{"C_ID", "11"}, {"M_ID", "2"}, {"CODE", "b"}, {"QTY", "5"}}));
}

TEST_F(StoreTest, RestoringTheBackupUndoesTheChangesAndTheirWrites) {
  CachedStoreTab master(nullptr, &desc, "master", "m");
  ScriptTree({"Anna", "Béla"}, {});
  ASSERT_TRUE(master.Select("", 0));
  master.GetField("NAME").SetString("Anikó");
  ASSERT_TRUE(master.Update(1));
  master.Append();
  ASSERT_TRUE(master.GoTo(1, 0));
  ASSERT_TRUE(master.Delete(1));
  master.Append();
  master.Append();
  ASSERT_EQ(master.GetPosition(), 3);
  master.EndBackup(false);
  EXPECT_EQ(master.GetPosition(), -1);  // its record is gone
  EXPECT_EQ(Column(master, "NAME"), (std::vector<std::string>{"Anna", "Béla"}));
  EXPECT_TRUE(master.Cache().IsEmpty());
  ASSERT_TRUE(master.WriteCache());
  EXPECT_EQ(fake.Calls("ModRec") + fake.Calls("NewRec") + fake.Calls("DelRec"), 0);
  fake.SetStatus("FirstRec", 10002);
  EXPECT_FALSE(master.Go(0, 0));  // no backup any more: allowed
}

TEST_F(StoreTest, OnlySubtreesWithQueuedChangesSwitchKeysOnTheServer) {
  CachedStoreTab master(nullptr, &desc, "master", "m");
  auto* child = new CachedStoreTab(&master, &desc, "child", "kid");
  child->SetLink("M_ID", "M_ID", "M_ID");
  master.AddTreeTableOption(rtoUniqueKeyWrites);
  ScriptTree({"Anna", "Béla", "Cecil"}, {{{10, "a", 1}}, {{11, "b", 2}}, {{12, "c", 3}}});
  ASSERT_TRUE(master.Select("", 0));
  ASSERT_TRUE(child->Step(0, 0));
  child->GetField("QTY").SetLong(5);
  ASSERT_TRUE(child->Update(1));
  fake.ClearLog();
  ASSERT_TRUE(master.WriteCache());
  EXPECT_EQ(fake.Calls("ModRec"), 1);
  // The root's unique key and back, Anna's child's, and the write's own;
  // Béla's and Cecil's children have nothing to write.
  EXPECT_EQ(fake.Calls("DefineKey"), 6);
}

TEST_F(StoreTest, AFailedWriteKeepsTheCacheSoNothingQueuedIsLost) {
  CachedStoreTab master(nullptr, &desc, "master", "m");
  ScriptTree({"Anna", "Béla"}, {});
  ASSERT_TRUE(master.Select("", 0));
  master.GetField("NAME").SetString("Anikó");
  ASSERT_TRUE(master.Update(1));
  ASSERT_TRUE(master.GoTo(1, 0));
  master.GetField("NAME").SetString("Barna");
  ASSERT_TRUE(master.Update(1));
  fake.Script("ModRec", {0, {}, {}});
  fake.Script("ModRec", {10005, {}, {}});
  EXPECT_EQ(RaisedBy([&] { master.WriteCache(); }).code, 10005);
  // The first was written; the failed one waits.
  EXPECT_FALSE(master.Cache().Contains(0));
  EXPECT_TRUE(master.Cache().Contains(1));
  ASSERT_TRUE(master.WriteCache());
  EXPECT_EQ(fake.Calls("ModRec"), 3);
  EXPECT_TRUE(master.Cache().IsEmpty());
}

TEST_F(StoreTest, WritingWithUniqueKeysNeedsAUniqueKey) {
  CachedStoreTab master(nullptr, &desc, "nokey", "n");
  master.AddTableOption(rtoUniqueKeyWrites);
  Raised e = RaisedBy([&] { master.WriteCache(); });
  EXPECT_EQ(e.code, 10028);
  EXPECT_EQ(e.args, StringVector("NOKEY"));
  EXPECT_EQ(e.position.line, 2006);

  CachedStoreTab root(nullptr, &desc, "master", "m");
  auto* child = new CachedStoreTab(&root, &desc, "nokey", "kid");
  child->SetLink("M_ID", "M_ID", "M_ID");
  root.AddTableOption(rtoUniqueKeyWrites);
  ScriptTree({"Anna"}, {{}});
  ASSERT_TRUE(root.Select("", 0));
  e = RaisedBy([&] { root.WriteCache(); });
  EXPECT_EQ(e.code, 10028);
  EXPECT_EQ(e.args, StringVector("MASTER"));
  EXPECT_EQ(e.position.line, 1549);
}

// ---- Sorting, finding, totals and removal ----

TEST_F(StoreTest, SortComparesByTheFieldsTypeAndIsStable) {
  RdmStoreTab master(nullptr, &desc, "master", "m");
  auto* child = new RdmStoreTab(&master, &desc, "child", "kid");
  child->SetLink("M_ID", "M_ID", "M_ID");
  ScriptTree({"Anna", "Béla"}, {{{10, "10", 10}, {11, "9", 9}, {12, "10", 10}, {13, "8", 8}},
                                {{20, "b", 2}, {21, "a", 1}}});
  ASSERT_TRUE(master.Select("", 0));
  child->Sort("code", 0, 0);
  EXPECT_EQ(Column(*child, "C_ID"), (std::vector<std::string>{"10", "12", "13", "11"}));
  EXPECT_EQ(child->GetSortField(), "CODE");
  child->Sort("qty", 0, 0);
  EXPECT_EQ(Column(*child, "C_ID"), (std::vector<std::string>{"13", "11", "10", "12"}));
  // Descending: equal values in the reverse of their former order.
  child->Sort("qty", 1, 0);
  EXPECT_EQ(Column(*child, "C_ID"), (std::vector<std::string>{"12", "10", "11", "13"}));
  // Only the current group was sorted.
  ASSERT_TRUE(master.Step(2, 0));
  EXPECT_EQ(Column(*child, "C_ID"), (std::vector<std::string>{"20", "21"}));
  EXPECT_EQ(child->GetSortField(), "");
  child->Sort("code", 0, 1);
  EXPECT_EQ(Column(*child, "C_ID"), (std::vector<std::string>{"21", "20"}));
  // Anna's group too, stably from its descending order 12, 10, 11, 13.
  ASSERT_TRUE(master.Step(0, 0));
  EXPECT_EQ(Column(*child, "C_ID"), (std::vector<std::string>{"12", "10", "13", "11"}));
  EXPECT_EQ(child->GetSortField(), "CODE");
  EXPECT_EQ(RaisedBy([&] { child->Sort("nope", 0, 0); }).code, 2003);
}

TEST_F(StoreTest, ASortKeepsTheTableOnItsRecord) {
  RdmStoreTab master(nullptr, &desc, "master", "m");
  ScriptTree({"Cecil", "Anna", "Béla"}, {});
  ASSERT_TRUE(master.Select("", 0));
  ASSERT_TRUE(master.GoTo(2, 0));  // Béla
  master.Sort("name", 0);
  EXPECT_EQ(Column(master, "NAME"), (std::vector<std::string>{"Anna", "Béla", "Cecil"}));
  EXPECT_EQ(master.GetPosition(), 1);
  EXPECT_EQ(master.GetField("NAME").AsString(), "Béla");
  // With option 2 its unique key finds the same record.
  master.AddTableOption(rtoKeepRecord);
  ASSERT_TRUE(master.GoTo(0, 0));  // Anna
  master.Sort("name", 1);
  EXPECT_EQ(master.GetPosition(), 2);
  EXPECT_EQ(master.GetField("NAME").AsString(), "Anna");
  // Before the first record, the fields keep what they held.
  ASSERT_TRUE(master.Step(5, 5));
  master.GetField("NAME").SetString("Dóra");
  master.Sort("m_id", 0);
  EXPECT_EQ(master.GetPosition(), -1);
  EXPECT_EQ(master.GetField("NAME").AsString(), "Dóra");
}

TEST_F(StoreTest, AReReadThatChangesTheSortFieldSortsAgain) {
  RdmStoreTab master(nullptr, &desc, "master", "m");
  master.SetMasterDepMode(0);
  ScriptTree({"Anna", "Béla", "Cecil"}, {});
  ASSERT_TRUE(master.Select("", 0));
  master.Sort("name", 0);
  ASSERT_TRUE(master.GoTo(0, 0));
  fake.ScriptBytes("FindRec", Image("MASTER", {{"M_ID", "1"}, {"NAME", "Zoé"}}));
  ASSERT_TRUE(master.ReRead(1));
  EXPECT_EQ(Column(master, "NAME"), (std::vector<std::string>{"Béla", "Cecil", "Zoé"}));
  // Not found on the server: the stored copy stays.
  fake.SetStatus("FindRec", 10002);
  ASSERT_TRUE(master.GoTo(0, 0));
  EXPECT_FALSE(master.ReRead(1));
  EXPECT_EQ(Column(master, "NAME"), (std::vector<std::string>{"Béla", "Cecil", "Zoé"}));
}

TEST_F(StoreTest, AReReadRecordThatSortsAwayKeepsItsOwnChildren) {
  RdmStoreTab master(nullptr, &desc, "master", "m");
  auto* child = new RdmStoreTab(&master, &desc, "child", "kid");
  child->SetLink("M_ID", "M_ID", "M_ID");
  master.SetMasterDepMode(0);
  ScriptTree({"Anna", "Béla"}, {{{10, "a", 1}}, {{20, "b", 2}}});
  ASSERT_TRUE(master.Select("", 0));
  master.Sort("name", 0);
  ASSERT_TRUE(master.GoTo(0, 0));  // Anna
  // Renamed on the server, Anna sorts after Béla; her children are read
  // again by her own link value, though the sort reads Béla's on the way.
  fake.ScriptBytes("FindRec", Image("MASTER", {{"M_ID", "1"}, {"NAME", "Zoé"}}));
  fake.ScriptBytes("FindList", Images("CHILD", {{{"C_ID", "11"}, {"M_ID", "1"}}}));
  ASSERT_TRUE(master.ReRead(1));
  EXPECT_EQ(Column(master, "NAME"), (std::vector<std::string>{"Béla", "Zoé"}));
  // Anna's link value; the child's record, read again, has left the fields.
  EXPECT_EQ(fake.Last("FindList").bytes, Image("CHILD", {{"M_ID", "1"}}));
  child->SetMasterDepMode(0);
  EXPECT_EQ(Column(*child, "C_ID"), (std::vector<std::string>{"20", "11"}));
}

TEST_F(StoreTest, LocateIndexOfAndAggregatesLeaveTheFieldsAsTheyWere) {
  RdmStoreTab master(nullptr, &desc, "master", "m");
  auto* child = new RdmStoreTab(&master, &desc, "child", "kid");
  child->SetLink("M_ID", "M_ID", "M_ID");
  ScriptTree({"Anna", "Béla"}, {{{10, "x", 4}, {11, "y", 7}, {12, "x", 7}}, {}});
  ASSERT_TRUE(master.Select("", 0));
  ASSERT_TRUE(child->GoTo(0, 0));
  EXPECT_EQ(child->IndexOf("qty", "7", 0), 1);
  EXPECT_EQ(child->IndexOf("qty", "7", 2), 2);
  EXPECT_EQ(child->IndexOf("qty", "7", 3), -1);
  EXPECT_EQ(child->GetField("C_ID").AsString(), "10");
  EXPECT_FALSE(child->Locate("code", "z", 0));
  EXPECT_EQ(child->GetPosition(), 0);
  struct Case {
    unsigned char op;
    const char* full;
  };
  for (const Case& c : {Case{0, "3"}, Case{1, "18"}, Case{2, "6"}, Case{3, "7"}, Case{4, "4"}}) {
    SCOPED_TRACE(int(c.op));
    EXPECT_EQ(child->Aggregate("qty", c.op), c.full);
  }
  EXPECT_EQ(child->Aggregate("code", 3), "y");
  EXPECT_EQ(child->GetField("C_ID").AsString(), "10");
  ASSERT_TRUE(child->Locate("code", "y", 0));
  EXPECT_EQ(child->GetPosition(), 1);
  Raised e = RaisedBy([&] { child->Aggregate("qty", 5); });
  EXPECT_EQ(e.code, 2007);
  EXPECT_EQ(e.position.line, 1079);
  // Béla has no children: every total of the empty group is "0".
  ASSERT_TRUE(master.Step(2, 0));
  for (unsigned char op = 0; op <= 4; ++op) EXPECT_EQ(child->Aggregate("qty", op), "0");
}

TEST_F(StoreTest, RemovingAParentRecordTakesItsDescendantsAlong) {
  RdmStoreTab master(nullptr, &desc, "master", "m");
  auto* child = new RdmStoreTab(&master, &desc, "child", "kid");
  child->SetLink("M_ID", "M_ID", "M_ID");
  auto* grand = new RdmStoreTab(child, &desc, "nokey", "g");
  grand->SetLink("C_ID", "M_ID", "M_ID");
  ScriptTree({"Anna", "Béla", "Anna", "Dóra"},
             {{{10, "x", 1}}, {{11, "y", 1}}, {{12, "z", 1}}, {}});
  fake.ScriptBytes("FindList", Images("NOKEY", {{{"TXT", "g10"}, {"M_ID", "10"}}}));
  fake.ScriptBytes("FindList", Images("NOKEY", {{{"TXT", "g11"}, {"M_ID", "11"}}}));
  fake.ScriptBytes("FindList", Images("NOKEY", {{{"TXT", "g12"}, {"M_ID", "12"}}}));
  ASSERT_TRUE(master.Select("", 0));
  child->SetMasterDepMode(0);
  grand->SetMasterDepMode(0);
  ASSERT_EQ(grand->GetRecordCount(), 3);

  ASSERT_TRUE(master.GoTo(3, 0));  // Dóra stays current
  master.RemoveAll("name", "Anna", 0);
  EXPECT_EQ(Column(master, "NAME"), (std::vector<std::string>{"Béla", "Dóra"}));
  EXPECT_EQ(master.GetPosition(), 1);
  EXPECT_EQ(master.GetField("NAME").AsString(), "Dóra");
  EXPECT_EQ(Column(*child, "C_ID"), (std::vector<std::string>{"11"}));
  EXPECT_EQ(Column(*grand, "TXT"), (std::vector<std::string>{"g11"}));
  // Removing the current record leaves the one before it current.
  EXPECT_TRUE(master.RemoveAt(1));
  EXPECT_EQ(master.GetPosition(), 0);
  EXPECT_EQ(master.GetField("NAME").AsString(), "Béla");
  EXPECT_FALSE(master.RemoveAt(1));
  EXPECT_EQ(master.RemoveFirst("name", "Béla", 0), 0);
  EXPECT_EQ(master.GetPosition(), -1);
  EXPECT_EQ(child->GetRecordCount(), 0);
}

}  // namespace
