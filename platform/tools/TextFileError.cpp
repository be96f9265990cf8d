#include "TextFileError.h"

#include <filesystem>
#include <fstream>
#include <iterator>

TextFileError::TextFileError(int line, const std::string& message, const std::string& source)
    : std::runtime_error((source.empty() ? "" : source + (line > 0 ? ", " : ": ")) +
                         (line > 0 ? "line " + std::to_string(line) + ": " : "") + message),
      line_(line),
      message_(message) {}

bool ReadWholeFile(const std::string& path, std::string& text) {
  // A folder opens like a file here but reads as nothing at all.
  std::error_code ec;
  if (!std::filesystem::is_regular_file(path, ec)) return false;
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return !in.bad();
}
