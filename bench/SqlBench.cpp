// The client-side SQL engine on a throw-away source server: the import's
// source SELECT over 20,000 customers with their addresses, plates and
// telephones walked row by row, and a two-table join over 108,000 telephone links, each
// beside SQLite running the equivalent join over the same data in plain
// tables of its own, with the ratio.
//
//   sql_bench [--customers N] [--phones-per-customer N]

#include <sqlite3.h>

#include <cstdio>
#include <string>
#include <vector>

#include "BenchUtil.h"
#include "DbDescMap.h"
#include "RdmFileImport.h"
#include "ScriptedUi.h"
#include "TQoLogin.h"
#include "TestServer.h"

namespace {

const char* kKelvado = R"(database KELVADO id 20
record UGYFEL
  UCODE         l unique
  NAME          c 81
  TOROLT        c 1 key
  RENDSZAMCODE  l
  ALVAZSZAM     c 21
end
record CIMLINK
  CIMCODE  l key
  CODE     l key
  TABLE    s
  CODETABLE k (CODE TABLE)
end
record CIM
  CIMCODE       l unique
  IRANYITOSZAM  c 11
  VAROS         c 41
  UTCA          c 61
  HAZSZAM       c 21
end
record TELEFON
  TELCODE  l unique
  ORSZAG   c 8
  KORZET   c 8
  SZAM     c 21
end
record TELEFONLINK
  TELCODE  l key
  CODE     l key
  TABLE    s
  CODETABLE k (CODE TABLE)
end
record RENDSZAM
  RCODE  l unique
  RSZAM  c 16
end
)";

const char* kSourceScript =
    "select * from KELVADO.UGYFEL, CIMLINK, CIM, TELEFON, TELEFONLINK, RENDSZAM where "
    "KELVADO.UGYFEL.TOROLT = '0x00' and CIM.CIMCODE = CIMLINK.CIMCODE and "
    "CIMLINK.CODE = KELVADO.UGYFEL.UCODE and CIMLINK.TABLE = 1 and "
    "TELEFON.TELCODE = TELEFONLINK.TELCODE and TELEFONLINK.CODE = KELVADO.UGYFEL.UCODE and "
    "TELEFONLINK.TABLE = 1 and RENDSZAM.RCODE = KELVADO.UGYFEL.RENDSZAMCODE;";

// The same walk in SQLite: customers not deleted, each with its addresses and
// telephones (none gives one row with empty columns, as option 4 does).
const char* kSqliteSource =
    "SELECT u.ucode, u.name, c.varos, c.utca, t.korzet, t.szam, r.rszam FROM ugyfel u "
    "LEFT JOIN cimlink cl ON cl.code = u.ucode AND cl.tab = 1 "
    "LEFT JOIN cim c ON c.cimcode = cl.cimcode "
    "LEFT JOIN rendszam r ON r.rcode = u.rendszamcode "
    "LEFT JOIN telefonlink tl ON tl.code = u.ucode AND tl.tab = 1 "
    "LEFT JOIN telefon t ON t.telcode = tl.telcode "
    "WHERE u.torolt = '0x00' ORDER BY u.ucode, cl.rowid, tl.rowid";

const char* kJoinScript =
    "select * from TELEFONLINK, TELEFON where TELEFON.TELCODE = TELEFONLINK.TELCODE;";
const char* kSqliteJoin =
    "SELECT tl.telcode, tl.code, t.korzet, t.szam FROM telefonlink tl "
    "LEFT JOIN telefon t ON t.telcode = tl.telcode ORDER BY tl.rowid";

using bench::Seconds;
using bench::TakeOption;

// One table's rows for both sides: a tab-separated load file and SQL inserts.
struct Rows {
  std::string tsv;
  std::vector<std::vector<std::string>> values;
  void Add(std::vector<std::string> row) {
    for (size_t i = 0; i < row.size(); ++i) tsv += (i ? "\t" : "") + row[i];
    tsv += "\n";
    values.push_back(std::move(row));
  }
};

void Exec(sqlite3* db, const std::string& sql) {
  char* error = nullptr;
  if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &error) != SQLITE_OK) {
    std::fprintf(stderr, "sql_bench: %s\n", error);
    std::exit(1);
  }
}

