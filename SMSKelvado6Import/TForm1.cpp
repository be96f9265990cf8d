#include "TForm1.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QFile>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMenuBar>
#include <QPainter>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QStyle>
#include <QTextBlock>
#include <QToolBar>
#include <QVBoxLayout>
#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <type_traits>

#include "ActionList.h"
#include "BusyAnimation.h"
#include "Cp1250Codec.h"
#include "DbDescError.h"
#include "ImportPrompts.h"
#include "QorDateTime.h"
#include "QorExceptBase.h"
#include "RdmFld.h"
#include "RdmTable.h"
#include "WinFile.h"

namespace {

constexpr const char* kModule = "SMSKelvado6Import\\frm_Kelvado6Import";
constexpr unsigned char kBeforeFirst = 5;
constexpr int kUnsupportedParam = 10059;

QString Q(const std::string& text) { return Cp1250Codec::ToQString(text); }

// ctime's 24 characters (day, month, day of month, time, year) without the line end.
std::string CTimeText(std::time_t t) {
  char text[32] = {};
  ctime_r(&t, text);
  return std::string(text, 24);
}

// A name in a read-only edit, shown from its start; long ones in full as the hint.
void ShowName(QLineEdit* edit, const std::string& text) {
  edit->setText(Q(text));
  edit->setCursorPosition(0);
  edit->setToolTip(edit->text());
}

// A combo in the colours of the state the list operations give it.
void PaintCombo(QComboBox* combo, QPalette::ColorRole background) {
  QPalette pal = combo->palette();
  const QColor colour = QApplication::palette().color(background);
  pal.setColor(QPalette::Base, colour);
  pal.setColor(QPalette::Button, colour);
  pal.setColor(QPalette::Disabled, QPalette::Base, colour);
  pal.setColor(QPalette::Disabled, QPalette::Button, colour);
  combo->setPalette(pal);
}

// Empties a side's two type lists and enables or disables them.
void ResetTypeCombos(QComboBox* contacts, QComboBox* addresses, bool enabled) {
  for (QComboBox* combo : {contacts, addresses}) {
    combo->clear();
    combo->setEnabled(enabled);
    PaintCombo(combo, enabled ? QPalette::Base : QPalette::ToolTipBase);
  }
}

// A check box that carries an auto-check action's state: clicking it runs
// the action, and the action's state and enabling show in the box.
void BindCheckBox(QCheckBox* box, QAction* action, ActionList* list) {
  action->setCheckable(true);
  box->setToolTip(action->toolTip());
  QObject::connect(box, &QCheckBox::clicked, action, [box, action, list](bool checked) {
    action->setChecked(checked);
    if (!list->Execute(action)) action->setChecked(!checked);
    box->setChecked(action->isChecked());
  });
  QObject::connect(action, &QAction::toggled, box, &QCheckBox::setChecked);
  QObject::connect(action, &QAction::enabledChanged, box, &QCheckBox::setEnabled);
}

// A push button that runs an action and follows its caption, hint and enabling.
void BindButton(QPushButton* button, QAction* action, ActionList* list) {
  auto follow = [button, action] {
    button->setText(action->text());
    button->setToolTip(action->toolTip());
    button->setEnabled(action->isEnabled());
  };
  follow();
  QObject::connect(action, &QAction::changed, button, follow);
  QObject::connect(button, &QPushButton::clicked, action,
                   [action, list] { list->Execute(action); });
}

// A database drum with an arrow: out of it for the source, into it for the destination.
QIcon DatabaseIcon(bool source) {
  QPixmap pm(24, 24);
  pm.fill(Qt::transparent);
  QPainter p(&pm);
  p.setRenderHint(QPainter::Antialiasing);
  const QColor body(70, 110, 170), top(130, 165, 215);
  p.setPen(QPen(body.darker(130), 1));
  p.setBrush(body);
  p.drawRect(QRectF(2, 5, 13, 14));
  p.drawEllipse(QRectF(2, 16, 13, 5));
  p.setBrush(top);
  p.drawEllipse(QRectF(2, 2.5, 13, 5));
  const QColor arrow = source ? QColor(40, 150, 70) : QColor(215, 120, 20);
  p.setPen(QPen(arrow, 2.2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  const qreal y = 14;
  if (source) {
    p.drawLine(QPointF(12, y), QPointF(21.5, y));
    p.drawPolyline(QPolygonF({QPointF(18, y - 3.5), QPointF(21.5, y), QPointF(18, y + 3.5)}));
  } else {
    p.drawLine(QPointF(22, y), QPointF(12.5, y));
    p.drawPolyline(QPolygonF({QPointF(16, y - 3.5), QPointF(12.5, y), QPointF(16, y + 3.5)}));
  }
  return QIcon(pm);
}

}  // namespace

// What the two connect actions differ in.
struct TForm1::Side {
  TQoLogin& login;
  int& handle;
  DbDescMap& map;
  std::string& user;
  int* userId;  // the destination's only
  std::string& service;
  std::string& server;
  std::string& unique;
  QLineEdit* uniqueEdit;
  QLineEdit* userEdit;
  QLineEdit* serviceEdit;
  bool (TForm1::*check)();
  void (TForm1::*disableCombos)();
  const char* loginFailed;
  const char* loginSucceeded;
  const char* databaseType;
  const char* wrongDatabase;
  const char* operation;
  int line;
};

TForm1::TForm1(QWidget* owner, std::unique_ptr<ImportPrompts> prompts,
               const std::string& dateLibrary)
    : QMainWindow(owner), prompts_(std::move(prompts)) {
  // The caption text stays empty until UpdateCaption builds it.
  setWindowTitle(QStringLiteral("Kelvimport"));
  ActionList1 = new ActionList(this);
  BuildActions();
  BuildControls();
  setFixedWidth(573);
  // Of fixed width, the window offers no maximise.
  setWindowFlag(Qt::WindowMaximizeButtonHint, false);
  setMinimumHeight(558);
  resize(573, 600);
  if (QScreen* screen = QGuiApplication::primaryScreen())
    move(screen->availableGeometry().center() - rect().center());
  FormCreate(dateLibrary);
}

TForm1::~TForm1() { win::FreeModule(m_dateDll); }

// ---------------------------------------------------------------- construction

void TForm1::BuildActions() {
  aConnectToSource =
      ActionList1->AddNew(this, "Kapcsolódás a forrásadatbázishoz",
                          "Kapcsolódás vagy újrakapcsolódás a forrásadatbázishoz.",
                          &TForm1::aConnectToSourceExecute, &TForm1::aConnectToSourceUpdate);
  aConnectToDest = ActionList1->AddNew(
      this, "Kapcsolódás a céladatbázishoz", "Kapcsolódás vagy újrakapcsolódás a céladatbázishoz.",
      &TForm1::aConnectToDestExecute, &TForm1::aConnectToDestUpdate);
  aStartImport = ActionList1->AddNew(this, "Importálás megkezdése", "Importálás megkezdése.",
                                     &TForm1::aStartImportExecute, &TForm1::aStartImportUpdate);
  aCancel = ActionList1->AddNew(this, "Betöltés megszakítása",
                                "A betöltés folyamatának adatvesztés nélküli megszakítása.",
                                &TForm1::aCancelExecute, &TForm1::aCancelUpdate);
  aLogSave = ActionList1->AddNew(this, "Log mentése", "Logállomány készítése.",
                                 &TForm1::aLogSaveExecute, &TForm1::aLogSaveUpdate);
  aExit = ActionList1->AddNew(this, "&Kilépés", "Kilépés.", &TForm1::aExitExecute);
  aMindigFelulirCim = ActionList1->AddNew(
      this, "Cím",
      "A kijelölt típushoz tartozó címeket törli az adatbázisból, majd felveszi az új címeket.",
      &TForm1::aMindigFelulirCimExecute, &TForm1::aMindigFelulirCimUpdate);
  aMindigFelulirElerhetoseg = ActionList1->AddNew(
      this, "Elérhetőség",
      "A kijelölt típushoz tartozó elérhetőségeket törli az adatbázisból, majd felveszi "
      "az új elérhetőségeket.",
      &TForm1::aMindigFelulirElerhetosegExecute, &TForm1::aMindigFelulirElerhetosegUpdate);
  aMindigFelulirUgyfel = ActionList1->AddNew(
      this, "Ügyféladatok", "Ügyfél alapadatok felülírása változás esetén.",
      &TForm1::aMindigFelulirUgyfelExecute, &TForm1::aMindigFelulirUgyfelUpdate);
  aDetailedLog =
      ActionList1->AddNew(this, "Részletes jelentés", "Részletes jelentés készítése a betöltésről.",
                          &TForm1::aDetailedLogExecute, &TForm1::aDetailedLogUpdate);

  QMenu* file = menuBar()->addMenu(Q("Fájl"));
  file->addActions({aLogSave, aExit});
  QMenu* connect = menuBar()->addMenu(Q("Kapcsolódás"));
  connect->addActions({aConnectToSource, aConnectToDest});
  QMenu* import = menuBar()->addMenu(Q("Import"));
  import->addAction(aStartImport);

  aLogSave->setIcon(style()->standardIcon(QStyle::SP_DialogSaveButton));
  aConnectToSource->setIcon(DatabaseIcon(true));
  aConnectToDest->setIcon(DatabaseIcon(false));
  aStartImport->setIcon(style()->standardIcon(QStyle::SP_MediaPlay));
  aCancel->setIcon(style()->standardIcon(QStyle::SP_MediaStop));
  aExit->setIcon(style()->standardIcon(QStyle::SP_DialogCloseButton));

  ToolBar1 = addToolBar(QStringLiteral("ToolBar1"));
  ToolBar1->setObjectName("ToolBar1");
  ToolBar1->setMovable(false);
  // Icons only, as on a tool bar of this width; the hint names the action.
  ToolBar1->setToolButtonStyle(Qt::ToolButtonIconOnly);
  ToolBar1->addAction(aLogSave);
  ToolBar1->addSeparator();
  ToolBar1->addActions({aConnectToSource, aConnectToDest});
  ToolBar1->addSeparator();
  ToolBar1->addAction(aStartImport);
}

void TForm1::BuildControls() {
  auto* central = new QWidget(this);
  auto* layout = new QVBoxLayout(central);
  layout->setContentsMargins(4, 6, 4, 6);

  auto makeEdit = [](QWidget* parent, const char* name) {
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(name);
    edit->setReadOnly(true);
    return edit;
  };
  auto makeCombo = [](QWidget* parent, const char* name) {
    auto* combo = new QComboBox(parent);
    combo->setObjectName(name);
    return combo;
  };
  // The five labelled rows that both groups share.
  auto makeGroup = [&](const char* title, const char* name, QLineEdit*& unique, QLineEdit*& user,
                       QLineEdit*& service, QComboBox*& contactType, QComboBox*& addressType,
                       const char* names[5]) {
    auto* group = new QGroupBox(Q(title), central);
    group->setObjectName(name);
    auto* grid = new QGridLayout(group);
    // Narrow margins: at half the window's width the fields keep the room
    // that the longest types need.
    grid->setContentsMargins(4, grid->contentsMargins().top(), 4, grid->contentsMargins().bottom());
    grid->setHorizontalSpacing(4);
    grid->setVerticalSpacing(4);
    unique = makeEdit(group, names[0]);
    user = makeEdit(group, names[1]);
    service = makeEdit(group, names[2]);
    contactType = makeCombo(group, names[3]);
    addressType = makeCombo(group, names[4]);
    const char* captions[] = {"Szerver egyedi név", "Felhasználó", "Szolgáltatás",
                              "Elérhetőség típus", "Cím típus"};
    QWidget* fields[] = {unique, user, service, contactType, addressType};
    for (int row = 0; row < 5; ++row) {
      auto* label = new QLabel(Q(captions[row]), group);
      label->setBuddy(fields[row]);
      grid->addWidget(label, row, 0);
      grid->addWidget(fields[row], row, 1);
    }
    grid->setColumnStretch(1, 1);
    return std::pair{group, grid};
  };

  const char* sourceNames[5] = {"Edit1", "Edit2", "Edit3", "ComboBox1", "ComboBox2"};
  const char* destNames[5] = {"Edit4", "Edit5", "Edit6", "ComboBox3", "ComboBox4"};
  auto [source, sourceGrid] = makeGroup("Forrásadatbázis beállítások", "GroupBox1", Edit1, Edit2,
                                        Edit3, ComboBox1, ComboBox2, sourceNames);
  auto [dest, destGrid] = makeGroup("Céladatbázis beállítások", "GroupBox2", Edit4, Edit5, Edit6,
                                    ComboBox3, ComboBox4, destNames);
  GroupBox1 = source;
  GroupBox2 = dest;

  // The progress of a run, under the source settings.
  auto* stateLabel = new QLabel(Q("Betöltés állapota"), GroupBox1);
  ProgressBar1 = new QProgressBar(GroupBox1);
  ProgressBar1->setObjectName("ProgressBar1");
  ProgressBar1->setRange(0, 100);
  ProgressBar1->setValue(0);
  ProgressBar1->setTextVisible(false);
  // The gauge shows no text, but Qt works its text out at every step all the
  // same: in the C locale, which asks the system for nothing.
  ProgressBar1->setLocale(QLocale::c());
  // The gauge takes what the count and the type lists leave.
  ProgressBar1->setSizePolicy(QSizePolicy::Ignored, ProgressBar1->sizePolicy().verticalPolicy());
  Label14 = new QLabel("0", GroupBox1);
  Label14->setObjectName("Label14");
  Label14->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  // A fixed, opaque box: a new count then repaints the label alone instead
  // of re-laying out and repainting the window on every row of a run.
  Label14->setFixedSize(Label14->fontMetrics().horizontalAdvance("0000000"),
                        Label14->sizeHint().height());
  Label14->setAutoFillBackground(true);
  Animate1 = new BusyAnimation(GroupBox1);
  Animate1->setObjectName("Animate1");
  // Its room is kept while it is hidden, so that the rows of a run stay
  // where they are as it comes and goes.
  QSizePolicy keepRoom(QSizePolicy::Fixed, QSizePolicy::Fixed);
  keepRoom.setRetainSizeWhenHidden(true);
  Animate1->setSizePolicy(keepRoom);
  Animate1->hide();
  bCancel = new QPushButton(GroupBox1);
  bCancel->setObjectName("bCancel");
  bCancel->setIcon(aCancel->icon());
  BindButton(bCancel, aCancel, ActionList1);
  auto* progress = new QHBoxLayout;
  progress->addWidget(ProgressBar1, 1);
  progress->addWidget(Label14);
  progress->addWidget(Animate1);
  sourceGrid->addWidget(stateLabel, 5, 0);
  sourceGrid->addLayout(progress, 5, 1);
  sourceGrid->addWidget(bCancel, 6, 0, 1, 2);

  // The options of a run, under the destination settings.
  GroupBox3 = new QGroupBox(Q("Betöltéskor írja felül"), GroupBox2);
  GroupBox3->setObjectName("GroupBox3");
  auto* options = new QGridLayout(GroupBox3);
  options->setContentsMargins(6, 2, 6, 4);
  options->setVerticalSpacing(0);
  cbCim = new QCheckBox(Q("a címeket"), GroupBox3);
  cbEle = new QCheckBox(Q("az elérhetőségeket"), GroupBox3);
  cbUf = new QCheckBox(Q("az ügyféladatokat"), GroupBox3);
  options->addWidget(cbCim, 0, 0);
  options->addWidget(cbEle, 1, 0);
  options->addWidget(cbUf, 2, 0);
  cbDetailed = new QCheckBox(aDetailedLog->text(), GroupBox2);
  const std::pair<QCheckBox*, QAction*> boxes[] = {{cbCim, aMindigFelulirCim},
                                                   {cbEle, aMindigFelulirElerhetoseg},
                                                   {cbUf, aMindigFelulirUgyfel},
                                                   {cbDetailed, aDetailedLog}};
  const char* boxNames[] = {"cbCim", "cbEle", "cbUf", "cbDetailed"};
  for (int i = 0; i < 4; ++i) {
    boxes[i].first->setObjectName(boxNames[i]);
    BindCheckBox(boxes[i].first, boxes[i].second, ActionList1);
  }
  destGrid->addWidget(GroupBox3, 5, 0, 1, 2);
  destGrid->addWidget(cbDetailed, 6, 0, 1, 2);

  // Each group half of the window's fixed width, whatever they hold: the
  // destination's type lists would otherwise narrow the source group.
  auto* settings = new QHBoxLayout;
  settings->setSpacing(4);
  for (QGroupBox* group : {GroupBox1, GroupBox2}) {
    group->setSizePolicy(QSizePolicy::Ignored, group->sizePolicy().verticalPolicy());
    settings->addWidget(group, 1);
  }
  layout->addLayout(settings);

  Memo1 = new QPlainTextEdit(central);
  Memo1->setObjectName("Memo1");
  Memo1->setReadOnly(true);
  Memo1->setLineWrapMode(QPlainTextEdit::NoWrap);
  Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  // A resize keeps the first line shown; the newest line comes into view
  // instead, as it does when a line is added.
  QScrollBar* logBar = Memo1->verticalScrollBar();
  connect(logBar, &QScrollBar::rangeChanged, logBar,
          [logBar](int, int maximum) { logBar->setValue(maximum); });
  Memo1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  QFont courier(QStringLiteral("Courier New"));
  courier.setStyleHint(QFont::TypeWriter);
  courier.setFixedPitch(true);
  courier.setBold(true);
  courier.setPointSize(9);
  Memo1->setFont(courier);
  layout->addWidget(Memo1, 1);

  auto* bottom = new QHBoxLayout;
  bottom->addStretch(1);
  bExit = new QPushButton(central);
  bExit->setObjectName("bExit");
  bExit->setIcon(aExit->icon());
  BindButton(bExit, aExit, ActionList1);
  bottom->addWidget(bExit);
  layout->addLayout(bottom);

  setCentralWidget(central);

  SaveDialog1.filter = "Log fájlok (*.log)|*.log|Szöveges fájlok (*.txt)|*.txt";
  SaveDialog1.defaultExt = "log";
}

// ---------------------------------------------------------------- start and end

void TForm1::FormCreate(const std::string& dateLibrary) {
  m_dateDll = win::LoadModule(dateLibrary.c_str());
  if (m_dateDll == nullptr) {
    prompts_->ShowMessage("Az qorDate.dll betöltése sikertelen.");
    exitRequested_ = true;
    return;
  }
  // A library without the entry is not reported: every date then reads 0.
  m_getDateFromLong =
      reinterpret_cast<GetDateFromLongFn>(win::GetEntry(m_dateDll, "getDateFromLong"));
}

void TForm1::FormActivate() {
  ShowName(Edit1, m_srcUnique);
  ShowName(Edit2, m_srcUser);
  ShowName(Edit3, m_srcService);
  ShowName(Edit4, m_destUnique);
  ShowName(Edit5, m_destUser);
  ShowName(Edit6, m_destService);
  DisableSourceTypeCombos();
  DisableDestTypeCombos();
  LogSeparator();
  LogLine("Az Kelvimport program elindult.");
  LogLine("Kérem jelentkezzen be a forrás- majd a céladatbázisba.");
  LogLine("Az importálást csak ezt követően tudja megkezdeni.");
  AddMemoLine("");
  UpdateCaption();
}

void TForm1::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  // Once: every later activation (back from the login dialog or another
  // window) would empty the destination lists and repeat the start lines.
  if (!activated_) {
    activated_ = true;
    FormActivate();
  }
}

void TForm1::FormCloseQuery(bool& canClose) {
  if (m_running && AskToStop()) m_running = false;
  canClose = !m_running;
}

void TForm1::closeEvent(QCloseEvent* event) {
  bool canClose = true;
  FormCloseQuery(canClose);
  // A run stopped by the close still writes its report: the window closes
  // once the run has ended.
  if (canClose && runExecuting_) {
    closeAfterRun_ = true;
    canClose = false;
  }
  if (canClose)
    event->accept();
  else
    event->ignore();
}

void TForm1::LogoutAll() {
  m_srcLogin.Logout();
  m_destLogin.Logout();
}

void TForm1::aExitExecute() { close(); }

void TForm1::aCancelExecute() {
  if (AskToStop()) m_running = false;
}

bool TForm1::AskToStop() {
  PaintProgress();
  return prompts_->AskYesNo("Biztos, hogy megszakítja a betöltést?");
}

// ---------------------------------------------------------------- log

void TForm1::AddMemoLine(const std::string& text) {
  Memo1->appendPlainText(Q(text));
  // As a memo on Windows does: the new line comes into view, wherever the
  // operator had scrolled the log (Qt follows only a log shown at its end).
  QScrollBar* bar = Memo1->verticalScrollBar();
  bar->setValue(bar->maximum());
}

void TForm1::ShowProgress(int remaining) {
  // A row takes far less than a frame: between paints the gauge and the
  // label take their values without asking to be painted, which would cost
  // more than the row itself.
  const bool paint = !progressPainted_.isValid() || progressPainted_.elapsed() >= kProgressPaintMs;
  if (paint) progressPainted_.start();
  ProgressBar1->setUpdatesEnabled(paint);
  Label14->setUpdatesEnabled(paint);
  ProgressBar1->setValue(ProgressBar1->value() + 1);
  const QString count = QString::number(remaining);
  // The box only widens (one re-layout) for a count that no longer fits. It
  // never shrinks, and digits share one width, so a count no longer than the
  // one shown needs no measuring.
  if (count.size() > Label14->text().size()) {
    const int width = Label14->fontMetrics().horizontalAdvance(count);
    if (width > Label14->width()) Label14->setFixedWidth(width);
  }
  Label14->setText(count);
  win::SetApplicationTitle("(" + std::to_string(remaining) + ") Kelvimport");
}

void TForm1::PaintProgress() {
  progressPainted_.invalidate();
  ProgressBar1->setUpdatesEnabled(true);
  Label14->setUpdatesEnabled(true);
  ProgressBar1->repaint();
  Label14->repaint();
}

void TForm1::LogLine(const std::string& text) {
  // The time of day and a blank.
  AddMemoLine(CTimeText(prompts_->Now()).substr(11, 9) + text);
}

void TForm1::LogSeparator() {
  AddMemoLine("--------------- " + CTimeText(prompts_->Now()) + " ---------------");
}

std::string TForm1::LogText() const {
  std::string text;
  if (Memo1->document()->isEmpty()) return text;
  for (QTextBlock b = Memo1->document()->begin(); b.isValid(); b = b.next())
    text += Cp1250Codec::FromQString(b.text()) + "\r\n";
  return text;
}

void TForm1::aLogSaveExecute() {
  std::string name;
  if (!prompts_->ChooseSaveFile(SaveDialog1, name)) return;
  // The name is the system's narrow text; the file system takes it as Qt encodes it.
  const bool written = win::WriteFileUnlessDatabase(QFile::encodeName(Q(name)).toStdString(),
                                                    LogText(), win::FileWrite::Replace);
  prompts_->ShowMessage(written ? "A logállomány elkészült." : "A logállomány mentése sikertelen.");
}

// ---------------------------------------------------------------- caption and lists

void TForm1::UpdateCaption() {
  m_caption = "Kelvimport: " + m_srcService + " -> " + m_destService;
  setWindowTitle(Q(m_caption));
}

void TForm1::DisableSourceTypeCombos() { ResetTypeCombos(ComboBox1, ComboBox2, false); }

void TForm1::EnableSourceTypeCombos() { ResetTypeCombos(ComboBox1, ComboBox2, true); }

void TForm1::DisableDestTypeCombos() { ResetTypeCombos(ComboBox3, ComboBox4, false); }

void TForm1::EnableDestTypeCombos() { ResetTypeCombos(ComboBox3, ComboBox4, true); }

// ---------------------------------------------------------------- enabling rules

void TForm1::Execute(QAction* action) { ActionList1->Execute(action); }

void TForm1::UpdateActions() { ActionList1->UpdateAll(); }

void TForm1::aConnectToSourceUpdate() { aConnectToSource->setEnabled(!m_running); }
void TForm1::aConnectToDestUpdate() { aConnectToDest->setEnabled(!m_running); }
void TForm1::aCancelUpdate() { aCancel->setEnabled(m_running); }
void TForm1::aLogSaveUpdate() { aLogSave->setEnabled(!m_running); }
void TForm1::aMindigFelulirCimUpdate() { aMindigFelulirCim->setEnabled(!m_running); }
void TForm1::aMindigFelulirElerhetosegUpdate() {
  aMindigFelulirElerhetoseg->setEnabled(!m_running);
}
void TForm1::aMindigFelulirUgyfelUpdate() { aMindigFelulirUgyfel->setEnabled(!m_running); }
void TForm1::aDetailedLogUpdate() { aDetailedLog->setEnabled(!m_running); }

void TForm1::aStartImportUpdate() {
  aStartImport->setEnabled(!m_running && ComboBox1->currentIndex() < 0 &&
                           ComboBox2->currentIndex() < 0 && ComboBox3->currentIndex() >= 0 &&
                           ComboBox4->currentIndex() >= 0 && m_destLogin.IsLoggedIn() &&
                           m_srcLogin.IsLoggedIn());
}

// The check boxes keep their own state; their actions do nothing more.
void TForm1::aMindigFelulirCimExecute() {}
void TForm1::aMindigFelulirElerhetosegExecute() {}
void TForm1::aMindigFelulirUgyfelExecute() {}
void TForm1::aDetailedLogExecute() {}

// ---------------------------------------------------------------- connecting

void TForm1::ShowErrorBox(const char* operation, int line, int code, const char* message) {
  PaintProgress();
  prompts_->TopMostBox(std::string("Modul: ") + kModule + "\nEljárás: " + operation +
                           "\nSor: " + std::to_string(line) + "\nKód: " + std::to_string(code) +
                           "\nÜzenet: " + message,
                       "Hiba történt!");
}

void TForm1::ShowCriticalBox() {
  PaintProgress();
  prompts_->TopMostBox("Kritikus programhiba történt!", "Figyelem!");
}

void TForm1::Connect(const Side& side) {
  try {
    side.login.Logout();
    side.map.Clear();
    side.map.SetHandle(kNoConnection);
    bool connected = false;
    if (!side.login.Login("", "", "", true, "")) {
      LogSeparator();
      LogLine(side.loginFailed);
    } else {
      side.handle = side.login.GetHandle();
      side.user = side.login.GetUserName();
      if (side.userId) *side.userId = side.login.GetUserId();
      side.service = side.login.GetDatabase();
      side.server = side.login.GetServer();
      side.map.SetHandle(side.handle);
      side.map.OpenAll(0);
      std::string volumeId, lmgrName;
      side.map.GetServerParam("VolumeId", volumeId);
      try {
        side.map.GetServerParam("RegLmgrName", lmgrName);
      } catch (const DbDescError& e) {
        if (e.GetCode() != kUnsupportedParam) throw;
        LogLine("Nem támogatott paraméter: SERVER_LMGR_NAME.");
        AddMemoLine("");
        lmgrName = "DEFAULT";
      }
      side.unique = side.server + "_" + volumeId + "_" + lmgrName;
      connected = (this->*side.check)();
      LogSeparator();
      if (connected) {
        LogLine(side.loginSucceeded);
        LogLine(side.databaseType);
      } else {
        LogLine(side.wrongDatabase);
      }
    }
    if (!connected) {
      side.map.Clear();
      side.map.SetHandle(kNoConnection);
      side.user = "NO USER";
      side.service = "NO SERVICE";
      side.unique = "NO SERVER";
      (this->*side.disableCombos)();
    }
    AddMemoLine("Szolgáltatás: " + side.service + ".");
    AddMemoLine("Felhasználó: " + side.user + ".");
    AddMemoLine("Szerver egyedi név: " + side.unique + ".");
    AddMemoLine("");
    ShowName(side.uniqueEdit, side.unique);
    ShowName(side.userEdit, side.user);
    ShowName(side.serviceEdit, side.service);
    UpdateCaption();
  } catch (const QorExceptBase& e) {
    ShowErrorBox(side.operation, side.line, e.GetCode(), e.what());
  }
}

void TForm1::aConnectToSourceExecute() {
  Connect({m_srcLogin, m_srcHandle, m_srcMap, m_srcUser, nullptr, m_srcService, m_srcServer,
           m_srcUnique, Edit1, Edit2, Edit3, &TForm1::CheckSourceDatabase,
           &TForm1::DisableSourceTypeCombos, "A forrásadatbázisba a bejelentkezés sikertelen.",
           "A forrásadatbázisba a bejelentkezés sikeres.", "Adatbázis típusa: Kelvado 6.",
           "Nem megfelelő forrásadatbázis.", "TForm1::aConnectToSourceExecute", 147});
}

void TForm1::aConnectToDestExecute() {
  Connect({m_destLogin, m_destHandle, m_destMap, m_destUser, &m_destUserId, m_destService,
           m_destServer, m_destUnique, Edit4, Edit5, Edit6, &TForm1::CheckDestDatabase,
           &TForm1::DisableDestTypeCombos, "A céladatbázisba a bejelentkezés sikertelen.",
           "A céladatbázisba a bejelentkezés sikeres.", "Adatbázis típusa: VOV ovoruved.",
           "Nem megfelelő céladatbázis.", "TForm1::aConnectToDestExecute", 238});
}

bool TForm1::CheckSourceDatabase() {
  try {
    DbDescription kelvado = m_srcMap.GetDescription("KELVADO");
    for (const char* record : {"UGYFEL", "CIMLINK", "CIM", "RENDSZAM"}) RdmTable(&kelvado, record);
  } catch (const DbDescError&) {
    DisableSourceTypeCombos();
    return false;
  }
  // The source has no type lists of its own: they stay empty and disabled.
  DisableSourceTypeCombos();
  return true;
}

bool TForm1::CheckDestDatabase() {
  try {
    DbDescription alap = m_destMap.GetDescription("ALAP");
    RdmTable contactTypes(&alap, "ELERTIP");
    RdmTable addressTypes(&alap, "CIMTIP");
    contactTypes.DefineKey("ELET_ID");
    addressTypes.DefineKey("CIMT_ID");
    EnableDestTypeCombos();
    // Only the contact types that the import may write.
    if (contactTypes.Select("", kBeforeFirst)) {
      while (contactTypes.Next())
        if (contactTypes.GetField("ELMT_ID").AsLong() == 1)
          ComboBox3->addItem(Q(contactTypes.GetField("ELET_TIPUS").GetText()),
                             int(contactTypes.GetField("ELET_ID").AsLong()));
    }
    if (ComboBox3->count() > 0) ComboBox3->setCurrentIndex(0);
    if (addressTypes.Select("", kBeforeFirst)) {
      while (addressTypes.Next())
        ComboBox4->addItem(Q(addressTypes.GetField("CIMT_TIPUS").GetText()),
                           int(addressTypes.GetField("CIMT_ID").AsLong()));
    }
    if (ComboBox4->count() > 0) ComboBox4->setCurrentIndex(0);
  } catch (const DbDescError&) {
    DisableDestTypeCombos();
    return false;
  }
  return true;
}

// ---------------------------------------------------------------- conversions

std::string TForm1::NormalizePhoneNumber(const std::string& text) {
  std::string result;
  size_t i = 0;
  if (text.starts_with("+")) {
    result = "+";
    i = 1;
  } else if (text.starts_with("(+")) {
    result = "+";
    i = 2;
  }
  for (; i < text.size(); ++i)
    if (text[i] >= '0' && text[i] <= '9') result += text[i];
  return result;
}

std::string TForm1::FormatSubscriberNumber(const std::string& text) {
  std::string result;
  int groups = 2;
  int countdown = 2;
  for (auto it = text.rbegin(); it != text.rend(); ++it) {
    if (*it < '0' || *it > '9') continue;
    result.insert(result.begin(), *it);
    if (--countdown == 0 && groups > 0) {
      result.insert(result.begin(), '-');
      countdown = 2;
      --groups;
    }
  }
  return result;
}

namespace {

// The remainder of the bytes' decimal values, one after the other, read as
// one number: each byte's one to three digits enter the long division at
// once, without the digit string being written out.
template <class Modulus>
uint64_t DecimalRemainder(const std::string& text, Modulus modulus) {
  uint64_t remainder = 0;
  for (char c : text) {
    if (c == '\0') break;
    const uint64_t value = static_cast<unsigned char>(c);
    const uint64_t scale = value >= 100 ? 1000 : value >= 10 ? 100 : 10;
    remainder = (remainder * scale + value) % modulus;
  }
  return remainder;
}

template <uint32_t M>
using Constant = std::integral_constant<uint64_t, M>;

}  // namespace

std::string TForm1::DecimalHashMod(const std::string& text, uint32_t modulus) {
  // A division by a constant compiles to multiplications, several times
  // faster than a division: the source key's moduli are divided by as such.
  switch (modulus) {
    case kSourceKeyModuli[0]:
      return std::to_string(DecimalRemainder(text, Constant<kSourceKeyModuli[0]>()));
    case kSourceKeyModuli[1]:
      return std::to_string(DecimalRemainder(text, Constant<kSourceKeyModuli[1]>()));
    case 0:
      return "0";  // nothing to divide by
    default:
      return std::to_string(DecimalRemainder(text, uint64_t(modulus)));
  }
}

double TForm1::DateFromLong(const std::string& text) const {
  // As atol reads it with a 32-bit long: out-of-range values saturate.
  long long value = std::strtoll(text.c_str(), nullptr, 10);
  if (value > INT32_MAX) value = INT32_MAX;
  if (value < INT32_MIN) value = INT32_MIN;
  if (value == 0 || m_getDateFromLong == nullptr) return 0;
  int16_t year = 0, month = 0, day = 0;
  if (m_getDateFromLong(int32_t(value), &year, &month, &day) != 0) return 0;
  try {
    QorDateTime date(year, month, day, 0, 0, 0, true);
    return date.ToDouble();
  } catch (const QorExceptBase&) {
    // A day whose local midnight lies beyond the calendar (1 January of
    // year 1 east of Greenwich) is no date either, not a failed run.
    return 0;
  }
}
