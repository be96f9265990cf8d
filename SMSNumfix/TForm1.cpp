#include "TForm1.h"

#include <fcntl.h>
#include <unistd.h>

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QFontDatabase>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QToolBar>
#include <QToolButton>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <cerrno>
#include <ctime>
#include <map>

#include "ActionList.h"
#include "Cp1250Codec.h"
#include "IniReader.h"
#include "NumfixData.h"
#include "NumfixPrompts.h"
#include "QorExceptBase.h"

namespace {

constexpr const char* kModule = "SMSNumfix\\frm_Numfix";
constexpr const char* kTemplateFile = "SMS_tel_sablon.ini";
constexpr const char* kLogFile = "SMS_converter.log";
constexpr const char* kEdited = "Igen";

QString Q(const std::string& text) { return Cp1250Codec::ToQString(text); }
std::string S(const QString& text) { return Cp1250Codec::FromQString(text); }

const QColor kMarkedColour(46, 139, 87);
const QColor kManualColour(230, 140, 20);
const QColor kEditedColour(40, 90, 200);
const QColor kUnmarkColour(190, 50, 50);

enum class Sign { Check, Exclamation, Cross };

// A filled disc with a white sign; the state images and the mark buttons share it.
void DrawSignDisc(QPainter& p, const QRectF& disc, const QColor& fill, Sign sign) {
  p.setBrush(fill);
  p.setPen(QPen(Qt::white, 1));
  p.drawEllipse(disc);
  const qreal u = disc.width() / 16;
  const QPointF o = disc.topLeft();
  auto at = [&](qreal x, qreal y) { return o + QPointF(x * u, y * u); };
  p.setPen(QPen(Qt::white, 2 * u, Qt::SolidLine, Qt::RoundCap));
  switch (sign) {
    case Sign::Check:
      p.drawPolyline(QPolygonF({at(4, 8), at(7, 11), at(12, 5)}));
      break;
    case Sign::Exclamation:
      p.drawLine(at(8, 4), at(8, 9));
      p.drawPoint(at(8, 12));
      break;
    case Sign::Cross:
      p.drawLine(at(5, 5), at(11, 11));
      p.drawLine(at(11, 5), at(5, 11));
      break;
  }
}

// The state images: nothing for "not marked", a sign for the three others.
QIcon StateIcon(int state) {
  QPixmap pm(16, 16);
  pm.fill(Qt::transparent);
  if (state < 0) return QIcon(pm);
  QPainter p(&pm);
  p.setRenderHint(QPainter::Antialiasing);
  if (state == 0)
    DrawSignDisc(p, QRectF(1, 1, 14, 14), kMarkedColour, Sign::Check);
  else if (state == 1)
    DrawSignDisc(p, QRectF(1, 1, 14, 14), kManualColour, Sign::Exclamation);
  else
    DrawSignDisc(p, QRectF(1, 1, 14, 14), kEditedColour, Sign::Check);
  return QIcon(pm);
}

// A mark or unmark button: one disc for an item, a stack of two for a kind,
// of three for every item.
QIcon MarkButtonIcon(bool mark, int discs) {
  QPixmap pm(24, 24);
  pm.fill(Qt::transparent);
  QPainter p(&pm);
  p.setRenderHint(QPainter::Antialiasing);
  const qreal size = discs == 1 ? 20 : discs == 2 ? 17 : 15;
  const qreal step = discs == 1 ? 0 : (24 - size) / (discs - 1);
  for (int i = 0; i < discs; ++i)
    DrawSignDisc(p, QRectF(i * step, i * step, size, size), mark ? kMarkedColour : kUnmarkColour,
                 i == discs - 1 ? (mark ? Sign::Check : Sign::Cross) : Sign::Check);
  return QIcon(pm);
}

const QIcon& StateImage(int state) {
  static const QIcon images[4] = {StateIcon(-1), StateIcon(0), StateIcon(1), StateIcon(2)};
  return images[state + 1];
}

// A listed contact: its ELER_ID and repair state live in the item, and the
// state image is drawn from the state, so loading a large list sets no
// per-item icons.
class ContactItem : public QTreeWidgetItem {
 public:
  ContactItem(const QStringList& texts, long elerId, int state)
      : QTreeWidgetItem(texts, UserType), elerId_(elerId), state_(state) {}
  QVariant data(int column, int role) const override {
    if (column == 0 && role == Qt::DecorationRole) return StateImage(state_);
    return QTreeWidgetItem::data(column, role);
  }
  long ElerId() const { return elerId_; }
  int State() const { return state_; }
  void SetState(int state) {
    state_ = state;
    emitDataChanged();
  }

