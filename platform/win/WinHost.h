// Facts about the host: the computer's name and the process id. Tests can
// replace either, so that what the login sends is predictable.
#pragma once

#include <optional>
#include <string>

#include "WinTypes.h"

namespace win {

// The computer's name into buffer. *size is the buffer's size in bytes on
// entry and the name's length (without the NUL) on success. A name that does
// not fit fails (FALSE) with *size set to the size needed, NUL included.
BOOL GetComputerNameA(char* buffer, DWORD* size);

DWORD GetCurrentProcessId();

// The same facts as plain values.
std::string ComputerName();
DWORD ProcessId();

// Test hooks: a value replaces the real fact until reset with nullopt.
void SetComputerNameForTesting(std::optional<std::string> name);
void SetProcessIdForTesting(std::optional<DWORD> pid);

}  // namespace win
