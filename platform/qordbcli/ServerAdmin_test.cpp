#include "ServerAdmin.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <sstream>

#include "TestServer_testutil.h"

namespace {

using qordb::ServerAdmin;
using qordb::ServerError;

std::string ErrorOf(const std::function<void()>& f) {
  try {
    f();
  } catch (const ServerError& e) {
    return e.what();
  }
  return "";
}

bool Exists(const std::string& p) {
  struct stat st;
  return ::stat(p.c_str(), &st) == 0;
}

TEST(ServerAdmin, ResolvesServerNamesUnderTheRoot) {
  setenv("QORDB_ROOT", "/srv/qor", 1);
  EXPECT_EQ(ServerAdmin::ResolveServerPath("DEMO"), "/srv/qor/DEMO");
  EXPECT_EQ(ServerAdmin::ResolveServerPath("/abs/file"), "/abs/file");
  setenv("QORDB_ROOT", "/srv/qor/", 1);
  EXPECT_EQ(ServerAdmin::ResolveServerPath("DEMO"), "/srv/qor/DEMO");
  unsetenv("QORDB_ROOT");
  EXPECT_EQ(ServerAdmin::ResolveServerPath("DEMO"), "./DEMO");
}

TEST(ServerAdmin, CatalogueListsEveryDatabaseWithItsVersion) {
  TestServer server;
  ServerAdmin admin(server.path);
  EXPECT_EQ(admin.Databases(), (std::vector<std::string>{"SYSDB", "SHOP", "LOG"}));
  EXPECT_EQ(server.shopId, 20);
  EXPECT_EQ(server.logId, 21);
  EXPECT_EQ(
      admin.ReadRecords("sysdb", "tablespace"),
      (std::vector<std::vector<std::string>>{
          {"SYSDB", "19", "1", "0", "0", "0"}, {"Shop", "20", "3", "2", "1", "7"}, {"LOG", "21", "1", "0", "0", "0"}}));
  auto users = admin.ReadRecords("SYSDB", "dbuser");
  ASSERT_EQ(users.size(), 1u);
  EXPECT_EQ(users[0], (std::vector<std::string>{"1", "", "ADMIN", "SECRET", "\x01"}));
  auto sequences = admin.ReadRecords("SYSDB", "sequencies");
  ASSERT_EQ(sequences.size(), 2u);
  EXPECT_EQ(sequences[1], (std::vector<std::string>{"Customer_Next", "100", "5", "0", "0", "0", "0"}));
}

TEST(ServerAdmin, RefusalsLeaveTheServerAsItWas) {
  TestServer server;
  ServerAdmin admin(server.path);
  std::ostringstream before;
  admin.Dump(before);

  qordb::SchemaDef again = LogSchema();
  again.name = "log";
  qordb::SchemaDef bad = LogSchema();
  bad.name = "BAD";
  bad.records[0].fields[1].length = 0;
  struct Case {
    const char* what;
    std::function<void()> call;
    const char* message;
  };
  const Case cases[] = {
      {"database twice", [&] { admin.AddDatabase(again); }, "already on the server"},
      {"id taken",
       [&] {
         qordb::SchemaDef s = LogSchema();
         s.name = "OTHER";
         admin.AddDatabase(s, 20);
       },
       "id 20 is already taken"},
      {"bad schema", [&] { admin.AddDatabase(bad); }, "length from 1"},
      {"user twice",
       [&] {
         admin.AddUser({"ADMIN", "X"});
       },
       "already exists"},
      {"user name too long",
       [&] {
         admin.AddUser({std::string(32, 'A'), "X"});
       },
       "at most 31 bytes"},
      {"sequence twice", [&] { admin.AddSequence("CUSTOMER_NEXT"); }, "already exists"},
      {"unknown database", [&] { admin.LoadRecords("NOPE", "X", {}); }, "no database NOPE"},
      {"unknown record", [&] { admin.LoadRecords("SHOP", "NOPE", {}); }, "no record NOPE"},
      // The second row fails: the first must not stay behind.
      {"text too long",
       [&] {
         admin.LoadRecords("LOG", "ENTRY", {{"1", "ok"}, {"2", std::string(40, 'x')}});
       },
       "row 2: field TEXT is longer than 39"},
      {"not a number",
       [&] {
         admin.LoadRecords("LOG", "ENTRY", {{"1", "ok"}, {"2x", "y"}});
       },
       "row 2: field ID is not a whole number"},
      {"out of range",
       [&] {
         admin.LoadRecords("SHOP", "CUSTOMER", {{"9", "", "", "", "65536"}});
       },
       "row 1: field ZIP is out of range"},
      {"too many values",
       [&] {
         admin.LoadRecords("LOG", "ENTRY", {{"1", "a", "b"}});
       },
       "row 1: 3 values, but ENTRY has 2 fields"},
      {"unique duplicate",
       [&] {
         admin.LoadRecords("LOG", "ENTRY", {{"1", "a"}, {"1", "b"}});
       },
       "row 2: repeats a unique key of ENTRY"},
      {"bad volume id", [&] { admin.SetParam("VolumeId", "-3"); }, "VolumeId must be"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::string error = ErrorOf(c.call);
    EXPECT_NE(error.find(c.message), std::string::npos) << error;
  }
  std::ostringstream after;
  admin.Dump(after);
  EXPECT_EQ(after.str(), before.str());
}

TEST(ServerAdmin, ARefusedRowIsNamedByItsIndex) {
  TestServer server;
  ServerAdmin admin(server.path);
  struct Case {
    std::vector<std::vector<std::string>> rows;
    int row;
    const char* reason;
  };
  const Case cases[] = {
      {{{"1", "a"}, {"2", "b"}, {"1", "c"}}, 2, "repeats a unique key of ENTRY"},
      {{{"row 1"}}, 0, "field ID is not a whole number"},
  };
  for (const Case& c : cases) {
    try {
      admin.LoadRecords("LOG", "ENTRY", c.rows);
      ADD_FAILURE() << c.reason;
    } catch (const ServerError& e) {
      EXPECT_EQ(e.Row(), c.row);
      EXPECT_EQ(e.Reason(), c.reason);
      EXPECT_EQ(std::string(e.what()), "row " + std::to_string(c.row + 1) + ": " + c.reason);
    }
  }
  try {
    admin.LoadRecords("LOG", "NOPE", {{"1"}});
    ADD_FAILURE();
  } catch (const ServerError& e) {
    EXPECT_EQ(e.Row(), -1) << "a fault of no one row";
    EXPECT_EQ(e.Reason(), e.what());
  }
}

TEST(ServerAdmin, CreateAndOpenRefuseWhatIsNotANewOrAServerFile) {
  TestServer server;
  EXPECT_NE(ErrorOf([&] { ServerAdmin::Create(server.path); }).find("already exists"), std::string::npos);
  EXPECT_EQ(ServerAdmin(server.path).Databases().size(), 3u) << "the refused create left the server alone";
  const std::string plain = server.dir + "/PLAIN";
  FILE* p = fopen(plain.c_str(), "w");
  fputs("someone's notes", p);
  fclose(p);
  EXPECT_NE(ErrorOf([&] { ServerAdmin::Create(plain); }).find("already exists"), std::string::npos);
  EXPECT_TRUE(Exists(plain)) << "a file that is not a server is not removed either";
  EXPECT_NE(ErrorOf([&] { ServerAdmin admin(server.dir + "/MISSING"); }).find("no server file"), std::string::npos);
  EXPECT_FALSE(Exists(server.dir + "/MISSING")) << "opening never creates";
  const std::string junk = server.dir + "/JUNK";
  FILE* f = fopen(junk.c_str(), "w");
  fputs("SQLite format 3 but not really", f);
  fclose(f);
  EXPECT_NE(ErrorOf([&] { ServerAdmin admin(junk); }), "");
  EXPECT_NE(ErrorOf([&] { ServerAdmin::Create(server.dir + "/no/such/folder/S"); }).find("cannot create"),
            std::string::npos);
  EXPECT_FALSE(Exists(server.dir + "/no"));
}

TEST(ServerAdmin, ACatalogueWithoutTheRecordsItNeedsIsRefusedByName) {
  struct Case {
    const char* record;  // renamed in the stored SYSDB dictionary
    std::function<void(ServerAdmin&)> call;
  };
  const Case cases[] = {
      {"tablespace",
       [](ServerAdmin& a) {
         qordb::SchemaDef s = LogSchema();
         s.name = "MORE";
         a.AddDatabase(s);
       }},
      {"dbuser",
       [](ServerAdmin& a) {
         a.AddUser({"EVA", "X", true, false, 7});
       }},
      {"sequencies", [](ServerAdmin& a) { a.AddSequence("MORE"); }},
      {"sequencies",
       [](ServerAdmin& a) {
         a.AddUser({"EVA", "X"});
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.record);
    TestServer server;
    EditStoredImage(server.path, ServerAdmin::kSysdbId, [&](std::vector<char>& image) {
      const std::string name = std::string(c.record) + "\n";
      auto at = std::search(image.begin(), image.end(), name.begin(), name.end());
      ASSERT_NE(at, image.end());
      *at = 'X';
    });
    ServerAdmin admin(server.path);
    EXPECT_EQ(ErrorOf([&] { c.call(admin); }),
              std::string("the catalogue SYSDB has no record ") + c.record);
  }
}

TEST(ServerAdmin, LoadedTextsReadBackInTheClientsForms) {
  TestServer server;
  ServerAdmin admin(server.path);
  admin.LoadRecords("SHOP", "CONTACT", {{"20", "-1", "0x41", "", "", "2147483647", "-0.25"}, {"21"}});
  auto rows = admin.ReadRecords("SHOP", "CONTACT");
  ASSERT_EQ(rows.size(), 5u);
  EXPECT_EQ(rows[3], (std::vector<std::string>{"20", "-1", "A", "", "", "2147483647", "-0.25"}));
  EXPECT_EQ(rows[4], (std::vector<std::string>{"21", "0", "", "", "", "0", "0"})) << "missing texts read as empty";
  EXPECT_EQ(admin.ReadRecords("SHOP", "CUSTOMER")[4][4], "65535") << "unsigned 16-bit";

  std::ostringstream dump;
  admin.Dump(dump);
  EXPECT_NE(dump.str().find("[SHOP.CUSTOMER]\nID\tNOTE\tNAME\tCITY\tZIP\n1\t\tKovács\tBudapest\t1011\n"),
            std::string::npos)
      << dump.str();
  EXPECT_NE(dump.str().find("[LOG.ENTRY]\nID\tTEXT\n"), std::string::npos);
  // Control bytes (scrambled names hold them) cannot break the lines.
  EXPECT_NE(dump.str().find("\tADMIN\tSECRET\t\\x01\n"), std::string::npos);

  // One database, and one record type in the form a record file takes: a
  // backslash stays as it is, so such a dump loads back unchanged.
  admin.LoadRecords("LOG", "ENTRY", {{"7", "C:\\adat\x7F"}});
  std::ostringstream log, entries;
  admin.Dump(log, "log");
  EXPECT_EQ(log.str(), "[LOG.ENTRY]\nID\tTEXT\n7\tC:\\adat\\x7F\n");
  admin.Dump(entries, "LOG", "entry");
  EXPECT_EQ(entries.str(), "ID\tTEXT\n7\tC:\\adat\\x7F\n");
  EXPECT_NE(ErrorOf([&] { admin.Dump(entries, "LOG", "NOPE"); }).find("has no record NOPE"), std::string::npos);
}

}  // namespace
