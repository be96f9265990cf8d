#include "BufferRegistry.h"

#include <algorithm>
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

// Takes p (from malloc) into the registry, or frees it and throws.
char* Register(char* p) {
  try {
    std::lock_guard<std::mutex> lock(Mutex());
    Live().insert(p);
  } catch (...) {
    std::free(p);
    throw StatusError{kNoMemory};
  }
  return p;
}

}  // namespace

char* AllocBuffer(size_t n) {
  char* p = static_cast<char*>(std::malloc(n ? n : 1));
  if (!p) throw StatusError{kNoMemory};
  return Register(p);
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

BufferBuilder::~BufferBuilder() { std::free(p_); }

void BufferBuilder::Append(const void* data, size_t n) {
  if (n == 0) return;
  if (n > capacity_ - size_) {
    const size_t capacity = std::max(size_ + n, std::max<size_t>(capacity_ * 2, 4096));
    char* p = static_cast<char*>(std::realloc(p_, capacity));
    if (!p) throw StatusError{kNoMemory};
    p_ = p;
    capacity_ = capacity;
  }
  std::memcpy(p_ + size_, data, n);
  size_ += n;
}

char* BufferBuilder::Release() {
  // Give back the room that growing left over.
  char* p = static_cast<char*>(std::realloc(p_, size_ ? size_ : 1));
  if (!p) p = p_;
  p_ = nullptr;
  size_ = capacity_ = 0;
  return Register(p);
}

}  // namespace qordb
