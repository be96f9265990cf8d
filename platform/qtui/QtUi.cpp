#include "QtUi.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFileIconProvider>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QFontDatabase>
#include <QHeaderView>
#include <QIdentityProxyModel>
#include <QKeyEvent>
#include <QLayout>
#include <QLineEdit>
#include <QListView>
#include <QLocale>
#include <QMessageBox>
#include <QMimeDatabase>
#include <QPushButton>
#include <QSplitter>
#include <QStyle>
#include <QStyleOptionTitleBar>
#include <QTimer>
#include <QTranslator>
#include <QTreeView>

#include "Cp1250Codec.h"
#include "QtDialog.h"
#include "WinDialog.h"

#if QOR_QTUI_XCB
#include <xcb/xcb.h>

#include <QGuiApplication>
#include <cstdlib>
#endif

namespace {

QMessageBox::Icon IconOf(win::UINT flags) {
  switch (win::MessageBoxIconOf(flags)) {
    case win::MessageBoxIcon::Error:
      return QMessageBox::Critical;
    case win::MessageBoxIcon::Question:
      return QMessageBox::Question;
    case win::MessageBoxIcon::Warning:
      return QMessageBox::Warning;
    case win::MessageBoxIcon::Information:
      return QMessageBox::Information;
    default:
      return QMessageBox::NoIcon;
  }
}

QMessageBox::ButtonRole RoleOf(int answer) {
  switch (answer) {
    case win::IDOK:
      return QMessageBox::AcceptRole;
    case win::IDYES:
      return QMessageBox::YesRole;
    case win::IDNO:
      return QMessageBox::NoRole;
    case win::IDCANCEL:
    case win::IDABORT:
      return QMessageBox::RejectRole;
    default:
      return QMessageBox::ActionRole;
  }
}

// A box without a Cancel button cannot be closed on Windows, with Esc or from
// its title bar; Qt would take "No" for either.
class EscapeBlocker : public QObject {
 public:
  using QObject::QObject;
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Close) {
      event->ignore();
      return true;
    }
    if (event->type() == QEvent::KeyPress &&
        static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape)
      return true;
    return QObject::eventFilter(watched, event);
  }
};

// A window that cannot be closed, as its window manager is told on X11. Qt
// asks there for every function, the close among them, once a window names
// none of its title bar's buttons, so that a window manager that honours
// the hints drew a close button that did nothing. These hints ask for
// moving alone, and for a border and a title without the window menu.
void AskForNoClose(QWidget& window) {
#if QOR_QTUI_XCB
  // The offscreen platform answers for X11 too, without a connection.
  auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
  xcb_connection_t* connection = x11 ? x11->connection() : nullptr;
  if (connection == nullptr || QGuiApplication::platformName() != QLatin1String("xcb")) return;
  static constexpr char kName[] = "_MOTIF_WM_HINTS";
  xcb_intern_atom_reply_t* atom = xcb_intern_atom_reply(
      connection, xcb_intern_atom(connection, 0, sizeof kName - 1, kName), nullptr);
  if (atom == nullptr) return;
  enum : uint32_t { kFunctions = 1, kDecorations = 2 };  // which of the two the hints give
  enum : uint32_t { kMove = 4 };                         // functions
  enum : uint32_t { kBorder = 2, kTitle = 8 };           // decorations
  const uint32_t hints[5] = {kFunctions | kDecorations, kMove, kBorder | kTitle, 0, 0};
  // Its native window now, so that Qt has written its own hints before these.
  const auto id = xcb_window_t(window.winId());
  xcb_change_property(connection, XCB_PROP_MODE_REPLACE, id, atom->atom, atom->atom, 32, 5, hints);
  xcb_flush(connection);
  std::free(atom);
#else
  (void)window;
#endif
}

// The width a title bar needs to show a window's caption whole: the caption
// in the desktop's title font, bold as title bars mostly draw it, with a
// line's height of room, beside the icon and the minimise, maximise and
// close buttons of the style's title bar. Some window managers draw all of
// these whatever the window asks for.
int CaptionWidth(const QWidget& window) {
  QFont font = QFontDatabase::systemFont(QFontDatabase::TitleFont);
  font.setBold(true);
  const QFontMetrics metrics(font);
  QStyleOptionTitleBar bar;
  bar.initFrom(&window);
  bar.text = window.windowTitle();
  bar.titleBarFlags = Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinMaxButtonsHint |
                      Qt::WindowCloseButtonHint;
  QStyle* style = window.style();
  bar.rect =
      QRect(0, 0, QWIDGETSIZE_MAX, style->pixelMetric(QStyle::PM_TitleBarHeight, &bar, &window));
  const QRect label =
      style->subControlRect(QStyle::CC_TitleBar, &bar, QStyle::SC_TitleBarLabel, &window);
  return metrics.horizontalAdvance(bar.text) + metrics.height() + bar.rect.width() - label.width();
}

