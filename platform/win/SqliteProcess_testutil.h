// A plain SQLite process beside a test: python3's sqlite3 on one database,
// for the tests of what other programs' SQLite leaves untouched.
#pragma once

#include <sys/types.h>

#include <string>

namespace win {

// Runs python3's sqlite3 on the database at path in a process of its own:
// the connection is `db`, script runs first and may print a line (`print`
// with flush=True), and with hold the process keeps its connection, and
// whatever transaction script left open, until it is stopped.
class SqliteProcess {
 public:
  SqliteProcess(const std::string& path, const std::string& script, bool hold);
  ~SqliteProcess() { Stop(); }
  SqliteProcess(const SqliteProcess&) = delete;
  SqliteProcess& operator=(const SqliteProcess&) = delete;

  // The first line it printed.
  const std::string& Answer() const { return answer_; }
  // Closes the connection and ends the process; true when it exited well.
  bool Stop();

 private:
  pid_t pid_ = -1;
  int toChild_ = -1;
  std::string answer_;
};

}  // namespace win
