// An ordered list of texts that numbers and strings are appended to; the
// argument list of every exception.
#pragma once

#include <cstddef>
#include <string>

#include "QoContainers.h"

class StringVector : public QoVector<std::string> {
 public:
  StringVector();
  StringVector(const char* text);
  StringVector(const std::string& s);
  StringVector(int n);
  StringVector(long n);
  StringVector(double v);  // 16 significant digits, shortest form
  StringVector(const StringVector& other);
  StringVector(StringVector&& other) noexcept;
  StringVector& operator=(const StringVector& other);
  StringVector& operator=(StringVector&& other) noexcept;
  virtual ~StringVector();

  // Empties the list and appends s.
  StringVector& Assign(const std::string& s);
  StringVector& Append(const std::string& s);

  StringVector& operator<<(const char* text);
  StringVector& operator<<(const std::string& s);
  StringVector& operator<<(int n);
  // Positions and sizes: the same bits read as signed, so the largest value
  // reads "-1".
  StringVector& operator<<(unsigned int n);
  StringVector& operator<<(unsigned long n);
  StringVector& operator<<(long n);
  StringVector& operator<<(double v);
};
