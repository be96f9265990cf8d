// The login against the fake client library, a registry file and the
// scripted dialog: settings, the user block, the user check and the release
// of the connection on every way out.
#include "TQoLogin.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <unistd.h>

#include "FakeEntries_testutil.h"
#include "LoginFixture_testutil.h"
#include "Raised_testutil.h"
#include "ScriptedUi.h"
#include "SecurityCode.h"
#include "TRdmLogin.h"
#include "TestDictionary_testutil.h"
#include "WinHost.h"

namespace {

using win::DialogDriver;

const char* const kRegistry = R"(REGEDIT4

[HKEY_LOCAL_MACHINE\SOFTWARE\QODBCLIENTS\UGYFEL]
"Service"="qordb"
"Server"="srv1"
"DefaultUser"="DEF"
"Openmode"="rw"
"UseBlob"=hex:01,ff
"UseLock"=dword:00000302
"EnableEvents"=dword:00000003
"Timeout"=dword:0001001e

[HKEY_LOCAL_MACHINE\SOFTWARE\QODBCLIENTS\ALAP]
"Service"="qordb"
"Server"="0123456789abcdef0123456789abcdef"
"Openmode"="0123456789abcdef0123456789abcde"
"Timeout"=hex:07
)";

class LoginTest : public ::testing::Test {
 protected:
  FakeEntries fake;
  win::ScriptedUi ui;
  win::ScopedUiBackend installed{ui};
  std::vector<char> sysImage = SysDbCatalogue().Image();
  DbDescription catalogue = SysDbCatalogue().Load("SYSDB", 19, 55);
  std::string registryPath;

  void SetUp() override {
    // CTest runs the cases as parallel processes: the name must be theirs alone.
    registryPath = ::testing::TempDir() + "login_test_" + std::to_string(getpid()) + ".reg";
    std::ofstream(registryPath) << kRegistry;
    setenv("QOR_REGISTRY", registryPath.c_str(), 1);
    win::SetComputerNameForTesting("GEP1");
    win::SetProcessIdForTesting(0x01020304);
    fake.SetStatus("FindRec", 10002);  // no "tablespace" rows: versions stay unset
    CurrentLoginDialog = nullptr;
  }
  void TearDown() override {
    unsetenv("QOR_REGISTRY");
    std::remove(registryPath.c_str());
    win::SetComputerNameForTesting(std::nullopt);
    win::SetProcessIdForTesting(std::nullopt);
  }

  // One "dbuser" row, scrambled as the catalogue stores it.
  std::vector<char> UserRow(std::string name, std::string password, int id, char enabled) {
    SecurityCode code;
    code.Encode(unsigned(name.size()), name.data());
    code.Encode(unsigned(password.size()), password.data());
    DbDescription scratch(catalogue);
    RdmTable t(&scratch, "dbuser");
    t.GetField("NAME").SetString(name);
    t.GetField("psw").SetString(password);
    t.GetField("userid").SetInt(id);
    t.GetField("enabled").SetRaw(&enabled);
    DbDescription::Bytes image;
    scratch.PackRecord("dbuser", image);
    return image;
  }
  // What one connection attempt reads from the server, for `attempts` attempts.
  void ServeAttempts(int attempts, int firstHandle = 77) {
    std::vector<char> rows = UserRow("GUEST", "GUEST", 3, 1);
    for (const auto& row : {UserRow("Admin", "SECRET", 5, 1), UserRow("TILTOTT", "PASS", 6, 0),
                            UserRow("KIS", "secret", 7, 1)})
      rows.insert(rows.end(), row.begin(), row.end());
    for (int i = 0; i < attempts; ++i) {
      fake.ScriptValue("CreateDbHandler", firstHandle + i);
      fake.ScriptBytes("GetDbDescription", sysImage);
      fake.ScriptBytes("GetAllRec", rows);
    }
  }
  std::vector<std::string> BoxTexts() const {
    std::vector<std::string> texts;
    for (const auto& box : ui.MessageBoxes()) texts.push_back(box.text);
    return texts;
  }
};