 private:
  long elerId_;
  int state_;
};

// The first place of a masked field that holds no digit yet, or -1 when it is full.
int FirstFreePlace(const QLineEdit* edit) {
  // The display shows '_' in every free place; the digits typed cannot be '_'.
  return int(edit->displayText().indexOf(QLatin1Char('_')));
}

void ToFirstFreePlace(QLineEdit* edit) {
  const int place = FirstFreePlace(edit);
  if (place >= 0) edit->setCursorPosition(place);
}

// A masked field whose cursor never lands beyond its first free place, where
// the digits typed would be dropped; a click on a digit already typed stays
// there, so that the digit can be typed over.
class MaskedEdit : public QLineEdit {
 public:
  using QLineEdit::QLineEdit;

 protected:
  void focusInEvent(QFocusEvent* event) override {
    QLineEdit::focusInEvent(event);
    // A click places the cursor when it is pressed.
    if (event->reason() != Qt::MouseFocusReason) ToFirstFreePlace(this);
  }
  void mousePressEvent(QMouseEvent* event) override {
    QLineEdit::mousePressEvent(event);
    if (cursorPosition() > FirstFreePlace(this)) ToFirstFreePlace(this);
  }
};

// A read-only field shows the beginning of its text: a number's country and
// area code matter more than its end.
void ShowFromStart(QLineEdit* edit, const QString& text) {
  edit->setText(text);
  edit->setCursorPosition(0);
}

bool WriteLogFile(const std::string& block) {
  const int fd = ::open(kLogFile, O_WRONLY | O_CREAT | O_APPEND, 0666);
  if (fd < 0) return false;
  size_t done = 0;
  bool ok = true;
  while (done < block.size()) {
    const ssize_t n = ::write(fd, block.data() + done, block.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      ok = false;
      break;
    }
    done += size_t(n);
  }
  if (::close(fd) != 0) ok = false;
  return ok;
}

}  // namespace

TForm1::TForm1(QWidget* owner, std::unique_ptr<NumfixData> data,
               std::unique_ptr<NumfixPrompts> prompts)
    : QMainWindow(owner), data_(std::move(data)), prompts_(std::move(prompts)) {
  setWindowTitle("Numfix");
  setMinimumSize(600, 500);
  ActionList1 = new ActionList(this);
  BuildActions();
  BuildControls();
  resize(1000, 700);
  if (QScreen* screen = QGuiApplication::primaryScreen())
    move(screen->availableGeometry().center() - rect().center());

  LoadTemplates();
  if (ConnectToDb())
    Execute(aGetRecordList);
  else
    Execute(aExit);
}

TForm1::~TForm1() = default;

// ---------------------------------------------------------------- construction

QAction* TForm1::AddAction(const char* caption, const char* hint, void (TForm1::*execute)(),
                           void (TForm1::*update)()) {
  auto* action = new QAction(Q(caption), this);
  action->setToolTip(Q(hint));
  action->setStatusTip(Q(hint));
  ActionList1->Add(action, this, execute, update);
  return action;
}

