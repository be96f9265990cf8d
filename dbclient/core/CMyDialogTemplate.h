// The login dialog, described in memory without a dialog resource: a header
// and eight items that become a Windows in-memory dialog template each time
// the dialog runs.
#pragma once

#include <cstdint>
#include <string>

#include "WinDialog.h"
#include "WinUi.h"
#include "WinMemory.h"

struct RECT {
  int32_t left;
  int32_t top;
  int32_t right;
  int32_t bottom;
};

// One control of the template.
struct CDialogItem {
  win::DWORD style = 0;
  win::DWORD exStyle = 0;
  short x = 0, y = 0, cx = 0, cy = 0;  // dialog units
  short id = 0;
  short classAtom = 0;
  std::string title;

  // Position from rect (0, 0, 10, 10 without one), the style of the class;
  // a class other than button, edit, static and combobox stops the program.
  void Init(short classAtom, short id, const RECT* rect, const char* title);
};

class CMyDialogTemplate {
 public:
  static constexpr int kItemCount = 8;
  // Ids of the controls the login dialog fills and reads.
  static constexpr int kUserEdit = 985;
  static constexpr int kPasswordEdit = 986;
  static constexpr int kDatabaseList = 987;

  // The login dialog's header and items.
  CMyDialogTemplate();
  ~CMyDialogTemplate();
  CMyDialogTemplate(const CMyDialogTemplate&) = delete;
  CMyDialogTemplate& operator=(const CMyDialogTemplate&) = delete;

  // Builds the template and runs the dialog modally: its result, or 0 when
  // the template could not be built.
  int DoModal(win::DLGPROC proc);
  void FreeTemplate();

  // The size in bytes of the template as built: the header part, then each
  // item on a 4-byte boundary.
  size_t TemplateSize() const;
  // Writes the template into buffer, which holds TemplateSize() zeroed bytes.
  void WriteTemplate(unsigned char* buffer) const;

 private:
  win::DWORD m_style;
  win::DWORD m_exStyle;
  short m_itemCount;
  short m_x, m_y, m_cx, m_cy;
  std::string m_title;
  short m_pointSize;
  std::string m_typeface;
  CDialogItem m_items[kItemCount];
  win::HLOCAL m_template = nullptr;
};
