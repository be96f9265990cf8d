// Statement analysis over test dictionaries: token matching, names, WHERE
// conditions, the special values and the choice of a linking key.
#include "RdmSqlBase.h"

#include <gtest/gtest.h>

#include "FakeEntries_testutil.h"
#include "Raised_testutil.h"
#include "TestDictionary_testutil.h"

namespace {

// The analysis with its state in reach.
class Probe : public RdmSqlBase {
 public:
  using RdmSqlBase::m_descriptions;
  using RdmSqlBase::m_end;
  using RdmSqlBase::m_tablePairs;

  // Tokens of one statement; the WHERE part runs up to its ";".
  void SetTokens(const std::string& text) {
    RdmSqlParser parser;
    std::vector<RdmSqlStatement> statements;
    parser.Parse(text.data(), unsigned(text.size()), statements);
    tokens = statements.at(0);
    m_end = tokens.end();
  }
  void Where(const std::string& text) {
    SetTokens(text + ";");
    ParseWhere(tokens.begin(), tokens.end() - 1);
  }
  RdmSqlStatement tokens;
};

// DB1: the shared sample (PERSON, ITEM, EMPTY); DB2: another PERSON and OTHER.
class AnalysisTest : public ::testing::Test {
 protected:
  void SetUp() override {
    probe.m_descriptions = {{"DB1", &db1}, {"DB2", &db2}};
    probe.m_tablePairs = {{"DB1", "PERSON"}, {"DB1", "ITEM"}};
  }
  DbDescription db1 = TestDictionary::Sample().Load("DB1", 7, 55);
  DbDescription db2 = TestDictionary()
                          .Record("PERSON")
                          .Field("ID", 'l', 4, 'u')
                          .Record("OTHER")
                          .Field("X", 'l', 4)
                          .Load("DB2", 8, 66);
  Probe probe;
};

TEST_F(AnalysisTest, AcceptAndAdvanceNeverPassTheEnd) {
  probe.SetTokens("select a;");
  auto p = probe.tokens.cbegin();
  EXPECT_FALSE(probe.Accept(p, "FROM"));
  EXPECT_TRUE(probe.Accept(p, "Select"));
  EXPECT_FALSE(probe.Accept(p, "B"));
  probe.Advance(p);
  // A match on the last token moves and answers false.
  EXPECT_FALSE(probe.Accept(p, ";"));
  EXPECT_EQ(p, probe.tokens.cend());
  EXPECT_FALSE(probe.Accept(p, ";"));
  EXPECT_EQ(RaisedBy([&] { probe.Advance(p); }).code, 2020);
  p = probe.tokens.cend() - 1;
  EXPECT_EQ(RaisedBy([&] { probe.Advance(p); }).code, 2020);
  // A quoted token never matches a word.
  probe.SetTokens("'FROM' \"FROM\";");
  p = probe.tokens.cbegin();
  EXPECT_FALSE(probe.Accept(p, "FROM"));
  ++p;
  EXPECT_FALSE(probe.Accept(p, "FROM"));
}

TEST_F(AnalysisTest, SplitNameDropsEmptyPieces) {
  StringVector parts;
  probe.SplitName("a..b.", parts);
  EXPECT_EQ(parts, StringVector("A") << "B");
}

struct NameCase {
  const char* name;
  int code;
  std::vector<std::string> result;  // database, table (and field), or the error's arguments
};

class TableNameTest : public AnalysisTest, public ::testing::WithParamInterface<NameCase> {};

TEST_P(TableNameTest, Resolves) {
  std::string database, table;
  Raised r = RaisedBy([&] { probe.ResolveTable(GetParam().name, database, table); });
  EXPECT_EQ(r.code, GetParam().code);
  if (r.code == 0)
    EXPECT_EQ((std::vector<std::string>{database, table}), GetParam().result);
  else
    EXPECT_EQ(std::vector<std::string>(r.args.begin(), r.args.end()), GetParam().result);
}

INSTANTIATE_TEST_SUITE_P(
    Names, TableNameTest,
    ::testing::Values(
        NameCase{"item", 0, {"DB1", "ITEM"}}, NameCase{"db2.person", 0, {"DB2", "PERSON"}},
        NameCase{"PERSON", 2002, {"PERSON", "Nem egyértelmű táblanév!"}},
        NameCase{"NINCS", 2002, {"NINCS"}}, NameCase{"DB1.NINCS", 2002, {"DB1", "NINCS"}},
        NameCase{"NINCS.PERSON", 8, {}}, NameCase{"A.B.C", 2002, {"Empty from clausure!"}}));

class FieldNameTest : public AnalysisTest, public ::testing::WithParamInterface<NameCase> {};

TEST_P(FieldNameTest, Resolves) {
  probe.m_tablePairs = {{"DB1", "PERSON"}, {"DB2", "PERSON"}};
  std::string database, table, field;
  Raised r = RaisedBy([&] { probe.ResolveField(GetParam().name, database, table, field); });
  EXPECT_EQ(r.code, GetParam().code);
  if (r.code == 0)
    EXPECT_EQ((std::vector<std::string>{database, table, field}), GetParam().result);
  else
    EXPECT_EQ(std::vector<std::string>(r.args.begin(), r.args.end()), GetParam().result);
}

INSTANTIATE_TEST_SUITE_P(
    Names, FieldNameTest,
    ::testing::Values(NameCase{"name", 0, {"DB1", "PERSON", "NAME"}},
                      NameCase{"ID", 2003, {"ID", "Nem egyértelmű mezőnév!"}},
                      // TABLE.FIELD is looked up in every database, not only the statement's.
                      NameCase{"item.qty", 0, {"DB1", "ITEM", "QTY"}},
                      NameCase{"PERSON.ID", 2003, {"ID", "Nem egyértelmű mezőnév!"}},
                      NameCase{"PERSON.NINCS", 2003, {"PERSON", "NINCS"}},
                      NameCase{"db2.person.id", 0, {"DB2", "PERSON", "ID"}},
                      NameCase{"DB2.PERSON.NAME", 2003, {"DB2", "PERSON", "NAME"}},
                      NameCase{"NINCS.PERSON.ID", 8, {}}, NameCase{"QTY", 2003, {"QTY"}},
                      NameCase{"a.b.c.d", 2003, {"a.b.c.d"}}));

TEST_F(AnalysisTest, ConditionsPutTheFieldLeftAndSplitJoinsFromFilters) {
  probe.Where("5 = AGE AND 'x' = PERSON.NAME and CODE = db1.PERSON.ID AND SEX = 'AGE'");
  const auto& c = probe.GetConditions();
  ASSERT_EQ(c.size(), 4u);
  EXPECT_EQ(c[0].kind, 3);
  EXPECT_EQ(c[0].left.field, "AGE");
  EXPECT_EQ(c[0].right.text, "5");
  EXPECT_EQ(c[1].left.field, "NAME");
  EXPECT_EQ(c[1].right.text, "x");
  EXPECT_EQ(c[2].kind, 2);
  EXPECT_EQ(c[2].left.table, "ITEM");
  EXPECT_EQ(c[2].right.table, "PERSON");
  // A quoted text is a constant even when it names a field.
  EXPECT_EQ(c[3].kind, 3);
  EXPECT_EQ(c[3].right.text, "AGE");
  EXPECT_EQ(probe.GetJoins().size(), 1u);
  EXPECT_EQ(probe.GetFilters().size(), 3u);
}

TEST_F(AnalysisTest, ConditionRefusals) {
  struct Case {
    const char* where;
    int code;
    StringVector args;
  };
  for (const Case& c :
       {Case{"'x' = 'y'", 2021, StringVector("X=Y")},
        Case{"a.b = c.d.e", 2021, StringVector("B=E")}, Case{"AGE =", 2020, {}},
        Case{"AGE", 2020, {}}, Case{"AGE = 1 AND NAME", 2020, {}},
        // Only AND joins conditions, and only another condition follows it.
        Case{"AGE = 1 AND", 2020, {}}, Case{"AGE = 1 OR NAME = 'x'", 2027, {"OR"}},
        Case{"AGE = 1 'AND' NAME = 'x'", 2027, {"AND"}}, Case{"AGE = 1 x", 2027, {"x"}}}) {
    Raised r = RaisedBy([&] { probe.Where(c.where); });
    EXPECT_EQ(r.code, c.code) << c.where;
    EXPECT_EQ(r.args, c.args) << c.where;
  }
  // An ambiguous name inside a condition counts as a constant.
  probe.m_tablePairs = {{"DB1", "PERSON"}, {"DB2", "PERSON"}};
  EXPECT_EQ(RaisedBy([&] { probe.Where("ID = 1"); }).args, StringVector("ID=1"));
}

TEST_F(AnalysisTest, SpecialValues) {
  FakeEntries fake;
  fake.ScriptValue("GetServerTime", 1765370000);
  fake.ScriptValue("GetNextId", 41);
  fake.ScriptValue("GetNextId", 42);
  auto value = [&](const char* text, RdmSqlTokenKind kind) {
    return probe.EvalValue(RdmSqlToken{text, kind});
  };
  EXPECT_EQ(value("SYSDATE", RdmSqlTokenKind::Keyword), "1765370000");
  EXPECT_EQ(fake.Last("GetServerTime").ints.at(0), 55);  // the first description's handle
  EXPECT_EQ(value("SEQ.nextval", RdmSqlTokenKind::Word), "41");
  EXPECT_EQ(value("seq.NEXTVAL", RdmSqlTokenKind::Word), "42");
  EXPECT_EQ(fake.Last("GetNextId").texts.at(0), "seq");
  for (const char* plain : {"A.B.nextval", "nextval", "SEQ.next"})
    EXPECT_EQ(value(plain, RdmSqlTokenKind::Word), plain);
  EXPECT_EQ(value("SYSDATE", RdmSqlTokenKind::Literal), "SYSDATE");
  EXPECT_EQ(value("SEQ.nextval", RdmSqlTokenKind::Literal), "SEQ.nextval");
  EXPECT_EQ(fake.Calls("GetNextId"), 2);
  // Without descriptions there is no connection.
  probe.m_descriptions.clear();
  fake.SetStatus("GetServerTime", 10014);
  EXPECT_EQ(RaisedBy([&] { value("SYSDATE", RdmSqlTokenKind::Keyword); }).code, 10014);
  EXPECT_EQ(fake.Last("GetServerTime").ints.at(0), kNoConnection);
  fake.Remove("GetNextId");
  EXPECT_EQ(RaisedBy([&] { value("S.nextval", RdmSqlTokenKind::Word); }).args,
            StringVector("pfGetNextId"));
}

TEST_F(AnalysisTest, TheLinkingKeyIsTheCompoundKeyTheConditionsFill) {
  using List = RdmSqlBase::FieldValues;
  EXPECT_STREQ(probe.FindLinkingIndex("DB1", "ITEM", "CODE", List{{"CODE", ""}, {"QTY", "1"}}),
               "K");
  // A partial match of the compound key loses to a plain field: the join field.
  EXPECT_STREQ(probe.FindLinkingIndex("DB1", "ITEM", "CODE", List{{"CODE", ""}, {"PRICE", "1"}}),
               "CODE");
  Raised none = RaisedBy([&] {
    probe.FindLinkingIndex("DB1", "ITEM", "X", List{{"X", ""}, {"Y", "2"}});
  });
  EXPECT_EQ(none.code, 2021);
  EXPECT_EQ(none.args, StringVector("Nincs kapcsolóindex a következő oszlopokra: X Y "));
}

}  // namespace
