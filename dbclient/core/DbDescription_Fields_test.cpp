// Field buffers: conversions by type, stored bytes, packing.
#include <gtest/gtest.h>

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <limits>

#include "DbDescription.h"
#include "Raised_testutil.h"
#include "RdmFld.h"
#include "TestDictionary_testutil.h"

namespace {

// One field per case, so every type meets the conversions on its own.
struct Conversion {
  char type;
  int16_t length;
  int16_t flags;
  const char* in;
  std::vector<unsigned char> stored;  // the first bytes of the buffer
  std::string out;
};
// Readable, distinct case names in the test list (bytes above ASCII as \xNN).
void PrintTo(const Conversion& c, std::ostream* os) {
  auto text = [os](const std::string& t) {
    for (unsigned char ch : t) {
      if (ch >= 0x20 && ch < 0x7F) {
        *os << ch;
      } else {
        char hex[5];
        std::snprintf(hex, sizeof hex, "\\x%02X", ch);
        *os << hex;
      }
    }
  };
  *os << "'" << c.type << "' " << c.length << (c.flags ? " unsigned \"" : " \"");
  text(c.in);
  *os << "\" -> \"";
  text(c.out);
  *os << "\"";
}

class ConversionTest : public ::testing::TestWithParam<Conversion> {};

TEST_P(ConversionTest, TextToStoredFormAndBack) {
  const Conversion& c = GetParam();
  TestDictionary t;
  t.Record("r").Field("f", c.type, c.length, 'n', c.flags);
  DbDescription d = t.Load();
  ASSERT_TRUE(d.SetFieldText(0, c.in));
  std::vector<char> image;
  ASSERT_TRUE(d.PackRecord("r", image));
  ASSERT_GE(image.size(), c.stored.size());
  for (size_t i = 0; i < c.stored.size(); ++i)
    EXPECT_EQ(static_cast<unsigned char>(image[i]), c.stored[i]) << "byte " << i;
  EXPECT_EQ(d.GetFieldText(0), c.out);
}

INSTANTIATE_TEST_SUITE_P(
    Types, ConversionTest,
    ::testing::Values(
        Conversion{'s', 2, 0, "70000", {0x70, 0x11}, "4464"},
        Conversion{'s', 2, 0, "-1", {0xFF, 0xFF}, "-1"},
        Conversion{'s', 2, kFieldUnsigned, "-1", {0xFF, 0xFF}, "65535"},
        Conversion{'i', 4, 0, "  -12abc", {0xF4, 0xFF, 0xFF, 0xFF}, "-12"},
        Conversion{'i', 4, kFieldUnsigned, "-5", {0xFB, 0xFF, 0xFF, 0xFF}, "-5"},
        Conversion{'l', 4, 0, "abc", {0, 0, 0, 0}, "0"},
        Conversion{'l', 4, kFieldUnsigned, "3000000000", {0x00, 0x5E, 0xD0, 0xB2}, "3000000000"},
        Conversion{'l', 4, 0, "3000000000", {0x00, 0x5E, 0xD0, 0xB2}, "-1294967296"},
        Conversion{'d', 4, 0, "4294967295", {0xFF, 0xFF, 0xFF, 0xFF}, "4294967295"},
        Conversion{'d', 4, 0, "-1", {0xFF, 0xFF, 0xFF, 0xFF}, "4294967295"},
        Conversion{'F', 8, 0, "2.5", {0, 0, 0, 0, 0, 0, 0x04, 0x40}, "2.5"},
        Conversion{'F', 8, 0, "5", {0, 0, 0, 0, 0, 0, 0x14, 0x40}, "5."},
        Conversion{'f', 4, 0, "0.25", {0, 0, 0x80, 0x3E}, "0.25"},
        // Beyond single precision: infinity of the sign, not an undefined cast.
        Conversion{'f', 4, 0, "1e300", {0, 0, 0x80, 0x7F},
                   ToString(std::numeric_limits<double>::infinity(), -1)},
        Conversion{'f', 4, 0, "-1e39", {0, 0, 0x80, 0xFF},
                   ToString(-std::numeric_limits<double>::infinity(), -1)},
        Conversion{'c', 1, 0, "0x41", {65}, "A"},
        Conversion{'c', 1, 0, "41", {65}, "A"},
        Conversion{'c', 1, 0, "A", {65}, "A"},
        Conversion{'c', 1, 0, "0X1f", {31}, "\x1f"},
        Conversion{'c', 1, 0, "", {0}, ""},
        Conversion{'c', 1, kFieldUnsigned, "", {0}, std::string(1, '\0')},
        Conversion{'c', 3, 0, "ab", {'a', 'b', 0}, "ab"},
        Conversion{'c', 6, 0, "Árvíz", {0xC1, 'r', 'v', 0xED, 'z', 0}, "Árvíz"}));

TEST(FieldBufferTest, OneByteZeroReadsAsOneCharacterWithTheUnsignedFlag) {
  TestDictionary t;
  t.Record("r").Field("s", 'c', 1, 'n', kFieldUnsigned).Field("p", 'c', 1);
  DbDescription d = t.Load();
  EXPECT_EQ(d.GetFieldText(0), std::string(1, '\0'));
  EXPECT_EQ(d.GetFieldText(1), "");
}

TEST(FieldBufferTest, ShortTextOverLongerKeepsTheBytesAfterItsNul) {
  TestDictionary t;
  t.Record("r").Field("c", 'c', 10);
  DbDescription d = t.Load();
  d.SetFieldText(0, "ABCDEF");
  d.SetFieldText(0, "XY");
  std::vector<char> image;
  d.PackRecord("r", image);
  EXPECT_EQ(std::string(image.data(), 6), std::string("XY\0DEF", 6));
  EXPECT_EQ(d.GetFieldText(0), "XY");
}

TEST(FieldBufferTest, TooLongTextIsRefusedAndTheOldValueStays) {
  TestDictionary t;
  t.Record("r").Field("c", 'c', 3);
  DbDescription d = t.Load();
  d.SetFieldText(0, "ab");
  EXPECT_EQ(RaisedBy([&] { d.SetFieldText(0, "abc"); }).code, 2006);
  EXPECT_EQ(d.GetFieldText(0), "ab");
}

TEST(FieldBufferTest, AFullTextWithoutNulReadsOnlyItsField) {
  TestDictionary t;
  t.Record("r").Field("c", 'c', 4).Field("n", 'i', 4);
  DbDescription d = t.Load();
  std::vector<char> image{'W', 'X', 'Y', 'Z', 1, 0, 0, 0};
  ASSERT_TRUE(d.UnpackRecord(image.data(), "R"));
  EXPECT_EQ(d.GetFieldText(0), "WXYZ");
  EXPECT_EQ(d.GetFieldText(1), "1");
}

TEST(FieldBufferTest, OneByteTexts) {
  struct Case {
    const char* text;
    int result;  // the byte, or the error code as a negative number
  } cases[] = {{"", 0}, {"a", 'a'}, {"0x41", 65}, {"0X41", 65}, {"41", 65}, {"1f", 31},
               {"1F", 31}, {"0Y41", -2004}, {"4G", -2004}, {"414", -2004}, {"0x4", -2004},
               {"0x414", -2004}};
  for (const Case& c : cases) {
    int got = 0;
    const Raised raised = RaisedBy([&] { got = DbDescription::TextToChar(c.text); });
    if (raised.code != 0) got = -raised.code;
    EXPECT_EQ(got, c.result) << c.text;
  }
}

TEST(FieldBufferTest, GroupsAndCompoundKeysHaveNoValue) {
  DbDescription d = TestDictionary::Sample().Load();
  EXPECT_EQ(d.GetFieldTextByName("item", "g"), "");
  EXPECT_EQ(d.GetFieldTextByName("item", "k"), "");
  EXPECT_FALSE(d.SetFieldText(1001, "x"));
  EXPECT_FALSE(d.SetFieldText(1008, "x"));
  EXPECT_FALSE(d.SetFieldText(5000, "x"));
  EXPECT_EQ(RaisedBy([&] { d.GetFieldText(1009); }).code, 2003);
}

TEST(FieldBufferTest, FieldTextsByNameInTheOrderGiven) {
  DbDescription d = TestDictionary::Sample().Load();
  d.SetFieldText(0, "12");
  d.SetFieldText(2, "Kis");
  StringVector out("stale");
  d.GetFieldTexts("person", StringVector() << "name" << "ID", out);
  EXPECT_EQ(out, (StringVector() << "Kis" << "12"));
  Raised e = RaisedBy([&] { d.GetFieldTexts("person", StringVector("zip"), out); });
  EXPECT_EQ(e.code, 2003);
  EXPECT_EQ(e.args, (StringVector() << "person" << "zip"));
}

TEST(FieldBufferTest, PackingPlacesFieldsAndZeroesTheGaps) {
  DbDescription d = TestDictionary::Sample().Load();
  d.SetFieldText(1000, "AB");
  d.SetFieldText(1002, "513");
  std::vector<char> image(100, 'x');
  ASSERT_TRUE(d.PackRecord("item", image));
  ASSERT_EQ(image.size(), 30u);
  EXPECT_EQ(std::string(image.data(), 4), std::string("AB\0\0", 4));
  EXPECT_EQ(image[4], 0x01);  // 513 little-endian
  EXPECT_EQ(image[5], 0x02);
  for (size_t i = 6; i < image.size(); ++i) EXPECT_EQ(image[i], 0) << i;

  DbDescription e = TestDictionary::Sample().Load();
  ASSERT_TRUE(e.UnpackRecord(image.data(), "Item"));
  EXPECT_EQ(e.GetFieldText(1000), "AB");
  EXPECT_EQ(e.GetFieldText(1002), "513");
  ASSERT_TRUE(e.ClearFields("item"));
  EXPECT_EQ(e.GetFieldText(1002), "0");

  EXPECT_FALSE(d.PackRecord("nope", image));
  EXPECT_FALSE(d.UnpackRecord(image.data(), "nope"));
  EXPECT_FALSE(d.ClearFields("nope"));
}

TEST(FieldBufferTest, BytesNoFieldCoversPackAsZeroAfterAnImageIsUnpacked) {
  // ITEM with three bytes free after CODE and three after its last field.
  std::vector<char> dictionary = TestDictionary::Sample().Image();
  constexpr size_t kRecords = 22, kFields = kRecords + 3 * sizeof(RECORD_ENTRY_S);
  RECORD_ENTRY_S item;
  std::memcpy(&item, &dictionary[kRecords + sizeof item], sizeof item);
  for (int f = item.firstField + 1; f < item.firstField + item.fieldTotal; ++f) {
    FIELD_ENTRY_S field;
    std::memcpy(&field, &dictionary[kFields + size_t(f) * sizeof field], sizeof field);
    if (field.type == 'k') continue;
    field.offset = int16_t(field.offset + 3);
    std::memcpy(&dictionary[kFields + size_t(f) * sizeof field], &field, sizeof field);
  }
  item.slotLength = int16_t(item.slotLength + 6);
  std::memcpy(&dictionary[kRecords + sizeof item], &item, sizeof item);
  DbDescription d;
  d.Load(dictionary.data(), int(dictionary.size()), "db", 1);

  const std::vector<char> image(36, 'x');
  ASSERT_TRUE(d.UnpackRecord(image.data(), "item"));
  EXPECT_EQ(d.GetFieldText(1000), "xxxx");
  EXPECT_EQ(d.GetFieldText(1002), "30840");  // "xx" as an unsigned 16-bit number
  std::vector<char> packed;
  ASSERT_TRUE(d.PackRecord("item", packed));
  EXPECT_EQ(
      std::string(packed.begin(), packed.end()),
      std::string(4, 'x') + std::string(3, '\0') + std::string(26, 'x') + std::string(3, '\0'));
}

// A dictionary made elsewhere may lay two data fields over the same bytes:
// here a two-byte AGE over the low half of a four-byte ID.
struct OverlaidWrites {
  const char* what;
  bool idOverAge;  // AGE comes first in the dictionary, ID laid over it
  std::vector<std::pair<const char*, long>> writes;
  long storedId, storedAge;  // what the packed record holds
};
void PrintTo(const OverlaidWrites& c, std::ostream* os) { *os << c.what; }

class OverlaidFieldsTest : public ::testing::TestWithParam<OverlaidWrites> {};

TEST_P(OverlaidFieldsTest, KeepAValueEachAndPackInDictionaryOrder) {
  const OverlaidWrites& c = GetParam();
  TestDictionary t;
  t.Record("person").Field("p_id", 'l', 4, 'u');
  if (c.idOverAge)
    t.Field("age", 's', 2).Field("id", 'l', 4).LaidOver("age");
  else
    t.Field("id", 'l', 4).Field("age", 's', 2).LaidOver("id");
  t.Field("name", 'c', 6);
  DbDescription d = t.Load();
  RdmFld id(&d, "person", "id", false), age(&d, "person", "age", false);
  for (const auto& [field, value] : c.writes)
    (field == std::string("id") ? id : age).SetLong(value);
  d.SetFieldText(d.GetFieldNumber("person", "name"), "Anna");
  // Each reads what was written to it, however the other was written after.
  EXPECT_EQ(id.AsLong(), 70000);
  EXPECT_EQ(age.AsLong(), 1);
  EXPECT_EQ(d.GetFieldTextByName("person", "id"), "70000");
  EXPECT_EQ(d.GetFieldTextByName("person", "age"), "1");

  std::vector<char> image;
  ASSERT_TRUE(d.PackRecord("person", image));
  ASSERT_EQ(image.size(), 4u + 4u + 6u);
  std::vector<char> typed(image.size(), 'x');
  ASSERT_TRUE(d.PackRecordOfType(10000, typed.data()));
  EXPECT_EQ(typed, image) << "the store packs a record as the server is sent it";
  DbDescription e = t.Load();
  ASSERT_TRUE(e.UnpackRecord(image.data(), "person"));
  EXPECT_EQ(e.GetFieldTextByName("person", "id"), std::to_string(c.storedId));
  EXPECT_EQ(e.GetFieldTextByName("person", "age"), std::to_string(c.storedAge));
  EXPECT_EQ(e.GetFieldTextByName("person", "name"), "Anna");

  ASSERT_TRUE(d.ClearFields("person"));
  EXPECT_EQ(id.AsLong(), 0);
  EXPECT_EQ(age.AsLong(), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Orders, OverlaidFieldsTest,
    ::testing::Values(
        // 70000 is 0x11170: AGE's 1 replaces its low half, 0x1170 (4464).
        OverlaidWrites{"ID then AGE", false, {{"id", 70000}, {"age", 1}}, 65537, 1},
        OverlaidWrites{"AGE then ID", false, {{"age", 1}, {"id", 70000}}, 65537, 1},
        OverlaidWrites{"ID laid over AGE", true, {{"id", 70000}, {"age", 1}}, 70000, 4464}));

// A locale whose decimal point is a comma, built for the test when the
// machine has none installed; null when neither works.
const char* CommaLocale(std::string& madeFolder) {
  for (const char* n : {"de_DE.UTF-8", "hu_HU.UTF-8", "de_DE.utf8", "hu_HU.utf8"})
    if (std::setlocale(LC_ALL, n)) return n;
  char folder[] = "/tmp/qorlocaleXXXXXX";
  if (!mkdtemp(folder)) return nullptr;
  madeFolder = folder;
  const std::string command =
      "localedef -i de_DE -f UTF-8 " + madeFolder + "/de_DE.UTF-8 >/dev/null 2>&1";
  if (std::system(command.c_str()) != 0) return nullptr;
  setenv("LOCPATH", folder, 1);
  return std::setlocale(LC_ALL, "de_DE.UTF-8") ? "de_DE.UTF-8" : nullptr;
}

TEST(FieldBufferTest, NumbersIgnoreTheProcessLocale) {
  const std::string previous = std::setlocale(LC_ALL, nullptr);
  std::string madeFolder;
  const char* name = CommaLocale(madeFolder);
  std::string point, text, single;
  if (name) {
    point = std::localeconv()->decimal_point;
    DbDescription d = TestDictionary::Sample().Load();
    d.SetFieldText(1003, "2.75");
    text = d.GetFieldText(1003);
    d.SetFieldText(1004, "1.5");
    single = d.GetFieldText(1004);
  }
  std::setlocale(LC_ALL, previous.c_str());
  if (!madeFolder.empty()) {
    unsetenv("LOCPATH");
    std::filesystem::remove_all(madeFolder);
  }
  if (!name) GTEST_SKIP() << "no locale with a decimal comma here";
  ASSERT_EQ(point, ",");
  EXPECT_EQ(text, "2.75");
  EXPECT_EQ(single, "1.5");
}

}  // namespace
