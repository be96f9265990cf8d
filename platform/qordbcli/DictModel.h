// The server's reading of a stored dictionary image: what it needs to store,
// index and compare record images. Built once per opened database.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace qordb {

struct FieldModel {
  std::string name;  // upper case
  char type = 0;
  char keyKind = 'n';
  int length = 0;
  int offset = 0;  // within the record image (slot offset - data offset)
  uint16_t flags = 0;
  std::vector<int> components;  // 'k': positions of its component fields

  bool IsData() const { return type != 'g' && type != 'k'; }
  bool IsKey() const { return keyKind != 'n'; }
  bool IsInteger() const { return type == 's' || type == 'i' || type == 'l' || type == 'd'; }
  bool IsUnsigned() const { return (flags & 4) != 0; }
};

struct RecordModel {
  std::string name;  // upper case
  int imageLength = 0;
  std::vector<FieldModel> fields;  // by position
  // Key columns of the record's table, one per data field that is a key or
  // a component of a compound key; keyColumn[pos] is -1 for the others.
  std::vector<int> keyColumn;
  // Per field position, what KeyParts answers.
  std::vector<std::vector<int>> keyParts;

  // The data positions a key compares, in order: the field itself or the
  // components of a compound key. Empty for a field that is not a key.
  const std::vector<int>& KeyParts(int position) const;
  int FieldByName(std::string_view upperName) const;  // position or -1
};

struct DictModel {
  std::vector<RecordModel> records;

  // Throws std::runtime_error for an image it cannot read or that could not
  // be served safely: tables or fields outside the image or their record, a
  // record of more than 999 fields, a field narrower than its type.
  static DictModel Parse(const char* image, size_t length);
  int RecordByName(std::string_view upperName) const;  // index or -1
};

// Names are compared after changing a-z only.
std::string UpperAscii(std::string_view text);
inline char UpperAscii(char c) {
  return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

// memcpy that takes the null pointers of empty buffers (zero-length record
// images) without touching them.
void CopyBytes(char* to, const void* from, size_t n);

// The stored form of an image: data fields copied, the bytes after a
// character field's NUL and the bytes no data field covers zeroed.
void NormaliseImage(const RecordModel& rec, const char* in, char* out);

// A data field's value as the client reads it (decimal numbers, text up to
// the NUL, a one-byte field as its character).
std::string FieldText(const FieldModel& field, const char* image);
// Stores text into a data field of the image; false with a reason when the
// text does not fit or does not parse.
bool SetFieldText(const FieldModel& field, std::string_view text, char* image, std::string& why);

// The bytes the stored form of a number type takes (0 for the others, whose
// length is their own); a field narrower than that would be read past its end.
int TypeSize(char type);

// Little-endian reads of a field for callers that know its type.
int64_t FieldInteger(const FieldModel& field, const char* image);
void SetFieldInteger(const FieldModel& field, int64_t value, char* image);

}  // namespace qordb
