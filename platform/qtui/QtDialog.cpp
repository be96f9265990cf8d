#include "QtDialog.h"

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QFontMetrics>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "Cp1250Codec.h"

QtEditValidator::QtEditValidator(const win::DialogControl& control, QObject* parent)
    : QValidator(parent), control_(control) {}

QValidator::State QtEditValidator::validate(QString& input, int& /*pos*/) const {
  if (!Cp1250Codec::Representable(input)) return Invalid;
  std::string text = Cp1250Codec::FromQString(input);
  if (!control_.FilterTyping(text)) return Invalid;
  // Upper-casing keeps the length, so the cursor stays where it was.
  input = Cp1250Codec::ToQString(text);
  return Acceptable;
}

QtDialog::QtDialog(win::DialogWindow& model, QWidget* parent) : QDialog(parent), model_(model) {
  const win::DialogDesc& desc = model.Desc();
  Qt::WindowFlags flags = Qt::Dialog | Qt::WindowTitleHint | Qt::CustomizeWindowHint;
  if (desc.style & win::WS_SYSMENU) flags |= Qt::WindowCloseButtonHint;
  if (model.TopMost()) flags |= Qt::WindowStaysOnTopHint;
  setWindowFlags(flags);
  setModal(true);
  setWindowTitle(Cp1250Codec::ToQString(model.Title()));
  // The template names a font of the Windows desktop; the application's
  // own font stands in for it, and the layout scales with it as dialog
  // units do.
  QFontMetrics metrics(font());
  const QString alphabet = QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
  baseX_ = (metrics.horizontalAdvance(alphabet) / 26 + 1) / 2;
  baseY_ = metrics.height();
  if (baseX_ <= 0) baseX_ = 6;
  if (baseY_ <= 0) baseY_ = 13;
  setFixedSize(PixelsX(desc.cx), PixelsY(desc.cy));
  Build();
  model_.SetObserver(this);
}

QtDialog::~QtDialog() { model_.SetObserver(nullptr); }

int QtDialog::PixelsX(int units) const { return win::DialogUnitsToPixelsX(units, baseX_); }
int QtDialog::PixelsY(int units) const { return win::DialogUnitsToPixelsY(units, baseY_); }

QWidget* QtDialog::WidgetOf(const win::DialogControl& control) const {
  auto it = widgets_.find(&control);
  return it == widgets_.end() ? nullptr : it->second;
}

template <class F>
void QtDialog::Guarded(F&& action) {
  if (failure_) return;
  try {
    action();
  } catch (...) {
    failure_ = std::current_exception();
    if (!model_.Ended()) model_.End(0);
    done(0);
  }
}

void QtDialog::Build() {
  for (size_t i = 0; i < model_.ControlCount(); ++i) {
    win::DialogControl& control = model_.Control(i);
    const win::DialogItemDesc& d = control.Desc();
    QWidget* widget = nullptr;
    switch (control.Kind()) {
      case win::ControlKind::Edit: {
        auto* edit = new QLineEdit(this);
        if (control.IsPassword()) edit->setEchoMode(QLineEdit::Password);
        edit->setValidator(new QtEditValidator(control, edit));
        connect(edit, &QLineEdit::textEdited, this, [this, &control](const QString& text) {
          Guarded([&] {
            if (!model_.UserEdit(control, Cp1250Codec::FromQString(text))) Sync(control);
          });
        });
        widget = edit;
        break;
      }
      case win::ControlKind::ComboBox: {
        auto* combo = new QComboBox(this);
        combo->setEditable(false);
        connect(combo, &QComboBox::activated, this, [this, &control](int index) {
          Guarded([&] {
            if (!model_.UserSelect(control, index)) Sync(control);
          });
        });
        widget = combo;
        break;
      }
      case win::ControlKind::Button: {
        auto* button = new QPushButton(this);
        button->setDefault(control.IsDefaultButton());
        button->setAutoDefault(control.IsPushButton());
        connect(button, &QPushButton::clicked, this,
                [this, &control] { Guarded([&] { model_.UserPress(control); }); });
        widget = button;
        break;
      }
      default: {
        auto* label = new QLabel(this);
        label->setTextFormat(Qt::PlainText);
        widget = label;
        break;
      }
    }
    widget->setObjectName(QStringLiteral("item%1").arg(control.Id()));
    int height = PixelsY(d.cy);
    // A drop-down list's height in the template includes its open list.
    if (control.Kind() == win::ControlKind::ComboBox) height = widget->sizeHint().height();
    widget->setGeometry(PixelsX(d.x), PixelsY(d.y), PixelsX(d.cx), height);
    if (control.Kind() != win::ControlKind::Static)
      widget->setFocusPolicy((d.style & win::WS_TABSTOP) ? Qt::StrongFocus : Qt::ClickFocus);
    widget->setVisible((d.style & win::WS_VISIBLE) != 0);
    widgets_[&control] = widget;
    Sync(control);
  }
}

void QtDialog::Sync(win::DialogControl& control) {
  QWidget* widget = WidgetOf(control);
  if (widget == nullptr) return;
  widget->setEnabled(control.Enabled());
  const QString text = Cp1250Codec::ToQString(control.Text());
  if (auto* edit = qobject_cast<QLineEdit*>(widget)) {
    if (edit->text() != text) edit->setText(text);  // never cut: no maxLength here
  } else if (auto* combo = qobject_cast<QComboBox*>(widget)) {
    QStringList items;
    for (const auto& item : control.ListItems()) items << Cp1250Codec::ToQString(item);
    QStringList shown;
    for (int i = 0; i < combo->count(); ++i) shown << combo->itemText(i);
    if (shown != items) {
      combo->clear();
      combo->addItems(items);
    }
    if (combo->currentIndex() != control.Selection()) combo->setCurrentIndex(control.Selection());
  } else if (auto* button = qobject_cast<QPushButton*>(widget)) {
    if (button->text() != text) button->setText(text);
  } else if (auto* label = qobject_cast<QLabel*>(widget)) {
    if (label->text() != text) label->setText(text);
  }
}

void QtDialog::ControlChanged(win::DialogControl& control) { Sync(control); }

void QtDialog::DialogEnded() { done(static_cast<int>(model_.Result())); }

void QtDialog::reject() {
  Guarded([this] { model_.UserEscape(); });
}

// Qt's own accept paths (none are wired) must not end the dialog behind the
// procedure's back either.
void QtDialog::accept() {
  Guarded([this] { model_.UserEnter(); });
}

void QtDialog::closeEvent(QCloseEvent* event) {
  if (!model_.Ended()) {
    event->ignore();
    Guarded([this] { model_.UserClose(); });
    return;
  }
  QDialog::closeEvent(event);
}

void QtDialog::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (focused_) return;
  focused_ = true;
  // The first enabled control with a tab stop gets the focus, as the
  // dialog manager gives it after WM_INITDIALOG.
  if (const win::DialogControl* control = model_.FirstTabStop()) {
    if (QWidget* widget = WidgetOf(*control)) widget->setFocus(Qt::OtherFocusReason);
  }
}
