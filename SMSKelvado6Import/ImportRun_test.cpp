// The import run, end to end: the real window offscreen, connected through
// its login dialog to a source and a destination server made for the test.
#include "ImportRun.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QEvent>
#include <QGroupBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <algorithm>
#include <cstdlib>
#include <functional>
#include <map>
#include <optional>
#include <ostream>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "BusyAnimation.h"
#include "FncLoader.h"
#include "ImportTest_testutil.h"
#include "WinUi.h"

namespace {

TEST_F(ImportTest, FirstImportWritesEveryCustomerWithItsLinkAddressContactsAndDates) {
  LoadSmallSource();
  Connect();
  RunImport();

  const std::string unique = form->m_srcUnique;
  EXPECT_EQ(unique, "kelvado.qdb_4242_KELVREG01");
  const auto customers = Dest("UGYFEL", "UGYFEL");
  ASSERT_EQ(customers.size(), 2u);
  // UGY_ID, UGY_AZON, UGY_NEV, UGY_TOROLT, VTK, CREATOR, CREATE, LASTMOD, LASTMDT.
  EXPECT_EQ(Column(customers, 2), (std::vector<std::string>{"Kiss Ágnes", "Nagy Béla"}));
  for (const auto& c : customers) {
    EXPECT_EQ(c[1], "");
    EXPECT_EQ(c[3], "0");
    EXPECT_EQ(c[4], "4711");
    EXPECT_EQ(c[5], std::to_string(form->m_destUserId));
    EXPECT_EQ(c[7], std::to_string(form->m_destUserId));
    EXPECT_GT(std::strtod(c[6].c_str(), nullptr), 20250000000000.0);
    EXPECT_EQ(c[6], c[8]);
  }
  const std::string kiss = customers[0][0], nagy = customers[1][0];

  // UGYFEL_IMPORT_ID, UGY_ID, SOURCE_KEY, SERVER_UNIQUE, CREATOR, RECORD_INACTIVE, ...
  const auto links = Dest("DEVUDAVARER", "UGYFEL_IMPORT");
  ASSERT_EQ(links.size(), 2u);
  EXPECT_EQ(links[0][1], kiss);
  EXPECT_EQ(links[0][2], SourceKey("Kiss Ágnes9021GyőrBaross út12/B"));
  EXPECT_EQ(links[1][1], nagy);
  EXPECT_EQ(links[1][2], SourceKey("Nagy Béla7621PécsKirály u.5"));
  for (const auto& l : links) {
    EXPECT_EQ(l[3], unique);
    EXPECT_EQ(l[5], "N");
    EXPECT_EQ(l[6], customers[0][6]);
  }

  // CIM_ID, CIM_OWNER, CIM_TABLECODE, CIMT_ID, CIM_IRSZAM, CIM_TELEPULES, ...
  const auto addresses = Dest("ALAP", "CIM");
  ASSERT_EQ(addresses.size(), 2u);
  EXPECT_EQ(addresses[0],
            (std::vector<std::string>{"1", kiss, "2", "2", "9021", "Győr", "Baross út", "12/B"}));
  EXPECT_EQ(addresses[1],
            (std::vector<std::string>{"2", nagy, "2", "2", "7621", "Pécs", "Király u.", "5"}));

  // ELER_ID, ELER_OWNER, ELER_TABLECODE, ELET_ID, ELER_ADAT, ELER_PREF, ELER_MEGJEGY.
  const auto contacts = Dest("ALAP", "ELERHETOSEG");
  const std::vector<std::vector<std::string>> expected = {
      {"1", kiss, "2", "1", "(36)20/123-45-67:", "0", "Kelvado6 importból."},
      {"2", kiss, "2", "1", "(+36)30/987-65-43:12", "0", "Kelvado6 importból."},
      {"3", nagy, "2", "1", "(+36)1/234-56-78:", "0", "Kelvado6 importból."},
  };
  EXPECT_EQ(contacts, expected);

  // UGYFEL_DATUM_ID, UGYFEL_ID, UGYFEL_DATUM_TIP_ID, DATUM, DATA00, DATA01.
  const auto dates = Dest("DEVUDAVARER", "UGYFEL_DATUM");
  ASSERT_EQ(dates.size(), 3u);
  EXPECT_EQ(dates[0][1], kiss);
  EXPECT_EQ(dates[0][2], "2");
  EXPECT_EQ(std::strtod(dates[0][3].c_str(), nullptr), form->DateFromLong("45657"));
  EXPECT_EQ((std::vector<std::string>{dates[0][4], dates[0][5]}),
            (std::vector<std::string>{"ABC-123", "VIN0001"}));
  EXPECT_EQ(dates[1][2], "3");
  EXPECT_EQ(std::strtod(dates[1][3].c_str(), nullptr), form->DateFromLong("45700"));
  EXPECT_EQ(dates[2][1], nagy);
  EXPECT_EQ(dates[2][2], "4");
  EXPECT_EQ(std::strtod(dates[2][3].c_str(), nullptr), form->DateFromLong("46000"));
  EXPECT_EQ(dates[2][4], "DEF-456");

  // The three date types the run makes sure of.
  EXPECT_EQ(Dest("DEVUDAVARER", "UGYFEL_DATUM_TIP"),
            (std::vector<std::vector<std::string>>{{"2", "Kelvado6 ZK lejárati idő"},
                                                   {"3", "Kelvado6 garancia lejárati idő"},
                                                   {"4", "Kelvado6 műszaki lejárati idő"}}));

  Figures f;
  f.transactions = 2;
  f.rows = 4;
  f.examined = 4;
  f.converted = 1;
  f.newCustomers = 2;
  f.existingCustomers = 1;
  f.newContacts = 3;
  f.newAddresses = 2;
  f.knownAddresses = 1;
  f.newDates = {1, 1, 1};
  EXPECT_EQ(LastStatistics(), StatisticsBlock(f));
  EXPECT_TRUE(HasLine(Stamped("Vizsgálandó bejegyzések száma: 4.")));
  EXPECT_TRUE(HasLine(Stamped("A betöltés sikeresen befejeződött.")));
  EXPECT_EQ(BoxTexts(), (std::vector<std::string>{"A betöltés sikeresen befejeződött."}));
  EXPECT_FALSE(form->m_running);
  EXPECT_EQ(win::ApplicationTitle(), "Kelvimport");
  EXPECT_EQ(form->Label14->text(), "0");
  EXPECT_TRUE(form->Animate1->isHidden());
}

TEST_F(ImportTest, TheOptionLinesAndTheDetailedReportOfARow) {
  LoadSmallSource();
  Connect();
  form->cbDetailed->setChecked(true);
  form->cbEle->setChecked(true);
  RunImport();
  for (const char* line :
       {"Választott betöltési paraméterek:", "Forrás elérhetőség típus: Alapértelmezett (nincsen).",
        "Cél elérhetőség típus: Vezetékes telefon.", "Cél cím típus: Levelezési cím.",
        "Betöltéskor ne írja felül a címeket.", "Betöltéskor írja felül az elérhetőségeket.",
        "Ügyfél alapadatok mellőzése változás esetén.", "Részletes jelentés készítése."})
    EXPECT_TRUE(HasLine(line)) << line;
  for (const char* line :
       {"Táblaterek megnyitva.", "Forrás előkészítve.", "Cél előkészítve.",
        "Elérhetőségek betöltve.", "Ügyfél import adatok betöltve.",
        "Egy új ügyfél beszúrásra került.", "Egy ZAV-számot konvertálni kellett.",
        "A cím már ismert korábbról.", "Egy új elérhetőség beszúrásra került.",
        "Új ZK lejárati idő került rögzítésre.", "Nincs frissebb ZK lejárati idő.",
        "Tranzakció rendben."})
    EXPECT_TRUE(HasLine(Stamped(line))) << line;
}

TEST_F(ImportTest, ARerunWithoutOptionsChangesNothing) {
  LoadSmallSource();
  Connect();
  RunImport();
  const std::string before = DumpDestination();
  RunImport();
  EXPECT_EQ(DumpDestination(), before);
  Figures f;
  f.transactions = 2;
  f.rows = 4;
  f.examined = 4;
  f.converted = 1;
  f.existingCustomers = 3;
  f.knownContacts = 3;
  f.knownAddresses = 3;
  EXPECT_EQ(LastStatistics(), StatisticsBlock(f));
}

TEST_F(ImportTest, OverwriteOptionsReplaceOnlyTheLinkedCustomersRecordsOfTheChosenTypes) {
  LoadSmallSource();
  Connect();
  server.Load("UGYFEL", "UGYFEL",
              "UGY_ID\tUGY_AZON\tUGY_NEV\tVTK\tCREATOR\tCREATE\tLASTMOD\tLASTMDT\n"
              "500\tAZ-500\tRégi Kiss\t5\t9\t20200101000000\t9\t20200101000000\n"
              "501\tAZ-501\tMás Ügyfél\t5\t9\t20200101000000\t9\t20200101000000\n");
  server.Load("DEVUDAVARER", "UGYFEL_IMPORT",
              "UGYFEL_IMPORT_ID\tUGY_ID\tSOURCE_KEY\tSERVER_UNIQUE\n50\t500\t" +
                  SourceKey("Kiss Ágnes9021GyőrBaross út12/B") + "\t" + form->m_srcUnique + "\n");
  server.Load("ALAP", "ELERHETOSEG",
              "ELER_ID\tELER_OWNER\tELER_TABLECODE\tELET_ID\tELER_ADAT\n"
              "70\t500\t2\t1\t(36)99/999-99-99:\n"    // replaced
              "71\t500\t2\t6\t(36)99/999-99-98:\n"    // another type
              "72\t500\t3\t1\t(36)99/999-99-97:\n"    // another owner table
              "73\t501\t2\t1\t(36)99/999-99-96:\n");  // another customer
  server.Load("ALAP", "CIM",
              "CIM_ID\tCIM_OWNER\tCIM_TABLECODE\tCIMT_ID\tCIM_TELEPULES\n"
              "80\t500\t2\t2\tRégi város\n"   // replaced
              "81\t500\t2\t1\tLakóhely\n"     // another type
              "82\t500\t3\t2\tMás tábla\n");  // another owner table
  const double older = form->DateFromLong("45000"), later = form->DateFromLong("50000");
  server.Load("DEVUDAVARER", "UGYFEL_DATUM",
              "UGYFEL_DATUM_ID\tUGYFEL_ID\tUGYFEL_DATUM_TIP_ID\tDATUM\tDATA00\tDATA01\n"
              "60\t500\t2\t" +
                  Text(older) +
                  "\tABC-123\tVIN-RÉGI\n"
                  "61\t500\t3\t" +
                  Text(later) +
                  "\tABC-123\tVIN-RÉGI\n"
                  "62\t501\t2\t" +
                  Text(older) + "\tABC-123\tMÁSIK\n");
  form->cbCim->setChecked(true);
  form->cbEle->setChecked(true);
  form->cbUf->setChecked(true);
  RunImport();

  // Only the name and the last-change fields of the linked customer change.
  const auto customers = Dest("UGYFEL", "UGYFEL");
  ASSERT_EQ(customers.size(), 3u);
  const std::string user = std::to_string(form->m_destUserId);
  EXPECT_EQ(customers[0][0], "500");
  EXPECT_EQ(customers[0][1], "AZ-500");
  EXPECT_EQ(customers[0][2], "Kiss Ágnes");
  EXPECT_EQ(customers[0][4], "5");
  EXPECT_EQ(customers[0][5], "9");
  EXPECT_EQ(std::strtod(customers[0][6].c_str(), nullptr), 20200101000000.0);
  EXPECT_EQ(customers[0][7], user);
  EXPECT_GT(std::strtod(customers[0][8].c_str(), nullptr), 20250000000000.0);
  EXPECT_EQ(customers[1][2], "Más Ügyfél");
  EXPECT_EQ(customers[2][2], "Nagy Béla");
  // A new customer takes nothing from the record the table read last.
  EXPECT_EQ(customers[2][1], "");
  EXPECT_EQ(customers[2][4], "4711");

  auto ids = [](const std::vector<std::vector<std::string>>& rows) { return Column(rows, 0); };
  const auto contacts = Dest("ALAP", "ELERHETOSEG");
  EXPECT_EQ(ids(contacts), (std::vector<std::string>{"71", "72", "73", "1", "2", "3"}));
  EXPECT_EQ(contacts[3][1], "500");
  EXPECT_EQ(contacts[3][4], "(36)20/123-45-67:");
  EXPECT_EQ(contacts[4][4], "(+36)30/987-65-43:12");
  EXPECT_EQ(ids(Dest("ALAP", "CIM")), (std::vector<std::string>{"81", "82", "1", "2"}));

  // The later green-card date rewrites only that customer's, type's and plate's record.
  const auto dates = Dest("DEVUDAVARER", "UGYFEL_DATUM");
  ASSERT_GE(dates.size(), 3u);
  EXPECT_EQ(std::strtod(dates[0][3].c_str(), nullptr), form->DateFromLong("45657"));
  EXPECT_EQ(dates[0][5], "VIN-RÉGI");
  EXPECT_EQ(std::strtod(dates[1][3].c_str(), nullptr), later);
  EXPECT_EQ(std::strtod(dates[2][3].c_str(), nullptr), older);
  EXPECT_EQ(dates.size(), 4u);  // and Nagy's inspection date

  Figures f;
  f.transactions = 2;
  f.rows = 4;
  f.examined = 4;
  f.converted = 1;
  f.newCustomers = 1;
  f.existingCustomers = 2;
  f.newContacts = 3;
  f.deletedContacts = 1;
  f.newAddresses = 2;
  f.knownAddresses = 1;
  f.deletedAddresses = 1;
  f.modifiedCustomers = 1;
  f.changedDates = {1, 0, 0};
  f.newDates = {0, 0, 1};
  EXPECT_EQ(LastStatistics(), StatisticsBlock(f));

  // Run again with the same options: the replaced records are replaced by the same ones.
  RunImport();
  EXPECT_EQ(
      Column(Dest("ALAP", "ELERHETOSEG"), 4),
      (std::vector<std::string>{"(36)99/999-99-98:", "(36)99/999-99-97:", "(36)99/999-99-96:",
                                "(36)20/123-45-67:", "(+36)30/987-65-43:12", "(+36)1/234-56-78:"}));
}

TEST_F(ImportTest, EachAddressOfASourceCustomerMakesACustomerOfItsOwn) {
  // The source key hashes the name with the address, so two addresses give two keys.
  LoadSource("UGYFEL", "UCODE\tNAME\tRENDSZAMCODE\n1\tKiss Ágnes\t10\n");
  LoadSource("RENDSZAM", "RCODE\tRSZAM\n10\tABC-123\n");
  LoadSource("CIM",
             "CIMCODE\tIRANYITOSZAM\tVAROS\tUTCA\tHAZSZAM\n100\t9021\tGyőr\tBaross út\t12/B\n"
             "101\t1011\tBudapest\tFő utca\t1\n");
  LoadSource("CIMLINK", "CIMCODE\tCODE\tTABLE\n100\t1\t1\n101\t1\t1\n");
  LoadSource("TELEFON", "TELCODE\tORSZAG\tKORZET\tSZAM\n200\t+36\t20\t1234567\n");
  LoadSource("TELEFONLINK", "TELCODE\tCODE\tTABLE\n200\t1\t1\n");
  Connect();
  RunImport();
  EXPECT_EQ(Column(Dest("UGYFEL", "UGYFEL"), 2),
            (std::vector<std::string>{"Kiss Ágnes", "Kiss Ágnes"}));
  EXPECT_EQ(Column(Dest("DEVUDAVARER", "UGYFEL_IMPORT"), 2),
            (std::vector<std::string>{SourceKey("Kiss Ágnes9021GyőrBaross út12/B"),
                                      SourceKey("Kiss Ágnes1011BudapestFő utca1")}));
  EXPECT_EQ(Column(Dest("ALAP", "CIM"), 1), (std::vector<std::string>{"1", "2"}));
  EXPECT_EQ(Column(Dest("ALAP", "ELERHETOSEG"), 1), (std::vector<std::string>{"1", "2"}));
  const auto stats = LastStatistics();
  ASSERT_GE(stats.size(), 10u);
  EXPECT_EQ(stats[8], "Új ügyfelek száma: 2.");
  EXPECT_EQ(stats[9], "Korábbról már létező ügyfélbejegyzések száma: 0.");
}

TEST_F(ImportTest, ARowWithoutADigitWritesNoContactAndOneWithoutAPlateNoDate) {
  // Kiss's number is a country-code sign alone: nothing of it is a number,
  // although its stored form would read "+". Nagy's plate is empty.
  LoadSource("UGYFEL",
             "UCODE\tNAME\tRENDSZAMCODE\tZOLDKARTYAERVENYES\tMUSZAKIERVENYES\n"
             "1\tKiss Ágnes\t10\t45657\t46000\n2\tNagy Béla\t11\t45657\t46000\n");
  LoadSource("RENDSZAM", "RCODE\tRSZAM\n10\tABC-123\n11\t\n");
  LoadSource("CIM",
             "CIMCODE\tIRANYITOSZAM\tVAROS\tUTCA\tHAZSZAM\n100\t9021\tGyőr\tBaross út\t12/B\n"
             "101\t7621\tPécs\tKirály u.\t5\n");
  LoadSource("CIMLINK", "CIMCODE\tCODE\tTABLE\n100\t1\t1\n101\t2\t1\n");
  LoadSource("TELEFON", "TELCODE\tORSZAG\tKORZET\tSZAM\n200\t +\t\t\n201\t36\t20\t1234567\n");
  LoadSource("TELEFONLINK", "TELCODE\tCODE\tTABLE\n200\t1\t1\n201\t2\t1\n");
  Connect();
  RunImport();
  const auto customers = Dest("UGYFEL", "UGYFEL");
  ASSERT_EQ(Column(customers, 2), (std::vector<std::string>{"Kiss Ágnes", "Nagy Béla"}));
  EXPECT_EQ(Dest("ALAP", "CIM").size(), 2u);
  // ELER_ID, ELET_ID, ELER_OWNER, ...: Nagy's number only.
  const auto contacts = Dest("ALAP", "ELERHETOSEG");
  ASSERT_EQ(contacts.size(), 1u);
  EXPECT_EQ(contacts[0][2], customers[1][0]);
  // UGYFEL_DATUM_ID, UGYFEL_ID, ...: Kiss's two dates only.
  EXPECT_EQ(Column(Dest("DEVUDAVARER", "UGYFEL_DATUM"), 1),
            (std::vector<std::string>{customers[0][0], customers[0][0]}));
  const auto stats = LastStatistics();
  ASSERT_GE(stats.size(), 12u);
  EXPECT_EQ(stats[11], "Új elérhetőségek száma: 1.");
}

TEST_F(ImportTest, ASourceWithoutRowsSucceedsAndLeavesTheGaugeIdle) {
  Connect();
  RunImport();
  Figures f;
  f.transactions = 1;
  EXPECT_EQ(LastStatistics(), StatisticsBlock(f));
  EXPECT_EQ(BoxTexts(), (std::vector<std::string>{"A betöltés sikeresen befejeződött."}));
  // A range of 0 to 0 would show the gauge busy while the window is idle.
  EXPECT_GT(form->ProgressBar1->maximum(), form->ProgressBar1->minimum());
  EXPECT_EQ(form->ProgressBar1->value(), 0);
}

TEST_F(ImportTest, AContactTooLongToStoreStopsEveryRunAtItsRow) {
  LoadTooLongSecondContact();
  Connect();
  std::string first;
  for (int run = 1; run <= 2; ++run) {
    ui.Clear();
    RunImport();
    const auto boxes = ui.MessageBoxes();
    ASSERT_EQ(boxes.size(), 2u) << "run " << run;
    EXPECT_NE(boxes[0].text.find("\nSor: 1332\nKód: 2006\n"), std::string::npos) << boxes[0].text;
    EXPECT_EQ(boxes[1].text, "Betöltés megszakítva.");
    // Kiss's row was committed before Nagy's, which left nothing.
    EXPECT_EQ(Column(Dest("UGYFEL", "UGYFEL"), 2), std::vector<std::string>{"Kiss Ágnes"});
    EXPECT_EQ(Column(Dest("ALAP", "ELERHETOSEG"), 4),
              std::vector<std::string>{"(36)20/123-45-67:"});
    const auto stats = LastStatistics();
    ASSERT_GE(stats.size(), 4u);
    EXPECT_EQ(stats[3], "Ebből vizsgált bejegyzés: 1.");
    if (run == 1) first = DumpDestination();
  }
  EXPECT_EQ(DumpDestination(), first);
}

// A stored expiry date of one kind against the source's date of that kind.
struct DateKindCase {
  const char* name;
  int index;  // in the statistics: ZK, warranty, inspection
  const char* type;
  const char* changed;
  const char* noLater;
};
struct SourceDateCase {
  const char* name;
  const char* day;  // the source's day number; the stored date is day 45657's
  bool later;
};
using DateCase = std::tuple<DateKindCase, SourceDateCase>;

void PrintTo(const DateKindCase& c, std::ostream* out) { *out << c.name; }
void PrintTo(const SourceDateCase& c, std::ostream* out) { *out << c.name; }

// A source of one row, of Kiss Ágnes with the plate ABC-123, whose customer
// 500 an earlier import linked.
class LinkedCustomerTest : public ImportTest {
 protected:
  // The row's green-card, warranty and inspection day numbers.
  void LoadLinkedRow(const char* greenCard, const char* warranty, const char* inspection) {
    LoadSource("UGYFEL",
               "UCODE\tNAME\tRENDSZAMCODE\tALVAZSZAM\tZOLDKARTYAERVENYES\tGARANCIAERVENYES\t"
               "MUSZAKIERVENYES\n1\tKiss Ágnes\t10\tVIN-ÚJ\t" +
                   std::string(greenCard) + "\t" + warranty + "\t" + inspection + "\n");
    LoadSource("RENDSZAM", "RCODE\tRSZAM\n10\tABC-123\n");
    LoadSource("CIM",
               "CIMCODE\tIRANYITOSZAM\tVAROS\tUTCA\tHAZSZAM\n100\t9021\tGyőr\tBaross út\t12/B\n");
    LoadSource("CIMLINK", "CIMCODE\tCODE\tTABLE\n100\t1\t1\n");
    LoadSource("TELEFON", "TELCODE\tORSZAG\tKORZET\tSZAM\n200\t36\t20\t1234567\n");
    LoadSource("TELEFONLINK", "TELCODE\tCODE\tTABLE\n200\t1\t1\n");
    Connect();
    server.Load("UGYFEL", "UGYFEL", "UGY_ID\tUGY_NEV\n500\tKiss Ágnes\n");
    server.Load("DEVUDAVARER", "UGYFEL_IMPORT",
                "UGYFEL_IMPORT_ID\tUGY_ID\tSOURCE_KEY\tSERVER_UNIQUE\n50\t500\t" +
                    SourceKey("Kiss Ágnes9021GyőrBaross út12/B") + "\t" + form->m_srcUnique + "\n");
  }
  // What the row makes of the customer, its address and contact being new.
  static Figures LinkedRowFigures() {
    // One row commits the still empty first transaction, then itself.
    Figures f;
    f.transactions = 2;
    f.rows = 1;
    f.examined = 1;
    f.existingCustomers = 1;
    f.newContacts = 1;
    f.newAddresses = 1;
    return f;
  }
};

class ImportDateTest : public LinkedCustomerTest, public ::testing::WithParamInterface<DateCase> {};

TEST_P(ImportDateTest, OnlyALaterSourceDateRewritesTheStoredOne) {
  const auto& [kind, source] = GetParam();
  // Only this kind's date at the source.
  const char* days[3] = {"0", "0", "0"};
  days[kind.index] = source.day;
  LoadLinkedRow(days[0], days[1], days[2]);
  const double stored = form->DateFromLong("45657");
  ASSERT_NE(stored, 0);
  server.Load(
      "DEVUDAVARER", "UGYFEL_DATUM",
      std::string("UGYFEL_DATUM_ID\tUGYFEL_ID\tUGYFEL_DATUM_TIP_ID\tDATUM\tDATA00\tDATA01\n") +
          "60\t500\t" + kind.type + "\t" + Text(stored) + "\tABC-123\tVIN-RÉGI\n");
  form->cbDetailed->setChecked(true);
  RunImport();

  // UGYFEL_DATUM_ID, UGYFEL_ID, UGYFEL_DATUM_TIP_ID, DATUM, DATA00, DATA01: the
  // record keeps everything but its date, and the other kinds, without a
  // stored date and with 0 at the source, get none.
  const auto dates = Dest("DEVUDAVARER", "UGYFEL_DATUM");
  ASSERT_EQ(dates.size(), 1u);
  EXPECT_EQ(std::strtod(dates[0][3].c_str(), nullptr),
            source.later ? form->DateFromLong(source.day) : stored);
  EXPECT_EQ(
      (std::vector<std::string>{dates[0][0], dates[0][1], dates[0][2], dates[0][4], dates[0][5]}),
      (std::vector<std::string>{"60", "500", kind.type, "ABC-123", "VIN-RÉGI"}));
  // The kind's one line; nothing of the other kinds.
  const auto lines = LogLines(*form);
  const int dateLines = std::count_if(lines.begin(), lines.end(), [](const std::string& line) {
    return line.find("idő került rögzítésre.") != std::string::npos ||
           line.find("Nincs frissebb") != std::string::npos;
  });
  EXPECT_EQ(dateLines, 1);
  EXPECT_TRUE(HasLine(Stamped(source.later ? kind.changed : kind.noLater)));

  Figures f = LinkedRowFigures();
  f.changedDates[kind.index] = source.later ? 1 : 0;
  EXPECT_EQ(LastStatistics(), StatisticsBlock(f));
}

INSTANTIATE_TEST_SUITE_P(
    Dates, ImportDateTest,
    ::testing::Combine(
        ::testing::Values(DateKindCase{"GreenCard", 0, "2",
                                       "Megváltozott ZK lejárati idő került rögzítésre.",
                                       "Nincs frissebb ZK lejárati idő."},
                          DateKindCase{"Warranty", 1, "3",
                                       "Megváltozott garancia lejárati idő került rögzítésre.",
                                       "Nincs frissebb garancia lejárati idő."},
                          DateKindCase{"Inspection", 2, "4",
                                       "Megváltozott műszaki lejárati idő került rögzítésre.",
                                       "Nincs frissebb műszaki lejárati idő."}),
        ::testing::Values(SourceDateCase{"Later", "45700", true},
                          SourceDateCase{"Equal", "45657", false},
                          SourceDateCase{"Earlier", "45000", false},
                          SourceDateCase{"Zero", "0", false})),
    [](const ::testing::TestParamInfo<DateCase>& info) {
      return std::string(std::get<0>(info.param).name) + std::get<1>(info.param).name;
    });

TEST_F(LinkedCustomerTest, AStoredDateMatchesByTypeAndPlateAndTheRecordFetchedLastCounts) {
  LoadLinkedRow("45700", "0", "45700");
  const double late = form->DateFromLong("45800"), early = form->DateFromLong("45600");
  // A later green-card date of another plate, and two inspection dates of
  // this plate, the earlier one fetched last.
  auto stored = [](const char* id, const char* type, double date, const char* plate) {
    return std::string(id) + "\t500\t" + type + "\t" + Text(date) + "\t" + plate + "\tVIN\n";
  };
  server.Load("DEVUDAVARER", "UGYFEL_DATUM",
              "UGYFEL_DATUM_ID\tUGYFEL_ID\tUGYFEL_DATUM_TIP_ID\tDATUM\tDATA00\tDATA01\n" +
                  stored("60", "2", late, "XYZ-999") + stored("61", "4", late, "ABC-123") +
                  stored("62", "4", early, "ABC-123"));
  RunImport();

  // UGYFEL_DATUM_ID, UGYFEL_ID, UGYFEL_DATUM_TIP_ID, DATUM: the green card
  // new for this plate, the inspection date of record 62 rewritten.
  std::map<std::string, std::vector<std::string>> byId;
  for (const auto& record : Dest("DEVUDAVARER", "UGYFEL_DATUM")) byId[record[0]] = record;
  ASSERT_EQ(byId.size(), 4u);
  auto date = [&](const std::string& id) { return std::strtod(byId[id][3].c_str(), nullptr); };
  const double source = form->DateFromLong("45700");
  EXPECT_EQ(date("60"), late);
  EXPECT_EQ(date("61"), late);
  EXPECT_EQ(date("62"), source);
  byId.erase("60");
  byId.erase("61");
  byId.erase("62");
  const std::vector<std::string>& added = byId.begin()->second;
  EXPECT_EQ((std::vector<std::string>{added[1], added[2], added[4]}),
            (std::vector<std::string>{"500", "2", "ABC-123"}));
  EXPECT_EQ(date(added[0]), source);

  Figures f = LinkedRowFigures();
  f.newDates[0] = 1;
  f.changedDates[2] = 1;
  EXPECT_EQ(LastStatistics(), StatisticsBlock(f));
}

TEST_F(ImportTest, ThousandAndOneRowsCommitThreeTimes) {
  LoadGeneratedSource(1001);
  Connect();
  RunImport();
  EXPECT_EQ(Dest("UGYFEL", "UGYFEL").size(), 1001u);
  const auto lines = LogLines(*form);
  EXPECT_EQ(std::count(lines.begin(), lines.end(), Stamped("Tranzakció rendben.")), 3);
  const auto stats = LastStatistics();
  ASSERT_GE(stats.size(), 4u);
  EXPECT_EQ(stats[1], "Sikeres tranzakciók száma: 3.");
  EXPECT_EQ(stats[3], "Ebből vizsgált bejegyzés: 1001.");
  EXPECT_TRUE(HasLine(Stamped("A betöltés sikeresen befejeződött.")));
}

TEST_F(ImportTest, AFailureMidRunAbortsTheOpenBatchAndKeepsTheCommittedOnes) {
  LoadGeneratedSource(1500);
  Connect();
  // The 1200th address draws the id 1200, which is taken: its insert fails.
  server.Load("ALAP", "CIM", "CIM_ID\tCIM_OWNER\tCIM_TABLECODE\n1200\t9999\t3\n");
  RunImport();

  // Rows 1 to 499 were committed at the 500th row; 500 to 1200 are undone.
  EXPECT_EQ(Dest("UGYFEL", "UGYFEL").size(), 499u);
  EXPECT_EQ(Dest("DEVUDAVARER", "UGYFEL_IMPORT").size(), 499u);
  EXPECT_EQ(Dest("ALAP", "CIM").size(), 500u);
  EXPECT_EQ(Dest("ALAP", "ELERHETOSEG").size(), 499u);
  const auto boxes = ui.MessageBoxes();
  ASSERT_EQ(boxes.size(), 2u);
  EXPECT_EQ(boxes[0].text.rfind("Modul: SMSKelvado6Import\\frm_Kelvado6Import\n"
                                "Eljárás: TForm1::aStartImportExecute\nSor: 1332\nKód: ",
                                0),
            0u)
      << boxes[0].text;
  EXPECT_EQ(boxes[0].caption, "Hiba történt!");
  EXPECT_EQ(boxes[1].text, "Betöltés megszakítva.");
  const auto stats = LastStatistics();
  ASSERT_GE(stats.size(), 9u);
  EXPECT_EQ(stats[1], "Sikeres tranzakciók száma: 1.");
  EXPECT_EQ(stats[2], "Összes vizsgálandó bejegyzés: 1500.");
  // The failing row was not handled.
  EXPECT_EQ(stats[3], "Ebből vizsgált bejegyzés: 1199.");
  EXPECT_EQ(stats[8], "Új ügyfelek száma: 1200.");
  EXPECT_FALSE(form->m_running);
}

// The operator cancels, or closes the window, while the 10th of 50 rows is processed.
struct StopCase {
  const char* name;
  bool close;
  int answer;
  int examined;
  int transactions;
  const char* final;
};

void PrintTo(const StopCase& c, std::ostream* out) { *out << c.name; }

class ImportStopTest : public ImportTest, public ::testing::WithParamInterface<StopCase> {};

TEST_P(ImportStopTest, StopsAfterTheCurrentRowWhenConfirmed) {
  const StopCase& c = GetParam();
  LoadGeneratedSource(50);
  Connect();
  ui.QueueMessageBoxAnswer(c.answer);
  const RunSeen seen = RunImportActing(10, [&] {
    if (c.close)
      form->close();
    else
      form->Execute(form->aCancel);
  });
  EXPECT_EQ(Dest("UGYFEL", "UGYFEL").size(), size_t(c.examined));
  const auto stats = LastStatistics();
  ASSERT_GE(stats.size(), 4u);
  EXPECT_EQ(stats[1], "Sikeres tranzakciók száma: " + std::to_string(c.transactions) + ".");
  EXPECT_EQ(stats[2], "Összes vizsgálandó bejegyzés: 50.");
  EXPECT_EQ(stats[3], "Ebből vizsgált bejegyzés: " + std::to_string(c.examined) + ".");
  EXPECT_TRUE(HasLine(Stamped(c.final)));
  EXPECT_EQ(BoxTexts(),
            (std::vector<std::string>{"Biztos, hogy megszakítja a betöltést?", c.final}));
  // The run kept the window alive: the gauge, the count and the title moved row by row.
  EXPECT_TRUE(seen.animation);
  ASSERT_EQ(seen.progress.size(), size_t(c.examined));
  EXPECT_EQ(seen.progress.back(), c.examined);
  EXPECT_EQ(seen.remaining.front(), "49");
  EXPECT_EQ(seen.titles.front(), "(49) Kelvimport");
  EXPECT_EQ(seen.remaining.back(), std::to_string(50 - c.examined));
  // A confirmed close closes the window, once the end block has run.
  EXPECT_FALSE(seen.hiddenDuringRun);
  EXPECT_EQ(form->isVisible(), !(c.close && c.answer == win::IDYES));
  EXPECT_FALSE(form->m_running);
}

INSTANTIATE_TEST_SUITE_P(
    Stops, ImportStopTest,
    ::testing::Values(
        StopCase{"CancelYes", false, win::IDYES, 10, 1, "Betöltés megszakítva."},
        StopCase{"CancelNo", false, win::IDNO, 50, 2, "A betöltés sikeresen befejeződött."},
        StopCase{"CloseYes", true, win::IDYES, 10, 1, "Betöltés megszakítva."},
        StopCase{"CloseNo", true, win::IDNO, 50, 2, "A betöltés sikeresen befejeződött."}),
    [](const ::testing::TestParamInfo<StopCase>& info) { return std::string(info.param.name); });

// Where every control of the two groups, the log and the exit button stand.
std::vector<QRect> Places(const TForm1& form) {
  std::vector<QRect> places;
  for (QWidget* group :
       {static_cast<QWidget*>(form.GroupBox1), static_cast<QWidget*>(form.GroupBox2)}) {
    places.push_back(group->geometry());
    // The type lists' popups are windows of their own.
    for (const QWidget* w : group->findChildren<QWidget*>())
      if (w->window() == &form) places.push_back(w->geometry());
  }
  places.push_back(form.Memo1->geometry());
  places.push_back(form.bExit->geometry());
  return places;
}

// The busy animation comes and goes and the count changes while a run goes;
// nothing of the window moves.
TEST_F(ImportTest, TheWindowsControlsKeepTheirPlacesThroughARun) {
  LoadGeneratedSource(50);
  Connect();
  QApplication::processEvents();
  const std::vector<QRect> idle = Places(*form);
  int samples = 0, moved = 0;
  bool animated = false;
  QTimer sampler;
  sampler.setInterval(0);
  QObject::connect(&sampler, &QTimer::timeout, [&] {
    if (!form->m_running) return;
    ++samples;
    animated = animated || form->Animate1->isVisible();
    if (Places(*form) != idle) ++moved;
  });
  sampler.start();
  RunImport();
  sampler.stop();
  EXPECT_TRUE(animated);
  EXPECT_GT(samples, 50);
  EXPECT_EQ(moved, 0);
  EXPECT_EQ(Places(*form), idle);
}

// What the gauge and the count label showed each time they were painted.
class PaintedProgress : public QObject {
 public:
  explicit PaintedProgress(TForm1& form) : form_(form) {
    form.ProgressBar1->installEventFilter(this);
    form.Label14->installEventFilter(this);
  }
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Paint) {
      if (watched == form_.ProgressBar1) gauge.push_back(form_.ProgressBar1->value());
      if (watched == form_.Label14) label.push_back(form_.Label14->text().toStdString());
    }
    return false;
  }
  std::vector<int> gauge;
  std::vector<std::string> label;

 private:
  TForm1& form_;
};

