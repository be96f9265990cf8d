#include "TForm1.h"

#include <sys/stat.h>

#include <QAction>
#include <QApplication>
#include <QGroupBox>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QToolBar>
#include <QTreeView>
#include <fstream>

#include "Cp1250Codec.h"
#include "NumfixFakes_testutil.h"
#include "QtTest_testutil.h"

namespace {

using Box = FakePrompts::Box;

std::string S(const QString& text) { return Cp1250Codec::FromQString(text); }

std::string Header() {
  std::time_t t = 1765360800;
  char stamp[32] = {};
  ctime_r(&t, stamp);
  stamp[24] = '\0';
  return std::string("----------------------- ") + stamp + " -----------------------\r\n";
}

// Contacts in every shape the list meets.
void FillTypical(FakeData& d) {
  d.Add(1, "0620/1234567");         // error template
  d.Add(2, "(36) 30/ 765-43-21:");  // error template, stored with blanks
  d.Add(3, "(+36)20/123-45-67:");   // valid: not listed
  d.Add(4, "20 123 4567");          // no template
  d.Add(5, "0620/7654321", 6, 0);   // no owner table: never listed
  d.Add(6, "0620/1111111", 5);      // another contact type
  d.Add(7, "0670/2222222");         // error template
}

TEST_F(WindowTest, ListsOnlyOwnedTypeSixContactsThatNeedRepair) {
  FillTypical(*data);
  Open();
  ASSERT_EQ(form->ItemCount(), 4);
  EXPECT_EQ(form->lItemCount->text(), "4");
  struct Row {
    long id;
    const char* caption;
    const char* description;
    const char* number;
    const char* suggestion;
    int state;
  } rows[] = {
      {1, "06AA/AAAAAAA", "Érvénytelen szám (javítható)", "0620/1234567", "(+36)20/123-45-67:", -1},
      {2, "(36)AA/AAA-AA-AA:", "Érvénytelen szám (javítható)",
       "(36)30/765-43-21:", "(+36)30/765-43-21:", -1},
      {4, "Nincs illeszkedő sablon", "Ismeretlen számformátum", "201234567", "Kézzel javítható", 1},
      {7, "06AA/AAAAAAA", "Érvénytelen szám (javítható)", "0670/2222222", "(+36)70/222-22-22:", -1},
  };
  for (int i = 0; i < 4; ++i) {
    const Row& r = rows[i];
    SCOPED_TRACE(r.id);
    EXPECT_EQ(TForm1::ItemElerId(Item(i)), r.id);
    EXPECT_EQ(Text(i, TForm1::kColCaption), r.caption);
    EXPECT_EQ(Text(i, TForm1::kColDescription), r.description);
    EXPECT_EQ(Text(i, TForm1::kColNumber), r.number);
    EXPECT_EQ(Text(i, TForm1::kColSuggestion), r.suggestion);
    EXPECT_EQ(Text(i, TForm1::kColEdited), "");
    EXPECT_EQ(TForm1::ItemState(Item(i)), r.state);
  }
  EXPECT_TRUE(boxes.empty());
}

TEST_F(WindowTest, OnlyValidNumbersGiveAnEmptyList) {
  data->Add(1, "(+36)20/123-45-67:");
  data->Add(2, "(+36)20/123-45-67:1234");
  Open();
  EXPECT_EQ(form->ItemCount(), 0);
  EXPECT_EQ(form->lItemCount->text(), "0");
}

TEST_F(WindowTest, EmptyTemplateFileListsEveryNumberForManualRepair) {
  FillTypical(*data);
  Open("");
  ASSERT_EQ(form->ItemCount(), 5);
  for (int i = 0; i < 5; ++i) EXPECT_EQ(Text(i, TForm1::kColSuggestion), "Kézzel javítható");
}

TEST_F(WindowTest, ReadFailureShowsBoxThenWarningAndEmptiesList) {
  FillTypical(*data);
  data->readThrows = 10005;
  Open();
  EXPECT_EQ(form->ItemCount(), 0);
  EXPECT_EQ(form->lItemCount->text(), "0");
  form->show();
  QTest::qWait(10);
  for (int c = 0; c < TForm1::kColumns; ++c) EXPECT_GT(form->ListView1->columnWidth(c), 40) << c;
  ASSERT_EQ(boxes.size(), 2u);
  EXPECT_EQ(boxes[0].caption, "Hiba történt!");
  EXPECT_EQ(
      boxes[0].text.rfind("Modul: SMSNumfix\\frm_Numfix\nEljárás: TForm1::aGetRecordListExecute\n"
                          "Sor: 262\nKód: 10005\nÜzenet: ",
                          0),
      0u)
      << boxes[0].text;
  EXPECT_EQ(boxes[1].text,
            "Hiba történt az adatok felolvasása közben, az eszköz használata nem biztonságos!");
}

TEST_F(WindowTest, FailedOrCancelledConnectEndsTheProgram) {
  data->connectResult = false;
  Open();
  EXPECT_TRUE(form->ExitRequested());
  EXPECT_TRUE(boxes.empty());  // a cancelled login says nothing
  EXPECT_GE(data->logouts, 1);
}

TEST_F(WindowTest, ConnectFailureShowsTheErrorBox) {
  data->connectThrows = 2000;
  Open();
  EXPECT_TRUE(form->ExitRequested());
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_NE(boxes[0].text.find("Eljárás: TForm1::ConnectToDb\nSor: 209\nKód: 2000\n"),
            std::string::npos);
}

TEST_F(WindowTest, MarkingOneKindAndAll) {
  FillTypical(*data);
  Open();
  Select(1);
  form->Execute(form->aRepairThisOne);
  EXPECT_EQ(TForm1::ItemState(ItemById(1)), 0);
  EXPECT_EQ(TForm1::ItemState(ItemById(7)), -1);
  form->Execute(form->aRepairThisOne);  // disabled on a marked item: nothing changes
  EXPECT_EQ(TForm1::ItemState(ItemById(1)), 0);

  form->Execute(form->aCancelThisOne);
  EXPECT_EQ(TForm1::ItemState(ItemById(1)), -1);

  form->Execute(form->aRepairThisKind);  // every 06AA/AAAAAAA item
  EXPECT_EQ(TForm1::ItemState(ItemById(1)), 0);
  EXPECT_EQ(TForm1::ItemState(ItemById(7)), 0);
  EXPECT_EQ(TForm1::ItemState(ItemById(2)), -1);
  form->Execute(form->aCancelThisKind);
  EXPECT_EQ(TForm1::ItemState(ItemById(7)), -1);

  form->Execute(form->aRepairAll);
  for (long id : {1, 2, 7}) EXPECT_EQ(TForm1::ItemState(ItemById(id)), 0) << id;
  EXPECT_EQ(TForm1::ItemState(ItemById(4)), 1);  // without template: only by editing
  form->Execute(form->aCancelAll);
  for (long id : {1, 2, 7}) EXPECT_EQ(TForm1::ItemState(ItemById(id)), -1) << id;
  EXPECT_EQ(TForm1::ItemState(ItemById(4)), 1);
}

// Types a value into the editor of the selected item and stores it with Enter.
void EditSelected(TForm1& form, const char* orszag, const char* korzet, const char* szam,
                  const char* mellek) {
  form.Execute(form.aEnterEditMode);
  TypeDigits(form.eOrszag, orszag);
  TypeDigits(form.eKorzet, korzet);
  TypeDigits(form.eSzam, szam);
  TypeDigits(form.eMellek, mellek);
  QTest::keyClick(form.eMellek, Qt::Key_Return);
}

// What ListView1 shows of the items, and that it hears of every change.
TEST_F(WindowTest, TheListShowsColumnsHeadersAndStateImagesAndHearsOfChanges) {
  FillTypical(*data);
  Open();
  form->show();
  const QAbstractItemModel* model = form->ListView1->model();
  const char* titles[] = {"Hibatípus (hibasablon)", "Hiba leírása", "Tárolt telefonszám",
                          "Javaslat", "Szerkesztett"};
  ASSERT_EQ(model->columnCount(), TForm1::kColumns);
  for (int c = 0; c < TForm1::kColumns; ++c)
    EXPECT_EQ(S(model->headerData(c, Qt::Horizontal).toString()), titles[c]);
  auto index = [&](long id, int column) {
    return model->index(form->IndexOf(ItemById(id)).row(), column);
  };
  auto shown = [&](long id, int column) { return S(index(id, column).data().toString()); };
  auto image = [&](long id) {
    return index(id, 0).data(Qt::DecorationRole).value<QIcon>().cacheKey();
  };
  EXPECT_EQ(model->rowCount(), 4);
  const std::vector<std::string> row2 = {"(36)AA/AAA-AA-AA:", "Érvénytelen szám (javítható)",
                                         "(36)30/765-43-21:", "(+36)30/765-43-21:", ""};
  for (int c = 0; c < TForm1::kColumns; ++c) EXPECT_EQ(shown(2, c), row2[size_t(c)]) << c;
  const qint64 notMarked = image(1);
  EXPECT_NE(image(4), notMarked);  // without template
  for (int c = 1; c < TForm1::kColumns; ++c)
    EXPECT_TRUE(index(1, c).data(Qt::DecorationRole).isNull());

  QSignalSpy changes(model, &QAbstractItemModel::dataChanged);
  Select(1);
  form->Execute(form->aRepairThisOne);
  ASSERT_EQ(changes.size(), 1);
  EXPECT_EQ(changes[0][0].toModelIndex().row(), index(1, 0).row());
  const qint64 marked = image(1);
  EXPECT_NE(marked, notMarked);

  // Marking all is one change of every row's image.
  form->Execute(form->aRepairAll);
  ASSERT_EQ(changes.size(), 2);
  EXPECT_EQ(changes[1][0].toModelIndex().row(), 0);
  EXPECT_EQ(changes[1][1].toModelIndex().row(), model->rowCount() - 1);
  EXPECT_EQ(image(2), marked);
  EXPECT_EQ(image(7), marked);

  Select(7);
  EditSelected(*form, "36", "70", "2222222", "1234");
  EXPECT_EQ(shown(7, TForm1::kColSuggestion), "(+36)70/222-22-22:1234");
  EXPECT_EQ(shown(7, TForm1::kColEdited), "Igen");
  EXPECT_NE(image(7), marked);
  EXPECT_NE(image(7), notMarked);
}

TEST_F(WindowTest, EditorPreviewHasABlankInEveryFreePlace) {
  FillTypical(*data);
  Open();
  form->show();
  EXPECT_TRUE(form->GroupBox1->isHidden());  // list mode when first shown
  Select(4);
  EXPECT_EQ(form->Edit1->text(), "201234567");
  EXPECT_EQ(form->Edit2->text().toStdString(),
            std::string("K\xC3\xA9zzel jav\xC3\xADthat\xC3\xB3"));

  form->Execute(form->aEnterEditMode);
  EXPECT_FALSE(form->GroupBox1->isHidden());
  EXPECT_EQ(TForm1::MaskedText(form->eOrszag), "+  ");
  EXPECT_EQ(TForm1::MaskedText(form->eSzam), "   -  -  ");
  EXPECT_EQ(TForm1::MaskedText(form->eMellek), "    ");

  TypeDigits(form->eOrszag, "36");
  TypeDigits(form->eKorzet, "20");
  TypeDigits(form->eSzam, "1234567");
  EXPECT_EQ(form->Edit3->text(), "(+36)20/123-45-67:    ");

  QTest::keyClick(form->eMellek, Qt::Key_Return);
  EXPECT_TRUE(form->GroupBox1->isHidden());
  const TForm1::ListItem* item = ItemById(4);
  EXPECT_EQ(TForm1::ItemText(item, TForm1::kColSuggestion), "(+36)20/123-45-67:    ");
  EXPECT_EQ(TForm1::ItemText(item, TForm1::kColEdited), "Igen");
  EXPECT_EQ(TForm1::ItemState(item), 2);
  EXPECT_EQ(form->Edit3->text(), "");
}

TEST_F(WindowTest, OptionalDigitsLeaveBlanksThatTheAcceptanceIgnores) {
  FillTypical(*data);
  Open();
  form->show();
  Select(4);
  EditSelected(*form, "36", "1", "2345678", "");  // a one-digit area code
  const TForm1::ListItem* item = ItemById(4);
  EXPECT_EQ(TForm1::ItemText(item, TForm1::kColSuggestion), "(+36)1 /234-56-78:    ");
  EXPECT_EQ(TForm1::ItemState(item), 2);
}

TEST_F(WindowTest, EnterStoresOnlyAValueThatMatchesAValidTemplate) {
  FillTypical(*data);
  Open();
  form->show();
  Select(1);
  form->Execute(form->aEnterEditMode);
  TypeDigits(form->eOrszag, "36");
  TypeDigits(form->eSzam, "1234567");  // area code missing
  QTest::keyClick(form->eSzam, Qt::Key_Return);
  EXPECT_FALSE(form->GroupBox1->isHidden());  // still editing
  EXPECT_EQ(TForm1::ItemState(ItemById(1)), -1);
  EXPECT_EQ(TForm1::ItemText(ItemById(1), TForm1::kColEdited), "");

  QTest::keyClick(form->eSzam, Qt::Key_Escape);
  EXPECT_TRUE(form->GroupBox1->isHidden());
  EXPECT_EQ(TForm1::ItemText(ItemById(1), TForm1::kColSuggestion), "(+36)20/123-45-67:");
}

TEST_F(WindowTest, StoreActsOnlyWhileTheEditorIsShown) {
  // A valid template for the empty text would accept the empty preview.
  FillTypical(*data);
  Open(std::string(kWindowTemplates) + "novalue\r\n");
  form->show();
  Select(1);
  ASSERT_TRUE(form->GroupBox1->isHidden());
  ASSERT_TRUE(form->MatchesValidTemplate(""));
  form->Execute(form->aEditThisOne);
  EXPECT_EQ(TForm1::ItemText(ItemById(1), TForm1::kColSuggestion), "(+36)20/123-45-67:");
  EXPECT_EQ(TForm1::ItemState(ItemById(1)), -1);
}

TEST_F(WindowTest, UnmarkingKeepsTheEditedValueAndKindsSkipEditedItems) {
  FillTypical(*data);
  Open();
  form->show();
  Select(4);
  EditSelected(*form, "36", "20", "1234567", "");
  EXPECT_EQ(TForm1::ItemState(ItemById(4)), 2);
  form->Execute(form->aCancelThisOne);
  EXPECT_EQ(TForm1::ItemState(ItemById(4)), -1);
  EXPECT_EQ(TForm1::ItemText(ItemById(4), TForm1::kColEdited), "Igen");
  form->Execute(form->aRepairThisOne);
  EXPECT_EQ(TForm1::ItemState(ItemById(4)), 2);

  // An edited item of a kind stays as it is when its kind is (un)marked.
  Select(7);
  EditSelected(*form, "36", "70", "2222222", "1234");
  form->Execute(form->aCancelThisOne);
  ASSERT_EQ(TForm1::ItemState(ItemById(7)), -1);
  Select(1);
  form->Execute(form->aRepairThisKind);
  EXPECT_EQ(TForm1::ItemState(ItemById(1)), 0);
  EXPECT_EQ(TForm1::ItemState(ItemById(7)), -1);
  // Marking all gives the edited item state 2.
  form->Execute(form->aRepairAll);
  EXPECT_EQ(TForm1::ItemState(ItemById(7)), 2);
  EXPECT_EQ(TForm1::ItemText(ItemById(7), TForm1::kColSuggestion), "(+36)70/222-22-22:1234");
}

TEST_F(WindowTest, EnablingRulesFollowTheSelectedItemsState) {
  FillTypical(*data);
  data->Add(8, "0630/3333333");
  Open();
  form->show();
  Select(2);
  form->Execute(form->aRepairThisOne);
  Select(7);
  EditSelected(*form, "36", "70", "2222222", "");
  Select(8);
  EditSelected(*form, "36", "30", "3333333", "");
  form->Execute(form->aCancelThisOne);

  struct {
    long id;  // 0: nothing selected
    const char* what;
    bool repairOne, cancelOne, byKind, editOrInfo;
  } cases[] = {
      {1, "not marked", true, false, true, true},
      {2, "marked", false, true, true, true},
      {4, "without template", false, false, false, true},
      {7, "edited and marked", false, true, false, true},
      {8, "edited, unmarked", true, false, false, true},
      {0, "nothing selected", false, false, false, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    if (c.id)
      Select(c.id);
    else
      form->ListView1->clearSelection();
    form->UpdateActions();
    EXPECT_EQ(form->aRepairThisOne->isEnabled(), c.repairOne);
    EXPECT_EQ(form->aCancelThisOne->isEnabled(), c.cancelOne);
    EXPECT_EQ(form->aRepairThisKind->isEnabled(), c.byKind);
    EXPECT_EQ(form->aCancelThisKind->isEnabled(), c.byKind);
    EXPECT_EQ(form->aEnterEditMode->isEnabled(), c.editOrInfo);
    EXPECT_EQ(form->aGetInfo->isEnabled(), c.editOrInfo);
    // List mode: nothing to store or leave.
    EXPECT_FALSE(form->aEditThisOne->isEnabled());
    EXPECT_FALSE(form->aExitEditMode->isEnabled());
    for (QAction* always : {form->aGetRecordList, form->aSetRecordList, form->aRepairAll,
                            form->aCancelAll, form->aExit})
      EXPECT_TRUE(always->isEnabled()) << always->text().toStdString();
  }
}

TEST_F(WindowTest, KeypadKeysActInTheListAndTheMainKeyboardSignsDoNot) {
  FillTypical(*data);
  Open();
  form->show();
  Select(1);
  form->ListView1->setFocus();
  QTest::keyClick(form->ListView1, Qt::Key_Plus);  // main keyboard
  EXPECT_EQ(TForm1::ItemState(ItemById(1)), -1);
  QTest::keyClick(form->ListView1, Qt::Key_Plus, Qt::KeypadModifier);
  EXPECT_EQ(TForm1::ItemState(ItemById(1)), 0);
  QTest::keyClick(form->ListView1, Qt::Key_Minus);
  EXPECT_EQ(TForm1::ItemState(ItemById(1)), 0);
  QTest::keyClick(form->ListView1, Qt::Key_Minus, Qt::KeypadModifier);
  EXPECT_EQ(TForm1::ItemState(ItemById(1)), -1);
  QTest::keyClick(form->ListView1, Qt::Key_Asterisk, Qt::KeypadModifier);
  EXPECT_EQ(TForm1::ItemState(ItemById(7)), 0);
  QTest::keyClick(form->ListView1, Qt::Key_Slash, Qt::KeypadModifier);
  EXPECT_EQ(TForm1::ItemState(ItemById(7)), -1);
  QTest::keyClick(form->ListView1, Qt::Key_Space);
  ASSERT_EQ(boxes.size(), 1u);  // the customer information
  EXPECT_EQ(boxes[0].text, "Az ügyfél nem található.");
  QTest::keyClick(form->ListView1, Qt::Key_Return);
  EXPECT_FALSE(form->GroupBox1->isHidden());
  // In the editor the keypad's signs are only typing.
  QTest::keyClick(form->eOrszag, Qt::Key_Plus, Qt::KeypadModifier);
  EXPECT_EQ(TForm1::ItemState(ItemById(1)), -1);
}

TEST_F(WindowTest, WriteBackLogsBlockRewritesAndReloads) {
  FillTypical(*data);
  data->Add(8, "0630/3333333");
  Open();
  form->show();
  Select(1);
  form->Execute(form->aRepairThisOne);
  Select(4);
  EditSelected(*form, "36", "20", "9876543", "");
  Select(8);
  form->Execute(form->aRepairThisOne);
  data->contacts.erase(8);  // deleted by someone else after the load
  form->Execute(form->aSetRecordList);

  const std::string block = Header() +
                            "Tranzakcio indul.\r\n"
                            " OK - Rekord frissitve: [1] 0620/1234567 -> (+36)20/123-45-67:\r\n"
                            " OK - Rekord frissitve: [4] 20 123 4567 -> (+36)20/987-65-43:    \r\n"
                            "ERR - Rekord frissitese sikertelen: [8] ??? -> (+36)30/333-33-33:\r\n"
                            "Tranzakcio lezarva.\r\n"
                            "Konvertalas rendben.\r\n";
  EXPECT_EQ(Header().size(), 72u + 2u);
  EXPECT_EQ(form->WriteBackLog(), block);
  EXPECT_EQ(LogFile(), block);
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text,
            "A javítások bekerültek az adatbázisba, de 1 javítás nem került be, mert a rekord már "
            "nem található.");
  EXPECT_EQ(data->calls, (std::vector<std::string>{"begin UpdateElerhetosegList", "commit"}));
  EXPECT_EQ(data->contacts[1].contact.adat, "(+36)20/123-45-67:");
  // Reloaded: the repaired numbers are valid now, the others keep their state.
  EXPECT_EQ(ItemById(1), nullptr);
  EXPECT_EQ(ItemById(4), nullptr);
  EXPECT_EQ(form->lItemCount->text(), "2");

  // A second write-back appends a block of its own.
  form->Execute(form->aSetRecordList);
  const std::string second =
      Header() + "Tranzakcio indul.\r\nTranzakcio lezarva.\r\nKonvertalas rendben.\r\n";
  EXPECT_EQ(form->WriteBackLog(), second);
  EXPECT_EQ(LogFile(), block + second);
}

TEST_F(WindowTest, RecordVanishingBeforeTheRewriteIsAnErrLine) {
  FillTypical(*data);
  Open();
  form->Execute(form->aRepairAll);
  data->vanishOnUpdate = 2;
  form->Execute(form->aSetRecordList);
  EXPECT_NE(form->WriteBackLog().find(
                "ERR - Rekord frissitese sikertelen: [2] ??? -> (+36)30/765-43-21:\r\n"),
            std::string::npos);
  EXPECT_EQ(form->WriteBackLog().find("[2] (36)"), std::string::npos);
  EXPECT_EQ(data->contacts[7].contact.adat, "(+36)70/222-22-22:");
}

// Marked repairs (1, 2 and 7) whose records are deleted by another program
// between the load and the write-back: the transaction commits the others.
struct GoneCase {
  const char* name;
  std::vector<long> deleted;  // before the write-back
  long vanishOnUpdate;        // between its find and its rewrite; -1 none
  const char* message;
};

void PrintTo(const GoneCase& c, std::ostream* os) { *os << c.name; }

class GoneRecordsTest : public WindowTest, public testing::WithParamInterface<GoneCase> {};

TEST_P(GoneRecordsTest, TheMessageCountsTheRepairsNotWritten) {
  const GoneCase& c = GetParam();
  FillTypical(*data);
  Open();
  form->Execute(form->aRepairAll);
  for (long id : c.deleted) data->contacts.erase(id);
  data->vanishOnUpdate = c.vanishOnUpdate;
  form->Execute(form->aSetRecordList);
  const std::string& log = form->WriteBackLog();
  EXPECT_EQ(log.substr(log.size() - 43), "Tranzakcio lezarva.\r\nKonvertalas rendben.\r\n");
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text, c.message);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, GoneRecordsTest,
    testing::Values(GoneCase{"NoneGone", {}, -1, "A javítások bekerültek az adatbázisba."},
                    GoneCase{"OneGone",
                             {2},
                             -1,
                             "A javítások bekerültek az adatbázisba, de 1 javítás nem került be, "
                             "mert a rekord már nem található."},
                    GoneCase{"AllGone",
                             {1, 7},
                             2,
                             "A javítások bekerültek az adatbázisba, de 3 javítás nem került be, "
                             "mert a rekord már nem található."}),
    [](const testing::TestParamInfo<GoneCase>& info) { return std::string(info.param.name); });

