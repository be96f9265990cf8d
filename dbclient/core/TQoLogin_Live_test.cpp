// The login, the database map and tables against the real client library and
// a server made for the test.
#include <gtest/gtest.h>

#include <array>

#include "DbDescMap.h"
#include "FncLoader.h"
#include "LoginFixture_testutil.h"
#include "Raised_testutil.h"
#include "RdmTable.h"
#include "ScriptedUi.h"
#include "TQoLogin.h"
#include "TRdmLogin.h"
#include "TestServer.h"
#include "qordbcli_diag.h"

namespace {

using win::DialogDriver;

const char* kUgyfel = R"(database UGYFEL id 21 version 3.1.4.1
record UGYFEL
  UGY_ID   l unique
  VAROS    c 21
  UGY_NEV  c 41 key
end
)";

const char* kAlap = R"(database ALAP id 20 version 1.2.0.7
record ELERTIP
  ELET_ID     l unique
  ELET_TIPUS  c 41
end
)";

class LiveLoginTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!GlobalFncLoader || !GlobalFncLoader->hModule)
      GTEST_SKIP() << "the client library is not next to the tests";
    server.emplace();
    server->AddDatabase(kUgyfel);
    server->AddDatabase(kAlap);
    server->AddUser("ADMIN", "SECRET");
    server->AddUser("TILTOTT", "PASS", false);
    server->Load("UGYFEL", "UGYFEL",
                 "UGY_ID\tUGY_NEV\tVAROS\n"
                 "1\tKiss Ágnes\tGyőr\n"
                 "2\tAbai Péter\tPécs\n"
                 "3\tKiss Béla\tEger\n");
    QorClientConfig client;
    client.name = "UGYFEL";
    server->AddClient(client);
    QorClientConfig broken;
    broken.name = "ROSSZ";
    broken.service = "masik";
    server->AddClient(broken);
  }
  void TearDown() override {
    if (server) {
      EXPECT_EQ(QorDbCliOutstandingBuffers(), 0);
    }
  }
  std::string UserIdOf(size_t row) { return server->Records("SYSDB", "dbuser").at(row).at(0); }

  std::optional<QorTestServer> server;
  win::ScriptedUi ui;
  win::ScopedUiBackend installed{ui};
};

TEST_F(LiveLoginTest, TypedNameAndPasswordLogInAndAWrongOneIsAskedAgain) {
  ui.QueueDialog(TypeLogin("admin", "rossz"));
  ui.QueueDialog(TypeLogin("admin", "secret"));
  TQoLogin login;
  ASSERT_TRUE(login.Login("", "", "", true, ""));
  ASSERT_EQ(ui.MessageBoxes().size(), 1u);
  EXPECT_EQ(ui.MessageBoxes()[0].text, "Ismeretlen a felhasználónév vagy hibás a jelszó!");
  EXPECT_EQ(ui.MessageBoxes()[0].caption, "Bejelentkezés");
  EXPECT_EQ(std::to_string(login.GetUserId()), UserIdOf(0));
  EXPECT_EQ(login.GetUserName(), "ADMIN");
  EXPECT_EQ(login.GetServer(), server->Name());
  EXPECT_EQ(login.GetDatabase(), "UGYFEL");
  EXPECT_NE(login.GetHandle(), kNoConnection);
  login.Logout();
  EXPECT_EQ(login.GetHandle(), kNoConnection);
}

TEST_F(LiveLoginTest, DisabledUserCancelAndOneAttemptWithoutTheDialog) {
  ui.QueueDialog(TypeLogin("tiltott", "pass"));
  ui.QueueDialog([](DialogDriver& d) { d.Escape(); });
  TQoLogin login;
  EXPECT_FALSE(login.Login("", "", "", true, ""));
  ASSERT_EQ(ui.MessageBoxes().size(), 1u);
  EXPECT_EQ(ui.MessageBoxes()[0].text, "A felhasználó tiltott!");
  EXPECT_EQ(login.GetHandle(), kNoConnection);

  ui.Clear();
  EXPECT_FALSE(login.Login("UGYFEL", "ADMIN", "ROSSZ", false, ""));
  EXPECT_EQ(ui.MessageBoxes().size(), 1u);
  EXPECT_TRUE(ui.Dialogs().empty());
  EXPECT_TRUE(login.Login("ugyfel", "admin", "secret", false, ""));
}

TEST_F(LiveLoginTest, ConfigurationFailures) {
  TQoLogin login;
  Raised missing = RaisedBy([&] { login.Login("NINCS", "ADMIN", "SECRET", false, ""); });
  ASSERT_NE(missing.code, 0);
  EXPECT_EQ(missing.code, 10039);
  Raised service = RaisedBy([&] { login.Login("ROSSZ", "ADMIN", "SECRET", false, ""); });
  ASSERT_NE(service.code, 0);
  EXPECT_EQ(service.code, 10039);
  EXPECT_EQ(login.GetHandle(), kNoConnection);
}

// ---- The map and tables on the login's connection ----

class LiveMapTest : public LiveLoginTest {
 protected:
  void SetUp() override {
    LiveLoginTest::SetUp();
    if (IsSkipped()) return;
    ASSERT_TRUE(login.Login("UGYFEL", "ADMIN", "SECRET", false, ""));
    map.SetHandle(login.GetHandle());
  }
  TQoLogin login;
  DbDescMap map;
};