// Qt sizes a box by its text and buttons, and the room for its caption by a
// guess that window managers' title bars exceed: the row of buttons, which
// spans the box, is made as wide as the caption needs.
void FitCaption(QMessageBox& box) {
  auto* buttons = box.findChild<QDialogButtonBox*>();
  if (buttons == nullptr || box.layout() == nullptr) return;
  const QMargins margins = box.layout()->contentsMargins();
  buttons->setMinimumWidth(CaptionWidth(box) - margins.left() - margins.right());
}

// Qt lays its file dialog out for English texts, and for the widths that an
// operator left it at: as it shows, the places and the column titles get the
// room their texts need, the dialog widening by what they grew. Its own
// questions (whether to replace a file) are as wide as their caption needs,
// as our boxes are.
class FileDialogFitter : public QObject {
 public:
  using QObject::QObject;
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Show) Fit(*static_cast<QWidget*>(watched));
    // A box is polished as it is about to show, with its buttons in place.
    if (event->type() == QEvent::ChildPolished) {
      if (auto* box = qobject_cast<QMessageBox*>(static_cast<QChildEvent*>(event)->child()))
        FitCaption(*box);
    }
    return QObject::eventFilter(watched, event);
  }

 private:
  static void Fit(QWidget& chooser) {
    auto* splitter = chooser.findChild<QSplitter*>(QStringLiteral("splitter"));
    auto* places = chooser.findChild<QListView*>(QStringLiteral("sidebar"));
    auto* files = chooser.findChild<QTreeView*>(QStringLiteral("treeView"));
    if (splitter == nullptr || places == nullptr || files == nullptr || splitter->count() != 2)
      return;
    const QList<int> sizes = splitter->sizes();
    const int placesWidth = qMax(sizes[0], places->sizeHintForColumn(0) + 2 * places->frameWidth());
    QHeaderView* header = files->header();
    const int columnsWidth = header->length();
    for (int i = 0; i < header->count(); ++i)
      header->resizeSection(i, qMax(header->sectionSize(i), header->sectionSizeHint(i)));
    const int wider = placesWidth - sizes[0] + header->length() - columnsWidth;
    if (wider == 0) return;
    chooser.resize(chooser.width() + wider, chooser.height());
    splitter->setSizes({placesWidth, sizes[1] + header->length() - columnsWidth});
  }
};

// Qt's file dialog types the files it lists by their content, and so opens
// and closes each one. On Linux a close drops every POSIX lock that the
// process holds on the file, which is where SQLite keeps its locks: the
// client library keeps its own out of that reach, and the windows open no
// file of a server either. These icons and types come from the names alone.
class NameOnlyIconProvider : public QFileIconProvider {
 public:
  QIcon icon(const QFileInfo& info) const override {
    if (info.isRoot()) return QFileIconProvider::icon(Drive);
    if (info.isDir()) return QFileIconProvider::icon(Folder);
    const QMimeType mime = ByName(info);
    return QIcon::fromTheme(
        mime.iconName(), QIcon::fromTheme(mime.genericIconName(), QFileIconProvider::icon(File)));
  }
  // In the locale's language: a drive in the word of Qt's file dialog, whose
  // translations alone hold it, folders and files by the MIME database.
  QString type(const QFileInfo& info) const override {
    if (info.isRoot()) return QCoreApplication::translate("QFileDialog", "Drive");
    const QMimeType mime =
        info.isDir() ? mimes_.mimeTypeForName(QStringLiteral("inode/directory")) : ByName(info);
    return mime.comment().isEmpty() ? mime.name() : mime.comment();
  }

 private:
  QMimeType ByName(const QFileInfo& info) const {
    return mimes_.mimeTypeForFile(info.fileName(), QMimeDatabase::MatchExtension);
  }
  QMimeDatabase mimes_;
};