TEST_F(WindowTest, FailingWriteAbortsAndLeavesEveryRecord) {
  FillTypical(*data);
  Open();
  form->Execute(form->aRepairAll);
  data->updateThrowsAt = 2;
  form->Execute(form->aSetRecordList);

  const std::string block = Header() +
                            "Tranzakcio indul.\r\n"
                            " OK - Rekord frissitve: [1] 0620/1234567 -> (+36)20/123-45-67:\r\n"
                            "A konvertálás sikertelen.\r\n";
  EXPECT_EQ(form->WriteBackLog(), block);
  EXPECT_EQ(LogFile(), block);
  EXPECT_EQ(data->calls, (std::vector<std::string>{"begin UpdateElerhetosegList", "abort"}));
  EXPECT_EQ(data->contacts[1].contact.adat, "0620/1234567");
  ASSERT_EQ(boxes.size(), 2u);
  EXPECT_EQ(boxes[0].caption, "Hiba történt!");
  EXPECT_NE(
      boxes[0].text.find("Modul: SMSNumfix\\frm_Numfix\nEljárás: TForm1::aSetRecordListExecute\n"
                         "Sor: 450\nKód: 10005\n"),
      std::string::npos);
  EXPECT_EQ(boxes[1].text, "Hiba a javítások átvezetése során.");
  EXPECT_EQ(form->ItemCount(), 4);  // reloaded, nothing written
}

