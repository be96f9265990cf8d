// Every buffer an entry hands to the caller comes from here, so FreePtr can
// tell its own buffers from anything else and tests can count the ones not
// yet released.
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

}  // namespace qordb
