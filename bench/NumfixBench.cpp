// Numfix on a server of 200,000 type-6 contacts, offscreen: the load and
// classification into the window, the write-back of 50,000 marked repairs,
// each beside plain SQLite doing the same storage work on the same server file
// (the rows read in the server's order with the fields the window needs; the
// same rows given the same new values in one transaction, on a copy of the
// server file made before the program opened it, before the program's
// write-back and on a cold page cache, every record's image compared with the
// program's afterwards), and the classification alone in numbers per second.
//
//   numfix_bench [--contacts N] [--repairs N] [Google Benchmark options]

#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <QApplication>
#include <QTreeView>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "BenchUtil.h"
#include "DictModel.h"
#include "IniReader.h"
#include "NumberTemplates.h"
#include "NumfixPrompts.h"
#include "RdmNumfixData.h"
#include "ScriptedUi.h"
#include "ServerFile.h"
#include "TForm1.h"
#include "TestServer.h"

namespace {

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string DemoFile(const char* name) {
  return ReadFile(std::string(NUMFIX_DEMO_DIR) + "/" + name);
}

// Stored numbers in the shapes the demo meets: most need a template repair.
std::vector<std::string> MakeNumbers(size_t count) {
  std::mt19937 rng(20261210);
  auto digits = [&](int n) {
    std::string s;
    for (int i = 0; i < n; ++i) s += char('0' + rng() % 10);
    return s;
  };
  const char* areas[] = {"20", "30", "70", "31", "50"};
  std::vector<std::string> out;
  out.reserve(count);
  for (size_t i = 0; i < count; ++i) {
    const std::string area = areas[rng() % 5];
    const std::string n = digits(7);
    const std::string hy = n.substr(0, 3) + "-" + n.substr(3, 2) + "-" + n.substr(5, 2);
    switch (i % 10) {
      case 0:
      case 1:
      case 2:
        out.push_back("(36)" + area + "/" + hy + ":");
        break;
      case 3:
        out.push_back("06" + area + "/" + n);
        break;
      case 4:
        out.push_back("06 " + area + " " + n.substr(0, 3) + " " + n.substr(3));
        break;
      case 5:
        out.push_back("+36" + area + n);
        break;
      case 6:
      case 7:
        out.push_back("(+36)" + area + "/" + hy + ":");
        break;
      case 8:
        out.push_back("(36)" + area + "/" + hy + ":" + digits(2));
        break;
      default:
        out.push_back(area + "/" + n);
        break;  // no template
    }
  }
  return out;
}

struct QuietPrompts : NumfixPrompts {
  std::vector<std::string> messages;
  void ShowMessage(const std::string& text) override { messages.push_back(text); }
  void TopMostBox(const std::string& text, const std::string&) override {
    messages.push_back(text);
  }
  std::time_t Now() override { return std::time(nullptr); }
};

// Answers the next login dialog: user, password, configuration, OK.
void QueueLogin(win::ScriptedUi& ui) {
  ui.QueueDialog([](win::DialogDriver& d) {
    d.Replace(985, "demo");
    d.Replace(986, "demo");
    d.Choose(987, "VOVDEMO");
    d.Press(1);
  });
}

using Clock = std::chrono::steady_clock;

double Between(Clock::time_point from, Clock::time_point to) {
  return std::chrono::duration<double>(to - from).count();
}

template <class F>
double Seconds(F&& f) {
  const auto start = Clock::now();
  f();
  return Between(start, Clock::now());
}

// The program's own database access, counting the rows the write-back
// rewrote, the time it spent in the client library, and when the reload that
// ends it begins.
class TimedNumfixData : public RdmNumfixData {
 public:
  size_t rewritten = 0;
  Clock::time_point reloadStart;
  double writeCalls = 0;  // seconds in the transaction, find and update calls

  void ReadContacts(const std::function<void(const Contact&)>& each) override {
    reloadStart = Clock::now();
    RdmNumfixData::ReadContacts(each);
  }
  void BeginTransaction(const std::string& name) override {
    writeCalls = 0;
    InLibrary([&] { RdmNumfixData::BeginTransaction(name); });
  }
  void EndTransaction(bool commit) override {
    InLibrary([&] { RdmNumfixData::EndTransaction(commit); });
  }
  bool FindContact(long elerId, std::string& value) override {
    return InLibrary([&] { return RdmNumfixData::FindContact(elerId, value); });
  }
  bool UpdateContact(const std::string& value, long& elerIdNow, std::string& valueNow) override {
    if (!InLibrary([&] { return RdmNumfixData::UpdateContact(value, elerIdNow, valueNow); }))
      return false;
    ++rewritten;
    return true;
  }

