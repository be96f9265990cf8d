// What an operation raised, so that tests check a library error's code,
// arguments, message and throw site without a try block each.
#pragma once

#include <functional>
#include <string>

#include "QorUtils.h"

struct Raised {
  int code = 0;  // 0: nothing was raised
  StringVector args;
  std::string message;  // what()
  QorErrPos position;   // the throw site, for tests that pin it
};

// Runs run and catches the library's exceptions; others pass through.
Raised RaisedBy(const std::function<void()>& run);
