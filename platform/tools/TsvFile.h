// A tab-separated record file: a header line naming fields, then one line per
// record with its values separated by single tabs. Bytes are taken as they
// stand (Windows-1250); a line's final CR and empty lines are ignored.
#pragma once

#include <stdexcept>
#include <string>
#include <vector>

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

class TsvFileError : public std::runtime_error {
 public:
  TsvFileError(int line, const std::string& message, const std::string& source = "");
  int Line() const { return line_; }
  const std::string& Message() const { return message_; }

 private:
  int line_;
  std::string message_;
};
