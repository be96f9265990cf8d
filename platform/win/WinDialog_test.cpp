#include "WinDialog.h"

#include <gtest/gtest.h>

#include <cstring>

#include "ScriptedUi.h"
#include "WinMemory.h"
#include "WinText.h"

namespace win {
namespace {

constexpr int kUser = 985, kPassword = 986, kDatabase = 987;

// Writes a binary template in the Windows layout: header, no menu, default
// class, title, font, then each item on a 4-byte boundary with its class
// atom, title and no creation data.
struct TemplateWriter {
  std::vector<BYTE> bytes;
  void Word(WORD w) {
    bytes.push_back(static_cast<BYTE>(w));
    bytes.push_back(static_cast<BYTE>(w >> 8));
  }
  void Dword(DWORD d) {
    Word(static_cast<WORD>(d));
    Word(static_cast<WORD>(d >> 16));
  }
  void Text(const char* s) {
    for (char16_t c : Cp1250ToUtf16(s)) Word(c);
    Word(0);
  }
  void Align() {
    while (bytes.size() % 4) bytes.push_back(0);
  }
};

struct Item {
  WORD atom;
  WORD id;
  short x, y, cx, cy;
  DWORD style;
  const char* title;
};

const Item kLoginItems[] = {
    {DLG_CLASS_STATIC, 982, 10, 9, 48, 10, 0x50000000, "Felhasználó:"},
    {DLG_CLASS_EDIT, 985, 60, 7, 90, 12, 0x50810008, ""},
    {DLG_CLASS_STATIC, 983, 10, 24, 48, 10, 0x50000000, "Jelszó:"},
    {DLG_CLASS_EDIT, 986, 60, 22, 90, 12, 0x50810028, ""},
    {DLG_CLASS_STATIC, 984, 10, 39, 48, 10, 0x50000000, "Adatbázis:"},
    {DLG_CLASS_COMBOBOX, 987, 60, 37, 90, 88, 0x5081010b, ""},
    {DLG_CLASS_BUTTON, 1, 22, 55, 50, 15, 0x50010001, "OK"},
    {DLG_CLASS_BUTTON, 2, 85, 55, 50, 15, 0x50010000, "Mégse"},
};

std::vector<BYTE> LoginTemplate() {
  TemplateWriter w;
  w.Dword(0x90c008c0);
  w.Dword(WS_EX_TOPMOST);
  w.Word(8);
  for (short v : {0, 0, 160, 75}) w.Word(static_cast<WORD>(v));
  w.Word(0);
  w.Word(0);
  w.Text("Bejelentkezés");
  w.Word(8);
  w.Text("MS Sans Serif");
  for (const Item& item : kLoginItems) {
    w.Align();
    w.Dword(item.style);
    w.Dword(0);
    for (short v : {item.x, item.y, item.cx, item.cy}) w.Word(static_cast<WORD>(v));
    w.Word(item.id);
    w.Word(0xFFFF);
    w.Word(item.atom);
    w.Text(item.title);
    w.Word(0);
  }
  return w.bytes;
}

// A template copied into a local block of exactly its size.
struct BlockTemplate {
  explicit BlockTemplate(const std::vector<BYTE>& bytes, size_t size) {
    block = LocalAlloc(LHND, size);
    data = LocalLock(block);
    std::memcpy(data, bytes.data(), size);
  }
  ~BlockTemplate() {
    LocalUnlock(block);
    LocalFree(block);
  }
  const DLGTEMPLATE* get() const { return static_cast<const DLGTEMPLATE*>(data); }
  HLOCAL block;
  void* data;
};

// A dialog procedure in the manner of the login's: it fills the controls on
// WM_INITDIALOG, keeps OK enabled only when all three values are given and
// logs every message it gets.
struct LoginProc {
  static inline std::vector<std::string> log;
  static inline std::string user, password, database;
  static inline std::vector<std::string> databases;