TEST_F(LoginTest, TypedNameAndPasswordLogIn) {
  ServeAttempts(1);
  ui.QueueDialog(TypeLogin("admin", "secret"));
  TQoLogin login;
  ASSERT_TRUE(login.Login("", "", "", true, ""));
  EXPECT_TRUE(login.IsLoggedIn());
  EXPECT_EQ(login.GetHandle(), 77);
  EXPECT_EQ(login.GetUserId(), 5);
  EXPECT_EQ(login.GetUserName(), "ADMIN");
  EXPECT_EQ(login.GetDatabase(), "UGYFEL");
  EXPECT_EQ(login.GetServer(), "srv1");
  EXPECT_TRUE(ui.MessageBoxes().empty());
  EXPECT_EQ(CurrentLoginDialog, nullptr);
  EXPECT_EQ(fake.Last("OpenDbExA").entry, "");  // SYSDB's dictionary came at once
  EXPECT_EQ(fake.Last("GetDbDescription").ints, (std::vector<int64_t>{77, 19}));
  EXPECT_EQ(fake.Calls("FreeDbHandler"), 0);

  login.Logout();
  EXPECT_EQ(fake.Last("FreeDbHandler").ints, (std::vector<int64_t>{77}));
  EXPECT_FALSE(login.IsLoggedIn());
  EXPECT_EQ(login.GetHandle(), kNoConnection);
  EXPECT_EQ(login.GetUserId(), -1);
  login.Logout();  // no connection: nothing to release
  EXPECT_EQ(fake.Calls("FreeDbHandler"), 1);
}

TEST_F(LoginTest, TheUserBlockAsTheClientReceivesIt) {
  ServeAttempts(1);
  TQoLogin login;
  ASSERT_TRUE(login.Login("ugyfel", "admin", "secret", false, ""));
  const std::vector<char> block = fake.Last("InitUserEx").bytes;
  ASSERT_EQ(block.size(), 211u);
  EXPECT_EQ(fake.Last("InitUserEx").ints, (std::vector<int64_t>{77}));
  auto u32 = [&](size_t at) {
    uint32_t v = 0;
    for (size_t i = 0; i < 4; ++i) v |= uint32_t(uint8_t(block[at + i])) << (8 * i);
    return v;
  };
  auto text = [&](size_t at) { return std::string(&block[at], strnlen(&block[at], 32)); };
  EXPECT_EQ(u32(0), 211u);
  EXPECT_EQ(u32(4), 2u);
  EXPECT_EQ(text(8), "ADMIN");  // the login's user in place of DefaultUser
  EXPECT_EQ(text(40), "GEP1");
  EXPECT_EQ(text(72), "srv1");
  EXPECT_EQ(text(104), "qordb");
  EXPECT_EQ(text(136), "");
  EXPECT_EQ(text(168), "rw");
  EXPECT_EQ(block[200], 1);
  EXPECT_EQ(block[201], 2);  // a DWORD gives its low byte
  EXPECT_EQ(block[202], 3);
  EXPECT_EQ(u32(203), 0x01020304u);
  EXPECT_EQ(u32(207), 0x0001001eu);
  // Every byte not written is 0, the rest of each text field included.
  for (size_t at : {13u, 44u, 76u, 109u, 136u, 170u}) EXPECT_EQ(block[at], 0) << at;
}

TEST_F(LoginTest, SettingsThatDoNotFitLeaveTheirFieldsEmpty) {
  TQoLogin login;
  UserInfoBlock block;
  ASSERT_TRUE(login.ReadSettings("alap", &block));
  EXPECT_EQ(block.GetText(UserInfoBlock::ServerAt), "");  // 32 characters
  EXPECT_EQ(block.GetText(UserInfoBlock::OpenmodeAt), "0123456789abcdef0123456789abcde");
  EXPECT_EQ(block.GetText(UserInfoBlock::UserAt), "");
  EXPECT_EQ(block.GetUInt32(UserInfoBlock::TimeoutAt), 7u);  // one byte of data
  EXPECT_EQ(block.bytes[UserInfoBlock::UseBlobAt], 0);

  struct Case {
    const char* name;
    const char* stored;
  };
  for (Case c : {Case{"ABCDEFGHIJKLMN", "ABCDEFGHIJKLMN"}, Case{"ABCDEFGHIJKLMNO", ""}}) {
    win::SetComputerNameForTesting(c.name);
    ASSERT_TRUE(login.ReadSettings("UGYFEL", &block));
    EXPECT_EQ(block.GetText(UserInfoBlock::ComputerAt), c.stored) << c.name;
  }
  EXPECT_FALSE(login.ReadSettings("NINCS", &block));
  EXPECT_FALSE(login.ReadSettings("", &block));
  EXPECT_EQ(block.GetUInt32(UserInfoBlock::SizeAt), 0u);  // cleared all the same

  StringVector list;
  login.GetDatabaseList(list);
  EXPECT_EQ(std::vector<std::string>(list.begin(), list.end()),
            (std::vector<std::string>{"ALAP", "UGYFEL"}));
}

TEST_F(LoginTest, SettingsOverwriteAUsedBlockWhole) {
  TQoLogin login;
  UserInfoBlock block;
  std::memset(block.bytes, 0xAB, sizeof block.bytes);
  ASSERT_TRUE(login.ReadSettings("UGYFEL", &block));
  // What the registry does not give, the reserved field with it, is 0.
  for (size_t at : {UserInfoBlock::ReservedAt, UserInfoBlock::ReservedAt + 31,
                    UserInfoBlock::ServerAt + 31, UserInfoBlock::OpenmodeAt + 31})
    EXPECT_EQ(block.bytes[at], 0) << at;
}

