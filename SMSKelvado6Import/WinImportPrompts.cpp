#include "WinImportPrompts.h"

void WinImportPrompts::ShowMessage(const std::string& text) { win::ShowMessage(text); }

void WinImportPrompts::TopMostBox(const std::string& text, const std::string& caption) {
  win::MessageBox(text, caption, win::MB_OK | win::MB_TOPMOST);
}

bool WinImportPrompts::AskYesNo(const std::string& text) {
  // No caption of its own and no owner handle: the backend gives the box to
  // the window in front, which is the import window.
  return win::MessageBoxA(nullptr, text.c_str(), nullptr,
                          win::MB_YESNO | win::MB_ICONEXCLAMATION) == win::IDYES;
}

bool WinImportPrompts::ChooseSaveFile(const win::SaveFileRequest& request, std::string& fileName) {
  return win::ChooseSaveFile(request, fileName);
}

std::time_t WinImportPrompts::Now() { return std::time(nullptr); }
