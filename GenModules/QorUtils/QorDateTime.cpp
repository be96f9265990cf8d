#include "QorDateTime.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>

#include "QorUtils.h"

namespace {

// atol over a piece of text: leading blanks, an optional sign, digits; no
// number gives 0. Never looks at the process locale.
long ReadLong(const std::string& text) {
  std::size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r'))) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  long n = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) n = n * 10 + (text[i] - '0');
  return negative ? -n : n;
}

// strtod over a text: the longest leading number, 0 when there is none.
double ReadDouble(const std::string& text) {
  const char* first = text.c_str();
  while (*first == ' ' || (*first >= '\t' && *first <= '\r')) ++first;
  double v = 0;
  auto res = std::from_chars(first, text.c_str() + text.size(), v);
  return res.ec == std::errc() ? v : 0.0;
}

bool UtcFields(time_t t, tm& out) {
  std::memset(&out, 0, sizeof out);
  return gmtime_r(&t, &out) != nullptr;
}

bool LocalFields(time_t t, tm& out) {
  std::memset(&out, 0, sizeof out);
  return localtime_r(&t, &out) != nullptr;
}

// mktime with the fields read as local standard time. With TZ unset, glibc's
// mktime checks the zone file again on every call (a stat of /etc/localtime);
// its answers are kept instead, for as long as TZ stays as it was.
time_t LocalMakeTime(tm* fields) {
  struct Answer {
    time_t t;
    tm fields;
  };
  struct Cache {
    bool tzSet = false;
    std::string tz;
    std::map<std::array<int, 6>, Answer> answers;
  };
  thread_local Cache cache;
  const char* tz = std::getenv("TZ");
  if ((tz != nullptr) != cache.tzSet || (tz != nullptr && cache.tz != tz)) {
    cache.answers.clear();
    cache.tzSet = tz != nullptr;
    cache.tz = tz != nullptr ? tz : "";
  }
  const std::array<int, 6> key = {fields->tm_year, fields->tm_mon, fields->tm_mday,
                                  fields->tm_hour, fields->tm_min, fields->tm_sec};
  auto known = cache.answers.find(key);
  if (known == cache.answers.end()) {
    if (cache.answers.size() >= 4096) cache.answers.clear();
    fields->tm_isdst = 0;
    const time_t t = mktime(fields);
    known = cache.answers.emplace(key, Answer{t, *fields}).first;
  }
  *fields = known->second.fields;
  return known->second.t;
}

// Broken-down fields whose year a short can carry (the calendar's years).
bool FitsCalendar(const tm& fields) {
  long year = static_cast<long>(fields.tm_year) + 1900;
  return year >= 1 && year <= 9999;
}

}  // namespace

QorDateTime::QorDateTime() = default;

QorDateTime::QorDateTime(short year, short month, short day, short hour, short minute,
                         short second, bool convert) {
  if (!convert) {
    SetDate(year, month, day, true);
    SetTime(hour, minute, second, true);
    return;
  }
  QorDateTime parts(year, month, day, hour, minute, second, false);
  time_t instant = parts.MakeUnixTime(true);
  // Parts that make no instant leave the value empty, which callers read as no date.
  if (instant != -1) SetUnixTime(instant);
}

QorDateTime::QorDateTime(time_t t, bool local) { FromUnixTime(t, local, true); }

QorDateTime::~QorDateTime() = default;

bool QorDateTime::AfterSet() { return true; }
bool QorDateTime::BeforeGet() { return true; }

QorDateTime& QorDateTime::SetNow() { return SetUnixTime(::time(nullptr)); }

QorDateTime& QorDateTime::SetUnixTime(time_t t) {
  FromUnixTime(t, false, true);
  return *this;
}

bool QorDateTime::FromUnixTime(time_t t, bool local, bool throwOnError) {
  // Local: the instant whose local wall-clock fields are t's UTC fields. Only
  // then is -1 a failure; as a UTC instant it is a second before 1970.
  const time_t wall = local ? AdjustUnixTime(t, true) : t;
  tm fields;
  bool ok = (!local || wall != -1) && UtcFields(wall, fields);
  ok = ok && FitsCalendar(fields) &&
       SetDate(static_cast<short>(fields.tm_year + 1900), static_cast<short>(fields.tm_mon + 1),
               static_cast<short>(fields.tm_mday), true) &&
       SetTime(static_cast<short>(fields.tm_hour), static_cast<short>(fields.tm_min),
               static_cast<short>(fields.tm_sec), true) &&
       AfterSet();
  if (ok) return true;
  if (throwOnError) {
    throw QorExceptBaseArg(18, QOR_ERRPOS("QorDateTime::FromUnixTime", 816),
                           StringVector(static_cast<long>(t)));
  }
  return false;
}

