// Kelvimport's import run offscreen on throw-away servers: a cold import of
// 50,000 source customers (an address, a telephone, a plate and two expiry
// dates each), a warm re-run that finds every one known, and a replace run
// with every overwrite option. For each: rows per second and client-library
// calls per row, beside raw SQLite doing the same run's storage work in the
// same transactions (the source join, the destination join and the lookups,
// then each row's sequence draws, inserts and deletes) on plain tables, all
// in the same run; and the raw cold run once more with the destination in
// the server's own table layout, so that the layout's cost shows on its own.
//
//   kelvimport_bench [--customers N]

#include <sqlite3.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>
#include <sstream>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "BenchUtil.h"
#include "DictModel.h"
#include "FncLoader.h"
#include "QorServerTool.h"
#include "ScriptedUi.h"
#include "ServerFile.h"
#include "TForm1.h"
#include "TRdmLogin.h"
#include "TestServer.h"
#include "WinImportPrompts.h"

namespace {

using bench::Exec;
using bench::Prepare;
using bench::ReadAll;
using bench::ReadQuery;

// Every call through the loader's entries, counted.
long g_calls = 0;

template <int I, class... A>
struct Counted {
  static inline int (*original)(A...) = nullptr;
  static int Call(A... a) {
    ++g_calls;
    return original(a...);
  }
};

template <int I, class... A>
void Count(int (*&slot)(A...)) {
  if (!slot) return;
  Counted<I, A...>::original = slot;
  slot = &Counted<I, A...>::Call;
}

void CountEveryEntry() {
#define QOR_BENCH_COUNT(name, bytes, params) Count<__COUNTER__>(GlobalFncLoader->pf##name);
  QORDBCLI_ENTRIES(QOR_BENCH_COUNT)
#undef QOR_BENCH_COUNT
}

std::string FileText(const std::string& path) {
  FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return "";
  std::string text;
  char buffer[65536];
  for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, f)) > 0;) text.append(buffer, n);
  std::fclose(f);
  return text;
}

void Qorserver(const std::vector<std::string>& args) {
  std::ostringstream out, err;
  if (QorServerTool::Run(args, out, err) != 0) {
    std::fprintf(stderr, "kelvimport_bench: qorserver %s: %s\n", args[0].c_str(),
                 err.str().c_str());
    std::exit(1);
  }
}

// The destination (the demo's schemas) and the source beside it, in the test server's folder.
void MakeServers(QorTestServer& dest, int customers) {
  const std::string demo = KELVIMPORT_DEMO_DIR;
  for (const char* db : {"DEVUDAVARER", "UGYFEL", "ALAP"})
    dest.AddDatabase(FileText(demo + "/destination/" + db + ".schema"));
  dest.AddUser("DEMO", "DEMO");
  for (const char* sequence : {"UGYFEL_UGYFEL_NEXTID", "SMS_UGYFEL_IMPORT", "SMS_UGYFEL_DATUM",
                               "ALAP_CIM_NEXTID", "ALAP_ELERHETOSEG_NEXTID"})
    dest.AddSequence(sequence, 1, 1);
  dest.Load("DEVUDAVARER", "BASEDATA", "BASEDATA_ID\tCLIENT_ID\tDELETED\n1\t4711\tN\n");
  dest.Load("ALAP", "ELERTIP", "ELET_ID\tELET_TIPUS\tELMT_ID\n6\tSMS telefonszám\t1\n");
  dest.Load("ALAP", "CIMTIP", "CIMT_ID\tCIMT_TIPUS\n1\tLakcím\n");
  for (const char* name : {"VOVDEMO", "KELVADO"}) {
    QorClientConfig client;
    client.name = name;
    if (std::strcmp(name, "KELVADO") == 0) client.server = "kelvado.qdb";
    dest.AddClient(client);
  }

  Qorserver({"create", "kelvado.qdb"});
  Qorserver({"set-param", "kelvado.qdb", "RegLmgrName", "KELVREG01"});
  Qorserver({"add-database", "kelvado.qdb",
             dest.WriteFile("source.schema", FileText(demo + "/source/KELVADO.schema"))});
  Qorserver({"add-user", "kelvado.qdb", "DEMO", "DEMO"});
  std::string ugyfel =
      "UCODE\tNAME\tRENDSZAMCODE\tALVAZSZAM\tZOLDKARTYAERVENYES\tMUSZAKIERVENYES\n";
  std::string plates = "RCODE\tRSZAM\n", cim = "CIMCODE\tIRANYITOSZAM\tVAROS\tUTCA\tHAZSZAM\n";
  std::string cimlink = "CIMCODE\tCODE\tTABLE\n", telefon = "TELCODE\tORSZAG\tKORZET\tSZAM\n";
  std::string telefonlink = "TELCODE\tCODE\tTABLE\n";
  for (int i = 1; i <= customers; ++i) {
    const std::string n = std::to_string(i);
    ugyfel += n + "\tÜgyfél " + n + "\t" + n + "\tVIN" + n + "\t" +
              std::to_string(45000 + i % 700) + "\t" + std::to_string(46000 + i % 300) + "\n";
    plates += n + "\tPLT-" + n + "\n";
    cim += n + "\t" + std::to_string(1000 + i % 9000) + "\tBudapest\tFő utca\t" + n + "\n";
    cimlink += n + "\t" + n + "\t1\n";
    telefon += n + "\t+36\t30\t" + std::to_string(1000000 + i) + "\n";
    telefonlink += n + "\t" + n + "\t1\n";
  }
  const std::pair<const char*, std::string*> files[] = {
      {"UGYFEL", &ugyfel},   {"RENDSZAM", &plates}, {"CIM", &cim},
      {"CIMLINK", &cimlink}, {"TELEFON", &telefon}, {"TELEFONLINK", &telefonlink}};
  for (const auto& [record, text] : files)
    Qorserver({"load", "kelvado.qdb", "KELVADO", record,
               dest.WriteFile(std::string(record) + ".tsv", *text)});
}

