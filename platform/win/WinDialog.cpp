#include "WinDialog.h"

#include <cmath>
#include <cstring>
#include <mutex>
#include <set>

#include "QorUtils.h"
#include "WinMemory.h"
#include "WinText.h"
#include "WinUi.h"

namespace win {
namespace {

std::mutex windowsMutex;
std::set<const HWND__*> liveWindows;
std::vector<DialogWindow*> runningDialogs;  // innermost last

// The whole text, past an embedded NUL too.
std::string UpperAscii(std::string s) {
  UpperCaseChars(s.begin(), s.end());
  return s;
}

bool LessNoCase(const std::string& a, const std::string& b) { return CompareNoCase(a, b) < 0; }

bool StartsWithNoCase(const std::string& s, const std::string& prefix) {
  return prefix.size() <= s.size() && CompareNoCase(std::string_view(s).substr(0, prefix.size()), prefix) == 0;
}

bool EqualNoCase(const std::string& a, const std::string& b) { return CompareNoCase(a, b) == 0; }

// WM_GETTEXT's copy: at most wParam - 1 characters and a NUL into the buffer
// at lParam; the count copied.
LRESULT CopyText(const std::string& text, WPARAM wParam, LPARAM lParam) {
  auto* buffer = reinterpret_cast<char*>(lParam);
  if (buffer == nullptr || wParam == 0) return 0;
  const size_t n = text.size() < wParam - 1 ? text.size() : wParam - 1;
  std::memcpy(buffer, text.data(), n);
  buffer[n] = '\0';
  return static_cast<LRESULT>(n);
}

ControlKind KindOfAtom(WORD atom) {
  switch (atom) {
    case DLG_CLASS_BUTTON: return ControlKind::Button;
    case DLG_CLASS_EDIT: return ControlKind::Edit;
    case DLG_CLASS_STATIC: return ControlKind::Static;
    case DLG_CLASS_LISTBOX: return ControlKind::ListBox;
    case DLG_CLASS_SCROLLBAR: return ControlKind::ScrollBar;
    case DLG_CLASS_COMBOBOX: return ControlKind::ComboBox;
    default: return ControlKind::Unknown;
  }
}

ControlKind KindOfName(const std::string& name) {
  static const std::pair<const char*, ControlKind> names[] = {
      {"BUTTON", ControlKind::Button},       {"EDIT", ControlKind::Edit},
      {"STATIC", ControlKind::Static},       {"LISTBOX", ControlKind::ListBox},
      {"SCROLLBAR", ControlKind::ScrollBar}, {"COMBOBOX", ControlKind::ComboBox}};
  for (const auto& [n, kind] : names)
    if (EqualNoCase(name, n)) return kind;
  return ControlKind::Unknown;
}

// Reads a binary template within its size; any read past the end fails it.
class TemplateReader {
 public:
  TemplateReader(const void* data, size_t size) : p_(static_cast<const BYTE*>(data)), size_(size) {}

  bool Ok() const { return ok_; }

  WORD Word() {
    if (!Need(2)) return 0;
    WORD v = static_cast<WORD>(p_[pos_] | (p_[pos_ + 1] << 8));
    pos_ += 2;
    return v;
  }
  DWORD Dword() {
    DWORD low = Word();
    return low | (static_cast<DWORD>(Word()) << 16);
  }
  short Short() { return static_cast<short>(Word()); }

  // A UTF-16 text ended by 0, as Windows-1250.
  std::string Text() {
    std::u16string s;
    for (WORD c = Word(); ok_ && c != 0; c = Word()) s.push_back(static_cast<char16_t>(c));
    return Utf16ToCp1250(s);
  }

  // Either 0 (nothing), 0xFFFF and an ordinal, or a text.
  std::string TextOrOrdinal(WORD* ordinal) {
    if (ordinal) *ordinal = 0;
    if (!Need(2)) return {};
    WORD first = static_cast<WORD>(p_[pos_] | (p_[pos_ + 1] << 8));
    if (first == 0) {
      pos_ += 2;
      return {};
    }
    if (first == 0xFFFF) {
      pos_ += 2;
      WORD n = Word();
      if (ordinal) *ordinal = n;
      return {};
    }
    return Text();
  }

  void Skip(size_t n) {
    if (Need(n)) pos_ += n;
  }
  void AlignDword() { Skip((4 - pos_ % 4) % 4); }

