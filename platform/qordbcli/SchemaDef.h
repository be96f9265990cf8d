// The model of one database's dictionary as an administrator defines it:
// record types with their fields in dictionary order. The server turns it into
// the dictionary image that clients read and into its own tables and indexes.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace qordb {

// A schema that cannot be served (bad type, length, name, key, ...).
class SchemaError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct FieldDef {
  std::string name;
  // 'c' character array, 's' 16-bit, 'i' 32-bit signed, 'l' 32-bit, 'd' 32-bit
  // unsigned, 'f' float, 'F' double, 'g' group, 'k' compound key.
  char type = 'c';
  // Bytes of the value. Needed for 'c' only; 0 takes the type's size for the
  // numbers, and groups and compound keys compute their own.
  int length = 0;
  bool isUnsigned = false;  // the dictionary's flag bit 4
  // 'n' not a key, 'u' unique key, any other letter a key that allows
  // duplicates ('d' by convention). Groups are never keys.
  char keyKind = 'n';
  // 'g': how many of the fields right after it the group gathers.
  int groupFields = 0;
  // 'k': the names of its component fields, in comparison order.
  std::vector<std::string> components;

  bool IsData() const { return type != 'g' && type != 'k'; }
  bool IsKey() const { return keyKind != 'n'; }
};

struct RecordDef {
  std::string name;
  std::vector<FieldDef> fields;  // dictionary order; a field's position is its index
};

struct SchemaDef {
  std::string name;  // database name; matched in upper case
  std::vector<RecordDef> records;
  int32_t version[4] = {1, 0, 0, 0};  // major, minor, sub, build (SYSDB "tablespace")

  // Throws SchemaError naming the record and field at fault: empty or
  // duplicate names (compared in upper case), unknown type letters, bad
  // lengths, groups reaching past the record, compound keys over unknown or
  // non-data fields, a key field numbered 1 (the client's default key:
  // position 1 of the first record), sizes beyond the dictionary's 16 bits.
  void Validate() const;
};

// The position of the field named name in r, names compared in upper case as
// everywhere in a schema; -1 when r has no such field.
int FieldPosition(const RecordDef& r, const std::string& name);

// The fixed catalogue database of every server, id 19: "tablespace",
// "dbuser" and "sequencies".
SchemaDef SysdbSchema();

// The dictionary image of a valid schema, in the layout the client parses.
std::vector<char> BuildDictionaryImage(const SchemaDef& schema);

}  // namespace qordb
