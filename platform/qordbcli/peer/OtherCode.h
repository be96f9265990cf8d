// What other code in a process of the tests' programs does with a file.
#pragma once

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <string>

// Opens path, reads a few bytes and closes it, as any code may with any
// file: 0, else the errno.
inline int Touch(const std::string& path) {
  const int fd = open(path.c_str(), O_RDONLY);
  if (fd < 0) return errno;
  char bytes[64];
  const ssize_t n = read(fd, bytes, sizeof bytes);
  close(fd);
  return n < 0 ? errno : 0;
}