void TForm1::BuildActions() {
  aGetRecordList =
      AddAction("Adatbázisból beolvas", "Telefonszámok betöltése.", &TForm1::aGetRecordListExecute);
  aSetRecordList = AddAction("Adatbázisba visszaír",
                             "Javításra kijelölt telefonszámok visszaírása az adatbázisba.",
                             &TForm1::aSetRecordListExecute);
  aRepairThisOne = AddAction("Javításra kijelöl", "Javításra jelöli ki az elemet.",
                             &TForm1::aRepairThisOneExecute, &TForm1::aRepairThisOneUpdate);
  aRepairThisKind = AddAction("Ezt a hibatípust javításra kijelöli",
                              "Javításra jelöl ki minden ilyen típusú elemet.",
                              &TForm1::aRepairThisKindExecute, &TForm1::aRepairThisKindUpdate);
  aRepairAll = AddAction("Mindent javításra jelöl ki",
                         "Javításra jelöl ki minden javítható elemet.", &TForm1::aRepairAllExecute);
  aCancelThisOne = AddAction("Kijelölést megszűntet", "Az elem kijelölését törli.",
                             &TForm1::aCancelThisOneExecute, &TForm1::aCancelThisOneUpdate);
  aCancelThisKind =
      AddAction("Hibatípus kijelölését megszűnteti", "Minden ilyen típusú elem kijelölését törli.",
                &TForm1::aCancelThisKindExecute, &TForm1::aCancelThisKindUpdate);
  aCancelAll = AddAction("Minden kijelölést megszűntet", "Minden elem kijelölését törli.",
                         &TForm1::aCancelAllExecute);
  aEnterEditMode = AddAction("Szerkeszt", "Szerkesztésre nyitja meg a kijelölt elemet.",
                             &TForm1::aEnterEditModeExecute, &TForm1::aEnterEditModeUpdate);
  aEditThisOne = AddAction("Módosít", "Az előnézetben található szám rögzítése.",
                           &TForm1::aEditThisOneExecute, &TForm1::aEditThisOneUpdate);
  aExitEditMode = AddAction("Mégsem", "Szerkesztésből kilép.", &TForm1::aExitEditModeExecute,
                            &TForm1::aExitEditModeUpdate);
  aGetInfo = AddAction("Info", "Ügyféladatok lekérdezése.", &TForm1::aGetInfoExecute,
                       &TForm1::aGetInfoUpdate);
  aExit = AddAction("Kilépés", "Kilépés.", &TForm1::aExitExecute);

  QMenu* file = menuBar()->addMenu(Q("Fájl"));
  file->addAction(aExit);
  QMenu* db = menuBar()->addMenu(Q("Adatbázis"));
  db->addAction(aGetRecordList);
  db->addAction(aSetRecordList);
  QMenu* marks = menuBar()->addMenu(Q("Kijelölés"));
  PopupMenu1 = new QMenu(this);
  for (QMenu* menu : {marks, PopupMenu1}) {
    menu->addActions({aRepairThisOne, aRepairThisKind, aRepairAll});
    menu->addSeparator();
    menu->addActions({aCancelThisOne, aCancelThisKind, aCancelAll});
    menu->addSeparator();
    menu->addActions({aEnterEditMode, aEditThisOne, aExitEditMode});
    menu->addSeparator();
    menu->addAction(aGetInfo);
  }

  ToolBar1 = addToolBar(QStringLiteral("ToolBar1"));
  ToolBar1->setObjectName("ToolBar1");
  ToolBar1->setMovable(false);
  // Icons only, so that every button fits; the hint names the action.
  ToolBar1->setToolButtonStyle(Qt::ToolButtonIconOnly);
  const struct {
    QAction* action;
    QStyle::StandardPixmap icon;
  } icons[] = {
      {aGetRecordList, QStyle::SP_BrowserReload},
      {aSetRecordList, QStyle::SP_DialogSaveButton},
      {aEnterEditMode, QStyle::SP_FileDialogContentsView},
      {aEditThisOne, QStyle::SP_DialogApplyButton},
      {aExitEditMode, QStyle::SP_DialogCloseButton},
      {aGetInfo, QStyle::SP_MessageBoxInformation},
      {aExit, QStyle::SP_TitleBarCloseButton},
  };
  for (const auto& i : icons) i.action->setIcon(style()->standardIcon(i.icon));
  // The mark buttons look like the state images they set.
  aRepairThisOne->setIcon(MarkButtonIcon(true, 1));
  aRepairThisKind->setIcon(MarkButtonIcon(true, 2));
  aRepairAll->setIcon(MarkButtonIcon(true, 3));
  aCancelThisOne->setIcon(MarkButtonIcon(false, 1));
  aCancelThisKind->setIcon(MarkButtonIcon(false, 2));
  aCancelAll->setIcon(MarkButtonIcon(false, 3));
  ToolBar1->addActions({aGetRecordList, aSetRecordList});
  ToolBar1->addSeparator();
  ToolBar1->addActions(
      {aRepairThisOne, aRepairThisKind, aRepairAll, aCancelThisOne, aCancelThisKind, aCancelAll});
  ToolBar1->addSeparator();
  ToolBar1->addActions({aEnterEditMode, aEditThisOne, aExitEditMode});
  ToolBar1->addSeparator();
  ToolBar1->addAction(aGetInfo);
}

