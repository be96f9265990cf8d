// libqordbcli_shim.so: preloaded (LD_PRELOAD) into a test program to stand
// for a system that lacks what the library's locks use. QOR_SHIM says what:
//   no-ofd   fcntl refuses OFD locks (F_OFD_*) with EINVAL, as a kernel
//            without them does
//   no-proc  opening anything under /proc fails with ENOENT
#include <dlfcn.h>
#include <fcntl.h>

#include <cerrno>
#include <cstdarg>
#include <cstdlib>
#include <cstring>

namespace {

bool Lacks(const char* what) {
  const char* shim = std::getenv("QOR_SHIM");
  return shim && std::strcmp(shim, what) == 0;
}

template <typename Call>
Call Next(const char* name) {
  return reinterpret_cast<Call>(dlsym(RTLD_NEXT, name));
}

int Fcntl(const char* name, int fd, int command, void* arg) {
  if (Lacks("no-ofd") &&
      (command == F_OFD_GETLK || command == F_OFD_SETLK || command == F_OFD_SETLKW)) {
    errno = EINVAL;
    return -1;
  }
  return Next<int (*)(int, int, ...)>(name)(fd, command, arg);
}

int Open(const char* name, const char* path, int flags, mode_t mode) {
  if (Lacks("no-proc") && std::strncmp(path, "/proc/", 6) == 0) {
    errno = ENOENT;
    return -1;
  }
  return Next<int (*)(const char*, int, ...)>(name)(path, flags, mode);
}

}  // namespace

// Every command takes at most one argument, a number or a pointer; every
// open at most a mode.
#define QOR_SHIM_FCNTL(name)                      \
  extern "C" int name(int fd, int command, ...) { \
    va_list args;                                 \
    va_start(args, command);                      \
    void* arg = va_arg(args, void*);              \
    va_end(args);                                 \
    return Fcntl(#name, fd, command, arg);        \
  }
#define QOR_SHIM_OPEN(name)                               \
  extern "C" int name(const char* path, int flags, ...) { \
    va_list args;                                         \
    va_start(args, flags);                                \
    const mode_t mode = va_arg(args, mode_t);             \
    va_end(args);                                         \
    return Open(#name, path, flags, mode);                \
  }
QOR_SHIM_FCNTL(fcntl)
QOR_SHIM_FCNTL(fcntl64)
QOR_SHIM_OPEN(open)
QOR_SHIM_OPEN(open64)
