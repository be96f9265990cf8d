// Kelvimport's import run offscreen on throw-away servers: a cold import of
// 50,000 source customers (an address, a telephone, a plate and two expiry
// dates each), a warm re-run that finds every one known, and a replace run
// with every overwrite option. For each: rows per second and client-library
// calls per row, beside raw SQLite inserting the same destination rows in
// batches of 1000 (the cold run's base) and reading them back (the warm
// run's base), both in the same run.
//
//   kelvimport_bench [--customers N]

#include <sqlite3.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>
#include <sstream>
#include <string>

#include "FncLoader.h"
#include "QorServerTool.h"
#include "ScriptedUi.h"
#include "TForm1.h"
#include "TRdmLogin.h"
#include "TestServer.h"
#include "WinImportPrompts.h"

namespace {

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

void Exec(sqlite3* db, const char* sql) {
  char* error = nullptr;
  if (sqlite3_exec(db, sql, nullptr, nullptr, &error) != SQLITE_OK) {
    std::fprintf(stderr, "kelvimport_bench: sqlite: %s\n", error ? error : "?");
    std::exit(1);
  }
}

// The destination rows of a cold import in plain SQLite tables with the
// same keys, durable as the server's file is, committed every 1000 customers.
struct RawBase {
  Timing insert;
  Timing read;
};

RawBase RawSqlite(const std::string& path, int customers) {
  sqlite3* db = nullptr;
  sqlite3_open(path.c_str(), &db);
  Exec(db, "PRAGMA journal_mode=WAL; PRAGMA synchronous=FULL;");
  Exec(db,
       "CREATE TABLE ugyfel (ugy_id INTEGER PRIMARY KEY, ugy_azon TEXT, ugy_nev TEXT, "
       "ugy_torolt INTEGER, vtk INTEGER, creator INTEGER, created REAL, lastmod INTEGER, "
       "lastmdt REAL);"
       "CREATE INDEX ugyfel_nev ON ugyfel (ugy_nev);"
       "CREATE TABLE ugyfel_import (id INTEGER PRIMARY KEY, ugy_id INTEGER, source_key TEXT, "
       "server_unique TEXT, creator INTEGER, inactive TEXT, created REAL, updated REAL);"
       "CREATE INDEX import_ugy ON ugyfel_import (ugy_id);"
       "CREATE INDEX import_key ON ugyfel_import (source_key, server_unique);"
       "CREATE TABLE cim (cim_id INTEGER PRIMARY KEY, owner INTEGER, tablecode INTEGER, "
       "cimt_id INTEGER, irszam TEXT, telepules TEXT, kozterulet TEXT, hazszam TEXT);"
       "CREATE INDEX cim_owner ON cim (owner, tablecode);"
       "CREATE INDEX cim_ownertip ON cim (owner, tablecode, cimt_id);"
       "CREATE TABLE elerhetoseg (eler_id INTEGER PRIMARY KEY, owner INTEGER, tablecode INTEGER, "
       "elet_id INTEGER, adat TEXT, pref INTEGER, megjegy TEXT);"
       "CREATE INDEX eler_elet ON elerhetoseg (elet_id);"
       "CREATE INDEX eler_owner ON elerhetoseg (owner, tablecode);"
       "CREATE INDEX eler_ownertip ON elerhetoseg (owner, tablecode, elet_id);"
       "CREATE TABLE ugyfel_datum (id INTEGER PRIMARY KEY, ugyfel_id INTEGER, tip INTEGER, "
       "datum REAL, data00 TEXT, data01 TEXT);"
       "CREATE INDEX datum_ugyfel ON ugyfel_datum (ugyfel_id);"
       "CREATE INDEX datum_tip ON ugyfel_datum (tip);");
  const char* inserts[] = {
      "INSERT INTO ugyfel VALUES (?1, '', 'Ügyfél ' || ?1, 0, 4711, 1, 20251210120000, 1, "
      "20251210120000)",
      "INSERT INTO ugyfel_import VALUES (?1, ?1, '1234567812345678', 'kelvado.qdb_1_KELVREG01', "
      "1, 'N', 20251210120000, 20251210120000)",
      "INSERT INTO cim VALUES (?1, ?1, 2, 1, '1234', 'Budapest', 'Fő utca', ?1)",
      "INSERT INTO elerhetoseg VALUES (?1, ?1, 2, 6, '(+36)30/100-00-00:', 0, "
      "'Kelvado6 importból.')",
      "INSERT INTO ugyfel_datum VALUES (2 * ?1, ?1, 2, 20250101000000, 'PLT-' || ?1, 'VIN' || ?1)",
      "INSERT INTO ugyfel_datum VALUES (2 * ?1 + 1, ?1, 4, 20260101000000, 'PLT-' || ?1, "
      "'VIN' || ?1)",
  };
  std::vector<sqlite3_stmt*> statements;
  for (const char* sql : inserts) {
    sqlite3_stmt* s = nullptr;
    sqlite3_prepare_v2(db, sql, -1, &s, nullptr);
    statements.push_back(s);
  }
  RawBase base;
  base.insert = Measure([&] {
    Exec(db, "BEGIN IMMEDIATE");
    for (int i = 1; i <= customers; ++i) {
      for (sqlite3_stmt* s : statements) {
        sqlite3_bind_int(s, 1, i);
        sqlite3_step(s);
        sqlite3_reset(s);
      }
      if (i % 1000 == 0) Exec(db, "COMMIT; BEGIN IMMEDIATE");
    }
    Exec(db, "COMMIT");
  });
  for (sqlite3_stmt* s : statements) sqlite3_finalize(s);
  long long sink = 0;
  base.read = Measure([&] {
    for (const char* sql :
         {"SELECT * FROM ugyfel", "SELECT * FROM ugyfel_import", "SELECT * FROM cim",
          "SELECT * FROM elerhetoseg", "SELECT * FROM ugyfel_datum"}) {
      sqlite3_stmt* s = nullptr;
      sqlite3_prepare_v2(db, sql, -1, &s, nullptr);
      while (sqlite3_step(s) == SQLITE_ROW)
        for (int c = 0; c < sqlite3_column_count(s); ++c)
          sink += sqlite3_column_bytes(s, c) + (sqlite3_column_text(s, c) ? 1 : 0);
      sqlite3_finalize(s);
    }
  });
  if (sink == 0) std::fprintf(stderr, "kelvimport_bench: the raw read found nothing\n");
  sqlite3_close(db);
  return base;
}

int TakeOption(int& argc, char** argv, const char* name, int fallback) {
  for (int i = 1; i + 1 < argc; ++i) {
    if (std::strcmp(argv[i], name) != 0) continue;
    const int value = std::atoi(argv[i + 1]);
    for (int j = i; j + 2 <= argc; ++j) argv[j] = argv[j + 2];
    argc -= 2;
    return value;
  }
  return fallback;
}

}  // namespace

int main(int argc, char** argv) {
  const int customers = TakeOption(argc, argv, "--customers", 50000);
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

  const RawBase raw = RawSqlite(dest.Folder() + "/raw.sqlite", customers);
  std::printf("raw SQLite: insert %.2f s CPU (%.2f s wall), read %.2f s CPU (%.2f s wall)\n",
              raw.insert.cpu, raw.insert.wall, raw.read.cpu, raw.read.wall);
  struct Run {
    const char* name;
    bool replace;
    Timing base;
    const char* baseName;
  };
  const Run runs[] = {{"cold import", false, raw.insert, "raw insert"},
                      {"warm re-run", false, raw.read, "raw read"},
                      {"replace run", true, raw.insert, "raw insert"}};
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
        "%.1fx the %s in CPU (%.1fx in wall time)%s\n",
        run.name, t.cpu, t.wall, customers / t.cpu, double(g_calls) / customers,
        t.cpu / run.base.cpu, run.baseName, t.wall / run.base.wall,
        ok ? "" : " (the run did not succeed)");
    std::fflush(stdout);
  }
  return 0;
}