void Insert(sqlite3* db, const char* table, const Rows& rows) {
  std::string sql = std::string("INSERT INTO ") + table + " VALUES (?";
  for (size_t i = 1; i < rows.values.front().size(); ++i) sql += ", ?";
  sql += ")";
  sqlite3_stmt* st = nullptr;
  sqlite3_prepare_v2(db, sql.c_str(), -1, &st, nullptr);
  for (const auto& row : rows.values) {
    for (size_t i = 0; i < row.size(); ++i)
      sqlite3_bind_text(st, int(i + 1), row[i].c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_step(st);
    sqlite3_reset(st);
  }
  sqlite3_finalize(st);
}

// Steps the query and reads every column as text, as the walk reads its fields.
size_t SqliteWalk(sqlite3* db, const char* sql, size_t& bytes) {
  sqlite3_stmt* st = nullptr;
  sqlite3_prepare_v2(db, sql, -1, &st, nullptr);
  size_t rows = 0;
  while (sqlite3_step(st) == SQLITE_ROW) {
    ++rows;
    for (int c = 0, n = sqlite3_column_count(st); c < n; ++c) {
      const unsigned char* text = sqlite3_column_text(st, c);
      bytes += text ? std::strlen(reinterpret_cast<const char*>(text)) : 0;
    }
  }
  sqlite3_finalize(st);
  return rows;
}

// Walks the runner's view and reads the named fields of every row as text.
size_t ViewWalk(RdmFileImport& runner,
                const std::vector<std::pair<const char*, const char*>>& fields, size_t& bytes) {
  RdmView* view = runner.GetResultView();
  std::vector<RdmFld*> values;
  for (const auto& [table, field] : fields)
    values.push_back(&view->GetTable(table)->GetField(field));
  size_t rows = 0;
  while (view->Next()) {
    ++rows;
    for (RdmFld* v : values) bytes += std::strlen(v->GetText());
  }
  return rows;
}

}  // namespace

