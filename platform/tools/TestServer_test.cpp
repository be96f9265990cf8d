#include "TestServer.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "QorServerTool.h"
#include "WinRegistry.h"

namespace {

std::string Env(const char* name) {
  const char* v = std::getenv(name);
  return v ? v : "<unset>";
}

TEST(QorTestServer, LivesInItsOwnFolderAndPutsTheEnvironmentBack) {
  setenv("QORDB_ROOT", "/elsewhere", 1);
  unsetenv("QOR_REGISTRY");
  std::string folder;
  {
    QorTestServer server("UGYFELSRV");
    folder = server.Folder();
    EXPECT_TRUE(std::filesystem::is_regular_file(folder + "/UGYFELSRV"));
    EXPECT_EQ(Env("QORDB_ROOT"), folder);
    EXPECT_EQ(Env("QOR_REGISTRY"), server.RegistryPath());
    EXPECT_EQ(qordb::ServerAdmin::ResolveServerPath(server.Name()), server.Path());
  }
  EXPECT_FALSE(std::filesystem::exists(folder));
  EXPECT_EQ(Env("QORDB_ROOT"), "/elsewhere");
  EXPECT_EQ(Env("QOR_REGISTRY"), "<unset>");
  unsetenv("QORDB_ROOT");
}

TEST(QorTestServer, ReportsFailuresWithTheToolsMessages) {
  QorTestServer server;
  EXPECT_THROW(server.AddDatabase("database D\nrecord R\n"), ToolError);
  server.AddDatabase("database D\nrecord R\n  A l unique\n  B c 5\nend\n");
  try {
    server.Load("D", "R", "A\tB\n1\tx\n1\ty\n");
    ADD_FAILURE();
  } catch (const ToolError& e) {
    EXPECT_NE(std::string(e.what()).find("line 3"), std::string::npos) << e.what();
  }
  EXPECT_TRUE(server.Records("D", "R").empty());
  server.AddSequence("SEQ", 5, 2);
  EXPECT_THROW(server.AddSequence("seq", 1, 1), ToolError);
}

using namespace win;

DWORD DwordValue(HKEY key, const char* name) {
  DWORD type = 0, value = 0, size = sizeof value;
  EXPECT_EQ(RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size), ERROR_SUCCESS)
      << name;
  EXPECT_EQ(type, win::REG_DWORD) << name;
  return value;
}

std::string TextValue(HKEY key, const char* name) {
  DWORD type = 0;
  BYTE data[260] = {};
  DWORD size = sizeof data;
  EXPECT_EQ(RegQueryValueExA(key, name, nullptr, &type, data, &size), ERROR_SUCCESS) << name;
  EXPECT_EQ(type, win::REG_SZ) << name;
  return reinterpret_cast<const char*>(data);
}

// The client configurations as the login reads them through the registry.
TEST(QorTestServer, WritesClientConfigurationsTheRegistryReads) {
  QorTestServer server("SRV");
  QorClientConfig alap;
  alap.name = "ALAP";
  alap.defaultUser = "ADMIN";
  alap.timeout = 45;
  alap.useLock = 1;
  server.AddClient(alap);
  QorClientConfig other;
  other.name = "KELVADO";
  other.server = "/abs/path \"quoted\"\\x";
  other.service = "other";
  other.enableEvents = 0x101;
  server.AddClient(other);
  alap.useBlob = 1;
  server.AddClient(alap);  // replaces the first ALAP

  HKEY list = nullptr;
  ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\QODBCLIENTS", 0, KEY_READ, &list), ERROR_SUCCESS);
  char name[260];
  std::vector<std::string> names;
  for (DWORD i = 0; RegEnumKeyA(list, i, name, sizeof name) == ERROR_SUCCESS; ++i) names.push_back(name);
  RegCloseKey(list);
  EXPECT_EQ(names, (std::vector<std::string>{"ALAP", "KELVADO"}));

  HKEY key = nullptr;
  ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\QODBCLIENTS\\ALAP", 0, KEY_READ, &key), ERROR_SUCCESS);
  EXPECT_EQ(TextValue(key, "Service"), "qordb");
  EXPECT_EQ(TextValue(key, "Server"), "SRV");
  EXPECT_EQ(TextValue(key, "DefaultUser"), "ADMIN");
  EXPECT_EQ(TextValue(key, "Openmode"), "0");
  EXPECT_EQ(DwordValue(key, "UseBlob"), 1u);
  EXPECT_EQ(DwordValue(key, "UseLock"), 1u);
  EXPECT_EQ(DwordValue(key, "EnableEvents"), 0u);
  EXPECT_EQ(DwordValue(key, "Timeout"), 45u);
  RegCloseKey(key);

  ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\QODBCLIENTS\\KELVADO", 0, KEY_READ, &key), ERROR_SUCCESS);
  EXPECT_EQ(TextValue(key, "Server"), "/abs/path \"quoted\"\\x");
  EXPECT_EQ(TextValue(key, "Service"), "other");
  EXPECT_EQ(DwordValue(key, "EnableEvents"), 0x101u);
  RegCloseKey(key);
}

}  // namespace
