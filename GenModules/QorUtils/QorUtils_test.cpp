#include "QorUtils.h"

#include <gtest/gtest.h>

#include <cctype>
#include <clocale>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "QorDateTime.h"

namespace {

TEST(ToStringTest, Table) {
  const struct {
    double value;
    int fractCount;
    const char* text;
  } cases[] = {
      {5, -1, "5."},
      {0.25, -1, "0.25"},
      {-3.5, -1, "-3.5"},
      {1e20, -1, "1e+20."},
      {0, -1, "0."},
      {100, -1, "100."},
      {1.0 / 3, -1, "0.3333333333333333"},
      {1e16, -1, "1e+16."},
      {123.456, 2, "123.46"},
      {1, 3, "1.000"},
      {2.5, 0, "2"},
      {123.456, 0, "123"},
      {0, 2, "0.00"},
      {99.999, 1, "100.0"},
      {-42.125, 3, "-42.125"},
      {0.5, 15, "0.500000000000000"},
      {12345, 11, "12345.00000000000"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ToString(c.value, c.fractCount), c.text) << c.value << ", " << c.fractCount;
  }
}

TEST(ToStringTest, TooManyDigitsThrowsCode10AtItsPosition) {
  for (auto [value, fractCount] : {std::pair{12345.0, 12}, {-12345.0, 12}, {0.5, 16}, {1e10, 7}}) {
    try {
      ToString(value, fractCount);
      FAIL() << "no exception for " << value << ", " << fractCount;
    } catch (const QorExceptBaseArg& e) {
      EXPECT_EQ(e.GetCode(), 10);
      EXPECT_EQ(e.GetPosition().function, "ToString");
      EXPECT_EQ(e.GetPosition().line, 39);
      EXPECT_NE(e.GetPosition().file.find("QorUtils.cpp"), std::string::npos);
      ASSERT_EQ(e.GetArgs().size(), 2u);
      EXPECT_EQ(e.GetArgs()[0], "FractCount");
      EXPECT_EQ(e.GetArgs()[1], std::to_string(fractCount));
      EXPECT_EQ(std::string(e.what()),
                "Az érték túl nagy!\n (FractCount, " + std::to_string(fractCount) + ")");
    }
  }
}

TEST(ToStringTest, InfiniteAndNanValuesHaveNoIntegerDigits) {
  // These once counted digits forever.
  EXPECT_EQ(ToString(INFINITY, 2), "inf.00");
  EXPECT_EQ(ToString(-INFINITY, 0), "-inf");
  EXPECT_EQ(ToString(std::nan(""), 15), "nan.000000000000000");
  EXPECT_THROW(ToString(INFINITY, 16), QorExceptBaseArg);
  EXPECT_EQ(ToString(INFINITY, -1), "inf.");
}

TEST(PadFractionTest, Table) {
  const struct {
    const char* text;
    int fractCount;
    const char* result;
  } cases[] = {
      {"5", -1, "5."},       {"5", 0, "5"},        {"5.25", 0, "5"},   {"5.25", 1, "5.25"},
      {"5.25", 4, "5.2500"}, {"1e+20", -1, "1e+20."}, {"", 2, ".00"}, {"12", 3, "12.000"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(PadFraction(c.text, c.fractCount), c.result) << c.text << ", " << c.fractCount;
  }
}

TEST(UpperCaseTest, OnlyAsciiLettersChange) {
  EXPECT_EQ(ToUpper("árvíztűrő tükörfúrógép"), "áRVíZTűRő TüKöRFúRóGéP");
  char text[] = "kelvado_6 ügyfél";
  UpperInPlace(text);
  EXPECT_STREQ(text, "KELVADO_6 üGYFéL");
  UpperInPlace(static_cast<char*>(nullptr));

  std::string all;
  for (int c = 1; c < 256; ++c) all += static_cast<char>(c);
  std::string upper = ToUpper(all);
  ASSERT_EQ(upper.size(), all.size());
  for (std::size_t i = 0; i < all.size(); ++i) {
    char c = all[i];
    char expected = (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c;
    EXPECT_EQ(upper[i], expected) << "byte " << i + 1;
  }
}

TEST(CompareNoCaseTest, Table) {
  using namespace std::string_literals;
  const struct {
    std::string a, b;
    int sign;
  } cases[] = {
      {"Kelvado", "kELVADO", 0},
      {"", "", 0},
      {"ab", "ABC", -1},  // shorter first on a tie of the common part
      {"abc", "AB", 1},
      {"a", "[", -1},  // a letter orders as its capital, before '['
      {"_", "a", 1},
      {"z", "\xE9", -1},  // bytes compare unsigned
      {"\xE9", "\xC9", 1},  // no letter but a to z changes
      {"a\0b"s, "A\0B"s, 0},  // an embedded NUL is one more byte
      {"a\0b"s, "a"s, 1},
  };
  for (const auto& c : cases) {
    const int got = CompareNoCase(c.a, c.b);
    EXPECT_EQ((got > 0) - (got < 0), c.sign) << c.a << " / " << c.b;
    const int back = CompareNoCase(c.b, c.a);
    EXPECT_EQ((back > 0) - (back < 0), -c.sign) << c.b << " / " << c.a;
  }
}

TEST(UpperCaseTest, CopyOfARange) {
  const std::locale& loc = std::locale::classic();
  EXPECT_EQ(ToUpperCopyAt("abcdef", 2, 2, loc), "abCDef");
  EXPECT_EQ(ToUpperCopyAt("abcdef", 4, 100, loc), "abcdEF");
  EXPECT_EQ(ToUpperCopyAt("abcdef", 9, 1, loc), "abcdef");
  EXPECT_EQ(ToUpperCopy("sysdb á", loc), "SYSDB á");
}

// The programs' window library switches the C run time to the user's locale.
// A Hungarian Windows-1250 locale has a decimal comma and upper-cases the
// accented letters; none of that may reach numbers or names.
class HungarianLocaleTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char dirTemplate[] = "/tmp/qorutils-locale-XXXXXX";
    if (mkdtemp(dirTemplate) == nullptr) GTEST_SKIP() << "no temporary folder";
    m_dir = dirTemplate;
    std::string command = "localedef -i hu_HU -f CP1250 " + m_dir + "/hu_HU.CP1250 >/dev/null 2>&1";
    if (std::system(command.c_str()) != 0) GTEST_SKIP() << "localedef cannot build hu_HU.CP1250";
    const char* old = std::getenv("LOCPATH");
    m_hadLocPath = old != nullptr;
    if (m_hadLocPath) m_oldLocPath = old;
    setenv("LOCPATH", m_dir.c_str(), 1);
    if (std::setlocale(LC_ALL, "hu_HU.CP1250") == nullptr) GTEST_SKIP() << "locale not loaded";
    m_switched = true;
    ASSERT_STREQ(std::localeconv()->decimal_point, ",");
    ASSERT_NE(std::toupper(0xE1), 0xE1) << "the locale must upper-case 'á' for this test to mean anything";
  }
  void TearDown() override {
    if (m_switched) std::setlocale(LC_ALL, "C");
    if (m_hadLocPath) {
      setenv("LOCPATH", m_oldLocPath.c_str(), 1);
    } else {
      unsetenv("LOCPATH");
    }
    if (!m_dir.empty()) std::filesystem::remove_all(m_dir);
  }

 private:
  std::string m_dir;
  std::string m_oldLocPath;
  bool m_hadLocPath = false;
  bool m_switched = false;
};

TEST_F(HungarianLocaleTest, NumbersAndNamesStayAsInTheCLocale) {
  EXPECT_EQ(ToString(0.25, -1), "0.25");
  EXPECT_EQ(ToString(123.456, 2), "123.46");
  EXPECT_EQ(ToString(1e20, -1), "1e+20.");
  EXPECT_EQ((StringVector(-3.5) << 0.125).back(), "0.125");
  EXPECT_EQ(StringVector(-3.5).front(), "-3.5");

  QorDateTime value;
  EXPECT_TRUE(value.FromDouble(20240229.5, false, true));
  EXPECT_EQ(value.ToDouble(), 20240229000000.0);

  EXPECT_EQ(ToUpper("árvíztűrő tükörfúrógép"), "áRVíZTűRő TüKöRFúRóGéP");
  qoString name("ügyfél");
  EXPECT_EQ(static_cast<const std::string&>(name.ToUpper(false)), "üGYFéL");
}

}  // namespace
