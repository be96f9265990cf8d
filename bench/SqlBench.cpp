// The client-side SQL engine on a throw-away source server: the import's
// source SELECT over 20,000 customers with their addresses, plates and
// telephones walked row by row, and a two-table join over 108,000 telephone
// links. Each is set beside SQLite stepping the equivalent left join twice:
// over the server's own tables (record images joined on their key columns,
// the fields taken out of the images) and over plain tables of its own, with
// the ratio to each. Every figure is the median of three rounds.
//
//   sql_bench [--customers N] [--phones-per-customer N]

#include <sqlite3.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "BenchUtil.h"
#include "DbDescMap.h"
#include "DictModel.h"
#include "RdmFileImport.h"
#include "ScriptedUi.h"
#include "ServerFile.h"
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

// The same two joins over the server's own tables: record index r of
// database 20 is table t20_<r>, a key field is the column k<n> of its
// dictionary's key column n, and every field is read out of the images.
struct ServerTables {
  qordb::DictModel dict;
  std::string source, join;
};

// image_l(img, offset): the little-endian 32-bit integer at offset of an image.
void ImageL(sqlite3_context* context, int, sqlite3_value** args) {
  const auto* img = static_cast<const unsigned char*>(sqlite3_value_blob(args[0]));
  const int offset = sqlite3_value_int(args[1]);
  if (!img || offset < 0 || offset + 4 > sqlite3_value_bytes(args[0]))
    return sqlite3_result_null(context);
  int32_t v;
  std::memcpy(&v, img + offset, 4);
  sqlite3_result_int(context, v);
}

ServerTables ServerJoins(sqlite3* db) {
  sqlite3_create_function(db, "image_l", 2, SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr, ImageL,
                          nullptr, nullptr);
  const std::vector<char> image = qordb::LoadImage(db, 20);
  ServerTables t{qordb::DictModel::Parse(image.data(), image.size()), "", ""};
  auto table = [&](const char* record) {
    return qordb::RecordTableName(20, t.dict.RecordByName(record));
  };
  auto field = [&](const char* record,
                   const char* name) -> std::pair<const qordb::RecordModel*, int> {
    const qordb::RecordModel& rec = t.dict.records[size_t(t.dict.RecordByName(record))];
    return {&rec, rec.FieldByName(name)};
  };
  auto k = [&](const char* alias, const char* record, const char* name) {
    const auto [rec, p] = field(record, name);
    return std::string(alias) + ".k" + std::to_string(rec->keyColumn[size_t(p)]);
  };
  // A field that has no key column, read out of the image as the engine reads it.
  auto imageInteger = [&](const char* alias, const char* record, const char* name) {
    const auto [rec, p] = field(record, name);
    return "image_l(" + std::string(alias) + ".img, " +
           std::to_string(rec->fields[size_t(p)].offset) + ")";
  };
  t.source = "SELECT u.img, c.img, t.img, r.img FROM " + table("UGYFEL") + " u LEFT JOIN " +
             table("CIMLINK") + " cl ON " + k("cl", "CIMLINK", "CODE") + " = " +
             k("u", "UGYFEL", "UCODE") + " AND " + k("cl", "CIMLINK", "TABLE") + " = 1 LEFT JOIN " +
             table("CIM") + " c ON " + k("c", "CIM", "CIMCODE") + " = " +
             k("cl", "CIMLINK", "CIMCODE") + " LEFT JOIN " + table("RENDSZAM") + " r ON " +
             k("r", "RENDSZAM", "RCODE") + " = " + imageInteger("u", "UGYFEL", "RENDSZAMCODE") +
             " LEFT JOIN " + table("TELEFONLINK") + " tl ON " + k("tl", "TELEFONLINK", "CODE") +
             " = " + k("u", "UGYFEL", "UCODE") + " AND " + k("tl", "TELEFONLINK", "TABLE") +
             " = 1 LEFT JOIN " + table("TELEFON") + " t ON " + k("t", "TELEFON", "TELCODE") +
             " = " + k("tl", "TELEFONLINK", "TELCODE") + " WHERE " + k("u", "UGYFEL", "TOROLT") +
             " = 0 ORDER BY u.rid, cl.rid, tl.rid";
  t.join = "SELECT tl.img, t.img FROM " + table("TELEFONLINK") + " tl LEFT JOIN " +
           table("TELEFON") + " t ON " + k("t", "TELEFON", "TELCODE") + " = " +
           k("tl", "TELEFONLINK", "TELCODE") + " ORDER BY tl.rid";
  return t;
}

using bench::Exec;
using bench::Median;
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

