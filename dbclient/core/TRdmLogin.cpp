#include "TRdmLogin.h"

#include <vector>

TRdmLogin* CurrentLoginDialog = nullptr;

TRdmLogin::TRdmLogin() = default;

// The template frees its memory in its own destructor.
TRdmLogin::~TRdmLogin() = default;

bool TRdmLogin::Execute() {
  // Only OK ends the dialog with 1; a dialog that could not be shown (-1)
  // is no confirmation.
  return m_template.DoModal(&TRdmLogin::DialogProc) > 0;
}

win::INT_PTR TRdmLogin::DialogProc(win::HWND window, win::UINT message, win::WPARAM wParam,
                                   win::LPARAM /*lParam*/) {
  TRdmLogin* dialog = CurrentLoginDialog;
  if (dialog == nullptr) return win::FALSE;
  if (message == win::WM_INITDIALOG) {
    dialog->InitDialog(window);
    return win::TRUE;
  }
  if (message != win::WM_COMMAND) return win::FALSE;
  const int id = win::LOWORD(wParam);
  const win::WORD code = win::HIWORD(wParam);
  if (id == win::IDOK) {
    win::EndDialog(window, 1);
    return win::TRUE;
  }
  if (id == win::IDCANCEL) {
    win::EndDialog(window, 0);
    return win::TRUE;
  }
  if (code == win::CBN_SELCHANGE) {
    dialog->OnDatabaseChange(window);
    return win::TRUE;
  }
  if (code == win::EN_CHANGE) {
    if (id == kUserEdit) dialog->OnUserChange(window);
    if (id == kPasswordEdit) dialog->OnPasswordChange(window);
    return win::TRUE;
  }
  return win::FALSE;
}

void TRdmLogin::InitDialog(win::HWND window) {
  win::SetDlgItemTextA(window, kUserEdit, m_user.c_str());
  win::SendDlgItemMessageA(window, kUserEdit, win::EM_LIMITTEXT, kEditLimit, 0);
  win::SetDlgItemTextA(window, kPasswordEdit, m_password.c_str());
  win::SendDlgItemMessageA(window, kPasswordEdit, win::EM_LIMITTEXT, kEditLimit, 0);

  win::SendDlgItemMessageA(window, kDatabaseList, win::CB_RESETCONTENT, 0, 0);
  for (std::string& name : m_databases) {
    UpperInPlace(name);
    win::SendDlgItemMessageA(window, kDatabaseList, win::CB_ADDSTRING, 0,
                             reinterpret_cast<win::LPARAM>(name.c_str()));
  }
  win::LRESULT found = win::SendDlgItemMessageA(window, kDatabaseList, win::CB_SELECTSTRING,
                                                static_cast<win::WPARAM>(-1),
                                                reinterpret_cast<win::LPARAM>(m_database.c_str()));
  // The selection is what OK logs in to, so a preset that is the beginning
  // of a configuration's name becomes that name.
  if (found != win::CB_ERR) m_database = ReadItem(window, kDatabaseList);
  UpdateOk(window, found != win::CB_ERR);
}

void TRdmLogin::OnUserChange(win::HWND window) {
  m_user = ReadItem(window, kUserEdit);
  UpdateOk(window, true);
}

void TRdmLogin::OnPasswordChange(win::HWND window) {
  m_password = ReadItem(window, kPasswordEdit);
  UpdateOk(window, true);
}

void TRdmLogin::OnDatabaseChange(win::HWND window) {
  m_database = ReadItem(window, kDatabaseList);
  UpdateOk(window, true);
}

std::string TRdmLogin::ReadItem(win::HWND window, int id) const {
  char buffer[100] = {};
  win::GetDlgItemTextA(window, id, buffer, sizeof buffer);
  return buffer;
}

void TRdmLogin::UpdateOk(win::HWND window, bool selectionFound) const {
  const bool complete =
      selectionFound && !m_user.empty() && !m_password.empty() && !m_database.empty();
  win::EnableWindow(win::GetDlgItem(window, win::IDOK), complete ? win::TRUE : win::FALSE);
}
