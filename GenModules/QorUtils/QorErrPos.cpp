#include "QorErrPos.h"

QorErrPos::QorErrPos(const char* file, const char* function, int line)
    : file(file ? file : ""), function(function ? function : ""), line(line) {}