int main(int argc, char** argv) {
  const size_t customers = TakeOption(argc, argv, "--customers", 20000);
  const size_t phonesPer = TakeOption(argc, argv, "--phones-per-customer", 6);

  Rows ugyfel, cimlink, cim, telefon, telefonlink, rendszam;
  size_t address = 0, phone = 0;
  for (size_t u = 1; u <= customers; ++u) {
    const std::string id = std::to_string(u);
    const bool deleted = u % 50 == 0;
    // A one-byte field loads from its 0xNN form.
    ugyfel.Add({id, "Ügyfél " + id, deleted ? "0x01" : "0x00", id, "VIN" + id});
    rendszam.Add({id, "ABC-" + std::to_string(u % 1000)});
    for (size_t a = 0; a < 1 + u % 2; ++a) {
      const std::string code = std::to_string(++address);
      cim.Add({code, std::to_string(1000 + u % 9000), "Győr", "Fő utca", std::to_string(a + 1)});
      cimlink.Add({code, id, "1"});
    }
    // Every tenth customer has no telephone.
    for (size_t p = 0; u % 10 != 0 && p < phonesPer; ++p) {
      const std::string code = std::to_string(++phone);
      telefon.Add({code, "36", "30", std::to_string(1000000 + phone)});
      telefonlink.Add({code, id, "1"});
    }
  }

  QorTestServer server("sqlbench.qdb");
  server.AddDatabase(kKelvado);
  server.AddUser("ADMIN", "ADMIN");
  QorClientConfig client;
  client.name = "KELVADO";
  server.AddClient(client);
  const double setup = Seconds([&] {
    server.Load("KELVADO", "UGYFEL", "UCODE\tNAME\tTOROLT\tRENDSZAMCODE\tALVAZSZAM\n" + ugyfel.tsv);
    server.Load("KELVADO", "RENDSZAM", "RCODE\tRSZAM\n" + rendszam.tsv);
    server.Load("KELVADO", "CIM", "CIMCODE\tIRANYITOSZAM\tVAROS\tUTCA\tHAZSZAM\n" + cim.tsv);
    server.Load("KELVADO", "CIMLINK", "CIMCODE\tCODE\tTABLE\n" + cimlink.tsv);
    server.Load("KELVADO", "TELEFON", "TELCODE\tORSZAG\tKORZET\tSZAM\n" + telefon.tsv);
    server.Load("KELVADO", "TELEFONLINK", "TELCODE\tCODE\tTABLE\n" + telefonlink.tsv);
  });

  win::ScriptedUi ui;
  win::ScopedUiBackend installed(ui);
  TQoLogin login;
  if (!login.Login("KELVADO", "ADMIN", "ADMIN", false, "")) {
    std::fprintf(stderr, "sql_bench: the login failed\n");
    return 1;
  }
  DbDescMap map;
  map.SetHandle(login.GetHandle());
  map.OpenAll(0);

  // Plain SQLite tables of the same rows, with indexes on the join columns.
  sqlite3* db = nullptr;
  const std::string plainPath = server.Folder() + "/plain.sqlite";
  sqlite3_open(plainPath.c_str(), &db);
  Exec(db,
       "CREATE TABLE ugyfel(ucode INTEGER PRIMARY KEY, name TEXT, torolt TEXT, "
       "rendszamcode INTEGER, alvazszam TEXT);"
       "CREATE TABLE rendszam(rcode INTEGER PRIMARY KEY, rszam TEXT);"
       "CREATE TABLE cim(cimcode INTEGER PRIMARY KEY, iranyitoszam TEXT, varos TEXT, utca TEXT, "
       "hazszam TEXT);"
       "CREATE TABLE cimlink(cimcode INTEGER, code INTEGER, tab INTEGER);"
       "CREATE TABLE telefon(telcode INTEGER PRIMARY KEY, orszag TEXT, korzet TEXT, szam TEXT);"
       "CREATE TABLE telefonlink(telcode INTEGER, code INTEGER, tab INTEGER);"
       "BEGIN");
  Insert(db, "ugyfel", ugyfel);
  Insert(db, "rendszam", rendszam);
  Insert(db, "cim", cim);
  Insert(db, "cimlink", cimlink);
  Insert(db, "telefon", telefon);
  Insert(db, "telefonlink", telefonlink);
  Exec(db,
       "COMMIT; CREATE INDEX ix_ugyfel ON ugyfel(torolt);"
       "CREATE INDEX ix_cimlink ON cimlink(code, tab); CREATE INDEX ix_cimlink2 ON "
       "cimlink(cimcode); CREATE INDEX ix_telefonlink ON telefonlink(code, tab);"
       "CREATE INDEX ix_telefonlink2 ON telefonlink(telcode);");

  const std::vector<std::pair<const char*, const char*>> sourceFields = {
      {"UGYFEL", "UCODE"},   {"UGYFEL", "NAME"},  {"CIM", "VAROS"},     {"CIM", "UTCA"},
      {"TELEFON", "KORZET"}, {"TELEFON", "SZAM"}, {"RENDSZAM", "RSZAM"}};
  const std::vector<std::pair<const char*, const char*>> joinFields = {{"TELEFONLINK", "TELCODE"},
                                                                       {"TELEFONLINK", "CODE"},
                                                                       {"TELEFON", "KORZET"},
                                                                       {"TELEFON", "SZAM"}};

  size_t bytes = 0, sqliteBytes = 0, sourceRows = 0, sqliteSourceRows = 0;
  RdmFileImport runner;
  runner.Attach(&map, false);
  const double select = Seconds([&] { runner.Run(kSourceScript); });
  const double walk = Seconds([&] {
    const char option[] = {4, 0};
    runner.GetResultView()->AddTableOption(option);
    sourceRows = ViewWalk(runner, sourceFields, bytes);
  });
  const double sqliteSource =
      Seconds([&] { sqliteSourceRows = SqliteWalk(db, kSqliteSource, sqliteBytes); });

  size_t joinRows = 0, sqliteJoinRows = 0;
  RdmFileImport joiner;
  joiner.Attach(&map, false);
  const double join = Seconds([&] {
    joiner.Run(kJoinScript);
    joinRows = ViewWalk(joiner, joinFields, bytes);
  });
  const double sqliteJoin =
      Seconds([&] { sqliteJoinRows = SqliteWalk(db, kSqliteJoin, sqliteBytes); });
  sqlite3_close(db);

  std::printf("SQL engine on %zu customers, %zu addresses, %zu telephones (server load %.2f s)\n",
              customers, address, phone, setup);
  std::printf("  source SELECT (build the view, load every table):  %8.3f s (%s)\n", select,
              runner.GetMessage().c_str());
  std::printf("  walk of its rows, fields read as text:             %8.3f s, %zu rows\n", walk,
              sourceRows);
  std::printf("  SQLite: the equivalent left join, stepped:         %8.3f s, %zu rows\n",
              sqliteSource, sqliteSourceRows);
  std::printf("  source SELECT and walk / SQLite:                   %8.1f x\n",
              sqliteSource > 0 ? (select + walk) / sqliteSource : 0.0);
  std::printf("  join of %zu telephone links, select and walk:  %8.3f s, %zu rows\n",
              telefonlink.values.size(), join, joinRows);
  std::printf("  SQLite: the equivalent join, stepped:              %8.3f s, %zu rows\n",
              sqliteJoin, sqliteJoinRows);
  std::printf("  join / SQLite:                                     %8.1f x\n",
              sqliteJoin > 0 ? join / sqliteJoin : 0.0);
  login.Logout();
  return sourceRows == sqliteSourceRows && joinRows == sqliteJoinRows ? 0 : 1;
}