TEST_F(ImportTest, TheRunsLastStateIsPaintedHoweverFewRowsArePainted) {
  LoadGeneratedSource(50);
  Connect();
  QCoreApplication::processEvents();
  PaintedProgress painted(*form);
  RunImport();
  QCoreApplication::processEvents();
  // The last row's state, full gauge and no row to go, was painted before
  // the end block reset both.
  const auto full = std::find(painted.gauge.begin(), painted.gauge.end(), 50);
  ASSERT_NE(full, painted.gauge.end());
  EXPECT_NE(std::find(painted.label.begin(), painted.label.end(), "0"), painted.label.end());
  // And what the window shows after the run is what they hold.
  ASSERT_FALSE(painted.gauge.empty());
  ASSERT_FALSE(painted.label.empty());
  EXPECT_EQ(painted.gauge.back(), 0);
  EXPECT_EQ(form->ProgressBar1->value(), 0);
  EXPECT_EQ(painted.label.back(), "0");
  EXPECT_EQ(form->Label14->text(), "0");
  EXPECT_EQ(win::ApplicationTitle(), "Kelvimport");
  // A later change is painted at once again.
  const size_t paints = painted.label.size();
  form->Label14->setText("7");
  QCoreApplication::processEvents();
  ASSERT_GT(painted.label.size(), paints);
  EXPECT_EQ(painted.label.back(), "7");
}

