#include "qoString.h"

#include <gtest/gtest.h>

#include <locale>
#include <string>

#include "QorUtils.h"

namespace {

TEST(qoStringTest, ToUpperAtRanges) {
  const auto npos = std::string::npos;
  const struct {
    std::size_t pos;
    std::size_t count;
    const char* result;
  } cases[] = {
      {0, npos, "ABCDEF"}, {2, 2, "abCDef"}, {4, 100, "abcdEF"},
      {6, 5, "abcdef"},    {7, 0, "abcdef"},  {0, 0, "abcdef"},
  };
  for (bool useLocale : {false, true}) {
    for (const auto& c : cases) {
      qoString s("abcdef");
      EXPECT_EQ(s.ToUpperAt(c.pos, c.count, useLocale), c.result) << c.pos << ", " << c.count;
    }
  }
}

TEST(qoStringTest, PositionBeyondTheEndThrowsCode10) {
  qoString s("abcdef");
  try {
    s.ToUpperAt(7, 5, false);
    FAIL() << "no exception";
  } catch (const QorExceptBaseArg& e) {
    EXPECT_EQ(e.GetCode(), 10);
    EXPECT_STREQ(e.what(), "Az érték túl nagy!\n (pos, size: , 7, 6)");
  }
  EXPECT_EQ(s, qoString("abcdef"));
}

TEST(qoStringTest, IteratorChecks) {
  qoString s("abc");
  try {
    s.ToUpperIter(s.begin() + 2, s.begin() + 1, false);
    FAIL() << "no exception";
  } catch (const QorExceptBaseArg& e) {
    EXPECT_EQ(e.GetCode(), 10);
    EXPECT_STREQ(e.what(), "Az érték túl nagy!\n (endIt < startIt)");
  }
  s.ToUpperIter(s.begin() + 1, s.end(), false);
  EXPECT_EQ(static_cast<const std::string&>(s), "aBC");
}

TEST(qoStringTest, ToUpperChangesOnlyAsciiLetters) {
  qoString name("sysdb_á");
  EXPECT_EQ(static_cast<const std::string&>(name.ToUpper(false)), "SYSDB_á");
  EXPECT_FALSE(name != "SYSDB_á");
  EXPECT_TRUE(name != "SYSDB");
  qoString viaLocale("kelvado ő");
  EXPECT_EQ(static_cast<const std::string&>(viaLocale.ToUpper(true)), "KELVADO ő");
}

TEST(qoStringTest, CompareThroughCollation) {
  const std::locale& loc = std::locale::classic();
  EXPECT_EQ(qoString::Compare("abc", "ABC", loc, true), 0);
  EXPECT_GT(qoString::Compare("abc", "ABC", loc, false), 0);
  EXPECT_LT(qoString::Compare("abc", "abd", loc, false), 0);
  EXPECT_EQ(qoString::Compare("", "", loc, false), 0);
}

TEST(qoStringTest, EqualityNeedsTheSameLocale) {
  const std::locale classic = std::locale::classic();
  const std::locale other(std::locale::classic(), new std::numpunct<char>);
  EXPECT_TRUE(qoString("SYSDB") == qoString("SYSDB"));
  EXPECT_FALSE(qoString("SYSDB") == qoString("sysdb"));
  // No locale counts as the default one, which is the classic one here.
  EXPECT_TRUE(qoString("a", &classic) == qoString("a"));
  EXPECT_FALSE(qoString("a", &other) == qoString("a", &classic));
  EXPECT_TRUE(qoString("a", &other) != qoString("a"));
  EXPECT_TRUE(qoString("a", &other) == qoString("a", &other));
}

}  // namespace
