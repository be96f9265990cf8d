#pragma once
// The main window of Numfix: lists the stored telephone contacts that need
// repair, lets the operator mark or edit repairs and writes them back.

#include <QMainWindow>
#include <QModelIndex>
#include <array>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "NumberTemplates.h"

class ActionList;
class NumfixData;
class NumfixPrompts;
class QAction;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenu;
class QToolBar;
class QTreeView;
class QPushButton;

class TForm1 : public QMainWindow {
  Q_OBJECT
 public:
  // Reads the template file and connects while it is constructed; when the
  // connection is not made, ExitRequested() is true and the window must not run.
  TForm1(QWidget* owner, std::unique_ptr<NumfixData> data, std::unique_ptr<NumfixPrompts> prompts);
  ~TForm1() override;

  bool ExitRequested() const { return exitRequested_; }

  // None: the tool bar is not one to hide, and its name is no caption.
  QMenu* createPopupMenu() override { return nullptr; }

  // Repair states of a list item (its state image).
  enum State { kNotMarked = -1, kMarked = 0, kManualOnly = 1, kEditedMarked = 2 };
  enum Column { kColCaption, kColDescription, kColNumber, kColSuggestion, kColEdited, kColumns };

  // The kind of a listed contact: its caption (the error template that matched,
  // or "Nincs illeszkedő sablon") with its description, shared by the kind's items.
  struct Kind {
    std::string caption, description;
    QString shownCaption, shownDescription;
  };
  // One listed contact.
  struct ListItem {
    const Kind* kind = nullptr;
    std::string number;      // the stored ELER_ADAT without blanks
    std::string suggestion;  // the suggestion, or the edited value
    long elerId = 0;
    int state = kNotMarked;  // shown as the state image
    bool edited = false;     // "Igen" in the "Szerkesztett" column
  };

  bool ClassifyNumber(const std::string& number, std::string& caption, std::string& description,
                      std::string& suggestion) const;
  bool MatchesValidTemplate(const std::string& text) const;
  static std::string StripBlanks(const std::string& text);

  bool ConnectToDb();

  // The list's items in list order; null for a row out of range. An item
  // lives until the next load.
  int ItemCount() const;
  ListItem* Item(int row);
  const ListItem* Item(int row) const;
  // The item's row in ListView1.
  QModelIndex IndexOf(const ListItem* item) const;

  void MarkForRepair(ListItem* item);
  void UnmarkForRepair(ListItem* item);
  static int ItemState(const ListItem* item) { return item->state; }
  // Marked for the write-back, edited or not.
  static bool IsMarked(const ListItem* item);
  static long ItemElerId(const ListItem* item) { return item->elerId; }
  // An item's column as the system's narrow text.
  static std::string ItemText(const ListItem* item, int column);

  void UpdatePreview();
  void ClearEditor();
  void ShowSelectedNumbers();
  // The text of a masked edit: fixed characters and a blank in every free place.
  static std::string MaskedText(const QLineEdit* edit);

  // Runs an action the way a key, a menu or a button does: its enabling rule
  // first, and nothing when it is disabled.
  void Execute(QAction* action);
  // Re-evaluates every enabling rule, as the application does when idle.
  void UpdateActions();

  const std::string& WriteBackLog() const { return writeBackLog_; }

  // Components.
  QTreeView* ListView1 = nullptr;
  QLabel* lItemCount = nullptr;
  QGroupBox* GroupBox1 = nullptr;
  QLineEdit* eOrszag = nullptr;
  QLineEdit* eKorzet = nullptr;
  QLineEdit* eSzam = nullptr;
  QLineEdit* eMellek = nullptr;
  QLineEdit* Edit1 = nullptr;
  QLineEdit* Edit2 = nullptr;
  QLineEdit* Edit3 = nullptr;
  QMenu* PopupMenu1 = nullptr;
  QToolBar* ToolBar1 = nullptr;
  QPushButton* bExit = nullptr;
  ActionList* ActionList1 = nullptr;

  QAction* aGetRecordList = nullptr;
  QAction* aSetRecordList = nullptr;
  QAction* aRepairThisOne = nullptr;
  QAction* aRepairThisKind = nullptr;
  QAction* aRepairAll = nullptr;
  QAction* aCancelThisOne = nullptr;
  QAction* aCancelThisKind = nullptr;
  QAction* aCancelAll = nullptr;
  QAction* aEnterEditMode = nullptr;
  QAction* aEditThisOne = nullptr;
  QAction* aExitEditMode = nullptr;
  QAction* aGetInfo = nullptr;
  QAction* aExit = nullptr;

 protected:
  void closeEvent(QCloseEvent* event) override;
  void showEvent(QShowEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void BuildActions();
  void BuildControls();
  void LoadTemplates();
  void MeasureColumns();
  void FitColumns();

  class ListModel;
  // Kinds by caption. A caption names one kind: the description follows from
  // it, and no error template can be "Nincs illeszkedő sablon", since it
  // holds blanks and the numbers matched hold none.
  using Kinds = std::map<std::string, Kind, std::less<>>;

  ListItem* Selected() const;
  // The state changes of one item, without telling the view; true when the state changed.
  static bool Mark(ListItem& item);
  static bool Unmark(ListItem& item);
  bool SelectedStandsForItsKind() const;
  void ChangeSelectedKind(bool (*change)(ListItem&));
  void ChangeAll(bool (*change)(ListItem&));
  void ShowErrorBox(const char* operation, int line, int code, const char* message);

  void aGetRecordListExecute();
  void aSetRecordListExecute();
  void aRepairThisOneExecute();
  void aRepairThisKindExecute();
  void aRepairAllExecute();
  void aCancelThisOneExecute();
  void aCancelThisKindExecute();
  void aCancelAllExecute();
  void aEnterEditModeExecute();
  void aEditThisOneExecute();
  void aExitEditModeExecute();
  void aGetInfoExecute();
  void aExitExecute();

  void aRepairThisOneUpdate();
  void aCancelThisOneUpdate();
  void aRepairThisKindUpdate();
  void aCancelThisKindUpdate();
  void aEnterEditModeUpdate();
  void aEditThisOneUpdate();
  void aExitEditModeUpdate();
  void aGetInfoUpdate();

  void FormClose();
  void FormShow();
  void ListView1SelectItem();
  // True when the key must not go on to the list.
  bool ListView1KeyDown(int key, bool keypad);
  void EditorKeyPress(int key);

  NumberTemplates templates_;
  ListModel* listModel_ = nullptr;
  std::unique_ptr<NumfixData> data_;
  std::unique_ptr<NumfixPrompts> prompts_;
  std::string writeBackLog_;
  // The columns' widths for the contents of the last load.
  std::array<int, kColumns> contentWidths_{};
  bool exitRequested_ = false;
  bool shown_ = false;
};
