#include "WinRegistry.h"

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <mutex>
#include <set>
#include <sstream>

#include "QorUtils.h"

namespace win {

struct HKEY__ {
  std::shared_ptr<const RegistryFile> file;  // null for a root key
  const RegistryFile::Key* key = nullptr;
  std::string rootName;  // for a root key
};

namespace {

HKEY__ classesRoot{nullptr, nullptr, "HKEY_CLASSES_ROOT"};
HKEY__ currentUser{nullptr, nullptr, "HKEY_CURRENT_USER"};
HKEY__ localMachine{nullptr, nullptr, "HKEY_LOCAL_MACHINE"};
HKEY__ users{nullptr, nullptr, "HKEY_USERS"};

const char* const kRootNames[] = {"HKEY_CLASSES_ROOT", "HKEY_CURRENT_USER", "HKEY_LOCAL_MACHINE",
                                  "HKEY_USERS", "HKEY_CURRENT_CONFIG"};

std::mutex keysMutex;
std::set<HKEY> openKeys;

bool IsRoot(HKEY key) {
  return key == &classesRoot || key == &currentUser || key == &localMachine || key == &users;
}

bool IsOpen(HKEY key) {
  std::lock_guard lock(keysMutex);
  return openKeys.count(key) != 0;
}

bool SameName(std::string_view a, std::string_view b) { return CompareNoCase(a, b) == 0; }

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
  return s;
}

std::vector<std::string_view> SplitPath(std::string_view path, bool keepEmpty) {
  std::vector<std::string_view> parts;
  size_t start = 0;
  while (start <= path.size()) {
    size_t end = path.find('\\', start);
    if (end == std::string_view::npos) end = path.size();
    std::string_view part = path.substr(start, end - start);
    if (!part.empty() || keepEmpty) parts.push_back(part);
    start = end + 1;
  }
  return parts;
}

// The key under key at a backslash path (empty parts skipped); null when key
// is null or a part is missing.
const RegistryFile::Key* Descend(const RegistryFile::Key* key, std::string_view path) {
  for (auto part : SplitPath(path, false)) {
    if (key == nullptr) return nullptr;
    auto it = key->subKeys.find(std::string(part));
    key = it == key->subKeys.end() ? nullptr : &it->second;
  }
  return key;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Hex digits to a number; false when s is empty or holds a non-digit. The
// callers bound the length, so the number fits.
bool ReadHex(std::string_view s, DWORD& out) {
  if (s.empty()) return false;
  DWORD n = 0;
  for (char c : s) {
    int d = HexDigit(c);
    if (d < 0) return false;
    n = n * 16 + static_cast<DWORD>(d);
  }
  out = n;
  return true;
}

// A quoted text at the start of s with \\ and \" escapes; the rest after the
// closing quote is left in s. False when there is no closing quote.
bool ReadQuoted(std::string_view& s, std::string& out) {
  if (s.empty() || s.front() != '"') return false;
  out.clear();
  for (size_t i = 1; i < s.size(); ++i) {
    char c = s[i];
    if (c == '\\' && i + 1 < s.size() && (s[i + 1] == '\\' || s[i + 1] == '"')) {
      out.push_back(s[++i]);
    } else if (c == '"') {
      s.remove_prefix(i + 1);
      return true;
    } else {
      out.push_back(c);
    }
  }
  return false;
}

bool ReadHexBytes(std::string_view s, std::vector<BYTE>& out) {
  out.clear();
  s = Trim(s);
  if (s.empty()) return true;
  size_t start = 0;
  while (true) {
    size_t comma = s.find(',', start);
    std::string_view item = Trim(s.substr(start, comma == std::string_view::npos ? s.npos : comma - start));
    DWORD value = 0;
    if (item.size() > 2 || !ReadHex(item, value)) return false;
    out.push_back(static_cast<BYTE>(value));
    if (comma == std::string_view::npos) return true;
    start = comma + 1;
  }
}

bool ReadValueData(std::string_view s, RegistryFile::Value& value) {
  s = Trim(s);
  if (!s.empty() && s.front() == '"') {
    std::string text;
    if (!ReadQuoted(s, text) || !Trim(s).empty()) return false;
    value.type = REG_SZ;
    value.data.assign(text.begin(), text.end());
    value.data.push_back(0);
    return true;
  }
  if (s.starts_with("dword:")) {
    std::string_view digits = Trim(s.substr(6));
    DWORD n = 0;
    if (digits.size() > 8 || !ReadHex(digits, n)) return false;
    value.type = REG_DWORD;
    value.data = {static_cast<BYTE>(n), static_cast<BYTE>(n >> 8), static_cast<BYTE>(n >> 16),
                  static_cast<BYTE>(n >> 24)};
    return true;
  }
  if (s.starts_with("hex:")) {
    value.type = REG_BINARY;
    return ReadHexBytes(s.substr(4), value.data);
  }
  if (s.starts_with("hex(")) {
    size_t close = s.find("):");
    if (close == std::string_view::npos || close == 4 || close > 12) return false;
    DWORD type = 0;
    if (!ReadHex(s.substr(4, close - 4), type)) return false;
    value.type = type;
    return ReadHexBytes(s.substr(close + 2), value.data);
  }
  return false;
}

}  // namespace

const HKEY HKEY_CLASSES_ROOT = &classesRoot;
const HKEY HKEY_CURRENT_USER = &currentUser;
const HKEY HKEY_LOCAL_MACHINE = &localMachine;
const HKEY HKEY_USERS = &users;

bool RegistryFile::NameLess::operator()(const std::string& a, const std::string& b) const {
  return CompareNoCase(a, b) < 0;
}

RegistryFile RegistryFile::Parse(std::string_view text, std::vector<int>* skippedLines) {
  RegistryFile file;
  if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);
  Key* current = nullptr;  // null: no key, or a key line that was skipped
  int lineNo = 0;
  size_t pos = 0;
  auto skip = [&](int n) {
    if (skippedLines) skippedLines->push_back(n);
  };
  while (pos < text.size()) {
    size_t end = text.find('\n', pos);
    if (end == std::string_view::npos) end = text.size();
    std::string_view raw = text.substr(pos, end - pos);
    pos = end + 1;
    const int firstLine = ++lineNo;
    std::string_view line = Trim(raw);
    if (line.empty() || line.front() == ';') continue;

    if (line.front() == '[') {
      current = nullptr;
      if (line.back() != ']' || line.size() < 3 || line[1] == '-') {
        skip(firstLine);
        continue;
      }
      auto parts = SplitPath(line.substr(1, line.size() - 2), true);
      const char* rootName = nullptr;
      for (const char* r : kRootNames)
        if (SameName(parts.front(), r)) rootName = r;
      bool empty = false;
      for (auto part : parts) empty = empty || part.empty();
      if (rootName == nullptr || empty) {
        skip(firstLine);
        continue;
      }
      Key* key = &file.roots_[rootName];
      for (size_t i = 1; i < parts.size(); ++i) key = &key->subKeys[std::string(parts[i])];
      current = key;
      continue;
    }

    if (SameName(line, "REGEDIT4") || line == "Windows Registry Editor Version 5.00") continue;

    std::string_view rest = line;
    std::string name;
    if (!rest.empty() && rest.front() == '@') {
      rest.remove_prefix(1);
    } else if (!ReadQuoted(rest, name)) {
      skip(firstLine);
      continue;
    }
    rest = Trim(rest);
    if (rest.empty() || rest.front() != '=') {
      skip(firstLine);
      continue;
    }
    // Only a hex list goes on over lines that end with a backslash; a text
    // that ends with one must not swallow the key line after it.
    std::string data(Trim(rest.substr(1)));
    if (data.starts_with("hex")) {
      while (!data.empty() && data.back() == '\\' && pos < text.size()) {
        data.pop_back();
        end = text.find('\n', pos);
        if (end == std::string_view::npos) end = text.size();
        data += Trim(text.substr(pos, end - pos));
        pos = end + 1;
        ++lineNo;
      }
    }
    Value value;
    if (current == nullptr || !ReadValueData(data, value)) {
      skip(firstLine);
      continue;
    }
    auto [it, inserted] = current->values.try_emplace(name, value);
    if (!inserted) it->second = std::move(value);  // the last one written wins
  }
  return file;
}

