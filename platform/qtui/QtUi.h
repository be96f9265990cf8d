// The Qt backend of platform/win's message boxes, dialogs and file-save
// question: real modal windows, on top when their flags say so. A program
// calls InstallQtUi() once its QApplication exists.
#pragma once

#include <QLibraryInfo>
#include <QStringList>
#include <map>

#include "WinUi.h"

class QWidget;
class QtDialog;

class QtUi : public win::UiBackend {
 public:
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
};

// Installs the one Qt backend of the program; returns the backend before.
win::UiBackend* InstallQtUi();

// Qt's own texts (standard buttons, the file dialog) in Hungarian, from
// "qtbase_hu.qm" in folder; a program calls it at start, once its
// QApplication exists. False when the file is missing or unreadable: Qt's
// texts then stay English.
bool InstallQtTranslations(
    const QString& folder = QLibraryInfo::path(QLibraryInfo::TranslationsPath));
