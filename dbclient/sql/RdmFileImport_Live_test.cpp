// The SQL engine end to end: scripts run by the runner against the real
// client library and servers made for the test.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <functional>
#include <map>
#include <optional>

#include "LiveClient_testutil.h"
#include "QorServerTool.h"
#include "Raised_testutil.h"
#include "RdmFileImport.h"
#include "SecurityCode.h"
#include "TQoLogin.h"
#include "TestServer.h"
#include "qordbcli_diag.h"

namespace {

// The source tables the import reads: customers, their address and
// telephone links (TABLE 1 links to a customer), addresses, telephone
// numbers and registration plates.
const char* kKelvado = R"(database KELVADO id 20
record UGYFEL
  UCODE         l unique
  NAME          c 41
  TOROLT        c 1 key
  RENDSZAMCODE  l
end
record CIMLINK
  CIMCODE  l key
  CODE     l key
  TABLE    s
  CODETABLE k (CODE TABLE)
end
record CIM
  CIMCODE  l unique
  VAROS    c 41
  UTCA     c 61
end
record TELEFON
  TELCODE  l unique
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
record KAPCS
  A   l key
  B   l key
  AB  k (A B)
  C   c 5
end
)";

const char* kSourceScript =
    "         select *         from               KELVADO.UGYFEL, CIMLINK, CIM, TELEFON, "
    "TELEFONLINK, RENDSZAM         where            KELVADO.UGYFEL.TOROLT = '0x00' and      "
    "      CIM.CIMCODE = CIMLINK.CIMCODE and            CIMLINK.CODE = KELVADO.UGYFEL.UCODE and "
    "           CIMLINK.TABLE = 1 and            TELEFON.TELCODE = TELEFONLINK.TELCODE and     "
    "       TELEFONLINK.CODE = KELVADO.UGYFEL.UCODE and            TELEFONLINK.TABLE = 1 and   "
    "         RENDSZAM.RCODE = KELVADO.UGYFEL.RENDSZAMCODE;";

// A connection to a server the fixture makes, with a runner attached to it.
class SqlLiveBase : public LiveClientTest {
 protected:
  SqlLiveBase() : LiveClientTest("SRC") {}
  void SetUp() override {
    LiveClientTest::SetUp();
    if (!Ready()) return;
    runner.emplace();
    runner->Attach(&map, false);
  }
  void TearDown() override {
    runner.reset();
    LiveClientTest::TearDown();
    if (server) {
      EXPECT_EQ(QorDbCliOutstandingBuffers(), 0);
    }
  }

  // Runs a script and answers the last statement's message.
  std::string Run(const std::string& script) {
    runner->Run(script.c_str());
    return runner->GetMessage();
  }
  std::string Text(const char* table, const char* field) {
    return runner->GetResultView()->GetTable(table)->GetField(field).AsString();
  }
  std::vector<std::vector<std::string>> Records(const char* db, const char* record) {
    return server->Records(db, record);
  }

  std::optional<RdmFileImport> runner;
};

class SourceTest : public SqlLiveBase {
 protected:
  void Fill(QorTestServer& s) override {
    s.AddDatabase(kKelvado);
    s.Load("KELVADO", "UGYFEL",
           "UCODE\tNAME\tTOROLT\tRENDSZAMCODE\n"
           "1\tKiss Anna\t0x00\t100\n"
           "2\tNagy Béla\t0x00\t101\n"
           "3\tTörölt Ödön\t0x01\t102\n");
    s.Load("KELVADO", "CIMLINK",
           "CIMCODE\tCODE\tTABLE\n500\t1\t1\n501\t1\t1\n502\t2\t1\n503\t1\t2\n504\t3\t1\n");
    s.Load("KELVADO", "CIM",
           "CIMCODE\tVAROS\tUTCA\n500\tGyőr\tFő utca\n501\tPécs\tKert utca\n"
           "502\tEger\tVár utca\n503\tSopron\tDomb utca\n504\tTata\tTó utca\n");
    s.Load("KELVADO", "TELEFON", "TELCODE\tSZAM\n700\t1234567\n701\t7654321\n702\t5555555\n");
    s.Load("KELVADO", "TELEFONLINK", "TELCODE\tCODE\tTABLE\n700\t1\t1\n701\t1\t1\n702\t3\t1\n");
    s.Load("KELVADO", "RENDSZAM", "RCODE\tRSZAM\n100\tABC-123\n101\tXYZ-987\n102\tQQQ-111\n");
  }

  // Every remaining row of the result view as "customer/address/telephone/plate".
  std::vector<std::string> Rows() {
    RdmView* view = runner->GetResultView();
    std::vector<std::string> rows;
    while (view->Next())
      rows.push_back(Text("UGYFEL", "UCODE") + "/" + Text("CIM", "CIMCODE") + "/" +
                     Text("TELEFON", "TELCODE") + "/" + Text("RENDSZAM", "RSZAM"));
    return rows;
  }
  // The source's record texts, all tables, and the users and sequences, for
  // comparing before and after.
  std::map<std::string, std::vector<std::vector<std::string>>> Dump() {
    std::map<std::string, std::vector<std::vector<std::string>>> all;
    for (const char* t : {"UGYFEL", "CIMLINK", "CIM", "TELEFON", "TELEFONLINK", "RENDSZAM"})
      all[t] = Records("KELVADO", t);
    for (const char* t : {"dbuser", "sequencies"}) all[t] = Records("SYSDB", t);
    return all;
  }
};