void QueueLogin(win::ScriptedUi& ui, const char* configuration) {
  ui.QueueDialog([configuration](win::DialogDriver& d) {
    d.Replace(TRdmLogin::kUserEdit, "demo");
    d.Replace(TRdmLogin::kPasswordEdit, "demo");
    d.Choose(TRdmLogin::kDatabaseList, configuration);
    d.Press(win::IDOK);
  });
}

// Wall-clock and process CPU seconds. The server runs inside the process, so
// CPU time covers all of the work and is not distorted by other processes
// of a busy machine; wall time adds the waits for the disk.
struct Timing {
  double wall = 0;
  double cpu = 0;
};

double CpuSeconds() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

template <class F>
Timing Measure(F&& f) {
  const auto start = std::chrono::steady_clock::now();
  const double cpu = CpuSeconds();
  f();
  return {std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(),
          CpuSeconds() - cpu};
}

// ---------------------------------------------------------------- the raw side

// A destination row's values, in the order of its table's fields below.
using Value = std::variant<int64_t, double, std::string_view>;

// The five destination tables that the runs write, with the fields each run sets.
enum Table { kCustomer, kLink, kAddress, kContact, kDate, kTables };
struct TableDef {
  const char* db;
  const char* record;
  std::vector<const char*> fields;
};
const TableDef kTableDefs[kTables] = {
    {"UGYFEL",
     "UGYFEL",
     {"UGY_ID", "UGY_NEV", "UGY_TOROLT", "VTK", "CREATOR", "CREATE", "LASTMOD", "LASTMDT"}},
    {"DEVUDAVARER",
     "UGYFEL_IMPORT",
     {"UGYFEL_IMPORT_ID", "UGY_ID", "SOURCE_KEY", "SERVER_UNIQUE", "CREATOR", "RECORD_INACTIVE",
      "RECORD_CREATION_TIME", "RECORD_LAST_UPDATE"}},
    {"ALAP",
     "CIM",
     {"CIM_ID", "CIMT_ID", "CIM_OWNER", "CIM_TABLECODE", "CIM_IRSZAM", "CIM_TELEPULES",
      "CIM_KOZTERULET", "CIM_HAZSZAM"}},
    {"ALAP",
     "ELERHETOSEG",
     {"ELER_ID", "ELET_ID", "ELER_OWNER", "ELER_TABLECODE", "ELER_ADAT", "ELER_MEGJEGY",
      "ELER_PREF"}},
    {"DEVUDAVARER",
     "UGYFEL_DATUM",
     {"UGYFEL_DATUM_ID", "UGYFEL_ID", "UGYFEL_DATUM_TIP_ID", "DATUM", "DATA00", "DATA01"}},
};

