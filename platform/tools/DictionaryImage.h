// A reading of the dictionary image a server hands to clients: the header's
// counts, the record, field and key tables and the names after them. It is
// written from the layout alone, apart from the server's own builder, so the
// tests can hold one against the other; load reads field names through it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct DictionaryImage {
  struct Record {
    int16_t fileNumber, slotLength, dataOffset, firstField, totalFields, flags;
    std::string name;  // as stored
  };
  struct Field {
    char keyKind, type;
    int16_t length;
    int16_t dimensions[3];
    int16_t keyFile, keyNumber;
    int16_t offset;  // in the slot; for 'k' the key-table index of its first component
    int16_t recordIndex;
    int16_t flags;
    std::string name;

    bool IsData() const { return type != 'g' && type != 'k'; }
  };
  struct Key {
    int16_t compoundField, componentField, stored[2];
  };

  // The counts exactly as the header gives them.
  int16_t fileCount = 0, recordCount = 0, fieldCount = 0, setCount = 0, memberCount = 0, sortCount = 0,
          keyCount = 0;
  std::vector<Record> records;
  std::vector<Field> fields;
  std::vector<Key> keys;
  size_t namesEnd = 0;  // offset just past the last field name's line feed

  // Throws std::runtime_error when a table or a name is cut off, or a count is negative.
  static DictionaryImage Parse(const std::vector<char>& image);

  // Field-table indexes of a record's fields, in dictionary order: the entries
  // from its first-field index on that carry its record index.
  std::vector<int> FieldsOf(int recordIndex) const;
  // Field-table indexes of a compound key's components, in key order.
  std::vector<int> ComponentsOf(int fieldIndex) const;
  // Record index by name, compared in upper case; -1 when none.
  int RecordByName(const std::string& name) const;
};
