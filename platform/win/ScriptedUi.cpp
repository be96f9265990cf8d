#include "ScriptedUi.h"

namespace win {

bool DialogDriver::Has(int id) const { return Find(id) != nullptr; }

std::string DialogDriver::Text(int id) const {
  DialogControl* c = Find(id);
  return c ? c->Text() : std::string();
}

bool DialogDriver::IsEnabled(int id) const {
  DialogControl* c = Find(id);
  return c && c->Enabled();
}

std::vector<std::string> DialogDriver::ListItems(int id) const {
  DialogControl* c = Find(id);
  return c ? c->ListItems() : std::vector<std::string>();
}

int DialogDriver::Selection(int id) const {
  DialogControl* c = Find(id);
  return c ? c->Selection() : -1;
}

size_t DialogDriver::Type(int id, std::string_view chars) {
  DialogControl* c = Find(id);
  if (c == nullptr) return 0;
  size_t accepted = 0;
  for (char ch : chars)
    if (dialog_.UserEdit(*c, c->Text() + ch)) ++accepted;
  return accepted;
}

size_t DialogDriver::Backspace(int id, size_t count) {
  DialogControl* c = Find(id);
  if (c == nullptr) return 0;
  size_t deleted = 0;
  while (deleted < count && !c->Text().empty()) {
    std::string text = c->Text();
    text.pop_back();
    if (!dialog_.UserEdit(*c, text)) break;
    ++deleted;
  }
  return deleted;
}

bool DialogDriver::Replace(int id, std::string_view text) {
  DialogControl* c = Find(id);
  return c && dialog_.UserEdit(*c, std::string(text));
}

bool DialogDriver::Choose(int id, std::string_view entry) {
  DialogControl* c = Find(id);
  if (c == nullptr) return false;
  const auto& items = c->ListItems();
  for (size_t i = 0; i < items.size(); ++i)
    if (items[i] == entry) return dialog_.UserSelect(*c, static_cast<int>(i));
  return false;
}

bool DialogDriver::ChooseIndex(int id, int index) {
  DialogControl* c = Find(id);
  return c && dialog_.UserSelect(*c, index);
}

bool DialogDriver::Press(int id) {
  DialogControl* c = Find(id);
  return c && dialog_.UserPress(*c);
}

bool DialogDriver::Enter() { return dialog_.UserEnter(); }
bool DialogDriver::Escape() { return dialog_.UserEscape(); }
void DialogDriver::Close() { dialog_.UserClose(); }

void ScriptedUi::QueueMessageBoxAnswer(int answer) { boxAnswers_.push_back(answer); }

void ScriptedUi::QueueDialog(DialogScript script) { dialogScripts_.push_back(std::move(script)); }

void ScriptedUi::QueueSaveFile(std::optional<std::string> fileName) {
  saveAnswers_.push_back(std::move(fileName));
}

void ScriptedUi::Clear() {
  boxAnswers_.clear();
  dialogScripts_.clear();
  saveAnswers_.clear();
  boxes_.clear();
  dialogs_.clear();
  saveFiles_.clear();
}

int ScriptedUi::ShowMessageBox(HWND owner, const std::string& text, const std::string& caption, UINT flags) {
  int answer = MessageBoxDefaultAnswer(flags);
  if (!boxAnswers_.empty()) {
    answer = boxAnswers_.front();
    boxAnswers_.pop_front();
  }
  boxes_.push_back({owner, text, caption, flags, answer});
  return answer;
}

std::vector<DialogControlRecord> ScriptedUi::Snapshot(const DialogWindow& dialog) {
  std::vector<DialogControlRecord> controls;
  for (size_t i = 0; i < dialog.ControlCount(); ++i) {
    const DialogControl& c = dialog.Control(i);
    controls.push_back({c.Id(), c.Kind(), c.Text(), c.Enabled(), c.ListItems(), c.Selection()});
  }
  return controls;
}

void ScriptedUi::RunDialog(DialogWindow& dialog) {
  // The record is kept by index: a script may open a nested dialog.
  const size_t index = dialogs_.size();
  dialogs_.push_back({dialog.Title(), dialog.Desc().style, dialog.Desc().exStyle, dialog.Owner(),
                      Snapshot(dialog), {}, 0, false});
  DialogDriver driver(dialog);
  if (!dialogScripts_.empty()) {
    DialogScript script = std::move(dialogScripts_.front());
    dialogScripts_.pop_front();
    dialogs_[index].scripted = true;
    script(driver);
  }
  if (!dialog.Ended()) driver.Escape();
  if (!dialog.Ended()) dialog.End(0);
  dialogs_[index].atEnd = Snapshot(dialog);
  dialogs_[index].result = dialog.Result();
}

bool ScriptedUi::ChooseSaveFile(const SaveFileRequest& request, std::string& fileName) {
  std::optional<std::string> answer;
  if (!saveAnswers_.empty()) {
    answer = std::move(saveAnswers_.front());
    saveAnswers_.pop_front();
  }
  saveFiles_.push_back({request, answer});
  if (!answer) return false;
  fileName = *answer;
  return true;
}

}  // namespace win
