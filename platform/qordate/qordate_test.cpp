#include "qordate.h"

#include <gtest/gtest.h>

namespace {

TEST(GetDateFromLong, DayNumbersGiveTheirCalendarDays) {
  struct {
    int32_t value;
    int16_t year, month, day;
  } cases[] = {
      {1, 1900, 1, 1},     {31, 1900, 1, 31},   {59, 1900, 2, 28},  // 1900 is no leap year
      {60, 1900, 3, 1},    {366, 1901, 1, 1},   {36525, 2000, 1, 1},   {36584, 2000, 2, 29},
      {36585, 2000, 3, 1}, {45657, 2025, 1, 1}, {46000, 2025, 12, 10}, {2958464, 9999, 12, 31},
  };
  for (const auto& c : cases) {
    int16_t y = 0, m = 0, d = 0;
    EXPECT_EQ(getDateFromLong(c.value, &y, &m, &d), 0) << c.value;
    EXPECT_EQ(y, c.year) << c.value;
    EXPECT_EQ(m, c.month) << c.value;
    EXPECT_EQ(d, c.day) << c.value;
  }
}

TEST(GetDateFromLong, EveryDayFollowsTheOneBefore) {
  int16_t y = 0, m = 0, d = 0;
  ASSERT_EQ(getDateFromLong(1, &y, &m, &d), 0);
  for (int32_t v = 2; v <= 2958464; ++v) {
    int16_t ny = 0, nm = 0, nd = 0;
    ASSERT_EQ(getDateFromLong(v, &ny, &nm, &nd), 0) << v;
    const bool nextDay = ny == y && nm == m && nd == d + 1;
    const bool nextMonth = ny == y && nm == m + 1 && nd == 1 && d >= 28;
    const bool nextYear = ny == y + 1 && nm == 1 && nd == 1 && m == 12 && d == 31;
    ASSERT_TRUE(nextDay || nextMonth || nextYear) << v << ": " << ny << "-" << nm << "-" << nd;
    y = ny, m = nm, d = nd;
  }
}

TEST(GetDateFromLong, ValuesThatAreNoDayWriteNothing) {
  for (int32_t value : {0, -1, INT32_MIN, 2958465, INT32_MAX}) {
    int16_t y = 7, m = 7, d = 7;
    EXPECT_NE(getDateFromLong(value, &y, &m, &d), 0) << value;
    EXPECT_EQ(y, 7);
    EXPECT_EQ(m, 7);
    EXPECT_EQ(d, 7);
  }
  int16_t y = 0, m = 0;
  EXPECT_NE(getDateFromLong(1, &y, &m, nullptr), 0);
  EXPECT_NE(getDateFromLong(1, nullptr, &m, &y), 0);
}

}  // namespace
