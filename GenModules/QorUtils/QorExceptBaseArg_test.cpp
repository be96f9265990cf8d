#include "QorExceptBaseArg.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

StringVector List(const std::vector<std::string>& items) {
  StringVector list;
  for (const auto& item : items) list << item;
  return list;
}

TEST(QorExceptBaseArgTest, FormatArgs) {
  const struct {
    const char* text;
    std::vector<std::string> args;
    const char* result;
  } cases[] = {
      {"Az érték túl nagy!", {}, "Az érték túl nagy!"},
      {"Nincs jel", {"a", "b"}, "Nincs jel\n (a, b)"},
      {"Hibás kulcsszó: %s!", {"DESCRIBE"}, "Hibás kulcsszó: DESCRIBE!"},
      {"%s", {"a", "b", "c"}, "a\n (b, c)"},
      {"%s és %s", {"x", "y"}, "x és y"},
      {"%s és %s", {"x"}, "x és %s"},
      // A "%" that is no marker stops every later argument, none is appended.
      {"50% %s", {"x", "y"}, "50% %s"},
      {"ár: 100%", {"x"}, "ár: 100%"},
      {"%", {"x"}, "%"},
      // An argument's own "%" is found by the next search.
      {"%s és %s", {"%s", "B"}, "B és %s"},
      {"%s-%s", {"%d", "x"}, "%d-%s"},
      {"", {"abc"}, "\n (abc)"},
      {"", {}, ""},
  };
  for (const auto& c : cases) {
    QorExceptBaseArg e(0, List(c.args));
    EXPECT_EQ(e.FormatArgs(c.text), c.result) << "text " << c.text;
  }
}

TEST(QorExceptBaseArgTest, WhatFormatsTheCodeText) {
  QorExceptBaseArg e(10, StringVector("FractCount") << 20);
  EXPECT_STREQ(e.what(), "Az érték túl nagy!\n (FractCount, 20)");
  // Rebuilt on every call, same result.
  EXPECT_STREQ(e.what(), "Az érték túl nagy!\n (FractCount, 20)");
  EXPECT_STREQ(QorExceptBaseArg(18, StringVector()).what(), "Érvénytelen adat");
  EXPECT_STREQ(QorExceptBaseArg(11, StringVector("startIt < begin()")).what(),
               "Az érték túl kicsi!\n (startIt < begin())");
}

TEST(QorExceptBaseArgTest, ArgumentsAreNeverAPrintfFormat) {
  QorExceptBaseArg e(1, StringVector("%n%n%s%999999d"));
  EXPECT_STREQ(e.what(), "Ismeretlen hiba!\n (%n%n%s%999999d)");
}

TEST(QorExceptBaseArgTest, CopyKeepsCodePositionAndArguments) {
  QorExceptBaseArg original(10, QorErrPos("f.cpp", "F::G", 3), StringVector("a") << "b");
  QorExceptBaseArg copy = original;
  EXPECT_EQ(copy.GetCode(), 10);
  EXPECT_EQ(copy.GetPosition().function, "F::G");
  ASSERT_EQ(copy.GetArgs().size(), 2u);
  EXPECT_STREQ(copy.what(), "Az érték túl nagy!\n (a, b)");
}

}  // namespace