RegistryFile RegistryFile::Load(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return {};
  std::ostringstream content;
  content << in.rdbuf();
  return Parse(content.str());
}

RegistryFile RegistryFile::LoadFromEnvironment() {
  const char* path = std::getenv("QOR_REGISTRY");
  if (path == nullptr || *path == '\0') return {};
  return Load(path);
}

const RegistryFile::Key* RegistryFile::Root(std::string_view rootName) const {
  auto it = roots_.find(std::string(rootName));
  return it == roots_.end() ? nullptr : &it->second;
}

const RegistryFile::Key* RegistryFile::Find(std::string_view rootName, std::string_view path) const {
  return Descend(Root(rootName), path);
}

namespace {

// The content a handle reads: a root key reads the file as it is now, an
// opened key the snapshot it was opened in.
struct KeyView {
  std::shared_ptr<const RegistryFile> file;
  const RegistryFile::Key* key = nullptr;
};

bool Resolve(HKEY handle, KeyView& view) {
  static const RegistryFile::Key emptyRoot;
  if (IsRoot(handle)) {
    view.file = std::make_shared<const RegistryFile>(RegistryFile::LoadFromEnvironment());
    view.key = view.file->Root(handle->rootName);
    if (view.key == nullptr) view.key = &emptyRoot;  // a root key always exists
    return true;
  }
  if (!IsOpen(handle)) return false;
  view.file = handle->file;
  view.key = handle->key;
  return true;
}

}  // namespace