// Plain tables: the destination's with the id as the primary key, an index
// per key of the destination's schemas, and the source's with indexes on the
// columns its join follows; the sequences as rows of a table of their own.
const char* kPlainSchema =
    "CREATE TABLE ugyfel(ugy_id INTEGER PRIMARY KEY, ugy_nev TEXT, ugy_torolt INTEGER, "
    "vtk INTEGER, creator INTEGER, created REAL, lastmod INTEGER, lastmdt REAL);"
    "CREATE INDEX ugyfel_nev ON ugyfel(ugy_nev);"
    "CREATE TABLE ugyfel_import(ugyfel_import_id INTEGER PRIMARY KEY, ugy_id INTEGER, "
    "source_key TEXT, server_unique TEXT, creator INTEGER, record_inactive TEXT, "
    "record_creation_time REAL, record_last_update REAL);"
    "CREATE INDEX import_ugy ON ugyfel_import(ugy_id);"
    "CREATE INDEX import_key ON ugyfel_import(source_key, server_unique);"
    "CREATE TABLE cim(cim_id INTEGER PRIMARY KEY, cimt_id INTEGER, cim_owner INTEGER, "
    "cim_tablecode INTEGER, cim_irszam TEXT, cim_telepules TEXT, cim_kozterulet TEXT, "
    "cim_hazszam TEXT);"
    "CREATE INDEX cim_owner ON cim(cim_owner, cim_tablecode);"
    "CREATE INDEX cim_ownertip ON cim(cim_owner, cim_tablecode, cimt_id);"
    "CREATE TABLE elerhetoseg(eler_id INTEGER PRIMARY KEY, elet_id INTEGER, eler_owner INTEGER, "
    "eler_tablecode INTEGER, eler_adat TEXT, eler_megjegy TEXT, eler_pref INTEGER);"
    "CREATE INDEX eler_elet ON elerhetoseg(elet_id);"
    "CREATE INDEX eler_owner ON elerhetoseg(eler_owner, eler_tablecode);"
    "CREATE INDEX eler_ownertip ON elerhetoseg(eler_owner, eler_tablecode, elet_id);"
    "CREATE TABLE ugyfel_datum(ugyfel_datum_id INTEGER PRIMARY KEY, ugyfel_id INTEGER, "
    "ugyfel_datum_tip_id INTEGER, datum REAL, data00 TEXT, data01 TEXT);"
    "CREATE INDEX datum_ugyfel ON ugyfel_datum(ugyfel_id);"
    "CREATE INDEX datum_tip ON ugyfel_datum(ugyfel_datum_tip_id);";
const char* kPlainTableNames[kTables] = {"ugyfel", "ugyfel_import", "cim", "elerhetoseg",
                                         "ugyfel_datum"};