void TForm1::BuildControls() {
  auto* central = new QWidget(this);
  auto* layout = new QVBoxLayout(central);

  ListView1 = new QTreeWidget(central);
  ListView1->setObjectName("ListView1");
  ListView1->setColumnCount(kColumns);
  ListView1->setHeaderLabels({Q("Hibatípus (hibasablon)"), Q("Hiba leírása"),
                              Q("Tárolt telefonszám"), Q("Javaslat"), Q("Szerkesztett")});
  ListView1->setRootIsDecorated(false);
  ListView1->setItemsExpandable(false);
  ListView1->setUniformRowHeights(true);
  ListView1->setSelectionMode(QAbstractItemView::SingleSelection);
  ListView1->setSelectionBehavior(QAbstractItemView::SelectRows);
  ListView1->setEditTriggers(QAbstractItemView::NoEditTriggers);
  ListView1->setAllColumnsShowFocus(true);
  ListView1->header()->setStretchLastSection(false);
  // Grid lines; the selected row keeps the palette's colours under the style sheet.
  ListView1->setStyleSheet(
      "QTreeWidget::item { border-right: 1px solid #d8d8d8; border-bottom: 1px solid #d8d8d8; }"
      "QTreeWidget::item:selected { background: palette(highlight); color: "
      "palette(highlighted-text); }");
  // Keep the selection visible when the list has no focus.
  QPalette pal = ListView1->palette();
  pal.setColor(QPalette::Inactive, QPalette::Highlight,
               pal.color(QPalette::Active, QPalette::Highlight));
  pal.setColor(QPalette::Inactive, QPalette::HighlightedText,
               pal.color(QPalette::Active, QPalette::HighlightedText));
  ListView1->setPalette(pal);
  ListView1->setContextMenuPolicy(Qt::CustomContextMenu);
  connect(ListView1, &QWidget::customContextMenuRequested, this, [this](const QPoint& pos) {
    UpdateActions();
    PopupMenu1->popup(ListView1->viewport()->mapToGlobal(pos));
  });
  connect(ListView1, &QTreeWidget::itemSelectionChanged, this, &TForm1::ListView1SelectItem);
  connect(ListView1, &QTreeWidget::itemDoubleClicked, this, [this] { Execute(aEnterEditMode); });
  ListView1->installEventFilter(this);
  ListView1->viewport()->installEventFilter(this);
  layout->addWidget(ListView1, 1);

  GroupBox1 = new QGroupBox(Q("Szerkesztő"), central);
  GroupBox1->setObjectName("GroupBox1");
  auto* grid = new QGridLayout(GroupBox1);
  // Fixed-pitch, so that every blank of a free place shows as wide as a digit.
  const QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
  auto makeMasked = [this, &fixed](const char* name, const char* mask, int chars) {
    auto* edit = new MaskedEdit(GroupBox1);
    edit->setObjectName(name);
    edit->setFont(fixed);
    edit->setInputMask(mask);
    edit->setMinimumWidth(edit->fontMetrics().horizontalAdvance(QString(chars + 2, QChar('0'))) +
                          12);
    edit->installEventFilter(this);
    connect(edit, &QLineEdit::textChanged, this, &TForm1::UpdatePreview);
    return edit;
  };
  // '0' is Qt's optional digit; fixed characters are part of the text.
  eOrszag = makeMasked("eOrszag", "+00;_", 3);
  eKorzet = makeMasked("eKorzet", "00;_", 2);
  eSzam = makeMasked("eSzam", "000-00-00;_", 9);
  eMellek = makeMasked("eMellek", "0000;_", 4);
  auto makeReadOnly = [this, &fixed](const char* name) {
    auto* edit = new QLineEdit(GroupBox1);
    edit->setObjectName(name);
    edit->setFont(fixed);
    edit->setReadOnly(true);
    edit->setFocusPolicy(Qt::NoFocus);
    return edit;
  };
  Edit1 = makeReadOnly("Edit1");
  Edit2 = makeReadOnly("Edit2");
  Edit3 = makeReadOnly("Edit3");

  int col = 1;
  for (const char* caption : {"ország:", "körzet:", "szám:", "mellék:"})
    grid->addWidget(new QLabel(Q(caption), GroupBox1), 0, col++);
  grid->addWidget(eOrszag, 1, 1);
  grid->addWidget(eKorzet, 1, 2);
  grid->addWidget(eSzam, 1, 3);
  grid->addWidget(eMellek, 1, 4);
  grid->addWidget(new QLabel(Q("Minta"), GroupBox1), 2, 0);
  col = 1;
  for (const char* sample : {"+36", "20", "123-45-67", "(nincs)"}) {
    auto* label = new QLabel(Q(sample), GroupBox1);
    label->setEnabled(false);
    grid->addWidget(label, 2, col++);
  }
  grid->setColumnMinimumWidth(5, 16);
  grid->addWidget(new QLabel(Q("Tárolt telefonszám"), GroupBox1), 0, 6);
  grid->addWidget(Edit1, 0, 7);
  grid->addWidget(new QLabel(Q("Javaslat"), GroupBox1), 1, 6);
  grid->addWidget(Edit2, 1, 7);
  grid->addWidget(new QLabel(Q("Előnézet"), GroupBox1), 2, 6);
  grid->addWidget(Edit3, 2, 7);
  auto* sampleResult = new QLabel(Q("(+36)20/123-45-67:"), GroupBox1);
  sampleResult->setEnabled(false);
  grid->addWidget(sampleResult, 3, 7);
  auto* buttons = new QHBoxLayout;
  for (QAction* a : {aEditThisOne, aExitEditMode}) {
    auto* b = new QToolButton(GroupBox1);
    b->setDefaultAction(a);
    b->setToolButtonStyle(Qt::ToolButtonTextOnly);
    buttons->addWidget(b);
  }
  grid->addLayout(buttons, 3, 1, 1, 4, Qt::AlignLeft);
  grid->setColumnStretch(7, 1);
  layout->addWidget(GroupBox1);

  auto* bottom = new QHBoxLayout;
  lItemCount = new QLabel("0", central);
  lItemCount->setObjectName("lItemCount");
  QFont big = lItemCount->font();
  big.setBold(true);
  big.setPointSizeF(big.pointSizeF() * 1.8);
  lItemCount->setFont(big);
  bottom->addWidget(lItemCount);
  bottom->addStretch(1);
  bExit = new QPushButton(Q("Kilépés"), central);
  bExit->setObjectName("bExit");
  bExit->setToolTip(Q("Kilépés."));
  connect(bExit, &QPushButton::clicked, this, [this] { Execute(aExit); });
  bottom->addWidget(bExit);
  layout->addLayout(bottom);

  setCentralWidget(central);
}

