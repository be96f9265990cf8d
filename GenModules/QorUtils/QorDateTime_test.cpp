#include "QorDateTime.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdlib>
#include <ctime>
#include <string>

#include "QorUtils.h"

namespace {

// Sets the process time zone for one test and puts the old one back.
class TimeZoneTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* old = std::getenv("TZ");
    m_hadTz = old != nullptr;
    if (m_hadTz) m_oldTz = old;
  }
  void TearDown() override {
    if (m_hadTz) {
      setenv("TZ", m_oldTz.c_str(), 1);
    } else {
      unsetenv("TZ");
    }
    tzset();
  }
  static void UseZone(const char* tz) {
    setenv("TZ", tz, 1);
    tzset();
  }
  static constexpr const char* kCet = "CET-1CEST,M3.5.0,M10.5.0/3";
  static constexpr const char* kUtc = "UTC0";

 private:
  bool m_hadTz = false;
  std::string m_oldTz;
};

// Exposes the stored parts and lets a test decide what the hooks answer.
class ProbeDateTime : public QorDateTime {
 public:
  using QorDateTime::QorDateTime;
  bool AfterSet() override {
    ++afterSetCalls;
    return afterSetResult;
  }
  bool BeforeGet() override {
    ++beforeGetCalls;
    return beforeGetResult;
  }
  int Date() const { return m_date; }
  int Time() const { return m_time; }
  bool Leap() const { return m_leap; }

  int afterSetCalls = 0;
  int beforeGetCalls = 0;
  bool afterSetResult = true;
  bool beforeGetResult = true;
};

time_t Utc(int year, int month, int day, int hour, int minute, int second) {
  tm fields{};
  fields.tm_year = year - 1900;
  fields.tm_mon = month - 1;
  fields.tm_mday = day;
  fields.tm_hour = hour;
  fields.tm_min = minute;
  fields.tm_sec = second;
  return timegm(&fields);
}

