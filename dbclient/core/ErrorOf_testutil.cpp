#include "ErrorOf_testutil.h"

std::optional<DbDescError> ErrorOf(const std::function<void()>& f) {
  try {
    f();
  } catch (const DbDescError& e) {
    return e;
  }
  return std::nullopt;
}

std::vector<std::string> Args(const std::optional<DbDescError>& e) {
  if (!e) return {"<no error>"};
  return std::vector<std::string>(e->GetArgs().begin(), e->GetArgs().end());
}
