// The window without connections: start-up, the date library, the enabling
// rules, cancelling, closing and saving the log.
#include "TForm1.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QTextBlock>
#include <QToolBar>
#include <cstdlib>
#include <fstream>
#include <functional>

#include "BusyAnimation.h"
#include "Cp1250Codec.h"
#include "KelvimportTest_testutil.h"
#include "QtTest_testutil.h"

namespace {

TEST_F(ImportWindowTest, StartsWithoutConnectionsAndItsStartLines) {
  Open();
  ASSERT_FALSE(form->ExitRequested());
  EXPECT_EQ(form->windowTitle(), "Kelvimport");
  EXPECT_EQ(form->m_caption, "");
  form->show();
  form->UpdateActions();
  EXPECT_FALSE(form->aStartImport->isEnabled());
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
  EXPECT_EQ(LogLines(*form).front().size(), 56u);
  EXPECT_EQ(form->Label14->text(), "0");
  EXPECT_TRUE(form->Animate1->isHidden());
  EXPECT_EQ(form->width(), 573);
  // Of fixed width, the window offers no maximise.
  EXPECT_FALSE(form->windowFlags() & Qt::WindowMaximizeButtonHint);
  EXPECT_TRUE(form->windowFlags() & Qt::WindowMinimizeButtonHint);
  EXPECT_TRUE(form->windowFlags() & Qt::WindowCloseButtonHint);
  EXPECT_TRUE(ui.MessageBoxes().empty());
}

TEST_F(ImportWindowTest, ActionsCarryTheirCaptionsHintsAndPlaces) {
  Open();
  const struct {
    QAction* action;
    const char* caption;
    const char* hint;
    bool autoCheck;
  } actions[] = {
      {form->aConnectToSource, "Kapcsolódás a forrásadatbázishoz",
       "Kapcsolódás vagy újrakapcsolódás a forrásadatbázishoz.", false},
      {form->aConnectToDest, "Kapcsolódás a céladatbázishoz",
       "Kapcsolódás vagy újrakapcsolódás a céladatbázishoz.", false},
      {form->aStartImport, "Importálás megkezdése", "Importálás megkezdése.", false},
      {form->aCancel, "Betöltés megszakítása",
       "A betöltés folyamatának adatvesztés nélküli megszakítása.", false},
      {form->aLogSave, "Log mentése", "Logállomány készítése.", false},
      {form->aExit, "&Kilépés", "Kilépés.", false},
      {form->aMindigFelulirCim, "Cím",
       "A kijelölt típushoz tartozó címeket törli az adatbázisból, majd felveszi az új címeket.",
       true},
      {form->aMindigFelulirElerhetoseg, "Elérhetőség",
       "A kijelölt típushoz tartozó elérhetőségeket törli az adatbázisból, majd felveszi az új "
       "elérhetőségeket.",
       true},
      {form->aMindigFelulirUgyfel, "Ügyféladatok", "Ügyfél alapadatok felülírása változás esetén.",
       true},
      {form->aDetailedLog, "Részletes jelentés", "Részletes jelentés készítése a betöltésről.",
       true},
  };
  for (const auto& a : actions) {
    EXPECT_EQ(Cp1250Codec::FromQString(a.action->text()), a.caption);
    EXPECT_EQ(Cp1250Codec::FromQString(a.action->toolTip()), a.hint) << a.caption;
    EXPECT_EQ(a.action->isCheckable(), a.autoCheck) << a.caption;
  }
  // The check boxes and buttons show their actions' hints.
  const std::pair<QWidget*, QAction*> bound[] = {
      {form->cbCim, form->aMindigFelulirCim},   {form->cbEle, form->aMindigFelulirElerhetoseg},
      {form->cbUf, form->aMindigFelulirUgyfel}, {form->cbDetailed, form->aDetailedLog},
      {form->bCancel, form->aCancel},           {form->bExit, form->aExit}};
  for (const auto& [widget, action] : bound)
    EXPECT_EQ(widget->toolTip(), action->toolTip()) << widget->objectName().toStdString();
  EXPECT_EQ(form->bExit->text(), form->aExit->text());

  // The menus and the tool bar, a null entry for a separator.
  auto entries = [](const QList<QAction*>& list) {
    std::vector<QAction*> out;
    for (QAction* a : list) out.push_back(a->isSeparator() ? nullptr : a);
    return out;
  };
  const QList<QAction*> menus = form->menuBar()->actions();
  ASSERT_EQ(menus.size(), 3);
  const std::pair<const char*, std::vector<QAction*>> menuEntries[] = {
      {"Fájl", {form->aLogSave, form->aExit}},
      {"Kapcsolódás", {form->aConnectToSource, form->aConnectToDest}},
      {"Import", {form->aStartImport}}};
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(Cp1250Codec::FromQString(menus[i]->text()), menuEntries[i].first);
    EXPECT_EQ(entries(menus[i]->menu()->actions()), menuEntries[i].second) << menuEntries[i].first;
  }
  EXPECT_EQ(entries(form->ToolBar1->actions()),
            (std::vector<QAction*>{form->aLogSave, nullptr, form->aConnectToSource,
                                   form->aConnectToDest, nullptr, form->aStartImport}));
}

