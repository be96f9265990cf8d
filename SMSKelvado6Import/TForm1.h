#pragma once
// The main window of Kelvimport: the connections to the source and the
// destination, the type lists and options of an import, its log and progress.

#include <QElapsedTimer>
#include <QMainWindow>
#include <cstdint>
#include <memory>
#include <string>

#include "DbDescMap.h"
#include "TQoLogin.h"
#include "WinModule.h"
#include "WinUi.h"

class ActionList;
class BusyAnimation;
class ImportPrompts;
class QAction;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QToolBar;

// The date library's entry "getDateFromLong": the source's day number in,
// year, month and day out; 0 for success.
using GetDateFromLongFn = int (*)(int32_t value, int16_t* year, int16_t* month, int16_t* day);

class TForm1 : public QMainWindow {
  Q_OBJECT
 public:
  // Loads the date library (dateLibrary names it as the module loader takes
  // names); when it cannot be loaded, ExitRequested() is true and the window
  // must not run.
  TForm1(QWidget* owner, std::unique_ptr<ImportPrompts> prompts,
         const std::string& dateLibrary = "qorDate.dll");
  ~TForm1() override;

  bool ExitRequested() const { return exitRequested_; }

  // None: the tool bar is not one to hide, and its name is no caption.
  QMenu* createPopupMenu() override { return nullptr; }

  // The log: a line with the time of day in front, a separator line with
  // the date and time, and a line as it stands; each comes into view.
  void LogLine(const std::string& text);
  void LogSeparator();
  void AddMemoLine(const std::string& text);
  // The whole log as the saved file holds it: each line ends in CR LF.
  std::string LogText() const;

  // The progress of one row of a run: the gauge one step on, Label14 and
  // the application's title with the rows still to go. The gauge and the
  // label are repainted at most every kProgressPaintMs; PaintProgress paints
  // what they hold at once and lets every later change be painted again.
  void ShowProgress(int remaining);
  void PaintProgress();
  static constexpr int kProgressPaintMs = 16;

  void UpdateCaption();
  void DisableSourceTypeCombos();
  void EnableSourceTypeCombos();
  void DisableDestTypeCombos();
  void EnableDestTypeCombos();
  void LogoutAll();

  bool CheckSourceDatabase();
  bool CheckDestDatabase();

  // The import's value conversions.
  static std::string NormalizePhoneNumber(const std::string& text);
  static std::string FormatSubscriberNumber(const std::string& text);
  static std::string DecimalHashMod(const std::string& text, uint32_t modulus);
  // The moduli of the two halves of a source key.
  static constexpr uint32_t kSourceKeyModuli[2] = {79671239, 16644227};
  double DateFromLong(const std::string& text) const;

  // Runs an action the way a menu or a button does: its enabling rule
  // first, and nothing when it is disabled.
  void Execute(QAction* action);
  // Re-evaluates every enabling rule, as the application does when idle.
  void UpdateActions();

  // State, in this order.
  std::string m_caption;
  bool m_running = false;
  win::HMODULE m_dateDll = nullptr;
  GetDateFromLongFn m_getDateFromLong = nullptr;
  TQoLogin m_destLogin;
  int m_destHandle = kNoConnection;
  DbDescMap m_destMap;
  std::string m_destUser = "NO USER";
  int m_destUserId = -1;
  std::string m_destService = "NO SERVICE";
  std::string m_destServer;
  std::string m_destUnique = "NO SERVER";
  TQoLogin m_srcLogin;
  int m_srcHandle = kNoConnection;
  DbDescMap m_srcMap;
  std::string m_srcUser = "NO USER";
  std::string m_srcService = "NO SERVICE";
  std::string m_srcServer;
  std::string m_srcUnique = "NO SERVER";

  // Components.
  QPlainTextEdit* Memo1 = nullptr;
  QGroupBox* GroupBox1 = nullptr;  // source settings
  QGroupBox* GroupBox2 = nullptr;  // destination settings
  QGroupBox* GroupBox3 = nullptr;  // overwrite options
  QLineEdit* Edit1 = nullptr;
  QLineEdit* Edit2 = nullptr;
  QLineEdit* Edit3 = nullptr;
  QLineEdit* Edit4 = nullptr;
  QLineEdit* Edit5 = nullptr;
  QLineEdit* Edit6 = nullptr;
  QComboBox* ComboBox1 = nullptr;
  QComboBox* ComboBox2 = nullptr;
  QComboBox* ComboBox3 = nullptr;
  QComboBox* ComboBox4 = nullptr;
  QCheckBox* cbCim = nullptr;
  QCheckBox* cbEle = nullptr;
  QCheckBox* cbUf = nullptr;
  QCheckBox* cbDetailed = nullptr;
  QProgressBar* ProgressBar1 = nullptr;
  QLabel* Label14 = nullptr;
  BusyAnimation* Animate1 = nullptr;
  QPushButton* bCancel = nullptr;
  QPushButton* bExit = nullptr;
  QToolBar* ToolBar1 = nullptr;
  ActionList* ActionList1 = nullptr;
  // The file-save question of the log.
  win::SaveFileRequest SaveDialog1;

  QAction* aConnectToSource = nullptr;
  QAction* aConnectToDest = nullptr;
  QAction* aStartImport = nullptr;
  QAction* aCancel = nullptr;
  QAction* aLogSave = nullptr;
  QAction* aExit = nullptr;
  QAction* aMindigFelulirCim = nullptr;
  QAction* aMindigFelulirElerhetoseg = nullptr;
  QAction* aMindigFelulirUgyfel = nullptr;
  QAction* aDetailedLog = nullptr;

 protected:
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  void BuildActions();
  void BuildControls();
  // The boxes and the question that a run may show come over the row it is
  // at: each first paints the gauge and the count as they stand.
  void ShowErrorBox(const char* operation, int line, int code, const char* message);
  void ShowCriticalBox();
  bool AskToStop();
  // Both connect actions: the side's members, controls, texts and check.
  struct Side;
  void Connect(const Side& side);

  void FormCreate(const std::string& dateLibrary);
  void FormActivate();
  void FormCloseQuery(bool& canClose);

  void aConnectToSourceExecute();
  void aConnectToDestExecute();
  void aStartImportExecute();
  void aCancelExecute();
  void aLogSaveExecute();
  void aExitExecute();
  void aMindigFelulirCimExecute();
  void aMindigFelulirElerhetosegExecute();
  void aMindigFelulirUgyfelExecute();
  void aDetailedLogExecute();

  void aConnectToSourceUpdate();
  void aConnectToDestUpdate();
  void aStartImportUpdate();
  void aCancelUpdate();
  void aLogSaveUpdate();
  void aMindigFelulirCimUpdate();
  void aMindigFelulirElerhetosegUpdate();
  void aMindigFelulirUgyfelUpdate();
  void aDetailedLogUpdate();

  // The import run works the window's controls, log and boxes.
  friend class ImportRun;

  std::unique_ptr<ImportPrompts> prompts_;
  // A close confirmed while the import run executes waits for its end.
  bool runExecuting_ = false;
  bool closeAfterRun_ = false;
  bool exitRequested_ = false;
  bool activated_ = false;
  // When the progress was last painted; invalid: at the next row.
  QElapsedTimer progressPainted_;
};
