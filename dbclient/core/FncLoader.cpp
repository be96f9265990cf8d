#include "FncLoader.h"

#include <string>

#include "WinModule.h"

FncLoader* GlobalFncLoader = nullptr;

FncLoader::FncLoader(bool autoLoad) {
  Clear();
  if (autoLoad) Load();
}

FncLoader::~FncLoader() {
  if (hModule) win::FreeModule(static_cast<win::HMODULE>(hModule));
  Clear();
}

void FncLoader::Load() {
  win::HMODULE module = win::LoadModule("qordbcli.dll");
  // Silent on purpose: the first operation that needs an entry reports 10038.
  if (!module) return;
  hModule = module;
#define QOR_FNCLOADER_RESOLVE(name, bytes, params)                                       \
  pf##name = reinterpret_cast<QorFn_##name>(                                             \
      win::GetEntry(module, ("_" #name "@" + std::to_string(bytes)).c_str()));
  QORDBCLI_ENTRIES(QOR_FNCLOADER_RESOLVE)
#undef QOR_FNCLOADER_RESOLVE
}

void FncLoader::Clear() {
#define QOR_FNCLOADER_CLEAR(name, bytes, params) pf##name = nullptr;
  QORDBCLI_ENTRIES(QOR_FNCLOADER_CLEAR)
#undef QOR_FNCLOADER_CLEAR
  hModule = nullptr;
}

void InitFncLoader() {
  if (!GlobalFncLoader) GlobalFncLoader = new FncLoader(true);
}

void ExitFncLoader() {
  delete GlobalFncLoader;
  GlobalFncLoader = nullptr;
}

namespace {

// Before any ordinary static object is built and after every one is gone,
// so logouts run by static destructors still find the entries.
__attribute__((constructor(101))) void StartFncLoader() { InitFncLoader(); }
__attribute__((destructor(101))) void StopFncLoader() { ExitFncLoader(); }

}  // namespace
