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
// library refuses to open it.
#pragma once

#include <string>

namespace qordb {

// Routes the file calls of SQLite's default file system layer through the
// library; once per process, before the process opens a database with SQLite,
// which the library's load does.
void KeepLocksOnOwnDescriptions();

// Whether path names a file that SQLite had open in a process this one was
// forked from, and still has open here.
bool InheritedFromParent(const std::string& path);

}  // namespace qordb
