#include "QorServerTool.h"

#include <gtest/gtest.h>
#include <sqlite3.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <sstream>

#include "SecurityCode.h"
#include "ServerAdmin.h"
#include "TestServer.h"
#include "TextFileError.h"

namespace {

const char kSchema[] =
    "# customers' addresses\n"
    "database ALAP version 1.4.0.2\n"
    "record CIMTIP\n"
    "  CIMT_ID     l unique\n"
    "  CIMT_TIPUS  c 41\n"
    "end\n"
    "record CIM\n"
    "  CIM_ID      l unique\n"
    "  CIM_OWNER   l key\n"
    "  CIMT_ID     l key\n"
    "  CIM_IRSZAM  c 11\n"
    "  CIM_TORLES  c 1\n"
    "  CIM_SULY    F\n"
    "  OWNERTIP    k (CIM_OWNER CIMT_ID)\n"
    "end\n";

const char kCim[] =
    "CIM_ID\tCIM_OWNER\tCIMT_ID\tCIM_IRSZAM\tCIM_TORLES\tCIM_SULY\n"
    "1\t10\t1\t1051\t0x00\t0.5\n"
    "2\t10\t2\t\tN\t\n"
    "3\t11\t1\t9400\t\t-2.25\n";

std::string Decoded(std::string s) {
  SecurityCode().Decode(static_cast<unsigned>(s.size()), s.data());
  return s;
}

// The file's bytes, "" when it cannot be read.
std::string ReadAll(const std::string& path) {
  std::string text;
  return ReadWholeFile(path, text) ? text : std::string();
}

std::string ProgramFolder() {
  return std::filesystem::read_symlink("/proc/self/exe").parent_path().string();
}

struct Result {
  int status;
  std::string out, err;
};

// Runs the qorserver program itself, the way an administrator does.
Result RunProgram(const std::string& folder, const std::string& arguments) {
  std::string out = folder + "/out.txt", err = folder + "/err.txt";
  std::string command = "cd '" + folder + "' && QORDB_ROOT='" + folder + "' '" + ProgramFolder() +
                        "/qorserver' " + arguments + " >'" + out + "' 2>'" + err + "'";
  int status = std::system(command.c_str());
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, ReadAll(out), ReadAll(err)};
}

// Runs one command in-process on the test server's folder.
Result RunTool(const std::vector<std::string>& args) {
  std::ostringstream out, err;
  int status = QorServerTool::Run(args, out, err);
  return {status, out.str(), err.str()};
}

std::string DumpOf(const QorTestServer& server) {
  qordb::ServerAdmin admin(server.Path());
  std::ostringstream out;
  QorServerTool::Dump(admin, "", "", out);
  return out.str();
}

TEST(QorServerProgram, MakesAndFillsAServer) {
  QorTestServer scratch;  // only for its folder; the program makes its own server
  const std::string dir = scratch.Folder();
  scratch.WriteFile("alap.schema", kSchema);
  scratch.WriteFile("cim.tsv", kCim);

  Result r = RunProgram(dir, "create DEMO");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(std::filesystem::exists(dir + "/DEMO"));
  r = RunProgram(dir, "add-database DEMO alap.schema");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "added database ALAP with id 20\n");
  r = RunProgram(dir, "add-user DEMO admin ADMIN");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "");
  r = RunProgram(dir, "add-user DEMO vendeg VENDEG --disabled");
  ASSERT_EQ(r.status, 0) << r.err;
  r = RunProgram(dir, "add-sequence DEMO ALAP_CIM_NEXTID 100 5");
  ASSERT_EQ(r.status, 0) << r.err;
  r = RunProgram(dir, "load DEMO alap cim cim.tsv");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "loaded 3 records into alap.cim\n");

  r = RunProgram(dir, "dump DEMO ALAP CIM");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out,
            "CIM_ID\tCIM_OWNER\tCIMT_ID\tCIM_IRSZAM\tCIM_TORLES\tCIM_SULY\n"
            "1\t10\t1\t1051\t\t0.5\n"
            "2\t10\t2\t\tN\t0\n"
            "3\t11\t1\t9400\t\t-2.25\n");

  // The catalogue as the login and the database map read it.
  qordb::ServerAdmin admin(dir + "/DEMO");
  auto users = admin.ReadRecords("SYSDB", "dbuser");  // userid, type, name, psw, enabled
  ASSERT_EQ(users.size(), 2u);
  EXPECT_EQ(users[0][2], std::string("\x05\x88\x4D\x92\x27"));
  EXPECT_EQ(Decoded(users[0][3]), "ADMIN");
  EXPECT_EQ(users[0][4], "\x01");
  EXPECT_EQ(Decoded(users[1][2]), "VENDEG");
  EXPECT_EQ(Decoded(users[1][3]), "VENDEG");
  EXPECT_NE(users[1][4], "\x01");
  EXPECT_NE(users[0][0], users[1][0]);

  auto tablespace = admin.ReadRecords("SYSDB", "tablespace");  // name, dbid, version
  ASSERT_EQ(tablespace.size(), 2u);
  EXPECT_EQ(tablespace[1], (std::vector<std::string>{"ALAP", "20", "1", "4", "0", "2"}));

  bool found = false;
  for (const auto& s : admin.ReadRecords("SYSDB", "sequencies")) {
    if (s[0] == "ALAP_CIM_NEXTID") {
      found = true;
      EXPECT_EQ(s[1], "100");
      EXPECT_EQ(s[2], "5");
    }
  }
  EXPECT_TRUE(found);

  // The whole dump names every record type, SYSDB first, with scrambled
  // bytes kept on one line.
  r = RunProgram(dir, "dump DEMO");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out.rfind("[SYSDB.TABLESPACE]\nNAME\tDBID\t", 0), 0u) << "names as the client compares them";
  EXPECT_NE(r.out.find("[ALAP.CIMTIP]\nCIMT_ID\tCIMT_TIPUS\n[ALAP.CIM]\n"), std::string::npos);
  EXPECT_NE(r.out.find("\\x05\x88\x4D\x92\x27"), std::string::npos);

  r = RunProgram(dir, "load DEMO ALAP CIM missing.tsv");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "qorserver: missing.tsv: cannot read the file\n");
  EXPECT_EQ(r.out, "");
}