 private:
  template <class F>
  auto InLibrary(F&& f) -> decltype(f()) {
    const auto start = Clock::now();
    struct Add {
      double& to;
      Clock::time_point start;
      ~Add() { to += Between(start, Clock::now()); }
    } add{writeCalls, start};
    return f();
  }
};

// ELERHETOSEG straight from the server file, through a connection opened the
// way the server opens its own (same journal and synchronous settings).
class PlainContacts {
 public:
  explicit PlainContacts(const std::string& path)
      : db_(qordb::OpenServerFile(path, false)),
        record_(bench::FindRecord(db_, "ALAP", "ELERHETOSEG")),
        id_(record_.FieldModel("ELER_ID")),
        type_(record_.FieldModel("ELET_ID")),
        tableCode_(record_.FieldModel("ELER_TABLECODE")),
        adat_(record_.FieldModel("ELER_ADAT")),
        idColumn_("k" + std::to_string(record_.rec.keyColumn[size_t(record_.Field("ELER_ID"))])) {}
  ~PlainContacts() { sqlite3_close_v2(db_); }

  // Every record in the order GetAllRec hands them out (insertion order),
  // the window's fields taken out of the image; the records the window
  // skips are left out, as the client library's reader leaves them out.
  void Read(const std::function<void(const NumfixData::Contact&)>& each) {
    qordb::Stmt s(db_, "SELECT img FROM " + record_.table + " ORDER BY rid");
    NumfixData::Contact c;
    while (bench::Step(s.get())) {
      const char* img = static_cast<const char*>(sqlite3_column_blob(s.get(), 0));
      c.eletId = long(qordb::FieldInteger(type_, img));
      c.tableCode = long(qordb::FieldInteger(tableCode_, img));
      if (c.eletId != 6 || c.tableCode == 0) continue;
      c.elerId = long(qordb::FieldInteger(id_, img));
      const char* text = img + adat_.offset;
      c.adat.assign(text, strnlen(text, size_t(adat_.length)));
      each(c);
    }
  }

  // What the write-back does to each row, in one transaction: find the
  // record by ELER_ID, take its ELER_ADAT (the log line's old value), put
  // the new value into its image and store it (the record's key columns
  // stay as they are). The commit checkpoints as the server's own commit
  // does: the connection is opened with the server's settings. Every id is
  // one the program finds, so a missing record ends the benchmark.
  void Rewrite(const std::vector<long>& elerIds, const std::vector<std::string>& values) {
    bench::Exec(db_, "BEGIN IMMEDIATE");
    qordb::Stmt find(db_, "SELECT rid, img FROM " + record_.table + " WHERE " + idColumn_ + " = ?");
    qordb::Stmt update(db_, "UPDATE " + record_.table + " SET img = ? WHERE rid = ?");
    std::vector<char> img(size_t(record_.rec.imageLength));
    std::string old;
    for (size_t i = 0; i < elerIds.size(); ++i) {
      sqlite3_bind_int64(find.get(), 1, elerIds[i]);
      if (!bench::Step(find.get()))
        bench::Fail("numfix_bench: the raw rewrite found no contact " + std::to_string(elerIds[i]));
      std::memcpy(img.data(), sqlite3_column_blob(find.get(), 1), img.size());
      char* text = img.data() + adat_.offset;
      old.assign(text, strnlen(text, size_t(adat_.length)));
      std::memset(text, 0, size_t(adat_.length));
      std::memcpy(text, values[i].data(), std::min(values[i].size(), size_t(adat_.length - 1)));
      sqlite3_bind_blob(update.get(), 1, img.data(), int(img.size()), SQLITE_STATIC);
      sqlite3_bind_int64(update.get(), 2, sqlite3_column_int64(find.get(), 0));
      bench::Run(update.get());
      if (sqlite3_changes(db_) != 1) bench::Fail("numfix_bench: a raw rewrite changed no row");
      sqlite3_reset(find.get());
    }
    bench::Exec(db_, "COMMIT");
  }

