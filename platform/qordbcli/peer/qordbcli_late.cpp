// qordbcli_late: a program that uses SQLite before it loads the client
// library, as a program linked with SQLite may.
//
//   qordbcli_late LIBRARY EARLY HOW SERVER
//
// opens the file EARLY with SQLite and, as HOW says, only opens it ("open"),
// also reads it ("read"), or reads and closes it again ("closed"); then loads
// LIBRARY, logs a handle in to SERVER and prints the status of the login.
#include <dlfcn.h>
#include <sqlite3.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

int main(int argc, char** argv) {
  if (argc != 5) return 2;
  const std::string how = argv[3];
  sqlite3* db = nullptr;
  if (sqlite3_open_v2(argv[2], &db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) return 3;
  if (how != "open" && sqlite3_exec(db, "SELECT count(*) FROM sqlite_master", nullptr, nullptr,
                                    nullptr) != SQLITE_OK)
    return 4;
  if (how == "closed" && sqlite3_close(db) != SQLITE_OK) return 5;

  void* library = dlopen(argv[1], RTLD_NOW);
  if (!library) return 6;
  auto create = reinterpret_cast<int (*)(int32_t*)>(dlsym(library, "CreateDbHandler"));
  auto init = reinterpret_cast<int (*)(int32_t, const void*)>(dlsym(library, "InitUserEx"));
  auto release = reinterpret_cast<int (*)(int32_t)>(dlsym(library, "FreeDbHandler"));
  if (!create || !init || !release) return 7;
  int32_t h = 0;
  if (create(&h) != 0) return 8;
  // The 211-byte user block: size, version, user, server, service.
  char block[211] = {};
  const int32_t size = sizeof block, version = 2;
  std::memcpy(block, &size, 4);
  std::memcpy(block + 4, &version, 4);
  std::strncpy(block + 8, "ADMIN", 31);
  std::strncpy(block + 72, argv[4], 31);
  std::strncpy(block + 104, "qordb", 31);
  std::printf("%d\n", init(h, block));
  release(h);
  if (how != "closed") sqlite3_close(db);
  return 0;
}
