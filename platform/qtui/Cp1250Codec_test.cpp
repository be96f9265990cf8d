#include "Cp1250Codec.h"

#include <gtest/gtest.h>

namespace {

TEST(Cp1250Codec, EveryByteRoundTripsThroughQString) {
  std::string all;
  for (int b = 0; b < 256; ++b) all.push_back(static_cast<char>(b));
  const QString text = Cp1250Codec::ToQString(all);
  ASSERT_EQ(text.size(), 256);
  EXPECT_TRUE(Cp1250Codec::Representable(text));
  EXPECT_EQ(Cp1250Codec::FromQString(text), all);
  // The undefined positions keep their own number.
  for (int b : {0x81, 0x83, 0x88, 0x90, 0x98}) EXPECT_EQ(text[b].unicode(), b);
}

TEST(Cp1250Codec, HungarianTextsMeetTheirUnicodeSpelling) {
  struct Case {
    const char* narrow;
    const char16_t* wide;
  } cases[] = {
      {"Bejelentkezés", u"Bejelentkezés"},
      {"Árvíztűrő tükörfúrógép", u"Árvíztűrő tükörfúrógép"},
      {"ŐŰőű€„”", u"ŐŰőű€„”"},
      {"", u""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Cp1250Codec::ToQString(c.narrow), QString::fromUtf16(c.wide)) << c.narrow;
    EXPECT_EQ(Cp1250Codec::FromQString(QString::fromUtf16(c.wide)), c.narrow) << c.narrow;
  }
  EXPECT_EQ(Cp1250Codec::ToQString(std::string_view("a\0b", 3)).size(), 3);
}

TEST(Cp1250Codec, UnmappableCharactersBecomeQuestionMarks) {
  const QString text = QString::fromUtf16(u"x\u00F5y\u4E2Dz\U0001F600");
  EXPECT_FALSE(Cp1250Codec::Representable(text));
  EXPECT_EQ(Cp1250Codec::FromQString(text), "x?y?z?");
}

}  // namespace
