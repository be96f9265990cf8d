// Store tables on a server of 10,000 masters with 5 children each: loading
// the tree, stepping every joined row, sorting the children, writing 10,000
// cached updates and removing every child record from the store, each set
// against raw SQLite doing the same reads on the server's own file, the same
// updates (in one transaction) on a copy of it made before the program
// wrote, and the same deletes from a table in memory. Both sides' rows read
// and records stored are compared; a difference fails the benchmark.
//
//   store_bench [--masters N] [--children N] [--updates N]

#include <sqlite3.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "BenchUtil.h"
#include "CachedStoreTab_testutil.h"
#include "DbDescMap.h"
#include "ScriptedUi.h"
#include "ServerFile.h"
#include "TQoLogin.h"
#include "TestServer.h"

namespace {

const char* kSchema = R"(database SHOP id 20
record MASTER
  M_ID  l unique
  CITY  c 21
  NAME  c 31 key
end
record CHILD
  C_ID  l unique
  M_ID  l key
  QTY   l
  TXT   c 21
end
)";
using bench::Exec;
using bench::Prepare;
using bench::Run;
using bench::Seconds;
using bench::Step;
using bench::TakeOption;

// The seconds that one statement takes, prepared once and run count times
// in one transaction, bind setting its parameters for each run; each run
// must change one row.
template <class Bind>
double InOneTransaction(sqlite3* db, const std::string& sql, size_t count, Bind bind) {
  return Seconds([&] {
    Exec(db, "BEGIN IMMEDIATE");
    sqlite3_stmt* st = Prepare(db, sql);
    for (size_t i = 0; i < count; ++i) {
      bind(st, i);
      Run(st);
      if (sqlite3_changes(db) != 1) bench::Fail("store_bench: \"" + sql + "\" changed no row");
    }
    sqlite3_finalize(st);
    Exec(db, "COMMIT");
  });
}

// What the raw tree read took in.
struct TreeRead {
  size_t masters = 0, children = 0;
};

// The reads of a tree load on an open connection, in one read transaction
// as the server's held snapshot makes them: every master in insertion
// order, as the server hands out a whole table, then the children of each
// master, in that order, by their indexed link column; every image copied
// out, into one buffer.
TreeRead RawTreeRead(sqlite3* db, const bench::ServerRecord& master,
                     const bench::ServerRecord& child) {
  TreeRead read;
  std::vector<char> images;
  std::vector<int64_t> links;
  const qordb::FieldModel& link = master.FieldModel("M_ID");
  const int linkColumn = child.rec.keyColumn[size_t(child.Field("M_ID"))];
  Exec(db, "BEGIN");
  sqlite3_stmt* all = Prepare(db, "SELECT img FROM " + master.table + " ORDER BY rid");
  while (Step(all)) {
    const char* p = static_cast<const char*>(sqlite3_column_blob(all, 0));
    images.insert(images.end(), p, p + sqlite3_column_bytes(all, 0));
    links.push_back(qordb::FieldInteger(link, p));
  }
  sqlite3_finalize(all);
  read.masters = links.size();
  const std::string k = "k" + std::to_string(linkColumn);
  sqlite3_stmt* children = Prepare(
      db, "SELECT img FROM " + child.table + " WHERE " + k + " = ? ORDER BY " + k + ", rid");
  for (int64_t m : links) {
    sqlite3_bind_int64(children, 1, m);
    while (Step(children)) {
      const char* p = static_cast<const char*>(sqlite3_column_blob(children, 0));
      images.insert(images.end(), p, p + sqlite3_column_bytes(children, 0));
      ++read.children;
    }
    sqlite3_reset(children);
  }
  sqlite3_finalize(children);
  Exec(db, "COMMIT");
  return read;
}

