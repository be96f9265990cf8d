// Loading of program modules (shared libraries) and their entries.
//
// LoadModule("qordbcli") loads libqordbcli.so from the running program's own
// folder first, then from the usual search path, the way a program found its
// DLLs next to itself. GetEntry takes an entry's decorated name ("_FindRec@20")
// and looks it up by its plain name ("FindRec"), since ELF symbols carry no
// call-convention decoration. Nothing missing is ever reported: a library
// or entry that cannot be found gives null.
#pragma once

#include <string>

namespace win {

struct HMODULE__;
using HMODULE = HMODULE__*;

// name: a module name ("qordbcli", in any case), also accepted with ".dll" or as
// "libqordbcli.so" (a versioned "libc.so.6" as it stands); a name containing
// '/' is taken as a path.
HMODULE LoadModule(const char* name);

// The entry's address, or null when the module lacks it (or module is null).
// Only the module's own symbols count, not those of libraries it depends on.
void* GetEntry(HMODULE module, const char* decoratedName);

// Releases a module from LoadModule; null is allowed.
void FreeModule(HMODULE module);

// "_FindRec@20" -> "FindRec"; a name without decoration stays as it is.
std::string PlainEntryName(const std::string& decoratedName);

// The folder of the running executable (from /proc/self/exe), without the
// trailing '/'; empty when it cannot be read.
std::string ExecutableFolder();

}  // namespace win
