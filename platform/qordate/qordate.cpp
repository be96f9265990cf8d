#include "qordate.h"

namespace {

// Days from 1 March of year 0 of the proleptic Gregorian calendar: the
// era arithmetic puts the leap day last in each year.
constexpr int64_t DaysFromCivil(int64_t y, int64_t m, int64_t d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const int64_t yoe = y - era * 400;
  const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe;
}

constexpr int64_t kDayZero = DaysFromCivil(1899, 12, 31);
constexpr int64_t kLastDay = DaysFromCivil(9999, 12, 31) - kDayZero;

}  // namespace

extern "C" int getDateFromLong(int32_t value, int16_t* year, int16_t* month, int16_t* day) {
  if (year == nullptr || month == nullptr || day == nullptr) return 2;
  if (value < 1 || value > kLastDay) return 1;
  const int64_t z = kDayZero + value;
  const int64_t era = z / 146097;
  const int64_t doe = z - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  const int64_t d = doy - (153 * mp + 2) / 5 + 1;
  const int64_t m = mp < 10 ? mp + 3 : mp - 9;
  *year = static_cast<int16_t>(yoe + era * 400 + (m <= 2));
  *month = static_cast<int16_t>(m);
  *day = static_cast<int16_t>(d);
  return 0;
}
