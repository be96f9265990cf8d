#pragma once
// The import window's boxes through the user-interface backend that the
// program installed, and the real clock.

#include "ImportPrompts.h"

class WinImportPrompts : public ImportPrompts {
 public:
  void ShowMessage(const std::string& text) override;
  void TopMostBox(const std::string& text, const std::string& caption) override;
  bool AskYesNo(const std::string& text) override;
  bool ChooseSaveFile(const win::SaveFileRequest& request, std::string& fileName) override;
  std::time_t Now() override;
};
