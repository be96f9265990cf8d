// A failure whose message takes arguments: each "%s" of the code's text is
// replaced in turn, and what is left over is appended as "\n (a, b)".
#pragma once

#include <string>

#include "QorExceptBase.h"
#include "StringVector.h"

class QorExceptBaseArg : public QorExceptBase {
 public:
  QorExceptBaseArg(int code, const StringVector& args);
  QorExceptBaseArg(int code, QorErrPos position, const StringVector& args);
  ~QorExceptBaseArg() override;

  QorExceptBaseArg(const QorExceptBaseArg&) = default;
  QorExceptBaseArg& operator=(const QorExceptBaseArg&) = default;
  QorExceptBaseArg(QorExceptBaseArg&&) = default;
  QorExceptBaseArg& operator=(QorExceptBaseArg&&) = default;

  // Rebuilds the message on every call; the pointer stays valid until the
  // next call or the object's end.
  const char* what() const noexcept override;
  virtual std::string FormatArgs(const std::string& text) const;

  const StringVector& GetArgs() const { return m_args; }

 protected:
  mutable std::string m_formatted;
  StringVector m_args;
};