 private:
  bool Need(size_t n) {
    if (!ok_ || n > size_ - pos_) ok_ = false;
    return ok_;
  }

  const BYTE* p_;
  size_t size_;
  size_t pos_ = 0;
  bool ok_ = true;
};

struct ActiveDialog {
  explicit ActiveDialog(DialogWindow* d) {
    std::lock_guard lock(windowsMutex);
    runningDialogs.push_back(d);
  }
  ~ActiveDialog() {
    std::lock_guard lock(windowsMutex);
    runningDialogs.pop_back();
  }
};

template <class T>
T* Live(HWND window) {
  {
    std::lock_guard lock(windowsMutex);
    if (window == nullptr || liveWindows.count(window) == 0) return nullptr;
  }
  return dynamic_cast<T*>(window);
}

HINSTANCE__* ProgramModule() {
  static char tag;
  return reinterpret_cast<HINSTANCE__*>(&tag);
}

}  // namespace

std::optional<DialogDesc> ParseDialogTemplate(const void* data, size_t size) {
  if (data == nullptr) return std::nullopt;
  TemplateReader in(data, size);
  DialogDesc desc;
  desc.style = in.Dword();
  if (desc.style == 0xFFFF0001) return std::nullopt;  // the extended layout
  desc.exStyle = in.Dword();
  WORD count = in.Word();
  desc.x = in.Short();
  desc.y = in.Short();
  desc.cx = in.Short();
  desc.cy = in.Short();
  in.TextOrOrdinal(nullptr);  // menu
  in.TextOrOrdinal(nullptr);  // window class
  desc.title = in.Text();
  if (desc.style & DS_SETFONT) {
    desc.pointSize = in.Word();
    desc.typeface = in.Text();
  }
  for (WORD i = 0; i < count && in.Ok(); ++i) {
    in.AlignDword();
    DialogItemDesc item;
    item.style = in.Dword();
    item.exStyle = in.Dword();
    item.x = in.Short();
    item.y = in.Short();
    item.cx = in.Short();
    item.cy = in.Short();
    item.id = in.Word();
    WORD atom = 0;
    item.className = in.TextOrOrdinal(&atom);
    item.kind = atom != 0 ? KindOfAtom(atom) : KindOfName(item.className);
    item.text = in.TextOrOrdinal(nullptr);
    in.Skip(in.Word());  // creation data
    desc.items.push_back(std::move(item));
  }
  if (!in.Ok()) return std::nullopt;
  return desc;
}

int DialogUnitsToPixelsX(int units, int baseX) {
  return static_cast<int>(std::lround(static_cast<double>(units) * baseX / 4.0));
}

int DialogUnitsToPixelsY(int units, int baseY) {
  return static_cast<int>(std::lround(static_cast<double>(units) * baseY / 8.0));
}

HWND__::HWND__() {
  std::lock_guard lock(windowsMutex);
  liveWindows.insert(this);
}

HWND__::~HWND__() {
  std::lock_guard lock(windowsMutex);
  liveWindows.erase(this);
}

DialogControl::DialogControl(DialogWindow& dialog, const DialogItemDesc& desc)
    : dialog_(dialog), desc_(desc), enabled_((desc.style & WS_DISABLED) == 0) {
  if (desc.kind != ControlKind::ComboBox) text_ = desc.text;
  if (IsUpperCase()) text_ = UpperAscii(text_);
}

std::string DialogControl::Text() const {
  if (Kind() == ControlKind::ComboBox && IsDropDownList())
    return selection_ >= 0 ? listItems_[static_cast<size_t>(selection_)] : std::string();
  return text_;
}

bool DialogControl::IsPushButton() const {
  return Kind() == ControlKind::Button && (Style() & BS_TYPEMASK) <= BS_DEFPUSHBUTTON;
}
bool DialogControl::IsDefaultButton() const {
  return Kind() == ControlKind::Button && (Style() & BS_TYPEMASK) == BS_DEFPUSHBUTTON;
}
bool DialogControl::IsPassword() const { return Kind() == ControlKind::Edit && (Style() & ES_PASSWORD); }
bool DialogControl::IsUpperCase() const { return Kind() == ControlKind::Edit && (Style() & ES_UPPERCASE); }
bool DialogControl::IsDropDownList() const {
  return Kind() == ControlKind::ComboBox && (Style() & CBS_DROPDOWNLIST) == CBS_DROPDOWNLIST;
}

bool DialogControl::FilterTyping(std::string& newText) const {
  if (IsUpperCase()) newText = UpperAscii(std::move(newText));
  // Only growth is refused, so a longer text set by the program can still
  // be shortened.
  return limit_ == 0 || newText.size() <= limit_ || newText.size() <= text_.size();
}

DialogWindow::DialogWindow(const DialogDesc& desc, HWND owner, DLGPROC proc, LPARAM initParam)
    : desc_(desc), owner_(owner), proc_(proc), initParam_(initParam), title_(desc.title) {
  controls_.reserve(desc_.items.size());
  for (const auto& item : desc_.items) controls_.push_back(std::make_unique<DialogControl>(*this, item));
}

DialogWindow::~DialogWindow() = default;

DialogControl* DialogWindow::ControlById(int id) const {
  for (const auto& c : controls_)
    if (c->Id() == id) return c.get();
  return nullptr;
}

DialogControl* DialogWindow::DefaultButton() const {
  for (const auto& c : controls_)
    if (c->IsDefaultButton()) return c.get();
  DialogControl* ok = ControlById(IDOK);
  return ok && ok->Kind() == ControlKind::Button ? ok : nullptr;
}

DialogControl* DialogWindow::FirstTabStop() const {
  for (const auto& c : controls_)
    if ((c->Style() & WS_TABSTOP) && c->Enabled()) return c.get();
  return nullptr;
}

void DialogWindow::Initialize() {
  SendToProc(WM_INITDIALOG, reinterpret_cast<WPARAM>(static_cast<HWND>(FirstTabStop())), initParam_);
}

LRESULT DialogWindow::SendToProc(UINT message, WPARAM wParam, LPARAM lParam) {
  return proc_ ? proc_(this, message, wParam, lParam) : 0;
}

void DialogWindow::Notify(DialogControl& control, WORD code) {
  SendToProc(WM_COMMAND, MAKEWPARAM(static_cast<WORD>(control.Id()), code),
             reinterpret_cast<LPARAM>(static_cast<HWND>(&control)));
}

void DialogWindow::Changed(DialogControl& control) {
  if (observer_) observer_->ControlChanged(control);
}

void DialogWindow::End(INT_PTR result) {
  result_ = result;
  if (ended_) return;
  ended_ = true;
  if (observer_) observer_->DialogEnded();
}

void DialogWindow::SetTitle(std::string title) { title_ = std::move(title); }

void DialogWindow::SetEnabled(DialogControl& control, bool enabled) {
  if (control.enabled_ == enabled) return;
  control.enabled_ = enabled;
  Changed(control);
}

bool DialogWindow::UserEdit(DialogControl& edit, std::string newText) {
  if (ended_ || edit.Kind() != ControlKind::Edit || !edit.Enabled()) return false;
  if (!edit.FilterTyping(newText)) return false;
  if (newText == edit.text_) return true;
  edit.text_ = std::move(newText);
  Changed(edit);
  Notify(edit, EN_CHANGE);
  return true;
}

bool DialogWindow::UserSelect(DialogControl& list, int index) {
  if (ended_ || list.Kind() != ControlKind::ComboBox || !list.Enabled()) return false;
  if (index < 0 || static_cast<size_t>(index) >= list.listItems_.size()) return false;
  list.selection_ = index;
  Changed(list);
  Notify(list, CBN_SELCHANGE);
  return true;
}

bool DialogWindow::UserPress(DialogControl& button) {
  if (ended_ || button.Kind() != ControlKind::Button || !button.Enabled()) return false;
  Notify(button, BN_CLICKED);
  return true;
}

bool DialogWindow::UserEnter() {
  if (ended_) return false;
  if (DialogControl* button = DefaultButton()) return UserPress(*button);
  SendToProc(WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
  return true;
}

bool DialogWindow::UserEscape() {
  if (ended_) return false;
  DialogControl* cancel = ControlById(IDCANCEL);
  if (cancel && !cancel->Enabled()) return false;
  SendToProc(WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED),
             reinterpret_cast<LPARAM>(static_cast<HWND>(cancel)));
  return true;
}

void DialogWindow::UserClose() {
  if (ended_) return;
  if (SendToProc(WM_CLOSE, 0, 0) == 0) UserEscape();
}

void DialogWindow::SetControlText(DialogControl& control, std::string text) {
  if (control.IsUpperCase()) text = UpperAscii(std::move(text));
  control.text_ = std::move(text);
  Changed(control);
  if (control.Kind() == ControlKind::Edit) Notify(control, EN_CHANGE);
}

LRESULT DialogWindow::ControlMessage(DialogControl& c, UINT message, WPARAM wParam, LPARAM lParam) {
  const bool combo = c.Kind() == ControlKind::ComboBox;
  auto& items = c.listItems_;
  const auto count = static_cast<int>(items.size());
  auto textArg = [lParam] { return std::string(lParam ? reinterpret_cast<const char*>(lParam) : ""); };
  // Searches from the entry after start to the end, then from the top; a
  // start out of range (-1 among them) searches from the top.
  const int startArg = static_cast<int>(static_cast<intptr_t>(wParam));
  auto search = [&](bool exact, int start) -> LRESULT {
    const std::string wanted = textArg();
    if (start < -1 || start >= count) start = -1;
    for (int k = 1; k <= count; ++k) {
      int i = (start + k) % count;
      const std::string& item = items[static_cast<size_t>(i)];
      if (exact ? EqualNoCase(item, wanted) : StartsWithNoCase(item, wanted)) return i;
    }
    return CB_ERR;
  };

  switch (message) {
    case WM_SETTEXT: {
      if (combo && c.IsDropDownList()) {
        const LRESULT found = search(true, -1);
        if (found == CB_ERR) return CB_ERR;
        c.selection_ = static_cast<int>(found);
        Changed(c);
        return TRUE;
      }
      SetControlText(c, textArg());
      return TRUE;
    }
    case WM_GETTEXT:
      return CopyText(c.Text(), wParam, lParam);
    case WM_GETTEXTLENGTH:
      return static_cast<LRESULT>(c.Text().size());
    case EM_LIMITTEXT:
      if (c.Kind() != ControlKind::Edit) return 0;
      c.limit_ = wParam;
      Changed(c);
      return 0;
    case EM_GETLIMITTEXT:
      if (c.Kind() != ControlKind::Edit) return 0;
      return c.limit_ ? static_cast<LRESULT>(c.limit_) : 0x7FFFFFFE;
    default:
      break;
  }
  if (!combo) return 0;

  switch (message) {
    case CB_ADDSTRING: {
      std::string s = textArg();
      size_t at = items.size();
      if (c.Style() & CBS_SORT) {
        at = 0;
        while (at < items.size() && !LessNoCase(s, items[at])) ++at;
      }
      items.insert(items.begin() + static_cast<std::ptrdiff_t>(at), std::move(s));
      if (c.selection_ >= static_cast<int>(at)) ++c.selection_;
      Changed(c);
      return static_cast<LRESULT>(at);
    }
    case CB_DELETESTRING: {
      if (wParam >= items.size()) return CB_ERR;
      const int index = static_cast<int>(wParam);
      items.erase(items.begin() + index);
      if (c.selection_ == index) c.selection_ = -1;
      else if (c.selection_ > index) --c.selection_;
      Changed(c);
      return static_cast<LRESULT>(items.size());
    }
    case CB_GETCOUNT:
      return count;
    case CB_GETCURSEL:
      return c.selection_ >= 0 ? c.selection_ : CB_ERR;
    case CB_GETLBTEXT: {
      auto* buffer = reinterpret_cast<char*>(lParam);
      if (wParam >= items.size() || buffer == nullptr) return CB_ERR;
      const std::string& s = items[wParam];
      std::memcpy(buffer, s.c_str(), s.size() + 1);
      return static_cast<LRESULT>(s.size());
    }
    case CB_GETLBTEXTLEN:
      return wParam < items.size() ? static_cast<LRESULT>(items[wParam].size()) : CB_ERR;
    case CB_RESETCONTENT:
      items.clear();
      c.selection_ = -1;
      Changed(c);
      return 0;
    case CB_FINDSTRING:
      return search(false, startArg);
    case CB_FINDSTRINGEXACT:
      return search(true, startArg);
    case CB_SELECTSTRING: {
      LRESULT found = search(false, startArg);
      if (found != CB_ERR) {
        c.selection_ = static_cast<int>(found);
        Changed(c);
      }
      return found;
    }
    case CB_SETCURSEL: {
      const auto index = static_cast<intptr_t>(wParam);
      const bool valid = index >= 0 && index < count;
      c.selection_ = valid ? static_cast<int>(index) : -1;
      Changed(c);
      return valid ? index : CB_ERR;
    }
    default:
      return 0;
  }
}

INT_PTR DialogFromTemplate(const DialogDesc& desc, HWND owner, DLGPROC proc, LPARAM initParam) {
  UiBackend* backend = CurrentUiBackend();
  if (backend == nullptr) return -1;
  DialogWindow dialog(desc, owner, proc, initParam);
  ActiveDialog active(&dialog);
  dialog.Initialize();
  if (!dialog.Ended()) backend->RunDialog(dialog);
  return dialog.Ended() ? dialog.Result() : -1;
}

INT_PTR DialogBoxIndirectParamA(HINSTANCE /*instance*/, const DLGTEMPLATE* dialogTemplate, HWND owner,
                                DLGPROC proc, LPARAM initParam) {
  if (dialogTemplate == nullptr) return -1;
  // A template in a local block is read no further than the block; one
  // elsewhere is trusted as Windows trusts it.
  size_t size = LocalBytesFrom(dialogTemplate);
  if (size == 0) size = SIZE_MAX / 2;
  auto desc = ParseDialogTemplate(dialogTemplate, size);
  if (!desc) return -1;
  return DialogFromTemplate(*desc, owner, proc, initParam);
}

BOOL EndDialog(HWND dialog, INT_PTR result) {
  auto* d = Live<DialogWindow>(dialog);
  if (d == nullptr) return FALSE;
  d->End(result);
  return TRUE;
}

HWND GetDlgItem(HWND dialog, int id) {
  auto* d = Live<DialogWindow>(dialog);
  return d ? d->ControlById(id) : nullptr;
}

int GetDlgCtrlID(HWND control) {
  auto* c = Live<DialogControl>(control);
  return c ? c->Id() : 0;
}

LRESULT SendMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (auto* c = Live<DialogControl>(window)) return c->Dialog().ControlMessage(*c, message, wParam, lParam);
  auto* d = Live<DialogWindow>(window);
  if (d == nullptr) return 0;
  switch (message) {
    case WM_SETTEXT:
      d->SetTitle(lParam ? reinterpret_cast<const char*>(lParam) : "");
      return TRUE;
    case WM_GETTEXT:
      return CopyText(d->Title(), wParam, lParam);
    case WM_GETTEXTLENGTH:
      return static_cast<LRESULT>(d->Title().size());
    default:
      return d->SendToProc(message, wParam, lParam);
  }
}