  static void EnableOk(HWND dlg, bool found) {
    EnableWindow(GetDlgItem(dlg, IDOK), found && !user.empty() && !password.empty() && !database.empty());
  }
  static std::string Read(HWND dlg, int id) {
    char buffer[100];
    GetDlgItemTextA(dlg, id, buffer, sizeof buffer);
    return buffer;
  }
  static INT_PTR Proc(HWND dlg, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
      case WM_INITDIALOG: {
        log.push_back("init " + std::to_string(lParam));
        SetDlgItemTextA(dlg, kUser, user.c_str());
        SendDlgItemMessageA(dlg, kUser, EM_LIMITTEXT, 15, 0);
        SetDlgItemTextA(dlg, kPassword, password.c_str());
        SendDlgItemMessageA(dlg, kPassword, EM_LIMITTEXT, 15, 0);
        SendDlgItemMessageA(dlg, kDatabase, CB_RESETCONTENT, 0, 0);
        for (const auto& name : databases)
          SendDlgItemMessageA(dlg, kDatabase, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(name.c_str()));
        LRESULT found = SendDlgItemMessageA(dlg, kDatabase, CB_SELECTSTRING, static_cast<WPARAM>(-1),
                                            reinterpret_cast<LPARAM>(database.c_str()));
        EnableOk(dlg, found != CB_ERR);
        return TRUE;
      }
      case WM_COMMAND: {
        const int id = LOWORD(wParam);
        const int code = HIWORD(wParam);
        log.push_back("command " + std::to_string(id) + " " + std::to_string(code));
        EXPECT_EQ(reinterpret_cast<HWND>(lParam), GetDlgItem(dlg, id));
        if (id == IDOK || id == IDCANCEL) {
          EndDialog(dlg, id == IDOK ? 1 : 0);
          return TRUE;
        }
        if (code == CBN_SELCHANGE) {
          database = Read(dlg, kDatabase);
          EnableOk(dlg, true);
        } else if (code == EN_CHANGE) {
          (id == kUser ? user : password) = Read(dlg, id);
          EnableOk(dlg, true);
        }
        return TRUE;
      }
      default:
        log.push_back("other " + std::to_string(message));
        return FALSE;
    }
  }
};

class DialogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    LoginProc::log.clear();
    LoginProc::user = "ADMIN";
    LoginProc::password = "SECRET";
    LoginProc::database = "ugy";
    LoginProc::databases = {"kelvado", "UGYFEL", "Alap"};
  }
  INT_PTR Run() {
    auto bytes = LoginTemplate();
    BlockTemplate tpl(bytes, bytes.size());
    return DialogBoxIndirectParamA(GetModuleHandleA(nullptr), tpl.get(), nullptr, LoginProc::Proc, 77);
  }
  const DialogRecord& Last() const { return ui_.Dialogs().back(); }

  ScriptedUi ui_;
  ScopedUiBackend installed_{ui_};
};

TEST(DialogTemplate, ReadsTheLoginTemplateOfTheDocumentedSize) {
  auto bytes = LoginTemplate();
  size_t expected = 80;
  for (size_t i = 0; i < std::size(kLoginItems); ++i) {
    size_t item = 26 + 2 * std::strlen(kLoginItems[i].title);
    if (i + 1 < std::size(kLoginItems)) item = (item + 3) / 4 * 4;
    expected += item;
  }
  ASSERT_EQ(bytes.size(), expected);
  auto desc = ParseDialogTemplate(bytes.data(), bytes.size());
  ASSERT_TRUE(desc);
  EXPECT_EQ(desc->style, 0x90c008c0u);
  EXPECT_EQ(desc->exStyle, WS_EX_TOPMOST);
  EXPECT_EQ(desc->cx, 160);
  EXPECT_EQ(desc->cy, 75);
  EXPECT_EQ(desc->title, "Bejelentkezés");
  EXPECT_EQ(desc->pointSize, 8);
  EXPECT_EQ(desc->typeface, "MS Sans Serif");
  ASSERT_EQ(desc->items.size(), 8u);
  const ControlKind kinds[] = {ControlKind::Static, ControlKind::Edit,     ControlKind::Static,
                               ControlKind::Edit,   ControlKind::Static,   ControlKind::ComboBox,
                               ControlKind::Button, ControlKind::Button};
  for (size_t i = 0; i < 8; ++i) {
    const auto& item = desc->items[i];
    EXPECT_EQ(item.kind, kinds[i]) << i;
    EXPECT_EQ(item.id, kLoginItems[i].id);
    EXPECT_EQ(item.style, kLoginItems[i].style);
    EXPECT_EQ(item.x, kLoginItems[i].x);
    EXPECT_EQ(item.cy, kLoginItems[i].cy);
    EXPECT_EQ(item.text, kLoginItems[i].title);
  }
}

