// The registry file: any text is read, every key and value stays reachable.
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "WinRegistry.h"

namespace {

size_t Walk(const win::RegistryFile::Key& key) {
  size_t bytes = 0;
  for (const auto& [name, value] : key.values) bytes += name.size() + value.data.size();
  for (const auto& [name, sub] : key.subKeys) bytes += name.size() + Walk(sub);
  return bytes;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<int> skipped;
  const win::RegistryFile file = win::RegistryFile::Parse(
      std::string_view(reinterpret_cast<const char*>(data), size), &skipped);
  for (const char* root :
       {"HKEY_LOCAL_MACHINE", "HKEY_CURRENT_USER", "HKEY_CLASSES_ROOT", "HKEY_USERS"})
    if (const win::RegistryFile::Key* key = file.Root(root)) Walk(*key);
  file.Find("HKEY_LOCAL_MACHINE", "SOFTWARE\\QODBCLIENTS");
  return 0;
}
