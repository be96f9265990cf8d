// The utility library: failures, containers, texts and numbers.
#pragma once

#include <locale>
#include <string>
#include <string_view>

#include "QoContainers.h"
#include "QoMapExcept.h"
#include "QorErrPos.h"
#include "QorExceptBase.h"
#include "QorExceptBaseArg.h"
#include "StringVector.h"
#include "qoString.h"

// The shortest %g text of v with the given significant digits, in the C
// locale whatever the process locale is.
std::string GcvtText(double v, int digits);
// The same text in the caller's buffer, for a caller that keeps no string.
constexpr size_t kGcvtChars = 160;
std::string_view GcvtChars(double v, int digits, char (&buf)[kGcvtChars]);

// The text of a double: 16 significant digits when fractCount is -1, else
// fractCount digits after the point; always with a point unless fractCount
// is 0. Too many digits in all (more than 16) throw code 10.
std::string ToString(double value, int fractCount);
// Cuts at the point (fractCount 0) or adds a point and zeros up to fractCount.
std::string PadFraction(std::string text, int fractCount);

// Upper-casing of names: only the letters a to z change. Inline: every name
// lookup of the database library runs it per character.
inline char UpperAscii(char c) {
  return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}
// Orders names by bytes (unsigned) after UpperAscii; on a tie of the common
// part the shorter name comes first. Negative, zero or positive.
int CompareNoCase(std::string_view a, std::string_view b);
std::string ToUpper(const std::string& text);
void UpperInPlace(char* text);
void UpperInPlace(std::string& text);
void UpperCaseChars(std::string::iterator first, std::string::iterator last);
void UpperCaseLocale(std::string::iterator first, std::string::iterator last, const std::locale& loc);
std::string ToUpperCopyAt(const std::string& text, std::size_t pos, std::size_t count,
                          const std::locale& loc);
std::string ToUpperCopy(const std::string& text, const std::locale& loc);