TEST_F(LoginTest, UserBlockTextsAreCutToTheirField) {
  UserInfoBlock block;
  block.Clear();
  block.PutText(UserInfoBlock::UserAt, std::string(40, 'U').c_str());
  EXPECT_EQ(block.GetText(UserInfoBlock::UserAt), std::string(31, 'U'));
  EXPECT_EQ(block.bytes[UserInfoBlock::UserAt + 31], 0);
  EXPECT_EQ(block.bytes[UserInfoBlock::ComputerAt], 0);
}

TEST_F(LoginTest, WrongPasswordIsToldAndAskedAgain) {
  ServeAttempts(2);
  ui.QueueDialog(TypeLogin("admin", "rossz"));
  ui.QueueDialog([](DialogDriver& d) {
    // The dialog comes back with what was typed.
    EXPECT_EQ(d.Text(TRdmLogin::kUserEdit), "ADMIN");
    EXPECT_EQ(d.Text(TRdmLogin::kDatabaseList), "UGYFEL");
    d.Backspace(TRdmLogin::kPasswordEdit);
    d.Type(TRdmLogin::kPasswordEdit, "secret");
    d.Press(win::IDOK);
  });
  TQoLogin login;
  ASSERT_TRUE(login.Login("", "", "", true, ""));
  ASSERT_EQ(ui.MessageBoxes().size(), 1u);
  const auto& box = ui.MessageBoxes()[0];
  EXPECT_EQ(box.text, "Ismeretlen a felhasználónév vagy hibás a jelszó!");
  EXPECT_EQ(box.caption, "Bejelentkezés");
  EXPECT_EQ(box.owner, nullptr);
  EXPECT_TRUE(box.flags & win::MB_TOPMOST);
  // The failed attempt's handle was released before the next one.
  EXPECT_EQ(fake.CallsOf("FreeDbHandler").size(), 1u);
  EXPECT_EQ(fake.Last("FreeDbHandler").ints, (std::vector<int64_t>{77}));
  EXPECT_EQ(login.GetHandle(), 78);
}

TEST_F(LoginTest, DisabledUserIsToldAndCancellingEndsWithoutConnection) {
  ServeAttempts(1);
  ui.QueueDialog(TypeLogin("tiltott", "pass"));
  ui.QueueDialog([](DialogDriver& d) { d.Escape(); });
  TQoLogin login;
  EXPECT_FALSE(login.Login("", "", "", true, ""));
  EXPECT_EQ(BoxTexts(), (std::vector<std::string>{"A felhasználó tiltott!"}));
  EXPECT_EQ(login.GetHandle(), kNoConnection);
  EXPECT_FALSE(login.IsLoggedIn());
  EXPECT_EQ(fake.Calls("CreateDbHandler"), 1);
  EXPECT_EQ(fake.Calls("FreeDbHandler"), 1);
  EXPECT_EQ(CurrentLoginDialog, nullptr);
}

TEST_F(LoginTest, NamesMatchInAnyCasePasswordsOnlyExactly) {
  struct Case {
    const char* user;
    const char* password;
    bool loggedIn;
    int userId;
  };
  // The login upper-cases both; "KIS" is stored with a lower-case password.
  for (Case c : {Case{"ADMIN", "SECRET", true, 5}, Case{"admin", "secret", true, 5},
                 Case{"kis", "secret", false, 7}, Case{"nobody", "x", false, -1}}) {
    ServeAttempts(1);
    ui.Clear();
    TQoLogin login;
    EXPECT_EQ(login.Login("UGYFEL", c.user, c.password, false, ""), c.loggedIn) << c.user;
    if (c.loggedIn) {
      EXPECT_EQ(login.GetUserId(), c.userId);
    }
    EXPECT_EQ(ui.MessageBoxes().size(), c.loggedIn ? 0u : 1u) << c.user;
  }
}

TEST_F(LoginTest, WithoutTheDialogAWrongPasswordEndsAfterOneAttempt) {
  ServeAttempts(2);
  TQoLogin login;
  EXPECT_FALSE(login.Login("UGYFEL", "ADMIN", "ROSSZ", false, ""));
  EXPECT_EQ(fake.Calls("CreateDbHandler"), 1);
  EXPECT_EQ(fake.Calls("FreeDbHandler"), 1);
  EXPECT_EQ(ui.MessageBoxes().size(), 1u);
  EXPECT_TRUE(ui.Dialogs().empty());
}

TEST_F(LoginTest, CancellingAtOnceMakesNoConnection) {
  TQoLogin login;
  EXPECT_FALSE(login.Login("", "", "", true, ""));  // no dialog script: Esc
  EXPECT_EQ(ui.Dialogs().size(), 1u);
  EXPECT_EQ(fake.Calls("CreateDbHandler"), 0);
  EXPECT_EQ(fake.Calls("FreeDbHandler"), 0);
}

