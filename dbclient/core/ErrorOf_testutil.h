// Catching a library failure in a test as the DbDescError itself, for the
// tests that compare its source position too (RaisedBy keeps code,
// arguments and message only).
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
