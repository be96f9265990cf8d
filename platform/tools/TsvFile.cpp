#include "TsvFile.h"

#include <set>

#include "DictModel.h"

using qordb::UpperAscii;

namespace {

std::vector<std::string> Split(const std::string& line) {
  std::vector<std::string> out(1);
  for (char c : line) {
    if (c == '\t') out.emplace_back();
    else out.back() += c;
  }
  return out;
}

}  // namespace

TsvFile TsvFile::Parse(const std::string& text) {
  TsvFile file;
  if (text.rfind("\xEF\xBB\xBF", 0) == 0) {
    throw TsvFileError(1, "the file begins with a UTF-8 byte-order mark; records are read as Windows-1250 text");
  }
  std::set<std::string> names;
  int lineNo = 0;
  size_t pos = 0;
  while (pos < text.size()) {
    size_t end = text.find('\n', pos);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(pos, end - pos);
    pos = end + 1;
    ++lineNo;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty()) continue;
    if (line.find('\0') != std::string::npos) throw TsvFileError(lineNo, "the line holds a NUL byte");
    std::vector<std::string> values = Split(line);
    if (file.header.empty()) {
      for (const std::string& name : values) {
        if (name.empty()) throw TsvFileError(lineNo, "the header holds an empty field name");
        if (!names.insert(UpperAscii(name)).second) throw TsvFileError(lineNo, "the header names " + name + " twice");
      }
      file.headerLine = lineNo;
      file.header = std::move(values);
      continue;
    }
    if (values.size() != file.header.size()) {
      throw TsvFileError(lineNo, "the line has " + std::to_string(values.size()) + " values, the header names " +
                                     std::to_string(file.header.size()) + " fields");
    }
    file.rows.push_back({lineNo, std::move(values)});
  }
  if (file.header.empty()) throw TsvFileError(0, "no header line naming the fields");
  return file;
}

TsvFile TsvFile::ReadFile(const std::string& path) {
  return ParseTextFile<TsvFileError>(path, "cannot read the file", TsvFile::Parse);
}
