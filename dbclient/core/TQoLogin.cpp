#include "TQoLogin.h"

#include <cstring>

#include "FncLoader.h"
#include "SecurityCode.h"
#include "TRdmLogin.h"
#include "WinHost.h"
#include "WinRegistry.h"
#include "WinUi.h"

namespace {

constexpr const char* kClientsKey = "SOFTWARE\\QODBCLIENTS";
constexpr win::DWORD kValueBuffer = 260;

void LoginBox(const char* text) {
  win::MessageBoxA(nullptr, text, "Bejelentkezés", win::MB_TOPMOST);
}

// A registry value into a zeroed 260-byte buffer; false when it is missing
// or does not fit.
bool ReadValue(win::HKEY key, const char* name, win::BYTE (&buffer)[kValueBuffer],
               win::DWORD& size) {
  std::memset(buffer, 0, sizeof buffer);
  win::DWORD type = 0;
  size = kValueBuffer;
  return win::RegQueryValueExA(key, name, nullptr, &type, buffer, &size) == win::ERROR_SUCCESS;
}

}  // namespace

TQoLogin::TQoLogin() { CurrentLoginDialog = nullptr; }

TQoLogin::~TQoLogin() {
  if (m_loggedIn) LogoutQuietly();
}

bool TQoLogin::Login(std::string database, std::string user, std::string password,
                     bool showDialog, std::string code) {
  m_database = std::move(database);
  m_user = std::move(user);
  m_password = std::move(password);
  m_code = std::move(code);
  UpperInPlace(m_user);
  UpperInPlace(m_password);
  UpperInPlace(m_database);
  try {
    if (m_loggedIn) Logout();
    StringVector list;
    GetDatabaseList(list);
    if (CurrentLoginDialog == nullptr) CurrentLoginDialog = new TRdmLogin;
    CurrentLoginDialog->SetDatabases(list);
    CurrentLoginDialog->SetDatabase(m_database);
    CurrentLoginDialog->SetUser(m_user);
    CurrentLoginDialog->SetPassword(m_password);
    while (Connect(showDialog) && !m_loggedIn) {
    }
    if (m_loggedIn) {
      delete CurrentLoginDialog;
      CurrentLoginDialog = nullptr;
    } else {
      Logout();
    }
    return m_loggedIn;
  } catch (...) {
    LogoutQuietly();
    throw;
  }
}

void TQoLogin::Logout() {
  // Without a connection there is nothing to release, and a client library
  // that is missing must not turn a cancelled login into a failure.
  if (m_handle != kNoConnection) QOR_ENTRY(FreeDbHandler)(m_handle);
  ForgetConnection();
}

void TQoLogin::LogoutQuietly() noexcept {
  if (m_handle != kNoConnection && GlobalFncLoader != nullptr &&
      GlobalFncLoader->pfFreeDbHandler != nullptr)
    GlobalFncLoader->pfFreeDbHandler(m_handle);
  ForgetConnection();
}

void TQoLogin::ForgetConnection() noexcept {
  m_handle = kNoConnection;
  m_loggedIn = false;
  m_userId = -1;
  delete CurrentLoginDialog;
  CurrentLoginDialog = nullptr;
}

bool TQoLogin::Connect(bool showDialog) {
  if (showDialog) {
    if (CurrentLoginDialog == nullptr) CurrentLoginDialog = new TRdmLogin;
    if (!CurrentLoginDialog->Execute()) return false;
    m_user = CurrentLoginDialog->GetUser();
    m_password = CurrentLoginDialog->GetPassword();
    m_database = CurrentLoginDialog->GetDatabase();
  }
  if (!ReadSettings(m_database, &m_block)) throw DbDescError(10039);
  m_block.PutText(UserInfoBlock::UserAt, m_user.c_str());

  QorFn_CreateDbHandler createHandler = QOR_ENTRY(CreateDbHandler);
  QorFn_InitUserEx initUser = QOR_ENTRY(InitUserEx);
  int32_t handle = kNoConnection;
  int status = createHandler(&handle);
  if (status != 0) throw DbDescError(status);
  m_handle = handle;
  status = initUser(m_handle, m_block.bytes);
  if (status != 0) throw DbDescError(status);
  if (!m_code.empty()) {
    status = QOR_ENTRY(SetCode)(m_handle, static_cast<int32_t>(m_code.size()), m_code.c_str());
    if (status != 0) throw DbDescError(status);
  }

  m_map.SetHandle(m_handle);
  if (!m_map.OpenDb("SYSDB", 19, 0, false)) throw DbDescError(10004);
  m_catalogue = m_map.GetDescription("SYSDB");
  m_users = RdmTable(&m_catalogue, "dbuser");

  m_loggedIn = CheckUser(m_user.c_str(), m_password.c_str());
  if (m_loggedIn) return true;
  QOR_ENTRY(FreeDbHandler)(m_handle);
  m_handle = kNoConnection;
  return showDialog;
}