// The same updates in one transaction, on the copy of the server file made
// before the program wrote: each child's QTY one higher, as the program's
// cached updates make it, in its image, stored by the child's unique key
// column (the other key columns stay as they are).
double RawUpdates(const std::string& copy, const bench::ServerRecord& child,
                  const std::vector<int>& ids) {
  sqlite3* db = qordb::OpenServerFile(copy, false);
  const qordb::FieldModel& qty = child.FieldModel("QTY");
  const std::string id = "k" + std::to_string(child.rec.keyColumn[size_t(child.Field("C_ID"))]);
  std::vector<std::vector<char>> images;
  sqlite3_stmt* read = Prepare(db, "SELECT img FROM " + child.table + " WHERE " + id + " = ?");
  for (int c : ids) {
    sqlite3_bind_int64(read, 1, c);
    if (!Step(read)) bench::Fail("store_bench: no child " + std::to_string(c) + " in the copy");
    const char* p = static_cast<const char*>(sqlite3_column_blob(read, 0));
    std::vector<char>& img = images.emplace_back(p, p + sqlite3_column_bytes(read, 0));
    qordb::SetFieldInteger(qty, qordb::FieldInteger(qty, img.data()) + 1, img.data());
    sqlite3_reset(read);
  }
  sqlite3_finalize(read);
  const double seconds = InOneTransaction(
      db, "UPDATE " + child.table + " SET img = ? WHERE " + id + " = ?", images.size(),
      [&](sqlite3_stmt* update, size_t i) {
        sqlite3_bind_blob(update, 1, images[i].data(), int(images[i].size()), SQLITE_STATIC);
        sqlite3_bind_int64(update, 2, ids[i]);
      });
  sqlite3_close_v2(db);
  return seconds;
}

// The same removals from an in-memory table of the child images (the id as
// its key, an index on the parent key, as the store's groups are), one
// DELETE per record in the store's order or its reverse, in one transaction;
// false when the table is not empty after them.
bool RawRemovals(const std::string& path, const bench::ServerRecord& child, bool newestFirst,
                 double& seconds) {
  sqlite3* db = bench::Open(":memory:");
  auto k = [&](const char* field) {
    return "k" + std::to_string(child.rec.keyColumn[size_t(child.Field(field))]);
  };
  Exec(db, "ATTACH DATABASE '" + path +
               "' AS srv;"
               "CREATE TABLE t(id INTEGER PRIMARY KEY, parent INTEGER, img BLOB);"
               "CREATE INDEX tp ON t(parent);"
               "INSERT INTO t SELECT " +
               k("C_ID") + ", " + k("M_ID") + ", img FROM srv." + child.table + ";");
  std::vector<int64_t> ids;
  sqlite3_stmt* order = Prepare(
      db, "SELECT " + k("C_ID") + " FROM srv." + child.table + " ORDER BY " + k("M_ID") + ", rid");
  while (Step(order)) ids.push_back(sqlite3_column_int64(order, 0));
  sqlite3_finalize(order);
  Exec(db, "DETACH DATABASE srv");
  if (newestFirst) std::reverse(ids.begin(), ids.end());
  seconds = InOneTransaction(
      db, "DELETE FROM t WHERE id = ?", ids.size(),
      [&](sqlite3_stmt* remove, size_t i) { sqlite3_bind_int64(remove, 1, ids[i]); });
  sqlite3_stmt* left = Prepare(db, "SELECT count(*) FROM t");
  const bool empty = Step(left) && sqlite3_column_int64(left, 0) == 0;
  sqlite3_finalize(left);
  sqlite3_close(db);
  return empty;
}

}  // namespace

