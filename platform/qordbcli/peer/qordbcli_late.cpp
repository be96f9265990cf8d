// qordbcli_late: a program that uses SQLite itself and loads the client
// library only later, as a program linked with SQLite may. qordbcli_late
// uses the system's shared SQLite, which the library then shares;
// qordbcli_late_own has a copy of SQLite of its own linked in, which no other
// code of the process sees.
//
//   qordbcli_late LIBRARY
//
// reads one command a line from its standard input and answers each with one
// line, a status first:
//
//   sqlite PATH       opens PATH with the program's SQLite ("0", else its code)
//   read              reads it (counts its tables)
//   insert N          N inserts into a table of the program's own in it, each
//                     committed alone: "0" when every one answered SQLITE_OK
//   close             closes it
//   open PATH         open(PATH, O_RDONLY | O_CLOEXEC), as code that is not
//                     SQLite may: "0 FD"
//   shut FD           close(FD)
//   touch PATH        opens PATH, reads a few bytes and closes it ("0" or errno)
//   descriptors N     opens N descriptors of one file and keeps them, but for
//                     the three lowest, so that SQLite's next files get low
//                     numbers
//   race PATH DELAY   once "load" begins, a thread waits DELAY microseconds,
//                     then opens PATH with the program's SQLite, reads it and
//                     keeps it open (what "close" closes)
//   load              loads LIBRARY (and waits for the race's thread): "0"
//   separate          "1" when the library's SQLite is not the program's
//   login DBID        a new handle logged in to "SRV" (under $QORDB_ROOT), SHOP
//                     opened under the id DBID: the status
//   add ID            NewRec of a CUSTOMER with that ID on the newest handle
//   free              FreeDbHandler of the newest handle
//   plain PATH        "1" when /proc/locks lists a POSIX lock of this process on
//                     PATH or its "-shm", else "0"
//
// At the end of its input it frees its handles, closes its database and exits.
#include <dlfcn.h>
#include <fcntl.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "../TestDictionary_testutil.h"
#include "OtherCode.h"

