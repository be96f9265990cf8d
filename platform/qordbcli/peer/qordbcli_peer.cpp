// qordbcli_peer: another program on a test server, for the tests that need
// separate processes beside each other. It reads one command a line from its
// standard input and answers each with one line (a status first, where the
// command has one):
//
//   login DBID            a handle on "SRV" (under $QORDB_ROOT) with SHOP open
//                         under the id DBID
//   idle MICROSECONDS     how long an idle handle keeps its read snapshot
//   add ID | has ID       NewRec of a CUSTOMER / FindRec of one by its ID
//   count                 the count of CUSTOMER, -1 when it fails
//   draw NAME             "status id" of GetNextId
//   begin | commit | rollback
//   touch PATH            what other code in a process may do with any file:
//                         open it, read a few bytes and close it ("0" or errno)
//   reads MICROSECONDS    counts CUSTOMER again and again, that long apart (0: at
//                         once) until the next line arrives, then answers
//                         "0 reads" to it
//   selects MICROSECONDS  as reads, with selections of the CUSTOMERs with ID
//                         1, 2, 3, 4, 1, 2, ... instead of counts; "0 selections"
//                         when each gave the record asked for, else "1 ..."
//   fork                  counts CUSTOMER, forks a child that lives on without
//                         calling the library until this process ends; "0 pid"
//   spawn HOW             makes a child by fork, fork-exec (fork, then exec of
//                         this program), _Fork or _Fork-exec, which lives on
//                         without calling the library until the end of this
//                         process's input; "0 pid"
//   notice                QorDbCliLockNotice()
//   free                  FreeDbHandler
//
// At the end of its input it frees its handle and exits, as a program that
// logs out and quits.
#include <fcntl.h>
#include <poll.h>
#include <sys/types.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <iostream>
#include <sstream>
#include <string>
#include <thread>

#include "OtherCode.h"
#include "TestServer_testutil.h"
#include "qordbcli.h"
#include "qordbcli_diag.h"

namespace {

bool InputWaiting() {
  pollfd p{STDIN_FILENO, POLLIN, 0};
  return poll(&p, 1, 0) == 1;
}

}  // namespace

int main() {
  BareClient peer;
  std::string line;
  while (std::getline(std::cin, line)) {
    std::istringstream in(line);
    std::string command, arg;
    in >> command >> arg;
    std::string answer;
    if (command == "login") {
      answer = std::to_string(peer.Open("SRV", std::stoi(arg), "SHOP"));
    } else if (command == "idle") {
      QorDbCliSetSnapshotIdleTime(std::stoll(arg));
      answer = "0";
    } else if (command == "add") {
      answer = std::to_string(peer.Add("CUSTOMER", std::stoi(arg)));
    } else if (command == "has") {
      answer = std::to_string(peer.Has("CUSTOMER", std::stoi(arg)));
    } else if (command == "count") {
      answer = std::to_string(peer.Count("CUSTOMER"));
    } else if (command == "draw") {
      int32_t id = 0;
      const int status = GetNextId(peer.h, arg.c_str(), &id);
      answer = std::to_string(status) + " " + std::to_string(id);
    } else if (command == "begin") {
      answer = std::to_string(BeginTransaction(peer.h, "Peer", 0, 0));
    } else if (command == "commit" || command == "rollback") {
      answer = std::to_string(EndTransaction(peer.h, command == "commit"));
    } else if (command == "touch") {
      answer = std::to_string(Touch(arg));
    } else if (command == "reads" || command == "selects") {
      const auto apart = std::chrono::microseconds(std::stoll(arg));
      long reads = 0;
      bool right = true;
      for (; !InputWaiting(); ++reads) {
        if (command == "reads") {
          peer.Count("CUSTOMER");
        } else {
          const int id = static_cast<int>(reads % 4) + 1;
          right = right && peer.Select("CUSTOMER", id) == id;
        }
        if (apart.count() > 0) std::this_thread::sleep_for(apart);
      }
      std::getline(std::cin, line);
      answer = (right ? "0 " : "1 ") + std::to_string(reads);
    } else if (command == "fork") {
      peer.Count("CUSTOMER");
      const pid_t parent = getpid();
      const pid_t child = fork();
      if (child == 0) {
        while (getppid() == parent) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        _exit(0);
      }
      answer = (child < 0 ? "-1 " : "0 ") + std::to_string(child);
    } else if (command == "spawn") {
      const bool exec = arg.ends_with("-exec");
      const pid_t child = arg.starts_with("_Fork") ? _Fork() : fork();
      if (child == 0) {
        if (exec) {
          execl("/proc/self/exe", "qordbcli_peer", nullptr);
          _exit(127);
        }
        char c;
        while (read(STDIN_FILENO, &c, 1) > 0) {
        }
        _exit(0);
      }
      answer = (child < 0 ? "-1 " : "0 ") + std::to_string(child);
    } else if (command == "notice") {
      answer = QorDbCliLockNotice();
    } else if (command == "free") {
      answer = std::to_string(FreeDbHandler(peer.h));
      peer.h = 10014;
    } else {
      answer = "unknown command " + command;
    }
    std::cout << answer << std::endl;
  }
  if (peer.h != 10014) FreeDbHandler(peer.h);
  return 0;
}
