// The schema text file from which qorserver adds a database: one database,
// its records, their typed fields, groups and keys. README.md describes the
// format. Parse checks what the server and the client rely on and names the
// line of the first fault, so a schema that parses can be served as it stands.
#pragma once

#include <cstdint>
#include <string>

#include "SchemaDef.h"
#include "TextFileError.h"

struct SchemaFile {
  qordb::SchemaDef schema;
  int32_t id = 0;  // the database id the file asks for; 0 lets the server pick

  // Both throw SchemaFileError.
  static SchemaFile Parse(const std::string& text);
  static SchemaFile ParseFile(const std::string& path);
};

class SchemaFileError : public TextFileError {
 public:
  using TextFileError::TextFileError;
};