TEST_F(SourceTest, TheSourceScriptJoinsEveryCustomerWithAddressesTelephonesAndPlate) {
  EXPECT_EQ(Run(kSourceScript), "%i row selected.");
  RdmView* view = runner->GetResultView();
  ASSERT_EQ(view->GetTableCount(), 6);
  std::vector<std::string> aliases;
  for (int i = 0; i < 6; ++i) aliases.push_back(static_cast<RdmStoreTab*>((*view)[i])->GetAlias());
  EXPECT_EQ(aliases, (std::vector<std::string>{"UGYFEL", "CIMLINK", "CIM", "RENDSZAM",
                                               "TELEFONLINK", "TELEFON"}));
  // Without option 4 the customer without a telephone is passed over.
  EXPECT_EQ(view->Size(), 4);
  const char option[] = {4, 0};
  view->AddTableOption(option);
  EXPECT_EQ(Rows(),
            (std::vector<std::string>{"1/500/700/ABC-123", "1/500/701/ABC-123", "1/501/700/ABC-123",
                                      "1/501/701/ABC-123", "2/502/0/XYZ-987"}));
}

TEST_F(SourceTest, ColumnsAndOrder) {
  Run("SELECT CIM.VAROS, UTCA FROM CIM ORDER BY VAROS;");
  RdmTable* cim = runner->GetResultView()->GetTable("CIM");
  EXPECT_FALSE(cim->HasField("CIMCODE", false));
  std::vector<std::string> towns;
  while (runner->GetResultView()->Next()) towns.push_back(Text("CIM", "VAROS"));
  EXPECT_EQ(towns, (std::vector<std::string>{"Eger", "Győr", "Pécs", "Sopron", "Tata"}));
  // A filter on the main table's key; a quoted text never names a field.
  Run("select * from UGYFEL where TOROLT = '0x01';");
  ASSERT_TRUE(runner->GetResultView()->Next());
  EXPECT_EQ(Text("UGYFEL", "UCODE"), "3");
  EXPECT_FALSE(runner->GetResultView()->Next());
  Run("select * from UGYFEL where UCODE = 'NAME';");
  EXPECT_EQ(runner->GetResultView()->Size(), 0);
}

struct FailingSelect {
  const char* script;
  const char* message;
};
// Readable case names in the test list.
void PrintTo(const FailingSelect& f, std::ostream* os) { *os << f.script; }

class SelectRefusalTest : public SourceTest, public ::testing::WithParamInterface<FailingSelect> {};

TEST_P(SelectRefusalTest, LeavesAViewWithoutMaster) {
  EXPECT_EQ(Run(GetParam().script), GetParam().message);
  RdmView* view = runner->GetResultView();
  EXPECT_FALSE(view->Next());
  const char option[] = {4, 0};
  EXPECT_EQ(RaisedBy([&] { view->AddTableOption(option); }).code, 2011);
  EXPECT_EQ(RaisedBy([&] { view->Size(); }).code, 2011);
}

INSTANTIATE_TEST_SUITE_P(
    Scripts, SelectRefusalTest,
    ::testing::Values(
        FailingSelect{"SELECT * FROM UGYFEL, CIM;", "Hiányzik a feltétel!"},
        FailingSelect{"SELECT * FROM UGYFEL, CIM WHERE UGYFEL.UCODE = 1;",
                      "A lekérdezés fő táblája nem azonosítható!"},
        FailingSelect{"SELECT * WHERE UCODE = 1;", "Hiányzik a FROM utasítás!"},
        FailingSelect{"SELECT * FROM UGYFEL WHERE 'x' = 'y';", "A megadott feltétel hibás: X=Y"},
        FailingSelect{"SELECT * FROM UGYFEL WHERE UCODE < 1;", "Ismeretlen operátor: <"},
        // An operator other than "=" in a join or a child's condition.
        FailingSelect{"SELECT * FROM UGYFEL, CIMLINK WHERE CIMLINK.CODE <> UGYFEL.UCODE;",
                      "Ismeretlen operátor: <>"},
        FailingSelect{"SELECT * FROM UGYFEL, CIMLINK WHERE CIMLINK.CODE = UGYFEL.UCODE AND "
                      "CIMLINK.TABLE <> 1;",
                      "Ismeretlen operátor: <>"},
        // Conditions the view would leave out: a second filter of the main
        // table, a join inside one table, a table outside the statement, a
        // second join of one child.
        FailingSelect{"SELECT * FROM UGYFEL, CIMLINK WHERE CIMLINK.CODE = UGYFEL.UCODE AND "
                      "UGYFEL.TOROLT = '0x00' AND UGYFEL.UCODE = 2;",
                      "A megadott feltétel hibás: UCODE=2"},
        FailingSelect{"SELECT * FROM CIM WHERE VAROS = UTCA;",
                      "A megadott feltétel hibás: VAROS=UTCA"},
        FailingSelect{"SELECT * FROM CIM WHERE CIMLINK.CIMCODE = 500;",
                      "A megadott feltétel hibás: CIMCODE=500"},
        FailingSelect{"SELECT * FROM UGYFEL, CIMLINK WHERE CIMLINK.CODE = UGYFEL.UCODE AND "
                      "CIM.CIMCODE = CIMLINK.CIMCODE;",
                      "A megadott feltétel hibás: CIMCODE=CIMCODE"},
        FailingSelect{"SELECT * FROM UGYFEL, CIMLINK WHERE CIMLINK.CODE = UGYFEL.UCODE AND "
                      "CIMLINK.CIMCODE = UGYFEL.RENDSZAMCODE;",
                      "A megadott feltétel hibás: CIMCODE=RENDSZAMCODE"},
        // Conditions are joined by AND alone, and the last one ends the statement.
        FailingSelect{"SELECT * FROM UGYFEL WHERE UCODE = 1 OR UCODE = 2;", "Ismeretlen token: OR"},
        FailingSelect{"SELECT * FROM UGYFEL WHERE UCODE = 1 garbage;", "Ismeretlen token: garbage"},
        FailingSelect{"SELECT * FROM UGYFEL WHERE UCODE = 1 AND;",
                      "Az utasítás nem megfelelően ért véget!"},
        // Statements that end early.
        FailingSelect{"SELECT * FROM UGYFEL WHERE UCODE =;",
                      "Az utasítás nem megfelelően ért véget!"},
        FailingSelect{"SELECT * FROM NINCS;", "Tábla nem elérhető!\n (NINCS)"}));

