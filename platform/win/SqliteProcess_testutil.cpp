#include "SqliteProcess_testutil.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

namespace win {

SqliteProcess::SqliteProcess(const std::string& path, const std::string& script, bool hold) {
  int in[2], out[2];
  if (pipe2(in, O_CLOEXEC) != 0) return;
  if (pipe2(out, O_CLOEXEC) != 0) {
    close(in[0]);
    close(in[1]);
    return;
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, in[0], STDIN_FILENO);
  posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
  const std::string program =
      "import sqlite3, sys\n"
      "db = sqlite3.connect(sys.argv[1], isolation_level=None)\n" +
      script + (hold ? "sys.stdin.read()\n" : "");
  const char* argv[] = {"python3", "-c", program.c_str(), path.c_str(), nullptr};
  if (posix_spawnp(&pid_, "python3", &actions, nullptr, const_cast<char**>(argv), environ) != 0)
    pid_ = -1;
  posix_spawn_file_actions_destroy(&actions);
  close(in[0]);
  close(out[1]);
  toChild_ = in[1];
  char c;
  for (ssize_t n; pid_ > 0 && (n = read(out[0], &c, 1)) != 0 && c != '\n';) {
    if (n > 0)
      answer_ += c;
    else if (errno != EINTR)
      break;
  }
  close(out[0]);
}

bool SqliteProcess::Stop() {
  if (toChild_ >= 0) close(toChild_);
  toChild_ = -1;
  int status = -1;
  if (pid_ > 0 && waitpid(pid_, &status, 0) == pid_) pid_ = -1;
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace win
