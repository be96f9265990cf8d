#include "WinUi.h"

#include <cstdio>

namespace win {
namespace {

UiBackend* installed = nullptr;

// The system's own caption for a box that names none, as the Hungarian
// desktop shows it.
const char* const kDefaultCaption = "Hiba";

std::string& TitleStorage() {
  static std::string title;
  return title;
}

}  // namespace

std::vector<int> MessageBoxButtons(UINT flags) {
  switch (flags & MB_TYPEMASK) {
    case MB_OKCANCEL: return {IDOK, IDCANCEL};
    case MB_ABORTRETRYIGNORE: return {IDABORT, IDRETRY, IDIGNORE};
    case MB_YESNOCANCEL: return {IDYES, IDNO, IDCANCEL};
    case MB_YESNO: return {IDYES, IDNO};
    case MB_RETRYCANCEL: return {IDRETRY, IDCANCEL};
    default: return {IDOK};
  }
}

int MessageBoxDefaultAnswer(UINT flags) {
  const auto buttons = MessageBoxButtons(flags);
  size_t index = (flags & MB_DEFMASK) >> 8;
  return index < buttons.size() ? buttons[index] : buttons.front();
}

int MessageBoxEscapeAnswer(UINT flags) {
  const auto buttons = MessageBoxButtons(flags);
  if (buttons.size() == 1) return buttons.front();  // a lone OK closes with Esc
  for (int b : buttons)
    if (b == IDCANCEL) return IDCANCEL;
  return 0;
}

MessageBoxIcon MessageBoxIconOf(UINT flags) {
  switch (flags & MB_ICONMASK) {
    case MB_ICONHAND: return MessageBoxIcon::Error;
    case MB_ICONQUESTION: return MessageBoxIcon::Question;
    case MB_ICONEXCLAMATION: return MessageBoxIcon::Warning;
    case MB_ICONASTERISK: return MessageBoxIcon::Information;
    default: return MessageBoxIcon::None;
  }
}

bool MessageBoxOnTop(UINT flags) { return (flags & (MB_TOPMOST | MB_SYSTEMMODAL)) != 0; }

UiBackend* InstallUiBackend(UiBackend* backend) {
  UiBackend* previous = installed;
  installed = backend;
  return previous;
}

UiBackend* CurrentUiBackend() { return installed; }

int MessageBox(const std::string& text, const std::string& caption, UINT flags, HWND owner) {
  if (installed == nullptr) {
    // Nobody to ask; keep the text where an operator can still read it.
    std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
    return 0;
  }
  return installed->ShowMessageBox(owner, text, caption, flags);
}

int MessageBoxA(HWND owner, const char* text, const char* caption, UINT flags) {
  return MessageBox(text ? text : "", caption ? caption : kDefaultCaption, flags, owner);
}

void ShowMessage(const std::string& text) { MessageBox(text, ApplicationTitle(), MB_OK); }

void SetApplicationTitle(const std::string& title) { TitleStorage() = title; }

const std::string& ApplicationTitle() { return TitleStorage(); }

bool ChooseSaveFile(const SaveFileRequest& request, std::string& fileName) {
  return installed != nullptr && installed->ChooseSaveFile(request, fileName);
}

}  // namespace win
