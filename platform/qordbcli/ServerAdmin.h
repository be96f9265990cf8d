// Administration of a qordb server file: create it, add databases, users,
// sequences and records, and dump it.
//
// Making a test server: pick a temporary folder, set QORDB_ROOT to it, then
//   qordb::ServerAdmin::Create(folder + "/TESTSRV");
//   qordb::ServerAdmin admin(folder + "/TESTSRV");
//   admin.AddDatabase(schema);                       // a qordb::SchemaDef
//   admin.AddUser({scrambledName, scrambledPassword}); // SecurityCode-encoded bytes
//   admin.AddSequence("UGYFEL_UGYFEL_NEXTID", 1, 1);
//   admin.LoadRecords("UGYFEL", "UGYFEL", {{"1", "Kovács"}, ...});
// and give the client a user block whose "Server" is "TESTSRV" (or the absolute
// path) and whose "Service" is "qordb". Close the ServerAdmin (destroy it)
// before clients write, or keep it: the file is in WAL mode either way.
//
// Every call runs in one SQLite transaction: a failure throws ServerError with
// a clear message and leaves the file as it was.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "SchemaDef.h"

struct sqlite3;

namespace qordb {

// A refused administrative call. LoadRecords names the row at fault by its
// index among the rows it was given; every other fault has row -1.
class ServerError : public std::runtime_error {
 public:
  explicit ServerError(const std::string& message, int row = -1);
  int Row() const { return row_; }
  // The fault without its row, for callers that name the row their own way.
  const std::string& Reason() const { return reason_; }

 private:
  int row_;
  std::string reason_;
};

// A row of SYSDB "dbuser". name and password are the stored bytes, already
// scrambled; each must fit its 32-byte field with its NUL.
struct UserDef {
  std::string name;
  std::string password;
  bool enabled = true;
  bool role = false;    // "type" 0x01 for a role, 0x00 for a user
  int32_t userId = -1;  // -1: the next value of the sequence "sysdb_dbuser"
};

class ServerAdmin {
 public:
  static constexpr int32_t kSysdbId = 19;

  // The file that a user block's "Server" value names: an absolute path as it
  // stands, anything else under the folder in $QORDB_ROOT ("." when unset).
  static std::string ResolveServerPath(const std::string& server);

  // A new server file with SYSDB registered in its own "tablespace" and the
  // sequence "sysdb_dbuser". volumeId 0 picks a random non-zero one;
  // regLmgrName "" leaves the server parameter "RegLmgrName" unset.
  // Refuses to overwrite an existing file.
  static void Create(const std::string& path, uint32_t volumeId = 0, const std::string& regLmgrName = "");

  // Opens an existing server file (never creates one).
  explicit ServerAdmin(const std::string& path);
  ~ServerAdmin();
  ServerAdmin(const ServerAdmin&) = delete;
  ServerAdmin& operator=(const ServerAdmin&) = delete;

  // Validates the schema, stores its dictionary, makes a table per record type
  // with an index per key, and registers the database in SYSDB "tablespace"
  // with the schema's version. dbId 0 takes the next free id above 19.
  // Returns the id. A name already on the server is refused.
  int32_t AddDatabase(const SchemaDef& schema, int32_t dbId = 0);

  void AddUser(const UserDef& user);
  // A row of SYSDB "sequencies": GetNextId returns start first, then adds step.
  void AddSequence(const std::string& name, int32_t start = 1, int32_t step = 1);
  // Server parameters such as "RegLmgrName" ("VolumeId" is kept as decimal text).
  void SetParam(const std::string& name, const std::string& value);

  // Inserts records of one record type. Each row holds one text per data field
  // of the record, in dictionary order (groups and compound keys take no
  // column); missing trailing texts read as empty. Texts take the client's
  // text forms: decimal numbers, characters as they stand, a one-byte field
  // as one character or 0xNN. A text that does not fit its field, a number
  // that does not parse, or a unique-key duplicate throws with the row's index.
  // Returns the number of records inserted.
  size_t LoadRecords(const std::string& db, const std::string& record,
                     const std::vector<std::vector<std::string>>& rows);

  // The records of one record type as texts (the same forms), insertion order.
  std::vector<std::vector<std::string>> ReadRecords(const std::string& db, const std::string& record) const;

  std::vector<std::string> Databases() const;  // names in id order, SYSDB first
  std::vector<char> DictionaryImage(const std::string& db) const;

  // Every record type of every database (db ""), SYSDB first, or of one
  // database: "[DB.RECORD]", a line of its data fields' names, then one
  // tab-separated line per record in insertion order. With a record named,
  // only the names line and the records, the form LoadRecords' callers read.
  // Control bytes are written as \xNN, so every record stays on its line.
  void Dump(std::ostream& out, const std::string& db = "", const std::string& record = "") const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace qordb
