// qordbcli_peer: another program on a test server, for the tests that need
// separate processes beside each other. It reads one command a line from its
// standard input and answers each with one line, the status first:
//
//   login DBID            a handle on "SRV" (under $QORDB_ROOT) with SHOP open
//                         under the id DBID
//   idle MICROSECONDS     how long an idle handle keeps its read snapshot
//   add ID | has ID       NewRec of a CUSTOMER / FindRec of one by its ID
//   count                 "status count" of CUSTOMER
//   begin | commit | rollback
//   touch PATH            what other code in a process may do with any file:
//                         open it, read a few bytes and close it ("0" or errno)
//   reads MICROSECONDS    counts CUSTOMER again and again, that long apart (0: at
//                         once) until the next line arrives, then answers
//                         "0 reads" to it
//   fork                  counts CUSTOMER, forks a child that lives on without
//                         calling the library until this process ends; "0 pid"
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
#include <vector>

#include "TestDictionary_testutil.h"
#include "TestServer_testutil.h"
#include "qordbcli.h"
#include "qordbcli_diag.h"

namespace {

struct Session {
  int32_t h = 10014;
  int32_t shopDb = 0;
  TestDictionary shop;

  int Login(int32_t shopId) {
    shopDb = shopId;
    std::vector<char> block = UserBlock("SRV");
    if (int s = CreateDbHandler(&h)) return s;
    if (int s = InitUserEx(h, block.data())) return s;
    if (int s = OpenDbExA(h, shopDb, "SHOP", 0)) return s;
    char* image = nullptr;
    int32_t size = 0;
    if (int s = GetDbDescription(h, shopDb, &image, &size)) return s;
    shop.Read(image, size);
    FreePtr(image);
    return DefineKey(h, shopDb, shop.Rt("CUSTOMER"), shop.FieldNumber("CUSTOMER", "ID"));
  }

  std::vector<char> Customer(int id) const {
    std::vector<char> img(shop.ImageLength("CUSTOMER"));
    shop.SetInt(img, "CUSTOMER", "ID", id);
    shop.SetText(img, "CUSTOMER", "NAME", "peer " + std::to_string(id));
    return img;
  }

  int Add(int id) {
    std::vector<char> img = Customer(id);
    char* p = img.data();
    return NewRec(h, shopDb, shop.Rt("CUSTOMER"), shop.ImageLength("CUSTOMER"), &p);
  }

  int Has(int id) {
    std::vector<char> img = Customer(id);
    char* p = img.data();
    return FindRec(h, shopDb, shop.Rt("CUSTOMER"), shop.ImageLength("CUSTOMER"), &p);
  }

  std::string Count() {
    int32_t n = -1;
    const int status = GetCount(h, shopDb, shop.Rt("CUSTOMER"), &n);
    return std::to_string(status) + " " + std::to_string(n);
  }
};

int Touch(const std::string& path) {
  const int fd = open(path.c_str(), O_RDONLY);
  if (fd < 0) return errno;
  char bytes[64];
  const ssize_t n = read(fd, bytes, sizeof bytes);
  close(fd);
  return n < 0 ? errno : 0;
}

bool InputWaiting() {
  pollfd p{STDIN_FILENO, POLLIN, 0};
  return poll(&p, 1, 0) == 1;
}

}  // namespace

int main() {
  Session peer;
  std::string line;
  while (std::getline(std::cin, line)) {
    std::istringstream in(line);
    std::string command, arg;
    in >> command >> arg;
    std::string answer;
    if (command == "login") {
      answer = std::to_string(peer.Login(std::stoi(arg)));
    } else if (command == "idle") {
      QorDbCliSetSnapshotIdleTime(std::stoll(arg));
      answer = "0";
    } else if (command == "add") {
      answer = std::to_string(peer.Add(std::stoi(arg)));
    } else if (command == "has") {
      answer = std::to_string(peer.Has(std::stoi(arg)));
    } else if (command == "count") {
      answer = peer.Count();
    } else if (command == "begin") {
      answer = std::to_string(BeginTransaction(peer.h, "Peer", 0, 0));
    } else if (command == "commit" || command == "rollback") {
      answer = std::to_string(EndTransaction(peer.h, command == "commit"));
    } else if (command == "touch") {
      answer = std::to_string(Touch(arg));
    } else if (command == "reads") {
      const auto apart = std::chrono::microseconds(std::stoll(arg));
      long reads = 0;
      for (; !InputWaiting(); ++reads) {
        peer.Count();
        if (apart.count() > 0) std::this_thread::sleep_for(apart);
      }
      std::getline(std::cin, line);
      answer = "0 " + std::to_string(reads);
    } else if (command == "fork") {
      peer.Count();
      const pid_t parent = getpid();
      const pid_t child = fork();
      if (child == 0) {
        while (getppid() == parent) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        _exit(0);
      }
      answer = (child < 0 ? "-1 " : "0 ") + std::to_string(child);
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