TEST(QorServerTool, AFailedCommandLeavesTheServerAsItWas) {
  QorTestServer server("SRV");
  server.AddDatabase(kSchema);
  server.AddUser("ADMIN", "ADMIN");
  server.Load("ALAP", "CIM", kCim);
  const std::string s = server.Name();
  const std::string f = server.Folder() + "/";
  server.WriteFile("collide.schema", "database MASIK\nrecord R\n  A l\n  B l unique\nend\n");
  server.WriteFile("broken.schema", "database MASIK\nrecord R\n  A l\n  B q\nend\n");
  server.WriteFile("again.schema", kSchema);
  server.WriteFile("badvalue.tsv", "CIM_ID\tCIM_OWNER\n7\t1\n8\tsok\n");
  server.WriteFile("toolong.tsv", "CIM_ID\tCIM_IRSZAM\n7\t123456789012\n");
  server.WriteFile("duplicate.tsv", "CIM_ID\n7\n8\n\n1\n");
  server.WriteFile("unknown.tsv", "CIM_ID\tCIM_UTCA\n7\tFő\n");
  server.WriteFile("compound.tsv", "CIM_ID\tOWNERTIP\n7\t1\n");
  server.WriteFile("ragged.tsv", "CIM_ID\tCIM_OWNER\n7\n");
  const std::string before = DumpOf(server);

  struct Case {
    std::vector<std::string> args;
    const char* message;  // part of what goes to standard error
  };
  const Case cases[] = {
      {{"create", s}, "already exists"},
      {{"add-database", s, f + "collide.schema"}, "collide.schema, line 4: field B of the first record R would be field number 1"},
      {{"add-database", s, f + "broken.schema"}, "broken.schema, line 4: unknown type \"q\""},
      {{"add-database", s, f + "again.schema"}, "ALAP"},
      {{"add-database", s, f + "none.schema"}, "none.schema: cannot read"},
      {{"add-user", s, "admin", "X"}, "already exists"},
      {{"add-user", s, "", "X"}, "needs a name"},
      {{"add-user", s, std::string(32, 'N'), "X"}, "at most 31"},
      {{"add-user", s, "ANNA", std::string(32, 'P')}, "at most 31"},
      {{"add-user", s, "ANNA", "X", "--locked"}, "unknown option --locked"},
      {{"add-sequence", s, "SEQ", "1x", "1"}, "START must be a whole number"},
      {{"add-sequence", s, "SEQ", "1", "3000000000"}, "STEP must be a whole number"},
      {{"set-param", s, "VolumeId", "0"}, "VolumeId must be a decimal number"},
      {{"set-param", s, "RegLmgrName"}, "wrong number of arguments"},
      {{"load", s, "ALAP", "CIM", f + "badvalue.tsv"}, "badvalue.tsv, line 3: field CIM_OWNER is not a whole number"},
      {{"load", s, "ALAP", "CIM", f + "toolong.tsv"}, "toolong.tsv, line 2: field CIM_IRSZAM is longer than"},
      {{"load", s, "ALAP", "CIM", f + "duplicate.tsv"}, "duplicate.tsv, line 5: repeats a unique key of CIM"},
      {{"load", s, "ALAP", "CIM", f + "unknown.tsv"}, "unknown.tsv, line 1: record CIM has no field CIM_UTCA"},
      {{"load", s, "ALAP", "CIM", f + "compound.tsv"}, "OWNERTIP is a group or compound key"},
      {{"load", s, "ALAP", "CIM", f + "ragged.tsv"}, "ragged.tsv, line 2: the line has 1 values"},
      {{"load", s, "ALAP", "UTCA", f + "badvalue.tsv"}, "database ALAP has no record UTCA"},
      {{"load", s, "NINCS", "CIM", f + "badvalue.tsv"}, "NINCS"},
      {{"dump", s, "ALAP", "UTCA"}, "database ALAP has no record UTCA"},
      {{"dump", s, "NINCS"}, "NINCS"},
      {{"dump", "NOSERVER"}, "NOSERVER"},
      {{"frobnicate", s}, "unknown command frobnicate"},
      {{"load", s, "ALAP"}, "wrong number of arguments"},
      {{"create"}, "no server named"},
      {{}, "usage:"},
  };
  for (const Case& c : cases) {
    std::string shown;
    for (const auto& a : c.args) shown += a + " ";
    Result r = RunTool(c.args);
    EXPECT_EQ(r.status, 1) << shown;
    EXPECT_EQ(r.err.rfind("qorserver: ", 0), 0u) << shown << r.err;
    EXPECT_NE(r.err.find(c.message), std::string::npos) << shown << "-> " << r.err;
    EXPECT_EQ(DumpOf(server), before) << shown;
  }
  EXPECT_FALSE(std::filesystem::exists(server.Folder() + "/NOSERVER"));
}

