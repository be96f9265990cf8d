// Every buffer an entry hands to the caller comes from here, so FreePtr can
// tell its own buffers from anything else and tests can count the ones not
// yet released. A released buffer is kept for a later hand-out (a few, none
// larger than 256 KiB), so that a run of calls reuses its buffers instead of
// allocating one per call; a buffer handed out stays the caller's until it
// is released.
#pragma once

#include <cstddef>
#include <cstdint>

namespace qordb {

// A new buffer of n bytes (at least one is allocated); throws StatusError
// 10016 when memory runs out.
char* AllocBuffer(size_t n);
char* AllocCopy(const void* data, size_t n);
// False, and nothing freed, for a pointer this registry did not hand out.
bool FreeBuffer(void* p);
int64_t OutstandingBuffers();

// Builds a buffer to hand out piece by piece, in a released buffer when
// there is one, growing it in place where the allocator can, so that its
// bytes are written once.
class BufferBuilder {
 public:
  BufferBuilder() = default;
  BufferBuilder(const BufferBuilder&) = delete;
  BufferBuilder& operator=(const BufferBuilder&) = delete;
  ~BufferBuilder();

  // Throws StatusError 10016 when memory runs out.
  void Append(const void* data, size_t n);
  size_t Size() const { return size_; }
  // The bytes as a buffer of this registry (freed with FreeBuffer); the
  // builder is empty afterwards.
  char* Release();

 private:
  char* p_ = nullptr;
  size_t size_ = 0;
  size_t capacity_ = 0;
};

}  // namespace qordb