TEST_F(WindowTest, FailingCommitAbortsTheTransaction) {
  FillTypical(*data);
  Open();
  form->Execute(form->aRepairAll);
  data->commitThrows = true;
  form->Execute(form->aSetRecordList);
  EXPECT_EQ(data->calls,
            (std::vector<std::string>{"begin UpdateElerhetosegList", "commit", "abort"}));
  const std::string& log = form->WriteBackLog();
  EXPECT_EQ(log.find("Tranzakcio lezarva."), std::string::npos);
  EXPECT_EQ(log.substr(log.size() - 27), "A konvertálás sikertelen.\r\n");
  ASSERT_EQ(boxes.size(), 2u);
  EXPECT_NE(boxes[0].text.find("Sor: 450\nKód: 10001\n"), std::string::npos);
  EXPECT_EQ(boxes[1].text, "Hiba a javítások átvezetése során.");
}

TEST_F(WindowTest, FailingAbortShowsTheCriticalBox) {
  FillTypical(*data);
  Open();
  form->Execute(form->aRepairAll);
  data->updateThrowsAt = 1;
  data->abortThrows = true;
  form->Execute(form->aSetRecordList);
  ASSERT_EQ(boxes.size(), 2u);
  EXPECT_EQ(boxes[0].text, "Kritikus programhiba történt!");
  EXPECT_EQ(boxes[0].caption, "Figyelem!");
  EXPECT_EQ(boxes[1].text, "Hiba a javítások átvezetése során.");
}

