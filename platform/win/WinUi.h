// Message boxes and the other modal questions of the user interface, behind
// one backend: the programs install the Qt one (platform/qtui), tests the
// scripted one (ScriptedUi.h). Dialogs built from templates are WinDialog.h;
// they run through the same backend.
#pragma once

#include <string>
#include <vector>

#include "WinTypes.h"

namespace win {

// Buttons.
constexpr UINT MB_OK = 0x0;
constexpr UINT MB_OKCANCEL = 0x1;
constexpr UINT MB_ABORTRETRYIGNORE = 0x2;
constexpr UINT MB_YESNOCANCEL = 0x3;
constexpr UINT MB_YESNO = 0x4;
constexpr UINT MB_RETRYCANCEL = 0x5;
constexpr UINT MB_TYPEMASK = 0xf;
// Icons.
constexpr UINT MB_ICONHAND = 0x10;
constexpr UINT MB_ICONERROR = MB_ICONHAND;
constexpr UINT MB_ICONQUESTION = 0x20;
constexpr UINT MB_ICONEXCLAMATION = 0x30;
constexpr UINT MB_ICONASTERISK = 0x40;
constexpr UINT MB_ICONINFORMATION = MB_ICONASTERISK;
constexpr UINT MB_ICONMASK = 0xf0;
// Default button.
constexpr UINT MB_DEFBUTTON2 = 0x100;
constexpr UINT MB_DEFBUTTON3 = 0x200;
constexpr UINT MB_DEFMASK = 0xf00;
// Modality and placement.
constexpr UINT MB_SYSTEMMODAL = 0x1000;
constexpr UINT MB_TOPMOST = 0x40000;

// Answers (also the ids of a dialog's OK and Cancel buttons).
constexpr int IDOK = 1;
constexpr int IDCANCEL = 2;
constexpr int IDABORT = 3;
constexpr int IDRETRY = 4;
constexpr int IDIGNORE = 5;
constexpr int IDYES = 6;
constexpr int IDNO = 7;

enum class MessageBoxIcon { None, Error, Question, Warning, Information };

// What a box with these flags offers, the same for every backend.
std::vector<int> MessageBoxButtons(UINT flags);  // answers, in button order
int MessageBoxDefaultAnswer(UINT flags);         // the button Enter presses
int MessageBoxEscapeAnswer(UINT flags);          // 0: Esc does nothing
MessageBoxIcon MessageBoxIconOf(UINT flags);
bool MessageBoxOnTop(UINT flags);  // MB_TOPMOST or MB_SYSTEMMODAL

// A file-save question: filter in the "Text (*.a)|*.a|Other (*.b)|*.b" form,
// the extension added to a name typed without one.
struct SaveFileRequest {
  std::string title;
  std::string filter;
  std::string defaultExt;
  std::string initialName;
};

class DialogWindow;  // WinDialog.h

class UiBackend {
 public:
  virtual ~UiBackend() = default;
  // Shows a modal box and returns the answer; 0 when it cannot be shown.
  virtual int ShowMessageBox(HWND owner, const std::string& text, const std::string& caption,
                             UINT flags) = 0;
  // Shows dialog, which has had its WM_INITDIALOG, and returns once it ended
  // (DialogWindow::Ended). A backend that returns earlier fails the dialog.
  virtual void RunDialog(DialogWindow& dialog) = 0;
  // True with the chosen file name, false when the operator cancels.
  virtual bool ChooseSaveFile(const SaveFileRequest& request, std::string& fileName) = 0;
};

// Installs backend (not owned; null for none) and returns the one before.
// Without a backend a box is written to stderr and answers 0, and a dialog
// fails (-1).
UiBackend* InstallUiBackend(UiBackend* backend);
UiBackend* CurrentUiBackend();

// Installs a backend for one scope and puts the previous one back.
class ScopedUiBackend {
 public:
  explicit ScopedUiBackend(UiBackend& backend) : previous_(InstallUiBackend(&backend)) {}
  ~ScopedUiBackend() { InstallUiBackend(previous_); }
  ScopedUiBackend(const ScopedUiBackend&) = delete;
  ScopedUiBackend& operator=(const ScopedUiBackend&) = delete;

 private:
  UiBackend* previous_;
};

// The system message box. A null caption reads the system's "Hiba", a null
// text "".
int MessageBoxA(HWND owner, const char* text, const char* caption, UINT flags);
int MessageBox(const std::string& text, const std::string& caption, UINT flags,
               HWND owner = nullptr);

// The class library's plain modal message: OK only, the application's title
// as caption.
void ShowMessage(const std::string& text);
void SetApplicationTitle(const std::string& title);
const std::string& ApplicationTitle();

// The file-save question; false when cancelled or without a backend.
bool ChooseSaveFile(const SaveFileRequest& request, std::string& fileName);

}  // namespace win
