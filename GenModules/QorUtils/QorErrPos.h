// Where a failure was raised: source file, operation and line.
#pragma once

#include <string>

struct QorErrPos {
  std::string file;
  std::string function;  // "Class::Operation", or the bare name of a free function
  int line = 0;

  QorErrPos() = default;
  QorErrPos(const char* file, const char* function, int line);
};

// The position of a throw site in this source file. The operation name and the
// line are given by the caller: they are the ones the operator is shown.
#define QOR_ERRPOS(function, line) QorErrPos(__FILE__, (function), (line))