// Prompts that let a test look at the window whenever the run shows a box
// or asks its question.
struct BoxWatchingPrompts : ScriptedClockPrompts {
  void TopMostBox(const std::string& text, const std::string& caption) override {
    if (onBox) onBox(text);
    ScriptedClockPrompts::TopMostBox(text, caption);
  }
  bool AskYesNo(const std::string& text) override {
    if (onBox) onBox(text);
    return ScriptedClockPrompts::AskYesNo(text);
  }
  std::function<void(const std::string& text)> onBox;
};

// How a run is stopped at its second row, and by which box.
enum class StopAt { ContactTooLong, FailureNotTheLibrarys, CancelQuestion };
struct StoppingRowCase {
  const char* name;
  StopAt stop;
  int rows;
  const char* box;  // how the box's text begins
};

void PrintTo(const StoppingRowCase& c, std::ostream* out) { *out << c.name; }

class ImportStoppingRowTest : public ImportTest,
                              public ::testing::WithParamInterface<StoppingRowCase> {};

// The gauge and the count are painted only now and then while the rows go,
// but a box comes over the row that the run is at: that row is painted first.
TEST_P(ImportStoppingRowTest, IsPaintedBeforeTheBox) {
  const StoppingRowCase& c = GetParam();
  if (c.stop == StopAt::ContactTooLong)
    LoadTooLongSecondContact();
  else
    LoadGeneratedSource(c.rows);
  auto prompts = std::make_unique<BoxWatchingPrompts>();
  BoxWatchingPrompts* watch = prompts.get();
  Connect(std::move(prompts));
  // The detailed report reads the clock in every row.
  form->cbDetailed->setChecked(true);
  QCoreApplication::processEvents();
  PaintedProgress painted(*form);
  struct Shown {
    int gauge = -1, paintedGauge = -1;
    std::string label, paintedLabel, title;
  };
  std::optional<Shown> shown;
  watch->onBox = [&](const std::string& text) {
    if (shown || text.rfind(c.box, 0) != 0) return;
    shown = Shown{form->ProgressBar1->value(), painted.gauge.empty() ? -1 : painted.gauge.back(),
                  form->Label14->text().toStdString(),
                  painted.label.empty() ? "" : painted.label.back(), win::ApplicationTitle()};
  };
  if (c.stop == StopAt::FailureNotTheLibrarys) {
    watch->onNow = [&](int) {
      if (form->m_running && form->ProgressBar1->value() == 2) throw std::runtime_error("no clock");
    };
  }
  if (c.stop == StopAt::CancelQuestion) {
    ui.QueueMessageBoxAnswer(win::IDYES);
    RunImportActing(2, [&] { form->Execute(form->aCancel); });
  } else {
    RunImport();
  }

  ASSERT_TRUE(shown.has_value()) << c.box;
  const std::string remaining = std::to_string(c.rows - 2);
  EXPECT_EQ(shown->gauge, 2);
  EXPECT_EQ(shown->paintedGauge, 2);
  EXPECT_EQ(shown->label, remaining);
  EXPECT_EQ(shown->paintedLabel, remaining);
  EXPECT_EQ(shown->title, "(" + remaining + ") Kelvimport");
  // Stopped at its second row, the run ends idle.
  const auto stats = LastStatistics();
  ASSERT_GE(stats.size(), 4u);
  EXPECT_EQ(stats[3], c.stop == StopAt::CancelQuestion ? "Ebből vizsgált bejegyzés: 2."
                                                       : "Ebből vizsgált bejegyzés: 1.");
  EXPECT_EQ(form->ProgressBar1->value(), 0);
  EXPECT_EQ(painted.gauge.back(), 0);
  EXPECT_EQ(painted.label.back(), "0");
}

