// Date-time values from outside: a day-number double and the format text of
// QorDateTime::Format, or six calendar parts. The input is 8 bytes of a
// double, one byte of flags, then the format text (whose first 12 bytes
// are also read as the six parts).
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "QorDateTime.h"
#include "QorExceptBase.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 9) return 0;
  double value;
  std::memcpy(&value, data, 8);
  const uint8_t flags = data[8];
  const std::string format(reinterpret_cast<const char*>(data + 9), size - 9);
  try {
    QorDateTime t;
    t.FromDouble(value, (flags & 1) != 0, false);
    t.Format(format, (flags & 2) != 0);
    t.ToDouble();
    t.ToUnixTimeEx((flags & 2) != 0);
    if (format.size() >= 12) {
      int16_t parts[6];
      std::memcpy(parts, format.data(), sizeof parts);
      QorDateTime fromParts(parts[0], parts[1], parts[2], parts[3], parts[4], parts[5],
                            (flags & 4) != 0);
      fromParts.Format(format, (flags & 2) != 0);
      fromParts.ToDoubleEx((flags & 2) != 0);
      short y, m, d;
      fromParts.GetDate(y, m, d);
    }
  } catch (const QorExceptBase&) {
    // A value out of range is the library's error, never a crash.
  }
  return 0;
}
