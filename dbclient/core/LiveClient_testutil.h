// What the tests against the real client library share: a server made for the
// test, a login to it as an operator would make one, and the database map
// opened through that login.
#pragma once

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <utility>

#include "DbDescMap.h"
#include "FncLoader.h"
#include "ScriptedUi.h"
#include "TQoLogin.h"
#include "TestServer.h"

// Skipped where the client library is not next to the tests. The server has
// the user ADMIN (password SECRET), what Fill puts in it and the client
// configuration named at construction, through which the test is logged in.
class LiveClientTest : public ::testing::Test {
 protected:
  explicit LiveClientTest(std::string clientName) : clientName_(std::move(clientName)) {}

  virtual void Fill(QorTestServer& server) = 0;

  void SetUp() override {
    if (!GlobalFncLoader || !GlobalFncLoader->hModule)
      GTEST_SKIP() << "the client library is not next to the tests";
    server.emplace();
    server->AddUser("ADMIN", "SECRET");
    Fill(*server);
    QorClientConfig client;
    client.name = clientName_;
    server->AddClient(client);
    ASSERT_TRUE(login.Login(clientName_, "ADMIN", "SECRET", false, ""));
    map.SetHandle(login.GetHandle());
    ASSERT_TRUE(map.OpenAll(0));
  }
  void TearDown() override {
    if (server) login.Logout();
  }
  // Whether a SetUp that extends this one goes on: neither skipped nor failed.
  bool Ready() const { return !IsSkipped() && !HasFatalFailure(); }

  std::optional<QorTestServer> server;
  win::ScriptedUi ui;
  win::ScopedUiBackend installed{ui};
  TQoLogin login;
  DbDescMap map;

 private:
  std::string clientName_;
};
