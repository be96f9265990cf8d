// The database library's failure: a client error (2000-2038) or a status of
// the client library passed on unchanged (10000-10064), each with its text.
#pragma once

#include "QorUtils.h"

class DbDescError : public QorExceptBaseArg {
 public:
  DbDescError(int code, const StringVector& args = StringVector());
  DbDescError(int code, QorErrPos position, const StringVector& args = StringVector());
  ~DbDescError() override;

  DbDescError(const DbDescError&) = default;
  DbDescError& operator=(const DbDescError&) = default;
  DbDescError(DbDescError&&) = default;
  DbDescError& operator=(DbDescError&&) = default;

  bool IsSevere() const override;
  // The code's text from the two tables; the explicit message is not used.
  const char* GetMessage() const override;
};
