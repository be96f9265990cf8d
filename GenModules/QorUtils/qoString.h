// A string that upper-cases a range and compares itself with another, through
// a locale it does not own (none: a default-constructed one).
#pragma once

#include <cstddef>
#include <locale>
#include <string>

class qoString : public std::string {
 public:
  qoString(const char* text);
  qoString(const char* text, const std::locale* loc);
  qoString(const qoString&) = default;
  qoString& operator=(const qoString&) = default;
  virtual ~qoString();

  qoString& ToUpper(bool useLocale);
  qoString& ToUpperAt(size_type pos, size_type count, bool useLocale);
  void ToUpperIter(iterator first, iterator last, bool useLocale);

  void ValidateRange(size_type pos, size_type& count) const;
  void CheckRange(size_type pos, size_type& count) const;
  void CheckIterators(const_iterator first, const_iterator last) const;

  // Negative, 0 or positive, through loc's collation.
  static int Compare(const qoString& a, const qoString& b, const std::locale& loc, bool ignoreCase);

  bool operator==(const qoString& other) const;
  bool operator!=(const qoString& other) const;
  // A C text is a qoString without a locale, so that name != "SYSDB" is ours.
  bool operator==(const char* other) const { return *this == qoString(other); }
  bool operator!=(const char* other) const { return !(*this == qoString(other)); }

  const std::locale* GetLocale() const { return m_locale; }

 private:
  const std::locale* m_locale = nullptr;
};
