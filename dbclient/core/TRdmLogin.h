// The login dialog: user name, password and client configuration. It fills
// the controls, keeps OK enabled only while everything is given, and hands
// the typed values back. The dialog procedure works on the object that
// CurrentLoginDialog points to.
#pragma once

#include <string>

#include "CMyDialogTemplate.h"
#include "QorUtils.h"
#include "WinDialog.h"
#include "WinUi.h"

class TRdmLogin {
 public:
  // Control ids, those of the template.
  static constexpr int kUserEdit = CMyDialogTemplate::kUserEdit;
  static constexpr int kPasswordEdit = CMyDialogTemplate::kPasswordEdit;
  static constexpr int kDatabaseList = CMyDialogTemplate::kDatabaseList;
  // Typing limit of both edits.
  static constexpr int kEditLimit = 15;

  TRdmLogin();
  virtual ~TRdmLogin();
  TRdmLogin(const TRdmLogin&) = delete;
  TRdmLogin& operator=(const TRdmLogin&) = delete;

  void SetUser(const std::string& user) { m_user = user; }
  void SetPassword(const std::string& password) { m_password = password; }
  void SetDatabase(const std::string& database) { m_database = database; }
  void SetDatabases(const StringVector& databases) { m_databases = databases; }
  const std::string& GetUser() const { return m_user; }
  const std::string& GetPassword() const { return m_password; }
  const std::string& GetDatabase() const { return m_database; }
  const StringVector& GetDatabases() const { return m_databases; }

  // Runs the dialog; true when the operator pressed OK.
  bool Execute();

  static win::INT_PTR DialogProc(win::HWND window, win::UINT message, win::WPARAM wParam,
                                 win::LPARAM lParam);

  void InitDialog(win::HWND window);
  void OnUserChange(win::HWND window);
  void OnPasswordChange(win::HWND window);
  void OnDatabaseChange(win::HWND window);

 private:
  std::string ReadItem(win::HWND window, int id) const;
  void UpdateOk(win::HWND window, bool selectionFound) const;

  std::string m_user;
  std::string m_password;
  std::string m_database;
  StringVector m_databases;
  CMyDialogTemplate m_template;
};

// The dialog of the login in progress; null when none runs.
extern TRdmLogin* CurrentLoginDialog;