TEST_F(WindowTest, FailingBeginAbortsNothing) {
  FillTypical(*data);
  Open();
  form->Execute(form->aRepairAll);
  data->beginThrows = true;
  form->Execute(form->aSetRecordList);
  EXPECT_TRUE(data->calls.empty());  // no transaction, so no abort either
  EXPECT_EQ(form->WriteBackLog(), Header() + "A konvertálás sikertelen.\r\n");
  ASSERT_EQ(boxes.size(), 2u);
  EXPECT_NE(boxes[0].text.find("Sor: 450\nKód: 10001\n"), std::string::npos);
  EXPECT_EQ(boxes[1].text, "Hiba a javítások átvezetése során.");
}

// Ways a log file can refuse the block: the write-back itself stands.
struct LogFileCase {
  const char* name;
  void (*spoil)(const std::filesystem::path& log);
};

void PrintTo(const LogFileCase& c, std::ostream* os) { *os << c.name; }

class UnwritableLogFileTest : public WindowTest, public testing::WithParamInterface<LogFileCase> {};

TEST_P(UnwritableLogFileTest, IsReportedAfterTheResultAndTheChangeStands) {
  FillTypical(*data);
  Open();
  form->Execute(form->aRepairAll);
  GetParam().spoil(dir / "SMS_converter.log");
  form->Execute(form->aSetRecordList);
  EXPECT_EQ(boxes.size(), 2u);
  EXPECT_EQ(boxes.at(0).text, "A javítások bekerültek az adatbázisba.");
  EXPECT_EQ(boxes.at(1).text, "Hiba a logfájl írása során.");
  EXPECT_EQ(data->contacts[1].contact.adat, "(+36)20/123-45-67:");
}

