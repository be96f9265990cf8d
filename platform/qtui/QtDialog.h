// One running dialog of platform/win shown as a real Qt window: a modal
// QDialog whose widgets mirror the DialogWindow's controls and pass on what
// the operator does, so the dialog procedure decides everything as it would
// on Windows (texts, enabling, ending).
#pragma once

#include <QDialog>
#include <QValidator>
#include <exception>
#include <map>

#include "WinDialog.h"

class QWidget;

// The typing rule of an edit: upper-casing and the limit of the control,
// and only characters that the narrow texts can hold.
class QtEditValidator : public QValidator {
  Q_OBJECT
 public:
  QtEditValidator(const win::DialogControl& control, QObject* parent);
  State validate(QString& input, int& pos) const override;

 private:
  const win::DialogControl& control_;
};

class QtDialog : public QDialog, public win::DialogObserver {
  Q_OBJECT
 public:
  QtDialog(win::DialogWindow& model, QWidget* parent);
  ~QtDialog() override;

  win::DialogWindow& Model() const { return model_; }
  // The widget of a control (object name "item<id>"), or null.
  QWidget* WidgetOf(const win::DialogControl& control) const;

  // Dialog units to pixels with this dialog's font, as Windows maps them.
  int PixelsX(int units) const;
  int PixelsY(int units) const;

  // An exception from the dialog procedure, caught on its way out of a Qt
  // signal (which cannot carry it); the dialog then ends.
  std::exception_ptr Failure() const { return failure_; }

  void ControlChanged(win::DialogControl& control) override;
  void DialogEnded() override;

 public slots:
  // Esc and the close box ask the dialog procedure; only it ends the dialog.
  void reject() override;
  void accept() override;

 protected:
  void closeEvent(QCloseEvent* event) override;
  void showEvent(QShowEvent* event) override;

 private:
  void Build();
  void Sync(win::DialogControl& control);
  // Runs an operator's action on the model, keeping exceptions out of Qt.
  template <class F>
  void Guarded(F&& action);

  win::DialogWindow& model_;
  std::map<const win::DialogControl*, QWidget*> widgets_;
  int baseX_ = 6;
  int baseY_ = 13;
  bool focused_ = false;
  std::exception_ptr failure_;
};
