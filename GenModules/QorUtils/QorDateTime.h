// A calendar date-time held as the numbers yyyymmdd and hhmmss. The databases
// store it as the 14-digit number yyyymmddhhmmss; the stored parts are read
// as UTC by the Unix-time conversions.
#pragma once

#include <ctime>
#include <string>

class QorDateTime {
 public:
  QorDateTime();
  // convert false: the parts as given (an invalid date or time leaves that
  // part 0); convert true: the parts are local wall-clock time.
  QorDateTime(short year, short month, short day, short hour, short minute, short second,
              bool convert);
  QorDateTime(time_t t, bool local);
  QorDateTime(const QorDateTime&) = default;
  QorDateTime& operator=(const QorDateTime&) = default;
  virtual ~QorDateTime();

  // Hooks for a derived class that keeps the value in step with a field.
  virtual bool AfterSet();
  virtual bool BeforeGet();

  QorDateTime& SetNow();
  QorDateTime& SetUnixTime(time_t t);
  bool FromUnixTime(time_t t, bool local, bool throwOnError);
  bool FromDouble(double v, bool convert, bool throwOnError);
  bool SetFromDouble(double v, bool convert, bool throwOnError);
  bool AssignDouble(double v, bool notify);
  bool SetDate(short year, short month, short day, bool validate);
  bool SetTime(short hour, short minute, short second, bool validate);
  void Clear();

  bool GetDate(short& year, short& month, short& day) const;
  bool GetTime(short& hour, short& minute, short& second) const;
  time_t ToUnixTime();
  time_t ToUnixTimeEx(bool local);
  double ToDouble();
  double ToDoubleEx(bool local);
  double FieldsToDouble(bool useHook);
  std::string Format(const std::string& format, bool local);
  bool IsEmpty() const;

  static short YearOf(long date);
  static short MonthOf(long date);
  static short DayOf(long date);
  static short HourOf(long time);
  static short MinuteOf(long time);
  static short SecondOf(long time);
  static void SetYearOf(long& date, short v);
  static void SetMonthOf(long& date, short v);
  static void SetDayOf(long& date, short v);
  static void SetHourOf(long& time, short v);
  static void SetMinuteOf(long& time, short v);
  static void SetSecondOf(long& time, short v);

  static bool IsLeapYear(short year);
  static short DaysInMonth(short year, short month);
  static bool IsValidDate(short year, short month, short day);
  static bool IsValidTime(short hour, short minute, short second);

  bool ToTm(tm* out);
  time_t MakeUnixTime(bool dst);
  static time_t AdjustUnixTime(time_t t, bool local);
  static time_t MakeTime(tm* fields, bool dst);

 protected:
  // ToUnixTimeEx with its failure told apart from the instant -1.
  bool ReadUnixTime(bool local, time_t& out);

  int m_date = 0;  // yyyymmdd, 0 when empty
  int m_time = 0;  // hhmmss
  bool m_leap = false;
};
