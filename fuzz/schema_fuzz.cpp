// The schema file of qorserver: a text either is refused with the line of its
// fault, or it can be served as it stands, so both readings of the dictionary
// image built from it take that image.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "DictModel.h"
#include "DictionaryImage.h"
#include "SchemaFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  SchemaFile file;
  try {
    file = SchemaFile::Parse(std::string(reinterpret_cast<const char*>(data), size));
  } catch (const SchemaFileError&) {
    return 0;
  }
  // Anything thrown from here on is a schema the reader let through.
  const std::vector<char> image = qordb::BuildDictionaryImage(file.schema);
  const qordb::DictModel model = qordb::DictModel::Parse(image.data(), image.size());
  const DictionaryImage reading = DictionaryImage::Parse(image);
  if (model.records.size() != file.schema.records.size() ||
      reading.records.size() != file.schema.records.size())
    std::abort();
  return 0;
}
