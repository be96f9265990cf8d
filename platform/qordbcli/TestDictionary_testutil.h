// A reading of a dictionary image written for the tests alone, straight from
// the layout the client parses (header, seven tables, names), so the server's
// images are checked against something other than its own code.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct TestField {
  char keyKind, type;
  int16_t length, keyFile, keyNumber, offset, record, flags;
  std::string name;
};

struct TestRecord {
  int16_t file, slot, dataOffset, firstField, total, flags;
  std::string name;
};

struct TestKey {
  int16_t owner, component, a, b;
};

struct TestDictionary {
  int counts[7] = {};  // files, records, fields, sets, members, sorts, keys
  std::vector<TestRecord> records;
  std::vector<TestField> fields;
  std::vector<TestKey> keys;
  size_t namesEnd = 0;  // where the last name's line feed ended

  // Fails the current test (and returns false) for an image it cannot read.
  bool Read(const char* image, size_t length);

  int Rt(const std::string& record) const;  // record type or -1
  int ImageLength(const std::string& record) const;
  const TestField& Field(const std::string& record, const std::string& field) const;
  int FieldNumber(const std::string& record, const std::string& field) const;
  // Where a field's value starts in the record image.
  int Offset(const std::string& record, const std::string& field) const {
    return ImageOffset(record, Field(record, field));
  }
  // The record's fields in dictionary order.
  std::vector<const TestField*> FieldsOf(const std::string& record) const;

  // Values in a record image by field name; the field's image offset is its
  // slot offset minus the record's data offset.
  void SetText(std::vector<char>& image, const std::string& record, const std::string& field,
               const std::string& text) const;
  void SetInt(std::vector<char>& image, const std::string& record, const std::string& field, int64_t value) const;
  void SetDouble(std::vector<char>& image, const std::string& record, const std::string& field, double v) const;
  std::string Text(const char* image, const std::string& record, const std::string& field) const;
  int64_t Int(const char* image, const std::string& record, const std::string& field) const;
  double Double(const char* image, const std::string& record, const std::string& field) const;

 private:
  int ImageOffset(const std::string& record, const TestField& f) const;
};
