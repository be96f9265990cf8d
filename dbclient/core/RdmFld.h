// The value of one field: bound to a description's field buffer, or detached
// with a text of its own. Reads, writes and comparisons follow the field type.
#pragma once

#include <compare>
#include <cstdint>
#include <memory>
#include <string>

#include "DbDescription.h"

class RdmFld {
 public:
  RdmFld();
  // A detached value of a given type; 'c' keeps the length (not 0), the other
  // types have their own. Unknown types give DbDescError 2006 [record, field].
  RdmFld(std::string record, std::string field, char type, short length, bool isUnsigned);
  // A value of the owner's field; an unknown record or field gives 2003.
  RdmFld(DbDescription* owner, std::string record, std::string field, bool detached);
  RdmFld(const RdmFld& other);
  RdmFld& operator=(const RdmFld& other);
  ~RdmFld();

  // Readers. A bound value reads its buffer at every call.
  long AsLong() const;
  int AsInt() const;
  short AsShort() const;
  float AsFloat() const;
  double AsDouble() const;
  unsigned long AsULong() const;
  unsigned int AsUInt() const;
  unsigned short AsUShort() const;
  char AsChar() const;
  // Valid until the value changes or is read again.
  const char* GetText() const;
  std::string AsString() const;

  // Writers; each returns the value for chaining.
  RdmFld& SetLong(long value);
  RdmFld& SetInt(int value);
  RdmFld& SetShort(short value);
  RdmFld& SetFloat(float value);
  RdmFld& SetDouble(double value);
  RdmFld& SetText(const char* text);
  RdmFld& SetString(const std::string& text);
  RdmFld& SetChar(char value);
  // The value in the field's stored form at value.
  RdmFld& SetRaw(const void* value);

  void Detach();
  bool IsDetached() const;
  DbDescription* GetDescription() const;
  const char* GetFieldName() const;
  const char* GetRecordName() const;
  int GetFieldNumber() const;
  FIELD_ENTRY_S GetFieldEntry() const;

  // By this value's type; 'd', 'g' and 'k' give DbDescError 2006.
  bool operator<(const RdmFld& other) const;
  bool operator>(const RdmFld& other) const;
  bool operator==(const RdmFld& other) const;
  // Whether this value equals the text read as a value of this field's type.
  bool EqualsText(const std::string& text) const;

 private:
  void CheckReadable(bool numeric) const;
  void Refresh() const;
  // A bound value's number, read from its buffer (atol and strtod of the
  // text it stands for); the text itself is made only when Detach needs it.
  int64_t StoredInteger() const;
  double StoredDouble() const;
  const char* LoadStored() const;
  RdmFld& Write(const std::string& text);
  // Write of the number's decimal text.
  RdmFld& WriteInteger(int64_t value);
  RdmFld& Operand(const RdmFld& other) const;
  std::partial_ordering Compare(const RdmFld& right) const;
  std::partial_ordering CompareWith(const RdmFld& other) const;
  [[noreturn]] void Refuse() const;

  mutable std::unique_ptr<RdmFld> m_operand;
  DbDescription* m_owner = nullptr;
  std::string m_record;
  std::string m_field;
  int32_t m_number = -1;
  FIELD_ENTRY_S m_entry{};
  mutable std::string m_text;
  // The bytes a numeric read last took from the buffer, when they and not
  // m_text hold the value last read.
  mutable char m_stored[8] = {};
  mutable bool m_textFromStored = false;
  bool m_detached = true;
};
