#include "StringVector.h"

#include <charconv>

#include "QorUtils.h"

namespace {

template <class Int>
std::string DecimalText(Int n) {
  char buf[24];
  auto res = std::to_chars(buf, buf + sizeof buf, n);
  return std::string(buf, res.ptr);
}

}  // namespace

StringVector::StringVector() = default;
StringVector::StringVector(const char* text) { *this << text; }
StringVector::StringVector(const std::string& s) { Assign(s); }
StringVector::StringVector(int n) : StringVector(static_cast<long>(n)) {}
StringVector::StringVector(long n) { *this << n; }
StringVector::StringVector(double v) { *this << v; }
StringVector::StringVector(const StringVector& other) = default;
StringVector::StringVector(StringVector&& other) noexcept = default;
StringVector& StringVector::operator=(const StringVector& other) = default;
StringVector& StringVector::operator=(StringVector&& other) noexcept = default;
StringVector::~StringVector() = default;

StringVector& StringVector::Assign(const std::string& s) {
  clear();
  return Append(s);
}

StringVector& StringVector::Append(const std::string& s) {
  push_back(s);
  return *this;
}

StringVector& StringVector::operator<<(const char* text) { return Append(text ? text : ""); }
StringVector& StringVector::operator<<(const std::string& s) { return Append(s); }
StringVector& StringVector::operator<<(int n) { return Append(DecimalText(n)); }
StringVector& StringVector::operator<<(unsigned int n) {
  return Append(DecimalText(static_cast<int>(n)));
}
StringVector& StringVector::operator<<(unsigned long n) {
  return Append(DecimalText(static_cast<long>(n)));
}
StringVector& StringVector::operator<<(long n) { return Append(DecimalText(n)); }
StringVector& StringVector::operator<<(double v) { return Append(GcvtText(v, 16)); }