// Qt's file model writes sizes and times in the system's locale, which need
// not be Hungarian: these columns follow the application's, as every other
// text of the dialog does ("2 bájt", "40,90 KiB").
class LocalisedFileColumns : public QIdentityProxyModel {
 public:
  using QIdentityProxyModel::QIdentityProxyModel;
  QVariant data(const QModelIndex& index, int role) const override {
    QVariant value = QIdentityProxyModel::data(index, role);
    auto* files = qobject_cast<QFileSystemModel*>(sourceModel());
    if (role != Qt::DisplayRole || files == nullptr || value.toString().isEmpty()) return value;
    const QModelIndex source = mapToSource(index);
    switch (index.column()) {
      case kSize:
        return QLocale().formattedDataSize(files->size(source));
      case kModified:
        return QLocale().toString(files->lastModified(source), QLocale::ShortFormat);
      default:
        return value;
    }
  }

 private:
  enum { kSize = 1, kModified = 3 };  // the columns of QFileSystemModel
};

// The save dialog. On Windows a typed name with * or ? lists the files of
// the folder that match it, in place of the file type's, and saves nothing.
class SaveDialog : public QFileDialog {
 public:
  using QFileDialog::QFileDialog;
  void accept() override {
    auto* edit = findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
    auto* files = findChild<QFileSystemModel*>();
    const QString typed = edit ? edit->text() : QString();
    const bool wildcards = typed.contains(QLatin1Char('*')) || typed.contains(QLatin1Char('?'));
    if (files == nullptr || !wildcards) {
      QFileDialog::accept();
      return;
    }
    // A folder before the patterns is gone to first.
    const qsizetype slash = typed.lastIndexOf(QLatin1Char('/'));
    if (slash >= 0) {
      const QString folder = directory().absoluteFilePath(typed.left(slash + 1));
      if (QFileInfo(folder).isDir()) setDirectory(folder);
    }
    const QString patterns = typed.mid(slash + 1);
    files->setNameFilters(patterns.split(QLatin1Char(';'), Qt::SkipEmptyParts));
    edit->setText(patterns);
  }
};

}  // namespace

bool QtModalRestorer::nativeEventFilter(const QByteArray& eventType, void* message, qintptr*) {
#if QOR_QTUI_XCB
  if (eventType != "xcb_generic_event_t") return false;
  // A blocked window does not take the focus nor the click: Qt passes the
  // focus on to the modal window, which a minimised one cannot take.
  const uint8_t kind = static_cast<const xcb_generic_event_t*>(message)->response_type & 0x7f;
  if (kind != XCB_FOCUS_IN && kind != XCB_BUTTON_PRESS) return false;
  QWidget* modal = QApplication::activeModalWidget();
  if (modal == nullptr || !(modal->windowState() & Qt::WindowMinimized)) return false;
  // Once the event is handled; the window may be gone by then.
  QTimer::singleShot(0, modal, [modal] {
    modal->setWindowState(modal->windowState() & ~Qt::WindowMinimized);
    modal->show();
    modal->raise();
    modal->activateWindow();
  });
#else
  (void)eventType;
  (void)message;
#endif
  return false;
}

QtUi::QtUi() { QCoreApplication::instance()->installNativeEventFilter(&restorer_); }

QtUi::~QtUi() {
  // A backend kept to the program's end outlives its application.
  if (QCoreApplication* app = QCoreApplication::instance())
    app->removeNativeEventFilter(&restorer_);
}

QString QtUi::ButtonText(int answer) {
  switch (answer) {
    case win::IDOK:
      return QStringLiteral("OK");
    case win::IDCANCEL:
      return QString::fromUtf16(u"Mégse");
    case win::IDABORT:
      return QString::fromUtf16(u"Megszakítás");
    case win::IDRETRY:
      return QString::fromUtf16(u"Újra");
    case win::IDIGNORE:
      return QString::fromUtf16(u"Kihagyás");
    case win::IDYES:
      return QString::fromUtf16(u"Igen");
    case win::IDNO:
      return QString::fromUtf16(u"Nem");
    default:
      return QString();
  }
}

QWidget* QtUi::ParentFor(win::HWND owner) const {
  auto it = running_.find(owner);
  if (it == running_.end()) return nullptr;
  return it->second;
}

