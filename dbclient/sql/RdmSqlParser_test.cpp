#include "RdmSqlParser.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Raised_testutil.h"

namespace {

using Kind = RdmSqlTokenKind;

std::vector<RdmSqlStatement> Statements(const std::string& text) {
  RdmSqlParser parser;
  std::vector<RdmSqlStatement> out;
  parser.Parse(text.data(), static_cast<unsigned>(text.size()), out);
  return out;
}

// The token texts of every statement, one after the other.
std::vector<std::string> Texts(const std::string& text) {
  std::vector<std::string> out;
  for (const RdmSqlStatement& s : Statements(text))
    for (const RdmSqlToken& t : s) out.push_back(t.text);
  return out;
}

struct TokenCase {
  const char* text;
  std::vector<std::string> tokens;
};

class TokenTest : public ::testing::TestWithParam<TokenCase> {};

TEST_P(TokenTest, ReadsTheTokens) { EXPECT_EQ(Texts(GetParam().text), GetParam().tokens); }

INSTANTIATE_TEST_SUITE_P(
    Texts, TokenTest,
    ::testing::Values(
        TokenCase{"select * from DB.T where A = 'x';",
                  {"SELECT", "*", "FROM", "DB.T", "WHERE", "A", "=", "x", ";"}},
        TokenCase{"DESCRIBE T;", {"DESCRIBE", "T", ";"}}, TokenCase{"DESC T;", {"DESC", "T", ";"}},
        TokenCase{"create tablespace X;", {"CREATE", "TABLESPACE", "X", ";"}},
        // A keyword only where a pass reaches it: after "(" or "," the word
        // reader takes it, as written.
        TokenCase{"(select,from x;", {"(", "select", ",", "from", "x", ";"}},
        TokenCase{"A = 1 -- note\r\nB;", {"A", "=", "1", "B", ";"}},
        // A bare LF does not end a "--" comment.
        TokenCase{"A = 1 -- note\nB;\r\nC;", {"A", "=", "1", "C", ";"}},
        TokenCase{"A /* x ; y */ B;", {"A", "B", ";"}}, TokenCase{"A /* never closed ;", {}},
        TokenCase{"V = '';", {"V", "=", "", ";"}},
        TokenCase{"V = 'it\\'s';", {"V", "=", "it's", ";"}},
        TokenCase{"V = 'a\\\\b';", {"V", "=", "a\\b", ";"}},
        TokenCase{"\"my col\" = 1;", {"MY COL", "=", "1", ";"}},
        TokenCase{"a<>b;", {"a", "<>", "b", ";"}}, TokenCase{"a=b;", {"a", "=", "b", ";"}},
        TokenCase{"a>=b;", {"a>", "=", "b", ";"}},
        TokenCase{"a<b -1 3.14 *;", {"a<b", "-1", "3.14", "*", ";"}},
        // Escapes in words: a blank, a separator and "=" are taken; "<>" and a
        // comment start still end the word.
        TokenCase{"a\\ b\\;c\\=d;", {"a b;c=d", ";"}}, TokenCase{"a\\<>b;", {"a", "<>", "b", ";"}},
        TokenCase{"a\\--x\r\nb;", {"a", "b", ";"}},
        TokenCase{"VALUES(1,2);", {"VALUES", "(", "1", ",", "2", ")", ";"}},
        // A name quote that a reader of the same pass moved onto is a separator.
        TokenCase{"'x'\"b;", {"x", "\"", "b", ";"}},
        // Text after the last ";" never forms a statement.
        TokenCase{"A; B", {"A", ";"}}, TokenCase{"A B", {}}, TokenCase{"", {}}));

struct RefusalCase {
  const char* text;
  int code;
  std::vector<std::string> args;
};

class RefusalTest : public ::testing::TestWithParam<RefusalCase> {};

TEST_P(RefusalTest, RaisesTheCode) {
  std::vector<RdmSqlStatement> out;
  RdmSqlParser parser;
  std::string text = GetParam().text;
  Raised r = RaisedBy([&] { parser.Parse(text.data(), unsigned(text.size()), out); });
  EXPECT_EQ(r.code, GetParam().code);
  EXPECT_EQ(std::vector<std::string>(r.args.begin(), r.args.end()), GetParam().args);
  EXPECT_TRUE(out.empty());
  EXPECT_TRUE(r.position.file.empty());
}

INSTANTIATE_TEST_SUITE_P(Texts, RefusalTest,
                         ::testing::Values(RefusalCase{"A; SELECT * FROM ORDERS;", 2018, {"ORDER"}},
                                           RefusalCase{"A; select x from BYTES;", 2018, {"BY"}},
                                           RefusalCase{"SELECT * FROM T; COMMIT", 2018, {"COMMIT"}},
                                           RefusalCase{"A; DESCRIPTION;", 2018, {"DESC"}},
                                           RefusalCase{"UPDATE T SETUP;", 2018, {"SET"}},
                                           RefusalCase{"A; \"\";", 2019, {""}},
                                           RefusalCase{"A; \"open name", 2019, {"open name"}},
                                           RefusalCase{"A; 'open lit", 2033, {"open lit"}},
                                           RefusalCase{
                                               "A; 'ends in escape\\", 2033, {"ends in escape"}}));

TEST(RdmSqlParser, RefusedKeywordMessageNamesIt) {
  std::string text = "SELECT * FROM ORDERS;";
  RdmSqlParser parser;
  std::vector<RdmSqlStatement> out;
  EXPECT_EQ(RaisedBy([&] { parser.Parse(text.data(), unsigned(text.size()), out); }).message,
            "Hibás kulcsszó: ORDER!");
}

TEST(RdmSqlParser, CutsStatementsAtUnquotedSemicolons) {
  std::vector<RdmSqlStatement> s = Statements("insert into T values (';', \";\");  x = 1 ;");
  ASSERT_EQ(s.size(), 2u);
  ASSERT_EQ(s[0].size(), 10u);
  EXPECT_EQ(s[0][5], (RdmSqlToken{";", Kind::Literal}));
  EXPECT_EQ(s[0][7], (RdmSqlToken{";", Kind::QuotedName}));
  EXPECT_EQ(s[0].back(), (RdmSqlToken{";", Kind::Separator}));
  EXPECT_EQ(s[1].size(), 4u);
}

TEST(RdmSqlParser, TokensCarryTheirKind) {
  std::vector<RdmSqlStatement> s = Statements("Where sysdate = 'SYSDATE' <> \"From\" , x;");
  ASSERT_EQ(s.size(), 1u);
  EXPECT_EQ(s[0], (RdmSqlStatement{{"WHERE", Kind::Keyword},
                                   {"SYSDATE", Kind::Keyword},
                                   {"=", Kind::Operator},
                                   {"SYSDATE", Kind::Literal},
                                   {"<>", Kind::Operator},
                                   {"FROM", Kind::QuotedName},
                                   {",", Kind::Separator},
                                   {"x", Kind::Word},
                                   {";", Kind::Separator}}));
}

TEST(RdmSqlParser, ReadsOnlyTheGivenLength) {
  RdmSqlParser parser;
  std::vector<RdmSqlStatement> out;
  const char text[] = "A;B;";
  parser.Parse(text, 2, out);
  ASSERT_EQ(out.size(), 1u);
  // A later parse starts afresh and appends.
  parser.Parse(text + 2, 2, out);
  ASSERT_EQ(out.size(), 2u);
  EXPECT_EQ(out[1][0].text, "B");
}

}  // namespace