LRESULT SendDlgItemMessageA(HWND dialog, int id, UINT message, WPARAM wParam, LPARAM lParam) {
  HWND item = GetDlgItem(dialog, id);
  return item ? SendMessageA(item, message, wParam, lParam) : 0;
}

BOOL SetDlgItemTextA(HWND dialog, int id, const char* text) {
  HWND item = GetDlgItem(dialog, id);
  return item && SendMessageA(item, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text)) == TRUE;
}

UINT GetDlgItemTextA(HWND dialog, int id, char* buffer, int maxCount) {
  // A missing item reads as no window: an empty buffer and 0.
  return static_cast<UINT>(GetWindowTextA(GetDlgItem(dialog, id), buffer, maxCount));
}

BOOL EnableWindow(HWND window, BOOL enable) {
  auto* c = Live<DialogControl>(window);
  if (c == nullptr) return FALSE;
  const BOOL wasDisabled = c->Enabled() ? FALSE : TRUE;
  c->Dialog().SetEnabled(*c, enable != FALSE);
  return wasDisabled;
}

BOOL IsWindow(HWND window) {
  std::lock_guard lock(windowsMutex);
  return window != nullptr && liveWindows.count(window) ? TRUE : FALSE;
}

int GetWindowTextA(HWND window, char* buffer, int maxCount) {
  if (buffer && maxCount > 0) buffer[0] = '\0';
  if (maxCount <= 0) return 0;
  return static_cast<int>(
      SendMessageA(window, WM_GETTEXT, static_cast<WPARAM>(maxCount), reinterpret_cast<LPARAM>(buffer)));
}

HWND GetActiveWindow() {
  std::lock_guard lock(windowsMutex);
  return runningDialogs.empty() ? nullptr : runningDialogs.back();
}

HINSTANCE GetModuleHandleA(const char* name) { return name == nullptr ? ProgramModule() : nullptr; }

}  // namespace win
