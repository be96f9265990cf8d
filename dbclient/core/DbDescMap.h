// The open databases of one server connection, by upper-case name, all on one
// connection handle. Opens SYSDB and through its "tablespace" table every
// other database, stamps each dictionary with the catalogue's version and
// hands out deep copies.
#pragma once

#include <string>

#include "DbDescription.h"
#include "QorUtils.h"

class DbDescMap {
 public:
  using byte = unsigned char;

  DbDescMap();
  ~DbDescMap();

  void SetHandle(int handle) { m_handle = handle; }
  int GetHandle() const { return m_handle; }

  // SYSDB, then every database that "tablespace" lists (those that fail to
  // open are skipped). False only when SYSDB cannot be opened or lists nothing.
  bool OpenAll(byte ignored);
  // Opens one database (SYSDB first when it is not open yet). A failure of
  // the server's open is false when quiet, else DbDescError with its status.
  bool OpenDb(const char* name, int dbId, byte mode, bool quiet);
  // Reads a database's dictionary into the map; false when it cannot be read.
  bool LoadDescription(int dbId, const char* name);
  // Builds the description from its image, reads its version from the
  // catalogue (a failure there is shown in a box, the database still added)
  // and inserts it.
  bool AddDescriptor(const char* image, int length, const char* name, int dbId);
  // Replaces the entry of the description's name with a copy of it.
  bool Insert(DbDescription* description);
  bool Remove(std::string name);
  // A deep copy of the named description; 2000 when it is not open.
  DbDescription GetDescription(std::string name) const;
  DbDescription CopyDescription(std::string name) const { return GetDescription(std::move(name)); }
  // The index-th description in name order; 2000 out of range.
  DbDescription& GetDescriptionAt(int index);
  unsigned Count() const { return static_cast<unsigned>(m_descriptions.size()); }
  // Removes every description; the handle stays.
  void Clear() { m_descriptions.clear(); }

  // The text of a named server parameter. Without the client's parameter
  // entry, "VolumeId" is read through the extension package "ZkProcess".
  void GetServerParam(const char* name, std::string& out);

 private:
  QoMap<std::string, DbDescription> m_descriptions;
  int m_handle = kNoConnection;
};
