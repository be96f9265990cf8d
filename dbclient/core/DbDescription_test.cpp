// The dictionary image, numbering, lookups and copies.
#include "DbDescription.h"
#include "Raised_testutil.h"

#include <gtest/gtest.h>

#include <cstring>

#include "TestDictionary_testutil.h"

namespace {

class DictionaryTest : public ::testing::Test {
 protected:
  DbDescription d = TestDictionary::Sample().Load("Testdb", 7, 55);
};

TEST_F(DictionaryTest, LoadKeepsUpperCaseNameIdAndHandle) {
  EXPECT_STREQ(d.GetName(), "TESTDB");
  EXPECT_EQ(d.GetDbId(), 7);
  EXPECT_EQ(d.GetHandle(), 55);
  int32_t v[4];
  d.GetVersion(v[0], v[1], v[2], v[3]);
  EXPECT_EQ(v[0], -1);
  EXPECT_EQ(v[3], -1);
}

TEST_F(DictionaryTest, RecordTypesAndFieldNumbersCountGroupsAndKeys) {
  EXPECT_EQ(d.GetRecordType("person"), 10000);
  EXPECT_EQ(d.GetRecordType("Item"), 10001);
  EXPECT_EQ(d.GetRecordType("nope"), -1);
  EXPECT_EQ(d.GetRecordName(10001), "ITEM");
  EXPECT_EQ(d.GetRecordName(10003), "");
  EXPECT_EQ(d.GetRecordName(9999), "");

  EXPECT_EQ(d.GetFieldNumber("person", "age"), 3);
  // The group G takes position 1, so QTY is 2 and the compound key 8.
  EXPECT_EQ(d.GetFieldNumber("ITEM", "qty"), 1002);
  EXPECT_EQ(d.GetFieldNumber("item", "K"), 1008);
  EXPECT_EQ(d.GetFieldNumber("item", "age"), -1);
  EXPECT_EQ(d.GetFieldNumber("nope", "age"), -1);
  EXPECT_EQ(d.GetFieldName(1002), "QTY");
  EXPECT_EQ(d.GetFieldEntry(1003).type, 'F');
}

TEST_F(DictionaryTest, FieldNumbersOutsideTheFieldTable) {
  EXPECT_EQ(RaisedBy([&] { d.GetFieldEntry(-1); }).code, 2003);
  EXPECT_EQ(d.GetFieldName(-1), "");
  EXPECT_EQ(RaisedBy([&] { d.GetFieldEntry(3000); }).code, 2003);
  // Position 4 of PERSON lies past its own four fields, in ITEM's entries:
  // no lookup by number reaches a field of another record.
  EXPECT_EQ(RaisedBy([&] { d.GetFieldEntry(4); }).code, 2003);
  EXPECT_EQ(d.GetFieldName(4), "");
  EXPECT_EQ(RaisedBy([&] { d.GetFieldText(4); }).code, 2003);
  // EMPTY's first-field index is past the table: it has no fields at all.
  EXPECT_EQ(RaisedBy([&] { d.GetFieldEntry(2000); }).code, 2003);
  StringVector names;
  d.GetFieldNames(10002, names, true);
  EXPECT_TRUE(names.empty());
}

TEST_F(DictionaryTest, RecordEntries) {
  RECORD_ENTRY_S e = d.GetRecordEntryByName("item");
  EXPECT_EQ(e.slotLength - e.dataOffset, 30);
  EXPECT_EQ(RaisedBy([&] { d.GetRecordEntry(10003); }).code, 2002);
  EXPECT_EQ(RaisedBy([&] { d.GetRecordEntryByIndex(-1); }).code, 2002);
  EXPECT_EQ(RaisedBy([&] { d.GetRecordEntryByName("Nope"); }).message,
            "Tábla nem elérhető!\n (Nope)");
}

TEST_F(DictionaryTest, FieldListsWithAndWithoutGroupsAndKeys) {
  StringVector all, data;
  d.GetFieldNamesByName("item", all, true);
  d.GetFieldNamesByName("item", data, false);
  EXPECT_EQ(all, (StringVector() << "CODE" << "G" << "QTY" << "PRICE" << "W" << "BIG" << "UL"
                                 << "I" << "K"));
  EXPECT_EQ(data, (StringVector() << "CODE" << "QTY" << "PRICE" << "W" << "BIG" << "UL" << "I"));
  std::vector<FIELD_ENTRY_S> entries{FIELD_ENTRY_S{}};
  d.GetFieldEntries(10009, entries, true);
  EXPECT_TRUE(entries.empty());
}

TEST_F(DictionaryTest, UniqueAndCompoundKeys) {
  EXPECT_EQ(d.GetUniqueKeyFieldByName("person"), 0);
  EXPECT_EQ(d.GetUniqueKeyFieldByName("item"), 1008);
  EXPECT_TRUE(d.IsUniqueKey("person", "id"));
  EXPECT_FALSE(d.IsUniqueKey("person", "name"));
  EXPECT_FALSE(d.IsUniqueKey("person", ""));
  EXPECT_EQ(RaisedBy([&] { d.IsUniqueKey("person", "zip"); }).message,
            "Mező nem elérhető!\n (person, zip)");

  EXPECT_TRUE(d.IsCompoundKeyByName("item", "k"));
  StringVector parts;
  d.GetCompoundKeyFieldsByName("item", "k", parts);
  EXPECT_EQ(parts, (StringVector() << "CODE" << "QTY"));
  EXPECT_TRUE(d.CompoundKeyContainsByName("item", "k", "QTY"));
  // By name every name is upper-cased; by number the name is compared exactly.
  EXPECT_TRUE(d.CompoundKeyContainsByName("item", "K", "qty"));
  EXPECT_TRUE(d.CompoundKeyContains(1008, "QTY"));
  EXPECT_FALSE(d.CompoundKeyContains(1008, "qty"));
  EXPECT_FALSE(d.CompoundKeyContainsByName("item", "code", "CODE"));

  EXPECT_TRUE(d.IsInUniqueKey("item", "CODE"));
  EXPECT_FALSE(d.IsInUniqueKey("item", "PRICE"));
  EXPECT_TRUE(d.IsInUniqueKey("person", "ID"));
  EXPECT_FALSE(d.IsInUniqueKey("empty", "ID"));
  EXPECT_EQ(d.GetUniqueKeyField(10002), -1);

  StringVector list;
  d.GetKeyFieldList("item", "k", list);
  d.GetKeyFieldList("item", "PRICE", list);
  EXPECT_EQ(list, (StringVector() << "CODE" << "QTY" << "PRICE"));
  EXPECT_EQ(RaisedBy([&] { d.GetKeyFieldList("item", "zz", list); }).code, 2003);
}

TEST(DictionaryImageTest, ZeroCountsGiveNoRecords) {
  DbDescription d = TestDictionary().Load();
  EXPECT_EQ(d.GetRecordType("PERSON"), -1);
  EXPECT_EQ(RaisedBy([&] { d.GetRecordEntryByIndex(0); }).code, 2002);
}

TEST(DictionaryImageTest, NamesCutShortReadAsEmpty) {
  TestDictionary t;
  t.Record("a").Field("x", 'i', 4).Field("y", 'i', 4);
  std::vector<char> image = t.Image();
  // "...X\nY\n" becomes "...X": the last name read ends at the image's end.
  image.resize(image.size() - 3);
  DbDescription d;
  d.Load(image.data(), int(image.size()), "db", 1);
  EXPECT_EQ(d.GetFieldName(0), "X");
  EXPECT_EQ(d.GetFieldName(1), "");
  EXPECT_EQ(d.GetFieldNumber("a", "x"), 0);
}

TEST(DictionaryImageTest, ARecordHoldsAtMost999Fields) {
  // Field 1000 of record 0 would be numbered 1000, the first field of record 1.
  for (int fields : {999, 1000}) {
    SCOPED_TRACE(fields);
    TestDictionary t;
    t.Record("wide");
    for (int i = 0; i < fields; ++i) t.Field("f" + std::to_string(i), 'c', 1);
    t.Record("next").Field("n", 'c', 1);
    std::vector<char> image = t.Image();
    DbDescription d;
    if (fields == 999) {
      d.Load(image.data(), int(image.size()), "db", 1);
      EXPECT_EQ(d.GetFieldNumber("wide", "f998"), 998);
      EXPECT_EQ(d.GetFieldNumber("next", "n"), 1000);
    } else {
      EXPECT_EQ(RaisedBy([&] { d.Load(image.data(), int(image.size()), "db", 1); }).code, 2001);
    }
  }
}

TEST(DictionaryImageTest, ACompoundKeyNamesOnlyFieldsOfItsOwnRecord) {
  std::vector<char> image = TestDictionary::Sample().Image();
  // ITEM's key K over (CODE, QTY): its first key entry now names PERSON's ID.
  const size_t keys = 22 + 3 * 12 + 13 * 20;
  const int16_t personId = 0;
  std::memcpy(&image[keys + 2], &personId, 2);
  DbDescription d;
  d.Load(image.data(), int(image.size()), "db", 1);
  StringVector parts{"stale"};
  d.GetCompoundKeyFields(1008, parts);
  EXPECT_TRUE(parts.empty());
  EXPECT_FALSE(d.CompoundKeyContains(1008, "ID"));
}

TEST(DictionaryImageTest, DuplicateRecordNamesShareTheFirstInfoEntry) {
  TestDictionary t;
  t.Record("dup").Field("x", 'i', 4);
  t.Record("dup").Field("y", 'i', 4);
  DbDescription d = t.Load();
  EXPECT_EQ(d.GetRecordType("dup"), 10000);
  d.AddTableOption("dup", 0);
  EXPECT_TRUE(d.GetTableOptions("DUP").Contains(rtoUniqueKeyWrites));
}

// A record of one field whose type letter no conversion knows and whose
// length is 0: a data field without a byte, so without a value buffer.
TEST(DictionaryImageTest, ADataFieldWithoutAByteIsRefused) {
  const char* hex =
      "484848484848484800000100010000000000000000000000040004000000010000006e5a000000000000"
      "000000000000040000000000520a580a";
  std::vector<char> image;
  for (const char* p = hex; *p; p += 2)
    image.push_back(char(std::stoi(std::string(p, 2), nullptr, 16)));
  ASSERT_EQ(image.size(), 58u);
  const size_t kFieldTypeAt = 22 + 12 + 1;  // header, the record, the field's key kind
  for (char type : {'Z', '\0'}) {
    image[kFieldTypeAt] = type;
    DbDescription d;
    Raised e = RaisedBy([&] { d.Load(image.data(), int(image.size()), "foreign", 3); });
    EXPECT_EQ(e.code, 2001);
    EXPECT_EQ(e.args, StringVector("foreign"));
    EXPECT_EQ(d.GetRecordType("R"), -1);
  }
  // With a byte, a letter no conversion knows is kept: it reads as nothing.
  TestDictionary t;
  t.Record("r").Field("x", 'Z', 1);
  DbDescription d = t.Load();
  EXPECT_EQ(d.GetFieldText(0), "");
  EXPECT_FALSE(d.SetFieldText(0, "1"));
}

// Images that would make the parser or the field buffers leave their bounds.
struct BadImage {
  const char* what;
  std::function<void(std::vector<char>&)> spoil;
};
// Readable case names in the test list.
void PrintTo(const BadImage& b, std::ostream* os) { *os << b.what; }

class RefusedImageTest : public ::testing::TestWithParam<BadImage> {};

TEST_P(RefusedImageTest, IsRefusedWithALibraryError) {
  std::vector<char> image = TestDictionary::Sample().Image();
  GetParam().spoil(image);
  DbDescription d;
  Raised e = RaisedBy([&] { d.Load(image.data(), int(image.size()), "broken", 3); });
  EXPECT_EQ(e.code, 2001);
  EXPECT_EQ(e.args, StringVector("broken"));
  EXPECT_EQ(d.GetRecordType("PERSON"), -1);
  EXPECT_STREQ(d.GetName(), "");
}

// Offsets into the sample image: header 22, records 3 x 12, fields 13 x 20.
constexpr size_t kRecords = 22;
constexpr size_t kFields = kRecords + 3 * 12;

void Set16(std::vector<char>& image, size_t at, int16_t v) { std::memcpy(&image[at], &v, 2); }

INSTANTIATE_TEST_SUITE_P(
    Spoiled, RefusedImageTest,
    ::testing::Values(
        BadImage{"shorter than the header", [](auto& i) { i.resize(21); }},
        BadImage{"tables cut off", [](auto& i) { i.resize(kFields + 5 * 20); }},
        BadImage{"more fields announced than sent", [](auto& i) { Set16(i, 12, 400); }},
        BadImage{"data offset beyond the slot", [](auto& i) { Set16(i, kRecords + 4, 40); }},
        BadImage{"negative first field", [](auto& i) { Set16(i, kRecords + 6, -3); }},
        BadImage{"field beyond the record", [](auto& i) { Set16(i, kFields + 20 + 14, 25); }},
        BadImage{"short too narrow", [](auto& i) { Set16(i, kFields + 3 * 20 + 2, 1); }},
        BadImage{"negative length", [](auto& i) { Set16(i, kFields + 20 + 2, -2); }},
        BadImage{"character field without a byte", [](auto& i) { Set16(i, kFields + 20 + 2, 0); }}),
    [](const auto& info) {
      std::string n = info.param.what;
      for (char& c : n)
        if (!isalnum(static_cast<unsigned char>(c))) c = '_';
      return n;
    });

TEST(DictionaryCopyTest, CopiesOwnTheirBuffersAndFetchedRecords) {
  DbDescription a = TestDictionary::Sample().Load();
  std::vector<char> two(34, 0);
  a.StoreFetched(0, two.data(), 34);
  a.SetFetchedPos("person", 1);
  a.SetFieldText(2, "anna");
  a.SetVersion(1, 2, 3, 4);
  a.AddTableOption("person", 0);

  DbDescription b(a);
  DbDescription c;
  c = a;
  b.SetFieldText(2, "bea");
  c.ResetFetched(0);
  c.SetTableOptions("person", DefaultTableOptions());

  EXPECT_EQ(a.GetFieldText(2), "anna");
  EXPECT_EQ(b.GetFieldText(2), "bea");
  EXPECT_EQ(c.GetFieldText(2), "anna");
  EXPECT_EQ(a.GetFetchedCount("person"), 2);
  EXPECT_EQ(b.GetFetchedPos("person"), 1);
  EXPECT_EQ(c.GetFetchedCount("person"), 0);
  EXPECT_TRUE(a.GetTableOptions("person").Contains(rtoUniqueKeyWrites));
  EXPECT_FALSE(c.GetTableOptions("person").Contains(rtoUniqueKeyWrites));
  int32_t v[4];
  b.GetVersion(v[0], v[1], v[2], v[3]);
  EXPECT_EQ(v[2], 3);
  EXPECT_EQ(b.GetDbId(), a.GetDbId());
  EXPECT_EQ(b.GetHandle(), a.GetHandle());

  DbDescription moved(std::move(b));
  EXPECT_EQ(moved.GetFieldText(2), "bea");
  EXPECT_EQ(b.GetRecordType("person"), -1);  // NOLINT: a moved-from description is empty
  EXPECT_EQ(b.GetHandle(), kNoConnection);    // NOLINT
  EXPECT_EQ(b.GetDbId(), -1);                 // NOLINT
  b = std::move(moved);
  EXPECT_EQ(b.GetFetchedCount("person"), 2);
  EXPECT_EQ(b.GetHandle(), a.GetHandle());
  EXPECT_EQ(moved.GetRecordType("person"), -1);  // NOLINT

  DbDescription& self = c;
  c = self;
  EXPECT_EQ(c.GetRecordType("item"), 10001);
  EXPECT_EQ(c.GetFieldText(2), "anna");
}

}  // namespace
