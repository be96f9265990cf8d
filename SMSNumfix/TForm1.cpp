#include "TForm1.h"

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
#include <QStyleOptionFrame>
#include <QToolBar>
#include <QToolButton>
#include <QTreeView>
#include <QVBoxLayout>
#include <algorithm>
#include <ctime>
#include <map>

#include "ActionList.h"
#include "Cp1250Codec.h"
#include "IniReader.h"
#include "NumfixData.h"
#include "NumfixPrompts.h"
#include "QorExceptBase.h"
#include "WinFile.h"

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

// The width an edit needs to show text whole, as the edit measures itself:
// the text, the room that it keeps either side and the style's frame.
int WidthFor(const QLineEdit* edit, const QString& text) {
  QStyleOptionFrame option;
  option.initFrom(edit);
  option.lineWidth = edit->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &option, edit);
  const QMargins around = edit->textMargins() + edit->contentsMargins();
  // QLineEdit's own margin of 2 on each side, and a pixel for the cursor.
  const int width =
      edit->fontMetrics().horizontalAdvance(text) + 2 * 2 + 1 + around.left() + around.right();
  return edit->style()
      ->sizeFromContents(QStyle::CT_LineEdit, &option, QSize(width, edit->fontMetrics().height()),
                         edit)
      .width();
}

// A read-only field shows the beginning of its text: a number's country and
// area code matter more than its end.
void ShowFromStart(QLineEdit* edit, const QString& text) {
  edit->setText(text);
  edit->setCursorPosition(0);
}

}  // namespace

// The list's items as ListView1 shows them. The items are the window's own
// vector, so loading and marking build no per-row objects of the view, and a
// change of many items is one notification.
class TForm1::ListModel : public QAbstractTableModel {
 public:
  explicit ListModel(QObject* parent) : QAbstractTableModel(parent) {}

  void Assign(std::vector<ListItem> items, Kinds kinds) {
    beginResetModel();
    items_ = std::move(items);
    kinds_ = std::move(kinds);
    endResetModel();
  }

  std::vector<ListItem>& Items() { return items_; }
  const std::vector<ListItem>& Items() const { return items_; }

  int RowOf(const ListItem* item) const { return int(item - items_.data()); }

  void ItemChanged(const ListItem* item) {
    const int row = RowOf(item);
    emit dataChanged(index(row, 0), index(row, kColumns - 1));
  }

  // Only the state images: the texts of a kind's items stay.
  void StatesChanged() {
    if (!items_.empty())
      emit dataChanged(index(0, 0), index(int(items_.size()) - 1, 0), {Qt::DecorationRole});
  }

  int rowCount(const QModelIndex& parent) const override {
    return parent.isValid() ? 0 : int(items_.size());
  }
  int columnCount(const QModelIndex& parent) const override {
    return parent.isValid() ? 0 : kColumns;
  }

  QVariant data(const QModelIndex& index, int role) const override {
    if (!index.isValid()) return {};
    const ListItem& item = items_[size_t(index.row())];
    if (role == Qt::DecorationRole)
      return index.column() == kColCaption ? QVariant(StateImage(item.state)) : QVariant();
    if (role != Qt::DisplayRole) return {};
    switch (index.column()) {
      case kColCaption:
        return item.kind->shownCaption;
      case kColDescription:
        return item.kind->shownDescription;
      case kColNumber:
        return Q(item.number);
      case kColSuggestion:
        return Q(item.suggestion);
      default:
        return item.edited ? QString(QLatin1String(kEdited)) : QString();
    }
  }

  QVariant headerData(int section, Qt::Orientation orientation, int role) const override {
    static const char* const titles[kColumns] = {"Hibatípus (hibasablon)", "Hiba leírása",
                                                 "Tárolt telefonszám", "Javaslat", "Szerkesztett"};
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
    return Q(titles[section]);
  }

 private:
  std::vector<ListItem> items_;
  // The kinds that the items point to.
  Kinds kinds_;
};