bool QorDateTime::FromDouble(double v, bool convert, bool throwOnError) {
  if (v == 0) {
    Clear();
    return true;
  }
  if (convert) {
    QorDateTime parts;
    if (!parts.FromDouble(v, false, throwOnError)) return false;
    time_t instant = parts.MakeUnixTime(true);
    if (instant == -1) return false;
    FromUnixTime(instant, false, true);
    return true;
  }
  std::string text = GcvtText(v, 14);
  if (text.size() < 14) text.append(14 - text.size(), '0');
  // Negative values and texts of more than 14 digits are no date-time.
  if (text.size() != 14 || text.find('-') != std::string::npos) return false;
  long date = ReadLong(text.substr(0, 8));
  long time = ReadLong(text.substr(8, 6));
  if (IsValidDate(YearOf(date), MonthOf(date), DayOf(date)) &&
      IsValidTime(HourOf(time), MinuteOf(time), SecondOf(time))) {
    m_date = static_cast<int>(date);
    m_time = static_cast<int>(time);
    m_leap = IsLeapYear(YearOf(date));
    return true;
  }
  if (throwOnError) {
    throw QorExceptBaseArg(18, QOR_ERRPOS("QorDateTime::FromDouble", 753), StringVector(v));
  }
  return false;
}

bool QorDateTime::SetFromDouble(double v, bool convert, bool throwOnError) {
  return FromDouble(v, convert, throwOnError);
}

bool QorDateTime::AssignDouble(double v, bool notify) {
  if (FromDouble(v, false, true) && notify) return AfterSet();
  return false;
}

bool QorDateTime::SetDate(short year, short month, short day, bool validate) {
  if (validate && !IsValidDate(year, month, day)) return false;
  m_leap = IsLeapYear(year);
  m_date = year * 10000 + month * 100 + day;
  return true;
}

bool QorDateTime::SetTime(short hour, short minute, short second, bool validate) {
  if (validate && !IsValidTime(hour, minute, second)) return false;
  m_time = hour * 10000 + minute * 100 + second;
  return true;
}

void QorDateTime::Clear() {
  m_date = 0;
  m_time = 0;
}

bool QorDateTime::GetDate(short& year, short& month, short& day) const {
  year = YearOf(m_date);
  month = MonthOf(m_date);
  day = DayOf(m_date);
  return IsValidDate(year, month, day);
}

bool QorDateTime::GetTime(short& hour, short& minute, short& second) const {
  hour = HourOf(m_time);
  minute = MinuteOf(m_time);
  second = SecondOf(m_time);
  return IsValidTime(hour, minute, second);
}

time_t QorDateTime::ToUnixTime() { return ToUnixTimeEx(false); }

time_t QorDateTime::ToUnixTimeEx(bool local) {
  time_t t = -1;
  return ReadUnixTime(local, t) ? t : -1;
}

bool QorDateTime::ReadUnixTime(bool local, time_t& out) {
  if (!BeforeGet()) return false;
  tm fields;
  std::memset(&fields, 0, sizeof fields);
  if (!ToTm(&fields)) return false;
  out = MakeTime(&fields, false);
  if (!local) return true;
  tm wall;
  if (!LocalFields(out, wall)) return false;
  out = MakeTime(&wall, false);
  return true;
}

double QorDateTime::ToDouble() { return ToDoubleEx(false); }

double QorDateTime::ToDoubleEx(bool local) {
  if (!local) return FieldsToDouble(true);
  time_t t = -1;
  // A value that cannot be read is no date, not the second before 1970.
  if (!ReadUnixTime(true, t)) return IsEmpty() ? 0.0 : -1.0;
  QorDateTime wall;
  if (!wall.FromUnixTime(t, false, false)) return -1.0;
  return wall.FieldsToDouble(false);
}