INSTANTIATE_TEST_SUITE_P(
    Boxes, ImportStoppingRowTest,
    ::testing::Values(StoppingRowCase{"ErrorBox", StopAt::ContactTooLong, 2, "Modul: "},
                      StoppingRowCase{"CrashBox", StopAt::FailureNotTheLibrarys, 2,
                                      "Kritikus programhiba történt!"},
                      StoppingRowCase{"CancelQuestion", StopAt::CancelQuestion, 50,
                                      "Biztos, hogy megszakítja a betöltést?"}),
    [](const ::testing::TestParamInfo<StoppingRowCase>& info) {
      return std::string(info.param.name);
    });

TEST_F(ImportTest, WithoutAValidClientIdNoRowIsProcessed) {
  clientId = 0;
  LoadSmallSource();
  Connect();
  RunImport();
  EXPECT_TRUE(
      HasLine(Stamped("Érvénytelen vagy hiányzó VTK kód. A betöltés hamarosan megszakad.")));
  EXPECT_TRUE(Dest("UGYFEL", "UGYFEL").empty());
  const auto stats = LastStatistics();
  ASSERT_GE(stats.size(), 4u);
  EXPECT_EQ(stats[1], "Sikeres tranzakciók száma: 1.");
  EXPECT_EQ(stats[3], "Ebből vizsgált bejegyzés: 0.");
  EXPECT_TRUE(HasLine(Stamped("Betöltés megszakítva.")));
}

