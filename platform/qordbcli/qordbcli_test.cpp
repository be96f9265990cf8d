// The client entries against a real server file, as the client library
// calls them.
#include "qordbcli.h"

#include <gtest/gtest.h>

#include <cstring>
#include <set>

#include "qordbcli_diag.h"
#include "ServerAdmin.h"
#include "TestServer_testutil.h"

namespace {

class Entries : public ::testing::Test {
 protected:
  void SetUp() override { buffersBefore_ = QorDbCliOutstandingBuffers(); }
  void TearDown() override {
    // Every buffer an entry handed out has been released by now.
    EXPECT_EQ(QorDbCliOutstandingBuffers(), buffersBefore_);
  }
  TestServer server_;

 private:
  int64_t buffersBefore_ = 0;
};

TEST_F(Entries, ConnectionNeedsTheQordbServiceAndAnExistingServer) {
  struct Case {
    const char* server;
    const char* service;
    int status;
  };
  const std::string absolute = server_.path;
  const Case cases[] = {
      {"SRV", "qordb", 0},
      {absolute.c_str(), "qordb", 0},
      {"SRV", "QORDB", 10039},
      {"SRV", "", 10039},
      {"NOSUCH", "qordb", 10039},
      {"", "qordb", 10039},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.server) + "/" + c.service);
    int32_t h = 10014;
    ASSERT_EQ(CreateDbHandler(&h), 0);
    std::vector<char> block = UserBlock(c.server, c.service);
    EXPECT_EQ(InitUserEx(h, block.data()), c.status);
    EXPECT_EQ(OpenDbExA(h, 19, "SYSDB", 0), c.status == 0 ? 0 : 10015);
    EXPECT_EQ(FreeDbHandler(h), 0);
  }
  // A server that is not one: a stray file under the root.
  FILE* f = fopen((server_.dir + "/JUNK").c_str(), "w");
  fputs("not a server", f);
  fclose(f);
  int32_t h;
  ASSERT_EQ(CreateDbHandler(&h), 0);
  std::vector<char> block = UserBlock("JUNK");
  EXPECT_EQ(InitUserEx(h, block.data()), 10039);
  EXPECT_EQ(FreeDbHandler(h), 0);
}

TEST_F(Entries, BadHandlesAndPointersGetTheirStatus) {
  EXPECT_EQ(CreateDbHandler(nullptr), 10050);
  EXPECT_EQ(InitUserEx(12345, nullptr), 10015);
  EXPECT_EQ(FreeDbHandler(12345), 10015);
  EXPECT_EQ(FreeDbHandler(10014), 10015);
  int32_t h;
  ASSERT_EQ(CreateDbHandler(&h), 0);
  EXPECT_EQ(InitUserEx(h, nullptr), 10050);
  char* image = nullptr;
  int32_t size = 0;
  EXPECT_EQ(GetDbDescription(h, 19, &image, &size), 10015) << "no user block sent yet";
  EXPECT_EQ(FreeDbHandler(h), 0);
  EXPECT_EQ(FreeDbHandler(h), 10015) << "released once only";
  EXPECT_EQ(FreePtr(nullptr), 10050);
  char local[8];
  EXPECT_EQ(FreePtr(local), 10050) << "a buffer the library did not hand out is left alone";
}

TEST_F(Entries, HandlesAreNeverTheNoConnectionValue) {
  std::vector<int32_t> handles;
  std::set<int32_t> seen;
  for (int i = 0; i < 10020; ++i) {
    int32_t h = 0;
    ASSERT_EQ(CreateDbHandler(&h), 0);
    ASSERT_NE(h, 10014);
    ASSERT_TRUE(seen.insert(h).second);
    handles.push_back(h);
  }
  for (int32_t h : handles) ASSERT_EQ(FreeDbHandler(h), 0);
}

TEST_F(Entries, OpeningDatabases) {
  int32_t h;
  ASSERT_EQ(CreateDbHandler(&h), 0);
  std::vector<char> block = UserBlock("SRV");
  ASSERT_EQ(InitUserEx(h, block.data()), 0);
  Owned image;
  int32_t size = 0;
  EXPECT_EQ(GetDbDescription(h, 19, &image, &size), 10004) << "the client opens what it cannot read";
  EXPECT_EQ(OpenDbExA(h, 19, "sysdb", 0), 0);
  EXPECT_EQ(OpenDbExA(h, 19, "SYSDB", 0), 10020);
  EXPECT_EQ(OpenDbExA(h, server_.shopId, "nosuch", 0), 10003);
  EXPECT_EQ(OpenDbExA(h, server_.shopId + 50, "shop", 0), 10017);
  EXPECT_EQ(OpenDbExA(h, server_.shopId, nullptr, 0), 10050);
  EXPECT_EQ(OpenDbExA(h, server_.shopId, "sHoP", 0), 0);
  EXPECT_EQ(GetDbDescription(h, server_.shopId, &image, &size), 0);
  qordb::ServerAdmin admin(server_.path);
  std::vector<char> stored = admin.DictionaryImage("SHOP");
  ASSERT_EQ(size, static_cast<int32_t>(stored.size()));
  EXPECT_EQ(std::memcmp(image.p, stored.data(), size), 0);
  EXPECT_EQ(GetDbDescription(h, server_.shopId, nullptr, &size), 10050);
  EXPECT_EQ(CloseDb(h, server_.shopId), 0);
  EXPECT_EQ(CloseDb(h, server_.shopId), 10019);
  Owned again;
  EXPECT_EQ(GetDbDescription(h, server_.shopId, &again, &size), 10004);
  EXPECT_EQ(FreeDbHandler(h), 0);
}

}  // namespace