bool TQoLogin::CheckUser(const char* user, const char* password) {
  SecurityCode code;
  // User names match without regard to case, a to z only, whatever the
  // process locale; the user's side is upper-cased once for every row.
  const std::string wantedUser = ToUpper(user != nullptr ? user : "");
  bool found = false;
  bool enabled = false;
  try {
    m_users.Select("", 5);
    while (!found && m_users.Next()) {
      std::string name = m_users.GetField("NAME").AsString();
      std::string stored = m_users.GetField("psw").AsString();
      code.Decode(static_cast<unsigned>(name.size()), name.data());
      code.Decode(static_cast<unsigned>(stored.size()), stored.data());
      if (ToUpper(name) == wantedUser && stored == (password != nullptr ? password : "")) {
        found = true;
        m_userId = static_cast<int>(m_users.GetField("userid").AsLong());
        enabled = m_users.GetField("enabled").AsChar() == 1;
      }
    }
  } catch (const QorExceptBase&) {
    return false;
  }
  if (!found) {
    LoginBox("Ismeretlen a felhasználónév vagy hibás a jelszó!");
    return false;
  }
  if (!enabled) {
    LoginBox("A felhasználó tiltott!");
    return false;
  }
  return true;
}

void TQoLogin::GetDatabaseList(StringVector& out) {
  win::HKEY key = nullptr;
  if (win::RegOpenKeyExA(win::HKEY_LOCAL_MACHINE, kClientsKey, 0, win::KEY_READ, &key) !=
      win::ERROR_SUCCESS)
    return;
  char name[260];
  for (win::DWORD index = 0;; ++index) {
    win::LONG status = win::RegEnumKeyA(key, index, name, sizeof name);
    if (status == win::ERROR_SUCCESS)
      out << name;
    else if (status != win::ERROR_MORE_DATA)
      break;  // past the last; a name too long is skipped
  }
  win::RegCloseKey(key);
}

bool TQoLogin::ReadSettings(std::string database, UserInfoBlock* block) {
  block->Clear();
  // No name would open the list of configurations itself.
  if (database.empty()) return false;
  win::HKEY key = nullptr;
  const std::string path = std::string(kClientsKey) + "\\" + database;
  if (win::RegOpenKeyExA(win::HKEY_LOCAL_MACHINE, path.c_str(), 0, win::KEY_READ, &key) !=
      win::ERROR_SUCCESS)
    return false;

  win::BYTE buffer[kValueBuffer];
  win::DWORD size = 0;
  const struct {
    const char* name;
    size_t at;
  } texts[] = {{"Service", UserInfoBlock::ServiceAt},
               {"Server", UserInfoBlock::ServerAt},
               {"DefaultUser", UserInfoBlock::UserAt},
               {"Openmode", UserInfoBlock::OpenmodeAt}};
  for (const auto& text : texts) {
    if (!ReadValue(key, text.name, buffer, size)) continue;
    const char* value = reinterpret_cast<const char*>(buffer);
    // A text of 32 or more characters does not fit its field: left empty.
    if (strnlen(value, kValueBuffer) < UserInfoBlock::TextFieldSize) block->PutText(text.at, value);
  }
  const struct {
    const char* name;
    size_t at;
  } bytes[] = {{"UseBlob", UserInfoBlock::UseBlobAt},
               {"EnableEvents", UserInfoBlock::EnableEventsAt},
               {"UseLock", UserInfoBlock::UseLockAt}};
  for (const auto& value : bytes)
    if (ReadValue(key, value.name, buffer, size)) block->PutByte(value.at, buffer[0]);
  if (ReadValue(key, "Timeout", buffer, size)) {
    // The first four bytes as they stand; a shorter value leaves zeros.
    for (size_t i = 0; i < 4; ++i) block->PutByte(UserInfoBlock::TimeoutAt + i, buffer[i]);
  }

  char computer[15] = {};
  win::DWORD computerSize = sizeof computer;
  if (win::GetComputerNameA(computer, &computerSize))
    block->PutText(UserInfoBlock::ComputerAt, computer);

  block->PutUInt32(UserInfoBlock::ProcessIdAt, win::GetCurrentProcessId());
  block->PutUInt32(UserInfoBlock::SizeAt, UserInfoBlock::Size);
  block->PutUInt32(UserInfoBlock::VersionAt, 2);
  // The reserved field stays the empty text that Clear left.
  win::RegCloseKey(key);
  return true;
}
