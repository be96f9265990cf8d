// Field values: reading, writing and comparing by type, bound and detached.
#include "RdmFld.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <limits>

#include "Raised_testutil.h"
#include "TestDictionary_testutil.h"

namespace {

RdmFld Detached(char type, short length, const char* text, bool isUnsigned = false) {
  RdmFld f("r", "f", type, length, isUnsigned);
  f.SetString(text);
  return f;
}

TEST(RdmFldTest, ReadsByType) {
  struct Case {
    const char* what;
    RdmFld value;
    long asLong;  // or the error code, when error is set
    bool error;
  } cases[] = {
      {"one-byte character", Detached('c', 1, "A"), 65, false},
      {"negative one-byte character", Detached('c', 1, "\xE1"), -31, false},
      {"long character text", Detached('c', 10, "2006"), 2006, true},
      {"number prefix", Detached('l', 4, "12abc"), 12, false},
      {"no number", Detached('l', 4, "abc"), 0, false},
      {"leading blanks and sign", Detached('i', 4, "  -42"), -42, false},
      {"double text", Detached('F', 8, "5.75"), 5, false},
  };
  for (const Case& c : cases) {
    long got = 0;
    const Raised raised = RaisedBy([&] { got = c.value.AsLong(); });
    if (c.error)
      EXPECT_EQ(raised.code, 2006) << c.what;
    else
      EXPECT_EQ(got, c.asLong) << c.what;
  }
  EXPECT_STREQ(Detached('c', 10, "2006").GetText(), "2006");
  EXPECT_EQ(Detached('c', 1, "A").AsChar(), 'A');
  EXPECT_EQ(Detached('l', 4, "123").AsChar(), '1');
  EXPECT_DOUBLE_EQ(Detached('F', 8, "2.5e1").AsDouble(), 25.0);
  EXPECT_EQ(Detached('f', 4, "1e300").AsFloat(), std::numeric_limits<float>::infinity());
  EXPECT_EQ(Detached('s', 2, "70000").AsShort(), 4464);
  EXPECT_EQ(Detached('s', 2, "-1").AsUShort(), 65535);
}

TEST(RdmFldTest, WritesMakeTheirTexts) {
  RdmFld f("r", "f", 'F', 8, false);
  EXPECT_STREQ(f.SetDouble(5).GetText(), "5.");
  EXPECT_EQ(f.AsLong(), 5);
  EXPECT_DOUBLE_EQ(f.AsDouble(), 5.0);
  EXPECT_STREQ(f.SetLong(-7).GetText(), "-7");
  EXPECT_STREQ(f.SetChar(0).GetText(), "");
  EXPECT_STREQ(f.SetChar('q').GetText(), "q");
  EXPECT_STREQ(f.SetText(nullptr).GetText(), "");
  EXPECT_STREQ(f.SetFloat(0.5f).GetText(), "0.5");
}

TEST(RdmFldTest, TypedConstruction) {
  EXPECT_EQ(RdmFld("r", "f", 'i', 99, false).GetFieldEntry().length, 4);
  EXPECT_EQ(RdmFld("r", "f", 'F', 1, false).GetFieldEntry().length, 8);
  EXPECT_EQ(RdmFld("r", "f", 's', 9, true).GetFieldEntry().flags, kFieldUnsigned);
  EXPECT_EQ(RdmFld("r", "f", 'c', 12, false).GetFieldEntry().length, 12);
  for (auto make : std::vector<std::function<void()>>{
           [] { RdmFld("r", "f", 'c', 0, false); }, [] { RdmFld("r", "f", 'c', -4, false); },
           [] { RdmFld("r", "f", 'x', 4, false); }, [] { RdmFld("r", "f", 'g', 4, false); }}) {
    Raised e = RaisedBy([&] { make(); });
    EXPECT_EQ(e.code, 2006);
    EXPECT_EQ(e.args, (StringVector() << "r" << "f"));
  }
}

TEST(RdmFldTest, ComparisonsByType) {
  struct Case {
    const char* what;
    RdmFld left, right;
    int expected;  // -1, 0, 1
  } cases[] = {
      {"unsigned short", Detached('s', 2, "65535", true), Detached('s', 2, "1", true), 1},
      {"signed short reads -1", Detached('s', 2, "65535"), Detached('s', 2, "1"), -1},
      {"texts without case", Detached('c', 10, "ABC"), Detached('c', 10, "abd"), -1},
      {"prefix is smaller", Detached('c', 10, "AB"), Detached('c', 10, "abc"), -1},
      {"equal without case", Detached('c', 10, "abc"), Detached('c', 10, "ABC"), 0},
      {"one-byte signed", Detached('c', 1, "\xE1"), Detached('c', 1, "a"), -1},
      {"doubles", Detached('F', 8, "2.5"), Detached('F', 8, "2.50"), 0},
      {"unsigned int", Detached('i', 4, "-1", true), Detached('i', 4, "1", true), 1},
      {"signed long", Detached('l', 4, "-1"), Detached('l', 4, "1"), -1},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.left < c.right, c.expected < 0) << c.what;
    EXPECT_EQ(c.left > c.right, c.expected > 0) << c.what;
    EXPECT_EQ(c.left == c.right, c.expected == 0) << c.what;
  }
  RdmFld d1 = Detached('d', 4, "1");
  RdmFld d2 = Detached('d', 4, "2");
  EXPECT_EQ(RaisedBy([&] { (void)(d1 < d2); }).code, 2006);
  EXPECT_EQ(d2.AsULong(), 2u);
}

