// The entry table of the client library qordbcli, loaded once per process.
#pragma once

#include "DbDescError.h"
#include "qordbcli.h"

class FncLoader {
 public:
  explicit FncLoader(bool autoLoad);
  ~FncLoader();
  FncLoader(const FncLoader&) = delete;
  FncLoader& operator=(const FncLoader&) = delete;

  // Loads the library and resolves every entry it exports; a missing library
  // or entry leaves its members null and reports nothing.
  void Load();
  // Every entry and the module handle become null.
  void Clear();

  // One member per entry, in slot order: pfFreePtr, pfCreateDbHandler, ...
#define QOR_FNCLOADER_MEMBER(name, bytes, params) QorFn_##name pf##name;
  QORDBCLI_ENTRIES(QOR_FNCLOADER_MEMBER)
#undef QOR_FNCLOADER_MEMBER
  void* hModule;
};

// The program's one loader: made by InitFncLoader before main runs, freed by
// ExitFncLoader after it returns.
extern FncLoader* GlobalFncLoader;
void InitFncLoader();
void ExitFncLoader();

// The entry, or DbDescError 10038 naming its member when it is not there.
template <class Fn>
Fn RequireEntry(Fn fn, const char* memberName) {
  if (!fn) throw DbDescError(10038, StringVector(memberName));
  return fn;
}

// QOR_ENTRY(FindRec) is the FindRec entry of the global loader, checked.
#define QOR_ENTRY(name) \
  RequireEntry(GlobalFncLoader ? GlobalFncLoader->pf##name : nullptr, "pf" #name)