// Every cut of the template fails cleanly; reading stays inside the block
// (the sanitizer build would see a read past it).
TEST_F(DialogTest, TruncatedTemplatesFailWithoutReadingPastTheirBlock) {
  auto bytes = LoginTemplate();
  for (size_t size = 1; size < bytes.size(); ++size) {
    BlockTemplate tpl(bytes, size);
    EXPECT_EQ(DialogBoxIndirectParamA(nullptr, tpl.get(), nullptr, LoginProc::Proc, 0), -1) << size;
  }
  EXPECT_TRUE(ui_.Dialogs().empty());
  EXPECT_EQ(DialogBoxIndirectParamA(nullptr, nullptr, nullptr, LoginProc::Proc, 0), -1);
  std::vector<BYTE> extended = {0x01, 0x00, 0xFF, 0xFF, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
  EXPECT_FALSE(ParseDialogTemplate(extended.data(), extended.size()));
}

TEST_F(DialogTest, InitialisesFromTheProcedureAndTypesUpperCase) {
  ui_.QueueDialog([](DialogDriver& d) {
    EXPECT_EQ(d.ListItems(kDatabase), (std::vector<std::string>{"Alap", "kelvado", "UGYFEL"}));
    EXPECT_EQ(d.Text(kDatabase), "UGYFEL");  // prefix, without regard to case
    EXPECT_TRUE(d.IsEnabled(IDOK));
    EXPECT_EQ(GetActiveWindow(), &d.Dialog());
    EXPECT_EQ(d.Backspace(kUser), 5u);
    EXPECT_EQ(d.Text(kUser), "");
    EXPECT_FALSE(d.IsEnabled(IDOK));
    EXPECT_EQ(d.Type(kUser, "abc"), 3u);
    EXPECT_EQ(d.Text(kUser), "ABC");
    EXPECT_EQ(LoginProc::user, "ABC");
    EXPECT_TRUE(d.IsEnabled(IDOK));
    EXPECT_EQ(d.Type(kPassword, "é1x"), 3u);  // only a to z change
    EXPECT_EQ(d.Text(kPassword), "SECRETé1X");
    EXPECT_TRUE(d.Press(IDOK));
  });
  EXPECT_EQ(Run(), 1);
  EXPECT_EQ(GetActiveWindow(), nullptr);
  EXPECT_EQ(LoginProc::log.front(), "init 77");
  // Setting the edits' texts notified the procedure as typing does.
  EXPECT_EQ(LoginProc::log[1], "command 985 768");
  EXPECT_EQ(LoginProc::log[2], "command 986 768");
  EXPECT_EQ(LoginProc::log.back(), "command 1 0");
  EXPECT_TRUE(Last().scripted);
  EXPECT_EQ(Last().title, "Bejelentkezés");
  EXPECT_EQ(Last().exStyle, WS_EX_TOPMOST);
  EXPECT_EQ(Last().result, 1);
}

TEST_F(DialogTest, TypingStopsAtTheLimitButAPresetStaysWhole) {
  LoginProc::user = "ABCDEFGHIJKLMNOPQRST";  // 20 characters
  LoginProc::password = "";
  ui_.QueueDialog([](DialogDriver& d) {
    EXPECT_EQ(d.Text(kUser), "ABCDEFGHIJKLMNOPQRST");
    EXPECT_EQ(d.Type(kUser, "U"), 0u);
    EXPECT_EQ(d.Backspace(kUser, 1), 1u);
    EXPECT_EQ(d.Type(kUser, "x"), 0u);  // still past the limit
    EXPECT_EQ(d.Type(kPassword, "abcdefghijklmnopq"), 15u);
    EXPECT_EQ(d.Text(kPassword), "ABCDEFGHIJKLMNO");
    EXPECT_FALSE(d.Replace(kPassword, "ABCDEFGHIJKLMNOP"));
    EXPECT_TRUE(d.Replace(kPassword, "short"));
    EXPECT_EQ(d.Text(kPassword), "SHORT");
    EXPECT_EQ(GetDlgItemTextA(&d.Dialog(), kPassword, nullptr, 0), 0u);
    char small[4];
    EXPECT_EQ(GetDlgItemTextA(&d.Dialog(), kPassword, small, sizeof small), 3u);
    EXPECT_STREQ(small, "SHO");
    EXPECT_EQ(SendDlgItemMessageA(&d.Dialog(), kPassword, EM_GETLIMITTEXT, 0, 0), 15);
    d.Escape();
  });
  EXPECT_EQ(Run(), 0);
}

TEST_F(DialogTest, UnknownPresetLeavesOkDisabledUntilAnEntryIsPicked) {
  LoginProc::database = "NOSUCH";
  ui_.QueueDialog([](DialogDriver& d) {
    EXPECT_EQ(d.Selection(kDatabase), -1);
    EXPECT_EQ(d.Text(kDatabase), "");
    EXPECT_FALSE(d.IsEnabled(IDOK));
    EXPECT_FALSE(d.Press(IDOK));
    EXPECT_FALSE(d.Enter());  // a disabled default button does nothing
    EXPECT_FALSE(d.Ended());
    EXPECT_FALSE(d.Choose(kDatabase, "nosuch"));
    EXPECT_TRUE(d.Choose(kDatabase, "kelvado"));
    EXPECT_EQ(LoginProc::database, "kelvado");
    EXPECT_TRUE(d.IsEnabled(IDOK));
    EXPECT_TRUE(d.Enter());
  });
  EXPECT_EQ(Run(), 1);
  EXPECT_FALSE(Last().atStart[6].enabled);
  EXPECT_TRUE(Last().atEnd[6].enabled);
}

TEST_F(DialogTest, EscapeCloseAndForgottenScriptsCancel) {
  struct Case {
    const char* name;
    std::function<void(DialogDriver&)> script;
  } cases[] = {
      {"escape", [](DialogDriver& d) { EXPECT_TRUE(d.Escape()); }},
      {"cancel button", [](DialogDriver& d) { EXPECT_TRUE(d.Press(IDCANCEL)); }},
      {"close box", [](DialogDriver& d) { d.Close(); }},
      {"left open", [](DialogDriver&) {}},
  };
  for (const auto& c : cases) {
    ui_.QueueDialog(c.script);
    LoginProc::log.clear();
    EXPECT_EQ(Run(), 0) << c.name;
    EXPECT_EQ(LoginProc::log.back(), "command 2 0") << c.name;
  }
  // With no script at all the dialog is cancelled too, and recorded as such.
  EXPECT_EQ(Run(), 0);
  EXPECT_FALSE(Last().scripted);
  // The close box asks the procedure first.
  ui_.QueueDialog([](DialogDriver& d) { d.Close(); });
  LoginProc::log.clear();
  Run();
  EXPECT_EQ(LoginProc::log[LoginProc::log.size() - 2], "other 16");
}

TEST_F(DialogTest, DropDownListCalls) {
  ui_.QueueDialog([](DialogDriver& d) {
    HWND dlg = &d.Dialog();
    auto send = [dlg](UINT m, WPARAM w, const char* s) {
      return SendDlgItemMessageA(dlg, kDatabase, m, w, reinterpret_cast<LPARAM>(s));
    };
    // Sorted: Alap, kelvado, UGYFEL; selected UGYFEL.
    EXPECT_EQ(send(CB_ADDSTRING, 0, "BETA"), 1);
    EXPECT_EQ(send(CB_GETCURSEL, 0, nullptr), 3);  // the selection moved with its entry
    EXPECT_EQ(send(CB_GETCOUNT, 0, nullptr), 4);
    EXPECT_EQ(send(CB_FINDSTRING, static_cast<WPARAM>(-1), "b"), 1);
    EXPECT_EQ(send(CB_FINDSTRING, 1, "a"), 0);  // from after the start, wrapping round
    EXPECT_EQ(send(CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1), "ugyfel"), 3);
    EXPECT_EQ(send(CB_SELECTSTRING, static_cast<WPARAM>(-1), "zzz"), CB_ERR);
    EXPECT_EQ(d.Text(kDatabase), "UGYFEL");  // a miss keeps the selection
    char text[16];
    EXPECT_EQ(SendDlgItemMessageA(dlg, kDatabase, CB_GETLBTEXT, 1, reinterpret_cast<LPARAM>(text)), 4);
    EXPECT_STREQ(text, "BETA");
    EXPECT_EQ(send(CB_GETLBTEXT, 9, text), CB_ERR);
    EXPECT_EQ(send(CB_DELETESTRING, 3, nullptr), 3);
    EXPECT_EQ(d.Selection(kDatabase), -1);
    EXPECT_EQ(send(CB_SETCURSEL, 7, nullptr), CB_ERR);
    EXPECT_EQ(send(CB_SETCURSEL, 2, nullptr), 2);
    EXPECT_EQ(d.Text(kDatabase), "kelvado");
    // Setting the text picks the first exact match from the top, whatever wParam.
    EXPECT_EQ(send(CB_ADDSTRING, 0, "beta"), 2);  // Alap, BETA, beta, kelvado
    EXPECT_EQ(send(WM_SETTEXT, 1, "Beta"), TRUE);
    EXPECT_EQ(d.Selection(kDatabase), 1);
    EXPECT_EQ(send(WM_SETTEXT, 0, "bet"), CB_ERR);  // a prefix is no match
    EXPECT_EQ(d.Selection(kDatabase), 1);
    EXPECT_EQ(send(CB_RESETCONTENT, 0, nullptr), 0);
    EXPECT_EQ(send(CB_SELECTSTRING, static_cast<WPARAM>(-1), ""), CB_ERR);
    EXPECT_FALSE(d.ChooseIndex(kDatabase, 0));
    d.Escape();
  });
  Run();
}