int main(int argc, char** argv) {
  const size_t masters = TakeOption(argc, argv, "--masters", 10000);
  const size_t perMaster = TakeOption(argc, argv, "--children", 5);
  const size_t updates = TakeOption(argc, argv, "--updates", 10000);

  QorTestServer server("storebench.qdb");
  server.AddDatabase(kSchema);
  server.AddUser("BENCH", "BENCH");
  QorClientConfig client;
  client.name = "SHOP";
  server.AddClient(client);
  std::string masterTsv = "M_ID\tCITY\tNAME\n";
  std::string childTsv = "C_ID\tM_ID\tQTY\tTXT\n";
  for (size_t m = 1; m <= masters; ++m) {
    masterTsv += std::to_string(m) + "\tGyőr\tÜgyfél " + std::to_string(m) + "\n";
    for (size_t c = 0; c < perMaster; ++c) {
      const size_t id = m * perMaster + c;
      childTsv += std::to_string(id) + "\t" + std::to_string(m) + "\t" +
                  std::to_string((id * 7919) % 1000) + "\ttétel\n";
    }
  }
  const double setup = Seconds([&] {
    server.Load("SHOP", "MASTER", masterTsv);
    server.Load("SHOP", "CHILD", childTsv);
  });
  // Before the program writes, for the raw updates: the same rows with the
  // values the program's updates start from.
  const std::string rawCopy = bench::CopyServerFile(server.Path());
  // A connection opened the way the server opens its own.
  sqlite3* rawDb = qordb::OpenServerFile(server.Path(), false);
  const bench::ServerRecord masterRecord = bench::FindRecord(rawDb, "SHOP", "MASTER");
  const bench::ServerRecord childRecord = bench::FindRecord(rawDb, "SHOP", "CHILD");

  win::ScriptedUi ui;
  win::ScopedUiBackend installed(ui);
  TQoLogin login;
  DbDescMap map;
  if (!login.Login("SHOP", "BENCH", "BENCH", false, "")) {
    std::fprintf(stderr, "store_bench: the login failed\n");
    return 1;
  }
  map.SetHandle(login.GetHandle());
  map.OpenAll(0);
  DbDescription desc = map.GetDescription("SHOP");

  CachedStoreTab master(nullptr, &desc, "MASTER", "M");
  auto* child = new CachedStoreTab(&master, &desc, "CHILD", "C");
  child->SetLink("M_ID", "M_ID", "M_ID");
  // The cache finds each record by its unique key, as the raw updates do.
  master.AddTreeTableOption(rtoUniqueKeyWrites);

  // Three rounds of both sides, each figure the median of its three: the
  // first read of a connection fills its page cache, and a busy machine
  // disturbs one round, not the figures.
  std::vector<double> loads, rawLoads;
  TreeRead rawRead;
  for (int round = 0; round < 3; ++round) {
    loads.push_back(Seconds([&] { master.Select("", 5); }));
    rawLoads.push_back(Seconds([&] { rawRead = RawTreeRead(rawDb, masterRecord, childRecord); }));
  }
  const double load = bench::Median(loads), rawLoad = bench::Median(rawLoads);
  const size_t loadedMasters = size_t(master.GetRecordCount());
  sqlite3_close_v2(rawDb);

  size_t joined = 0;
  const double walk = Seconds([&] {
    master.Step(5, 5);
    for (bool found = false;; found = false) {
      master.NextJoined(-1, found);
      if (!found) break;
      ++joined;
    }
  });

  const double sort = Seconds([&] { child->Sort("QTY", 1, 1); });

  // The children master by master, until enough are changed.
  std::vector<int> changed;
  const double cache = Seconds([&] {
    for (bool more = master.Step(0, 0); more && changed.size() < updates;
         more = master.Step(2, 0)) {
      for (bool next = child->Step(0, 0); next && changed.size() < updates;
           next = child->Step(2, 0)) {
        child->GetField("QTY").SetLong(child->GetField("QTY").AsLong() + 1);
        child->Update(1);
        changed.push_back(int(child->GetField("C_ID").AsLong()));
      }
    }
  });
  bool wrote = false;
  const double write = Seconds([&] {
    master.BeginTransaction("BENCH");
    wrote = master.WriteCache();
    master.EndTransaction(1);
  });
  // The floor under the cache writing: the same number of updates straight
  // through the client library, each record's image already in the fields.
  child->SetMasterDepMode(0);
  RdmTable direct(&desc, "CHILD");
  const size_t floorCount = std::min(changed.size(), size_t(child->GetRecordCount()));
  const double libraryWrite = Seconds([&] {
    master.BeginTransaction("BENCH");
    for (size_t i = 0; i < floorCount; ++i) {
      child->SetPosition(int(i));
      direct.Update(1);
    }
    master.EndTransaction(1);
  });
  // Every child record taken out of the store one by one, from its end and,
  // after a new selection, from its start (no server call).
  auto removeAll = [&](bool newestFirst) {
    return Seconds([&] {
      for (int n = child->GetRecordCount(); n > 0; --n) child->RemoveAt(newestFirst ? n - 1 : 0);
    });
  };
  const size_t removals = size_t(child->GetRecordCount());
  const double removeNewest = removeAll(true);
  const bool removedNewest = child->GetRecordCount() == 0;
  master.Select("", 5);
  const double removeOldest = removeAll(false);
  const bool removedOldest = child->GetRecordCount() == 0;
  login.Logout();
  const double rawWrite = RawUpdates(rawCopy, childRecord, changed);
  // What both sides stored: every record, the changed children's new QTY among them.
  bool same = true;
  {
    sqlite3* program = qordb::OpenServerFile(server.Path(), false);
    sqlite3* raw = qordb::OpenServerFile(rawCopy, false);
    for (const bench::ServerRecord* r : {&masterRecord, &childRecord})
      bench::Compare("after the updates, " + r->rec.name,
                     bench::ImageRows(program, r->table, r->rec),
                     bench::ImageRows(raw, r->table, r->rec), same);
    sqlite3_close_v2(raw);
    sqlite3_close_v2(program);
  }
  double rawRemoveNewest = 0, rawRemoveOldest = 0;
  const bool rawRemovedNewest = RawRemovals(server.Path(), childRecord, true, rawRemoveNewest);
  const bool rawRemovedOldest = RawRemovals(server.Path(), childRecord, false, rawRemoveOldest);

  auto ratio = [](double a, double b) { return b > 0 ? a / b : 0.0; };
  auto line = [](const std::string& label, double seconds, const char* tail = "") {
    std::printf("  %-48s %8.3f s%s\n", label.c_str(), seconds, tail);
  };
  char text[64];
  std::printf(
      "Store tables on %zu masters with %zu children each (setup: server load %.2f s; each load "
      "the "
      "median of 3 rounds)\n",
      masters, perMaster, setup);
  line("load the tree (one selection per master)", load);
  // Every master has children, so the joined rows are the children.
  const bool readSame = rawRead.masters == loadedMasters && rawRead.children == joined;
  std::snprintf(text, sizeof text, "   ratio %5.2f x%s", ratio(load, rawLoad),
                readSame ? "" : "  (DIFFERENT ROWS)");
  line("raw SQLite, the same reads (" + std::to_string(rawRead.masters + rawRead.children) +
           " rows)",
       rawLoad, text);
  line("step " + std::to_string(joined) + " joined rows", walk);
  line("sort every child group", sort);
  line(std::to_string(changed.size()) + " cached updates into the store", cache);
  const bool written = wrote && master.Cache().IsEmpty() && child->Cache().IsEmpty();
  line("write the cache in one transaction", write, written ? "" : "  (FAILED)");
  line(std::to_string(floorCount) + " updates straight through the library", libraryWrite);
  std::snprintf(text, sizeof text, "   ratio %5.2f x%s", ratio(write, rawWrite),
                same ? "" : "  (DIFFERENT RESULTS)");
  line("raw SQLite, the same updates", rawWrite, text);
  line("remove " + std::to_string(removals) + " child records, newest first", removeNewest,
       removedNewest ? "" : "  (FAILED)");
  std::snprintf(text, sizeof text, "   ratio %5.2f x", ratio(removeNewest, rawRemoveNewest));
  line("raw SQLite, the same deletes in memory", rawRemoveNewest,
       rawRemovedNewest ? text : "  (FAILED)");
  line("remove them again, oldest first", removeOldest, removedOldest ? "" : "  (FAILED)");
  std::snprintf(text, sizeof text, "   ratio %5.2f x", ratio(removeOldest, rawRemoveOldest));
  line("raw SQLite, the same deletes in memory", rawRemoveOldest,
       rawRemovedOldest ? text : "  (FAILED)");
  return written && removedNewest && removedOldest && readSame && same && rawRemovedNewest &&
                 rawRemovedOldest
             ? 0
             : 1;
}
