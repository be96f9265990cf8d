// Tables over a description and the fake client library: names, aliases,
// keys, the forwarding of record operations, bookmarks and cursors.
#include "RdmTable.h"

#include <gtest/gtest.h>

#include <functional>

#include "FakeEntries_testutil.h"
#include "Raised_testutil.h"
#include "TestDictionary_testutil.h"

namespace {

// UGYFEL: NAME (non-unique key), ADDR (group), CITY, ID (unique key).
// TETEL: CODE, QTY and their compound unique key K.
TestDictionary Dictionary() {
  TestDictionary d;
  d.Record("ugyfel")
      .Field("name", 'c', 20, 'd')
      .Group("addr")
      .Field("city", 'c', 10)
      .Field("id", 'l', 4, 'u');
  d.Record("tetel").Field("code", 'c', 4).Field("qty", 's', 2).CompoundKey("k", {"code", "qty"});
  return d;
}

class TableTest : public ::testing::Test {
 protected:
  FakeEntries fake;
  DbDescription desc = Dictionary().Load("Testdb", 7, 55);

  int FieldNumber(const char* record, const char* field) {
    return desc.GetFieldNumber(record, field);
  }
  // A packed UGYFEL record image.
  std::vector<char> Row(const std::string& name, long id) {
    DbDescription scratch(desc);
    scratch.SetFieldText(scratch.GetFieldNumber("UGYFEL", "NAME"), name);
    scratch.SetFieldText(scratch.GetFieldNumber("UGYFEL", "ID"), std::to_string(id));
    DbDescription::Bytes image;
    scratch.PackRecord("UGYFEL", image);
    return image;
  }
  std::vector<char> Rows(std::initializer_list<std::pair<const char*, long>> rows) {
    std::vector<char> all;
    for (const auto& [name, id] : rows) {
      std::vector<char> one = Row(name, id);
      all.insert(all.end(), one.begin(), one.end());
    }
    return all;
  }
  // The key numbers that the fake's DefineKey saw, in order.
  std::vector<int64_t> KeysDefined() {
    std::vector<int64_t> keys;
    for (const auto& call : fake.CallsOf("DefineKey")) keys.push_back(call.ints.at(3));
    return keys;
  }
};

// ---- Construction and the field set ----

TEST_F(TableTest, ConstructionUpperCasesTheNameAndLeavesGroupsOut) {
  RdmTable t(&desc, "ugyfel");
  EXPECT_STREQ(t.GetName(), "UGYFEL");
  std::vector<std::string> names;
  t.GetFldNames(names);
  EXPECT_EQ(names, (std::vector<std::string>{"NAME", "CITY", "ID"}));
  EXPECT_EQ(t.GetFldCount(), 3u);
  std::vector<FIELD_ENTRY_S> entries;
  t.GetFldEntries(entries);
  ASSERT_EQ(entries.size(), 4u);
  EXPECT_EQ(entries[1].type, 'g');
  EXPECT_FALSE(t.HasField("addr", true));
  EXPECT_TRUE(t.HasField("city", false));
}

TEST_F(TableTest, UnknownRecordGives2002WithDatabaseAndNameAsGiven) {
  Raised e = RaisedBy([&] { RdmTable t(&desc, "nope_x"); });
  ASSERT_NE(e.code, 0);
  EXPECT_EQ(e.code, 2002);
  EXPECT_EQ(e.args, (StringVector() << "TESTDB"
                                    << "nope_x"));
}

TEST_F(TableTest, FieldLookupByAnyCaseAndItsFailures) {
  RdmTable t(&desc, "UGYFEL");
  EXPECT_STREQ(t.GetField("nAmE").GetFieldName(), "NAME");
  Raised e = RaisedBy([&] { t.GetField("nope"); });
  ASSERT_NE(e.code, 0);
  EXPECT_EQ(e.code, 2003);
  EXPECT_EQ(e.args, StringVector("NOPE"));
  for (short index : {short(-1), short(3)}) {
    Raised at = RaisedBy([&] { t.GetFieldAt(index); });
    ASSERT_NE(at.code, 0) << index;
    EXPECT_EQ(at.code, 2003);
    EXPECT_TRUE(at.args.empty());
  }
}

TEST_F(TableTest, FieldIndexCountsInNameOrderNotTableOrder) {
  RdmTable t(&desc, "UGYFEL");
  EXPECT_STREQ(t.GetFieldAt(0).GetFieldName(), "NAME");
  EXPECT_EQ(t.GetFieldIndex("city"), 0);
  EXPECT_EQ(t.GetFieldIndex("id"), 1);
  EXPECT_EQ(t.GetFieldIndex("name"), 2);
  Raised e = RaisedBy([&] { t.GetFieldIndex("addr"); });
  EXPECT_EQ(e.args, StringVector("ADDR"));
}

TEST_F(TableTest, TablesOnOneDescriptionShareValuesAndKey) {
  RdmTable a(&desc, "UGYFEL");
  RdmTable b(&desc, "ugyfel");
  a.GetField("name").SetText("Kovács");
  EXPECT_STREQ(b.GetField("NAME").GetText(), "Kovács");
  a.DefineKey("name");
  EXPECT_EQ(b.GetKeyName(), "NAME");
}

TEST_F(TableTest, SetFldListRestrictsAndKeepsWhatWasBuiltBeforeAFailure) {
  RdmTable t(&desc, "UGYFEL");
  t.SetFldList({"ID", "NAME"});
  std::vector<std::string> names;
  t.GetFldNames(names);
  EXPECT_EQ(names, (std::vector<std::string>{"ID", "NAME"}));
  EXPECT_STREQ(t.GetFieldAt(0).GetFieldName(), "ID");
  EXPECT_FALSE(t.HasField("CITY", false));

  Raised e = RaisedBy([&] { t.SetFldList({"CITY", "NOPE", "ID"}); });
  ASSERT_NE(e.code, 0);
  EXPECT_EQ(e.code, 2003);
  EXPECT_TRUE(e.args.empty());
  EXPECT_EQ(t.GetFldCount(), 1u);
  EXPECT_TRUE(t.HasField("CITY", true));
  // The name list is longer than the field map; its tail is out of reach.
  EXPECT_STREQ(t.GetFieldAt(0).GetFieldName(), "CITY");
  EXPECT_EQ(RaisedBy([&] { t.GetFieldAt(1); }).code, 2003);
}

TEST_F(TableTest, CopyFieldsKeepsDetachedValuesDetached) {
  RdmTable source(&desc, "UGYFEL");
  source.GetField("city").SetText("Pécs");
  source.GetField("city").Detach();
  source.SetFieldAlias("varos", "city");
  RdmTable t(&desc, "UGYFEL");
  t.SetFldList({"ID"});
  t.CopyFields(source);
  EXPECT_EQ(t.GetFldCount(), 3u);
  EXPECT_TRUE(t.GetField("varos").IsDetached());
  EXPECT_EQ(t.GetField("varos").GetFieldEntry().type, 'c');
  EXPECT_EQ(t.GetField("varos").GetFieldEntry().length, 10);
  EXPECT_FALSE(t.GetField("name").IsDetached());
  t.GetField("name").SetText("Nagy");
  EXPECT_STREQ(source.GetField("name").GetText(), "Nagy");
  // The copy names the field as the source does.
  EXPECT_EQ(RaisedBy([&] { t.DefineKey("VAROS"); }).args, (StringVector() << "UGYFEL"
                                                                          << "CITY"));
}

// ---- Aliases ----

TEST_F(TableTest, AliasReplacesTheVisibleName) {
  RdmTable t(&desc, "UGYFEL");
  EXPECT_TRUE(t.SetFieldAlias("nev", "name"));
  RdmFld& viaAlias = t.GetField("NEV");
  EXPECT_STREQ(viaAlias.GetFieldName(), "NAME");
  EXPECT_EQ(RaisedBy([&] { t.GetField("name"); }).code, 2003);
  EXPECT_EQ(t.GetFieldAlias("name", true), "NEV");
  EXPECT_TRUE(t.SetFieldAlias("NEV", "NAME"));  // the same again
  EXPECT_TRUE(t.SetFieldAlias("city", "CITY"));

  Raised taken = RaisedBy([&] { t.SetFieldAlias("nev", "id"); });
  ASSERT_NE(taken.code, 0);
  EXPECT_EQ(taken.code, 2015);
  EXPECT_EQ(taken.args, StringVector("NEV"));
  Raised hidden = RaisedBy([&] { t.SetFieldAlias("other", "name"); });
  EXPECT_EQ(hidden.code, 2003);
  EXPECT_EQ(hidden.args, StringVector("NAME"));

  Raised missing = RaisedBy([&] { t.GetFieldAlias("addr", true); });
  EXPECT_EQ(missing.args, (StringVector() << "UGYFEL"
                                          << "ADDR"));
  EXPECT_EQ(t.GetFieldAlias("addr", false), "");

  QoMap<std::string, std::string> aliases;
  aliases.Insert("ID", "keep");
  t.GetFieldAliases(aliases);
  EXPECT_EQ(aliases.Get("NAME"), "NEV");
  EXPECT_EQ(aliases.Get("CITY"), "CITY");
  EXPECT_EQ(aliases.Get("ID"), "keep");
}

TEST_F(TableTest, AliasOfAnAliasStillReachesTheField) {
  RdmTable t(&desc, "UGYFEL");
  t.SetFieldAlias("nev", "name");
  EXPECT_TRUE(t.SetFieldAlias("x", "nev"));
  EXPECT_STREQ(t.GetField("x").GetFieldName(), "NAME");
  EXPECT_EQ(t.GetFieldAlias("NAME", true), "X");
  EXPECT_EQ(t.GetFieldIndex("x"), 2);
}

// ---- Keys ----

TEST_F(TableTest, KeyNamesByVisibleName) {
  RdmTable t(&desc, "UGYFEL");
  EXPECT_EQ(t.GetKeyName(), "");
  t.DefineKey("id");
  EXPECT_EQ(t.GetKeyName(), "ID");
  t.SetFieldAlias("azon", "id");
  EXPECT_EQ(t.GetKeyName(), "AZON");
  t.DefineKey("azon");
  t.DefineKey("AZON");
  EXPECT_EQ(KeysDefined(), (std::vector<int64_t>(3, FieldNumber("UGYFEL", "ID"))));
  EXPECT_EQ(t.GetUniqueKeyName(), "ID");
  EXPECT_TRUE(t.IsUniqueKey("azon"));
  EXPECT_TRUE(t.IsInUniqueKey("azon"));
  EXPECT_FALSE(t.IsUniqueKey("name"));
  t.DefineKey("");
  EXPECT_EQ(KeysDefined().back(), kDefaultKey);
  EXPECT_EQ(t.GetKeyName(), "");

  Raised notKey = RaisedBy([&] { t.DefineKey("city"); });
  EXPECT_EQ(notKey.code, 2009);
  EXPECT_EQ(notKey.args, (StringVector() << "UGYFEL"
                                         << "CITY"));
}

TEST_F(TableTest, CompoundKeyComponentsComeByVisibleName) {
  RdmTable t(&desc, "tetel");
  t.SetFieldAlias("db", "qty");
  EXPECT_TRUE(t.IsCompoundKey("k"));
  EXPECT_TRUE(t.CompoundKeyContains("k", "QTY"));
  EXPECT_FALSE(t.CompoundKeyContains("k", "db"));  // the component by dictionary name
  StringVector parts;
  t.GetCompoundKeyFields("k", parts);
  EXPECT_EQ(std::vector<std::string>(parts.begin(), parts.end()),
            (std::vector<std::string>{"CODE", "DB"}));
  StringVector keys;
  t.GetKeyFieldList("db", keys);
  EXPECT_EQ(std::vector<std::string>(keys.begin(), keys.end()), (std::vector<std::string>{"DB"}));
  t.DefineKey("k");
  EXPECT_EQ(t.GetKeyName(), "K");
  EXPECT_TRUE(t.IsInUniqueKey("db"));
}

TEST_F(TableTest, FieldTextsInTheOrderAsked) {
  RdmTable t(&desc, "UGYFEL");
  t.SetFieldAlias("nev", "name");
  t.GetField("nev").SetText("Szabó");
  t.GetField("id").SetLong(42);
  StringVector out;
  out << "old";
  t.GetFieldTexts({"id", "NEV"}, out);
  EXPECT_EQ(std::vector<std::string>(out.begin(), out.end()),
            (std::vector<std::string>{"42", "Szabó"}));
  EXPECT_EQ(RaisedBy([&] { t.GetFieldTexts({"name"}, out); }).code, 2003);
}

// ---- Unbound tables ----

TEST_F(TableTest, UnboundTableRefusesWith2011AfterItsNameLookups) {
  RdmTable t;
  EXPECT_EQ(RaisedBy([&] { t.Go(0, 0); }).code, 2011);
  EXPECT_EQ(RaisedBy([&] { t.GetCount(); }).code, 2011);
  EXPECT_EQ(RaisedBy([&] { t.CreateBookmark("b"); }).code, 2011);
  EXPECT_EQ(RaisedBy([&] { t.BeginTransaction("T"); }).code, 2011);
  EXPECT_EQ(RaisedBy([&] { t.Aggregate("x", 0); }).code, 2003);
  EXPECT_EQ(RaisedBy([&] { t.GetField("x"); }).code, 2003);
  EXPECT_EQ(RaisedBy([&] { RdmTable(nullptr, "UGYFEL"); }).code, 2011);
  // Its values have no description to be bound to.
  EXPECT_EQ(RaisedBy([&] { t.SetFldList({"ID"}); }).code, 2003);
  // Assignment from a bound table is how programs keep tables as members.
  t = RdmTable(&desc, "UGYFEL");
  EXPECT_STREQ(t.GetName(), "UGYFEL");
  EXPECT_EQ(t.GetDescription(), &desc);
}

// ---- Selections and changes ----

TEST_F(TableTest, SelectAllThenNextToTheEnd) {
  RdmTable t(&desc, "UGYFEL");
  fake.ScriptBytes("GetAllRec", Rows({{"Első", 1}, {"Második", 2}, {"Harmadik", 3}}));
  ASSERT_TRUE(t.Select("", 5));
  EXPECT_EQ(t.GetPosition(), -1);
  EXPECT_STREQ(t.GetField("name").GetText(), "");
  EXPECT_EQ(t.GetRecordCount(), 3);
  std::vector<std::string> seen;
  while (t.Next()) seen.push_back(t.GetField("name").AsString());
  EXPECT_EQ(seen, (std::vector<std::string>{"Első", "Második", "Harmadik"}));
  EXPECT_FALSE(t.Next());
  EXPECT_EQ(fake.Outstanding(), 0);
}

TEST_F(TableTest, SelectOfNothingLeavesAnEmptyTable) {
  RdmTable t(&desc, "UGYFEL");
  t.GetField("name").SetText("régi");
  fake.SetStatus("GetAllRec", 10002);
  EXPECT_FALSE(t.Select("", 5));
  EXPECT_TRUE(t.IsEmpty());
  EXPECT_STREQ(t.GetField("name").GetText(), "");
}

TEST_F(TableTest, SelectByAKeyPassesTheKeyFieldNumber) {
  RdmTable t(&desc, "UGYFEL");
  t.SetFieldAlias("nev", "name");
  t.GetField("nev").SetText("Kiss");
  fake.ScriptBytes("FindList", Rows({{"Kiss", 4}, {"Kiss", 9}}));
  ASSERT_TRUE(t.Select("nev", 0));
  EXPECT_EQ(t.GetField("id").AsLong(), 4);
  EXPECT_EQ(fake.Last("FindList").ints.back(), FieldNumber("UGYFEL", "NAME"));
  EXPECT_EQ(t.Aggregate("id", 0), "2");
  EXPECT_EQ(t.Aggregate("id", 1), "13");
  EXPECT_EQ(t.IndexOf("id", "9", 0), 1);
  EXPECT_TRUE(t.Locate("id", "9", 0));
  EXPECT_EQ(t.GetPosition(), 1);
  t.Sort("id", 1);
  EXPECT_EQ(t.GetSortField(), "ID");
  EXPECT_EQ(t.GetField("id").AsLong(), 4);  // position 1 now holds the smaller id
  EXPECT_EQ(RaisedBy([&] { t.Sort("", 0); }).code, 2003);
  EXPECT_EQ(t.RemoveFirst("id", "9", 0), 0);
  EXPECT_EQ(t.GetRecordCount(), 1);
}

TEST_F(TableTest, FindByKeyAndByCurrentKey) {
  RdmTable t(&desc, "UGYFEL");
  t.GetField("id").SetLong(8);
  fake.ScriptBytes("FindRec", Row("Talált", 8));
  EXPECT_TRUE(t.Find("ID"));
  EXPECT_STREQ(t.GetField("name").GetText(), "Talált");
  EXPECT_EQ(KeysDefined(), (std::vector<int64_t>{FieldNumber("UGYFEL", "ID")}));

  // A failed find zeroes the values with the default options.
  fake.SetStatus("FindRec", 10002);
  EXPECT_FALSE(t.Find());
  EXPECT_EQ(t.GetField("id").AsLong(), 0);
  EXPECT_TRUE(t.IsEmpty());
  EXPECT_EQ(RaisedBy([&] { t.Find("city"); }).code, 2009);
}

TEST_F(TableTest, UpdateOfAMissingRecord) {
  RdmTable t(&desc, "UGYFEL");
  fake.SetStatus("ModRec", 10002);
  EXPECT_FALSE(t.Update(0));
  Raised e = RaisedBy([&] { t.Update(1); });
  ASSERT_NE(e.code, 0);
  EXPECT_EQ(e.code, 10002);
  EXPECT_EQ(e.args, StringVector("UGYFEL"));
  fake.SetStatus("DelRec", 10002);
  EXPECT_FALSE(t.Delete(0));
  EXPECT_EQ(RaisedBy([&] { t.Delete(1); }).code, 10002);
}

TEST_F(TableTest, OptionZeroOnOneTableMakesAnotherUseTheUniqueKey) {
  RdmTable a(&desc, "UGYFEL");
  RdmTable b(&desc, "UGYFEL");
  a.AddTableOption(0);
  EXPECT_TRUE(b.GetTableOptions().Contains(rtoUniqueKeyWrites));
  b.DefineKey("name");
  fake.ClearLog();
  EXPECT_TRUE(b.Update(0));
  EXPECT_EQ(KeysDefined(),
            (std::vector<int64_t>{FieldNumber("UGYFEL", "ID"), FieldNumber("UGYFEL", "NAME")}));
  EXPECT_EQ(b.GetKeyName(), "NAME");

  RdmTable c(&desc, "tetel");
  c.SetTableOptions(RdmTableOptions{rtoUniqueKeyWrites});
  fake.ClearLog();
  EXPECT_TRUE(c.Delete(0));  // the compound key is the unique key
  RdmTableOptions none;
  b.SetTableOptions(none);
  EXPECT_TRUE(a.GetTableOptions().empty());
}

TEST_F(TableTest, DirectionsAndMovesOutOfRange) {
  RdmTable t(&desc, "UGYFEL");
  EXPECT_EQ(RaisedBy([&] { t.Go(5, 0); }).code, 2005);
  EXPECT_FALSE(t.Step(4, 0));  // nothing fetched: no move to refuse
  fake.ScriptBytes("GetAllRec", Rows({{"A", 1}}));
  t.Select("", 5);
  EXPECT_EQ(RaisedBy([&] { t.Step(4, 0); }).code, 2005);
  EXPECT_TRUE(t.Step(3, 0));
  EXPECT_EQ(t.GetField("id").AsLong(), 1);
}

TEST_F(TableTest, GoMakesTheServersRecordCurrent) {
  RdmTable t(&desc, "UGYFEL");
  fake.ScriptBytes("LastRec", Row("Utolsó", 99));
  EXPECT_TRUE(t.Go(3, 0));
  EXPECT_EQ(t.GetField("id").AsLong(), 99);
  EXPECT_EQ(t.GetRecordCount(), 1);
  fake.SetStatus("NextRec", 10002);
  EXPECT_FALSE(t.Go(2));
  EXPECT_EQ(t.GetField("id").AsLong(), 99);
  fake.ScriptBytes("ReadCurrentRec", Row("Újra", 99));
  EXPECT_TRUE(t.ReRead(1));
  EXPECT_STREQ(t.GetField("name").GetText(), "Újra");
  EXPECT_EQ(fake.Outstanding(), 0);
}

// The forwarders a store table's cache writing stands on: each reaches its
// entry once and leaves the values or fetched records it should.
TEST_F(TableTest, ForwardersReachTheirEntries) {
  struct Case {
    const char* label;
    std::function<void()> script;
    std::function<std::string(RdmTable&)> run;  // what the table shows afterwards
    const char* entry;                          // the entry it must call, or ""
    std::string expected;
  };
  auto names = [](RdmTable& t) {
    std::string out;
    for (bool more = t.Step(0, 0); more; more = t.Step(2, 0))
      out += t.GetField("name").AsString() + ";";
    return out;
  };
  // Each step its own statement: the operands of + are not sequenced.
  const std::vector<Case> cases = {
      {"FindNext by key", [&] { fake.ScriptBytes("FindRecNext", Row("Kettő", 2)); },
       [](RdmTable& t) {
         std::string out = std::to_string(t.FindNext("name"));
         return out + t.GetField("name").AsString();
       },
       "FindRecNext", "1Kettő"},
      {"FindNext by the current key", [&] { fake.SetStatus("FindRecNext", 10002); },
       [](RdmTable& t) { return std::to_string(t.FindNext()); }, "FindRecNext", "0"},
      {"SelectGe",
       [&] {
         fake.ScriptBytes("FindGreater", Rows({{"Nagy", 5}, {"Tóth", 6}}));
       },
       [&](RdmTable& t) {
         std::string out = std::to_string(t.SelectGe("id", 5));
         return out + names(t);
       },
       "FindGreater", "1Nagy;Tóth;"},
      {"SelectNe",
       [&] {
         fake.ScriptBytes("GetAllRec", Rows({{"Kiss", 1}, {"Nagy", 2}, {"Kiss", 3}}));
       },
       [&](RdmTable& t) {
         t.GetField("name").SetText("Kiss");
         std::string out = std::to_string(t.SelectNe("name", 5));
         return out + names(t);
       },
       "GetAllRec", "1Nagy;"},
      {"Append", [] {},
       [](RdmTable& t) {
         t.GetField("name").SetText("Új");
         t.Append();
         return t.GetField("name").AsString();
       },
       "NewRec", "Új"},
      {"ClearFields", [] {},
       [](RdmTable& t) {
         t.GetField("name").SetText("Régi");
         t.GetField("id").SetLong(4);
         std::string out = std::to_string(t.ClearFields());
         out += t.GetField("name").AsString();
         return out + t.GetField("id").AsString();
       },
       "", "10"},
      {"RemoveAt",
       [&] {
         fake.ScriptBytes("GetAllRec", Rows({{"A", 1}, {"B", 2}, {"C", 3}}));
       },
       [&](RdmTable& t) {
         t.Select("", 5);
         std::string out = std::to_string(t.RemoveAt(1));
         out += std::to_string(t.RemoveAt(5));
         return out + names(t);
       },
       "GetAllRec", "10A;C;"},
      {"RemoveAll",
       [&] {
         fake.ScriptBytes("GetAllRec", Rows({{"A", 1}, {"B", 2}, {"A", 3}, {"C", 4}}));
       },
       [&](RdmTable& t) {
         t.Select("", 5);
         t.RemoveAll("name", "A", 0);
         return names(t);
       },
       "GetAllRec", "B;C;"},
      {"DefineUniqueKey", [] {},
       [&](RdmTable& t) {
         std::string out = std::to_string(t.DefineUniqueKey());
         out += t.GetKeyName();
         return out + "@" + std::to_string(KeysDefined().back() == FieldNumber("UGYFEL", "ID"));
       },
       "DefineKey", "1ID@1"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    fake.ClearLog();
    RdmTable t(&desc, "UGYFEL");
    c.script();
    EXPECT_EQ(c.run(t), c.expected);
    std::vector<std::string> entries;
    for (const FakeEntries::Call& call : fake.Log()) entries.push_back(call.entry);
    if (*c.entry == 0)
      EXPECT_TRUE(entries.empty());
    else
      EXPECT_EQ(fake.Calls(c.entry), 1);
    EXPECT_EQ(fake.Outstanding(), 0);
  }
}

// A table that answers positions itself, as a store table does.
class OwnPositions : public RdmTable {
 public:
  using RdmTable::RdmTable;
  bool SetPosition(int position) override {
    asked = position;
    return true;
  }
  int GetRecordCount() override { return 7; }
  std::string GetFieldAlias(std::string field, bool) override { return "<" + field + ">"; }
  int asked = -100;
};

TEST_F(TableTest, OperationsThatCallOthersCallTheOverrides) {
  OwnPositions t(&desc, "UGYFEL");
  RdmTable& base = t;
  EXPECT_TRUE(base.GoTo(4, 0));
  EXPECT_EQ(t.asked, 4);
  EXPECT_FALSE(base.IsEmpty());
  base.DefineKey("id");
  EXPECT_EQ(base.GetKeyName(), "<ID>");
  StringVector parts;
  OwnPositions k(&desc, "TETEL");
  k.GetCompoundKeyFields("k", parts);
  EXPECT_EQ(std::vector<std::string>(parts.begin(), parts.end()),
            (std::vector<std::string>{"<CODE>", "<QTY>"}));
}

// ---- Sequences, counts, cache, transactions ----

TEST_F(TableTest, SequenceCountCacheAndTransactions) {
  RdmTable t(&desc, "UGYFEL");
  fake.ScriptValue("GetNextId", 500);
  EXPECT_EQ(t.GetNextId(), 500);
  EXPECT_EQ(fake.Last("GetNextId").texts, (std::vector<std::string>{""}));
  t.SetSequenceName("Ugyfel_Ugyfel_NextId");
  t.GetNextId();
  EXPECT_EQ(fake.Last("GetNextId").texts, (std::vector<std::string>{"Ugyfel_Ugyfel_NextId"}));
  RdmTable copy;
  copy = t;
  EXPECT_EQ(copy.GetSequenceName(), "Ugyfel_Ugyfel_NextId");

  fake.ScriptValue("GetCount", 12);
  EXPECT_EQ(t.GetCount(), 12);
  EXPECT_EQ(RaisedBy([&] { t.WriteCache(); }).code, 10038);

  t.BeginTransaction("ImportUgyfel");
  EXPECT_EQ(fake.Last("BeginTransaction").texts, (std::vector<std::string>{"ImportUgyfel"}));
  t.EndTransaction(0);
  EXPECT_EQ(fake.Last("EndTransaction").ints.at(1), 0);
  t.EndTransaction(1);
  EXPECT_EQ(fake.Last("EndTransaction").ints.at(1), 1);

  fake.SetStatus("UnlockRecord", 10002);
  EXPECT_FALSE(t.UnlockRecord(3));
  EXPECT_EQ(fake.Last("UnlockRecord").ints.at(3), 3);
}

// ---- Bookmarks ----

TEST_F(TableTest, BookmarkNamesAreKeptAsWritten) {
  RdmTable t(&desc, "UGYFEL");
  fake.ScriptValue("BookmarkCreate", 71);
  fake.ScriptValue("BookmarkCreate", 72);
  EXPECT_TRUE(t.CreateBookmark("b"));
  Raised twice = RaisedBy([&] { t.CreateBookmark("b"); });
  ASSERT_NE(twice.code, 0);
  EXPECT_EQ(twice.code, 2036);
  EXPECT_EQ(twice.args, StringVector("b"));
  EXPECT_EQ(twice.position.function, "RdmTable::CreateBookmark");
  EXPECT_EQ(twice.position.line, 774);
  EXPECT_TRUE(t.CreateBookmark("B"));
  EXPECT_EQ(fake.Calls("BookmarkCreate"), 2);

  EXPECT_TRUE(t.GetBookmark("b"));
  EXPECT_EQ(fake.Last("BookmarkOperation").ints, (std::vector<int64_t>{55, 71, 1}));
  EXPECT_TRUE(t.SetBookmark("B"));
  EXPECT_EQ(fake.Last("BookmarkOperation").ints, (std::vector<int64_t>{55, 72, 0}));

  fake.SetStatus("BookmarkOperation", 10063);
  Raised gone = RaisedBy([&] { t.GetBookmark("b"); });
  EXPECT_EQ(gone.code, 10063);
  EXPECT_EQ(gone.position.line, 803);
  EXPECT_EQ(RaisedBy([&] { t.SetBookmark("b"); }).position.line, 817);

  Raised never = RaisedBy([&] { t.GetBookmark("x"); });
  EXPECT_EQ(never.code, 2034);
  EXPECT_EQ(never.args, StringVector("x"));
  t.DropBookmark("b");
  EXPECT_EQ(fake.Last("BookmarkDrop").ints, (std::vector<int64_t>{55, 71}));
  EXPECT_EQ(RaisedBy([&] { t.SetBookmark("b"); }).code, 2034);
  t.DropBookmark("b");  // absent: nothing happens
  EXPECT_EQ(fake.Calls("BookmarkDrop"), 1);
}

TEST_F(TableTest, AFailedBookmarkIsNotKept) {
  RdmTable t(&desc, "UGYFEL");
  fake.Script("BookmarkCreate", FakeEntries::Reply{10012, std::nullopt, 3});
  Raised e = RaisedBy([&] { t.CreateBookmark("b"); });
  ASSERT_NE(e.code, 0);
  EXPECT_EQ(e.code, 10012);
  EXPECT_EQ(e.position.line, 780);
  EXPECT_EQ(RaisedBy([&] { t.GetBookmark("b"); }).code, 2034);
  EXPECT_EQ(fake.Calls("BookmarkDrop"), 0);
  fake.ScriptValue("BookmarkCreate", 5);
  EXPECT_TRUE(t.CreateBookmark("b"));
}

TEST_F(TableTest, ACopiedBookmarkIsDroppedOnceByTheLastTable) {
  auto first = std::make_unique<RdmTable>(&desc, "UGYFEL");
  fake.ScriptValue("BookmarkCreate", 31);
  first->CreateBookmark("mark");
  {
    RdmTable copy(*first);
    RdmTable assigned;
    assigned = *first;
    EXPECT_TRUE(assigned.GetBookmark("mark"));
  }
  EXPECT_EQ(fake.Calls("BookmarkDrop"), 0);
  first.reset();
  EXPECT_EQ(fake.Calls("BookmarkDrop"), 1);
  EXPECT_EQ(fake.Last("BookmarkDrop").ints.at(1), 31);
}

// ---- Cursors ----

TEST_F(TableTest, CursorsStepAlongTheirKeyAndRestoreTheCurrentKey) {
  RdmTable t(&desc, "UGYFEL");
  t.SetFieldAlias("nev", "name");
  EXPECT_TRUE(t.CreateCursor("c", "nev"));
  Raised twice = RaisedBy([&] { t.CreateCursor("c", "id"); });
  EXPECT_EQ(twice.code, 2038);
  EXPECT_EQ(twice.position.line, 827);
  EXPECT_TRUE(t.CreateCursor("C", "id"));
  EXPECT_EQ(RaisedBy([&] { t.GoCursor("x", 0); }).code, 2037);

  t.DefineKey("id");
  fake.ClearLog();
  fake.ScriptBytes("FirstRec", Row("Ábel", 3));
  EXPECT_TRUE(t.GoCursor("c", 0, 0));
  EXPECT_STREQ(t.GetField("nev").GetText(), "Ábel");
  EXPECT_EQ(KeysDefined(),
            (std::vector<int64_t>{FieldNumber("UGYFEL", "NAME"), FieldNumber("UGYFEL", "ID")}));

  fake.SetStatus("NextRec", 10002);
  EXPECT_FALSE(t.GoCursor("c", 2, 0));
  EXPECT_EQ(t.GetKeyName(), "ID");
  EXPECT_EQ(fake.Calls("BookmarkCreate"), 0);

  fake.SetStatus("NextRec", 10015);
  Raised broken = RaisedBy([&] { t.GoCursor("c", 2, 0); });
  ASSERT_NE(broken.code, 0);
  EXPECT_EQ(broken.code, 10015);
  EXPECT_EQ(t.GetKeyName(), "ID");

  t.DropCursor("c");
  EXPECT_EQ(RaisedBy([&] { t.GoCursor("c", 0); }).code, 2037);
}

}  // namespace
