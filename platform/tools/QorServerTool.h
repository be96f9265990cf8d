// The commands of qorserver (README.md), callable in-process so that tests
// and QorTestServer run exactly what the administrator runs.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <stdexcept>
#include <string>
#include <vector>

#include "ServerAdmin.h"

struct TsvFile;

// A command that cannot be carried out; the server is left as it was.
class ToolError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class QorServerTool {
 public:
  // One command line without the program name. Results go to out, the one
  // error message and warnings to err. Returns 0, or 1 on any error.
  static int Run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

  // A "dbuser" row: the name upper-cased (a-z only), name and password
  // scrambled with SecurityCode. Returns a warning, or "" when there is none.
  static std::string AddUser(qordb::ServerAdmin& admin, const std::string& name, const std::string& password,
                             bool enabled);

  // The records of a tab-separated file into one record type, all or none.
  // source names the file in messages. Returns the number of records.
  static size_t Load(qordb::ServerAdmin& admin, const std::string& db, const std::string& record,
                     const TsvFile& file, const std::string& source);

  // dump: every database (db ""), one database, or one record type (the form Load reads).
  static void Dump(const qordb::ServerAdmin& admin, const std::string& db, const std::string& record,
                   std::ostream& out);
};
