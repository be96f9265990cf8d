#include "Raised_testutil.h"

Raised RaisedBy(const std::function<void()>& run) {
  Raised raised;
  try {
    run();
  } catch (const QorExceptBaseArg& e) {
    raised.code = e.GetCode();
    raised.args = e.GetArgs();
    raised.message = e.what();
    raised.position = e.GetPosition();
  } catch (const QorExceptBase& e) {
    raised.code = e.GetCode();
    raised.message = e.what();
    raised.position = e.GetPosition();
  }
  return raised;
}