// Each column is as wide as its contents; a wider list shares the rest among
// them in proportion, so that the columns fill it.
void TForm1::FitColumns() {
  int total = 0;
  for (int width : contentWidths_) total += width;
  const int extra = ListView1->viewport()->width() - total;
  if (total == 0 || extra <= 0) {
    for (int c = 0; c < kColumns; ++c) ListView1->setColumnWidth(c, contentWidths_[size_t(c)]);
    return;
  }
  int given = 0;
  for (int c = 0; c < kColumns; ++c) {
    const int share =
        c + 1 < kColumns ? int(int64_t(extra) * contentWidths_[size_t(c)] / total) : extra - given;
    given += share;
    ListView1->setColumnWidth(c, contentWidths_[size_t(c)] + share);
  }
}

void TForm1::LoadTemplates() { templates_.Load(IniReader(kTemplateFile)); }

// ---------------------------------------------------------------- actions

void TForm1::Execute(QAction* action) { ActionList1->Execute(action); }

void TForm1::UpdateActions() { ActionList1->UpdateAll(); }

QTreeWidgetItem* TForm1::Selected() const {
  const QList<QTreeWidgetItem*> items = ListView1->selectedItems();
  return items.isEmpty() ? nullptr : items.first();
}

// Every item of the list is a ContactItem: only the loader makes items.
int TForm1::ItemState(const QTreeWidgetItem* item) {
  return static_cast<const ContactItem*>(item)->State();
}

bool TForm1::IsMarked(const QTreeWidgetItem* item) {
  const int state = ItemState(item);
  return state == kMarked || state == kEditedMarked;
}

long TForm1::ItemElerId(const QTreeWidgetItem* item) {
  return static_cast<const ContactItem*>(item)->ElerId();
}

std::string TForm1::ItemText(const QTreeWidgetItem* item, int column) {
  return S(item->text(column));
}

bool TForm1::IsEdited(const QTreeWidgetItem* item) const {
  return item->text(kColEdited) == QLatin1String(kEdited);
}

void TForm1::SetItemState(QTreeWidgetItem* item, int state) {
  static_cast<ContactItem*>(item)->SetState(state);
}

void TForm1::MarkForRepair(QTreeWidgetItem* item) {
  if (!item || ItemState(item) != kNotMarked) return;
  SetItemState(item, IsEdited(item) ? kEditedMarked : kMarked);
}

void TForm1::UnmarkForRepair(QTreeWidgetItem* item) {
  if (!item) return;
  if (IsMarked(item)) SetItemState(item, kNotMarked);
}

void TForm1::aRepairThisOneUpdate() {
  QTreeWidgetItem* item = Selected();
  aRepairThisOne->setEnabled(item && ItemState(item) == kNotMarked);
}

