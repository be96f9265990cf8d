#include "WinFile.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace win {
namespace {

// The first 16 bytes of every SQLite database, its NUL included.
constexpr char kDatabaseHeader[16] = "SQLite format 3";
// A rollback journal that holds pages to put back begins with these.
constexpr unsigned char kJournalHeader[8] = {0xd9, 0xd5, 0x05, 0xf9, 0x20, 0xa1, 0x63, 0xd7};
// A WAL begins with one of two magic numbers, big-endian, and its version.
constexpr unsigned char kWalHeaders[2][8] = {{0x37, 0x7f, 0x06, 0x82, 0x00, 0x2d, 0xe2, 0x18},
                                             {0x37, 0x7f, 0x06, 0x83, 0x00, 0x2d, 0xe2, 0x18}};
// A wal-index (-shm) begins with two copies of its 48-byte header, each
// starting with its version in the machine's byte order; while a writer
// updates them the copies differ, so either one tells.
constexpr uint32_t kWalIndexVersion = 3007000;
constexpr size_t kWalIndexHeaderSize = 48;
// How many links are followed before a name counts as one that goes round,
// as Linux counts them.
constexpr int kMaxLinks = 40;

// Whether a descriptor of this process has the file open, as the client
// library has its servers' files and indexes. Such a file is never opened
// here to be looked at: on Linux closing any descriptor of a file drops the
// POSIX locks that the process holds on it. A hard link to such a file is
// the same file, and is known here as well.
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

// Whether the first bytes of a file are those of an SQLite WAL, wal-index
// or rollback journal with pages to put back.
bool HasSideFileHeader(const unsigned char* head, size_t size) {
  auto begins = [&](const void* bytes, size_t n, size_t at = 0) {
    return size >= at + n && std::memcmp(head + at, bytes, n) == 0;
  };
  if (begins(kJournalHeader, sizeof kJournalHeader) ||
      begins(kWalHeaders[0], sizeof kWalHeaders[0]) ||
      begins(kWalHeaders[1], sizeof kWalHeaders[1]))
    return true;
  return begins(&kWalIndexVersion, sizeof kWalIndexVersion) ||
         begins(&kWalIndexVersion, sizeof kWalIndexVersion, kWalIndexHeaderSize);
}

// What a file is to this guard.
enum class Kind { Other, Held, Database, SideFile };

// What path, followed, is: a file that this process holds (never opened
// then), a database by its first bytes, or a database's log, index or
// journal by theirs, by whatever name it is reached. Only regular files are
// any of these.
Kind Look(const std::string& path) {
  struct stat file;
  if (::stat(path.c_str(), &file) != 0 || !S_ISREG(file.st_mode)) return Kind::Other;
  if (HeldHere(file)) return Kind::Held;
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
  if (fd < 0) return Kind::Other;
  unsigned char head[kWalIndexHeaderSize + sizeof kWalIndexVersion];
  ssize_t n;
  do {
    n = ::pread(fd, head, sizeof head, 0);
  } while (n < 0 && errno == EINTR);
  ::close(fd);
  const size_t size = n > 0 ? size_t(n) : 0;
  if (size >= sizeof kDatabaseHeader &&
      std::memcmp(head, kDatabaseHeader, sizeof kDatabaseHeader) == 0)
    return Kind::Database;
  return HasSideFileHeader(head, size) ? Kind::SideFile : Kind::Other;
}

// Whether path names a side file of a database beside it (its log, index
// or journal), missing ones too: those are missing while nobody holds the
// database, and a log's own first bytes may still be unwritten.
bool IsSideFileName(const std::string& path) {
  for (const std::string_view side : {"-wal", "-shm", "-journal"}) {
    if (path.size() <= side.size() || !path.ends_with(side)) continue;
    const Kind base = Look(path.substr(0, path.size() - side.size()));
    if (base == Kind::Held || base == Kind::Database) return true;
  }
  return false;
}

// The folder part of a name and its last part.
std::string Folder(const std::string& name) {
  const size_t slash = name.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : name.substr(0, slash);
}
std::string LastPart(const std::string& name) {
  const size_t slash = name.rfind('/');
  return slash == std::string::npos ? name : name.substr(slash + 1);
}

// A name with its folder's links and dots resolved; its last part stays,
// a link or a missing file as well.
std::string Real(const std::string& name) {
  const std::string last = LastPart(name);
  if (last.empty() || last == "." || last == "..") {
    char* resolved = ::realpath(name.c_str(), nullptr);
    if (resolved == nullptr) return name;
    std::string real = resolved;
    std::free(resolved);
    return real;
  }
  if (char* folder = ::realpath(Folder(name).c_str(), nullptr)) {
    std::string real = folder;
    std::free(folder);
    return (real == "/" ? real : real + "/") + last;
  }
  return name;
}

// The names that opening path goes through, link by link, the last one
// the file that is written, which a dangling link names while it is still
// missing (open creates it there). Empty when the links go round.
std::vector<std::string> LinkChain(const std::string& path) {
  std::vector<std::string> chain{path};
  for (int followed = 0;; ++followed) {
    const std::string& name = chain.back();
    struct stat link;
    if (::lstat(name.c_str(), &link) != 0 || !S_ISLNK(link.st_mode)) break;
    if (followed == kMaxLinks) return {};
    std::string target(size_t(link.st_size > 0 ? link.st_size : 255) + 1, '\0');
    const ssize_t n = ::readlink(name.c_str(), target.data(), target.size());
    if (n <= 0 || size_t(n) >= target.size()) return {};
    target.resize(size_t(n));
    chain.push_back(target.front() == '/' ? target : Folder(name) + "/" + target);
  }
  for (std::string& name : chain) name = Real(name);
  return chain;
}

}  // namespace

bool WriteFileUnlessDatabase(const std::string& path, std::string_view text, FileWrite how) {
  // A link, dangling or not, may lead to a database's side file: every name
  // on the way counts, and the file written is the one that was looked at,
  // never a link put in its place since.
  const std::vector<std::string> chain = LinkChain(path);
  if (chain.empty()) return false;
  for (const std::string& name : chain)
    if (IsSideFileName(name)) return false;
  if (Look(chain.back()) != Kind::Other) return false;
  const int flags = O_WRONLY | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NOCTTY |
                    (how == FileWrite::Append ? O_APPEND : O_TRUNC);
  const int fd = ::open(chain.back().c_str(), flags, 0666);
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
