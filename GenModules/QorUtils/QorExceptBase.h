// The root of every failure that the libraries raise: a code, an optional
// explicit text and the position of the throw site.
#pragma once

#include <exception>
#include <string>

#include "QorErrPos.h"

class QorExceptBase : public std::exception {
 public:
  explicit QorExceptBase(int code);
  QorExceptBase(int code, QorErrPos position);
  ~QorExceptBase() override;

  QorExceptBase(const QorExceptBase&) = default;
  QorExceptBase& operator=(const QorExceptBase&) = default;
  QorExceptBase(QorExceptBase&&) = default;
  QorExceptBase& operator=(QorExceptBase&&) = default;

  int GetCode() const { return m_code; }
  const QorErrPos& GetPosition() const { return m_position; }

  // The finished message; never null.
  const char* what() const noexcept override;
  virtual bool IsNotWarning() const;
  virtual bool IsSevere() const;
  virtual bool IsCritical() const;
  virtual const char* GetCategory() const;
  // The explicit message when there is one, else the code's text.
  virtual const char* GetMessage() const;

 protected:
  std::string m_message;
  int m_code;
  QorErrPos m_position;
};
