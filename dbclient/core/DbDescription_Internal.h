// Helpers shared by the description's and the field value's sources: unaligned
// loads and stores, number texts in the C locale, buffers of the client
// library, key restoring.
#pragma once

#include <charconv>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>
#include <string_view>
#include <system_error>
#include <utility>

#include "DbDescription.h"
#include "FncLoader.h"

namespace qor_detail {

inline bool IsCSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// atol-like: white space, a sign, the longest run of digits; no digits give 0.
// The value is kept modulo 2^64 rather than overflowing, so its low 32 or 16
// bits are those of the number written.
inline int64_t ParseIntC(std::string_view s) {
  size_t i = 0;
  while (i < s.size() && IsCSpace(s[i])) ++i;
  bool negative = false;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';
  uint64_t value = 0;
  while (i < s.size() && s[i] >= '0' && s[i] <= '9') value = value * 10 + uint64_t(s[i++] - '0');
  if (negative) value = uint64_t(0) - value;
  return static_cast<int64_t>(value);
}

// strtod-like in the C locale: white space, a sign, the longest valid number.
inline double ParseDoubleC(std::string_view s) {
  size_t i = 0;
  while (i < s.size() && IsCSpace(s[i])) ++i;
  bool negative = false;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) return 0.0;
  double value = 0.0;
  const char* first = s.data() + i;
  const char* last = s.data() + s.size();
  auto [ptr, ec] = std::from_chars(first, last, value, std::chars_format::general);
  if (ec == std::errc::result_out_of_range) {
    // Too large or too small for a double: as strtod, infinity or zero.
    std::string_view rest(first, size_t(ptr - first));
    size_t e = rest.find_first_of("eE");
    bool tiny = e != std::string_view::npos && e + 1 < rest.size() && rest[e + 1] == '-';
    value = tiny ? 0.0 : std::numeric_limits<double>::infinity();
  } else if (ec != std::errc()) {
    value = 0.0;
  }
  return negative ? -value : value;
}

// A value of the image or buffer at p, which need not be aligned.
template <class T>
T LoadAs(const void* p) {
  T v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

template <class T>
void StoreAs(void* p, T v) {
  std::memcpy(p, &v, sizeof v);
}

// A double as single precision; beyond its range the infinity of that sign,
// as the hardware conversion gives it (the language leaves it undefined).
inline float NarrowToFloat(double value) {
  constexpr double kMax = std::numeric_limits<float>::max();
  if (value > kMax) return std::numeric_limits<float>::infinity();
  if (value < -kMax) return -std::numeric_limits<float>::infinity();
  return static_cast<float>(value);
}

template <class Int>
std::string DecimalText(Int value) {
  char buf[32];
  auto [ptr, ec] = std::to_chars(buf, buf + sizeof buf, value);
  (void)ec;
  return std::string(buf, ptr);
}

// A buffer the client library handed out. Release() frees it through
// FreePtr and raises 10038 when that entry is missing; a buffer still held
// when the owner goes (an exception on the way) is freed quietly.
class ClientBuffer {
 public:
  ClientBuffer() = default;
  ClientBuffer(const ClientBuffer&) = delete;
  ClientBuffer& operator=(const ClientBuffer&) = delete;
  ~ClientBuffer() {
    if (m_ptr && GlobalFncLoader && GlobalFncLoader->pfFreePtr) GlobalFncLoader->pfFreePtr(m_ptr);
  }
  char** Address() { return &m_ptr; }
  char* Get() const { return m_ptr; }
  void Release() {
    if (!m_ptr) return;
    auto freePtr = QOR_ENTRY(FreePtr);
    char* p = m_ptr;
    m_ptr = nullptr;
    freePtr(p);
  }

 private:
  char* m_ptr = nullptr;
};

// Puts a record type's current key back on every way out of a scope that
// switched it. Restore() reports a failure; the destructor, reached only on
// an exception, swallows it so that the first failure is the one passed on.
class KeyRestorer {
 public:
  KeyRestorer(DbDescription& owner, std::string record, std::string keyName)
      : m_owner(owner), m_record(std::move(record)), m_keyName(std::move(keyName)) {}
  KeyRestorer(const KeyRestorer&) = delete;
  KeyRestorer& operator=(const KeyRestorer&) = delete;
  ~KeyRestorer() {
    if (m_armed) {
      try {
        m_owner.DefineKey(m_record, m_keyName);
      } catch (...) {
      }
    }
  }
  void Restore() {
    m_armed = false;
    m_owner.DefineKey(m_record, m_keyName);
  }

 private:
  DbDescription& m_owner;
  std::string m_record;
  std::string m_keyName;
  bool m_armed = true;
};

}  // namespace qor_detail
