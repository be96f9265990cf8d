// A tab-separated record file: a header line naming fields, then one line per
// record with its values separated by single tabs. Bytes are taken as they
// stand (Windows-1250); a line's final CR and empty lines are ignored.
#pragma once

#include <string>
#include <vector>

#include "TextFileError.h"

struct TsvFile {
  struct Row {
    int line;
    std::vector<std::string> values;
  };
  int headerLine = 0;
  std::vector<std::string> header;
  std::vector<Row> rows;

  // Both throw TsvFileError: no header, an empty or repeated name (compared
  // in upper case), a row whose value count differs from the header's, a NUL.
  static TsvFile Parse(const std::string& text);
  static TsvFile ReadFile(const std::string& path);
};

class TsvFileError : public TextFileError {
 public:
  using TextFileError::TextFileError;
};
