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
// SQLite's descriptors of a file it opened before its calls were routed, and
// those of a copy of SQLite that is not the library's, are not the library's
// to route: their locks stay plain POSIX locks, which the library's own
// connections would lean on through SQLite's shared bookkeeping, or which
// the library's own closes would drop. A login asks the kernel, from a
// description the library keeps, whether this process holds such a lock on
// the server file or its index, and refuses the file where it does, or
// where a descriptor of it from before the load is still open.
#pragma once

#include <sys/types.h>

#include <string>
#include <utility>
#include <vector>

namespace qordb {

// Routes the file calls of SQLite's default file system layer through the
// library; once per process, which the library's load does. Where SQLite was
// used in the process before (sqliteUsedBefore), the descriptors open once
// its calls are routed are noted for LoginCheck.
void KeepLocksOnOwnDescriptions(bool sqliteUsedBefore);

// A login's check of the server file at path, which holds the library's own
// descriptions of it and its index until SQLite has opened them (or the
// login has failed), since closing one would drop every plain POSIX lock of
// the process on the file.
class LoginCheck {
 public:
  explicit LoginCheck(const std::string& path);
  ~LoginCheck();
  LoginCheck(const LoginCheck&) = delete;
  LoginCheck& operator=(const LoginCheck&) = delete;

  // Whether SQLite's bookkeeping of the file in this process may name locks
  // that are not kept on the library's own descriptions: SQLite had the
  // file open in a process this one was forked from and still has it here;
  // the file, its log or its index is still open through a descriptor that
  // was open when the library was loaded; or the kernel tells of a plain
  // POSIX lock of this process on the file or its index (SQLite's, opened
  // before its calls were routed, or a copy of SQLite that is not the
  // library's).
  bool OutsideOwnLocks() const { return outside_; }

 private:
  std::vector<std::pair<dev_t, ino_t>> held_;
  bool outside_ = false;
};

// "" until a file's locks have stayed plain POSIX locks (no OFD locks, or
// the file could not be opened again); then what was said of the first.
const char* LockNotice();

}  // namespace qordb
