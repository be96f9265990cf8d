// The login dialog: its template and its rules, driven through the scripted
// user-interface backend.
#include "TRdmLogin.h"

#include <gtest/gtest.h>

#include "ScriptedUi.h"
#include "WinMemory.h"

namespace {

using win::DialogDriver;
using win::IDCANCEL;
using win::IDOK;
constexpr int kUser = TRdmLogin::kUserEdit;
constexpr int kPassword = TRdmLogin::kPasswordEdit;
constexpr int kDatabase = TRdmLogin::kDatabaseList;

TEST(LoginTemplateTest, TemplateHoldsTheLoginDialogByteForByte) {
  CMyDialogTemplate t;
  // 80 bytes of header; items of 26 + 2n bytes, all but the last on 4-byte steps.
  EXPECT_EQ(t.TemplateSize(), 80u + 52 + 28 + 40 + 28 + 48 + 28 + 32 + 36);
  std::vector<unsigned char> buffer(t.TemplateSize());
  t.WriteTemplate(buffer.data());
  EXPECT_EQ(buffer[0] | buffer[1] << 8 | buffer[2] << 16 | uint32_t(buffer[3]) << 24, 0x90c008c0u);

  auto desc = win::ParseDialogTemplate(buffer.data(), buffer.size());
  ASSERT_TRUE(desc);
  EXPECT_EQ(desc->exStyle, win::WS_EX_TOPMOST);
  EXPECT_EQ(desc->title, "Bejelentkezés");
  EXPECT_EQ(desc->typeface, "MS Sans Serif");
  EXPECT_EQ(desc->pointSize, 8);
  EXPECT_EQ(desc->cx, 160);
  EXPECT_EQ(desc->cy, 75);
  struct Item {
    win::ControlKind kind;
    int id;
    short x, y, cx, cy;
    win::DWORD style;
    const char* text;
  };
  using K = win::ControlKind;
  const Item expected[] = {
      {K::Static, 982, 10, 9, 48, 10, 0x50000000, "Felhasználó:"},
      {K::Edit, 985, 60, 7, 90, 12, 0x50810008, ""},
      {K::Static, 983, 10, 24, 48, 10, 0x50000000, "Jelszó:"},
      {K::Edit, 986, 60, 22, 90, 12, 0x50810028, ""},
      {K::Static, 984, 10, 39, 48, 10, 0x50000000, "Adatbázis:"},
      {K::ComboBox, 987, 60, 37, 90, 88, 0x5081010b, ""},
      {K::Button, 1, 22, 55, 50, 15, 0x50010001, "OK"},
      {K::Button, 2, 85, 55, 50, 15, 0x50010000, "Mégse"},
  };
  ASSERT_EQ(desc->items.size(), 8u);
  for (size_t i = 0; i < 8; ++i) {
    const auto& got = desc->items[i];
    const Item& want = expected[i];
    EXPECT_EQ(got.kind, want.kind) << i;
    EXPECT_EQ(got.id, want.id) << i;
    EXPECT_EQ(got.style, want.style) << i;
    EXPECT_EQ(got.text, want.text) << i;
    EXPECT_EQ((std::array<short, 4>{got.x, got.y, got.cx, got.cy}),
              (std::array<short, 4>{want.x, want.y, want.cx, want.cy}))
        << i;
  }
}

TEST(LoginTemplateTest, ItemInitDefaults) {
  CDialogItem item;
  item.Init(win::DLG_CLASS_EDIT, 986, nullptr, nullptr);
  EXPECT_EQ((std::array<short, 4>{item.x, item.y, item.cx, item.cy}),
            (std::array<short, 4>{0, 0, 10, 10}));
  EXPECT_EQ(item.title, "");
  EXPECT_EQ(item.style, 0x50810028u);
  item.Init(win::DLG_CLASS_BUTTON, 7, nullptr, "x");
  EXPECT_EQ(item.style, 0x50010000u);
}

TEST(LoginTemplateDeathTest, UnknownControlClassStopsTheProgram) {
  CDialogItem item;
  EXPECT_DEATH(item.Init(win::DLG_CLASS_LISTBOX, 5, nullptr, ""), "FALSE");
}

class LoginDialogTest : public ::testing::Test {
 protected:
  win::ScriptedUi ui;
  win::ScopedUiBackend installed{ui};
  TRdmLogin dialog;