INSTANTIATE_TEST_SUITE_P(Cases, UnwritableLogFileTest,
                         testing::Values(LogFileCase{"CannotBeOpened",
                                                     [](const std::filesystem::path& log) {
                                                       ::mkdir(log.c_str(), 0755);
                                                     }},
                                         LogFileCase{"OpensButTakesNothing",
                                                     [](const std::filesystem::path& log) {
                                                       std::filesystem::create_symlink("/dev/full",
                                                                                       log);
                                                     }},
                                         // A server named so in the working folder.
                                         LogFileCase{"IsADatabase",
                                                     [](const std::filesystem::path& log) {
                                                       std::ofstream(log, std::ios::binary)
                                                           << std::string("SQLite format 3\0", 16);
                                                     }}),
                         [](const testing::TestParamInfo<LogFileCase>& info) {
                           return std::string(info.param.name);
                         });

TEST_F(WindowTest, CustomerInformation) {
  FillTypical(*data);
  data->Add(10, "0620/5555555", 6, 2, 100);
  data->Add(11, "0620/6666666", 6, 2, 101);
  data->Add(12, "0620/7777777", 6, 3, 100);  // owner of another table
  data->Add(13, "0620/8888888", 6, 2, 999);  // customer missing
  data->customers[100] = {
      "Kovács Éva", {{"1111", "Budapest", "Fő utca", "1."}, {"9021", "Győr", "Baross út", "12/B"}}};
  data->customers[101] = {"Nagy Péter", {}};
  Open();
  struct {
    long id;
    const char* text;
  } cases[] = {
      {10, "Név: Kovács Éva\rCím: 1111 Budapest Fő utca 1.\rCím: 9021 Győr Baross út 12/B"},
      {11, "Név: Nagy Péter"},
      {12, "Az ügyfél nem található."},
      {13, "Az ügyfél nem található."},
  };
  for (const auto& c : cases) {
    boxes.clear();
    Select(c.id);
    form->Execute(form->aGetInfo);
    ASSERT_EQ(boxes.size(), 1u) << c.id;
    EXPECT_EQ(boxes[0].text, c.text) << c.id;
  }
}