namespace {

struct Library {
  int (*create)(int32_t*);
  int (*init)(int32_t, const void*);
  int (*release)(int32_t);
  int (*openDb)(int32_t, int32_t, const char*, int32_t);
  int (*describe)(int32_t, int32_t, char**, int32_t*);
  int (*freePtr)(void*);
  int (*newRec)(int32_t, int32_t, int32_t, int32_t, char**);
};

template <typename Entry>
bool Find(void* library, const char* name, Entry* entry) {
  *entry = reinterpret_cast<Entry>(dlsym(library, name));
  return *entry != nullptr;
}

struct Handle {
  int32_t h = 0, db = 0;
  TestDictionary dict;
  bool in = false;  // logged in, with the dictionary read
};

int Login(const Library& lib, int32_t dbId, Handle& handle) {
  if (int s = lib.create(&handle.h)) return s;
  // The 211-byte user block: size, version, user, server, service.
  char block[211] = {};
  const int32_t size = sizeof block, version = 2;
  std::memcpy(block, &size, 4);
  std::memcpy(block + 4, &version, 4);
  std::strncpy(block + 8, "ADMIN", 31);
  std::strncpy(block + 72, "SRV", 31);
  std::strncpy(block + 104, "qordb", 31);
  if (int s = lib.init(handle.h, block)) return s;
  handle.db = dbId;
  if (int s = lib.openDb(handle.h, dbId, "SHOP", 0)) return s;
  char* image = nullptr;
  int32_t length = 0;
  if (int s = lib.describe(handle.h, dbId, &image, &length)) return s;
  handle.in = handle.dict.Read(image, length);
  lib.freePtr(image);
  return 0;
}

int Add(const Library& lib, Handle& handle, int id) {
  if (!handle.in) return -1;
  std::vector<char> image(handle.dict.ImageLength("CUSTOMER"));
  handle.dict.SetInt(image, "CUSTOMER", "ID", id);
  char* p = image.data();
  return lib.newRec(handle.h, handle.db, handle.dict.Rt("CUSTOMER"),
                    static_cast<int32_t>(image.size()), &p);
}

int Read(sqlite3* db) {
  return sqlite3_exec(db, "SELECT count(*) FROM sqlite_master", nullptr, nullptr, nullptr);
}

int Insert(sqlite3* db, int n) {
  int rc = sqlite3_exec(db, "CREATE TABLE IF NOT EXISTS caller_rows(n INTEGER)", nullptr, nullptr,
                        nullptr);
  for (int i = 0; rc == SQLITE_OK && i < n; ++i)
    rc = sqlite3_exec(db, "INSERT INTO caller_rows VALUES(1)", nullptr, nullptr, nullptr);
  return rc;
}

// Whether /proc/locks lists a POSIX lock of this process on the file.
bool PlainLockOn(const std::string& path) {
  struct stat st;
  if (stat(path.c_str(), &st) != 0) return false;
  char id[64];
  std::snprintf(id, sizeof id, "%02x:%02x:%lu", major(st.st_dev), minor(st.st_dev),
                static_cast<unsigned long>(st.st_ino));
  std::ifstream locks("/proc/locks");
  for (std::string line; std::getline(locks, line);) {
    std::istringstream in(line);
    std::string number, kind, mode, type, pid, file;
    in >> number >> kind >> mode >> type >> pid >> file;
    if (kind == "POSIX" && pid == std::to_string(getpid()) && file == id) return true;
  }
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  sqlite3_initialize();  // SQLite has been used before the library is loaded
  void* library = nullptr;
  Library lib{};
  std::vector<Handle> handles;
  sqlite3* db = nullptr;
  std::thread racer;
  std::atomic<bool> loading{false};
  std::string line;
  while (std::getline(std::cin, line)) {
    std::istringstream in(line);
    std::string command, arg, arg2;
    in >> command >> arg >> arg2;
    std::string answer;
    if (command == "sqlite") {
      answer = std::to_string(sqlite3_open_v2(arg.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr));
    } else if (command == "read") {
      answer = std::to_string(Read(db));
    } else if (command == "insert") {
      answer = std::to_string(Insert(db, std::stoi(arg)));
    } else if (command == "close") {
      answer = std::to_string(sqlite3_close(db));
      db = nullptr;
    } else if (command == "open") {
      const int fd = open(arg.c_str(), O_RDONLY | O_CLOEXEC);
      answer = fd < 0 ? std::to_string(errno) : "0 " + std::to_string(fd);
    } else if (command == "shut") {
      answer = std::to_string(close(std::stoi(arg)));
    } else if (command == "touch") {
      answer = std::to_string(Touch(arg));
    } else if (command == "descriptors") {
      const int n = std::stoi(arg);
      const int first = open("/proc/self/exe", O_RDONLY | O_CLOEXEC);
      bool opened = first >= 0;
      for (int i = 1; opened && i < n; ++i) opened = fcntl(first, F_DUPFD_CLOEXEC, 0) >= 0;
      for (int fd = first; opened && fd < first + 3; ++fd) close(fd);
      answer = opened ? "0" : std::to_string(errno);
    } else if (command == "race") {
      const std::string path = arg;
      const auto delay = std::chrono::microseconds(std::stoll(arg2));
      racer = std::thread([&db, &loading, path, delay] {
        while (!loading) {
        }
        const auto until = std::chrono::steady_clock::now() + delay;
        while (std::chrono::steady_clock::now() < until) {
        }
        if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr) == SQLITE_OK)
          Read(db);
      });
      answer = "0";
    } else if (command == "load") {
      loading = true;
      library = dlopen(argv[1], RTLD_NOW);
      if (racer.joinable()) racer.join();
      const bool found =
          library && Find(library, "CreateDbHandler", &lib.create) &&
          Find(library, "InitUserEx", &lib.init) && Find(library, "FreeDbHandler", &lib.release) &&
          Find(library, "OpenDbExA", &lib.openDb) &&
          Find(library, "GetDbDescription", &lib.describe) &&
          Find(library, "FreePtr", &lib.freePtr) && Find(library, "NewRec", &lib.newRec);
      answer = found ? "0" : "1";
    } else if (command == "separate") {
      // SQLite as the library's code finds it: its own dependency, unless the
      // program's copy were in the global scope, which comes first.
      void* own = reinterpret_cast<void*>(&sqlite3_libversion);
      void* libraries = library ? dlsym(library, "sqlite3_libversion") : nullptr;
      answer = libraries && libraries != own && dlsym(RTLD_DEFAULT, "sqlite3_libversion") != own
                   ? "1"
                   : "0";
    } else if (command == "login") {
      Handle& handle = handles.emplace_back();
      answer = std::to_string(Login(lib, std::stoi(arg), handle));
    } else if (command == "add") {
      answer = handles.empty() ? "-1" : std::to_string(Add(lib, handles.back(), std::stoi(arg)));
    } else if (command == "free") {
      answer = handles.empty() ? "-1" : std::to_string(lib.release(handles.back().h));
      if (!handles.empty()) handles.pop_back();
    } else if (command == "plain") {
      answer = PlainLockOn(arg) || PlainLockOn(arg + "-shm") ? "1" : "0";
    } else {
      answer = "unknown command " + command;
    }
    std::cout << answer << std::endl;
  }
  for (const Handle& handle : handles) lib.release(handle.h);
  if (db) sqlite3_close(db);
  return 0;
}
