// Kelvimport's import run offscreen on throw-away servers: a cold import of
// 50,000 source customers (an address, a telephone, a plate and two expiry
// dates each), a warm re-run that finds every one known, and a replace run
// with every overwrite option. For each: rows per second and client-library
// calls per row, beside raw SQLite doing the same run's storage work right
// before it, in the same transactions (the source join, the destination join
// and the lookups, then each row's sequence draws, inserts and deletes), on
// plain tables; and the raw cold run once more with the destination in the
// server's own table layout, so that the layout's cost shows on its own.
// After each run both sides' stored results are compared record by record;
// a difference fails the benchmark.
//
//   kelvimport_bench [--customers N]

#include <sqlite3.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <algorithm>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>
#include <sstream>
#include <string>
#include <string_view>
#include <unordered_map>
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
using bench::Run;
using bench::Step;

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

// The sequences that the runs draw from, in the order the destination holds them.
const char* const kSequences[] = {"UGYFEL_UGYFEL_NEXTID", "SMS_UGYFEL_IMPORT", "SMS_UGYFEL_DATUM",
                                  "ALAP_CIM_NEXTID", "ALAP_ELERHETOSEG_NEXTID"};

// The destination (the demo's schemas) and the source beside it, in the test server's folder.
void MakeServers(QorTestServer& dest, int customers) {
  const std::string demo = KELVIMPORT_DEMO_DIR;
  for (const char* db : {"DEVUDAVARER", "UGYFEL", "ALAP"})
    dest.AddDatabase(FileText(demo + "/destination/" + db + ".schema"));
  dest.AddUser("DEMO", "DEMO");
  for (const char* sequence : kSequences) dest.AddSequence(sequence, 1, 1);
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

// How the raw side binds and reads a field: its plain column's type.
enum Kind { kInt, kReal, kText };

// A field that a run sets: its name in the dictionary, its plain column and
// its kind. A time stamp is each side's own clock, so it is left out when
// the two sides' results are compared.
struct FieldDef {
  const char* name;
  const char* column;
  Kind kind;
  bool stamp = false;
};

// The five destination tables that the runs write and read, each with the
// fields the runs set, in the order they set them.
enum Table { kCustomer, kLink, kAddress, kContact, kDate, kTables };
struct TableDef {
  const char* db;
  const char* record;
  const char* plain;
  std::vector<FieldDef> fields;
};
const TableDef kTableDefs[kTables] = {
    {"UGYFEL",
     "UGYFEL",
     "ugyfel",
     {{"UGY_ID", "ugy_id", kInt},
      {"UGY_NEV", "ugy_nev", kText},
      {"UGY_TOROLT", "ugy_torolt", kInt},
      {"VTK", "vtk", kInt},
      {"CREATOR", "creator", kInt},
      {"CREATE", "created", kReal, true},
      {"LASTMOD", "lastmod", kInt},
      {"LASTMDT", "lastmdt", kReal, true}}},
    {"DEVUDAVARER",
     "UGYFEL_IMPORT",
     "ugyfel_import",
     {{"UGYFEL_IMPORT_ID", "ugyfel_import_id", kInt},
      {"UGY_ID", "ugy_id", kInt},
      {"SOURCE_KEY", "source_key", kText},
      {"SERVER_UNIQUE", "server_unique", kText},
      {"CREATOR", "creator", kInt},
      {"RECORD_INACTIVE", "record_inactive", kText},
      {"RECORD_CREATION_TIME", "record_creation_time", kReal, true},
      {"RECORD_LAST_UPDATE", "record_last_update", kReal, true}}},
    {"ALAP",
     "CIM",
     "cim",
     {{"CIM_ID", "cim_id", kInt},
      {"CIMT_ID", "cimt_id", kInt},
      {"CIM_OWNER", "cim_owner", kInt},
      {"CIM_TABLECODE", "cim_tablecode", kInt},
      {"CIM_IRSZAM", "cim_irszam", kText},
      {"CIM_TELEPULES", "cim_telepules", kText},
      {"CIM_KOZTERULET", "cim_kozterulet", kText},
      {"CIM_HAZSZAM", "cim_hazszam", kText}}},
    {"ALAP",
     "ELERHETOSEG",
     "elerhetoseg",
     {{"ELER_ID", "eler_id", kInt},
      {"ELET_ID", "elet_id", kInt},
      {"ELER_OWNER", "eler_owner", kInt},
      {"ELER_TABLECODE", "eler_tablecode", kInt},
      {"ELER_ADAT", "eler_adat", kText},
      {"ELER_MEGJEGY", "eler_megjegy", kText},
      {"ELER_PREF", "eler_pref", kInt}}},
    {"DEVUDAVARER",
     "UGYFEL_DATUM",
     "ugyfel_datum",
     {{"UGYFEL_DATUM_ID", "ugyfel_datum_id", kInt},
      {"UGYFEL_ID", "ugyfel_id", kInt},
      {"UGYFEL_DATUM_TIP_ID", "ugyfel_datum_tip_id", kInt},
      {"DATUM", "datum", kReal},
      {"DATA00", "data00", kText},
      {"DATA01", "data01", kText}}},
};

const FieldDef& FieldOf(Table table, std::string_view name) {
  for (const FieldDef& f : kTableDefs[table].fields)
    if (name == f.name) return f;
  bench::Fail("kelvimport_bench: no field " + std::string(name));
}

// The lookup maps' reads, in the program's order: the fields that each map
// takes of every record of its table.
const std::pair<Table, std::vector<const char*>> kLookups[] = {
    {kContact, {"ELER_ID", "ELER_OWNER", "ELER_TABLECODE", "ELET_ID", "ELER_ADAT"}},
    {kAddress,
     {"CIM_ID", "CIM_OWNER", "CIM_TABLECODE", "CIMT_ID", "CIM_IRSZAM", "CIM_TELEPULES",
      "CIM_KOZTERULET", "CIM_HAZSZAM"}},
    {kDate, {"UGYFEL_DATUM_ID", "UGYFEL_ID", "UGYFEL_DATUM_TIP_ID", "DATUM", "DATA00"}},
    {kCustomer, {"UGY_ID", "UGY_NEV"}},
    {kLink, {"UGY_ID", "SOURCE_KEY", "SERVER_UNIQUE"}},
};

// The three expiry-date types that the preparation makes sure of, each with its own text.
const std::pair<int, const char*> kDateTypes[] = {{2, "Kelvado6 ZK lejárati idő"},
                                                  {3, "Kelvado6 garancia lejárati idő"},
                                                  {4, "Kelvado6 műszaki lejárati idő"}};

// A value of a plain column as text, as the client reads a field: numbers in
// decimal (the shortest form that reads back for a double), texts as stored.
std::string ColumnText(sqlite3_stmt* s, int c) {
  switch (sqlite3_column_type(s, c)) {
    case SQLITE_INTEGER:
      return std::to_string(sqlite3_column_int64(s, c));
    case SQLITE_FLOAT: {
      char buffer[64];
      const auto [end, ec] =
          std::to_chars(buffer, buffer + sizeof buffer, sqlite3_column_double(s, c));
      return std::string(buffer, end);
    }
    case SQLITE_NULL:
      return "";
    default:
      return std::string(reinterpret_cast<const char*>(sqlite3_column_text(s, c)),
                         size_t(sqlite3_column_bytes(s, c)));
  }
}

// The rows of a query, each its columns' texts, tab-separated.
std::vector<std::string> QueryRows(sqlite3* db, const std::string& sql) {
  sqlite3_stmt* s = Prepare(db, sql);
  std::vector<std::string> rows;
  while (Step(s)) {
    std::string& row = rows.emplace_back();
    for (int c = 0, n = sqlite3_column_count(s); c < n; ++c)
      row += (c > 0 ? "\t" : "") + ColumnText(s, c);
  }
  sqlite3_finalize(s);
  return rows;
}

// The five tables in the server's layout, from the destination server's
// file: each one's table and dictionary entry, and the positions of the
// fields that the runs set and that the sides' results compare.
struct ServerTables {
  explicit ServerTables(sqlite3* server)
      : types(bench::FindRecord(server, "DEVUDAVARER", "UGYFEL_DATUM_TIP")),
        sequences(bench::FindRecord(server, "SYSDB", "SEQUENCIES")) {
    for (int t = 0; t < kTables; ++t) {
      records[t] = bench::FindRecord(server, kTableDefs[t].db, kTableDefs[t].record);
      for (const FieldDef& f : kTableDefs[t].fields) {
        set[t].push_back(records[t].Field(f.name));
        if (!f.stamp) compared[t].push_back(set[t].back());
      }
      const qordb::RecordModel& rec = records[t].rec;
      for (int p = 0; p < int(rec.fields.size()); ++p)
        if (rec.fields[size_t(p)].IsData() &&
            std::find(set[t].begin(), set[t].end(), p) == set[t].end())
          unset[t].push_back(p);
    }
  }

  // What db holds in a table of this layout, as the comparison takes it: the
  // fields compared, and whether a field the runs do not set holds anything.
  std::vector<std::string> Rows(sqlite3* db, Table t) const {
    return bench::ImageRows(db, records[t].table, records[t].rec, compared[t], unset[t]);
  }

  bench::ServerRecord records[kTables];
  std::vector<int> set[kTables], compared[kTables], unset[kTables];
  bench::ServerRecord types, sequences;
};

// What the program stored: the five tables, the expiry-date types and the
// next values of the run's sequences.
struct Stored {
  std::vector<std::string> tables[kTables], types, sequences;
};

Stored ProgramStored(sqlite3* server, const ServerTables& tables) {
  Stored s;
  for (int t = 0; t < kTables; ++t) s.tables[t] = tables.Rows(server, Table(t));
  s.types = bench::ImageRows(server, tables.types.table, tables.types.rec);
  const bench::ServerRecord& q = tables.sequences;
  for (std::string& row :
       bench::ImageRows(server, q.table, q.rec, {q.Field("SEQ_NAME"), q.Field("SEQ_ID")})) {
    const std::string name = row.substr(0, row.find('\t'));
    if (std::find(std::begin(kSequences), std::end(kSequences), name) != std::end(kSequences))
      s.sequences.push_back(std::move(row));
  }
  return s;
}

void CompareStored(const std::string& after, const Stored& program, const Stored& raw, bool& same) {
  for (int t = 0; t < kTables; ++t)
    bench::Compare(after + ", " + kTableDefs[t].record, program.tables[t], raw.tables[t], same);
  bench::Compare(after + ", UGYFEL_DATUM_TIP", program.types, raw.types, same);
  bench::Compare(after + ", the sequences", program.sequences, raw.sequences, same);
}

// Plain tables: the destination's with the id as the primary key, an index
// per key of the destination's schemas, and the source's with indexes on the
// columns its join follows; the sequences as rows of a table of their own.
const char* kPlainSchema =
    "CREATE TABLE ugyfel(ugy_id INTEGER PRIMARY KEY, ugy_azon TEXT, ugy_nev TEXT, "
    "ugy_torolt INTEGER, vtk INTEGER, creator INTEGER, created REAL, lastmod INTEGER, "
    "lastmdt REAL);"
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
// telephones and plate (left joins, as the view keeps customers without
// them), only the columns the runs use.
const char* kSourceJoin =
    "SELECT u.ucode, u.name, u.alvazszam, u.zold, u.garancia, u.muszaki, c.iranyitoszam, "
    "c.varos, c.utca, c.hazszam, t.orszag, t.korzet, t.szam, t.mellek, r.rszam, r.torolt "
    "FROM ugyfel_src u "
    "LEFT JOIN cimlink cl ON cl.code = u.ucode AND cl.tab = 1 "
    "LEFT JOIN cim_src c ON c.cimcode = cl.cimcode "
    "LEFT JOIN telefonlink tl ON tl.code = u.ucode AND tl.tab = 1 "
    "LEFT JOIN telefon t ON t.telcode = tl.telcode "
    "LEFT JOIN rendszam r ON r.rcode = u.rendszamcode "
    "WHERE u.torolt = 0 ORDER BY u.ucode, cl.rowid, tl.rowid";
// The destination SELECT: customers with their contacts of owner table 2 and
// those contacts' types, and their addresses with the addresses' types; the
// columns it names.
const char* kDestinationJoin =
    "SELECT u.ugy_id, u.ugy_azon, u.ugy_nev, e.eler_adat, et.elet_tipus, c.cim_irszam, "
    "c.cim_telepules, c.cim_kozterulet, c.cim_hazszam, ct.cimt_tipus FROM ugyfel u "
    "LEFT JOIN elerhetoseg e ON e.eler_owner = u.ugy_id AND e.eler_tablecode = 2 "
    "LEFT JOIN elertip et ON et.elet_id = e.elet_id "
    "LEFT JOIN cim c ON c.cim_owner = u.ugy_id AND c.cim_tablecode = 2 "
    "LEFT JOIN cimtip ct ON ct.cimt_id = c.cimt_id ORDER BY u.rowid";

// One row of the source view, held in memory as the view holds its records.
struct SourceRow {
  int64_t customer = 0;
  int64_t days[3] = {};  // green card, warranty, inspection, as the source's day numbers
  int plateDeleted = 0;
  std::string name, vin, postalCode, town, street, house, country, area, number, extension, plate;
};

// A destination row's values, in the order of its table's fields.
using Value = std::variant<int64_t, double, std::string_view>;

// Where the raw side keeps the five destination tables.
class Destination {
 public:
  virtual ~Destination() = default;
  virtual void Insert(Table table, std::initializer_list<Value> values) = 0;
  // The destination join and the lookups' reads, as a run makes them before
  // its rows; a sum of what was read, so that every value is taken.
  virtual uint64_t ReadAll() = 0;
  // What a table holds, as the comparison with the program takes it.
  virtual std::vector<std::string> Rows(Table table) = 0;
};

// Plain tables: each value bound to its column, each read typed.
class PlainDestination : public Destination {
 public:
  explicit PlainDestination(sqlite3* db) : db_(db) {
    for (int t = 0; t < kTables; ++t) {
      std::string columns, values;
      for (const FieldDef& f : kTableDefs[t].fields) {
        columns += (columns.empty() ? "" : ", ") + std::string(f.column);
        values += values.empty() ? "?" : ", ?";
      }
      inserts_[t] = Prepare(db, std::string("INSERT INTO ") + kTableDefs[t].plain + "(" + columns +
                                    ") VALUES (" + values + ")");
    }
    join_ = Prepare(db, kDestinationJoin);
    for (const auto& [table, fields] : kLookups) {
      std::string columns;
      Lookup& l = lookups_.emplace_back();
      for (const char* name : fields) {
        const FieldDef& f = FieldOf(table, name);
        columns += (columns.empty() ? "" : ", ") + std::string(f.column);
        l.kinds.push_back(f.kind);
      }
      // In rowid order, as the server hands out its records, and not along
      // an index that happens to cover the columns.
      l.read =
          Prepare(db, "SELECT " + columns + " FROM " + kTableDefs[table].plain + " ORDER BY rowid");
    }
  }
  ~PlainDestination() override {
    for (sqlite3_stmt* s : inserts_) sqlite3_finalize(s);
    sqlite3_finalize(join_);
    for (const Lookup& l : lookups_) sqlite3_finalize(l.read);
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
    Run(s);
  }
  uint64_t ReadAll() override {
    uint64_t sum = 0;
    while (Step(join_)) {
      sum += uint64_t(sqlite3_column_int64(join_, 0));
      for (int c = 1; c < 10; ++c) sum += Read(join_, c, kText);
    }
    sqlite3_reset(join_);
    for (const Lookup& l : lookups_) {
      while (Step(l.read))
        for (size_t c = 0; c < l.kinds.size(); ++c) sum += Read(l.read, int(c), l.kinds[c]);
      sqlite3_reset(l.read);
    }
    return sum;
  }
  std::vector<std::string> Rows(Table table) override {
    std::string columns;
    for (const FieldDef& f : kTableDefs[table].fields)
      if (!f.stamp) columns += (columns.empty() ? "" : ", ") + std::string(f.column);
    return QueryRows(db_,
                     "SELECT " + columns + " FROM " + kTableDefs[table].plain + " ORDER BY rowid");
  }

 private:
  struct Lookup {
    sqlite3_stmt* read;
    std::vector<Kind> kinds;
  };
  static uint64_t Read(sqlite3_stmt* s, int c, Kind kind) {
    switch (kind) {
      case kInt:
        return uint64_t(sqlite3_column_int64(s, c));
      case kReal:
        return sqlite3_column_double(s, c) != 0;
      default:
        sqlite3_column_text(s, c);
        return uint64_t(sqlite3_column_bytes(s, c));
    }
  }

  sqlite3* db_;
  sqlite3_stmt* inserts_[kTables] = {};
  sqlite3_stmt* join_ = nullptr;
  std::vector<Lookup> lookups_;
};

// The server's own table layout (made by the server's own code from the
// destination's dictionaries): each row's record image, its key fields in
// their indexed columns; read as the server reads it, every record's image
// in insertion order with the fields taken out of it.
class LayoutDestination : public Destination {
 public:
  LayoutDestination(sqlite3* db, const ServerTables& tables) : db_(db), tables_(tables) {
    for (int t = 0; t < kTables; ++t) {
      const bench::ServerRecord& r = tables.records[t];
      img_[t].assign(size_t(r.rec.imageLength), 0);
      qordb::CreateRecordTable(db, r.dbId, r.index, r.rec);
      inserts_[t] = qordb::Stmt(db, qordb::InsertSql(r.dbId, r.index, r.rec), true);
      all_[t] = qordb::Stmt(db, "SELECT img FROM " + r.table + " ORDER BY rid", true);
    }
    // The destination join on the key columns, the fields out of the images.
    auto k = [&](const char* alias, Table t, const char* field) {
      const bench::ServerRecord& r = tables.records[t];
      const int column = r.rec.keyColumn[size_t(r.Field(field))];
      if (column < 0) bench::Fail(std::string("kelvimport_bench: no key column for ") + field);
      return std::string(alias) + ".k" + std::to_string(column);
    };
    const std::string& contacts = tables.records[kContact].table;
    const std::string& addresses = tables.records[kAddress].table;
    join_ = qordb::Stmt(
        db,
        "SELECT u.img, e.img, et.elet_tipus, c.img, ct.cimt_tipus FROM " +
            tables.records[kCustomer].table + " u LEFT JOIN " + contacts + " e ON " +
            k("e", kContact, "ELER_OWNER") + " = " + k("u", kCustomer, "UGY_ID") + " AND " +
            k("e", kContact, "ELER_TABLECODE") +
            " = 2 LEFT JOIN elertip et ON et.elet_id = " + k("e", kContact, "ELET_ID") +
            " LEFT JOIN " + addresses + " c ON " + k("c", kAddress, "CIM_OWNER") + " = " +
            k("u", kCustomer, "UGY_ID") + " AND " + k("c", kAddress, "CIM_TABLECODE") +
            " = 2 LEFT JOIN cimtip ct ON ct.cimt_id = " + k("c", kAddress, "CIMT_ID") +
            " ORDER BY u.rid",
        true);
    const bench::ServerRecord& u = tables.records[kCustomer];
    const bench::ServerRecord& e = tables.records[kContact];
    const bench::ServerRecord& c = tables.records[kAddress];
    joinFields_ = {{0, &u.FieldModel("UGY_ID")},         {0, &u.FieldModel("UGY_AZON")},
                   {0, &u.FieldModel("UGY_NEV")},        {1, &e.FieldModel("ELER_ADAT")},
                   {3, &c.FieldModel("CIM_IRSZAM")},     {3, &c.FieldModel("CIM_TELEPULES")},
                   {3, &c.FieldModel("CIM_KOZTERULET")}, {3, &c.FieldModel("CIM_HAZSZAM")}};
  }
  void Insert(Table table, std::initializer_list<Value> values) override {
    const qordb::RecordModel& rec = tables_.records[table].rec;
    char* img = img_[table].data();
    std::fill(img_[table].begin(), img_[table].end(), 0);
    size_t i = 0;
    for (const Value& v : values) {
      const qordb::FieldModel& f = rec.fields[size_t(tables_.set[table][i++])];
      if (const auto* n = std::get_if<int64_t>(&v)) qordb::SetFieldInteger(f, *n, img);
      if (const auto* d = std::get_if<double>(&v)) std::memcpy(img + f.offset, d, sizeof *d);
      if (const auto* t = std::get_if<std::string_view>(&v))
        std::memcpy(img + f.offset, t->data(), std::min(t->size(), size_t(f.length - 1)));
    }
    try {
      qordb::InsertRecord(db_, inserts_[table].get(), rec, img);
    } catch (const qordb::StatusError& e) {
      bench::Fail("kelvimport_bench: an insert into the server's layout failed with status " +
                  std::to_string(e.status));
    }
  }
  uint64_t ReadAll() override {
    uint64_t sum = 0;
    sqlite3_stmt* join = join_.get();
    while (Step(join)) {
      for (const auto& [column, field] : joinFields_)
        if (const char* img = static_cast<const char*>(sqlite3_column_blob(join, column)))
          sum += Read(*field, img);
      for (int column : {2, 4}) {
        sqlite3_column_text(join, column);
        sum += uint64_t(sqlite3_column_bytes(join, column));
      }
    }
    sqlite3_reset(join);
    for (const auto& [table, fields] : kLookups) {
      const bench::ServerRecord& r = tables_.records[table];
      sqlite3_stmt* all = all_[table].get();
      while (Step(all)) {
        const char* img = static_cast<const char*>(sqlite3_column_blob(all, 0));
        for (const char* name : fields) sum += Read(r.FieldModel(name), img);
      }
      sqlite3_reset(all);
    }
    return sum;
  }
  std::vector<std::string> Rows(Table table) override { return tables_.Rows(db_, table); }

 private:
  static uint64_t Read(const qordb::FieldModel& f, const char* img) {
    if (f.IsInteger()) return uint64_t(qordb::FieldInteger(f, img));
    if (f.type == 'F') {
      double d;
      std::memcpy(&d, img + f.offset, sizeof d);
      return d != 0;
    }
    return strnlen(img + f.offset, size_t(f.length));
  }

  sqlite3* db_;
  const ServerTables& tables_;
  std::vector<char> img_[kTables];
  qordb::Stmt inserts_[kTables], all_[kTables], join_;
  std::vector<std::pair<int, const qordb::FieldModel*>> joinFields_;  // image column, field
};

// What a run takes from the program's logins and its date library.
struct RunValues {
  int64_t userId;            // the destination user, CREATOR and LASTMOD
  std::string serverUnique;  // the source server's unique name, of every import link
  const TForm1* form;        // the source's day numbers to dates
};

// Plain SQLite doing the storage work of each run of the program, in the same
// transactions: the preparation's read and its three autocommitted writes of
// the expiry-date types (none for a type that is stored as it should be), the
// source join read into memory, the destination join and the five lookup
// reads, then the rows in a transaction committed every 1000 rows with each
// row's sequence draws, inserts and deletes. It stores what the program
// stores: the same ids, texts and numbers.
class RawImport {
 public:
  enum class Layout { kPlain, kServer };

  RawImport(const std::string& path, const ServerTables& tables, int customers, Layout layout,
            RunValues values)
      : values_(std::move(values)) {
    db_ = bench::Open(path);
    Exec(db_, "PRAGMA journal_mode=WAL; PRAGMA synchronous=FULL;");
    Exec(db_, kOtherTables);
    for (const char* sequence : kSequences)
      Exec(db_, std::string("INSERT INTO seq VALUES ('") + sequence + "', 1, 1)");
    if (layout == Layout::kPlain) {
      Exec(db_, kPlainSchema);
      destination_ = std::make_unique<PlainDestination>(db_);
      // One statement for all of an owner's contacts (addresses) of the chosen type.
      deleteOwned_[0] = Prepare(db_,
                                "DELETE FROM elerhetoseg WHERE eler_owner = ?1 AND "
                                "eler_tablecode = 2 AND elet_id = 6");
      deleteOwned_[1] = Prepare(
          db_, "DELETE FROM cim WHERE cim_owner = ?1 AND cim_tablecode = 2 AND cimt_id = 1");
    } else {
      destination_ = std::make_unique<LayoutDestination>(db_, tables);
    }
    FillSource(customers);
    begin_ = Prepare(db_, "BEGIN IMMEDIATE");
    commit_ = Prepare(db_, "COMMIT");
    draw_ = Prepare(db_, "UPDATE seq SET id = id + step WHERE name = ?1 RETURNING id - step");
    tip_ =
        Prepare(db_,
                "INSERT INTO ugyfel_datum_tip VALUES (?1, ?2) ON CONFLICT (ugyfel_datum_tip_id) DO "
                "UPDATE SET tipus = excluded.tipus WHERE tipus IS NOT excluded.tipus");
    basedata_ = Prepare(db_, "SELECT client_id FROM basedata WHERE deleted = 'N'");
  }
  ~RawImport() {
    for (sqlite3_stmt* s :
         {begin_, commit_, draw_, tip_, basedata_, deleteOwned_[0], deleteOwned_[1]})
      sqlite3_finalize(s);
    destination_.reset();
    sqlite3_close_v2(db_);
  }

  // A new customer per row: its customer, import link, address, contact and
  // the expiry dates the source has, each with its sequence draw.
  Timing Cold() {
    return Timed([&](const SourceRow& row) {
      const int64_t customer = Draw("UGYFEL_UGYFEL_NEXTID");
      destination_->Insert(kCustomer, {customer, row.name, int64_t(0), clientId_, values_.userId,
                                       kNow, values_.userId, kNow});
      const std::string hashText = row.name + row.postalCode + row.town + row.street + row.house;
      const std::string key = TForm1::DecimalHashMod(hashText, TForm1::kSourceKeyModuli[0]) +
                              TForm1::DecimalHashMod(hashText, TForm1::kSourceKeyModuli[1]);
      destination_->Insert(kLink, {Draw("SMS_UGYFEL_IMPORT"), customer, key, values_.serverUnique,
                                   values_.userId, std::string_view("N"), kNow, kNow});
      WriteAddressAndContact(customer, row);
      if (row.plate.empty()) return;
      for (int kind = 0; kind < 3; ++kind) {
        const double date = DateOf(row.days[kind]);
        if (date == 0) continue;
        destination_->Insert(kDate, {Draw("SMS_UGYFEL_DATUM"), customer,
                                     int64_t(kDateTypes[kind].first), date, row.plate, row.vin});
      }
    });
  }
  // Every row known and unchanged: nothing written.
  Timing Warm() {
    return Timed([](const SourceRow&) {});
  }
  // Every row an existing customer whose contacts and addresses of the
  // chosen types are replaced: deleted by the owner key, then the row's own
  // written.
  Timing Replace() {
    return Timed([&](const SourceRow& row) {
      for (sqlite3_stmt* s : deleteOwned_) {
        sqlite3_bind_int64(s, 1, row.customer);
        Run(s);
      }
      WriteAddressAndContact(row.customer, row);
    });
  }

  Stored Results() {
    Stored s;
    for (int t = 0; t < kTables; ++t) s.tables[t] = destination_->Rows(Table(t));
    s.types =
        QueryRows(db_, "SELECT ugyfel_datum_tip_id, tipus FROM ugyfel_datum_tip ORDER BY rowid");
    s.sequences = QueryRows(db_, "SELECT name, id FROM seq ORDER BY rowid");
    return s;
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
        Run(s);
      }
    for (sqlite3_stmt* s : rows) sqlite3_finalize(s);
    Exec(db_, "COMMIT");
  }

  int64_t Draw(const char* sequence) {
    sqlite3_bind_text(draw_, 1, sequence, -1, SQLITE_STATIC);
    if (!Step(draw_)) bench::Fail(std::string("kelvimport_bench: no sequence ") + sequence);
    const int64_t id = sqlite3_column_int64(draw_, 0);
    if (Step(draw_)) bench::Fail(std::string("kelvimport_bench: two sequences ") + sequence);
    sqlite3_reset(draw_);
    return id;
  }

  // A source day number as the program's date, each converted once per run
  // as the program converts each source text once.
  double DateOf(int64_t day) {
    const auto known = dates_.find(day);
    if (known != dates_.end()) return known->second;
    return dates_[day] = values_.form->DateFromLong(std::to_string(day));
  }

  void WriteAddressAndContact(int64_t customer, const SourceRow& row) {
    destination_->Insert(kAddress, {Draw("ALAP_CIM_NEXTID"), int64_t(1), customer, int64_t(2),
                                    row.postalCode, row.town, row.street, row.house});
    // As the program stores it; the bench's source texts have no blanks to trim.
    const std::string contact = "(" + row.country + ")" + row.area + "/" +
                                TForm1::FormatSubscriberNumber(row.number) + ":" + row.extension;
    destination_->Insert(
        kContact, {Draw("ALAP_ELERHETOSEG_NEXTID"), int64_t(6), customer, int64_t(2), contact,
                   std::string_view("Kelvado6 importból."), int64_t(0)});
  }

  // The frame that every run shares, with each row's own work.
  template <class F>
  Timing Timed(F&& eachRow) {
    return Measure([&] {
      while (Step(basedata_)) clientId_ = sqlite3_column_int64(basedata_, 0);
      sqlite3_reset(basedata_);
      for (const auto& [type, text] : kDateTypes) {
        sqlite3_bind_int(tip_, 1, type);
        sqlite3_bind_text(tip_, 2, text, -1, SQLITE_STATIC);
        Run(tip_);
      }
      dates_.clear();
      const std::vector<SourceRow> rows = ReadSource();
      sink_ += destination_->ReadAll();
      Run(begin_);
      long remaining = long(rows.size()) - 1;
      for (const SourceRow& row : rows) {
        if (remaining % 1000 == 0) {
          Run(commit_);
          Run(begin_);
        }
        if (row.plateDeleted == 0) eachRow(row);
        --remaining;
      }
      Run(commit_);
    });
  }

  std::vector<SourceRow> ReadSource() {
    sqlite3_stmt* s = Prepare(db_, kSourceJoin);
    std::vector<SourceRow> rows;
    auto text = [&](int c) {
      const unsigned char* t = sqlite3_column_text(s, c);
      return t ? std::string(reinterpret_cast<const char*>(t), size_t(sqlite3_column_bytes(s, c)))
               : std::string();
    };
    while (Step(s)) {
      SourceRow& r = rows.emplace_back();
      r.customer = sqlite3_column_int64(s, 0);
      r.name = text(1);
      r.vin = text(2);
      for (int kind = 0; kind < 3; ++kind) r.days[kind] = sqlite3_column_int64(s, 3 + kind);
      r.postalCode = text(6);
      r.town = text(7);
      r.street = text(8);
      r.house = text(9);
      r.country = text(10);
      r.area = text(11);
      r.number = text(12);
      r.extension = text(13);
      r.plate = text(14);
      r.plateDeleted = sqlite3_column_int(s, 15);
    }
    sqlite3_finalize(s);
    return rows;
  }

  RunValues values_;
  sqlite3* db_ = nullptr;
  std::unique_ptr<Destination> destination_;
  sqlite3_stmt* begin_ = nullptr;
  sqlite3_stmt* commit_ = nullptr;
  sqlite3_stmt* draw_ = nullptr;
  sqlite3_stmt* tip_ = nullptr;
  sqlite3_stmt* basedata_ = nullptr;
  sqlite3_stmt* deleteOwned_[2] = {};  // contacts, addresses of an owner and the chosen type
  int64_t clientId_ = 0;
  std::unordered_map<int64_t, double> dates_;
  uint64_t sink_ = 0;
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

  // The program's stored results are read on a connection of the bench's own.
  sqlite3* server = nullptr;
  if (sqlite3_open_v2(dest.Path().c_str(), &server, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK)
    bench::Fail("kelvimport_bench: cannot open the destination server's file");
  const ServerTables tables(server);
  const RunValues values{form.m_destUserId, form.m_srcUnique, &form};
  RawImport raw(dest.Folder() + "/raw.sqlite", tables, customers, RawImport::Layout::kPlain,
                values);
  RawImport layout(dest.Folder() + "/rawlayout.sqlite", tables, customers,
                   RawImport::Layout::kServer, values);

  // Each raw run right before the program's, each after the one before on
  // the same tables as the program's runs follow each other; after each,
  // both sides' stored results side by side.
  struct Phase {
    const char* name;
    bool replace;
    Timing (RawImport::*raw)();
  };
  const Phase runs[] = {{"cold import", false, &RawImport::Cold},
                        {"warm re-run", false, &RawImport::Warm},
                        {"replace run", true, &RawImport::Replace}};
  bool succeeded = true, same = true;
  Timing rawCold, layoutCold;
  Stored program;
  for (const Phase& run : runs) {
    const Timing base = (raw.*run.raw)();
    const bool cold = run.raw == &RawImport::Cold;
    if (cold) {
      rawCold = base;
      layoutCold = layout.Cold();
    }
    form.cbCim->setChecked(run.replace);
    form.cbEle->setChecked(run.replace);
    form.cbUf->setChecked(run.replace);
    ui.Clear();
    g_calls = 0;
    const Timing t = Measure([&] { form.Execute(form.aStartImport); });
    const bool ok = !ui.MessageBoxes().empty() &&
                    ui.MessageBoxes().back().text == "A betöltés sikeresen befejeződött.";
    succeeded = succeeded && ok;
    std::printf(
        "%s: %.2f s CPU (%.2f s wall), %.0f rows/s of CPU, %.1f client calls per row; raw SQLite "
        "%.2f s CPU (%.2f s wall); %.1fx in CPU (%.1fx in wall time)%s\n",
        run.name, t.cpu, t.wall, customers / t.cpu, double(g_calls) / customers, base.cpu,
        base.wall, t.cpu / base.cpu, t.wall / base.wall, ok ? "" : " (the run did not succeed)");
    std::fflush(stdout);
    program = ProgramStored(server, tables);
    CompareStored(std::string("after the ") + run.name, program, raw.Results(), same);
    if (cold)
      CompareStored("after the cold import, the server's layout", program, layout.Results(), same);
  }
  std::printf(
      "raw SQLite cold run into the server's table layout: %.2f s CPU (%.2f s wall), %.1fx the "
      "plain tables in CPU\n",
      layoutCold.cpu, layoutCold.wall, layoutCold.cpu / rawCold.cpu);
  std::printf(
      "stored results after each run: %s (at the end %zu customers, %zu import links, "
      "%zu addresses, %zu contacts, %zu expiry dates)\n",
      same ? "the same on both sides" : "DIFFERENT (see above)", program.tables[kCustomer].size(),
      program.tables[kLink].size(), program.tables[kAddress].size(),
      program.tables[kContact].size(), program.tables[kDate].size());
  sqlite3_close_v2(server);
  return succeeded && same ? 0 : 1;
}
