// Store tables on a server of 10,000 masters with 5 children each: loading
// the tree, stepping every joined row, sorting the children, writing 10,000
// cached updates and removing every child record from the store, each set
// against raw SQLite doing the same reads and the same updates (in one
// transaction) on the server's own file, and the same deletes from a table
// in memory.
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
// The server keeps record index r of database d in table "t<d>_<r>", with
// one column k<n> per key field in field order.
const char* kMasterTable = "t20_0";
const char* kChildTable = "t20_1";

using bench::Exec;
using bench::Prepare;
using bench::Seconds;
using bench::TakeOption;

// The seconds that one statement takes, prepared once and run count times
// in one transaction, bind setting its parameters for each run.
template <class Bind>
double InOneTransaction(sqlite3* db, const std::string& sql, size_t count, Bind bind) {
  return Seconds([&] {
    Exec(db, "BEGIN");
    sqlite3_stmt* st = Prepare(db, sql);
    for (size_t i = 0; i < count; ++i) {
      bind(st, i);
      sqlite3_step(st);
      sqlite3_reset(st);
    }
    sqlite3_finalize(st);
    Exec(db, "COMMIT");
  });
}

// The reads of a tree load on an open connection, in one read transaction
// as the server's held snapshot makes them: every master in key order, then
// the children of each master by their indexed link column, each image
// copied out.
size_t RawTreeRead(sqlite3* db, size_t masters) {
  std::vector<std::vector<char>> images;
  Exec(db, "BEGIN");
  sqlite3_stmt* all = Prepare(db, std::string("SELECT img FROM ") + kMasterTable + " ORDER BY k0");
  while (sqlite3_step(all) == SQLITE_ROW) {
    const char* p = static_cast<const char*>(sqlite3_column_blob(all, 0));
    images.emplace_back(p, p + sqlite3_column_bytes(all, 0));
  }
  sqlite3_finalize(all);
  sqlite3_stmt* children =
      Prepare(db, std::string("SELECT img FROM ") + kChildTable + " WHERE k1 = ? ORDER BY k1, rid");
  for (size_t m = 1; m <= masters; ++m) {
    sqlite3_bind_int64(children, 1, int64_t(m));
    while (sqlite3_step(children) == SQLITE_ROW) {
      const char* p = static_cast<const char*>(sqlite3_column_blob(children, 0));
      images.emplace_back(p, p + sqlite3_column_bytes(children, 0));
    }
    sqlite3_reset(children);
  }
  sqlite3_finalize(children);
  Exec(db, "COMMIT");
  return images.size();
}

// The same updates in one transaction: a new image for each of the given
// children, found by its unique key column.
double RawUpdates(const std::string& path, const std::vector<int>& ids) {
  sqlite3* db = nullptr;
  sqlite3_open(path.c_str(), &db);
  std::vector<std::vector<char>> images;
  sqlite3_stmt* read = Prepare(db, std::string("SELECT img FROM ") + kChildTable + " WHERE k0 = ?");
  for (int id : ids) {
    sqlite3_bind_int64(read, 1, id);
    if (sqlite3_step(read) == SQLITE_ROW) {
      const char* p = static_cast<const char*>(sqlite3_column_blob(read, 0));
      images.emplace_back(p, p + sqlite3_column_bytes(read, 0));
      images.back()[10] ^= 1;
    }
    sqlite3_reset(read);
  }
  sqlite3_finalize(read);
  const double seconds = InOneTransaction(
      db, std::string("UPDATE ") + kChildTable + " SET img = ?, k1 = k1 WHERE k0 = ?",
      images.size(), [&](sqlite3_stmt* update, size_t i) {
        sqlite3_bind_blob(update, 1, images[i].data(), int(images[i].size()), SQLITE_STATIC);
        sqlite3_bind_int64(update, 2, ids[i]);
      });
  sqlite3_close(db);
  return seconds;
}