TEST_F(SourceTest, DataStatementsChangeOnlyWhatTheySayAndRollBack) {
  const auto before = Dump();
  EXPECT_EQ(Run("INSERT INTO CIM VALUES (600, 'Ózd', NULL);"), "%i record inserted.");
  EXPECT_EQ(Run("INSERT INTO RENDSZAM (RSZAM, RCODE) VALUES ('NEW-1', 103);"),
            "%i record inserted.");
  EXPECT_EQ(Run("UPDATE CIM SET UTCA = 'Új utca', VAROS = 'Ács' WHERE CIMCODE = 501;"),
            "%i record updated.");
  EXPECT_EQ(Run("DELETE FROM CIMLINK WHERE CIMCODE = 503;"), "%i record deleted.");
  EXPECT_EQ(Run("DELETE FROM TELEFON;"), "%i record deleted.");
  // The connection sees its own changes.
  Run("SELECT * FROM CIM WHERE CIMCODE = 501;");
  ASSERT_TRUE(runner->GetResultView()->Next());
  EXPECT_EQ(Text("CIM", "UTCA"), "Új utca");
  Run("SELECT * FROM TELEFON;");
  EXPECT_EQ(runner->GetResultView()->Size(), 0);
  // NULL leaves an INSERT's field cleared; in a SET list it is the text.
  EXPECT_EQ(Run("UPDATE CIM SET VAROS = NULL WHERE CIMCODE = 600;"), "%i record updated.");
  Run("SELECT * FROM CIM WHERE CIMCODE = 600;");
  ASSERT_TRUE(runner->GetResultView()->Next());
  EXPECT_EQ(Text("CIM", "UTCA"), "");
  EXPECT_EQ(Text("CIM", "VAROS"), "NULL");
  // The values of an INSERT without columns fill the fields up to the compound key.
  EXPECT_EQ(Run("INSERT INTO CIMLINK VALUES (600, 9, 1);"), "%i record inserted.");
  EXPECT_EQ(Run("INSERT INTO CIMLINK VALUES (600, 9, 1, 4);"),
            "A mezők és a megadott értékek száma nem egyezik!");
  EXPECT_EQ(Run("ROLLBACK;"), "Transaction aborted.");
  EXPECT_EQ(Dump(), before);
  // Nothing open any more: no server call, no message.
  EXPECT_EQ(Run("COMMIT;"), "");
}

TEST_F(SourceTest, CommitKeepsTheChanges) {
  EXPECT_EQ(Run("DELETE FROM TELEFONLINK WHERE TELCODE = 702;"), "%i record deleted.");
  EXPECT_EQ(Run("INSERT INTO TELEFON (TELCODE, SZAM) VALUES (703, '999');\n"
                "UPDATE TELEFON SET SZAM = 'x';\n"
                "DELETE FROM TELEFONLINK WHERE TELCODE = 702;\n"
                "COMMIT;"),
            "Transaction commited.");
  auto phones = Records("KELVADO", "TELEFON");
  ASSERT_EQ(phones.size(), 4u);
  std::vector<std::string> codes;
  for (const auto& phone : phones) {
    codes.push_back(phone[0]);
    EXPECT_EQ(phone[1], "x");
  }
  // Every record rewritten in its own place: none overwritten with another.
  EXPECT_EQ(codes, (std::vector<std::string>{"700", "701", "702", "703"}));
  EXPECT_EQ(Records("KELVADO", "TELEFONLINK").size(), 2u);
}

TEST_F(SourceTest, NeitherTheScriptsEndNorTheRunnerCommits) {
  EXPECT_EQ(Run("INSERT INTO TELEFON VALUES (709, 'e');"), "%i record inserted.");
  runner.reset();
  map.GetDescriptionAt(0).EndTransaction(false);
  EXPECT_EQ(Records("KELVADO", "TELEFON").size(), 3u);
}