// Qt's main window offers a menu that hides the tool bar under its object name.
TEST_F(ImportWindowTest, RightClickingTheToolBarOrTheMenuBarOffersNoMenu) {
  Open();
  form->show();
  EXPECT_FALSE(RightClickOpensAMenu(form->ToolBar1));
  EXPECT_FALSE(RightClickOpensAMenu(form->menuBar()));
  EXPECT_TRUE(form->ToolBar1->isVisible());
}

TEST_F(ImportWindowTest, ControlsSitInTheirGroupsBesideTheirLabels) {
  Open();
  // Each group's title, and every label beside the control it names.
  const struct {
    QGroupBox* group;
    const char* title;
    std::vector<std::pair<const char*, QWidget*>> labels;
  } groups[] = {{form->GroupBox1,
                 "Forrásadatbázis beállítások",
                 {{"Szerver egyedi név", form->Edit1},
                  {"Felhasználó", form->Edit2},
                  {"Szolgáltatás", form->Edit3},
                  {"Elérhetőség típus", form->ComboBox1},
                  {"Cím típus", form->ComboBox2}}},
                {form->GroupBox2,
                 "Céladatbázis beállítások",
                 {{"Szerver egyedi név", form->Edit4},
                  {"Felhasználó", form->Edit5},
                  {"Szolgáltatás", form->Edit6},
                  {"Elérhetőség típus", form->ComboBox3},
                  {"Cím típus", form->ComboBox4}}},
                {form->GroupBox3, "Betöltéskor írja felül", {}}};
  for (const auto& g : groups) {
    EXPECT_EQ(Cp1250Codec::FromQString(g.group->title()), g.title);
    for (const auto& [text, field] : g.labels) {
      EXPECT_EQ(field->parentWidget(), g.group) << text;
      const QLabel* label = nullptr;
      for (const QLabel* l : g.group->findChildren<QLabel*>(Qt::FindDirectChildrenOnly))
        if (l->buddy() == field) label = l;
      ASSERT_NE(label, nullptr) << text;
      EXPECT_EQ(Cp1250Codec::FromQString(label->text()), text);
    }
  }
  for (QCheckBox* box : {form->cbCim, form->cbEle, form->cbUf})
    EXPECT_EQ(box->parentWidget(), form->GroupBox3) << box->objectName().toStdString();
  // The progress of a run and its cancel button sit with the source.
  bool stateLabel = false;
  for (const QLabel* l : form->GroupBox1->findChildren<QLabel*>(Qt::FindDirectChildrenOnly))
    stateLabel = stateLabel || Cp1250Codec::FromQString(l->text()) == "Betöltés állapota";
  EXPECT_TRUE(stateLabel);
  const QWidget* progress[] = {form->ProgressBar1, form->Label14, form->Animate1, form->bCancel};
  for (const QWidget* w : progress)
    EXPECT_EQ(w->parentWidget(), form->GroupBox1) << w->objectName().toStdString();

  // The log: read-only, bold fixed-pitch, unwrapped, with its vertical scroll bar.
  EXPECT_TRUE(form->Memo1->isReadOnly());
  EXPECT_EQ(form->Memo1->lineWrapMode(), QPlainTextEdit::NoWrap);
  EXPECT_EQ(form->Memo1->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
  EXPECT_EQ(form->Memo1->font().family(), "Courier New");
  EXPECT_TRUE(form->Memo1->font().bold());
  EXPECT_TRUE(form->Memo1->font().fixedPitch());
}

// Counts the layout requests that reach any widget.
class LayoutRequests : public QObject {
 public:
  LayoutRequests() { qApp->installEventFilter(this); }
  ~LayoutRequests() override { qApp->removeEventFilter(this); }
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::LayoutRequest && watched->isWidgetType()) ++count;
    return false;
  }
  int count = 0;
};

