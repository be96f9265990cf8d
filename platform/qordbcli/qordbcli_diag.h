// Diagnostics of libqordbcli.so for tests; not part of the client entries.
#pragma once

#include <cstdint>

extern "C" {
// Buffers handed out by the entries and not yet released with FreePtr.
int64_t QorDbCliOutstandingBuffers();
// How long a handle may stay idle before the read snapshot it holds between
// calls ends (5000 microseconds unless set).
void QorDbCliSetSnapshotIdleTime(int64_t microseconds);
// The text of the last SqlOperation on handle h, "" when none (or no such
// handle); valid until the next call on that handle.
const char* QorDbCliLastSql(int32_t h);
// "" while the locks of every server file have been kept on the library's
// own descriptions; once one's have stayed plain POSIX locks (the kernel
// refused OFD locks, or the file could not be opened again), the one notice
// that the library also wrote to the standard error.
const char* QorDbCliLockNotice();
}
