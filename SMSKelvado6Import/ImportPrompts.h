#pragma once
// Every box and question the import window shows, and the clock it reads,
// so that tests can answer and record them.

#include <ctime>
#include <string>

#include "WinUi.h"

class ImportPrompts {
 public:
  virtual ~ImportPrompts() = default;
  // A plain message with the application's title as caption.
  virtual void ShowMessage(const std::string& text) = 0;
  // A box without owner that stays on top of every window.
  virtual void TopMostBox(const std::string& text, const std::string& caption) = 0;
  // A warning with Yes and No, owned by the window, with the system's own
  // caption; true for Yes.
  virtual bool AskYesNo(const std::string& text) = 0;
  // The file-save question; false when the operator cancels.
  virtual bool ChooseSaveFile(const win::SaveFileRequest& request, std::string& fileName) = 0;
  virtual std::time_t Now() = 0;
};