TEST_F(SourceTest, DeleteAndUpdateRefuseConditionsTheyCannotApply) {
  const auto before = Dump();
  for (const char* script : {
           "DELETE FROM CIMLINK WHERE CIMCODE = 503 AND CODE = 2;",
           "DELETE FROM CIMLINK WHERE CIMCODE = 503 OR CODE = 2;",
           "DELETE FROM CIMLINK WHERE CIMCODE = CODE;",
           "DELETE FROM CIMLINK WHERE CIM.CIMCODE = 500;",
           "DELETE FROM CIMLINK WHERE;",
           "UPDATE CIM SET VAROS = 'x' WHERE CIMCODE = 500 OR CIMCODE = 501;",
           "UPDATE CIM SET VAROS = 'x' WHERE CIMCODE = UTCA;",
           "UPDATE CIM SET VAROS = WHERE CIMCODE = 500;",
           "UPDATE CIM SET VAROS;",
           "UPDATE CIM VAROS = 'x';",
           // The server would rewrite whichever record carries the new key value.
           "UPDATE CIM SET CIMCODE = 502 WHERE CIMCODE = 500;",
           // Without a unique key the server cannot tell records of one value apart.
           "UPDATE CIMLINK SET TABLE = 7 WHERE CODE = 1;",
           // A mistyped or missing WHERE is no licence to act on every record.
           "DELETE FROM CIMLINK WEHRE CIMCODE = 503;",
           "DELETE FROM CIMLINK CIMCODE = 503;",
           "UPDATE CIM SET VAROS = 'x' WEHRE CIMCODE = 500;",
           "UPDATE CIM SET VAROS = 'x' UTCA = 'y';",
       }) {
    std::string message = Run(script);
    EXPECT_NE(message.find_first_of("%"), 0u) << script;
    EXPECT_EQ(message.find("record"), std::string::npos) << script << ": " << message;
  }
  EXPECT_EQ(Run("UPDATE CIM SET VAROS = 'x' WHERE CIMCODE = UTCA;"),
            "A megadott feltétel hibás: CIMCODE=UTCA");
  EXPECT_EQ(Run("UPDATE CIM VAROS = 'x';"), "Az UPDATE-ben a SET utasítás hiányzik!");
  EXPECT_EQ(Run("UPDATE CIM SET VAROS;"), "A mezőérték nem állítható be!");
  EXPECT_EQ(Run("UPDATE CIM SET VAROS = 'x', CIMCODE = 502 WHERE CIMCODE = 500;"),
            "A mezőérték nem állítható be!\n (CIMCODE)");
  EXPECT_EQ(Run("UPDATE CIMLINK SET TABLE = 7 WHERE CODE = 1;"),
            "Nincs egyértelmű kulcs!\n (CIMLINK)");
  EXPECT_EQ(Run("DELETE FROM CIMLINK WEHRE CIMCODE = 503;"), "Ismeretlen token: WEHRE");
  EXPECT_EQ(Run("UPDATE CIM SET VAROS = 'x' UTCA = 'y';"), "Ismeretlen token: UTCA");
  // Committed, not rolled back: a refused statement changed nothing at all.
  EXPECT_EQ(Run("COMMIT;"), "Transaction commited.");
  EXPECT_EQ(Dump(), before);
}

struct RefusedStatement {
  const char* script;
  const char* message;
};
void PrintTo(const RefusedStatement& r, std::ostream* os) { *os << r.script; }

class RefusedStatementTest : public SourceTest,
                             public ::testing::WithParamInterface<RefusedStatement> {};

// A statement that says something other than what the engine would do is
// refused whole: no record of the server changes, committed or not.
TEST_P(RefusedStatementTest, ChangesNothing) {
  const auto before = Dump();
  EXPECT_EQ(Run(GetParam().script), GetParam().message);
  Run("COMMIT;");
  EXPECT_EQ(Dump(), before);
}

constexpr const char* kCounts = "A mezők és a megadott értékek száma nem egyezik!";

INSTANTIATE_TEST_SUITE_P(
    Scripts, RefusedStatementTest,
    ::testing::Values(
        // Columns and values pair one to one, a comma with a comma.
        RefusedStatement{"INSERT INTO CIM (CIMCODE VAROS UTCA) VALUES (601, 'a');", kCounts},
        RefusedStatement{"INSERT INTO CIM (CIMCODE, VAROS) VALUES (601 'a' 'b');", kCounts},
        RefusedStatement{"INSERT INTO CIM (CIMCODE,, VAROS) VALUES (601,, 'a');", kCounts},
        RefusedStatement{"INSERT INTO CIM VALUES (602 'a' 'b');", kCounts},
        RefusedStatement{"INSERT INTO CIM () VALUES ();", kCounts},
        RefusedStatement{"INSERT INTO CIM (CIMCODE) x VALUES (604);",
                         "Nincsenek megadva a beszúrandó mezők értékei!"},
        // Nothing may follow what a statement does, least of all a second statement.
        RefusedStatement{"INSERT INTO CIM VALUES (603, 'a', 'b') x;", "Ismeretlen token: x"},
        RefusedStatement{"INSERT INTO CIM (CIMCODE) VALUES (605) DELETE FROM CIMLINK;",
                         "Ismeretlen token: DELETE"},
        RefusedStatement{"INSERT DELETE FROM CIMLINK;", "Ismeretlen token: DELETE"},
        RefusedStatement{"DELETE UPDATE CIM SET VAROS = 'x';", "Ismeretlen token: UPDATE"},
        RefusedStatement{"DESC CIM DELETE FROM CIMLINK;", "Ismeretlen token: DELETE"},
        RefusedStatement{"SELECT * FROM CIM ORDER BY VAROS DELETE FROM CIMLINK;",
                         "Ismeretlen token: DELETE"},
        RefusedStatement{"COMMIT DELETE FROM CIMLINK;", "Ismeretlen token: DELETE"},
        RefusedStatement{"DROP USER admin garbage;", "Ismeretlen token: garbage"},
        RefusedStatement{"CREATE USER kovacs ACCOUNT LOCK IDENTIFIED BY titok;",
                         "Ismeretlen token: IDENTIFIED"},
        RefusedStatement{"CREATE ROLE olvaso IDENTIFIED BY titok;", "Ismeretlen token: IDENTIFIED"},
        // The condition ends the statement; conditions are joined by AND alone.
        RefusedStatement{"DELETE FROM CIMLINK WHERE CIMCODE = 503 garbage;",
                         "Ismeretlen token: garbage"},
        RefusedStatement{"UPDATE CIM SET VAROS = 'a' WHERE CIMCODE = 500 OR;",
                         "Ismeretlen token: OR"},
        RefusedStatement{"DELETE FROM CIMLINK WHERE CIMCODE = 503 AND;",
                         "Az utasítás nem megfelelően ért véget!"},
        // The unique key is not set, with WHERE or without.
        RefusedStatement{"UPDATE CIM SET VAROS = 'u', CIMCODE = 7;",
                         "A mezőérték nem állítható be!\n (CIMCODE)"}));