LONG RegOpenKeyExA(HKEY parent, const char* subKey, DWORD /*options*/, DWORD /*samDesired*/, HKEY* result) {
  if (result == nullptr) return ERROR_INVALID_PARAMETER;
  *result = nullptr;
  KeyView view;
  if (!Resolve(parent, view)) return ERROR_INVALID_HANDLE;
  const RegistryFile::Key* key = Descend(view.key, subKey ? subKey : "");
  if (key == nullptr) return ERROR_FILE_NOT_FOUND;
  auto* opened = new HKEY__{std::move(view.file), key, {}};
  std::lock_guard lock(keysMutex);
  openKeys.insert(opened);
  *result = opened;
  return ERROR_SUCCESS;
}

LONG RegOpenKeyA(HKEY parent, const char* subKey, HKEY* result) {
  return RegOpenKeyExA(parent, subKey, 0, KEY_READ, result);
}

LONG RegEnumKeyA(HKEY key, DWORD index, char* name, DWORD nameSize) {
  KeyView view;
  if (!Resolve(key, view)) return ERROR_INVALID_HANDLE;
  if (index >= view.key->subKeys.size()) return ERROR_NO_MORE_ITEMS;
  auto it = view.key->subKeys.begin();
  std::advance(it, index);
  const std::string& subName = it->first;
  if (name == nullptr || nameSize < subName.size() + 1) return ERROR_MORE_DATA;
  std::memcpy(name, subName.c_str(), subName.size() + 1);
  return ERROR_SUCCESS;
}

LONG RegQueryValueExA(HKEY key, const char* valueName, DWORD* /*reserved*/, DWORD* type, BYTE* data,
                      DWORD* dataSize) {
  KeyView view;
  if (!Resolve(key, view)) return ERROR_INVALID_HANDLE;
  auto it = view.key->values.find(valueName ? valueName : "");
  if (it == view.key->values.end()) return ERROR_FILE_NOT_FOUND;
  const auto& value = it->second;
  if (type) *type = value.type;
  const auto size = static_cast<DWORD>(value.data.size());
  if (data == nullptr) {
    if (dataSize) *dataSize = size;
    return ERROR_SUCCESS;
  }
  if (dataSize == nullptr) return ERROR_INVALID_PARAMETER;
  if (*dataSize < size) {
    *dataSize = size;
    return ERROR_MORE_DATA;
  }
  if (size) std::memcpy(data, value.data.data(), size);
  *dataSize = size;
  return ERROR_SUCCESS;
}

LONG RegCloseKey(HKEY key) {
  if (IsRoot(key)) return ERROR_SUCCESS;
  {
    std::lock_guard lock(keysMutex);
    if (openKeys.erase(key) == 0) return ERROR_INVALID_HANDLE;
  }
  delete key;
  return ERROR_SUCCESS;
}

}  // namespace win