TEST_F(DialogTest, HandlesOfAnEndedDialogAreDeadAndOthersRefused) {
  HWND dialog = nullptr, edit = nullptr;
  ui_.QueueDialog([&](DialogDriver& d) {
    dialog = &d.Dialog();
    edit = GetDlgItem(dialog, kUser);
    EXPECT_EQ(GetDlgCtrlID(edit), kUser);
    EXPECT_EQ(GetDlgItem(dialog, 4242), nullptr);
    EXPECT_FALSE(SetDlgItemTextA(dialog, 4242, "x"));
    EXPECT_EQ(GetDlgItem(edit, kUser), nullptr);  // a control is no dialog
    EXPECT_TRUE(IsWindow(edit));
    EXPECT_FALSE(EnableWindow(edit, FALSE));  // was enabled
    EXPECT_TRUE(EnableWindow(edit, TRUE));    // was disabled
    char title[32];
    EXPECT_EQ(GetWindowTextA(dialog, title, sizeof title), 13);
    EXPECT_STREQ(title, "Bejelentkezés");
    EXPECT_EQ(GetWindowTextA(dialog, title, 5), 4);  // cut to the buffer
    EXPECT_STREQ(title, "Beje");
    char none[8] = "junk";  // an id no control has reads as empty
    EXPECT_EQ(GetDlgItemTextA(dialog, 4242, none, sizeof none), 0u);
    EXPECT_STREQ(none, "");
    d.Press(IDOK);
    // Once ended, the operator can do nothing more.
    EXPECT_FALSE(d.Press(IDCANCEL));
    EXPECT_FALSE(d.Type(kUser, "x"));
  });
  EXPECT_EQ(Run(), 1);
  EXPECT_FALSE(IsWindow(dialog));
  EXPECT_FALSE(IsWindow(edit));
  EXPECT_EQ(GetDlgItem(dialog, kUser), nullptr);
  EXPECT_FALSE(EndDialog(dialog, 1));
  char buffer[8] = "junk";
  EXPECT_EQ(GetDlgItemTextA(dialog, kUser, buffer, sizeof buffer), 0u);
  EXPECT_STREQ(buffer, "");
  EXPECT_EQ(SendMessageA(edit, WM_GETTEXTLENGTH, 0, 0), 0);
}

