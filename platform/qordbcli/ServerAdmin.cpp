#include "ServerAdmin.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <map>
#include <optional>
#include <ostream>
#include <random>

#include "DictModel.h"
#include "ServerFile.h"

namespace qordb {

namespace {

std::string StatusText(int status) {
  switch (status) {
    case kBusy:
      return "the server file is busy (another program holds its write lock)";
    case kNoService:
      return "not a server file, or it cannot be opened";
    case kNoMemory:
      return "out of memory";
    default:
      return "the server file could not be written (status " + std::to_string(status) + ")";
  }
}

[[noreturn]] void Fail(const std::string& m) { throw ServerError(m); }
[[noreturn]] void FailRow(size_t row, const std::string& reason) { throw ServerError(reason, static_cast<int>(row)); }

class Txn {
 public:
  explicit Txn(sqlite3* db) : db_(db) { Exec(db, "BEGIN IMMEDIATE"); }
  ~Txn() {
    if (db_) sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
  }
  void Commit() {
    Exec(db_, "COMMIT");
    db_ = nullptr;
  }

 private:
  sqlite3* db_;
};

// Runs an administrative step, turning engine statuses into readable errors.
template <typename F>
auto Guard(const std::string& what, F&& f) -> decltype(f()) {
  try {
    return f();
  } catch (const StatusError& e) {
    Fail(what + ": " + StatusText(e.status));
  }
}

// Control bytes as \xNN: scrambled names can hold tabs and line feeds.
std::string Printable(const std::string& text) {
  std::string out;
  for (char c : text) {
    unsigned char u = static_cast<unsigned char>(c);
    if (u < 0x20 || u == 0x7F) {
      const char* hex = "0123456789ABCDEF";
      out += "\\x";
      out += hex[u >> 4];
      out += hex[u & 15];
    } else {
      out += c;
    }
  }
  return out;
}

bool FileExists(const std::string& p) {
  struct stat st;
  return ::stat(p.c_str(), &st) == 0;
}

struct LoadedDb {
  int32_t id = -1;
  std::vector<char> image;  // the stored dictionary image that model was parsed from
  DictModel model;
};

LoadedDb FindDb(sqlite3* db, const std::string& name) {
  Stmt s(db, "SELECT dbid, image FROM qor_database WHERE name = ?");
  StmtUse use(s.get());
  std::string upper = UpperAscii(name);
  sqlite3_bind_text(s.get(), 1, upper.c_str(), -1, SQLITE_TRANSIENT);
  if (!use.Step()) Fail("no database " + name + " on the server");
  LoadedDb l;
  l.id = sqlite3_column_int(s.get(), 0);
  const char* p = static_cast<const char*>(sqlite3_column_blob(s.get(), 1));
  l.image.assign(p, p + sqlite3_column_bytes(s.get(), 1));
  try {
    l.model = DictModel::Parse(l.image.data(), l.image.size());
  } catch (const std::exception& e) {
    Fail("database " + name + ": " + e.what());
  }
  return l;
}

// The index of a SYSDB record. The catalogue of a file made elsewhere may
// lack it, or a field that a call reads, or type that field otherwise.
int CatalogueRecord(const DictModel& sys, const std::string& name) {
  const int r = sys.RecordByName(UpperAscii(name));
  if (r < 0) Fail("the catalogue SYSDB has no record " + name);
  return r;
}

const FieldModel& CatalogueField(const RecordModel& rec, const std::string& name) {
  const int p = rec.FieldByName(UpperAscii(name));
  if (p < 0) Fail("the catalogue's record " + rec.name + " has no field " + name);
  return rec.fields[p];
}

// SYSDB "sequencies" with the fields that DrawSequence reads, typed as it reads them.
int SequenceRecord(const DictModel& sys) {
  const int r = CatalogueRecord(sys, "sequencies");
  CatalogueField(sys.records[r], "seq_name");
  for (const char* name : {"seq_id", "seq_step"})
    if (!CatalogueField(sys.records[r], name).IsInteger())
      Fail(std::string("the catalogue's field SEQUENCIES.") + name + " is not an integer");
  return r;
}

// The sequence names stored in SYSDB "sequencies" (record index r), by their
// upper case: a name is one sequence whatever its case, so a name that
// differs from a stored one only in case is refused as that one would be.
class SequenceNames {
 public:
  SequenceNames(sqlite3* db, int r, const RecordModel& rec)
      : name_(CatalogueField(rec, "seq_name")) {
    Stmt sel(db, "SELECT img FROM " + RecordTableName(ServerAdmin::kSysdbId, r) + " ORDER BY rid");
    StmtUse use(sel.get());
    while (use.Step()) {
      if (sqlite3_column_bytes(sel.get(), 0) != rec.imageLength)
        Fail(rec.name + " holds a record of a wrong size");
      Add(static_cast<const char*>(sqlite3_column_blob(sel.get(), 0)));
    }
  }
  // The name of the sequence in img, when no stored one has it in any case;
  // else a reason to refuse it, naming the one stored.
  std::string Add(const char* img) {
    const std::string name = FieldText(name_, img);
    const auto [at, added] = names_.emplace(UpperAscii(name), name);
    if (added) return "";
    return "sequence " + name + " already exists" + (at->second == name ? "" : " as " + at->second);
  }

