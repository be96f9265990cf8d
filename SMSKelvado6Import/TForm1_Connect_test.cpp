// Connecting the window to a source and a destination server through the
// login dialog, on the real client library.
#include <QAbstractItemView>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QStyle>
#include <QStyleOptionComboBox>
#include <cstdlib>

#include "Cp1250Codec.h"
#include "KelvimportTest_testutil.h"
#include "TForm1.h"

namespace {

// The lines a connect adds after the start lines.
std::vector<std::string> LinesAfterStart(const TForm1& form) {
  std::vector<std::string> lines = LogLines(form);
  return {lines.begin() + 5, lines.end()};
}

std::vector<std::string> Items(const QComboBox* combo) {
  std::vector<std::string> items;
  for (int i = 0; i < combo->count(); ++i)
    items.push_back(Cp1250Codec::FromQString(combo->itemText(i)));
  return items;
}

TEST_F(ImportWindowTest, BothConnectionsFillTheirNamesTypesAndCaption) {
  OpenConnected();
  EXPECT_TRUE(ui.MessageBoxes().empty()) << BoxTexts().front();
  EXPECT_EQ(LinesAfterStart(*form),
            (std::vector<std::string>{
                TestSeparator(), Stamped("A forrásadatbázisba a bejelentkezés sikeres."),
                Stamped("Adatbázis típusa: Kelvado 6."), "Szolgáltatás: KELVADO.",
                "Felhasználó: DEMO.", "Szerver egyedi név: kelvado.qdb_4242_KELVREG01.", "",
                Stamped("Nem támogatott paraméter: SERVER_LMGR_NAME."), "", TestSeparator(),
                Stamped("A céladatbázisba a bejelentkezés sikeres."),
                Stamped("Adatbázis típusa: VOV ovoruved."), "Szolgáltatás: VOVDEMO.",
                "Felhasználó: DEMO.", "Szerver egyedi név: vovdemo.qdb_777_DEFAULT.", ""}));
  EXPECT_EQ(form->Edit1->text(), "kelvado.qdb_4242_KELVREG01");
  EXPECT_EQ(form->Edit2->text(), "DEMO");
  EXPECT_EQ(form->Edit3->text(), "KELVADO");
  EXPECT_EQ(form->Edit4->text(), "vovdemo.qdb_777_DEFAULT");
  EXPECT_EQ(form->Edit5->text(), "DEMO");
  EXPECT_EQ(form->Edit6->text(), "VOVDEMO");
  EXPECT_EQ(form->windowTitle(), "Kelvimport: KELVADO -> VOVDEMO");
  EXPECT_EQ(form->m_srcServer, "kelvado.qdb");
  EXPECT_EQ(form->m_destServer, "vovdemo.qdb");
  EXPECT_EQ(form->m_srcHandle, form->m_srcLogin.GetHandle());
  EXPECT_EQ(form->m_destHandle, form->m_destLogin.GetHandle());
  EXPECT_EQ(form->m_destUserId, form->m_destLogin.GetUserId());
  EXPECT_GE(form->m_destUserId, 0);

  // Only the telephone types, in the server's order, each with its id; the first chosen.
  EXPECT_EQ(Items(form->ComboBox3),
            (std::vector<std::string>{"Vezetékes telefon", "SMS telefonszám"}));
  EXPECT_EQ(form->ComboBox3->itemData(1).toInt(), 6);
  EXPECT_EQ(form->ComboBox3->currentIndex(), 0);
  EXPECT_EQ(Items(form->ComboBox4), (std::vector<std::string>{"Levelezési cím", "Lakcím"}));
  EXPECT_EQ(form->ComboBox4->itemData(0).toInt(), 2);
  EXPECT_EQ(form->ComboBox4->itemData(1).toInt(), 1);
  EXPECT_EQ(form->ComboBox4->currentIndex(), 0);
  EXPECT_TRUE(form->ComboBox3->isEnabled());
  for (QComboBox* combo : {form->ComboBox1, form->ComboBox2}) {
    EXPECT_EQ(combo->count(), 0);
    EXPECT_FALSE(combo->isEnabled());
  }
  form->UpdateActions();
  EXPECT_TRUE(form->aStartImport->isEnabled());
  form->m_running = true;
  form->UpdateActions();
  EXPECT_FALSE(form->aStartImport->isEnabled());
  form->m_running = false;
}

// The width a box needs to show a text whole: the text by the box's font
// and the style's frame and arrow around it, as the box itself measures.
int BoxWidthFor(const QComboBox* combo, const QString& text) {
  QStyleOptionComboBox option;
  option.initFrom(combo);
  option.frame = combo->hasFrame();
  option.currentText = text;
  const QSize contents(combo->fontMetrics().horizontalAdvance(text), combo->fontMetrics().height());
  return combo->style()->sizeFromContents(QStyle::CT_ComboBox, &option, contents, combo).width();
}

TEST_F(ImportWindowTest, EveryTypeShowsWholeInItsBoxAndInItsListAtTheSmallestWindow) {
  // The demo destination's contact types, its longest names among them.
  contactTypes =
      "ELET_ID\tELET_TIPUS\tELMT_ID\n"
      "1\tVezetékes telefon\t1\n"
      "2\tFax\t1\n"
      "5\tMunkahelyi telefon\t1\n"
      "6\tSMS telefonszám\t1\n";
  OpenConnected();
  form->resize(form->minimumSize());
  QApplication::processEvents();
  ASSERT_EQ(form->ComboBox3->count(), 4);
  ASSERT_EQ(form->ComboBox4->count(), 2);
  for (QComboBox* combo : {form->ComboBox3, form->ComboBox4}) {
    for (int i = 0; i < combo->count(); ++i) {
      const QString text = combo->itemText(i);
      combo->setCurrentIndex(i);
      EXPECT_GE(combo->width(), BoxWidthFor(combo, text)) << text.toStdString();
    }
    combo->showPopup();
    QAbstractItemView* list = combo->view();
    EXPECT_GE(list->viewport()->width(), list->sizeHintForColumn(0))
        << combo->objectName().toStdString();
    combo->hidePopup();
  }
}

// Connecting fills the destination's type lists; the two groups keep the
// halves of the window that they had before.
TEST_F(ImportWindowTest, ConnectingLeavesBothGroupsTheirWidths) {
  MakeSource(SourceSchema());
  Open();
  form->show();
  QApplication::processEvents();
  const QRect source = form->GroupBox1->geometry(), dest = form->GroupBox2->geometry();
  EXPECT_LE(std::abs(source.width() - dest.width()), 1);
  ConnectSource();
  ConnectDest();
  QApplication::processEvents();
  ASSERT_GT(form->ComboBox3->count(), 0);
  EXPECT_EQ(form->GroupBox1->geometry(), source);
  EXPECT_EQ(form->GroupBox2->geometry(), dest);
}

TEST_F(ImportWindowTest, TheStartActionNeedsBothLoginsAndBothTypes) {
  OpenConnected();
  form->ComboBox4->setCurrentIndex(-1);
  form->UpdateActions();
  EXPECT_FALSE(form->aStartImport->isEnabled());
  form->ComboBox4->setCurrentIndex(1);
  form->UpdateActions();
  EXPECT_TRUE(form->aStartImport->isEnabled());
  form->m_srcLogin.Logout();
  form->UpdateActions();
  EXPECT_FALSE(form->aStartImport->isEnabled());
}

TEST_F(ImportWindowTest, ADestinationWithoutTelephoneTypesKeepsTheStartDisabled) {
  contactTypes = "ELET_ID\tELET_TIPUS\tELMT_ID\n3\tE-mail\t2\n4\tWeboldal\t3\n";
  OpenConnected();
  EXPECT_EQ(form->ComboBox3->count(), 0);
  EXPECT_TRUE(form->ComboBox3->isEnabled());
  EXPECT_EQ(form->ComboBox4->count(), 2);
  EXPECT_EQ(LogLines(*form).end()[-5], Stamped("Adatbázis típusa: VOV ovoruved."));
  form->UpdateActions();
  EXPECT_FALSE(form->aStartImport->isEnabled());
}

TEST_F(ImportWindowTest, ASourceWithoutPlatesIsNoSourceDatabase) {
  std::string schema = SourceSchema();
  schema.erase(schema.find("record RENDSZAM"));
  MakeSource(schema);
  Open();
  form->show();
  ConnectSource();
  EXPECT_EQ(LinesAfterStart(*form),
            (std::vector<std::string>{TestSeparator(), Stamped("Nem megfelelő forrásadatbázis."),
                                      "Szolgáltatás: NO SERVICE.", "Felhasználó: NO USER.",
                                      "Szerver egyedi név: NO SERVER.", ""}));
  EXPECT_EQ(form->Edit1->text(), "NO SERVER");
  EXPECT_EQ(form->Edit2->text(), "NO USER");
  EXPECT_EQ(form->Edit3->text(), "NO SERVICE");
  EXPECT_EQ(form->m_srcMap.Count(), 0u);
  // The login itself stays, as does the server name.
  EXPECT_TRUE(form->m_srcLogin.IsLoggedIn());
  EXPECT_EQ(form->m_srcServer, "kelvado.qdb");
  EXPECT_TRUE(ui.MessageBoxes().empty());
}

TEST_F(ImportWindowTest, ADestinationWithoutTypeTablesIsNoDestinationDatabase) {
  MakeSource(SourceSchema());
  Open();
  form->show();
  // The source server holds no ALAP.
  ConnectDest("KELVADO");
  EXPECT_EQ(LinesAfterStart(*form),
            (std::vector<std::string>{TestSeparator(), Stamped("Nem megfelelő céladatbázis."),
                                      "Szolgáltatás: NO SERVICE.", "Felhasználó: NO USER.",
                                      "Szerver egyedi név: NO SERVER.", ""}));
  for (QComboBox* combo : {form->ComboBox3, form->ComboBox4}) {
    EXPECT_EQ(combo->count(), 0);
    EXPECT_FALSE(combo->isEnabled());
  }
  EXPECT_EQ(form->windowTitle(), "Kelvimport: NO SERVICE -> NO SERVICE");
}

TEST_F(ImportWindowTest, ACancelledLoginLogsItsFailure) {
  MakeSource(SourceSchema());
  Open();
  form->show();
  form->Execute(form->aConnectToSource);  // no script: the dialog is cancelled
  form->Execute(form->aConnectToDest);
  EXPECT_EQ(
      LinesAfterStart(*form),
      (std::vector<std::string>{
          TestSeparator(), Stamped("A forrásadatbázisba a bejelentkezés sikertelen."),
          "Szolgáltatás: NO SERVICE.", "Felhasználó: NO USER.", "Szerver egyedi név: NO SERVER.",
          "", TestSeparator(), Stamped("A céladatbázisba a bejelentkezés sikertelen."),
          "Szolgáltatás: NO SERVICE.", "Felhasználó: NO USER.", "Szerver egyedi név: NO SERVER.",
          ""}));
  EXPECT_EQ(ui.Dialogs().size(), 2u);
  EXPECT_TRUE(ui.MessageBoxes().empty());
}

TEST_F(ImportWindowTest, ConnectingAgainLogsOutBeforeTheDialogShows) {
  OpenConnected();
  ASSERT_TRUE(form->m_srcLogin.IsLoggedIn());
  bool loggedInDuringDialog = true;
  ui.QueueDialog([&](win::DialogDriver& d) {
    loggedInDuringDialog = form->m_srcLogin.IsLoggedIn();
    d.Escape();
  });
  form->Execute(form->aConnectToSource);
  EXPECT_FALSE(loggedInDuringDialog);
  EXPECT_FALSE(form->m_srcLogin.IsLoggedIn());
  EXPECT_EQ(form->Edit1->text(), "NO SERVER");
  EXPECT_EQ(form->windowTitle(), "Kelvimport: NO SERVICE -> VOVDEMO");
  // A second connect replaces the first one wholly.
  ConnectSource();
  EXPECT_TRUE(form->m_srcLogin.IsLoggedIn());
  EXPECT_EQ(form->Edit1->text(), "kelvado.qdb_4242_KELVREG01");
  EXPECT_EQ(form->m_srcMap.Count(), 2u);  // SYSDB and KELVADO
}

TEST_F(ImportWindowTest, ALibraryFailureShowsTheErrorBoxAndLeavesTheNames) {
  OpenConnected();
  QorClientConfig wrong;
  wrong.name = "ROSSZ";
  wrong.server = "kelvado.qdb";
  wrong.service = "masik";
  server.AddClient(wrong);
  const std::vector<std::string> logBefore = LogLines(*form);
  for (auto [action, operation] :
       {std::pair{form->aConnectToSource, "TForm1::aConnectToSourceExecute\nSor: 147\n"},
        {form->aConnectToDest, "TForm1::aConnectToDestExecute\nSor: 238\n"}}) {
    ui.Clear();
    QueueLogin(ui, "ROSSZ");
    form->Execute(action);
    ASSERT_EQ(ui.MessageBoxes().size(), 1u);
    const auto& box = ui.MessageBoxes()[0];
    EXPECT_EQ(box.caption, "Hiba történt!");
    EXPECT_EQ(box.flags, win::MB_OK | win::MB_TOPMOST);
    EXPECT_EQ(
        box.text.rfind(std::string("Modul: SMSKelvado6Import\\frm_Kelvado6Import\nEljárás: ") +
                           operation + "Kód: 10039\nÜzenet: ",
                       0),
        0u)
        << box.text;
  }
  EXPECT_EQ(LogLines(*form), logBefore);
  EXPECT_EQ(form->Edit2->text(), "DEMO");
  EXPECT_EQ(form->m_srcUnique, "kelvado.qdb_4242_KELVREG01");
  EXPECT_EQ(form->windowTitle(), "Kelvimport: KELVADO -> VOVDEMO");
  EXPECT_EQ(form->ComboBox3->count(), 2);
}

}  // namespace