const char* kOtherTables =
    "CREATE TABLE basedata(basedata_id INTEGER PRIMARY KEY, client_id INTEGER, deleted TEXT);"
    "CREATE INDEX basedata_deleted ON basedata(deleted);"
    "INSERT INTO basedata VALUES (1, 4711, 'N');"
    "CREATE TABLE ugyfel_datum_tip(ugyfel_datum_tip_id INTEGER PRIMARY KEY, tipus TEXT);"
    "CREATE TABLE elertip(elet_id INTEGER PRIMARY KEY, elet_tipus TEXT, elmt_id INTEGER);"
    "INSERT INTO elertip VALUES (6, 'SMS telefonszám', 1);"
    "CREATE TABLE cimtip(cimt_id INTEGER PRIMARY KEY, cimt_tipus TEXT);"
    "INSERT INTO cimtip VALUES (1, 'Lakcím');"
    "CREATE TABLE seq(name TEXT PRIMARY KEY, id INTEGER, step INTEGER);"
    "INSERT INTO seq VALUES ('UGYFEL_UGYFEL_NEXTID', 1, 1), ('SMS_UGYFEL_IMPORT', 1, 1), "
    "('SMS_UGYFEL_DATUM', 1, 1), ('ALAP_CIM_NEXTID', 1, 1), ('ALAP_ELERHETOSEG_NEXTID', 1, 1);"
    "CREATE TABLE ugyfel_src(ucode INTEGER PRIMARY KEY, name TEXT, torolt INTEGER, "
    "rendszamcode INTEGER, alvazszam TEXT, zold INTEGER, garancia INTEGER, muszaki INTEGER);"
    "CREATE INDEX ugyfel_src_torolt ON ugyfel_src(torolt);"
    "CREATE TABLE rendszam(rcode INTEGER PRIMARY KEY, rszam TEXT, torolt INTEGER);"
    "CREATE TABLE cim_src(cimcode INTEGER PRIMARY KEY, iranyitoszam TEXT, varos TEXT, utca TEXT, "
    "hazszam TEXT);"
    "CREATE TABLE cimlink(cimcode INTEGER, code INTEGER, tab INTEGER);"
    "CREATE INDEX cimlink_code ON cimlink(code, tab);"
    "CREATE TABLE telefon(telcode INTEGER PRIMARY KEY, orszag TEXT, korzet TEXT, szam TEXT, "
    "mellek TEXT);"
    "CREATE TABLE telefonlink(telcode INTEGER, code INTEGER, tab INTEGER);"
    "CREATE INDEX telefonlink_code ON telefonlink(code, tab);";

// The source SELECT: customers not deleted, each with its addresses,
// telephones and plate (left joins, as the view keeps customers without them).
const char* kSourceJoin =
    "SELECT u.ucode, u.name, u.alvazszam, u.zold, u.muszaki, c.iranyitoszam, "
    "c.varos, c.utca, c.hazszam, t.orszag, t.korzet, t.szam, t.mellek, r.rszam, r.torolt "
    "FROM ugyfel_src u "
    "LEFT JOIN cimlink cl ON cl.code = u.ucode AND cl.tab = 1 "
    "LEFT JOIN cim_src c ON c.cimcode = cl.cimcode "
    "LEFT JOIN telefonlink tl ON tl.code = u.ucode AND tl.tab = 1 "
    "LEFT JOIN telefon t ON t.telcode = tl.telcode "
    "LEFT JOIN rendszam r ON r.rcode = u.rendszamcode "
    "WHERE u.torolt = 0 ORDER BY u.ucode, cl.rowid, tl.rowid";
// The destination SELECT: customers with their contacts of owner table 2 and
// those contacts' types, and their addresses with the addresses' types.
const char* kDestinationJoin =
    "SELECT u.ugy_id, u.ugy_nev, e.eler_adat, et.elet_tipus, c.cim_irszam, c.cim_telepules, "
    "c.cim_kozterulet, c.cim_hazszam, ct.cimt_tipus FROM ugyfel u "
    "LEFT JOIN elerhetoseg e ON e.eler_owner = u.ugy_id AND e.eler_tablecode = 2 "
    "LEFT JOIN elertip et ON et.elet_id = e.elet_id "
    "LEFT JOIN cim c ON c.cim_owner = u.ugy_id AND c.cim_tablecode = 2 "
    "LEFT JOIN cimtip ct ON ct.cimt_id = c.cimt_id";
// The lookup maps: every record of five tables.
const char* kLookups[] = {"SELECT * FROM elerhetoseg", "SELECT * FROM cim",
                          "SELECT * FROM ugyfel_datum", "SELECT * FROM ugyfel",
                          "SELECT * FROM ugyfel_import"};

// One row of the source view, held in memory as the view holds its records.
struct SourceRow {
  int64_t customer = 0, greenCard = 0, inspection = 0;
  int plateDeleted = 0;
  std::string name, vin, postalCode, town, street, house, country, area, number, extension, plate;
};

// Where the raw side writes the five destination tables.
class Destination {
 public:
  virtual ~Destination() = default;
  virtual void Insert(Table table, std::initializer_list<Value> values) = 0;
};

