// The window without connections: start-up, the date library, the enabling
// rules, cancelling, closing and saving the log.
#include "TForm1.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <cstdlib>
#include <fstream>

#include "BusyAnimation.h"
#include "Cp1250Codec.h"
#include "KelvimportTest_testutil.h"

namespace {

TEST_F(ImportWindowTest, StartsWithoutConnectionsAndItsStartLines) {
  Open();
  ASSERT_FALSE(form->ExitRequested());
  EXPECT_EQ(form->windowTitle(), "Kelvimport");
  form->show();
  const std::pair<QLineEdit*, const char*> edits[] = {
      {form->Edit1, "NO SERVER"}, {form->Edit2, "NO USER"}, {form->Edit3, "NO SERVICE"},
      {form->Edit4, "NO SERVER"}, {form->Edit5, "NO USER"}, {form->Edit6, "NO SERVICE"}};
  for (const auto& [edit, text] : edits) {
    EXPECT_EQ(edit->text(), text) << edit->objectName().toStdString();
    EXPECT_TRUE(edit->isReadOnly());
  }
  for (QComboBox* combo : {form->ComboBox1, form->ComboBox2, form->ComboBox3, form->ComboBox4}) {
    EXPECT_EQ(combo->count(), 0);
    EXPECT_FALSE(combo->isEnabled());
  }
  EXPECT_EQ(form->windowTitle(), "Kelvimport: NO SERVICE -> NO SERVICE");
  EXPECT_EQ(form->m_caption, "Kelvimport: NO SERVICE -> NO SERVICE");
  const std::vector<std::string> start = {
      TestSeparator(), Stamped("Az Kelvimport program elindult."),
      Stamped("Kérem jelentkezzen be a forrás- majd a céladatbázisba."),
      Stamped("Az importálást csak ezt követően tudja megkezdeni."), ""};
  EXPECT_EQ(LogLines(*form), start);
  EXPECT_EQ(TestSeparator().size(), 56u);
  EXPECT_EQ(form->Label14->text(), "0");
  EXPECT_TRUE(form->Animate1->isHidden());
  EXPECT_EQ(form->width(), 573);
  EXPECT_TRUE(ui.MessageBoxes().empty());
}

TEST_F(ImportWindowTest, StartLinesComeOnceWhateverActivatesTheWindowAgain) {
  Open();
  form->show();
  form->hide();
  form->show();
  QEvent activate(QEvent::WindowActivate);
  QApplication::sendEvent(form.get(), &activate);
  EXPECT_EQ(LogLines(*form).size(), 5u);
}

TEST_F(ImportWindowTest, AMissingDateLibraryEndsTheProgramWithItsMessage) {
  Open("qorDateNowhere.dll");
  EXPECT_TRUE(form->ExitRequested());
  ASSERT_EQ(ui.MessageBoxes().size(), 1u);
  EXPECT_EQ(ui.MessageBoxes()[0].text, "Az qorDate.dll betöltése sikertelen.");
  EXPECT_EQ(ui.MessageBoxes()[0].caption, "Kelvimport");
}

TEST_F(ImportWindowTest, TheDateLibraryLoadsByItsWindowsName) {
  Open();
  EXPECT_NE(form->m_dateDll, nullptr);
  EXPECT_NE(form->m_getDateFromLong, nullptr);
  // A library without the entry is loaded without a word.
  Open("qordbcli.dll");
  EXPECT_FALSE(form->ExitRequested());
  EXPECT_NE(form->m_dateDll, nullptr);
  EXPECT_EQ(form->m_getDateFromLong, nullptr);
  EXPECT_EQ(form->DateFromLong("45657"), 0);
  EXPECT_TRUE(ui.MessageBoxes().empty());
}

TEST_F(ImportWindowTest, EveryActionButExitAndCancelWaitsForTheRunToEnd) {
  Open();
  form->show();
  QAction* whileIdle[] = {form->aConnectToSource,
                          form->aConnectToDest,
                          form->aLogSave,
                          form->aMindigFelulirCim,
                          form->aMindigFelulirElerhetoseg,
                          form->aMindigFelulirUgyfel,
                          form->aDetailedLog};
  for (bool running : {false, true}) {
    form->m_running = running;
    form->UpdateActions();
    for (QAction* a : whileIdle) EXPECT_EQ(a->isEnabled(), !running) << a->text().toStdString();
    EXPECT_EQ(form->aCancel->isEnabled(), running);
    EXPECT_FALSE(form->aStartImport->isEnabled());
    EXPECT_TRUE(form->aExit->isEnabled());
    // The check boxes and the cancel button follow their actions.
    for (QCheckBox* box : {form->cbCim, form->cbEle, form->cbUf, form->cbDetailed})
      EXPECT_EQ(box->isEnabled(), !running) << box->objectName().toStdString();
    EXPECT_EQ(form->bCancel->isEnabled(), running);
  }
  form->m_running = false;
}

TEST_F(ImportWindowTest, CheckBoxesCarryTheStateOfTheirActions) {
  Open();
  form->show();
  const std::pair<QCheckBox*, QAction*> pairs[] = {{form->cbCim, form->aMindigFelulirCim},
                                                   {form->cbEle, form->aMindigFelulirElerhetoseg},
                                                   {form->cbUf, form->aMindigFelulirUgyfel},
                                                   {form->cbDetailed, form->aDetailedLog}};
  for (const auto& [box, action] : pairs) {
    EXPECT_FALSE(box->isChecked());
    box->click();
    EXPECT_TRUE(box->isChecked());
    EXPECT_TRUE(action->isChecked());
    action->setChecked(false);
    EXPECT_FALSE(box->isChecked());
  }
  EXPECT_EQ(Cp1250Codec::FromQString(form->cbCim->text()), "a címeket");
  EXPECT_EQ(Cp1250Codec::FromQString(form->cbDetailed->text()), "Részletes jelentés");
}

TEST_F(ImportWindowTest, CancelAsksAndOnlyYesClearsTheRunFlag) {
  Open();
  form->show();
  form->m_running = true;
  ui.QueueMessageBoxAnswer(win::IDNO);
  form->Execute(form->aCancel);
  EXPECT_TRUE(form->m_running);
  ui.QueueMessageBoxAnswer(win::IDYES);
  form->Execute(form->aCancel);
  EXPECT_FALSE(form->m_running);
  ASSERT_EQ(ui.MessageBoxes().size(), 2u);
  for (const auto& box : ui.MessageBoxes()) {
    EXPECT_EQ(box.text, "Biztos, hogy megszakítja a betöltést?");
    EXPECT_EQ(box.caption, "Hiba");  // the system's own caption
    EXPECT_EQ(box.flags, win::MB_YESNO | win::MB_ICONEXCLAMATION);
  }
  // Without a run the action does nothing.
  form->Execute(form->aCancel);
  EXPECT_EQ(ui.MessageBoxes().size(), 2u);
}

TEST_F(ImportWindowTest, ClosingDuringARunAsksAndNoKeepsTheWindowAndTheRun) {
  Open();
  form->show();
  form->m_running = true;
  ui.QueueMessageBoxAnswer(win::IDNO);
  EXPECT_FALSE(form->close());
  EXPECT_TRUE(form->isVisible());
  EXPECT_TRUE(form->m_running);
  ui.QueueMessageBoxAnswer(win::IDYES);
  EXPECT_TRUE(form->close());
  EXPECT_FALSE(form->isVisible());
  EXPECT_FALSE(form->m_running);
  EXPECT_EQ(ui.MessageBoxes().size(), 2u);
}

TEST_F(ImportWindowTest, ExitWithoutARunClosesAtOnce) {
  Open();
  form->show();
  form->Execute(form->aExit);
  EXPECT_FALSE(form->isVisible());
  EXPECT_TRUE(ui.MessageBoxes().empty());
}

TEST_F(ImportWindowTest, SavingTheLogTwiceReplacesTheFileWithTheWholeLog) {
  Open();
  form->show();
  const std::string path = server.WriteFile("import.log", std::string(5000, 'x'));
  ui.QueueSaveFile(path);
  form->Execute(form->aLogSave);
  EXPECT_EQ(FileBytes(path), form->LogText());
  form->LogLine("Még egy sor: árvíztűrő tükörfúrógép.");
  ui.QueueSaveFile(path);
  form->Execute(form->aLogSave);
  const std::string saved = FileBytes(path);
  EXPECT_EQ(saved, TestSeparator() + "\r\n" + Stamped("Az Kelvimport program elindult.") + "\r\n" +
                       Stamped("Kérem jelentkezzen be a forrás- majd a céladatbázisba.") + "\r\n" +
                       Stamped("Az importálást csak ezt követően tudja megkezdeni.") + "\r\n\r\n" +
                       Stamped("Még egy sor: árvíztűrő tükörfúrógép.") + "\r\n");
  EXPECT_EQ(BoxTexts(),
            (std::vector<std::string>{"A logállomány elkészült.", "A logállomány elkészült."}));
  ASSERT_EQ(ui.SaveFiles().size(), 2u);
  EXPECT_EQ(ui.SaveFiles()[0].request.filter,
            "Log fájlok (*.log)|*.log|Szöveges fájlok (*.txt)|*.txt");
  EXPECT_EQ(ui.SaveFiles()[0].request.defaultExt, "log");
}

TEST_F(ImportWindowTest, ALogThatCannotBeWrittenIsReportedAndACancelSavesNothing) {
  Open();
  form->show();
  ui.QueueSaveFile(server.Folder() + "/nincs/ilyen/mappa.log");
  form->Execute(form->aLogSave);
  EXPECT_EQ(BoxTexts(), std::vector<std::string>{"A logállomány mentése sikertelen."});
  ui.Clear();
  ui.QueueSaveFile(std::nullopt);
  form->Execute(form->aLogSave);
  EXPECT_TRUE(ui.MessageBoxes().empty());
}

}  // namespace
