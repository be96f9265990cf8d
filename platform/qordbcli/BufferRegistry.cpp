#include "BufferRegistry.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <vector>

#include "ServerFile.h"

namespace qordb {

namespace {

#if defined(__SANITIZE_ADDRESS__)
// Under AddressSanitizer every buffer goes straight back to the allocator,
// so that a caller's use of a buffer after FreePtr is still caught.
constexpr size_t kPoolBuffers = 0;
#else
constexpr size_t kPoolBuffers = 8;
#endif
// Larger buffers go back to the allocator when they are released.
constexpr size_t kPoolCapacity = 256 * 1024;
// The first room of a buffer that is built piece by piece.
constexpr size_t kFirstCapacity = 4096;

// The addresses of the buffers handed out, with their capacity: an open
// addressing table (linear probing, deletion by shifting back), so that
// registering a buffer allocates nothing once the table has grown.
class LiveBuffers {
 public:
  size_t Size() const { return count_; }

  void Insert(const char* p, size_t capacity) {
    if ((count_ + 1) * 2 > slots_.size()) Grow();
    size_t i = Home(p);
    while (slots_[i].address) i = (i + 1) & Mask();
    slots_[i] = {p, capacity};
    ++count_;
  }

  // Removes p and returns its capacity; 0 when p is not here.
  size_t Erase(const void* p) {
    if (!p || slots_.empty()) return 0;
    size_t i = Home(p);
    while (slots_[i].address != p) {
      if (!slots_[i].address) return 0;
      i = (i + 1) & Mask();
    }
    const size_t capacity = slots_[i].capacity;
    // Shift back the entries after the hole that would no longer be found.
    for (size_t j = (i + 1) & Mask(); slots_[j].address; j = (j + 1) & Mask()) {
      const size_t home = Home(slots_[j].address);
      if (((j - home) & Mask()) >= ((j - i) & Mask())) {
        slots_[i] = slots_[j];
        i = j;
      }
    }
    slots_[i] = {};
    --count_;
    return capacity;
  }

 private:
  struct Slot {
    const void* address = nullptr;
    size_t capacity = 0;
  };

  size_t Mask() const { return slots_.size() - 1; }
  size_t Home(const void* p) const {
    // Fibonacci hashing of the address; buffers are at least 16-byte aligned.
    return (reinterpret_cast<uintptr_t>(p) * 0x9E3779B97F4A7C15ull >> 16) & Mask();
  }
  void Grow() {
    std::vector<Slot> old(std::max<size_t>(slots_.size() * 2, 64));
    old.swap(slots_);
    count_ = 0;
    for (const Slot& s : old)
      if (s.address) Insert(static_cast<const char*>(s.address), s.capacity);
  }

  std::vector<Slot> slots_;  // a power of two long, at most half full
  size_t count_ = 0;
};

// Every buffer handed out, and the released ones kept for the next hand-out:
// a caller releases each buffer soon after the call, so a call that hands out
// a buffer mostly reuses the one the call before handed out.
struct Registry {
  std::mutex mutex;
  LiveBuffers live;
  std::vector<std::pair<char*, size_t>> pool;  // released, the latest last
};

Registry& TheRegistry() {
  static auto* r = [] {
    auto* registry = new Registry;  // outlives every static destructor
    registry->pool.reserve(kPoolBuffers);
    return registry;
  }();
  return *r;
}

// A buffer with room for at least n bytes (from the pool when one has it),
// not yet registered; throws StatusError 10016 when memory runs out.
char* Take(size_t n, size_t* capacity) {
  Registry& r = TheRegistry();
  {
    std::lock_guard<std::mutex> lock(r.mutex);
    for (size_t i = r.pool.size(); i-- > 0;) {
      if (r.pool[i].second < n) continue;
      char* p = r.pool[i].first;
      *capacity = r.pool[i].second;
      r.pool.erase(r.pool.begin() + static_cast<ptrdiff_t>(i));
      return p;
    }
  }
  *capacity = std::max<size_t>(n, 1);
  char* p = static_cast<char*>(std::malloc(*capacity));
  if (!p) throw StatusError{kNoMemory};
  return p;
}

// With r's mutex held: keeps a released buffer in the pool when there is
// room for it; false when the caller is to free it.
bool Keep(Registry& r, char* p, size_t capacity) {
  if (capacity > kPoolCapacity || r.pool.size() >= kPoolBuffers) return false;
  r.pool.emplace_back(p, capacity);
  return true;
}

// Takes a buffer that is no longer registered back into the pool, or frees it.
void GiveBack(char* p, size_t capacity) {
  Registry& r = TheRegistry();
  bool kept;
  {
    std::lock_guard<std::mutex> lock(r.mutex);
    kept = Keep(r, p, capacity);
  }
  if (!kept) std::free(p);
}

// Hands p out: registers it, or gives it back and throws.
char* Register(char* p, size_t capacity) {
  Registry& r = TheRegistry();
  try {
    std::lock_guard<std::mutex> lock(r.mutex);
    r.live.Insert(p, capacity);
  } catch (...) {
    GiveBack(p, capacity);
    throw StatusError{kNoMemory};
  }
  return p;
}

}  // namespace

char* AllocBuffer(size_t n) {
  size_t capacity = 0;
  char* p = Take(n, &capacity);
  return Register(p, capacity);
}

char* AllocCopy(const void* data, size_t n) {
  char* p = AllocBuffer(n);
  if (n) std::memcpy(p, data, n);
  return p;
}

bool FreeBuffer(void* p) {
  Registry& r = TheRegistry();
  bool kept;
  {
    std::lock_guard<std::mutex> lock(r.mutex);
    const size_t capacity = r.live.Erase(p);
    if (capacity == 0) return false;
    kept = Keep(r, static_cast<char*>(p), capacity);
  }
  if (!kept) std::free(p);
  return true;
}

int64_t OutstandingBuffers() {
  Registry& r = TheRegistry();
  std::lock_guard<std::mutex> lock(r.mutex);
  return static_cast<int64_t>(r.live.Size());
}

BufferBuilder::~BufferBuilder() {
  if (p_) GiveBack(p_, capacity_);
}

void BufferBuilder::Append(const void* data, size_t n) {
  if (n == 0) return;
  if (!p_) p_ = Take(std::max(n, kFirstCapacity), &capacity_);
  if (n > capacity_ - size_) {
    const size_t capacity = std::max(size_ + n, capacity_ * 2);
    char* p = static_cast<char*>(std::realloc(p_, capacity));
    if (!p) throw StatusError{kNoMemory};
    p_ = p;
    capacity_ = capacity;
  }
  std::memcpy(p_ + size_, data, n);
  size_ += n;
}

char* BufferBuilder::Release() {
  if (!p_) return AllocBuffer(0);
  // A large result gives back the room that growing left over; a small one
  // keeps it for the calls that reuse the buffer once it is released.
  if (capacity_ > kPoolCapacity && size_ < capacity_) {
    if (char* p = static_cast<char*>(std::realloc(p_, size_ ? size_ : 1))) {
      p_ = p;
      capacity_ = size_ ? size_ : 1;
    }
  }
  char* p = p_;
  const size_t capacity = capacity_;
  p_ = nullptr;
  size_ = capacity_ = 0;
  return Register(p, capacity);
}

}  // namespace qordb