// Plain tables: each value bound to its column.
class PlainDestination : public Destination {
 public:
  explicit PlainDestination(sqlite3* db) {
    for (int t = 0; t < kTables; ++t) {
      std::string sql = std::string("INSERT INTO ") + kPlainTableNames[t] + " VALUES (?";
      for (size_t i = 1; i < kTableDefs[t].fields.size(); ++i) sql += ", ?";
      inserts_[t] = Prepare(db, sql + ")");
    }
  }
  ~PlainDestination() override {
    for (sqlite3_stmt* s : inserts_) sqlite3_finalize(s);
  }
  void Insert(Table table, std::initializer_list<Value> values) override {
    sqlite3_stmt* s = inserts_[table];
    int i = 1;
    for (const Value& v : values) {
      if (const auto* n = std::get_if<int64_t>(&v)) sqlite3_bind_int64(s, i, *n);
      if (const auto* d = std::get_if<double>(&v)) sqlite3_bind_double(s, i, *d);
      if (const auto* t = std::get_if<std::string_view>(&v))
        sqlite3_bind_text(s, i, t->data(), int(t->size()), SQLITE_STATIC);
      ++i;
    }
    sqlite3_step(s);
    sqlite3_reset(s);
  }

 private:
  sqlite3_stmt* inserts_[kTables] = {};
};

// The server's own table layout (made by the server's own code from the
// destination's dictionaries): each row's record image, its key fields in
// their indexed columns.
class LayoutDestination : public Destination {
 public:
  LayoutDestination(sqlite3* db, const std::string& serverPath) : db_(db) {
    sqlite3* server = qordb::OpenServerFile(serverPath, false);
    for (int t = 0; t < kTables; ++t) {
      const TableDef& def = kTableDefs[t];
      qordb::Stmt id(server,
                     std::string("SELECT dbid FROM qor_database WHERE name = '") + def.db + "'");
      sqlite3_step(id.get());
      const int32_t dbId = sqlite3_column_int(id.get(), 0);
      const std::vector<char> image = qordb::LoadImage(server, dbId);
      const qordb::DictModel dict = qordb::DictModel::Parse(image.data(), image.size());
      const int r = dict.RecordByName(def.record);
      Layout& l = tables_[t];
      l.rec = dict.records[size_t(r)];
      for (const char* field : def.fields) l.fields.push_back(l.rec.FieldByName(field));
      l.img.assign(size_t(l.rec.imageLength), 0);
      qordb::CreateRecordTable(db, dbId, r, l.rec);
      l.insert = qordb::Stmt(db, qordb::InsertSql(dbId, r, l.rec), true);
    }
    sqlite3_close_v2(server);
  }
  void Insert(Table table, std::initializer_list<Value> values) override {
    Layout& l = tables_[table];
    std::fill(l.img.begin(), l.img.end(), 0);
    size_t i = 0;
    for (const Value& v : values) {
      const qordb::FieldModel& f = l.rec.fields[size_t(l.fields[i++])];
      char* at = l.img.data() + f.offset;
      if (const auto* n = std::get_if<int64_t>(&v)) qordb::SetFieldInteger(f, *n, l.img.data());
      if (const auto* d = std::get_if<double>(&v)) std::memcpy(at, d, sizeof *d);
      if (const auto* t = std::get_if<std::string_view>(&v))
        std::memcpy(at, t->data(), std::min(t->size(), size_t(f.length - 1)));
    }
    qordb::InsertRecord(db_, l.insert.get(), l.rec, l.img.data());
  }

 private:
  struct Layout {
    qordb::RecordModel rec;
    std::vector<int> fields;  // positions of the fields the runs set
    std::vector<char> img;
    qordb::Stmt insert;
  };
  sqlite3* db_;
  Layout tables_[kTables];
};

// Plain SQLite doing the storage work of each run of the program, in the same
// transactions: the preparation's reads and its three autocommitted writes of
// the expiry-date types, the source join read into memory, the destination
// join and the five lookup reads, then the rows in a transaction committed
// every 1000 rows with each row's sequence draws, inserts and deletes.
class RawImport {
 public:
  enum class Layout { kPlain, kServer };