TEST(QorDateTimeCalendarTest, LeapYearsAndMonthLengths) {
  const struct {
    short year;
    bool leap;
  } years[] = {{2000, true}, {2004, true}, {2400, true}, {1900, false}, {2003, false}, {2100, false}};
  for (const auto& y : years) {
    EXPECT_EQ(QorDateTime::IsLeapYear(y.year), y.leap) << y.year;
    EXPECT_EQ(QorDateTime::IsValidDate(y.year, 2, 29), y.leap) << y.year;
    EXPECT_EQ(QorDateTime::DaysInMonth(y.year, 2), y.leap ? 29 : 28) << y.year;
  }
  const short lengths[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  for (short month = 1; month <= 12; ++month) {
    EXPECT_EQ(QorDateTime::DaysInMonth(2023, month), lengths[month - 1]) << month;
  }
}

TEST(QorDateTimeCalendarTest, ValidDatesAndTimes) {
  const struct {
    short a, b, c;
    bool date, time;
  } cases[] = {
      {1, 1, 1, true, true},         {9999, 12, 31, true, false}, {0, 1, 1, false, true},
      {10000, 1, 1, false, false},   {2024, 13, 1, false, false}, {2024, 4, 31, false, false},
      {2024, 0, 1, false, false},    {2024, 1, 0, false, false},  {23, 59, 59, false, true},
      {24, 0, 0, false, false},       {0, 60, 0, false, false},    {0, 0, 60, false, false},
      {0, 0, 0, false, true},        {-1, 0, 0, false, false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(QorDateTime::IsValidDate(c.a, c.b, c.c), c.date) << c.a << " " << c.b << " " << c.c;
    EXPECT_EQ(QorDateTime::IsValidTime(c.a, c.b, c.c), c.time) << c.a << " " << c.b << " " << c.c;
  }
}

TEST(QorDateTimeCalendarTest, PackedParts) {
  EXPECT_EQ(QorDateTime::YearOf(20240315), 2024);
  EXPECT_EQ(QorDateTime::MonthOf(20240315), 3);
  EXPECT_EQ(QorDateTime::DayOf(20240315), 15);
  EXPECT_EQ(QorDateTime::HourOf(123456), 12);
  EXPECT_EQ(QorDateTime::MinuteOf(123456), 34);
  EXPECT_EQ(QorDateTime::SecondOf(123456), 56);

  // Each setter replaces its own part and leaves the others.
  const struct {
    void (*set)(long&, short);
    long packed;
    short part;
    long expected;
  } setters[] = {
      {QorDateTime::SetYearOf, 20240315, 1999, 19990315},
      {QorDateTime::SetMonthOf, 20240315, 12, 20241215},
      {QorDateTime::SetDayOf, 20240315, 1, 20240301},
      {QorDateTime::SetHourOf, 123456, 7, 73456},
      {QorDateTime::SetMinuteOf, 123456, 0, 120056},
      {QorDateTime::SetSecondOf, 123456, 9, 123409},
  };
  for (const auto& c : setters) {
    long packed = c.packed;
    c.set(packed, c.part);
    EXPECT_EQ(packed, c.expected) << c.packed << " with part " << c.part;
  }
}

TEST(QorDateTimeTest, FromDouble) {
  enum Outcome { kStored, kRefused, kInvalid };  // kInvalid: false, or code 18 when asked
  const struct {
    double value;
    Outcome outcome;
    int date, time;
  } cases[] = {
      {20240229, kStored, 20240229, 0},
      {2024010112, kStored, 20240101, 120000},
      {20240101123456, kStored, 20240101, 123456},
      {99991231235959, kStored, 99991231, 235959},
      {20241301000000, kInvalid, 0, 0},
      {20230229000000, kInvalid, 0, 0},
      {20240230000000, kInvalid, 0, 0},
      {20240101240000, kInvalid, 0, 0},
      {20240101126000, kInvalid, 0, 0},
      {20240101120060, kInvalid, 0, 0},
      // Short exponent forms are padded like any short text and fail as dates.
      {1e14, kInvalid, 0, 0},
      {HUGE_VAL, kInvalid, 0, 0},
      {1e-300, kRefused, 0, 0},
      {202401011234567, kRefused, 0, 0},
      {-20240101123456, kRefused, 0, 0},
      {-5, kRefused, 0, 0},
      {-1e-300, kRefused, 0, 0},
      {-1.2345678901234e-300, kRefused, 0, 0},
  };
  for (const auto& c : cases) {
    for (bool throwOnError : {false, true}) {
      ProbeDateTime value;
      ASSERT_TRUE(value.FromDouble(19991231235959, false, true));
      SCOPED_TRACE(testing::Message() << c.value << " throwOnError " << throwOnError);
      if (c.outcome == kStored) {
        EXPECT_TRUE(value.FromDouble(c.value, false, throwOnError));
        EXPECT_EQ(value.Date(), c.date);
        EXPECT_EQ(value.Time(), c.time);
        EXPECT_EQ(value.ToDouble(), c.date * 1000000.0 + c.time);
      } else if (c.outcome == kInvalid && throwOnError) {
        EXPECT_THROW(value.FromDouble(c.value, false, throwOnError), QorExceptBaseArg);
      } else {
        EXPECT_FALSE(value.FromDouble(c.value, false, throwOnError));
      }
      if (c.outcome != kStored) {
        EXPECT_EQ(value.Date(), 19991231) << "a refused value leaves the old one";
        EXPECT_EQ(value.Time(), 235959);
      }
      EXPECT_EQ(value.afterSetCalls, 0);
    }
  }
}

TEST(QorDateTimeTest, FromDoubleZeroClearsAndSetsLeapWithTheDate) {
  ProbeDateTime value;
  ASSERT_TRUE(value.FromDouble(20240229, false, true));
  EXPECT_TRUE(value.Leap());
  ASSERT_TRUE(value.FromDouble(20230301, false, true));
  EXPECT_FALSE(value.Leap());
  EXPECT_TRUE(value.FromDouble(0, false, true));
  EXPECT_TRUE(value.IsEmpty());
  EXPECT_EQ(value.ToDouble(), 0.0);
}

TEST(QorDateTimeTest, InvalidDoubleRaisesCode18AtItsPosition) {
  QorDateTime value;
  try {
    value.FromDouble(20241301000000, false, true);
    FAIL() << "no exception";
  } catch (const QorExceptBaseArg& e) {
    EXPECT_EQ(e.GetCode(), 18);
    EXPECT_EQ(e.GetPosition().function, "QorDateTime::FromDouble");
    EXPECT_EQ(e.GetPosition().line, 753);
    EXPECT_NE(e.GetPosition().file.find("QorDateTime.cpp"), std::string::npos);
    EXPECT_STREQ(e.what(), "Érvénytelen adat\n (20241301000000)");
  }
}

TEST(QorDateTimeTest, PartsConstructorValidatesEachPart) {
  ProbeDateTime value(2024, 3, 15, 25, 0, 0, false);
  EXPECT_EQ(value.Date(), 20240315);
  EXPECT_EQ(value.Time(), 0);
  ProbeDateTime badDate(2023, 2, 29, 10, 20, 30, false);
  EXPECT_EQ(badDate.Date(), 0);
  EXPECT_EQ(badDate.Time(), 102030);
  short h, m, s;
  EXPECT_TRUE(badDate.GetTime(h, m, s));
  EXPECT_EQ(h * 10000 + m * 100 + s, 102030);
  EXPECT_FALSE(badDate.GetDate(h, m, s));
}

TEST(QorDateTimeTest, UnvalidatedPartsNeitherOverflowNorCrash) {
  ProbeDateTime value;
  EXPECT_TRUE(value.SetDate(-32768, -32768, -32768, false));
  EXPECT_TRUE(value.SetTime(-32768, -32768, -32768, false));
  // A long text of signed parts; the number read from it ends at the second sign.
  EXPECT_EQ(value.FieldsToDouble(false), static_cast<double>(QorDateTime::YearOf(value.Date())));
  EXPECT_EQ(value.ToUnixTime(), -1);
  // Not a made-up date of 1969 either.
  EXPECT_EQ(value.Format("%Y%m%d%H%M%S", false), "");
  EXPECT_EQ(value.ToDoubleEx(true), -1.0);
  value.SetDate(12345, 99, 99, false);
  value.SetTime(99, 99, 99, false);
  EXPECT_EQ(value.ToDouble(), 123459999999999.0);
}

TEST(QorDateTimeTest, AssignDoubleNotifiesOnRequest) {
  ProbeDateTime value;
  EXPECT_FALSE(value.AssignDouble(20240101120000, false)) << "without notify the answer is false";
  EXPECT_EQ(value.Date(), 20240101);
  EXPECT_EQ(value.afterSetCalls, 0);
  EXPECT_TRUE(value.AssignDouble(20240102120000, true));
  EXPECT_EQ(value.afterSetCalls, 1);
  value.afterSetResult = false;
  EXPECT_FALSE(value.AssignDouble(20240103120000, true));
  EXPECT_EQ(value.Date(), 20240103);
  EXPECT_THROW(value.AssignDouble(20241301000000, true), QorExceptBaseArg);
}

TEST(QorDateTimeTest, FailingHooks) {
  ProbeDateTime value(2024, 1, 1, 0, 0, 0, false);
  value.beforeGetResult = false;
  EXPECT_EQ(value.ToUnixTime(), -1);
  EXPECT_EQ(value.ToUnixTimeEx(true), -1);
  EXPECT_EQ(value.MakeUnixTime(false), -1);
  EXPECT_EQ(value.ToDouble(), -1.0);
  EXPECT_EQ(value.FieldsToDouble(false), 20240101000000.0);
  EXPECT_EQ(value.ToDoubleEx(true), -1.0);
  EXPECT_EQ(value.Format("%Y", false), "");
  tm fields{};
  EXPECT_FALSE(value.ToTm(&fields));

  value.beforeGetResult = true;
  value.afterSetResult = false;
  EXPECT_FALSE(value.FromUnixTime(Utc(2024, 5, 6, 7, 8, 9), false, false));
  EXPECT_EQ(value.ToDouble(), 20240506070809.0) << "what was stored stays";
  EXPECT_THROW(value.FromUnixTime(0, false, true), QorExceptBaseArg);
}

TEST_F(TimeZoneTest, UnixTimeOutOfRangeIsInvalidNotACrash) {
  UseZone(kUtc);
  const time_t cases[] = {
      static_cast<time_t>(1) << 62,       // beyond what gmtime can break down
      Utc(10000, 1, 1, 0, 0, 0),          // past the calendar's last year
      Utc(67560, 1, 1, 0, 0, 0),          // its year would wrap to 2024 in a short
      Utc(0, 12, 31, 23, 59, 59),         // year 0
  };
  for (time_t t : cases) {
    QorDateTime value;
    EXPECT_FALSE(value.FromUnixTime(t, false, false)) << t;
    EXPECT_FALSE(value.FromUnixTime(t, true, false)) << t;
    EXPECT_TRUE(value.IsEmpty()) << t;
    try {
      value.FromUnixTime(t, false, true);
      ADD_FAILURE() << "no exception for " << t;
    } catch (const QorExceptBaseArg& e) {
      EXPECT_EQ(e.GetCode(), 18);
      EXPECT_EQ(e.GetPosition().function, "QorDateTime::FromUnixTime");
      EXPECT_EQ(e.GetPosition().line, 816);
      EXPECT_EQ(std::string(e.what()), "Érvénytelen adat\n (" + std::to_string(t) + ")");
    }
    EXPECT_EQ(QorDateTime::AdjustUnixTime(static_cast<time_t>(1) << 62, false), -1);
  }
}

// -1 is a failure only where it comes out of mktime: as a UTC instant it is
// the last second of 1969.
TEST_F(TimeZoneTest, TheInstantMinusOneIsADateInUtc) {
  UseZone(kUtc);
  QorDateTime value;
  EXPECT_TRUE(value.FromUnixTime(-1, false, false));
  EXPECT_EQ(value.ToDouble(), 19691231235959.0);
  QorDateTime wall;
  EXPECT_FALSE(wall.FromUnixTime(-1, true, false));  // its wall-clock instant is -1 again
  EXPECT_TRUE(wall.IsEmpty());
}

TEST(QorDateTimeTest, EmptyValue) {
  QorDateTime value;
  EXPECT_TRUE(value.IsEmpty());
  EXPECT_EQ(value.ToDouble(), 0.0);
  EXPECT_EQ(value.Format("%Y-%m-%d", false), "");
  EXPECT_EQ(value.Format("literal", true), "");
  EXPECT_EQ(value.ToDoubleEx(true), 0.0);
  QorDateTime now;
  now.SetNow();
  EXPECT_FALSE(now.IsEmpty());
  short y, m, d;
  EXPECT_TRUE(now.GetDate(y, m, d));
  EXPECT_GE(y, 2024);
}

TEST_F(TimeZoneTest, PartsAsLocalWallClockTime) {
  const struct {
    const char* tz;
    short month, day;
    double utc;
  } cases[] = {
      {kCet, 7, 1, 20240630220000.0},
      {kCet, 1, 15, 20240114230000.0},
      {kUtc, 7, 1, 20240701000000.0},
      {kUtc, 1, 15, 20240115000000.0},
  };
  for (const auto& c : cases) {
    UseZone(c.tz);
    SCOPED_TRACE(testing::Message() << c.tz << " " << c.month << "/" << c.day);
    QorDateTime value(2024, c.month, c.day, 0, 0, 0, true);
    EXPECT_EQ(value.ToDouble(), c.utc);
    // Back to the local wall-clock parts.
    EXPECT_EQ(value.ToDoubleEx(true), 20240000000000.0 + c.month * 100000000.0 + c.day * 1000000.0);
    EXPECT_EQ(value.Format("%Y%m%d%H%M%S", true),
              c.month == 7 ? "20240701000000" : "20240115000000");

    QorDateTime converted;
    EXPECT_TRUE(converted.FromDouble(20240000000000.0 + c.month * 100000000.0 + c.day * 1000000.0,
                                     true, true));
    EXPECT_EQ(converted.ToDouble(), c.utc);
  }
}

TEST_F(TimeZoneTest, EachConversionFollowsTheZoneInForceThen) {
  // The same summer and winter noons, converted again after each change of
  // zone; nullptr: TZ unset, the system's own zone.
  const struct {
    const char* tz;
    time_t summer, winter;  // the instants; 0: whatever the system's zone makes
  } zones[] = {
      {kCet, Utc(2024, 7, 1, 10, 0, 0), Utc(2024, 1, 15, 11, 0, 0)},
      {kUtc, Utc(2024, 7, 1, 12, 0, 0), Utc(2024, 1, 15, 12, 0, 0)},
      {"EST5EDT,M3.2.0,M11.1.0", Utc(2024, 7, 1, 16, 0, 0), Utc(2024, 1, 15, 17, 0, 0)},
      {kCet, Utc(2024, 7, 1, 10, 0, 0), Utc(2024, 1, 15, 11, 0, 0)},
      {nullptr, 0, 0},
  };
  for (const auto& zone : zones) {
    if (zone.tz) {
      UseZone(zone.tz);
    } else {
      unsetenv("TZ");
      tzset();
    }
    SCOPED_TRACE(zone.tz ? zone.tz : "TZ unset");
    for (int month : {7, 1}) {
      const int day = month == 7 ? 1 : 15;
      const time_t t = QorDateTime(2024, month, day, 12, 0, 0, true).ToUnixTime();
      if (zone.tz) {
        EXPECT_EQ(t, month == 7 ? zone.summer : zone.winter) << month;
      }
      // Whatever the zone: the instant is local noon of that day.
      tm local{};
      ASSERT_NE(localtime_r(&t, &local), nullptr);
      EXPECT_EQ((std::array<int, 3>{local.tm_mon + 1, local.tm_mday, local.tm_hour}),
                (std::array<int, 3>{month, day, 12}));
    }
  }
}

TEST_F(TimeZoneTest, UnixTimeConversions) {
  UseZone(kCet);
  const time_t newYear = Utc(2024, 1, 1, 0, 0, 0);
  ASSERT_EQ(newYear, 1704067200);
  QorDateTime value(newYear, false);
  EXPECT_EQ(value.ToDouble(), 20240101000000.0);
  EXPECT_EQ(value.ToUnixTime(), newYear);
  EXPECT_EQ(value.ToUnixTimeEx(true), newYear + 3600);
  EXPECT_EQ(value.Format("%Y-%m-%d %H:%M:%S", false), "2024-01-01 00:00:00");
  EXPECT_EQ(value.Format("%Y-%m-%d %H:%M:%S", true), "2024-01-01 01:00:00");

  // local: t's UTC fields are local wall-clock time.
  QorDateTime fromWall(Utc(2024, 7, 1, 0, 0, 0), true);
  EXPECT_EQ(fromWall.ToDouble(), 20240630220000.0);
  EXPECT_EQ(QorDateTime::AdjustUnixTime(newYear, false), newYear);
  EXPECT_EQ(QorDateTime::AdjustUnixTime(newYear, true), newYear - 3600);

  UseZone(kUtc);
  EXPECT_EQ(value.ToUnixTimeEx(true), newYear);
  EXPECT_EQ(QorDateTime(Utc(2024, 7, 1, 0, 0, 0), true).ToDouble(), 20240701000000.0);
}

TEST_F(TimeZoneTest, InvalidPartsWithConvertGiveNoDate) {
  UseZone(kCet);
  QorDateTime value(2023, 2, 29, 0, 0, 0, true);
  EXPECT_TRUE(value.IsEmpty());
  EXPECT_EQ(value.ToDouble(), 0.0);
  QorDateTime converted;
  EXPECT_FALSE(converted.FromDouble(202413, true, false));
  EXPECT_THROW(converted.FromDouble(202413, true, true), QorExceptBaseArg);
}

}  // namespace
