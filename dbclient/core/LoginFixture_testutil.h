// What the login and database-map tests share: the catalogue SYSDB as the
// login and the map read it, the version a database was stamped with, and an
// operator typing into the login dialog.
#pragma once

#include <array>
#include <cstdint>
#include <functional>

#include "ScriptedUi.h"
#include "TestDictionary_testutil.h"

// "tablespace" (dbid, name as its unique key, the four version parts) and
// "dbuser" (NAME, psw, userid, enabled). Without withBuild, "tablespace"
// lacks "verbuild", so reading a version fails.
TestDictionary SysDbCatalogue(bool withBuild = true);

// Major, minor, sub and build; -1 each while unset.
std::array<int32_t, 4> VersionOf(const DbDescription& d);

// Clears both edits, types user and password, picks the configuration and
// presses OK (which must be enabled by then).
std::function<void(win::DialogDriver&)> TypeLogin(const char* user, const char* password,
                                                  const char* database = "UGYFEL");