TEST_F(WindowTest, CustomerInformationFailureShowsTheErrorBoxThenNotFound) {
  FillTypical(*data);
  data->Add(10, "0620/5555555", 6, 2, 100);
  data->customers[100] = {"Kovács Éva", {{"1111", "Budapest", "Fő utca", "1."}}};
  Open();
  struct {
    const char* lookup;
    int FakeData::*code;
  } cases[] = {
      {"contact", &FakeData::ownerThrows},
      {"customer", &FakeData::nameThrows},
      {"addresses", &FakeData::addressesThrow},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.lookup);
    boxes.clear();
    data->*c.code = 10005;
    Select(10);
    form->Execute(form->aGetInfo);
    data->*c.code = 0;
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[0].caption, "Hiba történt!");
    EXPECT_EQ(boxes[0].text.rfind("Modul: SMSNumfix\\frm_Numfix\nEljárás: TForm1::aGetInfoExecute\n"
                                  "Sor: 736\nKód: 10005\nÜzenet: ",
                                  0),
              0u)
        << boxes[0].text;
    EXPECT_EQ(boxes[1].text, "Az ügyfél nem található.");
    EXPECT_EQ(boxes[1].caption, "");
  }
}

// What a container shows, entry by entry: "caption | hint", or "-" for a separator.
std::vector<std::string> Entries(const QList<QAction*>& actions) {
  std::vector<std::string> out;
  for (QAction* a : actions)
    out.push_back(a->isSeparator() ? "-" : S(a->text()) + " | " + S(a->toolTip()));
  return out;
}

TEST_F(WindowTest, MenusPopupAndToolbarHoldTheirEntriesInOrder) {
  Open();
  const std::vector<std::string> marks = {
      "Javításra kijelöl | Javításra jelöli ki az elemet.",
      "Ezt a hibatípust javításra kijelöli | Javításra jelöl ki minden ilyen típusú elemet.",
      "Mindent javításra jelöl ki | Javításra jelöl ki minden javítható elemet.",
      "-",
      "Kijelölést megszűntet | Az elem kijelölését törli.",
      "Hibatípus kijelölését megszűnteti | Minden ilyen típusú elem kijelölését törli.",
      "Minden kijelölést megszűntet | Minden elem kijelölését törli.",
      "-",
      "Szerkeszt | Szerkesztésre nyitja meg a kijelölt elemet.",
      "Módosít | Az előnézetben található szám rögzítése.",
      "Mégsem | Szerkesztésből kilép.",
      "-",
      "Info | Ügyféladatok lekérdezése.",
  };
  std::vector<std::string> toolbar = {
      "Adatbázisból beolvas | Telefonszámok betöltése.",
      "Adatbázisba visszaír | Javításra kijelölt telefonszámok visszaírása az adatbázisba.", "-"};
  for (size_t i : {0, 1, 2, 4, 5, 6}) toolbar.push_back(marks[i]);
  toolbar.push_back("-");
  for (size_t i : {8, 9, 10}) toolbar.push_back(marks[i]);
  toolbar.push_back("-");
  toolbar.push_back(marks[12]);

  std::vector<std::string> menuTitles;
  for (QAction* a : form->menuBar()->actions()) menuTitles.push_back(S(a->text()));
  ASSERT_EQ(menuTitles, (std::vector<std::string>{"Fájl", "Adatbázis", "Kijelölés"}));
  const QList<QAction*> menus = form->menuBar()->actions();
  struct {
    const char* where;
    QList<QAction*> actions;
    std::vector<std::string> entries;
  } cases[] = {
      {"Fájl", menus[0]->menu()->actions(), {"Kilépés | Kilépés."}},
      {"Adatbázis", menus[1]->menu()->actions(), {toolbar[0], toolbar[1]}},
      {"Kijelölés", menus[2]->menu()->actions(), marks},
      {"PopupMenu1", form->PopupMenu1->actions(), marks},
      {"ToolBar1", form->ToolBar1->actions(), toolbar},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.where);
    EXPECT_EQ(Entries(c.actions), c.entries);
  }
  // The buttons show the hints as their tips.
  for (QAction* a : form->ToolBar1->actions()) {
    if (a->isSeparator()) continue;
    EXPECT_EQ(form->ToolBar1->widgetForAction(a)->toolTip(), a->toolTip());
  }
  EXPECT_EQ(S(form->bExit->text()) + " | " + S(form->bExit->toolTip()), "Kilépés | Kilépés.");
}

