// Number texts: the C-locale parsing of field texts into every field type,
// the value's text back, and the utility library's number formatting. The
// first byte picks the fraction digits, the rest is the text.
#include <cstddef>
#include <cstdint>
#include <string>

#include "DbDescription.h"
#include "DbDescription_Internal.h"
#include "QorUtils.h"
#include "RdmFld.h"
#include "TestDictionary_testutil.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  static DbDescription description = TestDictionary::Sample().Load();
  const int fraction = int(data[0] % 24) - 2;
  const std::string text(reinterpret_cast<const char*>(data + 1), size - 1);

  const double value = qor_detail::ParseDoubleC(text);
  qor_detail::ParseIntC(text);
  GcvtText(value, 1 + data[0] % 17);
  PadFraction(text, fraction);
  try {
    ToString(value, fraction);
  } catch (const QorExceptBase&) {
    // Too many digits asked for: the library's error 10.
  }

  // Every data field of the sample dictionary, as a field value and a buffer.
  for (const char* record : {"PERSON", "ITEM"}) {
    StringVector names;
    description.GetFieldNamesByName(record, names, false);
    for (const std::string& name : names) {
      try {
        const int number = description.GetFieldNumber(record, name);
        description.SetFieldText(number, text);
        description.GetFieldText(number);
        RdmFld field(&description, record, name, true);
        field.SetText(text.c_str());
        field.AsLong();
        field.AsDouble();
        field.AsString();
        field.EqualsText(text);
        RdmFld other(field);
        other.SetDouble(value);
        (void)(field < other);
      } catch (const QorExceptBase&) {
        // Texts a field refuses (too long, not a byte) are the library's errors.
      }
    }
  }
  return 0;
}