TEST_F(ImportTest, AFailureThatIsNotTheLibrarysShowsTheCriticalBoxAndEndsTheRun) {
  LoadSmallSource();
  auto prompts = std::make_unique<ScriptedClockPrompts>();
  ScriptedClockPrompts* clock = prompts.get();
  Connect(std::move(prompts));
  // The clock fails once, when the run logs "Forrás előkészítve." (its 7th line with a time).
  const int failAt = clock->calls + 7;
  clock->onNow = [failAt](int call) {
    if (call == failAt) throw std::runtime_error("no clock");
  };
  RunImport();
  EXPECT_EQ(BoxTexts(),
            (std::vector<std::string>{"Kritikus programhiba történt!", "Betöltés megszakítva."}));
  EXPECT_EQ(ui.MessageBoxes()[0].caption, "Figyelem!");
  EXPECT_FALSE(HasLine(Stamped("Forrás előkészítve.")));
  EXPECT_FALSE(form->m_running);
  EXPECT_TRUE(Dest("UGYFEL", "UGYFEL").empty());
  const auto stats = LastStatistics();
  ASSERT_GE(stats.size(), 4u);
  EXPECT_EQ(stats[3], "Ebből vizsgált bejegyzés: 0.");
}

// A failure that is not the library's, thrown where no handler of the run
// catches it: in the start block or in the end block.
struct UncaughtCase {
  const char* name;
  bool inEndBlock;
  bool asked;  // the close asks, as the run's flag is still set
};