TEST(QorServerProgram, AFileThatIsNoServerIsLeftByteForByte) {
  QorTestServer server;
  const std::string f = server.Folder() + "/";
  server.WriteFile("EMPTY", "");
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open((f + "OTHERDB").c_str(), &db), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(db, "CREATE TABLE notes(t TEXT)", nullptr, nullptr, nullptr), SQLITE_OK);
  sqlite3_close(db);
  server.WriteFile("one.schema", "database MASIK\nrecord R\n  A l unique\nend\n");
  server.WriteFile("one.tsv", "A\n1\n");
  for (const char* name : {"EMPTY", "OTHERDB"}) {
    const std::string before = ReadAll(f + name);
    for (const std::string& command :
         {"dump " + std::string(name), "add-user " + std::string(name) + " EVA X",
          "add-sequence " + std::string(name) + " S 1 1",
          "add-database " + std::string(name) + " one.schema",
          "load " + std::string(name) + " MASIK R one.tsv"}) {
      SCOPED_TRACE(command);
      Result r = RunProgram(server.Folder(), command);
      EXPECT_EQ(r.status, 1);
      EXPECT_NE(r.err.find("not a server file"), std::string::npos) << r.err;
      EXPECT_EQ(ReadAll(f + name), before);
      for (const char* side : {"-wal", "-shm", "-journal"})
        EXPECT_FALSE(std::filesystem::exists(f + name + side)) << side;
    }
  }
}

TEST(QorServerTool, LoadFillsWhatTheFileLeavesOutWithZero) {
  QorTestServer server;
  server.AddDatabase(kSchema);
  EXPECT_EQ(server.Load("ALAP", "CIM", "cim_irszam\tCIM_ID\nH-1\t5\n\t6\n"), 2u);
  auto rows = server.Records("ALAP", "CIM");
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0], (std::vector<std::string>{"5", "0", "0", "H-1", "", "0"}));
  EXPECT_EQ(rows[1], (std::vector<std::string>{"6", "0", "0", "", "", "0"}));
}

TEST(QorServerTool, ADumpedRecordTypeLoadsBackUnchanged) {
  QorTestServer first;
  first.AddDatabase(kSchema);
  first.Load("ALAP", "CIM", kCim);
  first.Load("ALAP", "CIMTIP", "CIMT_ID\tCIMT_TIPUS\n1\tLakcím\n2\tSzékhely, \"fő\" iroda\n");
  std::string cim, cimtip;
  {
    qordb::ServerAdmin admin(first.Path());
    std::ostringstream a, b;
    QorServerTool::Dump(admin, "ALAP", "CIM", a);
    QorServerTool::Dump(admin, "ALAP", "CIMTIP", b);
    cim = a.str();
    cimtip = b.str();
  }
  auto expectedCim = first.Records("ALAP", "CIM");
  auto expectedTip = first.Records("ALAP", "CIMTIP");
  QorTestServer second;
  second.AddDatabase(kSchema);
  second.Load("ALAP", "CIM", cim);
  second.Load("ALAP", "CIMTIP", cimtip);
  EXPECT_EQ(second.Records("ALAP", "CIM"), expectedCim);
  EXPECT_EQ(second.Records("ALAP", "CIMTIP"), expectedTip);
}

TEST(QorServerTool, AddUserWarnsOfAPasswordTheLoginCannotMatch) {
  QorTestServer server;
  Result r = RunTool({"add-user", server.Name(), "kati", "Titok"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "added user KATI\n");
  EXPECT_NE(r.err.find("warning: the login upper-cases"), std::string::npos);
  auto users = server.Records("SYSDB", "dbuser");
  ASSERT_EQ(users.size(), 1u);
  EXPECT_EQ(Decoded(users[0][2]), "KATI");
  EXPECT_EQ(Decoded(users[0][3]), "Titok");  // kept as given, as CREATE USER keeps it
}

}  // namespace
