#include "BufferRegistry.h"

#include <cstdlib>
#include <cstring>
#include <mutex>
#include <unordered_set>

#include "ServerFile.h"

namespace qordb {

namespace {

std::mutex& Mutex() {
  static std::mutex m;
  return m;
}

std::unordered_set<void*>& Live() {
  static auto* s = new std::unordered_set<void*>;  // outlives every static destructor
  return *s;
}

}  // namespace

char* AllocBuffer(size_t n) {
  char* p = static_cast<char*>(std::malloc(n ? n : 1));
  if (!p) throw StatusError{kNoMemory};
  try {
    std::lock_guard<std::mutex> lock(Mutex());
    Live().insert(p);
  } catch (...) {
    std::free(p);
    throw StatusError{kNoMemory};
  }
  return p;
}

char* AllocCopy(const void* data, size_t n) {
  char* p = AllocBuffer(n);
  if (n) std::memcpy(p, data, n);
  return p;
}

bool FreeBuffer(void* p) {
  {
    std::lock_guard<std::mutex> lock(Mutex());
    if (Live().erase(p) == 0) return false;
  }
  std::free(p);
  return true;
}

int64_t OutstandingBuffers() {
  std::lock_guard<std::mutex> lock(Mutex());
  return static_cast<int64_t>(Live().size());
}

}  // namespace qordb