void TForm1::aCancelThisOneUpdate() {
  QTreeWidgetItem* item = Selected();
  aCancelThisOne->setEnabled(item && IsMarked(item));
}

// Both kind actions act from an unedited item of the kind, marked or not.
bool TForm1::SelectedStandsForItsKind() const {
  QTreeWidgetItem* item = Selected();
  return item && ((ItemState(item) == kNotMarked && !IsEdited(item)) || ItemState(item) == kMarked);
}

void TForm1::aRepairThisKindUpdate() { aRepairThisKind->setEnabled(SelectedStandsForItsKind()); }

void TForm1::aCancelThisKindUpdate() { aCancelThisKind->setEnabled(SelectedStandsForItsKind()); }

void TForm1::aEnterEditModeUpdate() {
  aEnterEditMode->setEnabled(Selected() && GroupBox1->isHidden());
}

void TForm1::aEditThisOneUpdate() {
  // Only while the editor is shown: outside it the preview is empty and must
  // never be stored.
  aEditThisOne->setEnabled(Selected() && !GroupBox1->isHidden() &&
                           MatchesValidTemplate(S(Edit3->text())));
}

void TForm1::aExitEditModeUpdate() { aExitEditMode->setEnabled(!GroupBox1->isHidden()); }

void TForm1::aGetInfoUpdate() { aGetInfo->setEnabled(Selected() != nullptr); }

void TForm1::aRepairThisOneExecute() { MarkForRepair(Selected()); }
void TForm1::aCancelThisOneExecute() { UnmarkForRepair(Selected()); }

// The kind of an item is its caption; edited items keep their own decision.
void TForm1::ChangeSelectedKind(void (TForm1::*change)(QTreeWidgetItem*)) {
  QTreeWidgetItem* selected = Selected();
  if (!selected) return;
  const QString kind = selected->text(kColCaption);
  for (int i = 0; i < ListView1->topLevelItemCount(); ++i) {
    QTreeWidgetItem* item = ListView1->topLevelItem(i);
    if (item->text(kColCaption) == kind && !IsEdited(item)) (this->*change)(item);
  }
}

void TForm1::ChangeAll(void (TForm1::*change)(QTreeWidgetItem*)) {
  for (int i = 0; i < ListView1->topLevelItemCount(); ++i)
    (this->*change)(ListView1->topLevelItem(i));
}

void TForm1::aRepairThisKindExecute() { ChangeSelectedKind(&TForm1::MarkForRepair); }
void TForm1::aCancelThisKindExecute() { ChangeSelectedKind(&TForm1::UnmarkForRepair); }
void TForm1::aRepairAllExecute() { ChangeAll(&TForm1::MarkForRepair); }
void TForm1::aCancelAllExecute() { ChangeAll(&TForm1::UnmarkForRepair); }

// ---------------------------------------------------------------- editor

std::string TForm1::MaskedText(const QLineEdit* edit) {
  QString text = edit->displayText();
  text.replace(QLatin1Char('_'), QLatin1Char(' '));
  return S(text);
}

void TForm1::UpdatePreview() {
  ShowFromStart(Edit3, Q("(" + MaskedText(eOrszag) + ")" + MaskedText(eKorzet) + "/" +
                         MaskedText(eSzam) + ":" + MaskedText(eMellek)));
}

void TForm1::ClearEditor() {
  for (QLineEdit* edit : {eOrszag, eKorzet, eSzam, eMellek}) edit->setText(QString());
  Edit3->clear();
}

void TForm1::ShowSelectedNumbers() {
  QTreeWidgetItem* item = Selected();
  if (!item) return;
  ShowFromStart(Edit1, item->text(kColNumber));
  ShowFromStart(Edit2, item->text(kColSuggestion));
}

void TForm1::ListView1SelectItem() {
  // Another row while editing starts the editor afresh, so a value typed for
  // one contact can never be stored on another.
  if (!GroupBox1->isHidden()) ClearEditor();
  ShowSelectedNumbers();
}

void TForm1::aEnterEditModeExecute() {
  ShowSelectedNumbers();
  GroupBox1->show();
  // The editor takes room from the list at once, so the selected row can be
  // scrolled back into sight.
  centralWidget()->layout()->activate();
  if (QTreeWidgetItem* item = Selected()) ListView1->scrollToItem(item);
  eOrszag->setFocus();
  ToFirstFreePlace(eOrszag);
}