  RawImport(const std::string& path, const std::string& serverPath, int customers, Layout layout) {
    sqlite3_open(path.c_str(), &db_);
    Exec(db_, "PRAGMA journal_mode=WAL; PRAGMA synchronous=FULL;");
    Exec(db_, kOtherTables);
    if (layout == Layout::kPlain) {
      Exec(db_, kPlainSchema);
      destination_ = std::make_unique<PlainDestination>(db_);
      owned_[0] = Prepare(db_,
                          "SELECT eler_id FROM elerhetoseg WHERE eler_owner = ?1 AND "
                          "eler_tablecode = 2 AND elet_id = 6 ORDER BY eler_owner, "
                          "eler_tablecode, elet_id, rowid");
      owned_[1] = Prepare(db_,
                          "SELECT cim_id FROM cim WHERE cim_owner = ?1 AND cim_tablecode = 2 AND "
                          "cimt_id = 1 ORDER BY cim_owner, cim_tablecode, cimt_id, rowid");
      delete_[0] = Prepare(db_, "DELETE FROM elerhetoseg WHERE eler_id = ?1");
      delete_[1] = Prepare(db_, "DELETE FROM cim WHERE cim_id = ?1");
    } else {
      destination_ = std::make_unique<LayoutDestination>(db_, serverPath);
    }
    readsDestination_ = layout == Layout::kPlain;
    FillSource(customers);
    draw_ = Prepare(db_, "UPDATE seq SET id = id + step WHERE name = ?1 RETURNING id - step");
    tip_ = Prepare(db_, "INSERT OR REPLACE INTO ugyfel_datum_tip VALUES (?1, ?2)");
    basedata_ = Prepare(db_, "SELECT client_id FROM basedata WHERE deleted = 'N'");
  }
  ~RawImport() {
    for (sqlite3_stmt* s : {draw_, tip_, basedata_, owned_[0], owned_[1], delete_[0], delete_[1]})
      sqlite3_finalize(s);
    destination_.reset();
    sqlite3_close_v2(db_);
  }

  // A new customer per row: its customer, import link, address, contact and
  // two expiry dates, each with its sequence draw.
  Timing Cold() {
    return Run([&](const SourceRow& row) {
      const int64_t customer = Draw("UGYFEL_UGYFEL_NEXTID");
      destination_->Insert(kCustomer, {customer, row.name, int64_t(0), int64_t(4711), int64_t(1),
                                       kNow, int64_t(1), kNow});
      const std::string key = std::to_string(
          std::hash<std::string>{}(row.name + row.postalCode + row.town + row.street + row.house) %
          10000000000000000ULL);
      destination_->Insert(kLink, {Draw("SMS_UGYFEL_IMPORT"), customer, key,
                                   std::string_view("kelvado.qdb_1_KELVREG01"), int64_t(1),
                                   std::string_view("N"), kNow, kNow});
      WriteAddressAndContact(customer, row);
      for (int64_t type : {2, 4})
        destination_->Insert(
            kDate, {Draw("SMS_UGYFEL_DATUM"), customer, type,
                    double(type == 2 ? row.greenCard : row.inspection), row.plate, row.vin});
    });
  }
  // Every row known: nothing written but the preparation's three rows.
  Timing Warm() {
    return Run([](const SourceRow&) {});
  }
  // Every row an existing customer whose contacts and addresses of the
  // chosen types are replaced: each found by the owner key and deleted by
  // its id, then the row's own written.
  Timing Replace() {
    return Run([&](const SourceRow& row) {
      for (int k = 0; k < 2; ++k) {
        std::vector<int64_t> ids;
        sqlite3_bind_int64(owned_[k], 1, row.customer);
        while (sqlite3_step(owned_[k]) == SQLITE_ROW)
          ids.push_back(sqlite3_column_int64(owned_[k], 0));
        sqlite3_reset(owned_[k]);
        for (int64_t id : ids) {
          sqlite3_bind_int64(delete_[k], 1, id);
          sqlite3_step(delete_[k]);
          sqlite3_reset(delete_[k]);
        }
      }
      WriteAddressAndContact(row.customer, row);
    });
  }

 private:
  static constexpr double kNow = 20261210120000;

