#include "WinFile.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace win {
namespace {

// The first 16 bytes of every SQLite database, its NUL included.
constexpr char kDatabaseHeader[16] = "SQLite format 3";

// Whether a descriptor of this process has the file open, as the client
// library has its servers' files and indexes. Such a file is never opened
// here to be looked at: on Linux closing any descriptor of a file drops the
// POSIX locks that the process holds on it.
bool HeldHere(const struct stat& file) {
  DIR* fds = ::opendir("/proc/self/fd");
  if (fds == nullptr) return false;
  bool held = false;
  while (const dirent* entry = ::readdir(fds)) {
    char* end = nullptr;
    const long fd = std::strtol(entry->d_name, &end, 10);
    if (end == entry->d_name || *end != '\0' || fd == ::dirfd(fds)) continue;
    struct stat open;
    if (::fstat(int(fd), &open) == 0 && open.st_dev == file.st_dev && open.st_ino == file.st_ino) {
      held = true;
      break;
    }
  }
  ::closedir(fds);
  return held;
}

// Whether path is a database that this process holds, or one that begins
// with SQLite's header. Only regular files are databases.
bool IsDatabase(const std::string& path) {
  struct stat file;
  if (::stat(path.c_str(), &file) != 0 || !S_ISREG(file.st_mode)) return false;
  if (HeldHere(file)) return true;
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  char head[sizeof kDatabaseHeader];
  const bool database = ::pread(fd, head, sizeof head, 0) == ssize_t(sizeof head) &&
                        std::memcmp(head, kDatabaseHeader, sizeof head) == 0;
  ::close(fd);
  return database;
}

// Whether path, followed through its links, is a database or names one of
// its side files. Those are looked at by their database, since they are
// missing while nobody holds it and a log's own first bytes may still be
// unwritten.
bool IsDatabaseOrSideFile(const std::string& path) {
  std::string real = path;
  if (char* resolved = ::realpath(path.c_str(), nullptr)) {
    real = resolved;
    std::free(resolved);
  }
  for (const std::string_view side : {"-wal", "-shm", "-journal"}) {
    if (real.size() > side.size() && real.ends_with(side) &&
        IsDatabase(real.substr(0, real.size() - side.size())))
      return true;
  }
  return IsDatabase(real);
}

}  // namespace

bool WriteFileUnlessDatabase(const std::string& path, std::string_view text, FileWrite how) {
  if (IsDatabaseOrSideFile(path)) return false;
  const int flags =
      O_WRONLY | O_CREAT | O_CLOEXEC | (how == FileWrite::Append ? O_APPEND : O_TRUNC);
  const int fd = ::open(path.c_str(), flags, 0666);
  if (fd < 0) return false;
  bool ok = true;
  for (size_t done = 0; done < text.size();) {
    const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      ok = false;
      break;
    }
    done += size_t(n);
  }
  if (::close(fd) != 0) ok = false;
  return ok;
}

}  // namespace win
