#include "qoString.h"

#include <cstring>
#include <functional>
#include <typeinfo>

#include "QorUtils.h"

namespace {

int CompareC(const char* a, const char* b, bool ignoreCase) {
  for (;; ++a, ++b) {
    // The same letters as the upper-casing of names: a to z only.
    auto ca = static_cast<unsigned char>(ignoreCase ? UpperAscii(*a) : *a);
    auto cb = static_cast<unsigned char>(ignoreCase ? UpperAscii(*b) : *b);
    if (ca != cb) return ca < cb ? -1 : 1;
    if (ca == 0) return 0;
  }
}

}  // namespace

qoString::qoString(const char* text) : std::string(text ? text : "") {}

qoString::qoString(const char* text, const std::locale* loc)
    : std::string(text ? text : ""), m_locale(loc) {}

qoString::~qoString() = default;

qoString& qoString::ToUpper(bool useLocale) { return ToUpperAt(0, npos, useLocale); }

qoString& qoString::ToUpperAt(size_type pos, size_type count, bool useLocale) {
  if (count == 0) return *this;
  ValidateRange(pos, count);
  ToUpperIter(begin() + static_cast<difference_type>(pos),
              begin() + static_cast<difference_type>(pos + count), useLocale);
  return *this;
}

void qoString::ToUpperIter(iterator first, iterator last, bool useLocale) {
  CheckIterators(first, last);
  if (useLocale) {
    if (m_locale) {
      UpperCaseLocale(first, last, *m_locale);
    } else {
      UpperCaseLocale(first, last, std::locale());
    }
  } else {
    UpperCaseChars(first, last);
  }
}

void qoString::ValidateRange(size_type pos, size_type& count) const { CheckRange(pos, count); }

void qoString::CheckRange(size_type pos, size_type& count) const {
  if (pos > size()) {
    throw QorExceptBaseArg(10, StringVector("pos, size: ") << static_cast<unsigned int>(pos)
                                                           << static_cast<unsigned int>(size()));
  }
  if (count == npos || count > size() - pos) count = size() - pos;
}

void qoString::CheckIterators(const_iterator first, const_iterator last) const {
  // Addresses, so that iterators outside the text compare in a defined order.
  const char* start = data();
  const char* end = start + size();
  const char* f = start + (first - cbegin());
  const char* l = start + (last - cbegin());
  std::less<const char*> before;
  if (before(f, start)) throw QorExceptBaseArg(11, StringVector("startIt < begin()"));
  if (before(end, f)) throw QorExceptBaseArg(10, StringVector("startIt > end()"));
  if (before(end, l)) throw QorExceptBaseArg(10, StringVector("endIt > end()"));
  if (before(l, f)) throw QorExceptBaseArg(10, StringVector("endIt < startIt"));
}

int qoString::Compare(const qoString& a, const qoString& b, const std::locale& loc, bool ignoreCase) {
  try {
    const auto& facet = std::use_facet<std::collate<char>>(loc);
    std::string ca = a;
    std::string cb = b;
    if (ignoreCase) {
      ca = ToUpperCopy(ca, loc);
      cb = ToUpperCopy(cb, loc);
    }
    return facet.compare(ca.data(), ca.data() + ca.size(), cb.data(), cb.data() + cb.size());
  } catch (const std::bad_cast&) {
    return CompareC(a.c_str(), b.c_str(), ignoreCase);
  }
}

bool qoString::operator==(const qoString& other) const {
  const std::locale mine = m_locale ? *m_locale : std::locale();
  const std::locale theirs = other.m_locale ? *other.m_locale : std::locale();
  if (mine != theirs) return false;
  return Compare(*this, other, mine, false) == 0;
}

bool qoString::operator!=(const qoString& other) const { return !(*this == other); }
