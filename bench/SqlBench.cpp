// The client-side SQL engine on a throw-away source server: the import's
// source SELECT over 20,000 customers with their addresses, plates and
// telephones walked row by row, and a two-table join over 108,000 telephone
// links. Each is set beside SQLite stepping the equivalent left join twice:
// over the server's own tables (record images joined on their key columns,
// the fields taken out of the images) and over plain tables of its own, with
// the ratio to each. Every figure is the median of three rounds, and in each
// the sides' walked rows are compared field for field.
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
    bench::Run(st);
  }
  sqlite3_finalize(st);
}

// What a walk read: each row's fields as text, tab-separated, a line a row
// (an absent child's fields as empty texts). Each side's walk writes its
// rows into one, so that the sides' rows can be compared afterwards.
struct Walked {
  std::string text;
  size_t rows = 0;

  void Start() {
    text.clear();
    text.reserve(size_t(1) << 24);
    rows = 0;
  }
  void Field(size_t i, const char* value, size_t size) {
    if (i > 0) text += '\t';
    text.append(value, size);
  }
  void EndRow() {
    text += '\n';
    ++rows;
  }
  std::vector<std::string> Lines() const {
    std::vector<std::string> lines;
    for (size_t at = 0, end; at < text.size(); at = end + 1) {
      end = text.find('\n', at);
      lines.push_back(text.substr(at, end - at));
    }
    return lines;
  }
};

// Steps a join over the server's tables and reads the named fields as text
// out of the images; the query's columns are the images of the records in
// the order the fields name them.
void ServerWalk(sqlite3* db, const ServerTables& t, const std::string& sql,
                const std::vector<std::pair<const char*, const char*>>& columnFields,
                Walked& walked) {
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
  walked.Start();
  while (bench::Step(st.get())) {
    for (size_t i = 0; i < reads.size(); ++i) {
      const char* img = static_cast<const char*>(sqlite3_column_blob(st.get(), reads[i].column));
      const std::string value = img ? qordb::FieldText(*reads[i].field, img) : std::string();
      walked.Field(i, value.data(), value.size());
    }
    walked.EndRow();
  }
}

// Steps a query over the plain tables and reads every column as text.
void PlainWalk(sqlite3* db, const char* sql, Walked& walked) {
  sqlite3_stmt* st = bench::Prepare(db, sql);
  walked.Start();
  while (bench::Step(st)) {
    for (int c = 0, n = sqlite3_column_count(st); c < n; ++c) {
      const char* value = reinterpret_cast<const char*>(sqlite3_column_text(st, c));
      walked.Field(size_t(c), value ? value : "", size_t(sqlite3_column_bytes(st, c)));
    }
    walked.EndRow();
  }
  sqlite3_finalize(st);
}

// Walks the runner's view and reads the named fields of every row as text.
void ViewWalk(RdmFileImport& runner, const std::vector<std::pair<const char*, const char*>>& fields,
              Walked& walked) {
  RdmView* view = runner.GetResultView();
  std::vector<RdmFld*> values;
  for (const auto& [table, field] : fields)
    values.push_back(&view->GetTable(table)->GetField(field));
  walked.Start();
  while (view->Next()) {
    for (size_t i = 0; i < values.size(); ++i) {
      const char* value = values[i]->GetText();
      walked.Field(i, value, std::strlen(value));
    }
    walked.EndRow();
  }
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
  sqlite3* db = bench::Open(server.Folder() + "/plain.sqlite");
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
  Walked source, sqliteSource, serverSource, join, sqliteJoin, serverJoin;
  std::vector<double> selects, walks, sqliteSources, serverSources, joins, sqliteJoins, serverJoins;
  RdmFileImport runner, joiner;
  runner.Attach(&map, false);
  joiner.Attach(&map, false);
  // Each round's walks side by side: the same rows, field for field.
  bool same = true;
  auto compare = [&](const char* what, const Walked& program, const Walked& raw) {
    bench::Compare(what, program.Lines(), raw.Lines(), same);
  };
  for (int round = 0; round < kRounds; ++round) {
    selects.push_back(Seconds([&] { runner.Run(kSourceScript); }));
    walks.push_back(Seconds([&] {
      const char option[] = {4, 0};
      runner.GetResultView()->AddTableOption(option);
      ViewWalk(runner, sourceFields, source);
    }));
    sqliteSources.push_back(Seconds([&] { PlainWalk(db, kSqliteSource, sqliteSource); }));
    serverSources.push_back(
        Seconds([&] { ServerWalk(serverDb, tables, tables.source, sourceFields, serverSource); }));
    joins.push_back(Seconds([&] {
      joiner.Run(kJoinScript);
      ViewWalk(joiner, joinFields, join);
    }));
    sqliteJoins.push_back(Seconds([&] { PlainWalk(db, kSqliteJoin, sqliteJoin); }));
    serverJoins.push_back(
        Seconds([&] { ServerWalk(serverDb, tables, tables.join, joinFields, serverJoin); }));
    compare("source SELECT, SQLite on the server's tables", source, serverSource);
    compare("source SELECT, SQLite on plain tables", source, sqliteSource);
    compare("join, SQLite on the server's tables", join, serverJoin);
    compare("join, SQLite on plain tables", join, sqliteJoin);
  }
  sqlite3_close(db);
  sqlite3_close_v2(serverDb);
  const double select = Median(selects), walk = Median(walks),
               sqliteSourceTime = Median(sqliteSources), serverSourceTime = Median(serverSources),
               joinTime = Median(joins), sqliteJoinTime = Median(sqliteJoins),
               serverJoinTime = Median(serverJoins);

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
  time("walk of its rows, fields read as text", walk, source.rows);
  time("SQLite left join, server's tables, fields from the images", serverSourceTime,
       serverSource.rows);
  time("SQLite left join, plain tables, columns read as text", sqliteSourceTime, sqliteSource.rows);
  ratio("source SELECT and walk / SQLite on the server's tables", select + walk, serverSourceTime);
  ratio("source SELECT and walk / SQLite on plain tables", select + walk, sqliteSourceTime);
  time("join of " + std::to_string(telefonlink.values.size()) + " telephone links, select and walk",
       joinTime, join.rows);
  time("SQLite join, server's tables, fields from the images", serverJoinTime, serverJoin.rows);
  time("SQLite join, plain tables, columns read as text", sqliteJoinTime, sqliteJoin.rows);
  ratio("join / SQLite on the server's tables", joinTime, serverJoinTime);
  ratio("join / SQLite on plain tables", joinTime, sqliteJoinTime);
  std::printf("  %-58s %s\n", "walked rows, field for field, every round",
              same ? "the same on every side" : "DIFFERENT (see above)");
  login.Logout();
  return same ? 0 : 1;
}
