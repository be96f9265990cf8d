#include "FileLocks.h"

#include <dirent.h>
#include <fcntl.h>
#include <pthread.h>
#include <sqlite3.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

namespace qordb {

namespace {

struct FileId {
  dev_t dev;
  ino_t ino;
  bool operator==(const FileId& o) const { return dev == o.dev && ino == o.ino; }
};

struct FileIdHash {
  size_t operator()(const FileId& f) const { return std::hash<ino_t>()(f.ino) * 31 + f.dev; }
};

// One file that SQLite has open in this process.
struct File {
  std::string path;     // as SQLite opened it first
  int descriptors = 0;  // SQLite's own
  int lockFd = -1;      // the description that holds this process's locks on it
  bool inherited = false;
  bool plain = false;  // no OFD locks here: SQLite's locks stay plain POSIX locks
};

struct Files {
  std::mutex mutex;
  std::unordered_map<int, FileId> byDescriptor;
  std::unordered_map<FileId, File, FileIdHash> files;
  // Descriptors that were open when the library was loaded, in a process
  // that had used SQLite before: SQLite may hold its locks on them as plain
  // POSIX locks. A number leaves once SQLite opens or closes it here.
  std::unordered_map<int, FileId> early;
};

Files& State() {
  static Files* files = new Files;  // SQLite may close files while statics are torn down
  return *files;
}

using OpenCall = int (*)(const char*, int, int);
using CloseCall = int (*)(int);
using FcntlCall = int (*)(int, int, ...);
OpenCall g_open = nullptr;
CloseCall g_close = nullptr;
FcntlCall g_fcntl = nullptr;

// With the state's mutex held: SQLite no longer has descriptor fd open.
// Returns the lock description to close once the mutex is released, or -1.
int Forget(Files& s, int fd) {
  auto it = s.byDescriptor.find(fd);
  if (it == s.byDescriptor.end()) return -1;
  auto file = s.files.find(it->second);
  s.byDescriptor.erase(it);
  if (file == s.files.end() || --file->second.descriptors > 0) return -1;
  // SQLite closes its last descriptor of a file once it holds no lock on
  // it, or to drop what it holds, as a POSIX close would.
  const int lockFd = file->second.lockFd;
  s.files.erase(file);
  return lockFd;
}

int Open(const char* path, int flags, int mode) {
  const int fd = g_open(path, flags, mode);
  if (fd < 0) return fd;
  struct stat st;
  if (fstat(fd, &st) != 0) return fd;  // never locked through us, then
  Files& s = State();
  int stale;
  {
    std::lock_guard<std::mutex> lock(s.mutex);
    // A number that was SQLite's and was closed by other code.
    stale = Forget(s, fd);
    s.early.erase(fd);
    const FileId id{st.st_dev, st.st_ino};
    s.byDescriptor[fd] = id;
    File& file = s.files[id];
    if (file.descriptors++ == 0) file.path = path;
  }
  if (stale >= 0) g_close(stale);
  return fd;
}

int Close(int fd) {
  Files& s = State();
  int lockFd;
  {
    std::lock_guard<std::mutex> lock(s.mutex);
    lockFd = Forget(s, fd);
    s.early.erase(fd);
  }
  const int rc = g_close(fd);
  if (lockFd >= 0) g_close(lockFd);
  return rc;
}

std::atomic<const char*> g_notice{""};

// Says once, on the standard error and to the diagnostics, that a file's
// locks stay plain POSIX locks.
void Notice(const std::string& path, const char* why) {
  static std::once_flag once;
  // Static storage: the text outlives every reader, and nothing is freed at exit.
  static char text[4096];
  std::call_once(once, [&] {
    std::snprintf(text, sizeof text,
                  "qordbcli: %s: %s; SQLite's locks on it stay plain POSIX locks, which closing any "
                  "descriptor of the file in this process drops",
                  path.c_str(), why);
    std::fprintf(stderr, "%s\n", text);
    g_notice = text;
  });
}

// A description of the file that fd names (file, id), of this library's
// own, or -1 where the kernel keeps no OFD locks or the file cannot be
// opened again. The path SQLite opened is tried first, since /proc may be
// missing, and is taken only while it still names the same file.
int OwnDescription(int fd, const File& file, const FileId& id) {
  const int access = g_fcntl(fd, F_GETFL) & O_ACCMODE;
  const int flags = (access == O_RDONLY ? O_RDONLY : O_RDWR) | O_CLOEXEC | O_NOCTTY;
  for (const std::string& name : {file.path, "/proc/self/fd/" + std::to_string(fd)}) {
    const int own = g_open(name.c_str(), flags, 0);
    if (own < 0) continue;
    struct stat st;
    if (fstat(own, &st) != 0 || !(FileId{st.st_dev, st.st_ino} == id)) {
      g_close(own);
      continue;
    }
    struct flock probe = {};
    probe.l_type = F_RDLCK;
    probe.l_whence = SEEK_SET;
    probe.l_len = 1;
    if (g_fcntl(own, F_OFD_GETLK, &probe) != 0) {
      const int error = errno;
      g_close(own);
      Notice(file.path, ("OFD locks refused (" + std::string(std::strerror(error)) + ")").c_str());
      return -1;
    }
    return own;
  }
  Notice(file.path, "cannot be opened again");
  return -1;
}

// The description that holds fd's locks: one of the library's own, or fd
// itself (not a file of SQLite's, or no OFD locks here); -1 with ENOLCK for
// a file inherited from the parent process.
int LockDescription(int fd) {
  Files& s = State();
  std::lock_guard<std::mutex> lock(s.mutex);
  auto id = s.byDescriptor.find(fd);
  if (id == s.byDescriptor.end()) return fd;
  File& file = s.files[id->second];
  if (file.inherited) {
    errno = ENOLCK;
    return -1;
  }
  if (file.lockFd < 0 && !file.plain) {
    file.lockFd = OwnDescription(fd, file, id->second);
    file.plain = file.lockFd < 0;
  }
  return file.plain ? fd : file.lockFd;
}

int Fcntl(int fd, int command, ...) {
  // Every command SQLite gives takes one argument: a lock, or a number.
  va_list args;
  va_start(args, command);
  void* arg = va_arg(args, void*);
  va_end(args);
  const int ownCommand = command == F_SETLK    ? F_OFD_SETLK
                         : command == F_SETLKW ? F_OFD_SETLKW
                         : command == F_GETLK  ? F_OFD_GETLK
                                               : 0;
  if (ownCommand == 0) return g_fcntl(fd, command, arg);
  const int lockFd = LockDescription(fd);
  if (lockFd < 0) return -1;
  if (lockFd == fd) return g_fcntl(fd, command, arg);
  struct flock* given = static_cast<struct flock*>(arg);
  struct flock own = *given;
  own.l_pid = 0;  // required of OFD locks
  const int rc = g_fcntl(lockFd, ownCommand, &own);
  if (rc == 0 && command == F_GETLK) *given = own;
  return rc;
}

// A fork copies the state as no other thread is changing it.
void BeforeFork() { State().mutex.lock(); }
void InParent() { State().mutex.unlock(); }
// The child shares its parent's lock descriptions until it closes them, and
// holds none of its locks: every file SQLite has open is its parent's.
void InChild() {
  Files& s = State();
  for (auto& [id, file] : s.files) {
    if (file.lockFd >= 0) g_close(file.lockFd);
    file.lockFd = -1;
    file.inherited = true;
  }
  s.mutex.unlock();
}

// The descriptors open in this process, from /proc where it is, else by
// asking for each number below the limit.
std::vector<int> OpenDescriptors() {
  std::vector<int> fds;
  if (DIR* dir = opendir("/proc/self/fd")) {
    while (const dirent* entry = readdir(dir))
      if (entry->d_name[0] != '.' && std::atoi(entry->d_name) != dirfd(dir))
        fds.push_back(std::atoi(entry->d_name));
    closedir(dir);
    return fds;
  }
  struct rlimit limit;
  if (getrlimit(RLIMIT_NOFILE, &limit) != 0) return fds;
  for (rlim_t fd = 0; fd < limit.rlim_cur; ++fd)
    if (fcntl(static_cast<int>(fd), F_GETFD) >= 0) fds.push_back(static_cast<int>(fd));
  return fds;
}

// The regular files open when the library is loaded that close on exec, as
// SQLite's own descriptors do.
void NoteEarlyDescriptors(Files& s) {
  for (int fd : OpenDescriptors()) {
    struct stat st;
    const int flags = fcntl(fd, F_GETFD);
    if (flags >= 0 && (flags & FD_CLOEXEC) && fstat(fd, &st) == 0 && S_ISREG(st.st_mode))
      s.early[fd] = FileId{st.st_dev, st.st_ino};
  }
}

}  // namespace

void KeepLocksOnOwnDescriptions(bool sqliteUsedBefore) {
  static const bool installed = [sqliteUsedBefore] {
    sqlite3_vfs* vfs = sqlite3_vfs_find("unix");
    if (!vfs || vfs->iVersion < 3 || !vfs->xGetSystemCall || !vfs->xSetSystemCall) return false;
    g_open = reinterpret_cast<OpenCall>(vfs->xGetSystemCall(vfs, "open"));
    g_close = reinterpret_cast<CloseCall>(vfs->xGetSystemCall(vfs, "close"));
    g_fcntl = reinterpret_cast<FcntlCall>(vfs->xGetSystemCall(vfs, "fcntl"));
    if (!g_open || !g_close || !g_fcntl) return false;
    Files& s = State();
    if (sqliteUsedBefore) NoteEarlyDescriptors(s);
    pthread_atfork(BeforeFork, InParent, InChild);
    vfs->xSetSystemCall(vfs, "open", reinterpret_cast<sqlite3_syscall_ptr>(Open));
    vfs->xSetSystemCall(vfs, "close", reinterpret_cast<sqlite3_syscall_ptr>(Close));
    vfs->xSetSystemCall(vfs, "fcntl", reinterpret_cast<sqlite3_syscall_ptr>(Fcntl));
    return true;
  }();
  (void)installed;
}

bool OutsideOwnLocks(const std::string& path) {
  // The server file first, then its log and its index where they are.
  std::vector<FileId> ids;
  for (const char* suffix : {"", "-wal", "-shm"}) {
    struct stat st;
    if (::stat((path + suffix).c_str(), &st) == 0)
      ids.push_back(FileId{st.st_dev, st.st_ino});
    else if (ids.empty())
      return false;
  }
  Files& s = State();
  std::lock_guard<std::mutex> lock(s.mutex);
  auto file = s.files.find(ids[0]);
  if (file != s.files.end() && file->second.inherited) return true;
  for (const auto& [fd, early] : s.early) {
    struct stat st;
    if (std::find(ids.begin(), ids.end(), early) != ids.end() && fstat(fd, &st) == 0 &&
        FileId{st.st_dev, st.st_ino} == early)
      return true;
  }
  return false;
}

const char* LockNotice() { return g_notice; }

}  // namespace qordb
