// The database map and the extension package against the fake client.
#include "DbDescMap.h"

#include <gtest/gtest.h>

#include <array>
#include <optional>

#include "FakeEntries_testutil.h"
#include "LoginFixture_testutil.h"
#include "Raised_testutil.h"
#include "RdmExtPackage.h"
#include "RdmTable.h"
#include "ScriptedUi.h"
#include "TestDictionary_testutil.h"

namespace {

TestDictionary Customers() {
  TestDictionary d;
  d.Record("ugyfel").Field("ugy_id", 'l', 4, 'u').Field("ugy_nev", 'c', 40, 'd');
  return d;
}

class MapTest : public ::testing::Test {
 protected:
  FakeEntries fake;
  win::ScriptedUi ui;
  win::ScopedUiBackend installed{ui};
  std::vector<char> sysImage = SysDbCatalogue().Image();
  std::vector<char> dbImage = Customers().Image();
  DbDescription catalogue = SysDbCatalogue().Load("SYSDB", 19, 55);

  // A packed "tablespace" row.
  std::vector<char> Row(const std::string& name, long dbId, std::array<int, 4> version = {}) {
    DbDescription scratch(catalogue);
    RdmTable t(&scratch, "tablespace");
    t.GetField("name").SetString(name);
    t.GetField("dbid").SetLong(dbId);
    const char* parts[] = {"vermajor", "verminor", "versub", "verbuild"};
    for (int i = 0; i < 4; ++i) t.GetField(parts[i]).SetInt(version[i]);
    DbDescription::Bytes image;
    scratch.PackRecord("tablespace", image);
    return image;
  }
};

TEST_F(MapTest, OpenAllOpensEveryListedDatabaseThatOpens) {
  DbDescMap map;
  map.SetHandle(55);
  fake.ScriptBytes("GetDbDescription", sysImage);  // SYSDB itself
  fake.ScriptBytes("GetDbDescription", sysImage);  // its own row reloads it
  fake.SetStatus("GetDbDescription", 10004);       // what is not scripted is not open
  fake.Script("FindRec", {10002, {}, {}});         // no row for SYSDB: version unset
  fake.Script("FindRec", {10002, {}, {}});
  std::vector<char> rows;
  for (const auto& row : {Row("SYSDB", 19), Row("ugyfel", 21), Row("alap", 20), Row("rossz", 22)})
    rows.insert(rows.end(), row.begin(), row.end());
  fake.ScriptBytes("GetAllRec", rows);
  // ugyfel opens, alap was open already, rossz fails.
  fake.Script("GetDbDescription", {10004, {}, {}});
  fake.Script("OpenDbExA", {0, {}, {}});
  fake.Script("GetDbDescription", {0, dbImage, {}});
  fake.Script("FindRec", {0, Row("ugyfel", 21, {1, 2, 3, 4}), {}});
  fake.Script("GetDbDescription", {10004, {}, {}});
  fake.Script("OpenDbExA", {10020, {}, {}});
  fake.Script("GetDbDescription", {0, dbImage, {}});
  fake.Script("FindRec", {0, Row("alap", 20, {5, 6, 7, 8}), {}});
  fake.Script("OpenDbExA", {10003, {}, {}});

  // The replies of one entry are taken in order, so the queue above only
  // holds if the map asks in the expected order.
  fake.ClearLog();
  ASSERT_TRUE(map.OpenAll(0));
  ASSERT_EQ(map.Count(), 3u);
  EXPECT_STREQ(map.GetDescriptionAt(0).GetName(), "ALAP");
  EXPECT_STREQ(map.GetDescriptionAt(1).GetName(), "SYSDB");
  EXPECT_STREQ(map.GetDescriptionAt(2).GetName(), "UGYFEL");
  EXPECT_EQ(VersionOf(map.GetDescription("Ugyfel")), (std::array<int32_t, 4>{1, 2, 3, 4}));
  EXPECT_EQ(VersionOf(map.GetDescription("alap")), (std::array<int32_t, 4>{5, 6, 7, 8}));
  EXPECT_EQ(VersionOf(map.GetDescription("sysdb")), (std::array<int32_t, 4>{-1, -1, -1, -1}));
  EXPECT_EQ(map.GetDescription("ALAP").GetDbId(), 20);
  EXPECT_EQ(map.GetDescription("ALAP").GetHandle(), 55);

  auto opens = fake.CallsOf("OpenDbExA");
  ASSERT_EQ(opens.size(), 3u);
  EXPECT_EQ(opens[0].texts, (std::vector<std::string>{"ugyfel"}));  // the caller's case
  EXPECT_EQ(opens[0].ints, (std::vector<int64_t>{55, 21, 0}));
  EXPECT_TRUE(ui.MessageBoxes().empty());
  EXPECT_EQ(fake.Outstanding(), 0);
  EXPECT_EQ(fake.BadFrees(), 0);
}

TEST_F(MapTest, CopiesAreIndependent) {
  DbDescMap map;
  fake.Script("FindRec", {10002, {}, {}});
  ASSERT_TRUE(map.AddDescriptor(sysImage.data(), int(sysImage.size()), "sysdb", 19));
  DbDescription a = map.GetDescription("SysDb");
  DbDescription b = map.CopyDescription("SYSDB");
  RdmTable ta(&a, "dbuser");
  RdmTable tb(&b, "dbuser");
  ta.GetField("NAME").SetText("ADMIN");
  EXPECT_STREQ(tb.GetField("NAME").GetText(), "");
  EXPECT_STREQ(RdmTable(&map.GetDescriptionAt(0), "dbuser").GetField("name").GetText(), "");
}

TEST_F(MapTest, AddingOrInsertingTheSameNameReplacesTheEntry) {
  DbDescMap map;
  fake.SetStatus("FindRec", 10002);
  ASSERT_TRUE(map.AddDescriptor(sysImage.data(), int(sysImage.size()), "SYSDB", 19));
  ASSERT_TRUE(map.AddDescriptor(dbImage.data(), int(dbImage.size()), "ugyfel", 21));
  ASSERT_TRUE(map.AddDescriptor(dbImage.data(), int(dbImage.size()), "UGYFEL", 21));
  EXPECT_EQ(map.Count(), 2u);

  DbDescription stamped = map.GetDescription("ugyfel");
  stamped.SetVersion(1, 2, 3, 4);
  EXPECT_TRUE(map.Insert(&stamped));
  EXPECT_EQ(map.Count(), 2u);
  // The map holds its own copy: a later change of the source stays out of it.
  stamped.SetVersion(5, 6, 7, 8);
  EXPECT_EQ(VersionOf(map.GetDescription("UGYFEL")), (std::array<int32_t, 4>{1, 2, 3, 4}));
  EXPECT_FALSE(map.Insert(nullptr));
  EXPECT_EQ(map.Count(), 2u);
}

TEST_F(MapTest, MissingCatalogueRowLeavesTheVersionUnsetWithoutABox) {
  DbDescMap map;
  fake.SetStatus("FindRec", 10002);
  map.AddDescriptor(sysImage.data(), int(sysImage.size()), "SYSDB", 19);
  ASSERT_TRUE(map.AddDescriptor(dbImage.data(), int(dbImage.size()), "ugyfel", 21));
  EXPECT_EQ(VersionOf(map.GetDescription("ugyfel")), (std::array<int32_t, 4>{-1, -1, -1, -1}));
  EXPECT_TRUE(ui.MessageBoxes().empty());
  // The row was looked up by the name in the caller's case.
  DbDescription scratch(catalogue);
  scratch.UnpackRecord(fake.Last("FindRec").bytes.data(), "tablespace");
  EXPECT_STREQ(RdmTable(&scratch, "tablespace").GetField("name").GetText(), "ugyfel");
}

TEST_F(MapTest, FailedCatalogueReadShowsTheBoxOnceAndStillAddsTheDatabase) {
  DbDescMap map;
  std::vector<char> brokenSys = SysDbCatalogue(false).Image();
  DbDescription brokenCatalogue = SysDbCatalogue(false).Load("SYSDB", 19, 55);
  fake.Script("FindRec", {10002, {}, {}});
  map.AddDescriptor(brokenSys.data(), int(brokenSys.size()), "SYSDB", 19);
  DbDescription::Bytes row;
  brokenCatalogue.PackRecord("tablespace", row);
  fake.Script("FindRec", {0, std::vector<char>(row.begin(), row.end()), {}});
  ASSERT_TRUE(map.AddDescriptor(dbImage.data(), int(dbImage.size()), "ugyfel", 21));
  EXPECT_EQ(map.Count(), 2u);
  ASSERT_EQ(ui.MessageBoxes().size(), 1u);
  const auto& box = ui.MessageBoxes()[0];
  EXPECT_EQ(box.text,
            "Modul: DbDescMap\nEljárás: DbDescMap::AddDescriptor\nSor: 154\nKód: 2003\n"
            "Üzenet: Mező nem elérhető!\n (VERBUILD)");
  EXPECT_EQ(box.caption, "Hiba történt!");
  EXPECT_EQ(box.owner, nullptr);
  EXPECT_TRUE(box.flags & win::MB_TOPMOST);
}

TEST_F(MapTest, OpeningADatabaseOpensSysdbFirst) {
  DbDescMap map;
  fake.SetStatus("GetDbDescription", 10004);
  fake.SetStatus("OpenDbExA", 10003);
  EXPECT_FALSE(map.OpenDb("ugyfel", 21, 0, false));
  auto opens = fake.CallsOf("OpenDbExA");
  ASSERT_EQ(opens.size(), 1u);
  EXPECT_EQ(opens[0].texts, (std::vector<std::string>{"SYSDB"}));
  EXPECT_EQ(opens[0].ints.at(1), 19);

  // SYSDB opens; the database's own failure then counts.
  fake.Script("OpenDbExA", {0, {}, {}});
  fake.Script("GetDbDescription", {10004, {}, {}});
  fake.Script("GetDbDescription", {0, sysImage, {}});
  fake.SetStatus("FindRec", 10002);
  Raised e = RaisedBy([&] { map.OpenDb("ugyfel", 21, 0, false); });
  ASSERT_NE(e.code, 0);
  EXPECT_EQ(e.code, 10003);
  EXPECT_TRUE(e.args.empty());
  EXPECT_EQ(map.Count(), 1u);
  EXPECT_FALSE(map.OpenDb("ugyfel", 21, 0, true));
}

TEST_F(MapTest, AnUnreadableDictionaryIsNotLoadedAndItsImageIsFreed) {
  DbDescMap map;
  std::vector<char> cut(sysImage.begin(), sysImage.begin() + 30);
  fake.ScriptBytes("GetDbDescription", cut);
  EXPECT_FALSE(map.LoadDescription(19, "SYSDB"));
  EXPECT_EQ(map.Count(), 0u);
  EXPECT_EQ(fake.Outstanding(), 0);
  fake.Script("GetDbDescription", {10004, sysImage, {}});
  EXPECT_FALSE(map.LoadDescription(19, "SYSDB"));
  EXPECT_EQ(fake.Outstanding(), 0);

  fake.Remove("OpenDbExA");
  fake.SetStatus("GetDbDescription", 10004);
  Raised e = RaisedBy([&] { map.OpenDb("SYSDB", 19, 0, true); });
  EXPECT_EQ(e.args, StringVector("pfOpenDbExA"));
}

TEST_F(MapTest, ALoadedImageGoesBackThroughFreePtr) {
  DbDescMap map;
  fake.SetStatus("FindRec", 10002);
  fake.ScriptBytes("GetDbDescription", sysImage);
  EXPECT_TRUE(map.LoadDescription(19, "SYSDB"));
  EXPECT_EQ(fake.Calls("FreePtr"), 1);
  EXPECT_EQ(fake.Outstanding(), 0);
  // The release of a read that succeeded is not quiet: a missing entry counts.
  fake.Remove("FreePtr");
  fake.ScriptBytes("GetDbDescription", sysImage);
  Raised e = RaisedBy([&] { map.LoadDescription(19, "SYSDB"); });
  EXPECT_EQ(e.code, 10038);
  EXPECT_EQ(e.args, StringVector("pfFreePtr"));
}

TEST_F(MapTest, LookupsByAnyCaseAndOutOfRange) {
  DbDescMap map;
  EXPECT_EQ(map.GetHandle(), kNoConnection);
  fake.SetStatus("FindRec", 10002);
  map.AddDescriptor(sysImage.data(), int(sysImage.size()), "SYSDB", 19);
  map.AddDescriptor(dbImage.data(), int(dbImage.size()), "Ugyfel", 21);
  EXPECT_STREQ(map.GetDescription("uGYFEL").GetName(), "UGYFEL");
  for (int index : {-1, 2}) EXPECT_EQ(RaisedBy([&] { map.GetDescriptionAt(index); }).code, 2000);
  Raised missing = RaisedBy([&] { map.GetDescription("alap"); });
  EXPECT_EQ(missing.code, 2000);
  EXPECT_TRUE(missing.args.empty());
  EXPECT_TRUE(map.Remove("ugyfel"));
  EXPECT_FALSE(map.Remove("ugyfel"));
  map.SetHandle(9);
  map.Clear();
  EXPECT_EQ(map.Count(), 0u);
  EXPECT_EQ(map.GetHandle(), 9);
}

// ---- Server parameters ----

TEST_F(MapTest, ServerParameterThroughTheClientEntry) {
  DbDescMap map;
  map.SetHandle(55);
  std::string out;
  fake.ScriptBytes("GetServerParam", {'D', 'E', 'F'});
  map.GetServerParam("RegLmgrName", out);
  EXPECT_EQ(out, "DEF");
  EXPECT_EQ(fake.Last("GetServerParam").texts, (std::vector<std::string>{"RegLmgrName"}));
  // A failing call that still handed out a text gets it released.
  fake.Script("GetServerParam", {10059, std::vector<char>{'X'}, {}});
  Raised e = RaisedBy([&] { map.GetServerParam("RegLmgrName", out); });
  ASSERT_NE(e.code, 0);
  EXPECT_EQ(e.code, 10059);
  EXPECT_EQ(out, "DEF");
  EXPECT_EQ(fake.Calls("OpenExtPackage"), 0);
  EXPECT_EQ(fake.Outstanding(), 0);
}

TEST_F(MapTest, WithoutTheEntryOnlyVolumeIdIsAnswered) {
  DbDescMap map;
  fake.Remove("GetServerParam");
  std::string out = "old";
  for (const char* name : {"volumeid", "RegLmgrName", "VOLUMEID"}) {
    Raised e = RaisedBy([&] { map.GetServerParam(name, out); });
    ASSERT_NE(e.code, 0) << name;
    EXPECT_EQ(e.code, 10038);
    EXPECT_EQ(e.args, StringVector("pfGetServerParam"));
  }
  EXPECT_EQ(fake.Calls("OpenExtPackage"), 0);
  EXPECT_EQ(out, "old");
}

TEST_F(MapTest, VolumeIdThroughTheExtensionPackage) {
  struct Case {
    std::vector<char> result;
    std::optional<int64_t> reportedLength;
    const char* expected;
  };
  const Case cases[] = {
      {{'\xff', '\xff', '\xff', '\xff'}, {}, "4294967295"},
      {{1, 2, 0, 0, 9, 9}, {}, "513"},  // only the first four bytes count
      {{0x10, 0x27}, {}, "10000"},      // a short result reads what it has
      {{}, {}, "0"},
      {{1, 2, 3, 4}, -3, "0"},  // a negative length is no result
  };
  for (const Case& c : cases) {
    DbDescMap map;
    map.SetHandle(55);
    fake.Remove("GetServerParam");
    fake.ClearLog();
    fake.Script("CallExtFnc", {0, c.result, c.reportedLength});
    std::string out;
    map.GetServerParam("VolumeId", out);
    EXPECT_EQ(out, c.expected);
    EXPECT_EQ(fake.Last("OpenExtPackage").texts, (std::vector<std::string>{"ZkProcess"}));
    EXPECT_EQ(fake.Last("CallExtFnc").texts, (std::vector<std::string>{"ZkProcess", "xd16"}));
    EXPECT_EQ(fake.Last("CallExtFnc").ints, (std::vector<int64_t>{55, 0}));
    EXPECT_EQ(fake.Calls("CloseExtPackage"), 1);
    EXPECT_EQ(fake.Outstanding(), 0) << c.expected;
  }
}

// ---- The extension package itself ----

class ExtPackageTest : public ::testing::Test {
 protected:
  FakeEntries fake;
};

TEST_F(ExtPackageTest, OpensOnConstructionAndClosesOnDestruction) {
  {
    RdmExtPackage package(55, "ZkProcess");
    EXPECT_EQ(fake.Last("OpenExtPackage").ints, (std::vector<int64_t>{55}));
    EXPECT_EQ(package.GetResult(), nullptr);
    EXPECT_EQ(package.GetResultLength(), 0);
    EXPECT_EQ(fake.Calls("CloseExtPackage"), 0);
  }
  EXPECT_EQ(fake.Last("CloseExtPackage").texts, (std::vector<std::string>{"ZkProcess"}));

  fake.SetStatus("OpenExtPackage", 10003);
  EXPECT_EQ(RaisedBy([] { RdmExtPackage p(55, "Nincs"); }).code, 10003);
  EXPECT_EQ(fake.Calls("CloseExtPackage"), 1);
  fake.Remove("OpenExtPackage");
  EXPECT_EQ(RaisedBy([] { RdmExtPackage p(55, "x"); }).args, StringVector("pfOpenExtPackage"));
}

TEST_F(ExtPackageTest, ClosingNeverThrows) {
  auto package = std::make_unique<RdmExtPackage>(55, "ZkProcess");
  fake.Remove("CloseExtPackage");
  EXPECT_NO_THROW(package.reset());
  fake.SetStatus("CloseExtPackage", 10057);
  EXPECT_NO_THROW(RdmExtPackage(55, "ZkProcess"));
}

TEST_F(ExtPackageTest, InputRules) {
  RdmExtPackage package(55, "ZkProcess");
  EXPECT_EQ(package.CallExtFnc("f", nullptr, 0), 0);
  EXPECT_EQ(package.CallExtFnc("f", nullptr, 12), 0);
  const char input[] = {'a', 'b', 'c'};
  Raised e = RaisedBy([&] { package.CallExtFnc("f", input, 0); });
  ASSERT_NE(e.code, 0);
  EXPECT_EQ(e.code, 10050);
  EXPECT_EQ(e.args, StringVector("RdmExtPackage::CallExtFnc"));
  EXPECT_EQ(fake.Calls("CallExtFnc"), 2);
  package.CallExtFnc("f", input, 3);
  EXPECT_EQ(fake.Last("CallExtFnc").bytes, (std::vector<char>{'a', 'b', 'c'}));
  fake.Remove("CallExtFnc");
  EXPECT_EQ(RaisedBy([&] { package.CallExtFnc("f", nullptr, 0); }).args,
            StringVector("pfCallExtFnc"));
}

TEST_F(ExtPackageTest, StatusesOutsideTheCodeTablesCountAsSuccess) {
  RdmExtPackage package(55, "ZkProcess");
  struct Case {
    int status;
    bool raised;
  };
  for (Case c : {Case{0, false}, Case{1, false}, Case{20000, false}, Case{1999, false},
                 Case{2039, false}, Case{2000, true}, Case{2038, true}, Case{10000, true},
                 Case{10064, true}}) {
    fake.Script("CallExtFnc", {c.status, std::vector<char>{7, 8}, {}});
    Raised e = RaisedBy([&] { package.CallExtFnc("xd16", nullptr, 0); });
    EXPECT_EQ(e.code != 0, c.raised) << c.status;
    if (e.code != 0) {
      EXPECT_EQ(e.code, c.status);
    } else {
      ASSERT_EQ(package.GetResultLength(), 2) << c.status;
      EXPECT_EQ(package.GetResult()[1], 8);
    }
    EXPECT_EQ(fake.Outstanding(), 0) << c.status;
  }
}

TEST_F(ExtPackageTest, EachCallReplacesTheResult) {
  RdmExtPackage package(55, "ZkProcess");
  fake.ScriptBytes("CallExtFnc", {1, 2, 3});
  package.CallExtFnc("a", nullptr, 0);
  EXPECT_EQ(package.GetResultLength(), 3);
  fake.ScriptBytes("CallExtFnc", {9});
  package.CallExtFnc("b", nullptr, 0);
  ASSERT_EQ(package.GetResultLength(), 1);
  EXPECT_EQ(package.GetResult()[0], 9);
  package.CallExtFnc("c", nullptr, 0);  // no output at all
  EXPECT_EQ(package.GetResultLength(), 0);
  EXPECT_EQ(package.GetResult(), nullptr);
  // Without FreePtr the copy is kept and the missing entry reported.
  fake.ScriptBytes("CallExtFnc", {4, 5});
  fake.Remove("FreePtr");
  EXPECT_EQ(RaisedBy([&] { package.CallExtFnc("d", nullptr, 0); }).args, StringVector("pfFreePtr"));
  EXPECT_EQ(package.GetResultLength(), 2);
}

TEST_F(ExtPackageTest, AnOutputWithoutLengthIsReleasedAndGivesNoResult) {
  RdmExtPackage package(55, "ZkProcess");
  for (int64_t length : {0, -3}) {
    fake.Script("CallExtFnc", {0, std::vector<char>{1, 2, 3}, length});
    EXPECT_EQ(package.CallExtFnc("f", nullptr, 0), 0) << length;
    EXPECT_EQ(package.GetResultLength(), 0) << length;
    EXPECT_EQ(package.GetResult(), nullptr) << length;
    EXPECT_EQ(fake.Outstanding(), 0) << length;
  }
  // Its release is no reason to fail a call that gave nothing.
  fake.Remove("FreePtr");
  fake.Script("CallExtFnc", {0, std::vector<char>{1}, 0});
  EXPECT_EQ(RaisedBy([&] { package.CallExtFnc("f", nullptr, 0); }).code, 0);
}

TEST_F(ExtPackageTest, ResultSize) {
  RdmExtPackage package(55, "ZkProcess");
  package.SetResultSize(5);
  ASSERT_EQ(package.GetResultLength(), 5);
  EXPECT_EQ(package.GetResult()[4], 0);
  package.SetResultSize(-5);
  EXPECT_EQ(package.GetResultLength(), 0);
  EXPECT_EQ(package.GetResult(), nullptr);
}

}  // namespace