TEST_F(SourceTest, UpdatesRewriteEachRecordInItsOwnPlace) {
  EXPECT_EQ(Run("UPDATE CIM SET UTCA = 'u' WHERE CIMCODE <> 501;\n"
                "UPDATE CIMLINK SET TABLE = 8;\n"
                "COMMIT;"),
            "Transaction commited.");
  EXPECT_EQ(Records("KELVADO", "CIM"),
            (std::vector<std::vector<std::string>>{{"500", "Győr", "u"},
                                                   {"501", "Pécs", "Kert utca"},
                                                   {"502", "Eger", "u"},
                                                   {"503", "Sopron", "u"},
                                                   {"504", "Tata", "u"}}));
  EXPECT_EQ(Records("KELVADO", "CIMLINK"),
            (std::vector<std::vector<std::string>>{{"500", "1", "8"},
                                                   {"501", "1", "8"},
                                                   {"502", "2", "8"},
                                                   {"503", "1", "8"},
                                                   {"504", "3", "8"}}));
}

TEST_F(SourceTest, InsertRefusals) {
  struct Case {
    const char* script;
    const char* message;
  };
  for (const Case& c : {
           Case{"INSERT INTO CIM VALUES (601, 'a', 'b', 'c');",
                "A mezők és a megadott értékek száma nem egyezik!"},
           Case{"INSERT INTO CIM (CIMCODE, VAROS) VALUES (601);",
                "A mezők és a megadott értékek száma nem egyezik!"},
           Case{"INSERT INTO CIM (CIMCODE, VAROS);",
                "Nincsenek megadva a beszúrandó mezők értékei!"},
           Case{"INSERT INTO CIM VALUES;", "Nincsenek megadva a beszúrandó mezők értékei!"},
           Case{"INSERT INTO CIM (NINCS) VALUES (1);", "Mező nem elérhető!\n (NINCS)"},
           Case{"INSERT CIM VALUES (1);", "Ismeretlen token: CIM"},
           Case{"FOO;", "Ismeretlen token: FOO"},
       })
    EXPECT_EQ(Run(c.script), c.message) << c.script;
  Run("ROLLBACK;");
  EXPECT_EQ(Records("KELVADO", "CIM").size(), 5u);
}

TEST_F(SourceTest, ClientModeGoesPastAFailingStatement) {
  Run("INSERT INTO NINCS VALUES (1); INSERT INTO TELEFON VALUES (704, 'ok'); COMMIT;");
  EXPECT_EQ(Records("KELVADO", "TELEFON").size(), 4u);
  // A SELECT followed by another statement leaves that statement's view.
  Run("SELECT * FROM CIM; COMMIT;");
  EXPECT_FALSE(runner->GetResultView()->Next());
}

TEST_F(SourceTest, TheTokenizerRefusalLeavesTheRunner) {
  Raised r = RaisedBy([&] { runner->Run("SELECT * FROM ORDERS;"); });
  EXPECT_EQ(r.code, 2018);
  EXPECT_EQ(r.message, "Hibás kulcsszó: ORDER!");
}

TEST_F(SourceTest, AnActiveTransactionFailsTheFirstDataStatementOnly) {
  map.GetDescriptionAt(0).BeginTransaction("other");
  EXPECT_EQ(Run("INSERT INTO TELEFON VALUES (705, 'a');"), "Tranzakció aktív!\n (SQL)");
  EXPECT_EQ(Run("INSERT INTO TELEFON VALUES (706, 'b');"), "%i record inserted.");
  EXPECT_EQ(Run("COMMIT;"), "Transaction commited.");
  EXPECT_EQ(Records("KELVADO", "TELEFON").size(), 4u);
}