// The same removals from an in-memory table of the child images (the id as
// its key, an index on the parent key, as the store's groups are), one
// DELETE per record in the store's order or its reverse, in one transaction.
double RawRemovals(const std::string& path, bool newestFirst) {
  sqlite3* db = nullptr;
  sqlite3_open(":memory:", &db);
  const std::string load = "ATTACH DATABASE '" + path +
                           "' AS srv;"
                           "CREATE TABLE t(id INTEGER PRIMARY KEY, parent INTEGER, img BLOB);"
                           "CREATE INDEX tp ON t(parent);"
                           "INSERT INTO t SELECT k0, k1, img FROM srv." +
                           kChildTable + ";";
  Exec(db, load);
  std::vector<int64_t> ids;
  sqlite3_stmt* order =
      Prepare(db, std::string("SELECT k0 FROM srv.") + kChildTable + " ORDER BY k1, rid");
  while (sqlite3_step(order) == SQLITE_ROW) ids.push_back(sqlite3_column_int64(order, 0));
  sqlite3_finalize(order);
  Exec(db, "DETACH DATABASE srv");
  if (newestFirst) std::reverse(ids.begin(), ids.end());
  const double seconds = InOneTransaction(
      db, "DELETE FROM t WHERE id = ?", ids.size(),
      [&](sqlite3_stmt* remove, size_t i) { sqlite3_bind_int64(remove, 1, ids[i]); });
  sqlite3_close(db);
  return seconds;
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

  const double load = Seconds([&] { master.Select("", 5); });
  size_t rawRows = 0;
  sqlite3* rawDb = nullptr;
  sqlite3_open_v2(server.Path().c_str(), &rawDb, SQLITE_OPEN_READONLY, nullptr);
  const double rawLoad = Seconds([&] { rawRows = RawTreeRead(rawDb, masters); });
  sqlite3_close(rawDb);

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
  const double rawWrite = RawUpdates(server.Path(), changed);
  const double rawRemoveNewest = RawRemovals(server.Path(), true);
  const double rawRemoveOldest = RawRemovals(server.Path(), false);

  auto ratio = [](double a, double b) { return b > 0 ? a / b : 0.0; };
  auto line = [](const std::string& label, double seconds, const char* tail = "") {
    std::printf("  %-48s %8.3f s%s\n", label.c_str(), seconds, tail);
  };
  char text[64];
  std::printf("Store tables on %zu masters with %zu children each (setup: server load %.2f s)\n",
              masters, perMaster, setup);
  line("load the tree (one selection per master)", load);
  std::snprintf(text, sizeof text, "   ratio %5.2f x", ratio(load, rawLoad));
  line("raw SQLite, the same reads (" + std::to_string(rawRows) + " rows)", rawLoad, text);
  line("step " + std::to_string(joined) + " joined rows", walk);
  line("sort every child group", sort);
  line(std::to_string(changed.size()) + " cached updates into the store", cache);
  const bool written = wrote && master.Cache().IsEmpty() && child->Cache().IsEmpty();
  line("write the cache in one transaction", write, written ? "" : "  (FAILED)");
  line(std::to_string(floorCount) + " updates straight through the library", libraryWrite);
  std::snprintf(text, sizeof text, "   ratio %5.2f x", ratio(write, rawWrite));
  line("raw SQLite, the same updates", rawWrite, text);
  line("remove " + std::to_string(removals) + " child records, newest first", removeNewest,
       removedNewest ? "" : "  (FAILED)");
  std::snprintf(text, sizeof text, "   ratio %5.2f x", ratio(removeNewest, rawRemoveNewest));
  line("raw SQLite, the same deletes in memory", rawRemoveNewest, text);
  line("remove them again, oldest first", removeOldest, removedOldest ? "" : "  (FAILED)");
  std::snprintf(text, sizeof text, "   ratio %5.2f x", ratio(removeOldest, rawRemoveOldest));
  line("raw SQLite, the same deletes in memory", rawRemoveOldest, text);
  return written && removedNewest && removedOldest ? 0 : 1;
}
