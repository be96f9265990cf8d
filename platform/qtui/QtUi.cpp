#include "QtUi.h"

#include <QApplication>
#include <QFileDialog>
#include <QKeyEvent>
#include <QMessageBox>
#include <QPushButton>

#include "Cp1250Codec.h"
#include "QtDialog.h"
#include "WinDialog.h"

namespace {

QMessageBox::Icon IconOf(win::UINT flags) {
  switch (win::MessageBoxIconOf(flags)) {
    case win::MessageBoxIcon::Error: return QMessageBox::Critical;
    case win::MessageBoxIcon::Question: return QMessageBox::Question;
    case win::MessageBoxIcon::Warning: return QMessageBox::Warning;
    case win::MessageBoxIcon::Information: return QMessageBox::Information;
    default: return QMessageBox::NoIcon;
  }
}

QMessageBox::ButtonRole RoleOf(int answer) {
  switch (answer) {
    case win::IDOK: return QMessageBox::AcceptRole;
    case win::IDYES: return QMessageBox::YesRole;
    case win::IDNO: return QMessageBox::NoRole;
    case win::IDCANCEL:
    case win::IDABORT: return QMessageBox::RejectRole;
    default: return QMessageBox::ActionRole;
  }
}

// A box without a Cancel button cannot be closed with Esc on the original;
// Qt would take "No" for it.
class EscapeBlocker : public QObject {
 public:
  using QObject::QObject;
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape)
      return true;
    return QObject::eventFilter(watched, event);
  }
};

}  // namespace

QString QtUi::ButtonText(int answer) {
  switch (answer) {
    case win::IDOK: return QStringLiteral("OK");
    case win::IDCANCEL: return QString::fromUtf16(u"Mégse");
    case win::IDABORT: return QString::fromUtf16(u"Megszakítás");
    case win::IDRETRY: return QString::fromUtf16(u"Újra");
    case win::IDIGNORE: return QString::fromUtf16(u"Kihagyás");
    case win::IDYES: return QString::fromUtf16(u"Igen");
    case win::IDNO: return QString::fromUtf16(u"Nem");
    default: return QString();
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
  if (parent == nullptr && owner == nullptr && !win::MessageBoxOnTop(flags)) parent = QApplication::activeWindow();
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
  EscapeBlocker blocker;
  if (escapeButton) {
    box.setEscapeButton(escapeButton);
  } else {
    box.setWindowFlag(Qt::WindowCloseButtonHint, false);
    box.installEventFilter(&blocker);
  }
  box.setWindowModality(Qt::ApplicationModal);
  // After the modality: setting it resets the window's flags.
  box.setWindowFlag(Qt::WindowStaysOnTopHint, win::MessageBoxOnTop(flags));
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
    if (!description.contains(QLatin1Char('('))) description += QStringLiteral(" (%1)").arg(patterns);
    filters << description;
  }
  return filters;
}

bool QtUi::ChooseSaveFile(const win::SaveFileRequest& request, std::string& fileName) {
  QFileDialog chooser(QApplication::activeWindow(), Cp1250Codec::ToQString(request.title));
  chooser.setAcceptMode(QFileDialog::AcceptSave);
  chooser.setFileMode(QFileDialog::AnyFile);
  const QStringList filters = NameFilters(request.filter);
  if (!filters.isEmpty()) chooser.setNameFilters(filters);
  chooser.setDefaultSuffix(Cp1250Codec::ToQString(request.defaultExt));
  if (!request.initialName.empty()) chooser.selectFile(Cp1250Codec::ToQString(request.initialName));
  if (chooser.exec() != QDialog::Accepted || chooser.selectedFiles().isEmpty()) return false;
  fileName = Cp1250Codec::FromQString(chooser.selectedFiles().front());
  return true;
}

win::UiBackend* InstallQtUi() {
  static QtUi backend;
  return win::InstallUiBackend(&backend);
}