void PrintTo(const UncaughtCase& c, std::ostream* out) { *out << c.name; }

class ImportUncaughtTest : public ImportTest, public ::testing::WithParamInterface<UncaughtCase> {};

TEST_P(ImportUncaughtTest, LeavesAWindowThatClosesWithYes) {
  const UncaughtCase& c = GetParam();
  LoadSmallSource();
  auto prompts = std::make_unique<ScriptedClockPrompts>();
  ScriptedClockPrompts* clock = prompts.get();
  Connect(std::move(prompts));
  // The clock fails at its first reading of the block: the start's separator
  // once the run is going, the end's once the run has stopped.
  bool seenRunning = false, thrown = false;
  clock->onNow = [&](int) {
    if (thrown) return;
    seenRunning = seenRunning || form->m_running;
    if (c.inEndBlock ? seenRunning && !form->m_running : form->m_running) {
      thrown = true;
      throw std::runtime_error("no clock");
    }
  };
  EXPECT_THROW(RunImport(), std::runtime_error);
  ASSERT_TRUE(thrown);
  ui.Clear();
  ui.QueueMessageBoxAnswer(win::IDYES);
  EXPECT_TRUE(form->close());
  EXPECT_FALSE(form->isVisible());
  EXPECT_EQ(BoxTexts(), c.asked ? std::vector<std::string>{"Biztos, hogy megszakítja a betöltést?"}
                                : std::vector<std::string>{});
}

