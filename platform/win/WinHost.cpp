#include "WinHost.h"

#include <unistd.h>

#include <climits>
#include <cstring>
#include <mutex>

namespace win {
namespace {

std::mutex hostMutex;
std::optional<std::string> computerNameOverride;
std::optional<DWORD> processIdOverride;

}  // namespace

std::string ComputerName() {
  {
    std::lock_guard lock(hostMutex);
    if (computerNameOverride) return *computerNameOverride;
  }
  char name[HOST_NAME_MAX + 1] = {};
  if (gethostname(name, sizeof name - 1) != 0) return {};
  return name;
}

DWORD ProcessId() {
  {
    std::lock_guard lock(hostMutex);
    if (processIdOverride) return *processIdOverride;
  }
  return static_cast<DWORD>(getpid());
}

BOOL GetComputerNameA(char* buffer, DWORD* size) {
  if (size == nullptr) return FALSE;
  const std::string name = ComputerName();
  if (buffer == nullptr || name.size() + 1 > *size) {
    *size = static_cast<DWORD>(name.size() + 1);
    return FALSE;
  }
  std::memcpy(buffer, name.c_str(), name.size() + 1);
  *size = static_cast<DWORD>(name.size());
  return TRUE;
}

DWORD GetCurrentProcessId() { return ProcessId(); }

void SetComputerNameForTesting(std::optional<std::string> name) {
  std::lock_guard lock(hostMutex);
  computerNameOverride = std::move(name);
}

void SetProcessIdForTesting(std::optional<DWORD> pid) {
  std::lock_guard lock(hostMutex);
  processIdOverride = pid;
}

}  // namespace win
