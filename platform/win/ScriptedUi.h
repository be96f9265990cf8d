// A user-interface backend for tests: it answers every message box from a
// queue (or with the box's default button), records every box and dialog,
// and runs each dialog through a script that acts as the operator would,
// step by step, so a test can check the dialog between steps.
//
//   win::ScriptedUi ui;
//   win::ScopedUiBackend installed(ui);
//   ui.QueueDialog([](win::DialogDriver& d) {
//     d.Type(985, "admin");
//     EXPECT_EQ(d.Text(985), "ADMIN");
//     d.Press(win::IDOK);
//   });
#pragma once

#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "WinDialog.h"
#include "WinUi.h"

namespace win {

// Acts on a running dialog by control id. An id that no control has makes
// every action fail (false) and every query answer empty.
class DialogDriver {
 public:
  explicit DialogDriver(DialogWindow& dialog) : dialog_(dialog) {}

  DialogWindow& Dialog() const { return dialog_; }
  bool Has(int id) const;
  std::string Text(int id) const;
  bool IsEnabled(int id) const;
  std::vector<std::string> ListItems(int id) const;
  int Selection(int id) const;  // -1: none

  // Types chars at the end of an edit's text, one keystroke each (each an
  // EN_CHANGE when accepted); returns how many were accepted.
  size_t Type(int id, std::string_view chars);
  // Deletes count characters from the end (backspace), one keystroke each;
  // returns how many were deleted.
  size_t Backspace(int id, size_t count = std::string::npos);
  // Replaces the whole text in one edit (selection and paste): one EN_CHANGE.
  bool Replace(int id, std::string_view text);
  // Picks an entry of a drop-down list by its text (exactly) or index.
  bool Choose(int id, std::string_view entry);
  bool ChooseIndex(int id, int index);
  // Clicks a button; false when it is missing or disabled.
  bool Press(int id);
  bool Enter();
  bool Escape();
  void Close();

  bool Ended() const { return dialog_.Ended(); }
  INT_PTR Result() const { return dialog_.Result(); }

 private:
  DialogControl* Find(int id) const { return dialog_.ControlById(id); }
  DialogWindow& dialog_;
};

struct MessageBoxRecord {
  HWND owner = nullptr;
  std::string text;
  std::string caption;
  UINT flags = 0;
  int answer = 0;
};

struct DialogControlRecord {
  int id = 0;
  ControlKind kind = ControlKind::Unknown;
  std::string text;
  bool enabled = true;
  std::vector<std::string> listItems;
  int selection = -1;
};

struct DialogRecord {
  std::string title;
  DWORD style = 0;
  DWORD exStyle = 0;
  HWND owner = nullptr;
  std::vector<DialogControlRecord> atStart;  // after WM_INITDIALOG
  std::vector<DialogControlRecord> atEnd;
  INT_PTR result = 0;
  bool scripted = false;  // false: no script was queued, so it was cancelled
};

struct SaveFileRecord {
  SaveFileRequest request;
  std::optional<std::string> answer;
};

class ScriptedUi : public UiBackend {
 public:
  using DialogScript = std::function<void(DialogDriver&)>;

  // The next box answers this; without a queued answer a box answers with
  // its default button.
  void QueueMessageBoxAnswer(int answer);
  // The next dialog runs this script. Without one a dialog is cancelled
  // with Esc; a script that leaves its dialog open is followed by Esc, and
  // then, if the dialog is still open, it is ended with 0.
  void QueueDialog(DialogScript script);
  // The next file-save question answers this name, or cancels (nullopt).
  // Without a queued answer it cancels.
  void QueueSaveFile(std::optional<std::string> fileName);

  const std::vector<MessageBoxRecord>& MessageBoxes() const { return boxes_; }
  const std::vector<DialogRecord>& Dialogs() const { return dialogs_; }
  const std::vector<SaveFileRecord>& SaveFiles() const { return saveFiles_; }
  // Forgets the records and the queues.
  void Clear();

  int ShowMessageBox(HWND owner, const std::string& text, const std::string& caption,
                     UINT flags) override;
  void RunDialog(DialogWindow& dialog) override;
  bool ChooseSaveFile(const SaveFileRequest& request, std::string& fileName) override;

  static std::vector<DialogControlRecord> Snapshot(const DialogWindow& dialog);

 private:
  std::deque<int> boxAnswers_;
  std::deque<DialogScript> dialogScripts_;
  std::deque<std::optional<std::string>> saveAnswers_;
  std::vector<MessageBoxRecord> boxes_;
  std::vector<DialogRecord> dialogs_;
  std::vector<SaveFileRecord> saveFiles_;
};

}  // namespace win