void Insert(sqlite3* db, const char* table, const Rows& rows) {
  std::string sql = std::string("INSERT INTO ") + table + " VALUES (?";
  for (size_t i = 1; i < rows.values.front().size(); ++i) sql += ", ?";
  sql += ")";
  sqlite3_stmt* st = bench::Prepare(db, sql);
  for (const auto& row : rows.values) {
    for (size_t i = 0; i < row.size(); ++i)
      sqlite3_bind_text(st, int(i + 1), row[i].c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_step(st);
    sqlite3_reset(st);
  }
  sqlite3_finalize(st);
}

// Steps a join over the server's tables and reads the named fields as text
// out of the images; the query's columns are the images of the records in
// the order the fields name them.
size_t ServerWalk(sqlite3* db, const ServerTables& t, const std::string& sql,
                  const std::vector<std::pair<const char*, const char*>>& columnFields,
                  size_t& bytes) {
  struct Read {
    int column;
    const qordb::FieldModel* field;
  };
  std::vector<Read> reads;
  std::vector<std::string> records;  // per column, in the query's column order
  for (const auto& [record, name] : columnFields) {
    if (records.empty() || records.back() != record) records.push_back(record);
    const qordb::RecordModel& rec = t.dict.records[size_t(t.dict.RecordByName(record))];
    reads.push_back({int(records.size()) - 1, &rec.fields[size_t(rec.FieldByName(name))]});
  }
  qordb::Stmt st(db, sql);
  size_t rows = 0;
  while (sqlite3_step(st.get()) == SQLITE_ROW) {
    ++rows;
    for (const Read& r : reads) {
      const char* img = static_cast<const char*>(sqlite3_column_blob(st.get(), r.column));
      if (img) bytes += qordb::FieldText(*r.field, img).size();
    }
  }
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

  // The server's own tables, on a connection opened the way the server
  // opens its own.
  sqlite3* serverDb = qordb::OpenServerFile(server.Path(), false);
  const ServerTables tables = ServerJoins(serverDb);

  // Three rounds of every measurement, side by side, each figure the median
  // of its three: a busy machine disturbs one round, not the figures.
  constexpr int kRounds = 3;
  size_t bytes = 0, sqliteBytes = 0;
  size_t sourceRows = 0, sqliteSourceRows = 0, serverSourceRows = 0;
  size_t joinRows = 0, sqliteJoinRows = 0, serverJoinRows = 0;
  std::vector<double> selects, walks, sqliteSources, serverSources, joins, sqliteJoins, serverJoins;
  RdmFileImport runner, joiner;
  runner.Attach(&map, false);
  joiner.Attach(&map, false);
  for (int round = 0; round < kRounds; ++round) {
    selects.push_back(Seconds([&] { runner.Run(kSourceScript); }));
    walks.push_back(Seconds([&] {
      const char option[] = {4, 0};
      runner.GetResultView()->AddTableOption(option);
      sourceRows = ViewWalk(runner, sourceFields, bytes);
    }));
    sqliteSources.push_back(
        Seconds([&] { sqliteSourceRows = bench::ReadQuery(db, kSqliteSource, sqliteBytes); }));
    serverSources.push_back(Seconds([&] {
      serverSourceRows = ServerWalk(serverDb, tables, tables.source, sourceFields, sqliteBytes);
    }));
    joins.push_back(Seconds([&] {
      joiner.Run(kJoinScript);
      joinRows = ViewWalk(joiner, joinFields, bytes);
    }));
    sqliteJoins.push_back(
        Seconds([&] { sqliteJoinRows = bench::ReadQuery(db, kSqliteJoin, sqliteBytes); }));
    serverJoins.push_back(Seconds([&] {
      serverJoinRows = ServerWalk(serverDb, tables, tables.join, joinFields, sqliteBytes);
    }));
  }
  sqlite3_close(db);
  sqlite3_close_v2(serverDb);
  const double select = Median(selects), walk = Median(walks), sqliteSource = Median(sqliteSources),
               serverSource = Median(serverSources), join = Median(joins),
               sqliteJoin = Median(sqliteJoins), serverJoin = Median(serverJoins);

  auto time = [](const std::string& what, double seconds, size_t rows) {
    std::printf("  %-58s %8.3f s, %zu rows\n", what.c_str(), seconds, rows);
  };
  auto ratio = [](const char* what, double a, double b) {
    std::printf("  %-58s %8.1f x\n", what, b > 0 ? a / b : 0.0);
  };
  std::printf("SQL engine on %zu customers, %zu addresses, %zu telephones (server load %.2f s)\n",
              customers, address, phone, setup);
  std::printf("  %-58s %8.3f s (%s)\n", "source SELECT (build the view, load every table)", select,
              runner.GetMessage().c_str());
  time("walk of its rows, fields read as text", walk, sourceRows);
  time("SQLite left join, server's tables, fields from the images", serverSource, serverSourceRows);
  time("SQLite left join, plain tables, columns read as text", sqliteSource, sqliteSourceRows);
  ratio("source SELECT and walk / SQLite on the server's tables", select + walk, serverSource);
  ratio("source SELECT and walk / SQLite on plain tables", select + walk, sqliteSource);
  time("join of " + std::to_string(telefonlink.values.size()) + " telephone links, select and walk",
       join, joinRows);
  time("SQLite join, server's tables, fields from the images", serverJoin, serverJoinRows);
  time("SQLite join, plain tables, columns read as text", sqliteJoin, sqliteJoinRows);
  ratio("join / SQLite on the server's tables", join, serverJoin);
  ratio("join / SQLite on plain tables", join, sqliteJoin);
  login.Logout();
  return sourceRows == sqliteSourceRows && sourceRows == serverSourceRows &&
                 joinRows == sqliteJoinRows && joinRows == serverJoinRows
             ? 0
             : 1;
}
