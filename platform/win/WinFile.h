// Writing a file that the programs name for the operator: a log saved under
// a name the operator chose, or a log appended to in the working folder.
#pragma once

#include <string>
#include <string_view>

namespace win {

enum class FileWrite { Replace, Append };

// Writes text into the file that path names for the file system, creating
// it when missing: in place of what it held, or after it. False when the
// file cannot be opened or written, and when it is an SQLite database (a
// server) or that database's log, index or journal ("-wal", "-shm",
// "-journal", missing ones too), whoever holds it: this process, another or
// none; such a file is left as it was. A link counts by every name it leads
// through, a dangling one by the missing file it would create, and a log,
// index or journal is also known by its first bytes under any name (a hard
// link). On Windows a server's own process holds its files, so that no other
// program writes to them; here nothing would stop a write, and a server that
// nobody holds would be lost as well.
bool WriteFileUnlessDatabase(const std::string& path, std::string_view text, FileWrite how);

}  // namespace win
