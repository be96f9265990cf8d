// One logged-in connection to a database server: the login dialog, the
// client configuration's settings from the registry, the connection handle
// and the check of user and password against SYSDB "dbuser".
#pragma once

#include <string>

#include "DbDescMap.h"
#include "DbDescription.h"
#include "QorUtils.h"
#include "RdmTable.h"
#include "UserInfoBlock.h"

class TQoLogin {
 public:
  TQoLogin();
  // Logs out when logged in; never throws.
  ~TQoLogin();
  TQoLogin(const TQoLogin&) = delete;
  TQoLogin& operator=(const TQoLogin&) = delete;

  // Asks (with the dialog) until the login is made or cancelled; without
  // the dialog makes one attempt. A library failure logs out and is thrown on.
  bool Login(std::string database, std::string user, std::string password, bool showDialog,
             std::string code);
  // Releases the connection, if there is one.
  void Logout();
  // Logout that cannot fail, for paths that must not throw: the program's
  // exit, or an error already on its way out.
  void LogoutQuietly() noexcept;
  // One attempt; true when logged in, else showDialog (ask again).
  bool Connect(bool showDialog);
  // The client configuration's values into block; false when it is missing.
  bool ReadSettings(std::string database, UserInfoBlock* block);
  // The names of the client configurations in the registry.
  void GetDatabaseList(StringVector& out);
  // Against the catalogue; a mismatch or a disabled user is told in a box.
  bool CheckUser(const char* user, const char* password);

  bool IsLoggedIn() const { return m_loggedIn; }
  int GetHandle() const { return m_handle; }
  std::string GetUserName() const { return m_block.GetText(UserInfoBlock::UserAt); }
  int GetUserId() const { return m_userId; }
  const std::string& GetDatabase() const { return m_database; }
  std::string GetServer() const { return m_block.GetText(UserInfoBlock::ServerAt); }

 private:
  // Not logged in, no handle, no dialog.
  void ForgetConnection() noexcept;

  int m_handle = kNoConnection;
  bool m_loggedIn = false;
  UserInfoBlock m_block{};
  int m_userId = -1;
  std::string m_user;
  std::string m_password;
  std::string m_database;
  std::string m_code;
  DbDescMap m_map;
  DbDescription m_catalogue;
  RdmTable m_users;
};