  // Every record of the table, each its fields as text, in insertion order.
  std::vector<std::string> Images() { return bench::ImageRows(db_, record_.table, record_.rec); }

 private:
  sqlite3* db_;
  const bench::ServerRecord record_;
  const qordb::FieldModel id_, type_, tableCode_, adat_;
  const std::string idColumn_;
};

std::vector<std::string> g_numbers;
NumberTemplates* g_templates = nullptr;

void BM_Classify(benchmark::State& state) {
  std::string caption, description, suggestion;
  size_t i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(
        g_templates->ClassifyNumber(g_numbers[i], caption, description, suggestion));
    if (++i == g_numbers.size()) i = 0;
  }
  state.SetItemsProcessed(int64_t(state.iterations()));
}
BENCHMARK(BM_Classify);

using bench::TakeOption;

// The window's own phases (load, mark and unmark all, mark and unmark a kind)
// run first at several sizes, to show how each grows: --sizes N,N,...
// ("25000,50000" gives {25000, 50000}).
std::vector<size_t> TakeSizes(int& argc, char** argv, const char* name, const char* fallback) {
  const char* text = fallback;
  for (int i = 1; i + 1 < argc; ++i) {
    if (std::strcmp(argv[i], name) != 0) continue;
    text = argv[i + 1];
    for (int j = i; j + 2 <= argc; ++j) argv[j] = argv[j + 2];
    argc -= 2;
    break;
  }
  std::vector<size_t> sizes;
  for (char* end = nullptr; *text; text = *end ? end + 1 : end) {
    const size_t size = std::strtoul(text, &end, 10);
    if (end == text) break;
    if (size > 0) sizes.push_back(size);
  }
  return sizes;
}

// Makes the server the way the demo is made: its three databases, the demo user
// and client configuration, the demo templates in its folder, and `numbers` as
// type-6 contacts, two per customer; `load` is the time the contacts took to
// load.
void FillServer(QorTestServer& server, const std::vector<std::string>& numbers, double& load) {
  for (const char* db : {"DEVUDAVARER", "UGYFEL", "ALAP"}) {
    server.AddDatabase(DemoFile((std::string("destination/") + db + ".schema").c_str()));
  }
  server.AddUser("DEMO", "DEMO");
  QorClientConfig client;
  client.name = "VOVDEMO";
  server.AddClient(client);
  server.WriteFile("SMS_tel_sablon.ini", DemoFile("SMS_tel_sablon.ini"));
  std::string tsv = "ELER_ID\tELER_OWNER\tELER_TABLECODE\tELET_ID\tELER_ADAT\n";
  for (size_t i = 0; i < numbers.size(); ++i)
    tsv +=
        std::to_string(i + 1) + "\t" + std::to_string(i / 2 + 1) + "\t2\t6\t" + numbers[i] + "\n";
  load = Seconds([&] { server.Load("ALAP", "ELERHETOSEG", tsv); });
}

struct WindowPhases {
  int listed = 0;
  int marked = 0;     // by mark all
  int kindItems = 0;  // marked by mark kind
  double load = 0, markAll = 0, cancelAll = 0, markKind = 0, cancelKind = 0;
};

int CountMarked(const TForm1& form) {
  int marked = 0;
  for (int i = 0; i < form.ItemCount(); ++i) marked += TForm1::IsMarked(form.Item(i));
  return marked;
}

// The window's own phases on a server of `contacts` contacts: the load into
// the list, marking and unmarking all, and marking and unmarking the kind of
// the first item (the import's shape, the largest kind).
bool TimeWindowPhases(size_t contacts, WindowPhases& out) {
  QorTestServer server("vovsizes.qdb");
  double setup = 0;
  FillServer(server, MakeNumbers(contacts), setup);
  const auto oldDir = std::filesystem::current_path();
  std::filesystem::current_path(server.Folder());
  win::ScriptedUi ui;
  win::ScopedUiBackend installed(ui);
  QueueLogin(ui);
  auto form = std::make_unique<TForm1>(nullptr, std::make_unique<RdmNumfixData>(),
                                       std::make_unique<QuietPrompts>());
  const bool opened = !form->ExitRequested();
  if (opened) {
    // Shown, and each phase until the window has repainted, as an operator waits for it.
    form->show();
    QCoreApplication::processEvents();
    auto run = [&](QAction* action) {
      return Seconds([&] {
        form->Execute(action);
        QCoreApplication::processEvents();
      });
    };
    out.load = run(form->aGetRecordList);
    out.listed = form->ItemCount();
    out.markAll = run(form->aRepairAll);
    out.marked = CountMarked(*form);
    out.cancelAll = run(form->aCancelAll);
    form->ListView1->setCurrentIndex(form->IndexOf(form->Item(0)));
    QCoreApplication::processEvents();
    out.markKind = run(form->aRepairThisKind);
    out.kindItems = CountMarked(*form);
    out.cancelKind = run(form->aCancelThisKind);
  }
  form.reset();
  std::filesystem::current_path(oldDir);
  return opened;
}

