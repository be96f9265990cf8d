#include "TsvFile.h"

#include <fstream>
#include <iterator>
#include <set>

namespace {

std::vector<std::string> Split(const std::string& line) {
  std::vector<std::string> out(1);
  for (char c : line) {
    if (c == '\t') out.emplace_back();
    else out.back() += c;
  }
  return out;
}

std::string Upper(std::string s) {
  for (char& c : s) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return s;
}

}  // namespace

TsvFileError::TsvFileError(int line, const std::string& message, const std::string& source)
    : std::runtime_error((source.empty() ? "" : source + (line > 0 ? ", " : ": ")) +
                         (line > 0 ? "line " + std::to_string(line) + ": " : "") + message),
      line_(line),
      message_(message) {}

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
        if (!names.insert(Upper(name)).second) throw TsvFileError(lineNo, "the header names " + name + " twice");
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
  std::ifstream in(path, std::ios::binary);
  if (!in) throw TsvFileError(0, "cannot read the file", path);
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  try {
    return Parse(text);
  } catch (const TsvFileError& e) {
    throw TsvFileError(e.Line(), e.Message(), path);
  }
}
