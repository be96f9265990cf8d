#include "WinText.h"

#include <gtest/gtest.h>
#include <iconv.h>

namespace win {
namespace {

TEST(WinText, EveryByteSurvivesTheRoundTrip) {
  for (int b = 0; b < 256; ++b) {
    char16_t u = Cp1250ToUnicode(static_cast<unsigned char>(b));
    EXPECT_EQ(UnicodeToCp1250(u), b) << b;
  }
  std::string all;
  for (int b = 0; b < 256; ++b) all.push_back(static_cast<char>(b));
  EXPECT_EQ(Utf16ToCp1250(Cp1250ToUtf16(all)), all);
}

// The system's own converter is an independent reading of the code page.
TEST(WinText, AgreesWithTheSystemConverterOnEveryDefinedByte) {
  iconv_t cd = iconv_open("UTF-16LE", "CP1250");
  if (cd == reinterpret_cast<iconv_t>(-1)) GTEST_SKIP() << "no CP1250 converter on this system";
  int compared = 0;
  for (int b = 0; b < 256; ++b) {
    char in = static_cast<char>(b);
    char out[4] = {};
    char* pin = &in;
    char* pout = out;
    size_t inLeft = 1, outLeft = sizeof out;
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    if (iconv(cd, &pin, &inLeft, &pout, &outLeft) == static_cast<size_t>(-1)) {
      // Undefined in the code page: ours keeps the byte's own number.
      EXPECT_EQ(Cp1250ToUnicode(static_cast<unsigned char>(b)), static_cast<char16_t>(b)) << b;
      continue;
    }
    auto u = static_cast<char16_t>(static_cast<unsigned char>(out[0]) | (static_cast<unsigned char>(out[1]) << 8));
    EXPECT_EQ(Cp1250ToUnicode(static_cast<unsigned char>(b)), u) << b;
    ++compared;
  }
  iconv_close(cd);
  EXPECT_GE(compared, 251);
}

TEST(WinText, HungarianLettersAndUnmappableCharacters) {
  EXPECT_EQ(Cp1250ToUtf16("Bejelentkezés"), u"Bejelentkezés");
  EXPECT_EQ(Cp1250ToUtf16("őŐűŰ"), u"őŐűŰ");
  EXPECT_EQ(Utf16ToCp1250(u"Mégse"), "Mégse");
  EXPECT_EQ(Utf16ToCp1250(u"a\u4e2db\U0001F600c"), "a?b?c");  // a pair is one character
  EXPECT_EQ(UnicodeToCp1250(0x110000), -1);
  EXPECT_EQ(UnicodeToCp1250(0x00F5), -1);  // õ is not Windows-1250
}

TEST(WinText, MultiByteToWideCharFollowsTheWindowsContract) {
  WCHAR out[8] = {};
  EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, "Jó", -1, nullptr, 0), 3);  // NUL counted
  EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, "Jó", -1, out, 8), 3);
  EXPECT_EQ(std::u16string(out), u"Jó");
  EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, "abc", 2, out, 8), 2);
  EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, "abc", -1, out, 3), 0);  // too small
  EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, "", -1, out, 8), 1);
  EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, "abc", 0, out, 8), 0);
  EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, nullptr, -1, out, 8), 0);
  EXPECT_EQ(MultiByteToWideChar(65001, 0, "abc", -1, out, 8), 0);
  EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, "abc", -1, nullptr, 8), 0);
}

TEST(WinText, WideCharToMultiByteMarksWhatItCouldNotMap) {
  char out[8] = {};
  BOOL usedDefault = TRUE;
  EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, u"Ő?", -1, out, 8, nullptr, &usedDefault), 3);
  EXPECT_EQ(std::string(out), "Ő?");
  EXPECT_FALSE(usedDefault);  // a real '?' is no replacement
  EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, u"x\u4e2d", 2, out, 8, "#", &usedDefault), 2);
  EXPECT_EQ(std::string(out, 2), "x#");
  EXPECT_TRUE(usedDefault);
  EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, u"abc", -1, nullptr, 0, nullptr, nullptr), 4);
  EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, u"abc", -1, out, 2, nullptr, nullptr), 0);
}

}  // namespace
}  // namespace win
