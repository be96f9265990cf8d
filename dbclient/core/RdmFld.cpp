#include "RdmFld.h"

#include <algorithm>
#include <cstring>

#include "DbDescription_Internal.h"

using qor_detail::DecimalText;
using qor_detail::LoadAs;
using qor_detail::ParseDoubleC;
using qor_detail::ParseIntC;

namespace {

// The C run time's stricmp: bytes upper-cased (a to z only), unsigned.
int CompareNoCase(const std::string& a, const std::string& b) {
  const size_t n = std::min(a.size(), b.size());
  for (size_t i = 0; i < n; ++i) {
    unsigned char x = static_cast<unsigned char>(a[i]);
    unsigned char y = static_cast<unsigned char>(b[i]);
    if (x >= 'a' && x <= 'z') x = static_cast<unsigned char>(x - 'a' + 'A');
    if (y >= 'a' && y <= 'z') y = static_cast<unsigned char>(y - 'a' + 'A');
    if (x != y) return int(x) - int(y);
  }
  return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

signed char FirstChar(const std::string& text) {
  return text.empty() ? 0 : static_cast<signed char>(text[0]);
}

// parse applied to the text a floating-point field shows for value (its 16
// significant digits), made on the stack.
template <class Parse>
auto FloatDigits(double value, Parse parse) {
  char buf[kGcvtChars];
  return parse(GcvtChars(value, 16, buf));
}

}  // namespace

RdmFld::RdmFld() = default;

RdmFld::RdmFld(std::string record, std::string field, char type, short length, bool isUnsigned)
    : m_record(std::move(record)), m_field(std::move(field)) {
  switch (type) {
    case 'F': length = 8; break;
    case 'd': case 'f': case 'i': case 'l': length = 4; break;
    case 's': length = 2; break;
    case 'c':
      // A negative length would let raw reads run off the value.
      if (length <= 0) Refuse();
      break;
    default: Refuse();
  }
  m_entry.type = type;
  m_entry.length = length;
  m_entry.flags = isUnsigned ? kFieldUnsigned : 0;
}

RdmFld::RdmFld(DbDescription* owner, std::string record, std::string field, bool detached)
    : m_owner(owner), m_record(std::move(record)), m_field(std::move(field)), m_detached(detached) {
  if (!m_owner) throw DbDescError(2003);
  m_number = m_owner->GetFieldNumber(m_record, m_field);
  m_entry = m_owner->GetFieldEntry(m_number);
}

RdmFld::RdmFld(const RdmFld& other) { *this = other; }

RdmFld& RdmFld::operator=(const RdmFld& other) {
  if (this == &other) return *this;
  m_operand.reset();
  m_owner = other.m_owner;
  m_record = other.m_record;
  m_field = other.m_field;
  m_number = other.m_number;
  m_entry = other.m_entry;
  m_detached = other.m_detached;
  m_text = other.m_text;
  std::memcpy(m_stored, other.m_stored, sizeof m_stored);
  m_textFromStored = other.m_textFromStored;
  return *this;
}

RdmFld::~RdmFld() = default;

void RdmFld::Refuse() const { throw DbDescError(2006, StringVector(m_record) << m_field); }

void RdmFld::CheckReadable(bool numeric) const {
  if (m_entry.type == 'g' || m_entry.type == 'k') Refuse();
  if (numeric && m_entry.type == 'c' && m_entry.length > 1) Refuse();
}

void RdmFld::Refresh() const {
  if (m_detached) return;
  m_owner->FieldTextInto(m_number, m_text);
  m_textFromStored = false;
}

const char* RdmFld::LoadStored() const {
  size_t length = 0;
  const char* buffer = m_owner->FieldBuffer(m_number, length);
  if (length >= sizeof m_stored) {
    std::memcpy(m_stored, buffer, sizeof m_stored);
  } else {
    std::memset(m_stored, 0, sizeof m_stored);
    std::memcpy(m_stored, buffer, length);
  }
  m_textFromStored = true;
  return m_stored;
}

int64_t RdmFld::StoredInteger() const {
  const char* p = LoadStored();
  const bool isUnsigned = (m_entry.flags & kFieldUnsigned) != 0;
  switch (m_entry.type) {
    case 'c':
      return static_cast<signed char>(p[0]);
    case 's':
      return isUnsigned ? int64_t(LoadAs<uint16_t>(p)) : int64_t(LoadAs<int16_t>(p));
    case 'i':
      return LoadAs<int32_t>(p);
    case 'l':
      return isUnsigned ? int64_t(LoadAs<uint32_t>(p)) : int64_t(LoadAs<int32_t>(p));
    case 'd':
      return LoadAs<uint32_t>(p);
    case 'F':
      return FloatDigits(LoadAs<double>(p), ParseIntC);
    case 'f':
      return FloatDigits(double(LoadAs<float>(p)), ParseIntC);
    default:
      return 0;
  }
}

double RdmFld::StoredDouble() const {
  switch (m_entry.type) {
    case 'F':
      return FloatDigits(LoadAs<double>(LoadStored()), ParseDoubleC);
    case 'f':
      return FloatDigits(double(LoadAs<float>(LoadStored())), ParseDoubleC);
    default:
      return double(StoredInteger());
  }
}

// ---- Readers ----

long RdmFld::AsLong() const {
  CheckReadable(true);
  if (!m_detached) return long(StoredInteger());
  if (m_entry.type == 'c') return FirstChar(m_text);
  return long(ParseIntC(m_text));
}

int RdmFld::AsInt() const { return int(uint32_t(uint64_t(AsLong()))); }

short RdmFld::AsShort() const { return short(AsInt()); }

float RdmFld::AsFloat() const { return qor_detail::NarrowToFloat(AsDouble()); }

double RdmFld::AsDouble() const {
  CheckReadable(true);
  if (!m_detached) return StoredDouble();
  if (m_entry.type == 'c') return FirstChar(m_text);
  return ParseDoubleC(m_text);
}

unsigned long RdmFld::AsULong() const { return static_cast<unsigned long>(AsLong()); }
unsigned int RdmFld::AsUInt() const { return static_cast<unsigned int>(AsInt()); }
unsigned short RdmFld::AsUShort() const { return static_cast<unsigned short>(AsShort()); }

char RdmFld::AsChar() const {
  CheckReadable(false);
  Refresh();
  return m_text.empty() ? 0 : m_text[0];
}

const char* RdmFld::GetText() const {
  CheckReadable(false);
  Refresh();
  return m_text.c_str();
}

std::string RdmFld::AsString() const { return GetText(); }

// ---- Writers ----

RdmFld& RdmFld::Write(const std::string& text) {
  if (m_detached) {
    m_text = text;
    m_textFromStored = false;
  } else {
    m_owner->SetFieldText(m_number, text);
  }
  return *this;
}

RdmFld& RdmFld::WriteInteger(int64_t value) {
  // A bound integer field takes the number as its text would give it, without
  // the text being written and read back.
  if (!m_detached && m_owner->SetFieldInteger(m_number, value)) return *this;
  return Write(DecimalText(value));
}

RdmFld& RdmFld::SetLong(long value) { return WriteInteger(value); }
RdmFld& RdmFld::SetInt(int value) { return WriteInteger(value); }
RdmFld& RdmFld::SetShort(short value) { return WriteInteger(value); }

RdmFld& RdmFld::SetFloat(float value) { return SetDouble(double(value)); }

RdmFld& RdmFld::SetDouble(double value) {
  const std::string text = ToString(value, -1);
  Write(text);
  m_text = text;
  m_textFromStored = false;
  return *this;
}

RdmFld& RdmFld::SetText(const char* text) { return Write(text ? text : ""); }
RdmFld& RdmFld::SetString(const std::string& text) { return Write(text); }
RdmFld& RdmFld::SetChar(char value) { return Write(value ? std::string(1, value) : std::string()); }

RdmFld& RdmFld::SetRaw(const void* value) {
  const bool isUnsigned = (m_entry.flags & kFieldUnsigned) != 0;
  switch (m_entry.type) {
    case 'F':
      return SetDouble(LoadAs<double>(value));
    case 'c': {
      if (isUnsigned) Refuse();
      const char* p = static_cast<const char*>(value);
      if (m_entry.length < 2) return SetChar(p[0]);
      // A text that fills its field has no NUL: read no further than the field.
      return SetString(std::string(p, strnlen(p, size_t(m_entry.length))));
    }
    case 'd':
      // Stored unsigned: read so, or values above 2147483647 turn negative.
      return SetLong(long(LoadAs<uint32_t>(value)));
    case 'l':
      return SetLong(isUnsigned ? long(LoadAs<uint32_t>(value)) : long(LoadAs<int32_t>(value)));
    case 'f':
      return SetFloat(LoadAs<float>(value));
    case 'i':
      return SetInt(LoadAs<int32_t>(value));
    case 's':
      return isUnsigned ? SetLong(long(LoadAs<uint16_t>(value))) : SetShort(LoadAs<int16_t>(value));
    default:
      Refuse();
  }
}

// ---- Other members ----

void RdmFld::Detach() {
  // The value keeps the text of what it last read.
  if (m_textFromStored) m_owner->FieldToText(m_stored, m_text, m_number);
  m_textFromStored = false;
  m_detached = true;
}
bool RdmFld::IsDetached() const { return m_detached; }
DbDescription* RdmFld::GetDescription() const { return m_owner; }
const char* RdmFld::GetFieldName() const { return m_field.c_str(); }
const char* RdmFld::GetRecordName() const { return m_record.c_str(); }
int RdmFld::GetFieldNumber() const { return m_number; }
FIELD_ENTRY_S RdmFld::GetFieldEntry() const { return m_entry; }

// ---- Comparison ----

RdmFld& RdmFld::Operand(const RdmFld& other) const {
  if (!m_operand) m_operand = std::make_unique<RdmFld>();
  *m_operand = other;
  return *m_operand;
}

std::partial_ordering RdmFld::Compare(const RdmFld& right) const {
  const bool isUnsigned = (m_entry.flags & kFieldUnsigned) != 0;
  switch (m_entry.type) {
    case 'F':
      return AsDouble() <=> right.AsDouble();
    case 'f':
      return AsFloat() <=> right.AsFloat();
    case 'c': {
      // Both sides read now: a bound operand shows its buffer, not a stale text.
      const std::string left = AsString();
      const std::string other = right.AsString();
      if (m_entry.length == 1) return FirstChar(left) <=> FirstChar(other);
      return CompareNoCase(left, other) <=> 0;
    }
    case 'i':
      if (isUnsigned) return AsUInt() <=> right.AsUInt();
      return AsInt() <=> right.AsInt();
    case 'l':
      if (isUnsigned) return AsULong() <=> right.AsULong();
      return AsLong() <=> right.AsLong();
    case 's':
      if (isUnsigned) return AsUShort() <=> right.AsUShort();
      return AsShort() <=> right.AsShort();
    default:
      Refuse();
  }
}

std::partial_ordering RdmFld::CompareWith(const RdmFld& other) const {
  // Only a bound operand needs the copy: reading it refreshes its text, and
  // the caller's field keeps the text it had.
  return Compare(other.m_detached ? other : Operand(other));
}

bool RdmFld::operator<(const RdmFld& other) const { return CompareWith(other) < 0; }
bool RdmFld::operator>(const RdmFld& other) const { return CompareWith(other) > 0; }
bool RdmFld::operator==(const RdmFld& other) const { return CompareWith(other) == 0; }

bool RdmFld::EqualsText(const std::string& text) const {
  RdmFld& operand = Operand(*this);
  operand.m_detached = true;
  operand.SetString(text);
  return Compare(operand) == 0;
}
