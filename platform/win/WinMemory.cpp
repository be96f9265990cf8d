#include "WinMemory.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>

namespace win {

// A block's header; the handle points to it and the memory follows.
struct HLOCAL__ {
  size_t size;
  int locks;
};

static_assert(sizeof(HLOCAL__) % alignof(std::max_align_t) == 0, "memory after the header stays aligned");

namespace {

std::mutex blocksMutex;
// Live blocks by the address of their memory, to validate handles and to
// find the block an address lies in.
std::map<const unsigned char*, HLOCAL__*> blocks;
bool failNextAlloc = false;
bool failNextLock = false;

unsigned char* MemoryOf(HLOCAL__* block) { return reinterpret_cast<unsigned char*>(block + 1); }

bool Live(HLOCAL block) {
  if (block == nullptr) return false;
  auto it = blocks.find(MemoryOf(block));
  return it != blocks.end() && it->second == block;
}

}  // namespace

HLOCAL LocalAlloc(UINT flags, size_t bytes) {
  std::lock_guard lock(blocksMutex);
  if (failNextAlloc) {
    failNextAlloc = false;
    return nullptr;
  }
  if (bytes > SIZE_MAX - sizeof(HLOCAL__)) return nullptr;
  auto* block = static_cast<HLOCAL__*>(std::malloc(sizeof(HLOCAL__) + bytes));
  if (block == nullptr) return nullptr;
  block->size = bytes;
  block->locks = 0;
  if (flags & LMEM_ZEROINIT) std::memset(MemoryOf(block), 0, bytes);
  blocks[MemoryOf(block)] = block;
  return block;
}

void* LocalLock(HLOCAL block) {
  std::lock_guard lock(blocksMutex);
  if (!Live(block)) return nullptr;
  if (failNextLock) {
    failNextLock = false;
    return nullptr;
  }
  ++block->locks;
  return MemoryOf(block);
}

BOOL LocalUnlock(HLOCAL block) {
  std::lock_guard lock(blocksMutex);
  if (!Live(block) || block->locks == 0) return FALSE;
  return --block->locks > 0 ? TRUE : FALSE;
}

HLOCAL LocalFree(HLOCAL block) {
  std::lock_guard lock(blocksMutex);
  if (block == nullptr) return nullptr;
  if (!Live(block)) return block;
  blocks.erase(MemoryOf(block));
  std::free(block);
  return nullptr;
}

size_t LocalSize(HLOCAL block) {
  std::lock_guard lock(blocksMutex);
  return Live(block) ? block->size : 0;
}

size_t LocalBytesFrom(const void* address) {
  std::lock_guard lock(blocksMutex);
  auto* p = static_cast<const unsigned char*>(address);
  auto it = blocks.upper_bound(p);
  if (it == blocks.begin()) return 0;
  --it;
  const auto begin = reinterpret_cast<uintptr_t>(it->first);
  const auto end = begin + it->second->size;
  const auto at = reinterpret_cast<uintptr_t>(p);
  return at >= begin && at < end ? static_cast<size_t>(end - at) : 0;
}

void FailNextLocalAllocForTesting() {
  std::lock_guard lock(blocksMutex);
  failNextAlloc = true;
}

void FailNextLocalLockForTesting() {
  std::lock_guard lock(blocksMutex);
  failNextLock = true;
}

}  // namespace win