double QorDateTime::FieldsToDouble(bool useHook) {
  if (useHook && !BeforeGet()) return -1.0;
  const long parts[6] = {YearOf(m_date), MonthOf(m_date),  DayOf(m_date),
                         HourOf(m_time), MinuteOf(m_time), SecondOf(m_time)};
  // Parts within their widths: the number the digits below stand for, made
  // without the text (exactly, as it has at most 14 digits).
  if (parts[0] >= 0 && parts[0] <= 9999 &&
      std::all_of(parts + 1, parts + 6, [](long p) { return p >= 0 && p <= 99; })) {
    int64_t number = parts[0];
    for (int i = 1; i < 6; ++i) number = number * 100 + parts[i];
    return double(number);
  }
  // Parts set without validation may be of any size: the text grows with them.
  char buf[96];
  int n = std::snprintf(buf, sizeof buf, "%.4ld%.2ld%.2ld%.2ld%.2ld%.2ld", parts[0], parts[1],
                        parts[2], parts[3], parts[4], parts[5]);
  if (n < 0) return 0.0;
  return ReadDouble(std::string(buf, static_cast<std::size_t>(n)));
}

std::string QorDateTime::Format(const std::string& format, bool local) {
  if (IsEmpty()) return std::string();
  time_t t = -1;
  tm fields;
  if (!ReadUnixTime(false, t)) return std::string();
  if (!(local ? LocalFields(t, fields) : UtcFields(t, fields))) return std::string();
  std::string out(260, '\0');
  std::size_t n = std::strftime(out.data(), 259, format.c_str(), &fields);
  out.resize(n);
  return out;
}

bool QorDateTime::IsEmpty() const { return m_date == 0 && m_time == 0; }

short QorDateTime::YearOf(long date) { return static_cast<short>(date / 10000); }
short QorDateTime::MonthOf(long date) { return static_cast<short>(date / 100 % 100); }
short QorDateTime::DayOf(long date) { return static_cast<short>(date % 100); }
short QorDateTime::HourOf(long time) { return static_cast<short>(time / 10000); }
short QorDateTime::MinuteOf(long time) { return static_cast<short>(time / 100 % 100); }
short QorDateTime::SecondOf(long time) { return static_cast<short>(time % 100); }

void QorDateTime::SetYearOf(long& date, short v) { date = date % 10000 + v * 10000L; }
void QorDateTime::SetMonthOf(long& date, short v) {
  date = date - MonthOf(date) * 100L + v * 100L;
}
void QorDateTime::SetDayOf(long& date, short v) { date = date - DayOf(date) + v; }
void QorDateTime::SetHourOf(long& time, short v) { SetYearOf(time, v); }
void QorDateTime::SetMinuteOf(long& time, short v) { SetMonthOf(time, v); }
void QorDateTime::SetSecondOf(long& time, short v) { SetDayOf(time, v); }

bool QorDateTime::IsLeapYear(short year) {
  return year % 400 == 0 || (year % 4 == 0 && year % 100 != 0);
}

short QorDateTime::DaysInMonth(short year, short month) {
  static const short kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (month < 1 || month > 12) return 0;
  if (month == 2 && IsLeapYear(year)) return 29;
  return kDays[month - 1];
}

bool QorDateTime::IsValidDate(short year, short month, short day) {
  return year >= 1 && year <= 9999 && month >= 1 && month <= 12 && day >= 1 &&
         day <= DaysInMonth(year, month);
}

bool QorDateTime::IsValidTime(short hour, short minute, short second) {
  return hour >= 0 && hour <= 23 && minute >= 0 && minute <= 59 && second >= 0 && second <= 59;
}

bool QorDateTime::ToTm(tm* out) {
  short year, month, day, hour, minute, second;
  if (out == nullptr || !BeforeGet()) return false;
  bool dateOk = GetDate(year, month, day);
  bool timeOk = GetTime(hour, minute, second);
  if (!dateOk || !timeOk) return false;
  out->tm_year = year - 1900;
  out->tm_mon = month - 1;
  out->tm_mday = day;
  out->tm_hour = hour;
  out->tm_min = minute;
  out->tm_sec = second;
  return true;
}

time_t QorDateTime::MakeUnixTime(bool dst) {
  tm fields;
  std::memset(&fields, 0, sizeof fields);
  if (!ToTm(&fields)) return -1;
  return MakeTime(&fields, dst);
}

time_t QorDateTime::AdjustUnixTime(time_t t, bool local) {
  tm fields;
  if (!UtcFields(t, fields)) return -1;
  return MakeTime(&fields, local);
}

time_t QorDateTime::MakeTime(tm* fields, bool dst) {
  if (fields == nullptr) return -1;
  fields->tm_isdst = 0;
  if (!dst) {
    // The fields read as UTC; timegm normalises them as mktime would.
    return timegm(fields);
  }
  // mktime reads them as local standard time; an hour less where daylight
  // saving applies makes them local wall-clock time.
  time_t t = LocalMakeTime(fields);
  if (t == -1) return -1;
  return fields->tm_isdst > 0 ? t - 3600 : t;
}