TEST(RdmFldTest, EqualsTextReadsTheTextAsThisType) {
  EXPECT_TRUE(Detached('c', 1, "x").EqualsText("xyz"));
  EXPECT_TRUE(Detached('F', 8, "2.5").EqualsText("2.50"));
  EXPECT_TRUE(Detached('c', 10, "abc").EqualsText("ABC"));
  EXPECT_FALSE(Detached('l', 4, "12").EqualsText("13"));
  EXPECT_TRUE(Detached('l', 4, "12").EqualsText("12abc"));
}

class BoundFldTest : public ::testing::Test {
 protected:
  DbDescription d = TestDictionary::Sample().Load();
};

TEST_F(BoundFldTest, ReadsFollowTheBufferUntilDetached) {
  RdmFld age(&d, "person", "age", false);
  EXPECT_EQ(age.GetFieldNumber(), 3);
  EXPECT_EQ(age.GetDescription(), &d);
  age.SetLong(7);
  EXPECT_EQ(age.AsLong(), 7);
  d.SetFieldText(3, "8");
  EXPECT_EQ(age.AsInt(), 8);
  age.Detach();
  d.SetFieldText(3, "9");
  EXPECT_EQ(age.AsInt(), 8);
  EXPECT_TRUE(age.IsDetached());
  age.SetLong(1);
  EXPECT_EQ(d.GetFieldText(3), "9");
}

TEST_F(BoundFldTest, BoundWritesConvertIntoTheBuffer) {
  RdmFld sex(&d, "person", "sex", false);
  sex.SetText("0x46");
  EXPECT_EQ(d.GetFieldText(1), "F");
  EXPECT_EQ(RaisedBy([&] { sex.SetText("0x4"); }).code, 2004);
  EXPECT_EQ(d.GetFieldText(1), "F");
  RdmFld name(&d, "person", "name", false);
  EXPECT_EQ(RaisedBy([&] { name.SetText("tizenegy..."); }).code, 2006);
  // A double written to a short stores the number, and the value keeps its text.
  RdmFld age(&d, "person", "age", false);
  age.SetDouble(12);
  EXPECT_EQ(d.GetFieldText(3), "12");
}

TEST_F(BoundFldTest, GroupsReadAsErrorsAndIgnoreWrites) {
  RdmFld g(&d, "item", "g", false);
  g.SetText("x");
  g.SetLong(3);
  EXPECT_EQ(RaisedBy([&] { g.GetText(); }).code, 2006);
  EXPECT_EQ(RaisedBy([&] { RdmFld(&d, "item", "zz", false); }).code, 2003);
  EXPECT_EQ(RaisedBy([&] { RdmFld(&d, "nobody", "id", false); }).code, 2003);
  RdmFld code(&d, "item", "code", false);
  EXPECT_EQ(RaisedBy([&] { code.AsLong(); }).code, 2006);
}

