// Writes the dictionary images the server makes, as seeds of the dictionary
// targets: SYSDB's and those of the schema files named, each under its
// file's name.
//
//   fuzz_seeds OUTDIR [SCHEMA-FILE...]
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "SchemaDef.h"
#include "SchemaFile.h"

namespace {

void Write(const std::filesystem::path& path, const std::vector<char>& image) {
  std::ofstream out(path, std::ios::binary);
  out.write(image.data(), static_cast<std::streamsize>(image.size()));
  if (!out) throw std::runtime_error("cannot write " + path.string());
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::cerr << "usage: fuzz_seeds OUTDIR [SCHEMA-FILE...]\n";
    return 1;
  }
  try {
    const std::filesystem::path dir = argv[1];
    std::filesystem::create_directories(dir);
    Write(dir / "SYSDB.img", qordb::BuildDictionaryImage(qordb::SysdbSchema()));
    for (int i = 2; i < argc; ++i) {
      const SchemaFile file = SchemaFile::ParseFile(argv[i]);
      const std::filesystem::path schema = argv[i];
      Write(dir / schema.filename().replace_extension(".img"),
            qordb::BuildDictionaryImage(file.schema));
    }
  } catch (const std::exception& e) {
    std::cerr << "fuzz_seeds: " << e.what() << '\n';
    return 1;
  }
  return 0;
}
