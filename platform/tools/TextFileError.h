// A fault in a text file that qorserver reads, with the line it is on and,
// once known, the file's name; and the reading of such a file.
#pragma once

#include <stdexcept>
#include <string>

class TextFileError : public std::runtime_error {
 public:
  // line 0: the fault belongs to no one line. source names the file, if any.
  TextFileError(int line, const std::string& message, const std::string& source = "");
  int Line() const { return line_; }
  const std::string& Message() const { return message_; }

 private:
  int line_;
  std::string message_;
};

// The bytes of the file as they stand; false when it cannot be read.
bool ReadWholeFile(const std::string& path, std::string& text);

// parse(text) over the whole file at path; its Error, and a file that cannot
// be read (reported as unreadable), come out naming the file.
template <typename Error, typename Parse>
auto ParseTextFile(const std::string& path, const char* unreadable, Parse&& parse) -> decltype(parse(std::string())) {
  std::string text;
  if (!ReadWholeFile(path, text)) throw Error(0, unreadable, path);
  try {
    return parse(text);
  } catch (const Error& e) {
    throw Error(e.Line(), e.Message(), path);
  }
}