// Qt's main window offers a menu that hides the tool bar under its object name.
TEST_F(WindowTest, RightClickingTheToolBarOrTheMenuBarOffersNoMenu) {
  Open();
  form->show();
  EXPECT_FALSE(RightClickOpensAMenu(form->ToolBar1));
  EXPECT_FALSE(RightClickOpensAMenu(form->menuBar()));
  EXPECT_TRUE(form->ToolBar1->isVisible());
}

TEST_F(WindowTest, MarkingKeysNeverReachTheListsTypeAheadSearch) {
  data->Add(1, "0620/1234567");
  data->Add(2, "+36201234567");  // the kind "+36AAAAAAAAA", right below
  data->Add(3, "+36301234567");
  Open();
  form->show();
  Select(1);
  form->ListView1->setFocus();
  struct {
    Qt::Key key;
    bool keypad;
    int state;  // of the selected contact afterwards
    int below;  // of the "+36AAAAAAAAA" contact below it
  } presses[] = {
      {Qt::Key_Plus, true, 0, -1},    {Qt::Key_Plus, true, 0, -1},  // disabled on a marked item
      {Qt::Key_Minus, true, -1, -1},  {Qt::Key_Plus, false, -1, -1}, {Qt::Key_Minus, false, -1, -1},
      {Qt::Key_Asterisk, true, 0, 0}, {Qt::Key_Slash, true, -1, -1},
  };
  for (const auto& p : presses) {
    SCOPED_TRACE(testing::Message() << p.key << (p.keypad ? " on the keypad" : ""));
    QTest::keyClick(form->ListView1, p.key, p.keypad ? Qt::KeypadModifier : Qt::NoModifier);
    EXPECT_EQ(form->ListView1->currentIndex().row(), form->IndexOf(ItemById(1)).row());
    EXPECT_EQ(TForm1::ItemState(ItemById(1)), p.state);
    EXPECT_EQ(TForm1::ItemState(ItemById(2)), p.below);
  }
}

TEST_F(WindowTest, AnotherRowWhileEditingStartsTheEditorAfresh) {
  FillTypical(*data);
  Open();
  form->show();
  Select(1);
  form->Execute(form->aEnterEditMode);
  TypeDigits(form->eOrszag, "36");
  TypeDigits(form->eKorzet, "30");
  TypeDigits(form->eSzam, "9999999");
  ClickRow(7);
  EXPECT_EQ(form->Edit1->text(), "0670/2222222");
  EXPECT_EQ(form->Edit2->text(), "(+36)70/222-22-22:");
  EXPECT_EQ(TForm1::MaskedText(form->eOrszag), "+  ");
  EXPECT_EQ(TForm1::MaskedText(form->eSzam), "   -  -  ");
  EXPECT_EQ(form->Edit3->text(), "");
  EXPECT_FALSE(form->GroupBox1->isHidden());
  form->Execute(form->aEditThisOne);  // nothing typed for this row: nothing to store
  for (long id : {1, 7}) {
    EXPECT_EQ(TForm1::ItemText(ItemById(id), TForm1::kColEdited), "") << id;
    EXPECT_EQ(TForm1::ItemState(ItemById(id)), -1) << id;
  }

  // What is typed now belongs to the row now selected.
  TypeDigits(form->eOrszag, "36");
  TypeDigits(form->eKorzet, "70");
  TypeDigits(form->eSzam, "1111111");
  QTest::keyClick(form->eSzam, Qt::Key_Return);
  EXPECT_EQ(TForm1::ItemText(ItemById(7), TForm1::kColSuggestion), "(+36)70/111-11-11:    ");
  EXPECT_EQ(TForm1::ItemText(ItemById(1), TForm1::kColSuggestion), "(+36)20/123-45-67:");
}

