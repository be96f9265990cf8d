// The real window on the real client library and a server made for the test,
// with every box and the login dialog answered by the scripted backend.
#include "RdmNumfixData.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QTest>
#include <QTreeView>
#include <filesystem>
#include <fstream>

#include "NumfixFakes_testutil.h"
#include "QorExceptBase.h"
#include "ScriptedUi.h"
#include "TForm1.h"
#include "TestServer.h"
#include "WinPrompts.h"

namespace {

struct FixedClockPrompts : WinPrompts {
  std::time_t Now() override { return 1765360800; }
};

constexpr int kUserEdit = 985, kPasswordEdit = 986, kDatabaseList = 987, kOk = 1;

// A server with the given destination databases, the user DEMO and the client configuration
// VOVDEMO.
void MakeServer(QorTestServer& server, std::initializer_list<const char*> databases) {
  for (const char* db : databases)
    server.AddDatabase(FileBytes(std::string(NUMFIX_DEMO_DIR) + "/destination/" + db + ".schema"));
  server.AddUser("DEMO", "DEMO");
  QorClientConfig client;
  client.name = "VOVDEMO";
  server.AddClient(client);
}

// Answers the next login dialog.
void QueueDemoLogin(win::ScriptedUi& ui, const char* user = "demo", const char* password = "demo") {
  ui.QueueDialog([user, password](win::DialogDriver& d) {
    d.Replace(kUserEdit, user);
    d.Replace(kPasswordEdit, password);
    d.Choose(kDatabaseList, "VOVDEMO");
    d.Press(kOk);
  });
}

TEST(NumfixServer, AMissingDatabaseShowsTheConnectBoxAndEnds) {
  QorTestServer server{"vovdemo.qdb"};
  MakeServer(server, {"DEVUDAVARER", "UGYFEL"});  // no ALAP
  win::ScriptedUi ui;
  win::ScopedUiBackend installed{ui};
  QueueDemoLogin(ui);
  TForm1 form(nullptr, std::make_unique<RdmNumfixData>(), std::make_unique<FixedClockPrompts>());
  EXPECT_TRUE(form.ExitRequested());
  ASSERT_EQ(ui.MessageBoxes().size(), 1u);
  EXPECT_EQ(ui.MessageBoxes()[0].caption, "Hiba történt!");
  EXPECT_NE(
      ui.MessageBoxes()[0].text.find("Modul: SMSNumfix\\frm_Numfix\nEljárás: TForm1::ConnectToDb\n"
                                     "Sor: 209\nKód: 2000\n"),
      std::string::npos)
      << ui.MessageBoxes()[0].text;
}

class NumfixServerTest : public testing::Test {
 protected:
  void SetUp() override {
    MakeServer(server, {"DEVUDAVARER", "UGYFEL", "ALAP"});
    server.Load("UGYFEL", "UGYFEL",
                "UGY_ID\tUGY_NEV\n"
                "1\tKovács Éva\n"
                "2\tSzűcs Ödön\n");
    server.Load("ALAP", "CIM",
                "CIM_ID\tCIM_OWNER\tCIM_TABLECODE\tCIMT_ID\tCIM_IRSZAM\tCIM_TELEPULES\tCIM_"
                "KOZTERULET\tCIM_HAZSZAM\n"
                "1\t1\t2\t1\t9021\tGyőr\tBaross Gábor utca\t12/B\n"
                "2\t1\t2\t2\t1054\tBudapest\tSzabadság tér\t7.\n"
                "3\t2\t3\t1\t6720\tSzeged\tKárász utca\t1.\n");
    server.Load("ALAP", "ELERHETOSEG",
                "ELER_ID\tELER_OWNER\tELER_TABLECODE\tELET_ID\tELER_ADAT\n"
                "1\t1\t2\t6\t(36)20/123-45-67:\n"       // the import's shape
                "2\t1\t2\t6\t0630 / 7654321\n"          // older shape with blanks
                "3\t2\t2\t6\t(+36)70/111-22-33:\n"      // valid
                "4\t2\t2\t6\tnincs\n"                   // unknown
                "5\t0\t0\t6\t0620/9999999\n"            // no owner
                "6\t1\t2\t3\tkovacs.eva@freemail.hu\n"  // another type
                "7\t2\t3\t6\t0620/5555555\n");          // a partner's
    oldDir = std::filesystem::current_path();
    std::filesystem::current_path(server.Folder());
    std::ofstream("SMS_tel_sablon.ini", std::ios::binary)
        << FileBytes(std::string(NUMFIX_DEMO_DIR) + "/SMS_tel_sablon.ini");
  }
  void TearDown() override {
    form.reset();
    std::filesystem::current_path(oldDir);
  }

