// Catching a library failure in a test so that its code, arguments and
// position can be compared.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "DbDescError.h"

// The DbDescError that f throws, or none when it returns.
std::optional<DbDescError> ErrorOf(const std::function<void()>& f);

// The error's arguments; "<no error>" alone when nothing was thrown, so that
// a missing failure shows in the comparison.
std::vector<std::string> Args(const std::optional<DbDescError>& e);
