// Modal dialogs built from an in-memory item list, and the calls that a
// dialog procedure makes on them.
//
// A dialog comes either from a binary in-memory template
// (DialogBoxIndirectParamA, the Windows DLGTEMPLATE layout with UTF-16 texts)
// or from a parsed DialogDesc (DialogFromTemplate). Both make a DialogWindow:
// the backend-independent state of the dialog and its controls, which sends
// the dialog procedure the Windows notifications (WM_INITDIALOG, WM_COMMAND
// with BN_CLICKED, EN_CHANGE, CBN_SELCHANGE) and answers the item calls
// (texts, enabling, limits, drop-down lists, EndDialog). A backend only shows
// that state and passes on what the operator does through the User...
// calls, so the Qt windows and the scripted tests behave alike.
//
// Controls: static labels; edits with ES_UPPERCASE (a to z), ES_PASSWORD and
// an EM_LIMITTEXT limit on typing (texts set by the program are never cut);
// drop-down lists (CBS_DROPDOWNLIST, sorted with CBS_SORT); push buttons,
// the default one with BS_DEFPUSHBUTTON. Enter presses the default button,
// Esc and closing the window send IDCANCEL; a disabled button does nothing.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "WinTypes.h"

namespace win {

// Messages.
constexpr UINT WM_CLOSE = 0x0010;
constexpr UINT WM_SETTEXT = 0x000C;
constexpr UINT WM_GETTEXT = 0x000D;
constexpr UINT WM_GETTEXTLENGTH = 0x000E;
constexpr UINT WM_INITDIALOG = 0x0110;
constexpr UINT WM_COMMAND = 0x0111;
constexpr UINT EM_LIMITTEXT = 0x00C5;
constexpr UINT EM_GETLIMITTEXT = 0x00D5;
constexpr UINT CB_ADDSTRING = 0x0143;
constexpr UINT CB_DELETESTRING = 0x0144;
constexpr UINT CB_GETCOUNT = 0x0146;
constexpr UINT CB_GETCURSEL = 0x0147;
constexpr UINT CB_GETLBTEXT = 0x0148;
constexpr UINT CB_GETLBTEXTLEN = 0x0149;
constexpr UINT CB_RESETCONTENT = 0x014B;
constexpr UINT CB_FINDSTRING = 0x014C;
constexpr UINT CB_SELECTSTRING = 0x014D;
constexpr UINT CB_SETCURSEL = 0x014E;
constexpr UINT CB_FINDSTRINGEXACT = 0x0158;
constexpr LRESULT CB_ERR = -1;

// Notification codes (the high word of WM_COMMAND's wParam).
constexpr WORD BN_CLICKED = 0;
constexpr WORD CBN_SELCHANGE = 1;
constexpr WORD EN_CHANGE = 0x0300;

// Window and dialog styles.
constexpr DWORD WS_POPUP = 0x80000000;
constexpr DWORD WS_CHILD = 0x40000000;
constexpr DWORD WS_VISIBLE = 0x10000000;
constexpr DWORD WS_DISABLED = 0x08000000;
constexpr DWORD WS_CAPTION = 0x00C00000;
constexpr DWORD WS_BORDER = 0x00800000;
constexpr DWORD WS_SYSMENU = 0x00080000;
constexpr DWORD WS_TABSTOP = 0x00010000;
constexpr DWORD WS_EX_TOPMOST = 0x00000008;
constexpr DWORD DS_SETFONT = 0x0040;
constexpr DWORD DS_MODALFRAME = 0x0080;
constexpr DWORD DS_CENTER = 0x0800;
// Control styles.
constexpr DWORD ES_UPPERCASE = 0x0008;
constexpr DWORD ES_PASSWORD = 0x0020;
constexpr DWORD BS_DEFPUSHBUTTON = 0x0001;
constexpr DWORD BS_TYPEMASK = 0x000F;
constexpr DWORD CBS_DROPDOWNLIST = 0x0003;
constexpr DWORD CBS_SORT = 0x0100;

// The predefined control classes by their atoms in a template.
constexpr WORD DLG_CLASS_BUTTON = 0x0080;
constexpr WORD DLG_CLASS_EDIT = 0x0081;
constexpr WORD DLG_CLASS_STATIC = 0x0082;
constexpr WORD DLG_CLASS_LISTBOX = 0x0083;
constexpr WORD DLG_CLASS_SCROLLBAR = 0x0084;
constexpr WORD DLG_CLASS_COMBOBOX = 0x0085;

// The fixed parts of a binary template, in its packed layout.
#pragma pack(push, 2)
struct DLGTEMPLATE {
  DWORD style;
  DWORD dwExtendedStyle;
  WORD cdit;
  short x;
  short y;
  short cx;
  short cy;
};
struct DLGITEMTEMPLATE {
  DWORD style;
  DWORD dwExtendedStyle;
  short x;
  short y;
  short cx;
  short cy;
  WORD id;
};
#pragma pack(pop)
static_assert(sizeof(DLGTEMPLATE) == 18 && sizeof(DLGITEMTEMPLATE) == 18);

using DLGPROC = INT_PTR (*)(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

enum class ControlKind { Button, Edit, Static, ListBox, ScrollBar, ComboBox, Unknown };

// One item of a dialog, as its template gives it. Texts are Windows-1250.
struct DialogItemDesc {
  DWORD style = 0;
  DWORD exStyle = 0;
  short x = 0, y = 0, cx = 0, cy = 0;  // dialog units
  WORD id = 0;
  ControlKind kind = ControlKind::Unknown;
  std::string className;  // when the template names its class by text
  std::string text;
};

struct DialogDesc {
  DWORD style = 0;
  DWORD exStyle = 0;
  short x = 0, y = 0, cx = 0, cy = 0;  // dialog units
  std::string title;
  WORD pointSize = 0;  // with DS_SETFONT
  std::string typeface;
  std::vector<DialogItemDesc> items;
};

// Reads a binary template of size bytes; nullopt when it is malformed,
// truncated or of the extended kind.
std::optional<DialogDesc> ParseDialogTemplate(const void* data, size_t size);

// Dialog units to pixels for a font whose average character width and height
// are baseX and baseY pixels (x * baseX / 4, y * baseY / 8, rounded).
int DialogUnitsToPixelsX(int units, int baseX);
int DialogUnitsToPixelsY(int units, int baseY);

class DialogWindow;

// A window of this layer; its handle is a pointer to it.
struct HWND__ {
  HWND__();
  virtual ~HWND__();
  HWND__(const HWND__&) = delete;
  HWND__& operator=(const HWND__&) = delete;
};

// One control of a running dialog.
class DialogControl final : public HWND__ {
 public:
  DialogControl(DialogWindow& dialog, const DialogItemDesc& desc);

  DialogWindow& Dialog() const { return dialog_; }
  const DialogItemDesc& Desc() const { return desc_; }
  ControlKind Kind() const { return desc_.kind; }
  int Id() const { return desc_.id; }
  DWORD Style() const { return desc_.style; }

  // The text; for a drop-down list, the selected entry's (empty if none).
  std::string Text() const;
  bool Enabled() const { return enabled_; }
  // Typing limit of an edit; 0 means none.
  size_t Limit() const { return limit_; }
  const std::vector<std::string>& ListItems() const { return listItems_; }
  int Selection() const { return selection_; }  // -1: none

  bool IsDefaultButton() const;
  bool IsPushButton() const;
  bool IsPassword() const;
  bool IsUpperCase() const;
  bool IsDropDownList() const;

  // The typing rule of an edit: true when newText, the content that an edit
  // by the operator would leave, is accepted (upper-cased in place with
  // ES_UPPERCASE); false when it grows the text past the limit.
  bool FilterTyping(std::string& newText) const;

 private:
  friend class DialogWindow;
  DialogWindow& dialog_;
  DialogItemDesc desc_;
  std::string text_;
  bool enabled_ = true;
  size_t limit_ = 0;
  std::vector<std::string> listItems_;
  int selection_ = -1;
};

// What a backend is told when the program changes a control.
class DialogObserver {
 public:
  virtual ~DialogObserver() = default;
  virtual void ControlChanged(DialogControl& control) = 0;
  virtual void DialogEnded() {}
};

class DialogWindow final : public HWND__ {
 public:
  DialogWindow(const DialogDesc& desc, HWND owner, DLGPROC proc, LPARAM initParam);
  ~DialogWindow() override;

  const DialogDesc& Desc() const { return desc_; }
  HWND Owner() const { return owner_; }
  const std::string& Title() const { return title_; }
  size_t ControlCount() const { return controls_.size(); }
  DialogControl& Control(size_t index) const { return *controls_[index]; }
  DialogControl* ControlById(int id) const;  // the first with that id
  DialogControl* DefaultButton() const;      // BS_DEFPUSHBUTTON, else IDOK
  DialogControl* FirstTabStop() const;       // the first enabled WS_TABSTOP control
  bool TopMost() const { return (desc_.exStyle & WS_EX_TOPMOST) != 0; }

  bool Ended() const { return ended_; }
  INT_PTR Result() const { return result_; }

  void SetObserver(DialogObserver* observer) { observer_ = observer; }

  // Sends WM_INITDIALOG; the runtime calls it once, before the backend runs.
  void Initialize();

  // What the operator does. Each returns false when it has no effect (ended
  // dialog, disabled control, refused typing, a control of the wrong kind).
  bool UserEdit(DialogControl& edit, std::string newText);  // EN_CHANGE
  bool UserSelect(DialogControl& list, int index);          // CBN_SELCHANGE
  bool UserPress(DialogControl& button);                    // BN_CLICKED
  bool UserEnter();   // presses the default button
  bool UserEscape();  // IDCANCEL, unless a disabled Cancel button
  void UserClose();   // WM_CLOSE; unanswered, IDCANCEL

  // The Windows calls work through these.
  LRESULT SendToProc(UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT ControlMessage(DialogControl& control, UINT message, WPARAM wParam, LPARAM lParam);
  void End(INT_PTR result);
  void SetTitle(std::string title);
  void SetEnabled(DialogControl& control, bool enabled);

 private:
  void Notify(DialogControl& control, WORD code);
  void Changed(DialogControl& control);
  void SetControlText(DialogControl& control, std::string text);

  DialogDesc desc_;
  HWND owner_;
  DLGPROC proc_;
  LPARAM initParam_;
  std::string title_;
  std::vector<std::unique_ptr<DialogControl>> controls_;
  DialogObserver* observer_ = nullptr;
  bool ended_ = false;
  INT_PTR result_ = 0;
};

// Runs a dialog from a binary template modally: the result of EndDialog, -1
// when the template cannot be read or no backend can show it. The template
// is read within its LocalAlloc block when it lies in one.
INT_PTR DialogBoxIndirectParamA(HINSTANCE instance, const DLGTEMPLATE* dialogTemplate, HWND owner,
                                DLGPROC proc, LPARAM initParam);
// The same from a parsed template.
INT_PTR DialogFromTemplate(const DialogDesc& desc, HWND owner, DLGPROC proc, LPARAM initParam);

// The calls of a dialog procedure. A handle that is not a live window of
// this layer fails (FALSE, 0 or CB_ERR as Windows answers).
BOOL EndDialog(HWND dialog, INT_PTR result);
HWND GetDlgItem(HWND dialog, int id);
int GetDlgCtrlID(HWND control);
BOOL SetDlgItemTextA(HWND dialog, int id, const char* text);
// Copies at most maxCount - 1 characters and a NUL; the number copied.
UINT GetDlgItemTextA(HWND dialog, int id, char* buffer, int maxCount);
LRESULT SendDlgItemMessageA(HWND dialog, int id, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT SendMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
// Returns whether the window was disabled before.
BOOL EnableWindow(HWND window, BOOL enable);
BOOL IsWindow(HWND window);
int GetWindowTextA(HWND window, char* buffer, int maxCount);
// The innermost running dialog, or null.
HWND GetActiveWindow();
// Null name: the program's own module (a non-null tag); others: null.
HINSTANCE GetModuleHandleA(const char* name);

}  // namespace win