int QtUi::ShowMessageBox(win::HWND owner, const std::string& text, const std::string& caption,
                         win::UINT flags) {
  // A box on top stands alone; any other belongs to the window in front.
  QWidget* parent = ParentFor(owner);
  if (parent == nullptr && owner == nullptr && !win::MessageBoxOnTop(flags))
    parent = QApplication::activeWindow();
  QMessageBox box(IconOf(flags), Cp1250Codec::ToQString(caption), Cp1250Codec::ToQString(text),
                  QMessageBox::NoButton, parent);
  box.setTextFormat(Qt::PlainText);
  std::map<QAbstractButton*, int> answers;
  const int defaultAnswer = win::MessageBoxDefaultAnswer(flags);
  const int escapeAnswer = win::MessageBoxEscapeAnswer(flags);
  QPushButton* escapeButton = nullptr;
  for (int answer : win::MessageBoxButtons(flags)) {
    QPushButton* button = box.addButton(ButtonText(answer), RoleOf(answer));
    answers[button] = answer;
    if (answer == defaultAnswer) box.setDefaultButton(button);
    if (answer == escapeAnswer) escapeButton = button;
  }
  box.setWindowModality(Qt::ApplicationModal);
  // The flags after the modality: setting it resets them.
  box.setWindowFlag(Qt::WindowStaysOnTopHint, win::MessageBoxOnTop(flags));
  EscapeBlocker blocker;
  if (escapeButton) {
    box.setEscapeButton(escapeButton);
  } else {
    // A title bar without buttons or window menu.
    box.setWindowFlags((box.windowFlags() & Qt::WindowStaysOnTopHint) | Qt::Dialog |
                       Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    box.installEventFilter(&blocker);
  }
  FitCaption(box);
  if (!escapeButton) AskForNoClose(box);
  box.exec();
  auto it = answers.find(box.clickedButton());
  if (it != answers.end()) return it->second;
  return escapeAnswer ? escapeAnswer : defaultAnswer;
}

void QtUi::RunDialog(win::DialogWindow& dialog) {
  QtDialog window(dialog, ParentFor(dialog.Owner()));
  running_[&dialog] = &window;
  struct Forget {
    std::map<win::HWND, QtDialog*>& running;
    win::HWND key;
    ~Forget() { running.erase(key); }
  } forget{running_, &dialog};
  // Only the dialog procedure ends the dialog; a loop that returns early
  // (the application quitting) leaves it unfinished, which fails it.
  if (!dialog.Ended()) window.exec();
  if (window.Failure()) std::rethrow_exception(window.Failure());
}

QStringList QtUi::NameFilters(const std::string& filter) {
  QStringList parts = Cp1250Codec::ToQString(filter).split(QLatin1Char('|'));
  QStringList filters;
  for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
    QString description = parts[i];
    QString patterns = parts[i + 1];
    patterns.replace(QLatin1Char(';'), QLatin1Char(' '));
    // Qt reads the patterns from the parentheses; add them when missing.
    if (!description.contains(QLatin1Char('(')))
      description += QStringLiteral(" (%1)").arg(patterns);
    filters << description;
  }
  return filters;
}

bool QtUi::ChooseSaveFile(const win::SaveFileRequest& request, std::string& fileName) {
  // Outlives the dialog, whose model asks it until the model is gone.
  NameOnlyIconProvider icons;
  SaveDialog chooser(QApplication::activeWindow(), Cp1250Codec::ToQString(request.title));
  // Qt's own dialog, whose typing of files is ours; the desktop's would read them.
  chooser.setOption(QFileDialog::DontUseNativeDialog);
  // It is there to save a log: its list deletes and renames nothing. On
  // Windows a server's files in use can be neither; here the list would
  // delete or rename a live server's file, log or index.
  chooser.setOption(QFileDialog::ReadOnly);
  chooser.setIconProvider(&icons);
  chooser.setProxyModel(new LocalisedFileColumns(&chooser));  // the dialog's from now on
  chooser.setAcceptMode(QFileDialog::AcceptSave);
  chooser.setFileMode(QFileDialog::AnyFile);
  const QStringList filters = NameFilters(request.filter);
  if (!filters.isEmpty()) chooser.setNameFilters(filters);
  chooser.setDefaultSuffix(Cp1250Codec::ToQString(request.defaultExt));
  if (!request.initialName.empty()) chooser.selectFile(Cp1250Codec::ToQString(request.initialName));
  FileDialogFitter fitter;
  chooser.installEventFilter(&fitter);
  if (chooser.exec() != QDialog::Accepted || chooser.selectedFiles().isEmpty()) return false;
  fileName = Cp1250Codec::FromQString(chooser.selectedFiles().front());
  return true;
}

bool InstallQtTranslations(const QString& folder) {
  // Also what Qt formats and names by the locale: sizes, times, file types.
  QLocale::setDefault(QLocale(QLocale::Hungarian, QLocale::Hungary));
  auto* translator = new QTranslator(QCoreApplication::instance());
  if (translator->load(QStringLiteral("qtbase_hu"), folder) &&
      QCoreApplication::installTranslator(translator))
    return true;
  delete translator;
  return false;
}

win::UiBackend* InstallQtUi() {
  static QtUi backend;
  return win::InstallUiBackend(&backend);
}