 private:
  const FieldModel& name_;
  std::map<std::string, std::string> names_;  // upper case to as stored
};

// A record image from field texts by field name; throws naming the field.
std::vector<char> MakeImage(const RecordModel& rec, const std::vector<std::pair<std::string, std::string>>& values) {
  std::vector<char> img(rec.imageLength, 0);
  for (const auto& [name, text] : values) {
    int p = rec.FieldByName(UpperAscii(name));
    if (p < 0) Fail("record " + rec.name + " has no field " + name);
    std::string why;
    if (!SetFieldText(rec.fields[p], text, img.data(), why)) Fail(rec.name + "." + rec.fields[p].name + ": " + why);
  }
  return img;
}

void InsertImage(sqlite3* db, int32_t dbId, int r, const RecordModel& rec, const std::vector<char>& img) {
  Stmt ins(db, InsertSql(dbId, r, rec));
  InsertRecord(db, ins.get(), rec, img.data());
}

// The records of one record type of an already loaded database, as texts.
std::vector<std::vector<std::string>> ReadRows(sqlite3* db, const LoadedDb& l, int r) {
  const RecordModel& rec = l.model.records[r];
  Stmt sel(db, "SELECT img FROM " + RecordTableName(l.id, r) + " ORDER BY rid");
  StmtUse use(sel.get());
  std::vector<std::vector<std::string>> out;
  while (use.Step()) {
    if (sqlite3_column_bytes(sel.get(), 0) != rec.imageLength) Fail(rec.name + " holds a record of a wrong size");
    const char* img = static_cast<const char*>(sqlite3_column_blob(sel.get(), 0));
    std::vector<std::string> row;
    for (const FieldModel& f : rec.fields)
      if (f.IsData()) row.push_back(FieldText(f, img));
    out.push_back(std::move(row));
  }
  return out;
}

// Stores the schema's dictionary as database dbId, makes its record tables and
// lists it with its version in SYSDB "tablespace" (sys; nullptr when the
// database is SYSDB itself). Returns the dictionary as parsed back.
DictModel RegisterDatabase(sqlite3* db, int32_t dbId, const std::string& upperName, const SchemaDef& schema,
                           const DictModel* sys) {
  std::vector<char> image = BuildDictionaryImage(schema);
  DictModel model = DictModel::Parse(image.data(), image.size());
  {
    Stmt d(db, "INSERT INTO qor_database(dbid, name, image) VALUES(?, ?, ?)");
    StmtUse use(d.get());
    sqlite3_bind_int(d.get(), 1, dbId);
    sqlite3_bind_text(d.get(), 2, upperName.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_blob(d.get(), 3, image.data(), static_cast<int>(image.size()), SQLITE_TRANSIENT);
    use.Step();
  }
  for (size_t r = 0; r < model.records.size(); ++r) CreateRecordTable(db, dbId, static_cast<int>(r), model.records[r]);
  if (!sys) sys = &model;
  const int ts = CatalogueRecord(*sys, "tablespace");
  const RecordModel& rec = sys->records[ts];
  InsertImage(db, ServerAdmin::kSysdbId, ts, rec,
              MakeImage(rec, {{"name", schema.name},
                              {"dbid", std::to_string(dbId)},
                              {"vermajor", std::to_string(schema.version[0])},
                              {"verminor", std::to_string(schema.version[1])},
                              {"versub", std::to_string(schema.version[2])},
                              {"verbuild", std::to_string(schema.version[3])}}));
  return model;
}

int32_t NextSequenceValue(sqlite3* db, const DictModel& sys, const std::string& name) {
  const int r = SequenceRecord(sys);
  SequenceDraw draw(db, r, sys.records[r]);
  int32_t id = 0;
  if (draw.Draw(name, &id) != 0)
    Fail("the sequence " + name + " is missing or has no 32-bit value left");
  return id;
}

}  // namespace

ServerError::ServerError(const std::string& message, int row)
    : std::runtime_error(row < 0 ? message : "row " + std::to_string(row + 1) + ": " + message),
      row_(row),
      reason_(message) {}

struct ServerAdmin::Impl {
  sqlite3* db = nullptr;
  std::string path;
  ~Impl() { sqlite3_close(db); }
};

std::string ServerAdmin::ResolveServerPath(const std::string& server) {
  if (!server.empty() && server[0] == '/') return server;
  const char* root = std::getenv("QORDB_ROOT");
  std::string folder = root && *root ? root : ".";
  if (folder.back() != '/') folder += '/';
  return folder + server;
}

void ServerAdmin::Create(const std::string& path, uint32_t volumeId, const std::string& regLmgrName) {
  if (path.empty()) Fail("no server file named");
  // Claim the name first, so that cleaning up after a failure can only ever
  // remove a file this call made.
  int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (fd < 0) Fail(errno == EEXIST ? path + " already exists" : "cannot create " + path + ": " + std::strerror(errno));
  ::close(fd);
  if (volumeId == 0) {
    std::random_device rd;
    std::mt19937 gen(rd());
    while (volumeId == 0) volumeId = gen();
  }
  sqlite3* db = nullptr;
  try {
    db = Guard("cannot create " + path, [&] { return OpenServerFile(path, true); });
    Guard("cannot create " + path, [&] {
      Txn txn(db);
      Stmt p(db, "INSERT INTO qor_param(name, value) VALUES(?, ?)");
      auto put = [&](const char* n, const std::string& v) {
        StmtUse use(p.get());
        sqlite3_bind_text(p.get(), 1, n, -1, SQLITE_STATIC);
        sqlite3_bind_text(p.get(), 2, v.c_str(), -1, SQLITE_TRANSIENT);
        use.Step();
      };
      put("VolumeId", std::to_string(volumeId));
      if (!regLmgrName.empty()) put("RegLmgrName", regLmgrName);

      DictModel model = RegisterDatabase(db, kSysdbId, "SYSDB", SysdbSchema(), nullptr);
      int sq = model.RecordByName("SEQUENCIES");
      InsertImage(db, kSysdbId, sq, model.records[sq],
                  MakeImage(model.records[sq], {{"seq_name", "sysdb_dbuser"}, {"seq_id", "1"}, {"seq_step", "1"}}));
      txn.Commit();
      return 0;
    });
  } catch (...) {
    // Nothing half-made stays behind.
    sqlite3_close(db);
    ::unlink(path.c_str());
    ::unlink((path + "-wal").c_str());
    ::unlink((path + "-shm").c_str());
    throw;
  }
  sqlite3_close(db);
}

ServerAdmin::ServerAdmin(const std::string& path) : impl_(std::make_unique<Impl>()) {
  impl_->path = path;
  if (!FileExists(path)) Fail("no server file " + path);
  impl_->db = Guard("cannot open " + path, [&] { return OpenServerFile(path, false); });
}

ServerAdmin::~ServerAdmin() = default;

int32_t ServerAdmin::AddDatabase(const SchemaDef& schema, int32_t dbId) {
  try {
    schema.Validate();
  } catch (const SchemaError& e) {
    Fail(e.what());
  }
  sqlite3* db = impl_->db;
  const std::string upper = UpperAscii(schema.name);
  return Guard("cannot add database " + schema.name, [&] {
    Txn txn(db);
    {
      Stmt s(db, "SELECT dbid, name FROM qor_database WHERE name = ? OR dbid = ?");
      StmtUse use(s.get());
      sqlite3_bind_text(s.get(), 1, upper.c_str(), -1, SQLITE_TRANSIENT);
      sqlite3_bind_int(s.get(), 2, dbId);
      if (use.Step()) {
        if (upper == reinterpret_cast<const char*>(sqlite3_column_text(s.get(), 1)))
          Fail("database " + schema.name + " is already on the server");
        Fail("database id " + std::to_string(dbId) + " is already taken");
      }
    }
    if (dbId < 0) Fail("database id " + std::to_string(dbId) + " is negative");
    if (dbId == 0) {
      Stmt s(db, "SELECT max(max(dbid) + 1, 20) FROM qor_database");
      StmtUse use(s.get());
      use.Step();
      dbId = sqlite3_column_int(s.get(), 0);
    }
    LoadedDb sys = FindDb(db, "SYSDB");
    try {
      RegisterDatabase(db, dbId, upper, schema, &sys.model);
    } catch (const StatusError& e) {
      // Only the tablespace row can collide: the name and id were checked above.
      if (e.status == kDuplicate) Fail("SYSDB tablespace already lists " + schema.name);
      throw;
    }
    txn.Commit();
    return dbId;
  });
}

void ServerAdmin::AddUser(const UserDef& user) {
  sqlite3* db = impl_->db;
  for (const std::string* s : {&user.name, &user.password})
    if (s->size() > 31 || s->find('\0') != std::string::npos)
      Fail("a user name or password must be at most 31 bytes without NUL");
  if (user.name.empty()) Fail("a user needs a name");
  Guard("cannot add the user", [&] {
    Txn txn(db);
    LoadedDb sys = FindDb(db, "SYSDB");
    int32_t id = user.userId >= 0 ? user.userId : NextSequenceValue(db, sys.model, "sysdb_dbuser");
    const int r = CatalogueRecord(sys.model, "dbuser");
    const RecordModel& rec = sys.model.records[r];
    std::vector<char> img = MakeImage(rec, {{"userid", std::to_string(id)},
                                            {"type", user.role ? "0x01" : "0x00"},
                                            {"name", user.name},
                                            {"psw", user.password},
                                            {"enabled", user.enabled ? "0x01" : "0x00"}});
    try {
      InsertImage(db, kSysdbId, r, rec, img);
    } catch (const StatusError& e) {
      if (e.status == kDuplicate) Fail("a user with that name or id " + std::to_string(id) + " already exists");
      throw;
    }
    txn.Commit();
    return 0;
  });
}

void ServerAdmin::AddSequence(const std::string& name, int32_t start, int32_t step) {
  sqlite3* db = impl_->db;
  if (name.empty() || name.size() > 31 || name.find('\0') != std::string::npos)
    Fail("a sequence name must have 1 to 31 characters");
  Guard("cannot add sequence " + name, [&] {
    Txn txn(db);
    LoadedDb sys = FindDb(db, "SYSDB");
    const int r = SequenceRecord(sys.model);
    const RecordModel& rec = sys.model.records[r];
    SequenceNames names(db, r, rec);
    const std::vector<char> img = MakeImage(rec, {{"seq_name", name},
                                                  {"seq_id", std::to_string(start)},
                                                  {"seq_step", std::to_string(step)}});
    if (const std::string why = names.Add(img.data()); !why.empty()) Fail(why);
    InsertImage(db, kSysdbId, r, rec, img);
    txn.Commit();
    return 0;
  });
}

void ServerAdmin::SetParam(const std::string& name, const std::string& value) {
  sqlite3* db = impl_->db;
  if (name == "VolumeId") {
    char* end = nullptr;
    unsigned long long v = std::strtoull(value.c_str(), &end, 10);
    if (value.empty() || *end || v == 0 || v > UINT32_MAX || value[0] == '-')
      Fail("VolumeId must be a decimal number from 1 to 4294967295");
  }
  Guard("cannot set " + name, [&] {
    Stmt s(db, "INSERT OR REPLACE INTO qor_param(name, value) VALUES(?, ?)");
    StmtUse use(s.get());
    sqlite3_bind_text(s.get(), 1, name.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_text(s.get(), 2, value.c_str(), -1, SQLITE_TRANSIENT);
    use.Step();
    return 0;
  });
}

size_t ServerAdmin::LoadRecords(const std::string& dbName, const std::string& record,
                                const std::vector<std::vector<std::string>>& rows) {
  sqlite3* db = impl_->db;
  return Guard("cannot load " + dbName + "." + record, [&] {
    Txn txn(db);
    LoadedDb l = FindDb(db, dbName);
    int r = l.model.RecordByName(UpperAscii(record));
    if (r < 0) Fail("database " + dbName + " has no record " + record);
    const RecordModel& rec = l.model.records[r];
    std::vector<int> data;
    for (size_t p = 0; p < rec.fields.size(); ++p)
      if (rec.fields[p].IsData()) data.push_back(static_cast<int>(p));
    // A load of the catalogue's sequences keeps to one sequence per name.
    std::optional<SequenceNames> sequences;
    if (l.id == kSysdbId && r == l.model.RecordByName("SEQUENCIES") &&
        rec.FieldByName("SEQ_NAME") >= 0)
      sequences.emplace(db, r, rec);
    Stmt ins(db, InsertSql(l.id, r, rec));
    std::vector<char> img(rec.imageLength);
    for (size_t i = 0; i < rows.size(); ++i) {
      if (rows[i].size() > data.size())
        FailRow(i, std::to_string(rows[i].size()) + " values, but " + rec.name + " has " +
                       std::to_string(data.size()) + " fields");
      std::fill(img.begin(), img.end(), 0);
      for (size_t c = 0; c < rows[i].size(); ++c) {
        std::string why;
        const FieldModel& f = rec.fields[data[c]];
        if (!SetFieldText(f, rows[i][c], img.data(), why)) FailRow(i, "field " + f.name + " is " + why);
      }
      if (sequences)
        if (const std::string why = sequences->Add(img.data()); !why.empty()) FailRow(i, why);
      try {
        InsertRecord(db, ins.get(), rec, img.data());
      } catch (const StatusError& e) {
        if (e.status == kDuplicate) FailRow(i, "repeats a unique key of " + rec.name);
        throw;
      }
    }
    txn.Commit();
    return rows.size();
  });
}

std::vector<std::vector<std::string>> ServerAdmin::ReadRecords(const std::string& dbName,
                                                               const std::string& record) const {
  sqlite3* db = impl_->db;
  return Guard("cannot read " + dbName + "." + record, [&] {
    LoadedDb l = FindDb(db, dbName);
    int r = l.model.RecordByName(UpperAscii(record));
    if (r < 0) Fail("database " + dbName + " has no record " + record);
    return ReadRows(db, l, r);
  });
}

std::vector<std::string> ServerAdmin::Databases() const {
  return Guard("cannot list the databases", [&] {
    Stmt s(impl_->db, "SELECT name FROM qor_database ORDER BY dbid <> 19, dbid");
    StmtUse use(s.get());
    std::vector<std::string> out;
    while (use.Step()) out.emplace_back(reinterpret_cast<const char*>(sqlite3_column_text(s.get(), 0)));
    return out;
  });
}

std::vector<char> ServerAdmin::DictionaryImage(const std::string& dbName) const {
  return Guard("cannot read " + dbName, [&] {
    return FindDb(impl_->db, dbName).image;
  });
}

void ServerAdmin::Dump(std::ostream& out, const std::string& db, const std::string& record) const {
  auto records = [&](const std::string& dbName, const LoadedDb& l, int r) {
    const RecordModel& rec = l.model.records[r];
    bool first = true;
    for (const FieldModel& f : rec.fields)
      if (f.IsData()) {
        out << (first ? "" : "\t") << f.name;
        first = false;
      }
    out << '\n';
    auto rows = Guard("cannot read " + dbName + "." + rec.name, [&] { return ReadRows(impl_->db, l, r); });
    for (const auto& row : rows) {
      for (size_t i = 0; i < row.size(); ++i) out << (i ? "\t" : "") << Printable(row[i]);
      out << '\n';
    }
  };
  for (const std::string& name : db.empty() ? Databases() : std::vector<std::string>{db}) {
    LoadedDb l = Guard("cannot read " + name, [&] { return FindDb(impl_->db, name); });
    if (!record.empty()) {
      int r = l.model.RecordByName(UpperAscii(record));
      if (r < 0) Fail("database " + name + " has no record " + record);
      records(name, l, r);
      return;
    }
    for (size_t r = 0; r < l.model.records.size(); ++r) {
      out << '[' << UpperAscii(name) << '.' << l.model.records[r].name << "]\n";
      records(name, l, static_cast<int>(r));
    }
  }
}

}  // namespace qordb