void TForm1::aEditThisOneExecute() {
  QTreeWidgetItem* item = Selected();
  if (item) {
    item->setText(kColSuggestion, Edit3->text());
    item->setText(kColEdited, QLatin1String(kEdited));
    SetItemState(item, kEditedMarked);
  }
  Execute(aExitEditMode);
}

void TForm1::aExitEditModeExecute() {
  ClearEditor();
  ListView1->setFocus();
  GroupBox1->hide();
}

// A character typed in one of the four fields; the key goes on unchanged.
void TForm1::EditorKeyPress(int key) {
  if (key == 13)
    Execute(aEditThisOne);
  else if (key == 27)
    Execute(aExitEditMode);
}

bool TForm1::ListView1KeyDown(int key, bool keypad) {
  switch (key) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
      Execute(aEnterEditMode);
      return false;
    case Qt::Key_Space:
      Execute(aGetInfo);
      return false;
    case Qt::Key_Plus:
    case Qt::Key_Minus:
    case Qt::Key_Asterisk:
    case Qt::Key_Slash:
      break;
    default:
      return false;
  }
  // Only the numeric keypad's signs act; the main keyboard's "+" and "-" do
  // nothing.
  if (keypad) {
    if (key == Qt::Key_Plus)
      Execute(aRepairThisOne);
    else if (key == Qt::Key_Minus)
      Execute(aCancelThisOne);
    else if (key == Qt::Key_Asterisk)
      Execute(aRepairAll);
    else
      Execute(aCancelAll);
  }
  // The list's type-ahead search would take the sign for a caption's first
  // character and select another row.
  return keypad || key == Qt::Key_Plus || key == Qt::Key_Minus;
}

bool TForm1::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::Resize && watched == ListView1->viewport()) FitColumns();
  if (event->type() == QEvent::KeyPress) {
    auto* key = static_cast<QKeyEvent*>(event);
    if (watched == ListView1) {
      if (ListView1KeyDown(key->key(), key->modifiers().testFlag(Qt::KeypadModifier))) return true;
    } else if (watched == eOrszag || watched == eKorzet || watched == eSzam || watched == eMellek) {
      if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter)
        EditorKeyPress(13);
      else if (key->key() == Qt::Key_Escape)
        EditorKeyPress(27);
    }
  }
  return QMainWindow::eventFilter(watched, event);
}

// ---------------------------------------------------------------- templates

bool TForm1::ClassifyNumber(const std::string& number, std::string& caption,
                            std::string& description, std::string& suggestion) const {
  return templates_.ClassifyNumber(number, caption, description, suggestion);
}

bool TForm1::MatchesValidTemplate(const std::string& text) const {
  return templates_.MatchesValidTemplate(text);
}

std::string TForm1::StripBlanks(const std::string& text) {
  return NumberTemplates::StripBlanks(text);
}

// ---------------------------------------------------------------- database

void TForm1::ShowErrorBox(const char* operation, int line, int code, const char* message) {
  prompts_->TopMostBox(std::string("Modul: ") + kModule + "\nEljárás: " + operation +
                           "\nSor: " + std::to_string(line) + "\nKód: " + std::to_string(code) +
                           "\nÜzenet: " + message,
                       "Hiba történt!");
}

bool TForm1::ConnectToDb() {
  try {
    return data_->Connect();
  } catch (const QorExceptBase& e) {
    ShowErrorBox("TForm1::ConnectToDb", 209, e.GetCode(), e.what());
    return false;
  }
}

void TForm1::aGetRecordListExecute() {
  ListView1->clear();
  lItemCount->setText("0");
  QList<QTreeWidgetItem*> items;
  try {
    std::string caption, description, suggestion;
    // Captions and descriptions repeat: one shared text each.
    std::map<std::string, QString> shared;
    auto sharedText = [&shared](const std::string& text) -> const QString& {
      auto it = shared.find(text);
      if (it == shared.end()) it = shared.emplace(text, Q(text)).first;
      return it->second;
    };
    data_->ReadContacts([&](const NumfixData::Contact& c) {
      if (c.eletId != 6 || c.tableCode == 0) return;
      const std::string number = StripBlanks(c.adat);
      if (!ClassifyNumber(number, caption, description, suggestion)) return;
      const bool manual = suggestion == NumfixText::kManualRepair;
      items.append(new ContactItem({sharedText(caption), sharedText(description), Q(number),
                                    manual ? sharedText(suggestion) : Q(suggestion), QString()},
                                   c.elerId, manual ? kManualOnly : kNotMarked));
    });
  } catch (const QorExceptBase& e) {
    qDeleteAll(items);
    ShowErrorBox("TForm1::aGetRecordListExecute", 262, e.GetCode(), e.what());
    prompts_->ShowMessage(
        "Hiba történt az adatok felolvasása közben, az eszköz használata nem biztonságos!");
    return;
  }
  ListView1->addTopLevelItems(items);
  for (int c = 0; c < kColumns; ++c) {
    ListView1->resizeColumnToContents(c);
    contentWidths_[size_t(c)] = ListView1->columnWidth(c);
  }
  FitColumns();
  lItemCount->setText(QString::number(items.size()));
}