TEST_F(ImportWindowTest, ARowsProgressShowsTheCountWithoutReLayingOutTheWindow) {
  Open();
  form->show();
  form->ProgressBar1->setRange(0, 10);
  form->ProgressBar1->setValue(0);
  LayoutRequests requests;
  // The shown window finishes its own layout first.
  do {
    requests.count = 0;
    QCoreApplication::processEvents();
  } while (requests.count != 0);
  const int width = form->Label14->width();
  // Counts up to the seven digits that the label is made for.
  const struct {
    int remaining;
    const char* label;
    const char* title;
  } rows[] = {{9, "9", "(9) Kelvimport"},
              {1234567, "1234567", "(1234567) Kelvimport"},
              {0, "0", "(0) Kelvimport"},
              {-1, "-1", "(-1) Kelvimport"}};
  for (const auto& row : rows) {
    const int progress = form->ProgressBar1->value();
    form->ShowProgress(row.remaining);
    QCoreApplication::processEvents();
    EXPECT_EQ(form->ProgressBar1->value(), progress + 1) << row.label;
    EXPECT_EQ(form->Label14->text(), row.label);
    EXPECT_EQ(win::ApplicationTitle(), row.title);
  }
  EXPECT_EQ(requests.count, 0);
  EXPECT_EQ(form->Label14->width(), width);

  // A longer count widens the label so that it shows whole.
  form->ShowProgress(1234567890);
  QCoreApplication::processEvents();
  EXPECT_EQ(form->Label14->text(), "1234567890");
  EXPECT_GE(form->Label14->width(),
            form->Label14->fontMetrics().horizontalAdvance(form->Label14->text()));
}

// As a memo does on Windows, the log shows each line it is given, wherever the
// operator had scrolled it and whatever the window went through.
TEST_F(ImportWindowTest, EveryAddedLineComesIntoViewWhereverTheLogWasScrolled) {
  Open();
  form->show();
  for (int i = 0; i < 200; ++i) form->AddMemoLine("sor " + std::to_string(i));
  QScrollBar* bar = form->Memo1->verticalScrollBar();
  const std::pair<const char*, std::function<void()>> before[] = {
      {"scrolled to the top", [&] { bar->setValue(0); }},
      {"scrolled half way", [&] { bar->setValue(bar->maximum() / 2); }},
      {"maximised, restored and scrolled to the top",
       [&] {
         form->showMaximized();
         QApplication::processEvents();
         form->showNormal();
         QApplication::processEvents();
         bar->setValue(0);
       }},
  };
  // Every way a line reaches the log: as it stands, time-stamped, and the
  // lines of a failed login (no dialog answer: the login is cancelled).
  const std::pair<const char*, std::function<void()>> adds[] = {
      {"AddMemoLine", [&] { form->AddMemoLine("egy sor"); }},
      {"LogLine", [&] { form->LogLine("egy sor"); }},
      {"LogSeparator", [&] { form->LogSeparator(); }},
      {"failed login", [&] { form->Execute(form->aConnectToSource); }},
  };
  for (const auto& [scrolled, scroll] : before) {
    for (const auto& [added, add] : adds) {
      scroll();
      ASSERT_LT(bar->value(), bar->maximum()) << scrolled;
      add();
      EXPECT_EQ(bar->value(), bar->maximum()) << scrolled << ", " << added;
      const QRect last = form->Memo1->cursorRect(QTextCursor(form->Memo1->document()->lastBlock()));
      EXPECT_TRUE(form->Memo1->viewport()->rect().contains(last)) << scrolled << ", " << added;
    }
  }
}

// After the window is shrunk, grown or restored the log shows its newest
// line, as it does when a line is added.
TEST_F(ImportWindowTest, AfterAResizeTheNewestLineIsInViewWhereverTheLogWasScrolled) {
  Open();
  form->show();
  for (int i = 0; i < 200; ++i) form->AddMemoLine("sor " + std::to_string(i));
  QScrollBar* bar = form->Memo1->verticalScrollBar();
  const int low = form->minimumHeight(), high = 800;
  const struct {
    const char* name;
    int from;  // the height the log is scrolled at
    std::function<void()> resize;
  } resizes[] = {
      {"shrunk", high, [&] { form->resize(form->width(), low); }},
      {"grown", low, [&] { form->resize(form->width(), high); }},
      {"maximised and restored", low,
       [&] {
         form->showMaximized();
         QApplication::processEvents();
         form->showNormal();
       }},
  };
  for (const auto& r : resizes) {
    for (const bool top : {true, false}) {
      form->resize(form->width(), r.from);
      QApplication::processEvents();
      bar->setValue(top ? 0 : bar->maximum() / 2);
      ASSERT_LT(bar->value(), bar->maximum()) << r.name;
      r.resize();
      QApplication::processEvents();
      EXPECT_EQ(bar->value(), bar->maximum()) << r.name << (top ? " from the top" : " half way");
      const QRect last = form->Memo1->cursorRect(QTextCursor(form->Memo1->document()->lastBlock()));
      EXPECT_TRUE(form->Memo1->viewport()->rect().contains(last)) << r.name;
    }
  }
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