  void SetUp() override {
    CurrentLoginDialog = &dialog;
    StringVector names;
    names << "ugyfel" << "Alap" << "KELVADO";
    dialog.SetDatabases(names);
  }
  void TearDown() override { CurrentLoginDialog = nullptr; }
  void Preset(const char* user, const char* password, const char* database) {
    dialog.SetUser(user);
    dialog.SetPassword(password);
    dialog.SetDatabase(database);
  }
};

TEST_F(LoginDialogTest, DatabaseNotInTheListLeavesOkDisabledUntilOneIsPicked) {
  Preset("ADMIN", "SECRET", "NINCS");
  ui.QueueDialog([](DialogDriver& d) {
    EXPECT_EQ(d.Text(kUser), "ADMIN");
    EXPECT_EQ(d.ListItems(kDatabase), (std::vector<std::string>{"ALAP", "KELVADO", "UGYFEL"}));
    EXPECT_EQ(d.Selection(kDatabase), -1);
    EXPECT_FALSE(d.IsEnabled(IDOK));
    EXPECT_FALSE(d.Press(IDOK));
    d.Choose(kDatabase, "KELVADO");
    EXPECT_TRUE(d.IsEnabled(IDOK));
    EXPECT_TRUE(d.Press(IDOK));
  });
  EXPECT_TRUE(dialog.Execute());
  EXPECT_EQ(dialog.GetDatabase(), "KELVADO");
  EXPECT_EQ(dialog.GetUser(), "ADMIN");
  EXPECT_EQ(dialog.GetPassword(), "SECRET");
  // The configuration names were upper-cased in place.
  EXPECT_EQ(dialog.GetDatabases()[0], "UGYFEL");
  ASSERT_EQ(ui.Dialogs().size(), 1u);
  EXPECT_EQ(ui.Dialogs()[0].title, "Bejelentkezés");
  EXPECT_TRUE(ui.Dialogs()[0].exStyle & win::WS_EX_TOPMOST);
}

TEST_F(LoginDialogTest, OkFollowsUserPasswordAndDatabase) {
  Preset("ADMIN", "SECRET", "UGYFEL");
  ui.QueueDialog([](DialogDriver& d) {
    EXPECT_TRUE(d.IsEnabled(IDOK));
    d.Backspace(kPassword);
    EXPECT_EQ(d.Text(kPassword), "");
    EXPECT_FALSE(d.IsEnabled(IDOK));
    d.Type(kPassword, "x");
    EXPECT_TRUE(d.IsEnabled(IDOK));
    d.Backspace(kUser);
    EXPECT_FALSE(d.IsEnabled(IDOK));
    d.Escape();
  });
  EXPECT_FALSE(dialog.Execute());
  // What was typed stays for the next run.
  EXPECT_EQ(dialog.GetPassword(), "X");
  EXPECT_EQ(dialog.GetUser(), "");
}

TEST_F(LoginDialogTest, TypingIsUpperCasedAndLimitedTo15Characters) {
  Preset("", "", "");
  ui.QueueDialog([](DialogDriver& d) {
    EXPECT_FALSE(d.IsEnabled(IDOK));
    d.Type(kUser, "abc");
    EXPECT_EQ(d.Text(kUser), "ABC");
    EXPECT_EQ(d.Type(kUser, "defghijklmnopqrs"), 12u);  // the 16th is refused
    EXPECT_EQ(d.Text(kUser), "ABCDEFGHIJKLMNO");
    d.Type(kPassword, "jelszó");
    EXPECT_EQ(d.Text(kPassword), "JELSZó");  // only a to z change
    d.Choose(kDatabase, "ALAP");
    d.Enter();
  });
  EXPECT_TRUE(dialog.Execute());
  EXPECT_EQ(dialog.GetUser(), "ABCDEFGHIJKLMNO");
  EXPECT_EQ(dialog.GetPassword(), "JELSZó");
  EXPECT_EQ(dialog.GetDatabase(), "ALAP");
}

TEST_F(LoginDialogTest, LongerPresetStaysWholeButTakesNoMoreTyping) {
  Preset("ABCDEFGHIJKLMNOPQRST", "P", "ALAP");
  ui.QueueDialog([](DialogDriver& d) {
    EXPECT_EQ(d.Text(kUser), "ABCDEFGHIJKLMNOPQRST");
    EXPECT_EQ(d.Type(kUser, "U"), 0u);
    d.Press(IDOK);
  });
  EXPECT_TRUE(dialog.Execute());
  EXPECT_EQ(dialog.GetUser(), "ABCDEFGHIJKLMNOPQRST");
}

TEST_F(LoginDialogTest, PresetBeginningOfANameSelectsThatConfiguration) {
  Preset("ADMIN", "SECRET", "ugy");
  ui.QueueDialog([](DialogDriver& d) {
    EXPECT_EQ(d.Selection(kDatabase), 2);
    EXPECT_EQ(d.Text(kDatabase), "UGYFEL");
    EXPECT_TRUE(d.IsEnabled(IDOK));
    d.Enter();
  });
  EXPECT_TRUE(dialog.Execute());
  // OK logs in to what is selected, not to the beginning of its name.
  EXPECT_EQ(dialog.GetDatabase(), "UGYFEL");
}

TEST_F(LoginDialogTest, WithoutAPresetTheFirstConfigurationShownIsTheOneUsed) {
  Preset("", "", "");
  ui.QueueDialog([](DialogDriver& d) {
    EXPECT_EQ(d.Text(kDatabase), "ALAP");
    EXPECT_FALSE(d.IsEnabled(IDOK));
    d.Type(kUser, "admin");
    d.Type(kPassword, "secret");
    EXPECT_TRUE(d.IsEnabled(IDOK));
    d.Enter();
  });
  EXPECT_TRUE(dialog.Execute());
  EXPECT_EQ(dialog.GetDatabase(), "ALAP");
}

TEST_F(LoginDialogTest, CancelButtonAndClosingCancel) {
  Preset("ADMIN", "SECRET", "ALAP");
  ui.QueueDialog([](DialogDriver& d) { d.Press(IDCANCEL); });
  EXPECT_FALSE(dialog.Execute());
  ui.QueueDialog([](DialogDriver& d) { d.Close(); });
  EXPECT_FALSE(dialog.Execute());
  ui.QueueDialog([](DialogDriver& d) { d.Press(IDOK); });
  EXPECT_TRUE(dialog.Execute());
  EXPECT_EQ(ui.Dialogs().size(), 3u);
}

TEST_F(LoginDialogTest, ADialogThatCannotRunIsNoConfirmation) {
  Preset("ADMIN", "SECRET", "ALAP");
  win::InstallUiBackend(nullptr);
  EXPECT_FALSE(dialog.Execute());
  win::InstallUiBackend(&ui);

  win::FailNextLocalAllocForTesting();
  EXPECT_FALSE(dialog.Execute());
  win::FailNextLocalLockForTesting();
  EXPECT_FALSE(dialog.Execute());
  EXPECT_TRUE(ui.Dialogs().empty());
  EXPECT_TRUE(ui.MessageBoxes().empty());
}

TEST_F(LoginDialogTest, WithoutACurrentDialogTheProcedureDoesNothing) {
  CurrentLoginDialog = nullptr;
  EXPECT_EQ(TRdmLogin::DialogProc(nullptr, win::WM_INITDIALOG, 0, 0), win::FALSE);
  EXPECT_EQ(TRdmLogin::DialogProc(nullptr, win::WM_COMMAND, IDOK, 0), win::FALSE);
}

}  // namespace
