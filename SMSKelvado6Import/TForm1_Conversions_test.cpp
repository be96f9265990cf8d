// The import's value conversions.
#include <cstdlib>
#include <ctime>
#include <optional>

#include "KelvimportTest_testutil.h"
#include "TForm1.h"

namespace {

TEST(NormalizePhoneNumber, KeepsALeadingPlusAndTheDigits) {
  const std::pair<const char*, const char*> cases[] = {
      {"(+36)20/123-45-67:", "+36201234567"},
      {"(36)20/123-45-67:12", "3620123456712"},
      {"+36 20 123 4567", "+36201234567"},
      {" +361", "361"},  // a plus after a blank is no leading plus
      {"36+1", "361"},
      {"++1", "+1"},
      {"(++1", "+1"},
      {"( +1", "1"},
      {"+", "+"},
      {"(+", "+"},
      {"", ""},
      {"nincs", ""},
      {"06\xb9"
       "20/1\xe9"
       "2\xbd",
       "062012"},  // bytes above 127 are no digits
      {"\xb2\xb3"
       "5",
       "5"},  // nor are superscript digits
  };
  for (const auto& [text, key] : cases) EXPECT_EQ(TForm1::NormalizePhoneNumber(text), key) << text;
}

TEST(FormatSubscriberNumber, PutsHyphensBeforeTheLastFourAndTwoDigits) {
  const std::pair<const char*, const char*> cases[] = {
      {"", ""},
      {"abc", ""},
      {"1", "1"},
      {"12", "-12"},
      {"123", "1-23"},
      {"1234", "-12-34"},
      {"12345", "1-23-45"},
      {"123456", "12-34-56"},
      {"1234567", "123-45-67"},
      {"12345678", "1234-56-78"},
      {"123456789", "12345-67-89"},
      {"12 34-567", "123-45-67"},
      {" 123-45-67 ", "123-45-67"},
      {"1é2ő3ű4x5y6z7", "123-45-67"},
  };
  for (const auto& [text, formatted] : cases)
    EXPECT_EQ(TForm1::FormatSubscriberNumber(text), formatted) << text;
}

TEST(DecimalHashMod, ReducesTheBytesDecimalValuesByLongDivision) {
  struct {
    std::string text;
    uint32_t modulus;
    const char* remainder;
  } cases[] = {
      {"abc", 79671239, "979899"},
      {"abc", 16644227, "979899"},
      {"", 79671239, "0"},
      {"", 16644227, "0"},
      {"abc", 0, "0"},        // nothing to divide by
      {"\xe1", 1000, "225"},  // unsigned: á is 225, not -31
      {"\xe1\x01", 100000, "2251"},
      {std::string("a\0b", 3), 1000, "97"},  // the text ends at a zero byte
      {"abcd", 79671239, "23844232"},        // 979899100
      {"abcd", 16644227, "14533934"},
      // A hash text as the import joins it: 102 digits, far beyond any machine word.
      {"Nagy Jánosné 1054BudapestSzabadság tér7.", 79671239, "2621689"},
      {"Nagy Jánosné 1054BudapestSzabadság tér7.", 16644227, "6187128"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(TForm1::DecimalHashMod(c.text, c.modulus), c.remainder)
        << c.text << " % " << c.modulus;
}

// A date library entry that records its calls.
struct StubEntry {
  static inline std::vector<int32_t> calls;
  static inline int status = 0;
  static inline int16_t parts[3] = {2025, 3, 14};
  static int Entry(int32_t value, int16_t* year, int16_t* month, int16_t* day) {
    calls.push_back(value);
    *year = parts[0];
    *month = parts[1];
    *day = parts[2];
    return status;
  }
};

// The local zone for one test; the one before comes back at the end.
class ScopedTimeZone {
 public:
  explicit ScopedTimeZone(const char* zone) {
    if (const char* tz = std::getenv("TZ")) before_ = tz;
    setenv("TZ", zone, 1);
    tzset();
  }
  ~ScopedTimeZone() {
    if (before_)
      setenv("TZ", before_->c_str(), 1);
    else
      unsetenv("TZ");
    tzset();
  }

 private:
  std::optional<std::string> before_;
};

TEST_F(ImportWindowTest, DateFromLongCallsTheEntryOnlyForANumber) {
  ScopedTimeZone utc("UTC0");
  Open();
  form->m_getDateFromLong = &StubEntry::Entry;
  StubEntry::calls.clear();
  StubEntry::status = 0;
  for (const char* none : {"0", "", "abc", " 0", "-0", "x42"})
    EXPECT_EQ(form->DateFromLong(none), 0) << none;
  EXPECT_TRUE(StubEntry::calls.empty());

  EXPECT_EQ(form->DateFromLong(" 42"), 20250314000000.0);
  EXPECT_EQ(form->DateFromLong("-7 napja"), 20250314000000.0);
  // A 32-bit long as the platform has it: a value beyond it saturates.
  EXPECT_EQ(form->DateFromLong("99999999999"), 20250314000000.0);
  EXPECT_EQ(StubEntry::calls, (std::vector<int32_t>{42, -7, INT32_MAX}));

  StubEntry::status = 1;
  EXPECT_EQ(form->DateFromLong("42"), 0);
  form->m_getDateFromLong = nullptr;
  EXPECT_EQ(form->DateFromLong("42"), 0);
  EXPECT_EQ(StubEntry::calls.size(), 4u);
}

TEST_F(ImportWindowTest, DateFromLongGivesNoDateForDaysItCannotPlace) {
  Open();
  form->m_getDateFromLong = &StubEntry::Entry;
  StubEntry::status = 0;
  struct {
    const char* zone;
    int16_t year, month, day;
    double value;
  } cases[] = {
      {"UTC0", 2025, 2, 30, 0},  // no calendar day
      {"UTC0", 2025, 13, 1, 0},
      {"UTC0", 0, 0, 0, 0},
      {"UTC0", 10000, 1, 1, 0},
      {"UTC0", 1, 1, 1, 10101000000.0},
      {"EET-2", 1, 1, 1, 0},  // its midnight falls before the
                              // calendar begins
      {"EET-2", 1, 1, 2, 10101220000.0},
  };
  for (const auto& c : cases) {
    ScopedTimeZone zone(c.zone);
    StubEntry::parts[0] = c.year;
    StubEntry::parts[1] = c.month;
    StubEntry::parts[2] = c.day;
    EXPECT_EQ(form->DateFromLong("42"), c.value)
        << c.zone << " " << c.year << "-" << c.month << "-" << c.day;
  }
  StubEntry::parts[0] = 2025;
  StubEntry::parts[1] = 3;
  StubEntry::parts[2] = 14;
}

TEST_F(ImportWindowTest, DateFromLongGivesTheUtcInstantOfTheLocalMidnight) {
  Open();  // the real libqordate.so
  ASSERT_NE(form->m_getDateFromLong, nullptr);
  struct {
    const char* zone;
    const char* text;
    double value;
  } cases[] = {
      {"UTC0", "45657", 20250101000000.0},
      {"EET-2", "45657", 20241231220000.0},  // east of Greenwich: the evening before
      {"EET-2", "1", 18991231220000.0},
      {"EST5", "36585", 20000301050000.0},
      {"EET-2", "2958465", 0},  // no day
      {"EET-2", "-1", 0},
  };
  for (const auto& c : cases) {
    ScopedTimeZone zone(c.zone);
    EXPECT_EQ(form->DateFromLong(c.text), c.value) << c.zone << " " << c.text;
  }
}

}  // namespace