TEST_F(BoundFldTest, AComparisonReadsABoundOperandNow) {
  RdmFld name(&d, "person", "name", false);
  RdmFld code(&d, "item", "code", false);
  d.SetFieldText(2, "bbb");
  d.SetFieldText(1000, "aaa");
  EXPECT_STREQ(code.GetText(), "aaa");  // caches its text
  d.SetFieldText(1000, "ccc");
  EXPECT_TRUE(name < code);
  EXPECT_FALSE(name > code);
}

TEST_F(BoundFldTest, CopiesShareTheBufferButNotTheOperand) {
  RdmFld a(&d, "person", "id", false);
  RdmFld b = a;
  b.SetLong(5);
  EXPECT_EQ(a.AsLong(), 5);
  EXPECT_TRUE(a == b);
  RdmFld c;
  c = b;
  EXPECT_FALSE(c.IsDetached());
  EXPECT_STREQ(c.GetRecordName(), "person");
  EXPECT_STREQ(c.GetFieldName(), "id");
}

// A bound value takes its numbers straight from the buffer; they must be the
// numbers its text reads as, which a detached value holding that text gives.
// N: a field of every number type and sign, and a text.
TestDictionary Numbers() {
  TestDictionary t;
  t.Record("n")
      .Field("c", 'c', 1)
      .Field("cu", 'c', 1, 'n', kFieldUnsigned)
      .Field("s", 's', 2)
      .Field("su", 's', 2, 'n', kFieldUnsigned)
      .Field("i", 'i', 4, 'n', kFieldUnsigned)
      .Field("l", 'l', 4)
      .Field("lu", 'l', 4, 'n', kFieldUnsigned)
      .Field("d", 'd', 4)
      .Field("f", 'f', 4)
      .Field("ff", 'F', 8)
      .Field("text", 'c', 24);
  return t;
}

TEST(BoundNumbersTest, ReadAsTheTextTheyStandFor) {
  DbDescription d = Numbers().Load();
  const RECORD_ENTRY_S rec = d.GetRecordEntryByName("n");
  const size_t length = size_t(rec.slotLength - rec.dataOffset);
  const int at = d.GetFieldEntryByName("n", "f").offset - rec.dataOffset;
  const int atF = d.GetFieldEntryByName("n", "ff").offset - rec.dataOffset;

  std::vector<std::vector<char>> images;
  for (unsigned char b : {0x00, 0xFF, 0x7F, 0x80, 0x41, 0xE1})
    images.emplace_back(length, static_cast<char>(b));
  // Doubles that 16 digits do not give back, that print with an exponent,
  // that are not numbers at all.
  const double doubles[] = {-0.5,
                            1.5,
                            0.1,
                            1e20,
                            -3e-300,
                            1.0000001192092896,
                            123456789012345678.0,
                            2147483648.75,
                            std::numeric_limits<double>::infinity(),
                            std::numeric_limits<double>::quiet_NaN()};
  for (double v : doubles) {
    std::vector<char>& image = images.emplace_back(length, '\x5A');
    const float narrow = static_cast<float>(v);
    std::memcpy(image.data() + at, &narrow, 4);
    std::memcpy(image.data() + atF, &v, 8);
  }
  auto same = [](double a, double b) { return a == b || (a != a && b != b); };
  for (const std::vector<char>& image : images) {
    ASSERT_TRUE(d.UnpackRecord(image.data(), "n"));
    for (const char* name : {"c", "cu", "s", "su", "i", "l", "lu", "d", "f", "ff"}) {
      RdmFld bound(&d, "n", name, false);
      RdmFld text = bound;
      text.Detach();
      text.SetString(bound.AsString());
      SCOPED_TRACE(std::string(name) + " " + text.GetText());
      EXPECT_EQ(bound.AsLong(), text.AsLong());
      EXPECT_EQ(bound.AsInt(), text.AsInt());
      EXPECT_EQ(bound.AsShort(), text.AsShort());
      EXPECT_EQ(bound.AsULong(), text.AsULong());
      EXPECT_EQ(bound.AsUInt(), text.AsUInt());
      EXPECT_EQ(bound.AsUShort(), text.AsUShort());
      EXPECT_TRUE(same(bound.AsDouble(), text.AsDouble()));
      EXPECT_TRUE(same(bound.AsFloat(), text.AsFloat()));
    }
  }
}

