// Field buffers: text conversions by field type and packed record images.
#include <algorithm>
#include <cstring>

#include "DbDescription.h"
#include "DbDescription_Internal.h"

using qor_detail::DecimalText;
using qor_detail::LoadAs;
using qor_detail::ParseDoubleC;
using qor_detail::ParseIntC;
using qor_detail::StoreAs;

namespace {

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

std::string DbDescription::GetFieldText(int fieldNumber) const {
  std::string out;
  FieldTextInto(fieldNumber, out);
  return out;
}

void DbDescription::FieldTextInto(int fieldNumber, std::string& out) const {
  const FieldSlot* slot = SlotOf(fieldNumber);
  if (!slot) throw DbDescError(2003);
  if (slot->length > 0)
    FieldToText(ValueAt(fieldNumber, *slot), out, fieldNumber);
  else
    out.clear();
}

const char* DbDescription::FieldBuffer(int fieldNumber, size_t& length) const {
  const FieldSlot* slot = SlotOf(fieldNumber);
  if (!slot) throw DbDescError(2003);
  length = size_t(slot->length);
  return ValueAt(fieldNumber, *slot);
}

std::string DbDescription::GetFieldTextByName(const std::string& record,
                                              const std::string& field) const {
  const int number = GetFieldNumber(record, field);
  if (number < 0) throw DbDescError(2003, StringVector(record) << field);
  return GetFieldText(number);
}

void DbDescription::GetFieldTexts(const std::string& record, const StringVector& names,
                                  StringVector& out) const {
  out.clear();
  for (const std::string& name : names) out.push_back(GetFieldTextByName(record, name));
}

bool DbDescription::SetFieldText(int fieldNumber, const std::string& text) {
  const FieldSlot* slot = SlotOf(fieldNumber);
  if (!slot || slot->length == 0) return false;
  return TextToField(ValueAt(fieldNumber, *slot), text, fieldNumber);
}

bool DbDescription::SetFieldInteger(int fieldNumber, int64_t value) {
  const FieldSlot* slot = SlotOf(fieldNumber);
  if (!slot || slot->length == 0) return false;
  // As TextToField stores the number its text reads as.
  switch (GetFieldEntry(fieldNumber).type) {
    case 's':
      StoreAs(ValueAt(fieldNumber, *slot), uint16_t(uint64_t(value)));
      return true;
    case 'i':
    case 'l':
    case 'd':
      StoreAs(ValueAt(fieldNumber, *slot), uint32_t(uint64_t(value)));
      return true;
    default:
      return false;
  }
}

bool DbDescription::FieldToText(const char* buffer, std::string& out, int fieldNumber) const {
  out.clear();
  const FIELD_ENTRY_S f = GetFieldEntry(fieldNumber);
  const bool isUnsigned = (f.flags & kFieldUnsigned) != 0;
  switch (f.type) {
    case 'F':
      out = ToString(LoadAs<double>(buffer), -1);
      return true;
    case 'f':
      out = ToString(double(LoadAs<float>(buffer)), -1);
      return true;
    case 'c':
      if (f.length == 1) {
        if (isUnsigned || buffer[0] != 0) out.assign(1, buffer[0]);
      } else if (f.length > 1) {
        const void* nul = std::memchr(buffer, 0, size_t(f.length));
        out.assign(buffer, nul ? size_t(static_cast<const char*>(nul) - buffer) : size_t(f.length));
      }
      return true;
    case 'i':
      out = DecimalText(LoadAs<int32_t>(buffer));
      return true;
    case 'l':
      out = isUnsigned ? DecimalText(LoadAs<uint32_t>(buffer)) : DecimalText(LoadAs<int32_t>(buffer));
      return true;
    case 'd':
      out = DecimalText(LoadAs<uint32_t>(buffer));
      return true;
    case 's':
      out = isUnsigned ? DecimalText(LoadAs<uint16_t>(buffer)) : DecimalText(LoadAs<int16_t>(buffer));
      return true;
    default:
      return false;
  }
}

bool DbDescription::TextToField(char* buffer, const std::string& text, int fieldNumber) const {
  const FIELD_ENTRY_S f = GetFieldEntry(fieldNumber);
  switch (f.type) {
    case 'F':
      StoreAs(buffer, ParseDoubleC(text));
      return true;
    case 'f':
      StoreAs(buffer, qor_detail::NarrowToFloat(ParseDoubleC(text)));
      return true;
    case 'c':
      if (f.length == 1) {
        buffer[0] = char(TextToChar(text));
      } else {
        if (int64_t(text.size()) > int64_t(f.length) - 1) throw DbDescError(2006);
        // Only the text and its NUL: the bytes after it keep what they held.
        std::memcpy(buffer, text.c_str(), text.size() + 1);
      }
      return true;
    case 's':
      StoreAs(buffer, uint16_t(uint64_t(ParseIntC(text))));
      return true;
    case 'i':
    case 'l':
    case 'd':
      // Parsed wide so that unsigned values above 2147483647 keep their bits.
      StoreAs(buffer, uint32_t(uint64_t(ParseIntC(text))));
      return true;
    default:
      return false;
  }
}

unsigned char DbDescription::TextToChar(const std::string& text) {
  if (text.empty()) return 0;
  if (text.size() == 1) return static_cast<unsigned char>(text[0]);
  std::string upper = ToUpper(text);
  if (upper.size() == 4) {
    if (upper.compare(0, 2, "0X") != 0) throw DbDescError(2004);
    upper = upper.substr(2);
  }
  if (upper.size() == 2) {
    const int high = HexDigit(upper[0]);
    const int low = HexDigit(upper[1]);
    if (high >= 0 && low >= 0) return static_cast<unsigned char>(high * 16 + low);
  }
  throw DbDescError(2004);
}

void DbDescription::ZeroFields(int recordIndex) {
  Bytes& values = m_values[size_t(recordIndex)].bytes;
  std::fill(values.begin(), values.end(), 0);
}

void DbDescription::UnpackAt(int recordIndex, const char* image) {
  RecordValues& values = m_values[size_t(recordIndex)];
  if (values.bytes.empty()) return;
  if (values.overlapping) {
    for (const FieldSlot& slot : values.fields)
      if (slot.length > 0)
        std::memcpy(&values.bytes[size_t(slot.offset)], image + slot.imageOffset,
                    size_t(slot.length));
    return;
  }
  std::memcpy(values.bytes.data(), image, values.bytes.size());
  for (const auto& [offset, length] : values.gaps)
    std::memset(&values.bytes[size_t(offset)], 0, size_t(length));
}

DbDescription::Bytes DbDescription::PackAt(int recordIndex) const {
  Bytes image;
  PackAt(recordIndex, image);
  return image;
}

void DbDescription::PackAt(int recordIndex, Bytes& image) const {
  image.resize(size_t(RecordLength(recordIndex)));
  PackInto(recordIndex, image.data());
}

void DbDescription::PackInto(int recordIndex, char* out) const {
  const RecordValues& values = m_values[size_t(recordIndex)];
  if (!values.overlapping) {
    // The bytes between fields are zero, so they carry nothing from memory.
    std::copy(values.bytes.begin(), values.bytes.end(), out);
    return;
  }
  // Field by field in dictionary order: a field laid over another's bytes
  // is stored as written, over what the other put there.
  std::fill_n(out, RecordLength(recordIndex), 0);
  for (const FieldSlot& slot : values.fields)
    if (slot.length > 0)
      std::memcpy(out + slot.imageOffset, &values.bytes[size_t(slot.offset)], size_t(slot.length));
}

bool DbDescription::UnpackRecord(const char* image, const std::string& record) {
  const int index = IndexOfRecord(record);
  if (index < 0 || !image) return false;
  UnpackAt(index, image);
  return true;
}

bool DbDescription::PackRecord(const std::string& record, Bytes& out) const {
  const int index = IndexOfRecord(record);
  if (index < 0) return false;
  PackAt(index, out);
  return true;
}

bool DbDescription::ClearFields(const std::string& record) {
  const int index = IndexOfRecord(record);
  if (index < 0) return false;
  ZeroFields(index);
  return true;
}

bool DbDescription::UnpackRecordOfType(int recordType, const char* image) {
  const int index = IndexOfType(recordType);
  if (index < 0 || !image) return false;
  UnpackAt(index, image);
  return true;
}

bool DbDescription::PackRecordOfType(int recordType, char* out) const {
  const int index = IndexOfType(recordType);
  if (index < 0) return false;
  PackInto(index, out);
  return true;
}

bool DbDescription::ClearFieldsOfType(int recordType) {
  const int index = IndexOfType(recordType);
  if (index < 0) return false;
  ZeroFields(index);
  return true;
}