  void QueueLogin(const char* user = "demo", const char* password = "demo") {
    QueueDemoLogin(ui, user, password);
  }
  void Open() {
    form = std::make_unique<TForm1>(nullptr, std::make_unique<RdmNumfixData>(),
                                    std::make_unique<FixedClockPrompts>());
  }
  const TForm1::ListItem* ItemById(long id) const { return ItemOf(*form, id); }
  std::vector<long> ListedIds() const {
    std::vector<long> ids;
    for (int i = 0; i < form->ItemCount(); ++i) ids.push_back(TForm1::ItemElerId(form->Item(i)));
    return ids;
  }
  std::string StoredValue(long id) const {
    for (const auto& row : server.Records("ALAP", "ELERHETOSEG"))
      if (row.at(0) == std::to_string(id)) return row.at(4);
    return "<gone>";
  }
  std::vector<std::string> BoxTexts() const {
    std::vector<std::string> texts;
    for (const auto& b : ui.MessageBoxes()) texts.push_back(b.text);
    return texts;
  }

  QorTestServer server{"vovdemo.qdb"};
  win::ScriptedUi ui;
  win::ScopedUiBackend installed{ui};
  std::filesystem::path oldDir;
  std::unique_ptr<TForm1> form;
};

TEST_F(NumfixServerTest, LogsInAndListsOwnedTypeSixContactsThatNeedRepair) {
  QueueLogin();
  Open();
  ASSERT_FALSE(form->ExitRequested());
  EXPECT_TRUE(ui.MessageBoxes().empty());
  // Any owner table counts: the partner's number 7 is listed too.
  EXPECT_EQ(ListedIds(), (std::vector<long>{1, 2, 4, 7}));
  EXPECT_EQ(form->lItemCount->text(), "4");
  EXPECT_EQ(TForm1::ItemText(ItemById(1), TForm1::kColSuggestion), "(+36)20/123-45-67:");
  EXPECT_EQ(TForm1::ItemText(ItemById(2), TForm1::kColNumber), "0630/7654321");
  EXPECT_EQ(TForm1::ItemText(ItemById(2), TForm1::kColSuggestion), "(+36)30/765-43-21:");
  EXPECT_EQ(TForm1::ItemState(ItemById(4)), 1);
}

TEST_F(NumfixServerTest, CancelledLoginEndsWithoutAMessage) {
  Open();  // no script: the dialog is cancelled
  EXPECT_TRUE(form->ExitRequested());
  EXPECT_TRUE(ui.MessageBoxes().empty());
  EXPECT_EQ(ui.Dialogs().size(), 1u);
}

TEST_F(NumfixServerTest, WrongPasswordAsksAgain) {
  QueueLogin("demo", "rossz");
  QueueLogin();
  Open();
  EXPECT_FALSE(form->ExitRequested());
  EXPECT_EQ(BoxTexts(),
            std::vector<std::string>{"Ismeretlen a felhasználónév vagy hibás a jelszó!"});
  EXPECT_EQ(form->ItemCount(), 4);
}

TEST_F(NumfixServerTest, WriteBackRewritesMarkedContactsInOneTransaction) {
  QueueLogin();
  Open();
  form->ListView1->setCurrentIndex(form->IndexOf(ItemById(1)));
  form->Execute(form->aRepairThisOne);
  form->ListView1->setCurrentIndex(form->IndexOf(ItemById(2)));
  form->Execute(form->aRepairThisOne);
  // The unknown number typed in the editor, without extension.
  form->ListView1->setCurrentIndex(form->IndexOf(ItemById(4)));
  form->Execute(form->aEnterEditMode);
  for (auto [edit, digits] :
       {std::pair{form->eOrszag, "36"}, {form->eKorzet, "70"}, {form->eSzam, "9876543"}})
    TypeDigits(edit, digits);
  QTest::keyClick(form->eSzam, Qt::Key_Return);
  ASSERT_EQ(TForm1::ItemState(ItemById(4)), 2);
  form->Execute(form->aSetRecordList);

  EXPECT_EQ(StoredValue(1), "(+36)20/123-45-67:");
  EXPECT_EQ(StoredValue(2), "(+36)30/765-43-21:");
  EXPECT_EQ(StoredValue(4), "(+36)70/987-65-43:    ");  // the free places stay blanks
  EXPECT_EQ(BoxTexts(), std::vector<std::string>{"A javítások bekerültek az adatbázisba."});
  const std::string log = FileBytes("SMS_converter.log");
  const std::string tail =
      "Tranzakcio indul.\r\n"
      " OK - Rekord frissitve: [1] (36)20/123-45-67: -> (+36)20/123-45-67:\r\n"
      " OK - Rekord frissitve: [2] 0630 / 7654321 -> (+36)30/765-43-21:\r\n"
      " OK - Rekord frissitve: [4] nincs -> (+36)70/987-65-43:    \r\n"
      "Tranzakcio lezarva.\r\n"
      "Konvertalas rendben.\r\n";
  ASSERT_EQ(log.size(), 74 + tail.size());
  EXPECT_EQ(log.substr(74), tail);
  EXPECT_EQ(ListedIds(), std::vector<long>{7});  // reloaded: the repaired numbers are valid
}

TEST_F(NumfixServerTest, FailingRewriteRollsBackEveryRecord) {
  // A repair pattern whose result does not fit ELER_ADAT makes the rewrite fail.
  std::ofstream("SMS_tel_sablon.ini", std::ios::binary | std::ios::app)
      << "[HIBASABLONOK]\r\n"
         "(AA)AA/AAA-AA-AA:=(+AA)AA/AAA-AA-AA:\r\n"
         "06AA/AAAAAAA=(+36)AA/AAA-AA-AA: ez a javaslat nem fér el a mezőben\r\n";
  QueueLogin();
  Open();
  form->Execute(form->aRepairAll);
  form->Execute(form->aSetRecordList);

  EXPECT_EQ(StoredValue(1), "(36)20/123-45-67:");
  EXPECT_EQ(StoredValue(2), "0630 / 7654321");
  ASSERT_EQ(ui.MessageBoxes().size(), 2u);
  EXPECT_EQ(ui.MessageBoxes()[0].caption, "Hiba történt!");
  EXPECT_NE(ui.MessageBoxes()[0].text.find("Eljárás: TForm1::aSetRecordListExecute\nSor: 450\n"),
            std::string::npos);
  EXPECT_EQ(ui.MessageBoxes()[1].text, "Hiba a javítások átvezetése során.");
  const std::string log = FileBytes("SMS_converter.log");
  EXPECT_EQ(log.substr(74),
            "Tranzakcio indul.\r\n"
            " OK - Rekord frissitve: [1] (36)20/123-45-67: -> (+36)20/123-45-67:\r\n"
            "A konvertálás sikertelen.\r\n");
  EXPECT_EQ(ListedIds(), (std::vector<long>{1, 2, 4, 7}));
}

TEST_F(NumfixServerTest, CustomerInformationOfACustomerOnly) {
  QueueLogin();
  Open();
  struct {
    long id;
    const char* text;
  } cases[] = {
      {1,
       "Név: Kovács Éva\rCím: 9021 Győr Baross Gábor utca 12/B\rCím: 1054 Budapest Szabadság tér "
       "7."},
      {4, "Név: Szűcs Ödön"},           // its only address is not a customer address
      {7, "Az ügyfél nem található."},  // owner 2 of the partner table is no customer
  };
  for (const auto& c : cases) {
    ui.Clear();
    form->ListView1->setCurrentIndex(form->IndexOf(ItemById(c.id)));
    form->Execute(form->aGetInfo);
    EXPECT_EQ(BoxTexts(), std::vector<std::string>{c.text}) << c.id;
  }
}

}  // namespace
