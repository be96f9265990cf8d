// The schema text file from which qorserver adds a database: one database,
// its records, their typed fields, groups and keys. README.md describes the
// format. Parse checks what the server and the client rely on and names the
// line of the first fault, so a schema that parses can be served as it stands.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

#include "SchemaDef.h"

struct SchemaFile {
  qordb::SchemaDef schema;
  int32_t id = 0;  // the database id the file asks for; 0 lets the server pick

  // Both throw SchemaFileError.
  static SchemaFile Parse(const std::string& text);
  static SchemaFile ParseFile(const std::string& path);
};

class SchemaFileError : public std::runtime_error {
 public:
  // line 0: the fault belongs to no one line. source names the file, if any.
  SchemaFileError(int line, const std::string& message, const std::string& source = "");
  int Line() const { return line_; }
  const std::string& Message() const { return message_; }

 private:
  int line_;
  std::string message_;
};