INSTANTIATE_TEST_SUITE_P(Blocks, ImportUncaughtTest,
                         ::testing::Values(UncaughtCase{"InTheStart", false, true},
                                           UncaughtCase{"InTheEnd", true, false}),
                         [](const ::testing::TestParamInfo<UncaughtCase>& info) {
                           return std::string(info.param.name);
                         });

TEST_F(ImportTest, AFailureInThePreparationShowsItsBoxAndTheRunGoesOnWithoutAClientId) {
  LoadSmallSource();
  Connect();
  // The server's clock cannot be read: the preparation ends before BASEDATA.
  const QorFn_GetServerTime saved = GlobalFncLoader->pfGetServerTime;
  GlobalFncLoader->pfGetServerTime = nullptr;
  RunImport();
  GlobalFncLoader->pfGetServerTime = saved;
  const auto boxes = ui.MessageBoxes();
  ASSERT_EQ(boxes.size(), 2u);
  EXPECT_EQ(boxes[0].text.rfind("Modul: SMSKelvado6Import\\frm_Kelvado6Import\n"
                                "Eljárás: TForm1::aStartImportExecute\nSor: 630\nKód: 10038\n",
                                0),
            0u)
      << boxes[0].text;
  EXPECT_EQ(boxes[0].caption, "Hiba történt!");
  EXPECT_EQ(boxes[1].text, "Betöltés megszakítva.");
  EXPECT_FALSE(HasLine(Stamped("Táblaterek megnyitva.")));
  EXPECT_TRUE(
      HasLine(Stamped("Érvénytelen vagy hiányzó VTK kód. A betöltés hamarosan megszakad.")));
  EXPECT_TRUE(Dest("UGYFEL", "UGYFEL").empty());
  const auto stats = LastStatistics();
  ASSERT_GE(stats.size(), 4u);
  EXPECT_EQ(stats[1], "Sikeres tranzakciók száma: 1.");
  EXPECT_EQ(stats[3], "Ebből vizsgált bejegyzés: 0.");
}

TEST_F(ImportTest, AFailingFinalCommitIsNoSuccess) {
  // A source without rows: the final commit is the run's only one, and it fails.
  Connect();
  const QorFn_EndTransaction saved = GlobalFncLoader->pfEndTransaction;
  GlobalFncLoader->pfEndTransaction = nullptr;
  RunImport();
  GlobalFncLoader->pfEndTransaction = saved;
  // The abort fails the same way, so the critical box stands for the error box.
  EXPECT_EQ(BoxTexts(),
            (std::vector<std::string>{"Kritikus programhiba történt!", "Betöltés megszakítva."}));
  const auto stats = LastStatistics();
  ASSERT_GE(stats.size(), 4u);
  EXPECT_EQ(stats[1], "Sikeres tranzakciók száma: 0.");
  EXPECT_EQ(stats[2], "Összes vizsgálandó bejegyzés: 0.");
  EXPECT_FALSE(HasLine(Stamped("A betöltés sikeresen befejeződött.")));
}

}  // namespace
