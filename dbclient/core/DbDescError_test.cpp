#include "DbDescError.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace {

TEST(DbDescErrorTest, MessagesWithArguments) {
  const struct {
    int code;
    StringVector args;
    const char* text;
  } cases[] = {
      {10038, StringVector("pfOpenDbExA"), "A függvény nem használható!\n (pfOpenDbExA)"},
      {2018, StringVector("DESCRIBE"), "Hibás kulcsszó: DESCRIBE!"},
      {2002, StringVector("UGYFEL"), "Tábla nem elérhető!\n (UGYFEL)"},
      {2002, StringVector("VIEW") << "CIM", "Tábla nem elérhető!\n (VIEW, CIM)"},
      {2033, StringVector("abc"), "\n (abc)"},
      {2033, StringVector(), ""},
      // The first argument's own "%" stops the second; neither is a printf format.
      {2021, StringVector("A = %d%n") << "x", "A megadott feltétel hibás: A = %d%n"},
      {2000, StringVector(), "Táblatér nem elérhető!"},
      {2038, StringVector(), "A kurzor már létezik!"},
      {10000, StringVector(), "Lockolási hiba!"},
      {10002, StringVector(), "Sikertelen keresés!"},
      {10044, StringVector(), "Ismeretlen hibakód!"},
      {10064, StringVector(), "Kezeletlen kivétel történt a kiszolgálóban..."},
  };
  for (const auto& c : cases) {
    DbDescError e(c.code, c.args);
    EXPECT_STREQ(e.what(), c.text) << "code " << c.code;
    EXPECT_EQ(e.GetCode(), c.code);
  }
}

TEST(DbDescErrorTest, CodesOutsideTheTablesAreUnknown) {
  for (int code : {1999, 2039, 9999, 10065, -1, 0, 8, 10, 18, 250}) {
    EXPECT_STREQ(DbDescError(code).what(), "Ismeretlen hibakód!") << "code " << code;
  }
  for (int code = 2000; code <= 2038; ++code) {
    if (code == 2033) continue;
    EXPECT_STRNE(DbDescError(code).GetMessage(), "Ismeretlen hibakód!") << "code " << code;
    EXPECT_STRNE(DbDescError(code).GetMessage(), "") << "code " << code;
  }
  for (int code = 10000; code <= 10064; ++code) {
    if (code == 10044) continue;
    EXPECT_STRNE(DbDescError(code).GetMessage(), "Ismeretlen hibakód!") << "code " << code;
  }
}

TEST(DbDescErrorTest, Severity) {
  const std::set<int> mild = {10000, 10002, 10005, 10019, 10020, 10038, 10040, 10041,
                              10054, 10056, 10058, 10059, 10060, 10061, 10062, 10063, 10064};
  for (int code = 10000; code <= 10064; ++code) {
    EXPECT_EQ(DbDescError(code).IsSevere(), mild.count(code) == 0) << "code " << code;
  }
  EXPECT_FALSE(DbDescError(0).IsSevere());
  for (int code : {2000, 2033, 2038, 5, 10065, 9999, -1}) {
    EXPECT_TRUE(DbDescError(code).IsSevere()) << "code " << code;
  }
}

TEST(DbDescErrorTest, CaughtAsTheRootItKeepsItsTablesAndPosition) {
  try {
    throw DbDescError(2002, QOR_ERRPOS("RdmTable::GetField", 120), StringVector("UGYFEL") << "NEV");
  } catch (const QorExceptBase& e) {
    EXPECT_EQ(e.GetCode(), 2002);
    EXPECT_STREQ(e.what(), "Tábla nem elérhető!\n (UGYFEL, NEV)");
    EXPECT_EQ(e.GetPosition().function, "RdmTable::GetField");
    EXPECT_EQ(e.GetPosition().line, 120);
    EXPECT_TRUE(e.IsSevere());
  }
}

}  // namespace