void TForm1::aSetRecordListExecute() {
  // ctime gives 24 characters and a line end, which the header drops.
  const std::time_t now = prompts_->Now();
  char stamp[32] = {};
  ctime_r(&now, stamp);
  stamp[24] = '\0';
  writeBackLog_ = std::string("----------------------- ") + stamp + " -----------------------\r\n";

  bool succeeded = false;
  bool begun = false;
  try {
    data_->BeginTransaction("UpdateElerhetosegList");
    begun = true;
    writeBackLog_ += "Tranzakcio indul.\r\n";
    for (int i = 0; i < ListView1->topLevelItemCount(); ++i) {
      QTreeWidgetItem* item = ListView1->topLevelItem(i);
      if (!IsMarked(item)) continue;
      const long id = ItemElerId(item);
      const std::string suggestion = ItemText(item, kColSuggestion);
      std::string old, valueNow;
      long idNow = 0;
      // A record that vanished, before the find or before the rewrite, is an ERR line.
      if (data_->FindContact(id, old) && data_->UpdateContact(suggestion, idNow, valueNow))
        writeBackLog_ += " OK - Rekord frissitve: [" + std::to_string(int32_t(idNow)) + "] " + old +
                         " -> " + valueNow + "\r\n";
      else
        writeBackLog_ += "ERR - Rekord frissitese sikertelen: [" + std::to_string(int32_t(id)) +
                         "] ??? -> " + suggestion + "\r\n";
    }
    data_->EndTransaction(true);
    begun = false;
    writeBackLog_ += "Tranzakcio lezarva.\r\n";
    succeeded = true;
  } catch (const QorExceptBase& e) {
    try {
      if (begun) data_->EndTransaction(false);
      ShowErrorBox("TForm1::aSetRecordListExecute", 450, e.GetCode(), e.what());
    } catch (...) {
      prompts_->TopMostBox("Kritikus programhiba történt!", "Figyelem!");
    }
  }

  if (succeeded) {
    writeBackLog_ += "Konvertalas rendben.\r\n";
    prompts_->ShowMessage("A javítások bekerültek az adatbázisba.");
  } else {
    writeBackLog_ += "A konvertálás sikertelen.\r\n";
    prompts_->ShowMessage("Hiba a javítások átvezetése során.");
  }
  if (!WriteLogFile(writeBackLog_)) prompts_->ShowMessage("Hiba a logfájl írása során.");
  Execute(aGetRecordList);
}

void TForm1::aGetInfoExecute() {
  QTreeWidgetItem* item = Selected();
  if (!item) return;
  const long id = ItemElerId(item);
  try {
    long owner = 0, tableCode = 0;
    std::string name;
    // Only a customer (owner table code 2) has a customer record to show.
    if (data_->FindContactOwner(id, owner, tableCode) && tableCode == 2 &&
        data_->FindCustomerName(owner, name)) {
      std::string text = "Név: " + name;
      data_->ReadCustomerAddresses(owner, [&](const NumfixData::Address& a) {
        text += "\rCím: " + a.irszam + " " + a.telepules + " " + a.kozterulet + " " + a.hazszam;
      });
      prompts_->ShowMessage(text);
      return;
    }
  } catch (const QorExceptBase& e) {
    ShowErrorBox("TForm1::aGetInfoExecute", 736, e.GetCode(), e.what());
  }
  prompts_->ShowMessage("Az ügyfél nem található.");
}

// ---------------------------------------------------------------- leaving

void TForm1::aExitExecute() {
  data_->Logout();
  exitRequested_ = true;
  close();  // the last window closing ends the message loop
}

void TForm1::FormClose() { data_->Logout(); }

void TForm1::closeEvent(QCloseEvent* event) {
  FormClose();
  QMainWindow::closeEvent(event);
}

void TForm1::FormShow() { Execute(aExitEditMode); }

void TForm1::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  if (!shown_) {
    shown_ = true;
    FormShow();
  }
}