  void FillSource(int customers) {
    Exec(db_, "BEGIN");
    sqlite3_stmt* rows[] = {
        Prepare(db_,
                "INSERT INTO ugyfel_src VALUES (?1, 'Ügyfél ' || ?1, 0, ?1, 'VIN' || ?1, "
                "45000 + ?1 % 700, 0, 46000 + ?1 % 300)"),
        Prepare(db_, "INSERT INTO rendszam VALUES (?1, 'PLT-' || ?1, 0)"),
        Prepare(db_,
                "INSERT INTO cim_src VALUES (?1, 1000 + ?1 % 9000, 'Budapest', 'Fő utca', ?1)"),
        Prepare(db_, "INSERT INTO cimlink VALUES (?1, ?1, 1)"),
        Prepare(db_, "INSERT INTO telefon VALUES (?1, '+36', '30', 1000000 + ?1, '')"),
        Prepare(db_, "INSERT INTO telefonlink VALUES (?1, ?1, 1)"),
    };
    for (int i = 1; i <= customers; ++i)
      for (sqlite3_stmt* s : rows) {
        sqlite3_bind_int(s, 1, i);
        sqlite3_step(s);
        sqlite3_reset(s);
      }
    for (sqlite3_stmt* s : rows) sqlite3_finalize(s);
    Exec(db_, "COMMIT");
  }

  int64_t Draw(const char* sequence) {
    sqlite3_bind_text(draw_, 1, sequence, -1, SQLITE_STATIC);
    sqlite3_step(draw_);
    const int64_t id = sqlite3_column_int64(draw_, 0);
    sqlite3_reset(draw_);
    return id;
  }

  void WriteAddressAndContact(int64_t customer, const SourceRow& row) {
    destination_->Insert(kAddress, {Draw("ALAP_CIM_NEXTID"), int64_t(1), customer, int64_t(2),
                                    row.postalCode, row.town, row.street, row.house});
    const std::string contact =
        "(" + row.country + ")" + row.area + "/" + row.number + ":" + row.extension;
    destination_->Insert(
        kContact, {Draw("ALAP_ELERHETOSEG_NEXTID"), int64_t(6), customer, int64_t(2), contact,
                   std::string_view("Kelvado6 importból."), int64_t(0)});
  }

  // The frame that every run shares, with each row's own work.
  template <class F>
  Timing Run(F&& eachRow) {
    return Measure([&] {
      ReadAll(basedata_, sink_);
      for (int type : {2, 3, 4}) {
        sqlite3_bind_int(tip_, 1, type);
        sqlite3_bind_text(tip_, 2, "Kelvado6 lejárati idő", -1, SQLITE_STATIC);
        sqlite3_step(tip_);
        sqlite3_reset(tip_);
      }
      std::vector<SourceRow> rows = ReadSource();
      if (readsDestination_) {
        ReadQuery(db_, kDestinationJoin, sink_);
        for (const char* sql : kLookups) ReadQuery(db_, sql, sink_);
      }
      Exec(db_, "BEGIN IMMEDIATE");
      long remaining = long(rows.size()) - 1;
      for (const SourceRow& row : rows) {
        if (remaining % 1000 == 0) Exec(db_, "COMMIT; BEGIN IMMEDIATE");
        if (row.plateDeleted == 0) eachRow(row);
        --remaining;
      }
      Exec(db_, "COMMIT");
    });
  }

  std::vector<SourceRow> ReadSource() {
    sqlite3_stmt* s = Prepare(db_, kSourceJoin);
    std::vector<SourceRow> rows;
    auto text = [&](int c) {
      const unsigned char* t = sqlite3_column_text(s, c);
      return t ? std::string(reinterpret_cast<const char*>(t)) : std::string();
    };
    while (sqlite3_step(s) == SQLITE_ROW) {
      SourceRow& r = rows.emplace_back();
      r.customer = sqlite3_column_int64(s, 0);
      r.name = text(1);
      r.vin = text(2);
      r.greenCard = sqlite3_column_int64(s, 3);
      r.inspection = sqlite3_column_int64(s, 4);
      r.postalCode = text(5);
      r.town = text(6);
      r.street = text(7);
      r.house = text(8);
      r.country = text(9);
      r.area = text(10);
      r.number = text(11);
      r.extension = text(12);
      r.plate = text(13);
      r.plateDeleted = sqlite3_column_int(s, 14);
    }
    sqlite3_finalize(s);
    return rows;
  }

