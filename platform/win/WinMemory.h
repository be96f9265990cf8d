// Local memory blocks, for code that builds in-memory structures such as
// dialog templates. A block is zero-filled on request and stays where it is
// (movable blocks never move here).
#pragma once

#include <cstddef>

#include "WinTypes.h"

namespace win {

struct HLOCAL__;
using HLOCAL = HLOCAL__*;

constexpr UINT LMEM_MOVEABLE = 0x0002;
constexpr UINT LMEM_ZEROINIT = 0x0040;
constexpr UINT LHND = LMEM_MOVEABLE | LMEM_ZEROINIT;

// Null when the block cannot be had.
HLOCAL LocalAlloc(UINT flags, size_t bytes);
// The block's memory, or null for a bad handle.
void* LocalLock(HLOCAL block);
BOOL LocalUnlock(HLOCAL block);
// Null on success, the handle back when it was not a block.
HLOCAL LocalFree(HLOCAL block);
size_t LocalSize(HLOCAL block);

// The size of the block that contains address (from address to the block's
// end), or 0 when it lies in none; lets readers of a template stay in bounds.
size_t LocalBytesFrom(const void* address);

// Test hooks: make the next LocalAlloc or LocalLock fail (once each).
void FailNextLocalAllocForTesting();
void FailNextLocalLockForTesting();

}  // namespace win
