#include "StringVector.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstddef>
#include <string>
#include <vector>

namespace {

using Texts = std::vector<std::string>;

Texts Of(const StringVector& list) { return Texts(list.begin(), list.end()); }

TEST(StringVectorTest, Constructors) {
  EXPECT_EQ(Of(StringVector()), Texts{});
  EXPECT_EQ(Of(StringVector("abc")), Texts{"abc"});
  EXPECT_EQ(Of(StringVector(static_cast<const char*>(nullptr))), Texts{""});
  EXPECT_EQ(Of(StringVector(std::string("árvíz"))), Texts{"árvíz"});
  EXPECT_EQ(Of(StringVector(-42L)), Texts{"-42"});
  EXPECT_EQ(Of(StringVector(7)), Texts{"7"});
  EXPECT_EQ(Of(StringVector(LONG_MIN)), Texts{"-9223372036854775808"});
}

TEST(StringVectorTest, DoublesHaveSixteenDigitsAndNoAddedZeros) {
  const struct {
    double value;
    const char* text;
  } cases[] = {
      {5.0, "5"},
      {0.25, "0.25"},
      {-3.5, "-3.5"},
      {0.1, "0.1"},
      {1.0 / 3, "0.3333333333333333"},
      {1e20, "1e+20"},
      {1e-5, "1e-05"},
      {20241301000000.0, "20241301000000"},
      {1234567890123456789.0, "1.234567890123457e+18"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Of(StringVector(c.value)), Texts{c.text});
    EXPECT_EQ(Of(StringVector() << c.value), Texts{c.text});
  }
}

TEST(StringVectorTest, InsertionsAppendInOrder) {
  StringVector list;
  list << "a" << std::string("b") << -3 << 5u << UINT_MAX << 4000000000u << 12L << 5.0
       << static_cast<std::size_t>(9) << static_cast<std::size_t>(-1);
  EXPECT_EQ(Of(list), (Texts{"a", "b", "-3", "5", "-1", "-294967296", "12", "5", "9", "-1"}));
}

TEST(StringVectorTest, AssignReplacesAndCopiesAreIndependent) {
  StringVector list("x");
  list << "y";
  StringVector copy(list);
  list.Assign("z");
  EXPECT_EQ(Of(list), Texts{"z"});
  EXPECT_EQ(Of(copy), (Texts{"x", "y"}));
  copy.Append("x");
  EXPECT_EQ(Of(copy), (Texts{"x", "y", "x"})) << "duplicates are kept";
}

}  // namespace