TForm1::TForm1(QWidget* owner, std::unique_ptr<NumfixData> data,
               std::unique_ptr<NumfixPrompts> prompts)
    : QMainWindow(owner), data_(std::move(data)), prompts_(std::move(prompts)) {
  setWindowTitle("Numfix");
  ActionList1 = new ActionList(this);
  BuildActions();
  BuildControls();
  // At least 600 by 500, and never narrower than the editor shown whole.
  const QMargins margins = centralWidget()->layout()->contentsMargins();
  setMinimumSize(
      std::max(600, GroupBox1->minimumSizeHint().width() + margins.left() + margins.right()), 500);
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

void TForm1::BuildActions() {
  aGetRecordList = ActionList1->AddNew(this, "Adatbázisból beolvas", "Telefonszámok betöltése.",
                                       &TForm1::aGetRecordListExecute);
  aSetRecordList = ActionList1->AddNew(
      this, "Adatbázisba visszaír", "Javításra kijelölt telefonszámok visszaírása az adatbázisba.",
      &TForm1::aSetRecordListExecute);
  aRepairThisOne =
      ActionList1->AddNew(this, "Javításra kijelöl", "Javításra jelöli ki az elemet.",
                          &TForm1::aRepairThisOneExecute, &TForm1::aRepairThisOneUpdate);
  aRepairThisKind = ActionList1->AddNew(
      this, "Ezt a hibatípust javításra kijelöli", "Javításra jelöl ki minden ilyen típusú elemet.",
      &TForm1::aRepairThisKindExecute, &TForm1::aRepairThisKindUpdate);
  aRepairAll = ActionList1->AddNew(this, "Mindent javításra jelöl ki",
                                   "Javításra jelöl ki minden javítható elemet.",
                                   &TForm1::aRepairAllExecute);
  aCancelThisOne =
      ActionList1->AddNew(this, "Kijelölést megszűntet", "Az elem kijelölését törli.",
                          &TForm1::aCancelThisOneExecute, &TForm1::aCancelThisOneUpdate);
  aCancelThisKind = ActionList1->AddNew(
      this, "Hibatípus kijelölését megszűnteti", "Minden ilyen típusú elem kijelölését törli.",
      &TForm1::aCancelThisKindExecute, &TForm1::aCancelThisKindUpdate);
  aCancelAll = ActionList1->AddNew(this, "Minden kijelölést megszűntet",
                                   "Minden elem kijelölését törli.", &TForm1::aCancelAllExecute);
  aEnterEditMode =
      ActionList1->AddNew(this, "Szerkeszt", "Szerkesztésre nyitja meg a kijelölt elemet.",
                          &TForm1::aEnterEditModeExecute, &TForm1::aEnterEditModeUpdate);
  aEditThisOne = ActionList1->AddNew(this, "Módosít", "Az előnézetben található szám rögzítése.",
                                     &TForm1::aEditThisOneExecute, &TForm1::aEditThisOneUpdate);
  aExitEditMode = ActionList1->AddNew(this, "Mégsem", "Szerkesztésből kilép.",
                                      &TForm1::aExitEditModeExecute, &TForm1::aExitEditModeUpdate);
  aGetInfo = ActionList1->AddNew(this, "Info", "Ügyféladatok lekérdezése.",
                                 &TForm1::aGetInfoExecute, &TForm1::aGetInfoUpdate);
  aExit = ActionList1->AddNew(this, "Kilépés", "Kilépés.", &TForm1::aExitExecute);

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

  ListView1 = new QTreeView(central);
  ListView1->setObjectName("ListView1");
  listModel_ = new ListModel(ListView1);
  ListView1->setModel(listModel_);
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
      "QTreeView::item { border-right: 1px solid #d8d8d8; border-bottom: 1px solid #d8d8d8; }"
      "QTreeView::item:selected { background: palette(highlight); color: "
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
  connect(ListView1->selectionModel(), &QItemSelectionModel::selectionChanged, this,
          &TForm1::ListView1SelectItem);
  connect(ListView1, &QTreeView::doubleClicked, this, [this] { Execute(aEnterEditMode); });
  ListView1->installEventFilter(this);
  ListView1->viewport()->installEventFilter(this);
  // The titles' widths until a load measures the contents.
  MeasureColumns();
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
    edit->setMinimumWidth(WidthFor(edit, QString(chars, QChar('0'))));
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
  // The preview is never narrower than the longest value the fields give.
  Edit3->setMinimumWidth(WidthFor(Edit3, QStringLiteral("(+00)00/000-00-00:0000")));

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
  grid->setColumnMinimumWidth(5, 6);
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

// The width each column needs for its widest text, over every row. The first
// item of each kind is measured (its caption, description and, for the kind
// without template, its shared suggestion), and of the numbers and suggestions
// the longest ones, since their characters are digits and signs of much the
// same width. So a long list is measured without laying out its rows.
void TForm1::MeasureColumns() {
  constexpr size_t kLongestMeasured = 32;
  std::vector<const Kind*> kinds;
  std::vector<int> firstOfKind;
  std::array<std::vector<int>, kColumns> longestRows;
  std::array<size_t, kColumns> longest{};
  const std::vector<ListItem>& items = listModel_->Items();
  for (size_t row = 0; row < items.size(); ++row) {
    const ListItem& item = items[row];
    if (std::find(kinds.begin(), kinds.end(), item.kind) == kinds.end()) {
      kinds.push_back(item.kind);
      firstOfKind.push_back(int(row));
    }
    for (int c : {kColNumber, kColSuggestion}) {
      const size_t length = (c == kColNumber ? item.number : item.suggestion).size();
      std::vector<int>& rows = longestRows[size_t(c)];
      if (length > longest[size_t(c)]) {
        longest[size_t(c)] = length;
        rows.clear();
      }
      if (length == longest[size_t(c)] && rows.size() < kLongestMeasured) rows.push_back(int(row));
    }
  }
  // The "Szerkesztett" column is empty after a load: its title decides.
  for (int c = 0; c < kColumns; ++c) {
    int width = ListView1->header()->sectionSizeHint(c);
    auto measure = [&](const std::vector<int>& rows) {
      for (int row : rows)
        width = std::max(width, ListView1->sizeHintForIndex(listModel_->index(row, c)).width());
    };
    if (c != kColEdited) measure(firstOfKind);
    measure(longestRows[size_t(c)]);
    contentWidths_[size_t(c)] = width;
  }
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

int TForm1::ItemCount() const { return int(listModel_->Items().size()); }

TForm1::ListItem* TForm1::Item(int row) {
  std::vector<ListItem>& items = listModel_->Items();
  return row >= 0 && size_t(row) < items.size() ? &items[size_t(row)] : nullptr;
}

const TForm1::ListItem* TForm1::Item(int row) const { return const_cast<TForm1*>(this)->Item(row); }

QModelIndex TForm1::IndexOf(const ListItem* item) const {
  return item ? listModel_->index(listModel_->RowOf(item), 0) : QModelIndex();
}

TForm1::ListItem* TForm1::Selected() const {
  const QModelIndexList rows = ListView1->selectionModel()->selectedRows();
  return rows.isEmpty() ? nullptr : const_cast<TForm1*>(this)->Item(rows.first().row());
}

bool TForm1::IsMarked(const ListItem* item) {
  return item->state == kMarked || item->state == kEditedMarked;
}

std::string TForm1::ItemText(const ListItem* item, int column) {
  switch (column) {
    case kColCaption:
      return item->kind->caption;
    case kColDescription:
      return item->kind->description;
    case kColNumber:
      return item->number;
    case kColSuggestion:
      return item->suggestion;
    default:
      return item->edited ? kEdited : "";
  }
}

bool TForm1::Mark(ListItem& item) {
  if (item.state != kNotMarked) return false;
  item.state = item.edited ? kEditedMarked : kMarked;
  return true;
}

bool TForm1::Unmark(ListItem& item) {
  if (!IsMarked(&item)) return false;
  item.state = kNotMarked;
  return true;
}

void TForm1::MarkForRepair(ListItem* item) {
  if (item && Mark(*item)) listModel_->ItemChanged(item);
}

void TForm1::UnmarkForRepair(ListItem* item) {
  if (item && Unmark(*item)) listModel_->ItemChanged(item);
}

void TForm1::aRepairThisOneUpdate() {
  const ListItem* item = Selected();
  aRepairThisOne->setEnabled(item && item->state == kNotMarked);
}

void TForm1::aCancelThisOneUpdate() {
  const ListItem* item = Selected();
  aCancelThisOne->setEnabled(item && IsMarked(item));
}

// Both kind actions act from an unedited item of the kind, marked or not.
bool TForm1::SelectedStandsForItsKind() const {
  const ListItem* item = Selected();
  return item && ((item->state == kNotMarked && !item->edited) || item->state == kMarked);
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
// One pass over the items, then one notification.
void TForm1::ChangeSelectedKind(bool (*change)(ListItem&)) {
  const ListItem* selected = Selected();
  if (!selected) return;
  for (ListItem& item : listModel_->Items())
    if (item.kind == selected->kind && !item.edited) change(item);
  listModel_->StatesChanged();
}

void TForm1::ChangeAll(bool (*change)(ListItem&)) {
  for (ListItem& item : listModel_->Items()) change(item);
  listModel_->StatesChanged();
}

void TForm1::aRepairThisKindExecute() { ChangeSelectedKind(&TForm1::Mark); }
void TForm1::aCancelThisKindExecute() { ChangeSelectedKind(&TForm1::Unmark); }
void TForm1::aRepairAllExecute() { ChangeAll(&TForm1::Mark); }
void TForm1::aCancelAllExecute() { ChangeAll(&TForm1::Unmark); }

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
  const ListItem* item = Selected();
  if (!item) return;
  ShowFromStart(Edit1, Q(item->number));
  ShowFromStart(Edit2, Q(item->suggestion));
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
  if (const ListItem* item = Selected()) ListView1->scrollTo(IndexOf(item));
  eOrszag->setFocus();
  ToFirstFreePlace(eOrszag);
}

void TForm1::aEditThisOneExecute() {
  if (ListItem* item = Selected()) {
    item->suggestion = S(Edit3->text());
    item->edited = true;
    item->state = kEditedMarked;
    listModel_->ItemChanged(item);
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
  listModel_->Assign({}, {});
  lItemCount->setText("0");
  std::vector<ListItem> items;
  Kinds kinds;
  try {
    std::string caption, description, suggestion;
    data_->ReadContacts([&](const NumfixData::Contact& c) {
      if (c.eletId != 6 || c.tableCode == 0) return;
      std::string number = StripBlanks(c.adat);
      if (!ClassifyNumber(number, caption, description, suggestion)) return;
      auto kind = kinds.find(caption);
      if (kind == kinds.end())
        kind = kinds.emplace(caption, Kind{caption, description, Q(caption), Q(description)}).first;
      const bool manual = suggestion == NumfixText::kManualRepair;
      items.push_back({&kind->second, std::move(number), std::move(suggestion), c.elerId,
                       manual ? kManualOnly : kNotMarked});
    });
  } catch (const QorExceptBase& e) {
    ShowErrorBox("TForm1::aGetRecordListExecute", 262, e.GetCode(), e.what());
    prompts_->ShowMessage(
        "Hiba történt az adatok felolvasása közben, az eszköz használata nem biztonságos!");
    return;
  }
  listModel_->Assign(std::move(items), std::move(kinds));
  MeasureColumns();
  FitColumns();
  lItemCount->setText(QString::number(ItemCount()));
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
  int notWritten = 0;  // marked repairs whose record was gone
  try {
    data_->BeginTransaction("UpdateElerhetosegList");
    begun = true;
    writeBackLog_ += "Tranzakcio indul.\r\n";
    std::string old, valueNow;  // kept across the items, so that their room is reused
    for (const ListItem& item : listModel_->Items()) {
      if (!IsMarked(&item)) continue;
      const long id = item.elerId;
      const std::string& suggestion = item.suggestion;
      long idNow = 0;
      // A record that vanished, before the find or before the rewrite, is an ERR line.
      if (data_->FindContact(id, old) && data_->UpdateContact(suggestion, idNow, valueNow)) {
        writeBackLog_.append(" OK - Rekord frissitve: [")
            .append(std::to_string(int32_t(idNow)))
            .append("] ")
            .append(old)
            .append(" -> ")
            .append(valueNow)
            .append("\r\n");
      } else {
        writeBackLog_.append("ERR - Rekord frissitese sikertelen: [")
            .append(std::to_string(int32_t(id)))
            .append("] ??? -> ")
            .append(suggestion)
            .append("\r\n");
        ++notWritten;
      }
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
    // The transaction stands either way, but the operator is told of every
    // repair that it could not hold.
    writeBackLog_ += "Konvertalas rendben.\r\n";
    prompts_->ShowMessage(notWritten == 0
                              ? std::string("A javítások bekerültek az adatbázisba.")
                              : "A javítások bekerültek az adatbázisba, de " +
                                    std::to_string(notWritten) +
                                    " javítás nem került be, mert a rekord már nem található.");
  } else {
    writeBackLog_ += "A konvertálás sikertelen.\r\n";
    prompts_->ShowMessage("Hiba a javítások átvezetése során.");
  }
  if (!win::WriteFileUnlessDatabase(kLogFile, writeBackLog_, win::FileWrite::Append))
    prompts_->ShowMessage("Hiba a logfájl írása során.");
  Execute(aGetRecordList);
}

void TForm1::aGetInfoExecute() {
  const ListItem* item = Selected();
  if (!item) return;
  const long id = item->elerId;
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