  sqlite3* db_ = nullptr;
  std::unique_ptr<Destination> destination_;
  bool readsDestination_ = true;
  sqlite3_stmt* draw_ = nullptr;
  sqlite3_stmt* tip_ = nullptr;
  sqlite3_stmt* basedata_ = nullptr;
  sqlite3_stmt* owned_[2] = {};   // contacts, addresses of an owner and type
  sqlite3_stmt* delete_[2] = {};  // contacts, addresses by id
  size_t sink_ = 0;
};

}  // namespace

int main(int argc, char** argv) {
  const int customers = int(bench::TakeOption(argc, argv, "--customers", 50000));
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QApplication app(argc, argv);
  if (!GlobalFncLoader || !GlobalFncLoader->hModule) {
    std::fprintf(stderr, "kelvimport_bench: libqordbcli.so is not beside the program\n");
    return 1;
  }
  QorTestServer dest{"vovdemo.qdb"};
  std::printf("kelvimport_bench: making a source of %d customers...\n", customers);
  std::fflush(stdout);
  MakeServers(dest, customers);

  win::ScriptedUi ui;
  win::ScopedUiBackend installed{ui};
  TForm1 form(nullptr, std::make_unique<WinImportPrompts>());
  if (form.ExitRequested()) return 1;
  form.show();
  QueueLogin(ui, "KELVADO");
  form.Execute(form.aConnectToSource);
  QueueLogin(ui, "VOVDEMO");
  form.Execute(form.aConnectToDest);
  if (!form.aStartImport->isEnabled()) {
    std::fprintf(stderr, "kelvimport_bench: the connections failed\n");
    return 1;
  }
  CountEveryEntry();

  // The raw side first, each run after the one before as the program's runs
  // follow each other; then the cold run again into the server's layout.
  Timing rawCold, rawWarm, rawReplace, rawLayoutCold;
  {
    RawImport raw(dest.Folder() + "/raw.sqlite", dest.Path(), customers, RawImport::Layout::kPlain);
    rawCold = raw.Cold();
    rawWarm = raw.Warm();
    rawReplace = raw.Replace();
  }
  rawLayoutCold = RawImport(dest.Folder() + "/rawlayout.sqlite", dest.Path(), customers,
                            RawImport::Layout::kServer)
                      .Cold();
  std::printf(
      "raw SQLite, each run's storage work on plain tables (preparation, source join into memory,\n"
      "  destination join and lookups, then per row the draws, inserts and deletes, committed\n"
      "  every 1000 rows):\n"
      "  cold %.2f s CPU (%.2f s wall), warm %.2f s CPU (%.2f s wall), replace %.2f s CPU (%.2f s "
      "wall)\n"
      "raw SQLite cold run into the server's table layout: %.2f s CPU (%.2f s wall), %.1fx the "
      "plain tables in CPU\n",
      rawCold.cpu, rawCold.wall, rawWarm.cpu, rawWarm.wall, rawReplace.cpu, rawReplace.wall,
      rawLayoutCold.cpu, rawLayoutCold.wall, rawLayoutCold.cpu / rawCold.cpu);
  struct Run {
    const char* name;
    bool replace;
    Timing base;
  };
  const Run runs[] = {{"cold import", false, rawCold},
                      {"warm re-run", false, rawWarm},
                      {"replace run", true, rawReplace}};
  for (const Run& run : runs) {
    form.cbCim->setChecked(run.replace);
    form.cbEle->setChecked(run.replace);
    form.cbUf->setChecked(run.replace);
    ui.Clear();
    g_calls = 0;
    const Timing t = Measure([&] { form.Execute(form.aStartImport); });
    const bool ok = !ui.MessageBoxes().empty() &&
                    ui.MessageBoxes().back().text == "A betöltés sikeresen befejeződött.";
    std::printf(
        "%s: %.2f s CPU (%.2f s wall), %.0f rows/s of CPU, %.1f client calls per row, "
        "%.1fx its raw run in CPU (%.1fx in wall time)%s\n",
        run.name, t.cpu, t.wall, customers / t.cpu, double(g_calls) / customers,
        t.cpu / run.base.cpu, t.wall / run.base.wall, ok ? "" : " (the run did not succeed)");
    std::fflush(stdout);
  }
  return 0;
}
