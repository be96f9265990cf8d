// Raised by a QoMap lookup of a key that is not there.
#pragma once

#include "QorExceptBase.h"

class QoMapExcept : public QorExceptBase {
 public:
  QoMapExcept() : QorExceptBase(8) {}
};