TEST_F(SourceTest, SequencesAlteredKeepWhatTheStatementDoesNotName) {
  EXPECT_EQ(Run("CREATE SEQUENCE ugy_seq CYCLE INCREMENT BY 5 MAXVALUE 90;"),
            "UGY_SEQ sequence created.");
  EXPECT_EQ(Run("ALTER SEQUENCE ugy_seq START WITH 40;"), "UGY_SEQ sequence altered.");
  // seq_name, seq_id, seq_step, seq_max, seq_min, seq_recycle, seq_chace
  std::vector<std::string> stored;
  for (const auto& row : Records("SYSDB", "sequencies"))
    if (!row.empty() && row[0] == "UGY_SEQ") stored = row;
  EXPECT_EQ(stored, (std::vector<std::string>{"UGY_SEQ", "40", "5", "90", "0", "1", "0"}));
  // The sequence serves the next id of an INSERT.
  EXPECT_EQ(Run("INSERT INTO TELEFON VALUES (UGY_SEQ.nextval, SYSDATE); COMMIT;"),
            "Transaction commited.");
  auto phones = Records("KELVADO", "TELEFON");
  ASSERT_EQ(phones.size(), 4u);
  EXPECT_EQ(phones[3][0], "40");
  EXPECT_EQ(phones[3][1].size(), 10u);  // seconds since 1970
  EXPECT_EQ(Run("ALTER SEQUENCE nincs CYCLE;"), "NINCS sequence not found.");
  EXPECT_EQ(Run("DROP SEQUENCE ugy_seq;"), "UGY_SEQ sequence dropped.");
  EXPECT_EQ(Run("DROP SEQUENCE ugy_seq;"), "UGY_SEQ sequence not found.");
  EXPECT_EQ(Run("CREATE SEQUENCE;"), "Az utasítás nem megfelelően ért véget!");
  EXPECT_EQ(Run("CREATE SEQUENCE s INCREMENT 5;"),
            "Az utasítás nem megfelelően ért véget!\n (Hiányzik az INCREMENT után a BY)");
  EXPECT_EQ(Run("CREATE SEQUENCE s2 BOGUS;"), "Ismeretlen token: BOGUS");
  EXPECT_EQ(Run("CREATE TABLE t;"), "Ez a művelet itt nem megengedett!");
}

// One sequence per name whatever its case: each way of adding one refuses a
// name that a stored one, or one added with it, has in another case.
enum class Adding { kCreateSequence, kAddSequence, kLoad };
struct SequenceAdding {
  const char* what;
  Adding firstBy;
  const char* first;  // stored before; none when empty
  Adding thenBy;
  std::vector<std::string> then;    // in one file by load, one after another otherwise
  const char* refusal;              // part of the refusal's message; "" when accepted
  std::vector<std::string> stored;  // the names stored afterwards, besides "sysdb_dbuser"
};
void PrintTo(const SequenceAdding& c, std::ostream* os) { *os << c.what; }

class SequenceAddingTest : public SqlLiveBase,
                           public ::testing::WithParamInterface<SequenceAdding> {
 protected:
  void Fill(QorTestServer&) override {}
  // The refusal's message, "" when every name was added.
  std::string Add(Adding way, const std::vector<std::string>& names) {
    try {
      std::string file = "seq_name\tseq_id\tseq_step\n";
      for (const std::string& name : names) {
        if (way == Adding::kCreateSequence) {
          const std::string message = Run("CREATE SEQUENCE " + name + ";");
          if (message != ToUpper(name) + " sequence created.") return message;
        }
        if (way == Adding::kAddSequence) server->AddSequence(name);
        file += name + "\t1\t1\n";
      }
      if (way == Adding::kLoad) server->Load("SYSDB", "sequencies", file);
    } catch (const ToolError& e) {
      return e.what();
    }
    return "";
  }
};

TEST_P(SequenceAddingTest, RefusesANameStoredInAnotherCase) {
  const SequenceAdding& c = GetParam();
  if (*c.first) {
    ASSERT_EQ(Add(c.firstBy, {c.first}), "");
  }
  const std::string refusal = Add(c.thenBy, c.then);
  if (*c.refusal)
    EXPECT_NE(refusal.find(c.refusal), std::string::npos) << refusal;
  else
    EXPECT_EQ(refusal, "");
  std::vector<std::string> stored;
  for (const auto& row : server->DumpedRecords("SYSDB", "sequencies"))
    if (row.at(0) != "sysdb_dbuser") stored.push_back(row.at(0));
  EXPECT_EQ(stored, c.stored);
}

INSTANTIATE_TEST_SUITE_P(
    Ways, SequenceAddingTest,
    ::testing::Values(SequenceAdding{"CREATE SEQUENCE beside add-sequence's",
                                     Adding::kAddSequence,
                                     "next_one",
                                     Adding::kCreateSequence,
                                     {"Next_One"},
                                     "Az egyedi azonosító már létezik!",
                                     {"next_one"}},
                      SequenceAdding{"add-sequence beside CREATE SEQUENCE's",
                                     Adding::kCreateSequence,
                                     "next_one",
                                     Adding::kAddSequence,
                                     {"next_One"},
                                     "sequence next_One already exists as NEXT_ONE",
                                     {"NEXT_ONE"}},
                      SequenceAdding{"load beside CREATE SEQUENCE's",
                                     Adding::kCreateSequence,
                                     "next_one",
                                     Adding::kLoad,
                                     {"next_one"},
                                     "line 2: sequence next_one already exists as NEXT_ONE",
                                     {"NEXT_ONE"}},
                      // The whole file is refused, its first record too.
                      SequenceAdding{"load beside add-sequence's",
                                     Adding::kAddSequence,
                                     "next_one",
                                     Adding::kLoad,
                                     {"other", "NEXT_ONE"},
                                     "line 3: sequence NEXT_ONE already exists as next_one",
                                     {"next_one"}},
                      SequenceAdding{"two spellings in one load",
                                     Adding::kLoad,
                                     "",
                                     Adding::kLoad,
                                     {"next_one", "Next_One"},
                                     "line 3: sequence Next_One already exists as next_one",
                                     {}},
                      SequenceAdding{"other names by CREATE SEQUENCE",
                                     Adding::kLoad,
                                     "next_one",
                                     Adding::kCreateSequence,
                                     {"next_two"},
                                     "",
                                     {"next_one", "NEXT_TWO"}},
                      SequenceAdding{"other names by add-sequence",
                                     Adding::kCreateSequence,
                                     "next_one",
                                     Adding::kAddSequence,
                                     {"next_two"},
                                     "",
                                     {"NEXT_ONE", "next_two"}},
                      SequenceAdding{"other names by load",
                                     Adding::kAddSequence,
                                     "next_one",
                                     Adding::kLoad,
                                     {"next_two", "NEXT_THREE"},
                                     "",
                                     {"next_one", "next_two", "NEXT_THREE"}}));

