// The registry, read from a text file in the REGEDIT4 export format whose
// path the environment variable QOR_REGISTRY names:
//
//   REGEDIT4
//
//   [HKEY_LOCAL_MACHINE\SOFTWARE\QODBCLIENTS\UGYFEL]
//   "Service"="qordb"
//   "Timeout"=dword:0000001e
//   "UseBlob"=hex:01
//
// Key and value names match without regard to case (a to z only); sub-keys
// enumerate in the byte order of their upper-cased names, whatever the order
// in the file. A missing file is an empty registry; a line that cannot be
// read is skipped. The registry is read-only: every open of a key under a
// root key reads the file anew, so a changed file shows at the next open.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "WinTypes.h"

namespace win {

// Value types.
constexpr DWORD REG_NONE = 0;
constexpr DWORD REG_SZ = 1;
constexpr DWORD REG_BINARY = 3;
constexpr DWORD REG_DWORD = 4;
constexpr DWORD REG_MULTI_SZ = 7;

// The access the callers ask for; the stand-in grants reading whatever is asked.
constexpr DWORD KEY_READ = 0x20019;

struct HKEY__;
using HKEY = HKEY__*;

// The root keys (predefined handles; closing one does nothing).
extern const HKEY HKEY_CLASSES_ROOT;
extern const HKEY HKEY_CURRENT_USER;
extern const HKEY HKEY_LOCAL_MACHINE;
extern const HKEY HKEY_USERS;

// Opens subKey (backslash-separated, may be empty) below parent into *result.
// ERROR_FILE_NOT_FOUND when it does not exist, ERROR_INVALID_HANDLE for a bad
// parent, ERROR_INVALID_PARAMETER for a null result.
LONG RegOpenKeyExA(HKEY parent, const char* subKey, DWORD options, DWORD samDesired, HKEY* result);
LONG RegOpenKeyA(HKEY parent, const char* subKey, HKEY* result);

// The name of the index-th sub-key into name (nameSize bytes with the NUL);
// ERROR_NO_MORE_ITEMS past the last, ERROR_MORE_DATA when it does not fit.
LONG RegEnumKeyA(HKEY key, DWORD index, char* name, DWORD nameSize);

// A value by name (null or empty: the default value "@"). *type receives its
// type; with data null *dataSize receives the size needed; a buffer too
// small gives ERROR_MORE_DATA with the size needed in *dataSize. REG_SZ data
// includes its terminating NUL, REG_DWORD is 4 little-endian bytes.
LONG RegQueryValueExA(HKEY key, const char* valueName, DWORD* reserved, DWORD* type, BYTE* data,
                      DWORD* dataSize);

LONG RegCloseKey(HKEY key);

// The parsed content of a registry file. Public so that tools and tests can
// read a file without the environment.
class RegistryFile {
 public:
  struct Value {
    DWORD type = REG_NONE;
    std::vector<BYTE> data;
  };

  // Orders names by their upper-cased bytes (a to z only).
  struct NameLess {
    bool operator()(const std::string& a, const std::string& b) const;
  };

  struct Key {
    std::map<std::string, Key, NameLess> subKeys;  // names as first written
    std::map<std::string, Value, NameLess> values;  // "" is the default value
  };

  // Reads text in the REGEDIT4 format. Lines that cannot be read are skipped;
  // skippedLines, when given, receives their 1-based numbers.
  static RegistryFile Parse(std::string_view text, std::vector<int>* skippedLines = nullptr);
  // Reads a file; a missing or unreadable file gives an empty registry.
  static RegistryFile Load(const std::string& path);
  // The file that QOR_REGISTRY names; empty when it is unset.
  static RegistryFile LoadFromEnvironment();

  // The root keys by their full names (HKEY_LOCAL_MACHINE, ...).
  const Key* Root(std::string_view rootName) const;
  // A key by its path below a root ("SOFTWARE\QODBCLIENTS"); null if absent.
  const Key* Find(std::string_view rootName, std::string_view path) const;

 private:
  std::map<std::string, Key, NameLess> roots_;
};

}  // namespace win