TEST(BoundNumbersTest, NumbersAreWrittenAsTheirTexts) {
  DbDescription byNumber = Numbers().Load(), byText = Numbers().Load();
  const long values[] = {0,           7,          -1,         32767,       32768,    65541,
                         -2147483647, 2147483648, 4294967301, -4294967301, LONG_MIN, LONG_MAX};
  // SetLong, SetInt and SetShort of a value, and the text each stands for.
  const struct {
    void (*write)(RdmFld&, long);
    std::string (*text)(long);
  } setters[] = {
      {[](RdmFld& f, long v) { f.SetLong(v); }, [](long v) { return std::to_string(v); }},
      {[](RdmFld& f, long v) { f.SetInt(int(v)); }, [](long v) { return std::to_string(int(v)); }},
      {[](RdmFld& f, long v) { f.SetShort(short(v)); },
       [](long v) { return std::to_string(short(v)); }},
  };
  for (const char* name : {"s", "su", "i", "l", "lu", "d", "f", "ff", "text"}) {
    for (long value : values) {
      for (const auto& setter : setters) {
        SCOPED_TRACE(std::string(name) + " " + setter.text(value));
        byNumber.ClearFields("n");
        byText.ClearFields("n");
        RdmFld number(&byNumber, "n", name, false);
        setter.write(number, value);
        RdmFld(&byText, "n", name, false).SetString(setter.text(value));
        // The whole record: the fields beside it are left as they were.
        std::vector<char> image, expected;
        byNumber.PackRecord("n", image);
        byText.PackRecord("n", expected);
        EXPECT_EQ(image, expected);
      }
    }
  }
}

TEST(BoundNumbersTest, DetachKeepsTheTextOfTheNumberLastRead) {
  DbDescription d = TestDictionary::Sample().Load();
  RdmFld price(&d, "item", "price", false);
  price.SetDouble(2.5);  // the value's text is now the one written
  d.SetFieldText(1003, "7.25");
  EXPECT_DOUBLE_EQ(price.AsDouble(), 7.25);
  d.SetFieldText(1003, "9");
  price.Detach();
  EXPECT_STREQ(price.GetText(), "7.25");
  EXPECT_DOUBLE_EQ(price.AsDouble(), 7.25);
  // A copy of a bound value keeps what it last read, and so does its detached self.
  RdmFld big(&d, "item", "big", false);
  d.SetFieldText(1005, "4294967295");
  EXPECT_EQ(big.AsLong(), 4294967295L);
  RdmFld copy = big;
  d.SetFieldText(1005, "1");
  copy.Detach();
  EXPECT_STREQ(copy.GetText(), "4294967295");
}

TEST(RdmFldRawTest, RawValuesByType) {
  struct Case {
    char type;
    short length;
    bool isUnsigned;
    std::vector<unsigned char> bytes;
    const char* text;
  } cases[] = {
      {'d', 4, false, {0xFF, 0xFF, 0xFF, 0xFF}, "4294967295"},
      {'l', 4, true, {0x00, 0x5E, 0xD0, 0xB2}, "3000000000"},
      {'l', 4, false, {0xFF, 0xFF, 0xFF, 0xFF}, "-1"},
      {'s', 2, true, {0xFF, 0xFF}, "65535"},
      {'s', 2, false, {0xFF, 0xFF}, "-1"},
      {'i', 4, false, {0x2A, 0, 0, 0}, "42"},
      {'F', 8, false, {0, 0, 0, 0, 0, 0, 0x04, 0x40}, "2.5"},
      {'f', 4, false, {0, 0, 0x80, 0x3E}, "0.25"},
      {'c', 1, false, {'Z'}, "Z"},
      {'c', 4, false, {'a', 'b', 0, 'x'}, "ab"},
      {'c', 3, false, {'a', 'b', 'c', 'd'}, "abc"},  // full field, no NUL
  };
  for (const Case& c : cases) {
    RdmFld f("r", "f", c.type, c.length, c.isUnsigned);
    f.SetRaw(c.bytes.data());
    EXPECT_STREQ(f.GetText(), c.text) << c.type << c.length;
  }
  RdmFld flagged("r", "f", 'c', 1, true);
  EXPECT_EQ(RaisedBy([&] { flagged.SetRaw("a"); }).code, 2006);
}

}  // namespace