TEST_F(SourceTest, SchemaStatementsCommitTheOpenTransaction) {
  Run("INSERT INTO TELEFON VALUES (707, 'c');");
  EXPECT_EQ(Run("CREATE TABLE t;"), "Ez a művelet itt nem megengedett!");
  EXPECT_EQ(Records("KELVADO", "TELEFON").size(), 4u);
  // The commit ended "SQL": nothing left to roll back, and the next change begins anew.
  EXPECT_EQ(Run("ROLLBACK;"), "");
  EXPECT_EQ(Run("INSERT INTO TELEFON VALUES (708, 'd'); ROLLBACK;"), "Transaction aborted.");
  EXPECT_EQ(Records("KELVADO", "TELEFON").size(), 4u);
}

TEST_F(SourceTest, UsersAreStoredScrambledAndCanLogIn) {
  EXPECT_EQ(Run("CREATE USER kovacs IDENTIFIED BY titok ACCOUNT UNLOCK;"),
            "User KOVACS created succesfuly!");
  EXPECT_EQ(Run("CREATE ROLE olvaso;"), "Role OLVASO created succesfuly!");
  EXPECT_EQ(Run("CREATE USER;"),
            "Az utasítás nem megfelelően ért véget!\n (Nincs megadva a felhasználó vagy "
            "szerepkör neve!)");
  EXPECT_EQ(Run("CREATE USER x IDENTIFIED titok;"), "Az IDENTIFIED BY hiányzik!");
  const auto users = Records("SYSDB", "dbuser");
  EXPECT_EQ(users.size(), 3u);  // ADMIN and the two new ones: the refusals wrote nothing
  // userid, type, name, psw, enabled: name and password scrambled as the login reads them.
  auto scrambled = [](std::string text) {
    SecurityCode().Encode(static_cast<unsigned>(text.size()), text.data());
    return text;
  };
  const auto kovacs = std::find_if(users.begin(), users.end(),
                                   [&](const auto& row) { return row[2] == scrambled("KOVACS"); });
  ASSERT_NE(kovacs, users.end());
  EXPECT_EQ((*kovacs)[3], scrambled("TITOK"));
  EXPECT_EQ((*kovacs)[4], "\x01");
  TQoLogin other;
  EXPECT_TRUE(other.Login("SRC", "KOVACS", "titok", false, ""));
  other.Logout();
  // Nor did they draw an id: the next user takes the one after the role's.
  EXPECT_EQ(Run("CREATE USER nagy;"), "User NAGY created succesfuly!");
  auto idOf = [&](const char* name) {
    for (const auto& row : Records("SYSDB", "dbuser"))
      if (row[2] == scrambled(name)) return std::stol(row[0]);
    return -1L;
  };
  EXPECT_EQ(idOf("NAGY"), idOf("OLVASO") + 1);
  EXPECT_EQ(Run("DROP USER kovacs;"), "User KOVACS dropped!");
  EXPECT_EQ(Run("DROP USER senki;"), "User SENKI dropped!");
  EXPECT_EQ(Records("SYSDB", "dbuser").size(), 3u);
}

TEST_F(SourceTest, DescribeWritesACreateTableText) {
  EXPECT_EQ(Run("DESC KELVADO.cimlink;"),
            "create table CIMLINK(\r\n  CIMCODE  NUMBER(10),\r\n  CODE  NUMBER(10),\r\n"
            "  TABLE  NUMBER(5));\r\n");
  // A compound key between fields: every name keeps its own type.
  EXPECT_EQ(Run("DESCRIBE KAPCS;"),
            "create table KAPCS(\r\n  A  NUMBER(10),\r\n  B  NUMBER(10),\r\n"
            "  C  VARCHAR2(5));\r\n");
  EXPECT_EQ(Run("DESCRIBE NINCS;"), "Tábla nem elérhető!\n (NINCS)");
}

TEST_F(SourceTest, ServerModeSendsTheTokensAsText) {
  RdmFileImport server;
  server.Attach(&map, true);
  server.Run("select * from CIM where VAROS = 'Győr' -- note\r\n;");
  EXPECT_STREQ(QorDbCliLastSql(map.GetHandle()), "SELECT * FROM CIM WHERE VAROS = Győr ; ");
  EXPECT_EQ(RaisedBy([&] { server.GetResultView(); }).code, 10038);
}

