#include "FileLocks.h"

#include <dirent.h>
#include <fcntl.h>
#include <pthread.h>
#include <sqlite3.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
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

// One file that SQLite has open in this process, or that a login checks.
struct File {
  std::string path;     // as SQLite opened it first
  int descriptors = 0;  // SQLite's own
  int checks = 0;       // logins that hold it (LoginCheck)
  int lockFd = -1;      // the description that holds this process's locks on it
  bool inherited = false;
  bool plain = false;  // no OFD locks here: SQLite's locks stay plain POSIX locks
  // A plain POSIX lock of this process's own was seen on it: lockFd stays
  // open, since its close would drop that lock.
  bool foreign = false;
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

// With the state's mutex held: file has lost its last descriptor of
// SQLite's or its last check. Returns the lock description to close once the
// mutex is released, or -1.
int Release(Files& s, std::unordered_map<FileId, File, FileIdHash>::iterator file) {
  File& f = file->second;
  if (f.descriptors > 0) return -1;
  if (f.checks > 0 || f.foreign) {
    // Kept open: SQLite's locks on it go as a POSIX close would drop them.
    if (f.lockFd >= 0 && !f.plain) {
      struct flock all = {};
      all.l_type = F_UNLCK;
      all.l_whence = SEEK_SET;
      g_fcntl(f.lockFd, F_OFD_SETLK, &all);
    }
    return -1;
  }
  const int lockFd = f.lockFd;
  s.files.erase(file);
  return lockFd;
}

// With the state's mutex held: SQLite no longer has descriptor fd open.
// Returns the lock description to close once the mutex is released, or -1.
int Forget(Files& s, int fd) {
  auto it = s.byDescriptor.find(fd);
  if (it == s.byDescriptor.end()) return -1;
  auto file = s.files.find(it->second);
  s.byDescriptor.erase(it);
  if (file == s.files.end()) return -1;
  // SQLite closes its last descriptor of a file once it holds no lock on
  // it, or to drop what it holds, as a POSIX close would.
  --file->second.descriptors;
  return Release(s, file);
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

// Whether the kernel keeps OFD locks on the file that own describes; says
// once where it does not.
bool OfdLocks(int own, const std::string& path) {
  struct flock probe = {};
  probe.l_type = F_RDLCK;
  probe.l_whence = SEEK_SET;
  probe.l_len = 1;
  if (g_fcntl(own, F_OFD_GETLK, &probe) == 0) return true;
  Notice(path, ("OFD locks refused (" + std::string(std::strerror(errno)) + ")").c_str());
  return false;
}

// A description of the file that fd names (file, id), of this library's
// own, or -1 where the kernel keeps no OFD locks or the file cannot be
// opened again. The path SQLite opened is tried first, since /proc may be
// missing, and is taken only while it still names the same file. With the
// state's mutex held.
int OwnDescription(Files& s, int fd, const File& file, const FileId& id) {
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
    if (!OfdLocks(own, file.path)) {
      g_close(own);
      return -1;
    }
    // The number may have been a descriptor of before.
    s.early.erase(own);
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
    file.lockFd = OwnDescription(s, fd, file, id->second);
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
// holds none of its locks: every file SQLite has open is its parent's, and
// the logins that held files are the parent's threads.
void InChild() {
  Files& s = State();
  for (auto it = s.files.begin(); it != s.files.end();) {
    File& file = it->second;
    if (file.lockFd >= 0) g_close(file.lockFd);
    if (file.descriptors == 0) {
      it = s.files.erase(it);
      continue;
    }
    file.lockFd = -1;
    file.checks = 0;
    file.foreign = false;
    file.inherited = true;
    ++it;
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
// SQLite's own descriptors do, and that SQLite has not opened through the
// library since its calls were routed.
void NoteEarlyDescriptors(Files& s) {
  std::lock_guard<std::mutex> lock(s.mutex);
  for (int fd : OpenDescriptors()) {
    if (s.byDescriptor.count(fd)) continue;
    struct stat st;
    const int flags = fcntl(fd, F_GETFD);
    if (flags >= 0 && (flags & FD_CLOEXEC) && fstat(fd, &st) == 0 && S_ISREG(st.st_mode))
      s.early[fd] = FileId{st.st_dev, st.st_ino};
  }
}

// With the state's mutex held: the file that path names (id, which becomes
// that of the file opened where the path names another by then) held for a
// login, with a description of the library's own where SQLite does not keep
// its locks on it already; null where the file cannot be opened.
File* Hold(Files& s, const std::string& path, FileId& id) {
  auto found = s.files.find(id);
  if (found == s.files.end() ||
      (found->second.lockFd < 0 && !found->second.plain && !found->second.inherited)) {
    int own = -1;
    for (int access : {O_RDWR, O_RDONLY}) {
      own = g_open(path.c_str(), access | O_CLOEXEC | O_NOCTTY, 0);
      if (own >= 0) break;
    }
    struct stat st;
    if (own < 0) return nullptr;
    if (fstat(own, &st) != 0) {
      g_close(own);
      return nullptr;
    }
    // The number may have been a descriptor of before.
    s.early.erase(own);
    // The path names another file now, whose own description this is.
    id = FileId{st.st_dev, st.st_ino};
    File& file = s.files[id];
    if (file.lockFd >= 0 || file.plain || file.inherited) {
      g_close(own);
    } else {
      if (file.descriptors == 0) file.path = path;
      file.lockFd = own;
      file.plain = !OfdLocks(own, path);
    }
    found = s.files.find(id);
  }
  ++found->second.checks;
  return &found->second;
}

// Whether this process holds a plain POSIX lock on the file that own
// describes: other code's, or SQLite's outside the library. The kernel
// answers from own, which stays open, since any close of the file would
// drop that lock; the library's own locks are on own and never conflict
// with it.
bool PlainLockOfThisProcess(int own, const FileId& id) {
  struct flock probe = {};
  probe.l_type = F_WRLCK;
  probe.l_whence = SEEK_SET;  // from the first byte to the last
  if (g_fcntl(own, F_OFD_GETLK, &probe) != 0 || probe.l_type == F_UNLCK) return false;
  // OFD locks are answered as -1, POSIX locks with their process.
  if (probe.l_pid == getpid()) return true;
  // The kernel answers with the first lock it finds in the way: another
  // process's on the same bytes hides this process's. /proc/locks lists all.
  const int fd = ::open("/proc/locks", O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  std::string text;
  char buffer[4096];
  for (ssize_t n; (n = read(fd, buffer, sizeof buffer)) > 0;) text.append(buffer, n);
  close(fd);
  // "1: POSIX  ADVISORY  READ 4242 fe:00:1234 1073741826 1073742335"; a
  // waiter's line has "->" before its kind.
  const long pid = getpid();
  for (size_t at = 0; at < text.size();) {
    size_t end = text.find('\n', at);
    if (end == std::string::npos) end = text.size();
    const std::string line = text.substr(at, end - at);
    at = end + 1;
    char kind[16], mode[16], type[16];
    long owner;
    unsigned major_, minor_;
    unsigned long inode;
    if (std::sscanf(line.c_str(), "%*d: %15s %15s %15s %ld %x:%x:%lu", kind, mode, type, &owner,
                    &major_, &minor_, &inode) == 7 &&
        std::strcmp(kind, "POSIX") == 0 && owner == pid && major_ == major(id.dev) &&
        minor_ == minor(id.dev) && inode == id.ino)
      return true;
  }
  return false;
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
    pthread_atfork(BeforeFork, InParent, InChild);
    vfs->xSetSystemCall(vfs, "open", reinterpret_cast<sqlite3_syscall_ptr>(Open));
    vfs->xSetSystemCall(vfs, "close", reinterpret_cast<sqlite3_syscall_ptr>(Close));
    vfs->xSetSystemCall(vfs, "fcntl", reinterpret_cast<sqlite3_syscall_ptr>(Fcntl));
    // Noted once SQLite's calls are routed, so that a file another thread's
    // SQLite opened meanwhile is either noted or the library's.
    if (sqliteUsedBefore) NoteEarlyDescriptors(s);
    return true;
  }();
  (void)installed;
}

LoginCheck::LoginCheck(const std::string& path) {
  // The server file first, then its log and its index where they are.
  std::vector<FileId> ids;
  std::vector<std::string> paths;
  for (const char* suffix : {"", "-wal", "-shm"}) {
    struct stat st;
    if (::stat((path + suffix).c_str(), &st) == 0) {
      ids.push_back(FileId{st.st_dev, st.st_ino});
      paths.push_back(path + suffix);
    } else if (ids.empty()) {
      return;
    }
  }
  Files& s = State();
  std::vector<std::pair<int, FileId>> asked;  // descriptions to ask the kernel from
  {
    std::lock_guard<std::mutex> lock(s.mutex);
    auto file = s.files.find(ids[0]);
    if (file != s.files.end() && file->second.inherited) {
      outside_ = true;
      return;
    }
    for (const auto& [fd, early] : s.early) {
      struct stat st;
      if (std::find(ids.begin(), ids.end(), early) != ids.end() && fstat(fd, &st) == 0 &&
          FileId{st.st_dev, st.st_ino} == early) {
        outside_ = true;
        return;
      }
    }
    // The server file and its index, where SQLite's connections hold their
    // locks as long as they are open (a shared lock on the index, and one on
    // the server file once it is read).
    for (size_t i = 0; i < ids.size(); ++i) {
      if (paths[i] == path + "-wal") continue;
      FileId id = ids[i];
      File* held = Hold(s, paths[i], id);
      if (!held) continue;
      held_.push_back({id.dev, id.ino});
      if (held->lockFd >= 0 && !held->plain) asked.push_back({held->lockFd, id});
    }
  }
  // Each description stays open meanwhile, held.
  std::vector<FileId> foreign;
  for (const auto& [fd, id] : asked)
    if (PlainLockOfThisProcess(fd, id)) foreign.push_back(id);
  std::lock_guard<std::mutex> lock(s.mutex);
  for (const auto& [fd, id] : asked) {
    auto file = s.files.find(id);
    if (file != s.files.end())
      file->second.foreign = std::find(foreign.begin(), foreign.end(), id) != foreign.end();
  }
  outside_ = !foreign.empty();
}

LoginCheck::~LoginCheck() {
  Files& s = State();
  std::vector<int> unused;
  {
    std::lock_guard<std::mutex> lock(s.mutex);
    for (const auto& [dev, ino] : held_) {
      auto file = s.files.find(FileId{dev, ino});
      if (file == s.files.end()) continue;
      --file->second.checks;
      const int lockFd = Release(s, file);
      if (lockFd >= 0) unused.push_back(lockFd);
    }
  }
  for (int fd : unused) g_close(fd);
}

const char* LockNotice() { return g_notice; }

}  // namespace qordb
