// The Qt backend of platform/win's message boxes, dialogs and file-save
// question: real modal windows, on top when their flags say so. A program
// calls InstallQtUi() once its QApplication exists.
#pragma once

#include <QAbstractNativeEventFilter>
#include <QLibraryInfo>
#include <QStringList>
#include <map>

#include "WinUi.h"

class QWidget;
class QtDialog;

// A modal window that a window manager let the operator minimise, as some
// offer for every window, comes back when the operator clicks or activates
// a window of the program that it blocks (on X11).
class QtModalRestorer : public QAbstractNativeEventFilter {
 public:
  bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;
};

// Needs the QApplication: a program makes it with InstallQtUi().
class QtUi : public win::UiBackend {
 public:
  QtUi();
  ~QtUi() override;
  QtUi(const QtUi&) = delete;
  QtUi& operator=(const QtUi&) = delete;

  int ShowMessageBox(win::HWND owner, const std::string& text, const std::string& caption,
                     win::UINT flags) override;
  void RunDialog(win::DialogWindow& dialog) override;
  bool ChooseSaveFile(const win::SaveFileRequest& request, std::string& fileName) override;

  // "Log (*.log)|*.log|Text (*.txt)|*.txt" as Qt's name filters.
  static QStringList NameFilters(const std::string& filter);
  // The caption of an answer's button, as the Hungarian desktop labels it.
  static QString ButtonText(int answer);

 private:
  // The window that a box or dialog of this owner belongs to: a dialog of
  // ours, or none (a top-level window).
  QWidget* ParentFor(win::HWND owner) const;

  std::map<win::HWND, QtDialog*> running_;
  QtModalRestorer restorer_;
};

// Installs the one Qt backend of the program; returns the backend before.
win::UiBackend* InstallQtUi();

// Qt's own texts (standard buttons, the file dialog) in Hungarian, from
// "qtbase_hu.qm" in folder, and Hungarian the default locale, by which Qt
// writes sizes and times and names file types; a program calls it at start,
// once its QApplication exists and before any other thread. False when the
// file is missing or unreadable: Qt's texts then stay English.
bool InstallQtTranslations(
    const QString& folder = QLibraryInfo::path(QLibraryInfo::TranslationsPath));