// The destination side: customers in UGYFEL, contacts and addresses in ALAP.
class DestinationTest : public SqlLiveBase {
 protected:
  void CheckDestinationScript();
  void Fill(QorTestServer& s) override {
    s.AddDatabase(R"(database UGYFEL id 21
record UGYFEL
  UGY_ID    l unique
  UGY_AZON  c 21
  UGY_NEV   c 41
  VAROS     c 41
end
)");
    s.AddDatabase(R"(database ALAP id 22
record ELERTIP
  ELET_ID     l unique
  ELET_TIPUS  c 41
end
record CIMTIP
  CIMT_ID     l unique
  CIMT_TIPUS  c 41
end
record ELERHETOSEG
  ELER_ID         l unique
  ELER_OWNER      l key
  ELER_TABLECODE  s
  ELET_ID         l
  ELER_ADAT       c 41
end
record CIM
  CIM_ID          l unique
  CIM_OWNER       l key
  CIM_TABLECODE   s
  CIMT_ID         l
  CIM_IRSZAM      c 11
  CIM_TELEPULES   c 41
  CIM_KOZTERULET  c 61
  CIM_HAZSZAM     c 21
end
)");
    LoadRecords(s);
  }

 public:
  static void LoadRecords(QorTestServer& s) {
    s.Load("UGYFEL", "UGYFEL", "UGY_ID\tUGY_AZON\tUGY_NEV\n1\tA1\tKiss Anna\n");
    s.Load("ALAP", "ELERTIP", "ELET_ID\tELET_TIPUS\n6\tMobil\n");
    s.Load("ALAP", "CIMTIP", "CIMT_ID\tCIMT_TIPUS\n1\tLakcím\n");
    s.Load("ALAP", "ELERHETOSEG",
           "ELER_ID\tELER_OWNER\tELER_TABLECODE\tELET_ID\tELER_ADAT\n"
           "1\t1\t2\t6\t(36)30/123-45-67\n2\t1\t3\t6\tmásik tábla\n");
    s.Load("ALAP", "CIM",
           "CIM_ID\tCIM_OWNER\tCIM_TABLECODE\tCIMT_ID\tCIM_TELEPULES\n1\t1\t2\t1\tGyőr\n");
  }
};

// The same tables as the demo destination server defines them, beside the
// third database of the import's map: the contacts and addresses are
// selected by their compound owner keys, with the table code as a key
// constant.
class DemoDestinationTest : public DestinationTest {
 protected:
  void Fill(QorTestServer& s) override {
    for (const char* db : {"DEVUDAVARER", "UGYFEL", "ALAP"}) {
      std::ifstream in(std::string(SQL_DEMO_DIR) + "/destination/" + db + ".schema");
      s.AddDatabase(std::string(std::istreambuf_iterator<char>(in), {}));
    }
    LoadRecords(s);
  }
};

TEST_F(DestinationTest, TheDestinationScriptOffersOnlyItsNamedColumns) { CheckDestinationScript(); }
TEST_F(DemoDestinationTest, TheDestinationScriptOffersOnlyItsNamedColumns) {
  CheckDestinationScript();
}

void DestinationTest::CheckDestinationScript() {
  const char* script =
      "\t\t\tselect UGYFEL.UGY_ID, UGYFEL.UGY_AZON, UGYFEL.UGY_NEV, ELERHETOSEG.ELER_ADAT,\t\t\t   "
      "ELERTIP.ELET_TIPUS, CIM.CIM_IRSZAM, CIM.CIM_TELEPULES, CIM.CIM_KOZTERULET,   \t\t\t"
      "CIM.CIM_HAZSZAM, CIMTIP.CIMT_TIPUS\t\t\tfrom UGYFEL, ELERHETOSEG, ELERTIP, CIM, "
      "CIMTIP\t\t\twhere            ELERHETOSEG.ELER_OWNER = UGYFEL.UGY_ID and            "
      "ELERHETOSEG.ELER_TABLECODE = 2 and            ELERTIP.ELET_ID = ELERHETOSEG.ELET_ID and   "
      "         CIM.CIM_OWNER = UGYFEL.UGY_ID and            CIMTIP.CIMT_ID = CIM.CIMT_ID and  "
      "          CIM.CIM_TABLECODE = 2;";
  EXPECT_EQ(Run(script), "%i row selected.");
  RdmView* view = runner->GetResultView();
  EXPECT_EQ(view->GetTableCount(), 5);
  std::vector<std::string> visible;
  view->GetTable("UGYFEL")->GetFldNames(visible);
  EXPECT_EQ(visible, (std::vector<std::string>{"UGY_ID", "UGY_AZON", "UGY_NEV"}));
  EXPECT_FALSE(view->GetTable("ELERHETOSEG")->HasField("ELER_OWNER", false));
  // The ELER_TABLECODE = 2 condition filters the contacts loaded.
  ASSERT_TRUE(view->Next());
  EXPECT_EQ(Text("ELERHETOSEG", "ELER_ADAT"), "(36)30/123-45-67");
  EXPECT_EQ(Text("ELERTIP", "ELET_TIPUS"), "Mobil");
  EXPECT_EQ(Text("CIM", "CIM_TELEPULES"), "Győr");
  EXPECT_EQ(Text("CIMTIP", "CIMT_TIPUS"), "Lakcím");
  EXPECT_FALSE(view->Next());
}

}  // namespace