TEST_F(WindowTest, ClickOrTabIntoAMaskedFieldLandsOnItsFirstFreePlace) {
  FillTypical(*data);
  Open();
  form->show();
  ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
  Select(1);
  form->Execute(form->aEnterEditMode);
  enum How { kClickRight, kClickFirstDigit, kTab };
  struct {
    const char* what;
    QLineEdit* TForm1::*field;
    const char* before;  // typed first, from the field's start
    How how;
    const char* typed;
    const char* text;
  } cases[] = {
      {"empty country", &TForm1::eOrszag, "", kClickRight, "36", "+36"},
      {"empty area", &TForm1::eKorzet, "", kClickRight, "20", "20"},
      {"empty number", &TForm1::eSzam, "", kClickRight, "1234567", "123-45-67"},
      {"half a number", &TForm1::eSzam, "12", kClickRight, "34567", "123-45-67"},
      {"empty extension", &TForm1::eMellek, "", kClickRight, "12", "12  "},
      {"a digit typed over", &TForm1::eSzam, "1234567", kClickFirstDigit, "9", "923-45-67"},
      {"tab into half a number", &TForm1::eSzam, "12", kTab, "34567", "123-45-67"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    form->ClearEditor();
    QLineEdit* field = form.get()->*c.field;
    if (*c.before) TypeDigits(field, c.before);
    form->ListView1->setFocus();
    if (c.how == kTab) {
      // The field before it has the focus; Tab moves on.
      QLineEdit* before = field == form->eSzam ? form->eKorzet : form->eOrszag;
      before->setFocus();
      QTest::keyClick(before, Qt::Key_Tab);
      ASSERT_EQ(QApplication::focusWidget(), field);
    } else {
      int x = field->width() - 4;
      if (c.how == kClickFirstDigit) x = 2;  // left of the first digit
      QTest::mouseClick(field, Qt::LeftButton, {}, QPoint(x, field->height() / 2));
      ASSERT_EQ(QApplication::focusWidget(), field);
    }
    QTest::keyClicks(field, c.typed);
    EXPECT_EQ(TForm1::MaskedText(field), c.text);
  }
}

TEST_F(WindowTest, OpeningTheEditorKeepsTheSelectedRowInSight) {
  for (long id = 1; id <= 80; ++id) data->Add(id, "0620/1234567");
  Open();
  form->resize(form->minimumSize());
  form->show();
  QTest::qWait(10);
  QTreeView* list = form->ListView1;
  // The lowest row that the list shows whole before the editor opens.
  QModelIndex low = list->indexAt(QPoint(4, list->viewport()->height() - 1));
  ASSERT_TRUE(low.isValid());
  if (list->visualRect(low).bottom() > list->viewport()->height()) low = list->indexAbove(low);
  list->setCurrentIndex(low);
  const int listHeight = list->viewport()->height();
  form->Execute(form->aEnterEditMode);
  ASSERT_LT(list->viewport()->height(), listHeight);
  const QRect row = list->visualRect(low);
  EXPECT_GE(row.top(), 0);
  EXPECT_LE(row.bottom(), list->viewport()->height());
}

TEST_F(WindowTest, EditorFieldsShowTheBeginningOfLongNumbers) {
  data->Add(1, "(36)20/123-45-67:1234");
  Open();
  form->resize(form->minimumSize());
  form->show();
  // As narrow as the fields get on a small screen.
  for (QLineEdit* field : {form->Edit1, form->Edit2, form->Edit3}) field->setFixedWidth(80);
  Select(1);
  form->Execute(form->aEnterEditMode);
  TypeDigits(form->eOrszag, "36");
  TypeDigits(form->eKorzet, "20");
  for (QLineEdit* field : {form->Edit1, form->Edit2, form->Edit3}) {
    SCOPED_TRACE(field->objectName().toStdString());
    // Too long for the field at this size, so only a part can show: the beginning.
    ASSERT_GT(field->fontMetrics().horizontalAdvance(field->text()), field->contentsRect().width());
    EXPECT_EQ(field->cursorPosition(), 0);
  }
}

// Whether a read-only field, shown from its beginning, shows its whole text:
// its last character is left of the field's right end.
bool ShowsWhole(QLineEdit* field) {
  const QPoint end(field->contentsRect().right() - 2, field->height() / 2);
  return field->cursorPosition() == 0 && field->cursorPositionAt(end) == field->text().size();
}

TEST_F(WindowTest, ThePreviewShowsTheLongestValueWholeAtTheSmallestWindow) {
  data->Add(1, "0620/1234567");
  Open();
  EXPECT_EQ(form->minimumSize(), QSize(600, 500));
  form->resize(form->minimumSize());
  form->show();
  Select(1);
  form->Execute(form->aEnterEditMode);
  QTest::qWait(10);
  ASSERT_EQ(form->size(), QSize(600, 500));
  // Every place of every field taken: the longest value the editor gives.
  TypeDigits(form->eOrszag, "36");
  TypeDigits(form->eKorzet, "20");
  TypeDigits(form->eSzam, "8188521");
  TypeDigits(form->eMellek, "1234");
  ASSERT_EQ(form->Edit3->text(), "(+36)20/818-85-21:1234");
  EXPECT_TRUE(ShowsWhole(form->Edit3)) << form->Edit3->width() << " wide";
  // So do the masked fields, each full.
  for (QLineEdit* field : {form->eOrszag, form->eKorzet, form->eSzam, form->eMellek}) {
    field->setCursorPosition(0);
    EXPECT_TRUE(ShowsWhole(field)) << field->objectName().toStdString();
  }
}

TEST_F(WindowTest, ColumnsShareAWideListAndKeepTheirContentsOnANarrowOne) {
  FillTypical(*data);
  Open();
  form->resize(form->minimumSize());
  form->show();
  QTest::qWait(10);
  QTreeView* list = form->ListView1;
  std::vector<int> narrow;
  for (int c = 0; c < TForm1::kColumns; ++c) {
    narrow.push_back(list->columnWidth(c));
    for (int row = 0; row < form->ItemCount(); ++row) {
      const QString text = Cp1250Codec::ToQString(TForm1::ItemText(Item(row), c));
      EXPECT_GE(narrow.back(), list->fontMetrics().horizontalAdvance(text)) << c;
    }
  }
  form->resize(1600, 800);
  QTest::qWait(10);
  int total = 0;
  for (int c = 0; c < TForm1::kColumns; ++c) {
    EXPECT_GT(list->columnWidth(c), narrow[size_t(c)]) << c;
    total += list->columnWidth(c);
  }
  EXPECT_EQ(total, list->viewport()->width());
  form->resize(form->minimumSize());
  QTest::qWait(10);
  for (int c = 0; c < TForm1::kColumns; ++c)
    EXPECT_EQ(list->columnWidth(c), narrow[size_t(c)]) << c;
}

TEST_F(WindowTest, ColumnsFitTheLongestTextFarDownALongList) {
  for (long id = 1; id < 3000; ++id) data->Add(id, "0620/1234567");
  data->Add(3000, "06-20-123-4567-8888/9999");  // no template, at the very end
  Open();
  form->resize(form->minimumSize());
  form->show();
  QTest::qWait(10);
  const QString longest =
      Cp1250Codec::ToQString(TForm1::ItemText(ItemById(3000), TForm1::kColNumber));
  EXPECT_GT(form->ListView1->columnWidth(TForm1::kColNumber),
            form->ListView1->fontMetrics().horizontalAdvance(longest));
}

TEST_F(WindowTest, UnreadableTemplateFileEndsTheWindowWithAHungarianMessage) {
  std::filesystem::create_directory(dir / "SMS_tel_sablon.ini");
  try {
    Open();
    ADD_FAILURE() << "no exception";
  } catch (const std::runtime_error& e) {
    EXPECT_EQ(std::string(e.what()), "A fájl nem olvasható: SMS_tel_sablon.ini");
  }
}

}  // namespace