INT_PTR EndAtOnce(HWND dlg, UINT message, WPARAM, LPARAM) {
  if (message == WM_INITDIALOG) EndDialog(dlg, 42);
  return TRUE;
}

TEST_F(DialogTest, EndingInInitialisationNeverShowsTheDialog) {
  auto desc = ParseDialogTemplate(LoginTemplate().data(), LoginTemplate().size());
  ASSERT_TRUE(desc);
  EXPECT_EQ(DialogFromTemplate(*desc, nullptr, EndAtOnce, 0), 42);
  EXPECT_TRUE(ui_.Dialogs().empty());
}

// The id of the control WM_INITDIALOG names as the focus (read while the
// dialog lives): the first control that is both a tab stop and enabled, else
// -1 for none.
int initFocusId;
INT_PTR NoteFocus(HWND dlg, UINT message, WPARAM wParam, LPARAM) {
  if (message != WM_INITDIALOG) return FALSE;
  HWND focus = reinterpret_cast<HWND>(wParam);
  EXPECT_EQ(focus, static_cast<DialogWindow*>(dlg)->FirstTabStop());
  initFocusId = focus ? static_cast<DialogControl*>(focus)->Id() : -1;
  EndDialog(dlg, 0);
  return TRUE;
}

TEST_F(DialogTest, InitialFocusIsTheFirstEnabledTabStop) {
  const struct {
    std::vector<DWORD> styles;
    int focused;  // index, or -1 for none
  } cases[] = {
      {{0, WS_TABSTOP | WS_DISABLED, WS_TABSTOP, WS_TABSTOP}, 2},
      {{WS_TABSTOP, WS_TABSTOP}, 0},
      {{0, WS_TABSTOP | WS_DISABLED}, -1},
      {{}, -1},
  };
  for (const auto& c : cases) {
    DialogDesc desc;
    WORD id = 100;
    for (DWORD style : c.styles) desc.items.push_back({style, 0, 0, 0, 10, 10, ++id, ControlKind::Edit, "", ""});
    initFocusId = -2;  // WM_INITDIALOG never came
    EXPECT_EQ(DialogFromTemplate(desc, nullptr, NoteFocus, 0), 0);
    EXPECT_EQ(initFocusId, c.focused < 0 ? -1 : 101 + c.focused);
  }
}

TEST(DialogWithoutBackend, Fails) {
  UiBackend* previous = InstallUiBackend(nullptr);
  DialogDesc desc;
  EXPECT_EQ(DialogFromTemplate(desc, nullptr, EndAtOnce, 0), -1);
  InstallUiBackend(previous);
}

TEST(DialogUnits, MapToPixelsForTheFontsBaseUnits) {
  // A font of 6 by 13 pixels: the login dialog's 160 by 75 units.
  EXPECT_EQ(DialogUnitsToPixelsX(160, 6), 240);
  EXPECT_EQ(DialogUnitsToPixelsY(75, 13), 122);
  EXPECT_EQ(DialogUnitsToPixelsX(0, 6), 0);
  EXPECT_EQ(DialogUnitsToPixelsX(-4, 6), -6);
}

}  // namespace
}  // namespace win
