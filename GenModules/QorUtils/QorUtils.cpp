#include "QorUtils.h"

#include <algorithm>
#include <charconv>
#include <cmath>

std::string_view GcvtChars(double v, int digits, char (&buf)[kGcvtChars]) {
  digits = std::clamp(digits, 1, 100);
  auto res = std::to_chars(buf, buf + kGcvtChars, v, std::chars_format::general, digits);
  return std::string_view(buf, size_t(res.ptr - buf));
}

std::string GcvtText(double v, int digits) {
  char buf[kGcvtChars];
  return std::string(GcvtChars(v, digits, buf));
}

std::string ToString(double value, int fractCount) {
  int digits = 16;
  if (fractCount != -1) {
    int n = 0;
    // An infinite or NaN value has no integer digits to count.
    if (std::isfinite(value)) {
      for (double x = value; std::fabs(x) >= 1.0; x *= 0.1) ++n;
    }
    digits = fractCount + (n == 0 ? 1 : n);
    if (digits > 16) {
      throw QorExceptBaseArg(10, QOR_ERRPOS("ToString", 39), StringVector("FractCount") << fractCount);
    }
  }
  return PadFraction(GcvtText(value, digits), fractCount);
}

std::string PadFraction(std::string text, int fractCount) {
  if (text.size() > 50) text.resize(50);
  std::size_t point = text.find('.');
  if (fractCount == 0) {
    if (point != std::string::npos) text.resize(point);
    return text;
  }
  if (point == std::string::npos) {
    point = text.size();
    text += '.';
  }
  std::size_t after = text.size() - point - 1;
  if (fractCount > 0 && after < static_cast<std::size_t>(fractCount)) {
    text.append(static_cast<std::size_t>(fractCount) - after, '0');
  }
  return text;
}

int CompareNoCase(std::string_view a, std::string_view b) {
  const std::size_t n = std::min(a.size(), b.size());
  for (std::size_t i = 0; i < n; ++i) {
    auto x = static_cast<unsigned char>(UpperAscii(a[i]));
    auto y = static_cast<unsigned char>(UpperAscii(b[i]));
    if (x != y) return x < y ? -1 : 1;
  }
  return a.size() < b.size() ? -1 : (a.size() > b.size() ? 1 : 0);
}

std::string ToUpper(const std::string& text) {
  std::string copy = text;
  UpperInPlace(copy);
  return copy;
}

void UpperInPlace(char* text) {
  if (text == nullptr) return;
  for (; *text; ++text) *text = UpperAscii(*text);
}

void UpperInPlace(std::string& text) {
  // Only up to a NUL, as with a C text.
  for (char& c : text) {
    if (c == '\0') break;
    c = UpperAscii(c);
  }
}

void UpperCaseChars(std::string::iterator first, std::string::iterator last) {
  for (; first < last; ++first) *first = UpperAscii(*first);
}

void UpperCaseLocale(std::string::iterator first, std::string::iterator last, const std::locale& loc) {
  if (first >= last) return;
  try {
    const auto& facet = std::use_facet<std::ctype<char>>(loc);
    facet.toupper(&*first, &*first + (last - first));
  } catch (const std::bad_cast&) {
    UpperCaseChars(first, last);
  }
}

std::string ToUpperCopyAt(const std::string& text, std::size_t pos, std::size_t count,
                          const std::locale& loc) {
  std::string copy = text;
  if (pos >= copy.size()) return copy;
  count = std::min(count, copy.size() - pos);
  UpperCaseLocale(copy.begin() + static_cast<std::ptrdiff_t>(pos),
                  copy.begin() + static_cast<std::ptrdiff_t>(pos + count), loc);
  return copy;
}

std::string ToUpperCopy(const std::string& text, const std::locale& loc) {
  return ToUpperCopyAt(text, 0, text.size(), loc);
}
