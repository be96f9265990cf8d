#include "WinModule.h"

#include <dlfcn.h>
#include <unistd.h>

#include <cctype>
#include <climits>

namespace win {
namespace {

bool EndsWithNoCase(const std::string& s, const std::string& tail) {
  if (s.size() < tail.size()) return false;
  for (size_t i = 0; i < tail.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(s[s.size() - tail.size() + i])) != tail[i]) return false;
  return true;
}

// "qordbcli", "qordbcli.dll" and "libqordbcli.so" all name libqordbcli.so;
// a versioned file name ("libc.so.6") stays as it is. Module names are
// case-blind on Windows and our libraries' files are lower case, so
// "qorDate.dll" names libqordate.so.
std::string FileNameOf(std::string name) {
  if (EndsWithNoCase(name, ".dll")) name.resize(name.size() - 4);
  if (name.ends_with(".so") || (name.starts_with("lib") && name.find(".so.") != std::string::npos))
    return name;
  for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return "lib" + name + ".so";
}

void* Open(const std::string& path) { return dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL); }

}  // namespace

std::string ExecutableFolder() {
  char path[PATH_MAX];
  ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
  if (n <= 0) return {};
  std::string p(path, static_cast<size_t>(n));
  auto slash = p.rfind('/');
  if (slash == std::string::npos) return {};
  return p.substr(0, slash);
}

HMODULE LoadModule(const char* name) {
  if (name == nullptr || *name == '\0') return nullptr;
  std::string given(name);
  void* handle = nullptr;
  if (given.find('/') != std::string::npos) {
    handle = Open(given);
  } else {
    const std::string file = FileNameOf(given);
    const std::string folder = ExecutableFolder();
    if (!folder.empty()) handle = Open(folder + "/" + file);
    if (handle == nullptr) handle = Open(file);
  }
  if (handle == nullptr) dlerror();  // leave no pending error behind
  return static_cast<HMODULE>(handle);
}

std::string PlainEntryName(const std::string& decoratedName) {
  std::string name = decoratedName;
  auto at = name.rfind('@');
  if (at != std::string::npos && at + 1 < name.size() &&
      name.find_first_not_of("0123456789", at + 1) == std::string::npos)
    name.resize(at);
  if (name.size() > 1 && name.front() == '_') name.erase(0, 1);
  return name;
}

void* GetEntry(HMODULE module, const char* decoratedName) {
  if (module == nullptr || decoratedName == nullptr || *decoratedName == '\0') return nullptr;
  void* handle = module;
  const std::string plain = PlainEntryName(decoratedName);
  for (const std::string& candidate : {plain, std::string(decoratedName)}) {
    dlerror();
    void* entry = dlsym(handle, candidate.c_str());
    if (entry == nullptr) continue;
    // dlsym also searches the module's dependencies; an entry counts only
    // when the module itself defines it.
    Dl_info info{};
    if (dladdr(entry, &info) == 0 || info.dli_fname == nullptr) continue;
    void* owner = dlopen(info.dli_fname, RTLD_NOW | RTLD_NOLOAD);
    if (owner == nullptr) continue;
    dlclose(owner);
    if (owner == handle) return entry;
  }
  dlerror();
  return nullptr;
}

void FreeModule(HMODULE module) {
  if (module != nullptr) dlclose(module);
}

}  // namespace win