TEST_F(LoginTest, MissingConfigurationGives10039) {
  TQoLogin login;
  Raised e = RaisedBy([&] { login.Login("nincs", "ADMIN", "SECRET", false, ""); });
  ASSERT_NE(e.code, 0);
  EXPECT_EQ(e.code, 10039);
  EXPECT_TRUE(e.args.empty());
  EXPECT_EQ(fake.Calls("CreateDbHandler"), 0);
  EXPECT_EQ(login.GetHandle(), kNoConnection);
}

TEST_F(LoginTest, ServerFailuresReleaseTheHandleAndPassOn) {
  struct Case {
    const char* entry;
    int status;
  };
  for (Case c : {Case{"InitUserEx", 10048}, Case{"SetCode", 10015}, Case{"OpenDbExA", 10003}}) {
    fake.ClearLog();
    fake.ScriptValue("CreateDbHandler", 77);
    fake.Script(c.entry, {c.status, {}, {}});
    if (std::string(c.entry) == "OpenDbExA") fake.Script("GetDbDescription", {10004, {}, {}});
    TQoLogin login;
    Raised e = RaisedBy([&] { login.Login("UGYFEL", "ADMIN", "SECRET", false, "KOD"); });
    ASSERT_NE(e.code, 0) << c.entry;
    EXPECT_EQ(e.code, c.status) << c.entry;
    EXPECT_EQ(fake.Last("FreeDbHandler").ints, (std::vector<int64_t>{77})) << c.entry;
    EXPECT_EQ(login.GetHandle(), kNoConnection);
    EXPECT_EQ(CurrentLoginDialog, nullptr);
  }
  EXPECT_EQ(fake.Last("SetCode").ints, (std::vector<int64_t>{77, 3}));
  EXPECT_EQ(fake.Last("SetCode").bytes, (std::vector<char>{'K', 'O', 'D'}));
}

TEST_F(LoginTest, AReleaseThatFailsDoesNotReplaceTheErrorPassedOn) {
  fake.ScriptValue("CreateDbHandler", 77);
  fake.Script("InitUserEx", {10048, {}, {}});
  fake.Remove("FreeDbHandler");
  TQoLogin login;
  Raised e = RaisedBy([&] { login.Login("UGYFEL", "ADMIN", "SECRET", false, ""); });
  ASSERT_NE(e.code, 0);
  EXPECT_EQ(e.code, 10048);
  EXPECT_TRUE(e.args.empty());
  EXPECT_EQ(login.GetHandle(), kNoConnection);
  EXPECT_FALSE(login.IsLoggedIn());
}

TEST_F(LoginTest, WithoutTheClientLibraryTheFirstLoginFailsAndCancellingStaysQuiet) {
#define QOR_TEST_REMOVE(name, bytes, params) fake.Remove(#name);
  QORDBCLI_ENTRIES(QOR_TEST_REMOVE)
#undef QOR_TEST_REMOVE
  TQoLogin login;
  ui.QueueDialog(TypeLogin("admin", "secret"));
  Raised e = RaisedBy([&] { login.Login("", "", "", true, ""); });
  ASSERT_NE(e.code, 0);
  EXPECT_EQ(e.message, "A függvény nem használható!\n (pfCreateDbHandler)");
  EXPECT_EQ(CurrentLoginDialog, nullptr);
  ui.QueueDialog([](DialogDriver& d) { d.Escape(); });
  EXPECT_FALSE(login.Login("", "", "", true, ""));
  EXPECT_NO_THROW(login.Logout());
}

TEST_F(LoginTest, DestructionLogsOutAndNeverThrows) {
  ServeAttempts(2);
  {
    TQoLogin login;
    ASSERT_TRUE(login.Login("UGYFEL", "ADMIN", "SECRET", false, ""));
  }
  EXPECT_EQ(fake.Last("FreeDbHandler").ints, (std::vector<int64_t>{77}));
  auto login = std::make_unique<TQoLogin>();
  ASSERT_TRUE(login->Login("UGYFEL", "ADMIN", "SECRET", false, ""));
  fake.Remove("FreeDbHandler");
  EXPECT_NO_THROW(login.reset());
}

TEST_F(LoginTest, ANewLoginLogsOutFirst) {
  ServeAttempts(2);
  TQoLogin login;
  ASSERT_TRUE(login.Login("UGYFEL", "ADMIN", "SECRET", false, ""));
  ASSERT_TRUE(login.Login("UGYFEL", "ADMIN", "SECRET", false, ""));
  EXPECT_EQ(fake.Last("FreeDbHandler").ints, (std::vector<int64_t>{77}));
  EXPECT_EQ(login.GetHandle(), 78);
}

}  // namespace