void PrintWindowPhases(const std::vector<size_t>& sizes) {
  if (sizes.empty()) return;
  std::printf("Numfix window phases by size (each on a server of its own):\n");
  std::printf("  %9s %8s %8s %9s %8s %10s %9s %8s %10s\n", "contacts", "listed", "load s",
              "mark all", "ns/item", "unmark all", "mark kind", "items", "unmark kind");
  for (size_t contacts : sizes) {
    WindowPhases w;
    if (!TimeWindowPhases(contacts, w)) {
      std::printf("  %9zu  the login failed\n", contacts);
      continue;
    }
    std::printf("  %9zu %8d %8.3f %9.4f %8.1f %10.4f %9.4f %8d %10.4f%s\n", contacts, w.listed,
                w.load, w.markAll, w.listed ? w.markAll * 1e9 / w.listed : 0.0, w.cancelAll,
                w.markKind, w.kindItems, w.cancelKind,
                w.marked > 0 && w.kindItems > 0 ? "" : "  (NOTHING MARKED)");
    std::fflush(stdout);
  }
}

}  // namespace

int main(int argc, char** argv) {
  const size_t contacts = TakeOption(argc, argv, "--contacts", 200000);
  const size_t repairs = TakeOption(argc, argv, "--repairs", 50000);
  const std::vector<size_t> sizes =
      TakeSizes(argc, argv, "--sizes", "25000,50000,100000,200000,400000");
  ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QApplication app(argc, argv);

  // First, as each size needs a server of its own and only one lives at a time.
  PrintWindowPhases(sizes);

  QorTestServer server("vovbench.qdb");
  g_numbers = MakeNumbers(contacts);
  double setup = 0;
  FillServer(server, g_numbers, setup);
  for (std::string& n : g_numbers) n = NumberTemplates::StripBlanks(n);
  // Before the program opens the server, for the raw rewrite (a rewrite
  // with unchanged values would store nothing).
  const std::string rawCopy = bench::CopyServerFile(server.Path());

  const auto oldDir = std::filesystem::current_path();
  std::filesystem::current_path(server.Folder());

  win::ScriptedUi ui;
  win::ScopedUiBackend installed(ui);
  QueueLogin(ui);
  auto* prompts = new QuietPrompts;
  auto* data = new TimedNumfixData;
  std::unique_ptr<TForm1> form;
  const double open = Seconds([&] {
    form = std::make_unique<TForm1>(nullptr, std::unique_ptr<NumfixData>(data),
                                    std::unique_ptr<NumfixPrompts>(prompts));
  });
  if (form->ExitRequested()) {
    std::fprintf(stderr, "numfix_bench: the login failed\n");
    return 1;
  }
  const int listed = form->ItemCount();
  const double load = Seconds([&] { form->Execute(form->aGetRecordList); });

  // The same rows through the client library alone, on a connection of its own.
  QueueLogin(ui);
  RdmNumfixData library;
  library.Connect();
  size_t read = 0;
  const double libraryRead = Seconds([&] {
    library.ReadContacts([&](const NumfixData::Contact& c) { read += c.adat.size() > 0; });
  });
  library.Logout();

  // The same rows straight from the server's SQLite file: read alone, and
  // read with the window's own classification of every contact.
  IniReader ini;
  ini.SetText(DemoFile("SMS_tel_sablon.ini"));
  NumberTemplates templates;
  templates.Load(ini);
  PlainContacts plainContacts(server.Path());
  size_t rows = 0, classified = 0;
  const double plain = Seconds([&] {
    plainContacts.Read([&](const NumfixData::Contact& c) { rows += c.adat.size() > 0; });
  });
  const double plainClassify = Seconds([&] {
    std::string caption, description, suggestion;
    plainContacts.Read([&](const NumfixData::Contact& c) {
      classified += templates.ClassifyNumber(NumberTemplates::StripBlanks(c.adat), caption,
                                             description, suggestion);
    });
  });

  size_t marked = 0;
  std::vector<long> markedIds;
  std::vector<std::string> markedValues;
  for (int i = 0; i < listed && marked < repairs; ++i) {
    TForm1::ListItem* item = form->Item(i);
    if (TForm1::ItemState(item) != TForm1::kNotMarked) continue;
    form->MarkForRepair(item);
    markedIds.push_back(TForm1::ItemElerId(item));
    markedValues.push_back(item->suggestion);
    ++marked;
  }
  // The raw rewrite first, on the copy, on a connection of its own with a
  // cold page cache, as the program's write-back meets its pages. No other
  // connection has the copy open; the program's side starts once its session
  // has let its read snapshot go (after a few idle milliseconds), so that
  // each side's commit checkpoints the whole log.
  double raw = 0;
  {
    PlainContacts rawContacts(rawCopy);
    raw = Seconds([&] { rawContacts.Rewrite(markedIds, markedValues); });
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  prompts->messages.clear();
  const auto writeStart = Clock::now();
  form->Execute(form->aSetRecordList);
  const auto writeEnd = Clock::now();
  const double writeBack = Between(writeStart, writeEnd);
  const double writeOnly = Between(writeStart, data->reloadStart);
  const bool wroteOk = !prompts->messages.empty() &&
                       prompts->messages[0] == "A javítások bekerültek az adatbázisba.";
  // What both sides stored: every record's image, the rewritten ones among them.
  bool same = true;
  const std::vector<std::string> stored = plainContacts.Images();
  bench::Compare("after the write-back, ELERHETOSEG", stored, PlainContacts(rawCopy).Images(),
                 same);
  const bool readSame = rows == read && classified == size_t(listed);

  std::printf("Numfix on %zu type-6 contacts (setup: server load %.2f s)\n", contacts, setup);
  std::printf("  open window (login, connect, load, classify): %8.3f s, %d listed\n", open, listed);
  std::printf("  load and classify into the window:            %8.3f s\n", load);
  std::printf("  plain SQLite read and classify, same rows:    %8.3f s (%zu listed)%s\n",
              plainClassify, classified, classified == size_t(listed) ? "" : "  (DIFFERENT)");
  std::printf("  load / plain SQLite read and classify:        %8.1f x\n",
              plainClassify > 0 ? load / plainClassify : 0.0);
  std::printf("  the read through the client library:          %8.3f s (%zu contacts)\n",
              libraryRead, read);
  std::printf("  plain SQLite read of the same rows:           %8.3f s (%zu contacts)%s\n", plain,
              rows, rows == read ? "" : "  (DIFFERENT)");
  std::printf("  library read / plain SQLite read:             %8.1f x\n",
              plain > 0 ? libraryRead / plain : 0.0);
  std::printf("  write back %zu marked repairs (with reload):  %8.3f s%s\n", marked, writeBack,
              wroteOk ? "" : "  (FAILED)");
  std::printf("  write back without the reload:                %8.3f s (%zu rewritten)%s\n",
              writeOnly, data->rewritten, data->rewritten == marked ? "" : "  (NOT ALL)");
  std::printf("  of it, in the client library's calls:         %8.3f s\n", data->writeCalls);
  std::printf("  plain SQLite rewrite of the same rows, first: %8.3f s (cold cache, on a copy)\n",
              raw);
  std::printf("  write back / plain SQLite rewrite:            %8.1f x\n",
              raw > 0 ? writeOnly / raw : 0.0);
  std::printf("  library calls / plain SQLite rewrite:         %8.1f x\n",
              raw > 0 ? data->writeCalls / raw : 0.0);
  std::printf("  stored images after the write-back:           %s (%zu records)\n",
              same ? "the same on both sides" : "DIFFERENT", stored.size());
  std::fflush(stdout);

  form.reset();
  std::filesystem::current_path(oldDir);

  // Classification alone, against the demo templates.
  g_templates = &templates;
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return wroteOk && same && readSame && data->rewritten == marked ? 0 : 1;
}
