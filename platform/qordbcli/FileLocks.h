// SQLite keeps its locks on a server file, its log and its shared index as
// POSIX record locks, and on Linux the kernel drops every POSIX lock a
// process holds on a file as soon as any descriptor of that file is closed
// in that process: a file dialog that reads the first bytes of a server file
// to type it is enough. Another program then believes that no one has the
// server open, checkpoints and deletes the log under a live connection, and
// commits are lost.
//
// So SQLite's file calls go through the library: every lock that SQLite sets
// or tests on a file it opened is kept instead on one open file description
// of the library's own per file and process (an OFD lock), which no other
// descriptor's close touches. Within the process this keeps the POSIX
// rules, one owner per process, that SQLite's own bookkeeping relies on;
// between processes OFD locks and POSIX locks conflict as POSIX locks do.
//
// After a fork the child holds none of its parent's locks, while SQLite's
// bookkeeping, copied into the child, says it does: in a child, a file that
// SQLite had open in the parent refuses every lock (ENOLCK), and the
// library refuses to open it. A child made without fork's handlers (_Fork,
// a raw clone) shares the parent's lock descriptions, and so holds its
// locks, until it closes them by exec or exits.
//
// SQLite's descriptors of a file it opened before the library was loaded
// are not the library's to route: their locks stay plain POSIX locks, which
// its own connections then lean on through SQLite's shared bookkeeping. The
// library refuses to open such a file.
#pragma once

#include <string>

namespace qordb {

// Routes the file calls of SQLite's default file system layer through the
// library; once per process, which the library's load does. Where SQLite was
// used in the process before (sqliteUsedBefore), the descriptors open at
// that moment are noted for OutsideOwnLocks.
void KeepLocksOnOwnDescriptions(bool sqliteUsedBefore);

// Whether SQLite's bookkeeping of the server file at path, in this process,
// may name locks that are not kept on the library's own descriptions: SQLite
// had the file open in a process this one was forked from and still has it
// here, or the file, its log or its index is still open through a descriptor
// that was open when the library was loaded.
bool OutsideOwnLocks(const std::string& path);

// "" until a file's locks have stayed plain POSIX locks (no OFD locks, or
// the file could not be opened again); then what was said of the first.
const char* LockNotice();

}  // namespace qordb