TEST_F(LiveMapTest, OpenAllOpensTheListedDatabasesThatOpen) {
  // A catalogue row for a database the server does not hold.
  server->Load("SYSDB", "tablespace", "name\tdbid\nNINCS\t77\n");
  ASSERT_TRUE(map.OpenAll(0));
  ASSERT_EQ(map.Count(), 3u);
  EXPECT_STREQ(map.GetDescriptionAt(0).GetName(), "ALAP");
  EXPECT_STREQ(map.GetDescriptionAt(1).GetName(), "SYSDB");
  EXPECT_STREQ(map.GetDescriptionAt(2).GetName(), "UGYFEL");
  EXPECT_EQ(VersionOf(map.GetDescription("ugyfel")), (std::array<int32_t, 4>{3, 1, 4, 1}));
  EXPECT_EQ(VersionOf(map.GetDescription("Alap")), (std::array<int32_t, 4>{1, 2, 0, 7}));
  EXPECT_TRUE(ui.MessageBoxes().empty());
  // Opening again: the server answers "already open" or serves the dictionary.
  EXPECT_TRUE(map.OpenDb("alap", 20, 0, false));
  EXPECT_EQ(map.Count(), 3u);
  EXPECT_FALSE(map.OpenDb("NINCS", 77, 0, true));
  EXPECT_NE(RaisedBy([&] { map.OpenDb("NINCS", 77, 0, false); }).code, 0);
}

TEST_F(LiveMapTest, TablesOnACopyReadAndWriteTheServer) {
  ASSERT_TRUE(map.OpenAll(0));
  DbDescription desc = map.GetDescription("UGYFEL");
  DbDescription other = map.GetDescription("UGYFEL");
  RdmTable t(&desc, "ugyfel");
  RdmTable u(&other, "UGYFEL");

  ASSERT_TRUE(t.Select("", 5));
  std::vector<std::string> names;
  while (t.Next()) names.push_back(t.GetField("ugy_nev").AsString());
  EXPECT_EQ(names, (std::vector<std::string>{"Kiss Ágnes", "Abai Péter", "Kiss Béla"}));
  EXPECT_FALSE(t.Next());
  EXPECT_TRUE(u.IsEmpty());  // the copies are independent

  t.SetFieldAlias("nev", "ugy_nev");
  t.GetField("nev").SetText("Kiss Béla");
  ASSERT_TRUE(t.Find("nev"));
  EXPECT_EQ(t.GetField("ugy_id").AsLong(), 3);
  // Option 0 on one table: another table on the same description rewrites
  // by the unique key and keeps its own key afterwards.
  RdmTable same(&desc, "UGYFEL");
  same.AddTableOption(0);
  t.GetField("varos").SetText("Sopron");
  EXPECT_TRUE(same.Update(1));
  EXPECT_EQ(t.GetKeyName(), "NEV");
  t.GetField("ugy_id").SetLong(3);
  ASSERT_TRUE(t.Find("ugy_id"));
  EXPECT_STREQ(t.GetField("varos").GetText(), "Sopron");

  u.GetField("ugy_id").SetLong(9);
  u.GetField("ugy_nev").SetText("Új Ügyfél");
  u.Append();
  EXPECT_EQ(u.GetCount(), 4);
  EXPECT_EQ(RaisedBy([&] { u.Append(); }).code, 10005);
}

TEST_F(LiveMapTest, BookmarksAndCursorsOnTheServer) {
  ASSERT_TRUE(map.OpenAll(0));
  DbDescription desc = map.GetDescription("UGYFEL");
  RdmTable t(&desc, "UGYFEL");
  ASSERT_TRUE(t.Go(0));
  ASSERT_TRUE(t.CreateBookmark("b"));
  EXPECT_EQ(RaisedBy([&] { t.CreateBookmark("b"); }).code, 2036);
  EXPECT_TRUE(t.CreateBookmark("B"));
  ASSERT_TRUE(t.SetBookmark("b"));
  ASSERT_TRUE(t.Go(3));
  ASSERT_TRUE(t.GetBookmark("b"));
  ASSERT_TRUE(t.Go(4));
  EXPECT_EQ(t.GetField("ugy_id").AsLong(), 1);

  t.DefineKey("ugy_id");
  ASSERT_TRUE(t.CreateCursor("nevek", "ugy_nev"));
  ASSERT_TRUE(t.GoCursor("nevek", 0));
  EXPECT_EQ(t.GetField("ugy_nev").AsString(), "Abai Péter");
  // Character keys order by their bytes: B before Á.
  ASSERT_TRUE(t.GoCursor("nevek", 2));
  EXPECT_EQ(t.GetField("ugy_nev").AsString(), "Kiss Béla");
  ASSERT_TRUE(t.GoCursor("nevek", 2));
  EXPECT_EQ(t.GetField("ugy_nev").AsString(), "Kiss Ágnes");
  EXPECT_FALSE(t.GoCursor("nevek", 2));
  EXPECT_EQ(t.GetKeyName(), "UGY_ID");
}

TEST_F(LiveMapTest, ServerParameters) {
  std::string volume;
  map.GetServerParam("VolumeId", volume);
  EXPECT_FALSE(volume.empty());
  std::string param;
  Raised unsupported = RaisedBy([&] { map.GetServerParam("RegLmgrName", param); });
  ASSERT_NE(unsupported.code, 0);  // the test server has no such setting
  EXPECT_EQ(unsupported.code, 10059);

  // Without the parameter entry the volume id comes through the extension package.
  QorFn_GetServerParam saved = GlobalFncLoader->pfGetServerParam;
  GlobalFncLoader->pfGetServerParam = nullptr;
  std::string viaPackage;
  Raised e = RaisedBy([&] { map.GetServerParam("VolumeId", viaPackage); });
  Raised lower = RaisedBy([&] { map.GetServerParam("volumeid", param); });
  GlobalFncLoader->pfGetServerParam = saved;
  EXPECT_EQ(e.code, 0);
  EXPECT_EQ(viaPackage, volume);
  ASSERT_NE(lower.code, 0);
  EXPECT_EQ(lower.code, 10038);
}

}  // namespace
