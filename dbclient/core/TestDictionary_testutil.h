// Builds dictionary images for unit tests, laid out as the server lays them:
// each record's data starts at a small offset in its slot, and data fields
// follow one another in declaration order.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "DbDescription.h"

class TestDictionary {
 public:
  // Starts a record; the fields declared next belong to it.
  TestDictionary& Record(const std::string& name);
  TestDictionary& Field(const std::string& name, char type, int16_t length, char keyKind = 'n',
                        int16_t flags = 0);
  // Lays the field declared last over the bytes of an earlier field of its
  // record, from that field's first byte on, as a dictionary made elsewhere
  // may; the fields after it follow the last byte of those before.
  TestDictionary& LaidOver(const std::string& field);
  // A group: it gathers the fields after it and has no bytes of its own.
  TestDictionary& Group(const std::string& name);
  // A compound key over fields of the current record, named in order.
  TestDictionary& CompoundKey(const std::string& name, std::vector<std::string> components,
                              char keyKind = 'u');

  std::vector<char> Image() const;
  // A description loaded from Image() with the given handle.
  DbDescription Load(const std::string& dbName = "testdb", int dbId = 7, int handle = 55) const;

  // The dictionary most tests share:
  //  PERSON (10000): ID 'l' unique, SEX 'c' 1, NAME 'c' 10 key, AGE 's'
  //  (NAME is not at position 1: key value 1 means the default key)
  //  ITEM (10001): CODE 'c' 4, G group, QTY 's' unsigned, PRICE 'F', W 'f',
  //                BIG 'd', UL 'l' unsigned, I 'i', K compound unique key (CODE, QTY)
  //  EMPTY (10002): no fields
  static TestDictionary Sample();

  // Where a record's data begins in its slot.
  static constexpr int16_t kDataOffset = 4;

 private:
  struct FieldDef {
    std::string name;
    char type;
    int16_t length;
    char keyKind;
    int16_t flags;
    int record;
    std::vector<std::string> components;
    std::string over;  // the field whose bytes it shares; none when empty
  };
  std::vector<std::string> m_records;
  std::vector<FieldDef> m_fields;
};
