// The tab-separated record file that qorserver load reads.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "TsvFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  try {
    const TsvFile file = TsvFile::Parse(std::string(reinterpret_cast<const char*>(data), size));
    // What the reader accepts has as many values on every row as names.
    for (const TsvFile::Row& row : file.rows)
      if (row.values.size() != file.header.size()) std::abort();
  } catch (const TsvFileError&) {
  }
  return 0;
}
