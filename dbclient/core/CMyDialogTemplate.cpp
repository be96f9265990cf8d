#include "CMyDialogTemplate.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include "WinText.h"
#include "WinUi.h"

namespace {

// A broken template is a programming error: stop as an assertion would.
[[noreturn]] void AssertionFailed(const char* expression, int line) {
  std::fprintf(stderr, "Assertion failed: %s, file itemtemp, line %d\n", expression, line);
  std::abort();
}

// UTF-16 units of text with its NUL, as the ANSI conversion gives them.
size_t WideUnits(const std::string& text) {
  int units = win::MultiByteToWideChar(win::CP_ACP, 0, text.c_str(), -1, nullptr, 0);
  return units > 0 ? static_cast<size_t>(units) : 1;
}

size_t AlignUp4(size_t n) { return (n + 3) & ~static_cast<size_t>(3); }

constexpr size_t kItemFixed = sizeof(win::DLGITEMTEMPLATE) + 4 + 2;  // + class atom, + creation data

size_t ItemSize(const CDialogItem& item) { return kItemFixed + 2 * WideUnits(item.title); }

class Writer {
 public:
  explicit Writer(unsigned char* start) : m_start(start), m_at(start) {}
  void Word(uint16_t v) {
    m_at[0] = static_cast<unsigned char>(v);
    m_at[1] = static_cast<unsigned char>(v >> 8);
    m_at += 2;
  }
  void DWord(uint32_t v) {
    Word(static_cast<uint16_t>(v));
    Word(static_cast<uint16_t>(v >> 16));
  }
  void Short(short v) { Word(static_cast<uint16_t>(v)); }
  void Text(const std::string& text) {
    const int units = static_cast<int>(WideUnits(text));
    std::u16string wide(static_cast<size_t>(units), u'\0');
    int actual = win::MultiByteToWideChar(win::CP_ACP, 0, text.c_str(), -1, wide.data(), units);
    if (!(actual > 0)) AssertionFailed("nActualChars > 0", 161);
    for (int i = 0; i < actual; ++i) Word(static_cast<uint16_t>(wide[static_cast<size_t>(i)]));
  }
  void Align4() {
    while ((m_at - m_start) % 4 != 0) *m_at++ = 0;
  }
  size_t Written() const { return static_cast<size_t>(m_at - m_start); }

 private:
  unsigned char* m_start;
  unsigned char* m_at;
};

}  // namespace

void CDialogItem::Init(short atom, short itemId, const RECT* rect, const char* text) {
  if (rect != nullptr) {
    x = static_cast<short>(rect->left);
    y = static_cast<short>(rect->top);
    cx = static_cast<short>(rect->right - rect->left);
    cy = static_cast<short>(rect->bottom - rect->top);
  } else {
    x = 0;
    y = 0;
    cx = 10;
    cy = 10;
  }
  classAtom = atom;
  id = itemId;
  exStyle = 0;
  title = text != nullptr ? text : "";
  switch (atom) {
    case win::DLG_CLASS_BUTTON:
      style = win::WS_CHILD | win::WS_VISIBLE | win::WS_TABSTOP |
              (itemId == win::IDOK ? win::BS_DEFPUSHBUTTON : 0);
      break;
    case win::DLG_CLASS_EDIT:
      style = win::WS_CHILD | win::WS_VISIBLE | win::WS_BORDER | win::WS_TABSTOP |
              win::ES_UPPERCASE |
              (itemId == CMyDialogTemplate::kPasswordEdit ? win::ES_PASSWORD : 0);
      break;
    case win::DLG_CLASS_STATIC:
      style = win::WS_CHILD | win::WS_VISIBLE;
      break;
    case win::DLG_CLASS_COMBOBOX:
      style = win::WS_CHILD | win::WS_VISIBLE | win::WS_BORDER | win::WS_TABSTOP | 0x010b;
      break;
    default:
      AssertionFailed("FALSE", 246);
  }
}

CMyDialogTemplate::CMyDialogTemplate()
    : m_style(win::WS_POPUP | win::WS_VISIBLE | win::WS_CAPTION | win::DS_CENTER |
              win::DS_MODALFRAME | win::DS_SETFONT),
      m_exStyle(win::WS_EX_TOPMOST),
      m_itemCount(kItemCount),
      m_x(0),
      m_y(0),
      m_cx(160),
      m_cy(75),
      m_title("Bejelentkezés"),
      m_pointSize(8),
      m_typeface("MS Sans Serif") {
  struct ItemValues {
    short atom, id;
    RECT rect;
    const char* title;
  };
  const ItemValues items[kItemCount] = {
      {win::DLG_CLASS_STATIC, 982, {10, 9, 58, 19}, "Felhasználó:"},
      {win::DLG_CLASS_EDIT, kUserEdit, {60, 7, 150, 19}, ""},
      {win::DLG_CLASS_STATIC, 983, {10, 24, 58, 34}, "Jelszó:"},
      {win::DLG_CLASS_EDIT, kPasswordEdit, {60, 22, 150, 34}, ""},
      {win::DLG_CLASS_STATIC, 984, {10, 39, 58, 49}, "Adatbázis:"},
      {win::DLG_CLASS_COMBOBOX, kDatabaseList, {60, 37, 150, 125}, ""},
      {win::DLG_CLASS_BUTTON, win::IDOK, {22, 55, 72, 70}, "OK"},
      {win::DLG_CLASS_BUTTON, win::IDCANCEL, {85, 55, 135, 70}, "Mégse"},
  };
  for (int i = 0; i < kItemCount; ++i)
    m_items[i].Init(items[i].atom, items[i].id, &items[i].rect, items[i].title);
}

CMyDialogTemplate::~CMyDialogTemplate() { FreeTemplate(); }

void CMyDialogTemplate::FreeTemplate() {
  if (m_template != nullptr) {
    win::LocalFree(m_template);
    m_template = nullptr;
  }
}

size_t CMyDialogTemplate::TemplateSize() const {
  size_t size = sizeof(win::DLGTEMPLATE) + 2 + 2 + 2 * WideUnits(m_title) + 2 +
                2 * WideUnits(m_typeface);
  for (int i = 0; i < m_itemCount; ++i) {
    size = AlignUp4(size);
    size += ItemSize(m_items[i]);
  }
  return size;
}

void CMyDialogTemplate::WriteTemplate(unsigned char* buffer) const {
  Writer out(buffer);
  out.DWord(m_style);
  out.DWord(m_exStyle);
  out.Short(m_itemCount);
  out.Short(m_x);
  out.Short(m_y);
  out.Short(m_cx);
  out.Short(m_cy);
  out.Word(0);  // no menu
  out.Word(0);  // the standard dialog class
  out.Text(m_title);
  out.Short(m_pointSize);
  out.Text(m_typeface);
  for (int i = 0; i < m_itemCount; ++i) {
    const CDialogItem& item = m_items[i];
    out.Align4();
    out.DWord(item.style);
    out.DWord(item.exStyle);
    out.Short(item.x);
    out.Short(item.y);
    out.Short(item.cx);
    out.Short(item.cy);
    out.Short(item.id);
    out.Word(0xFFFF);  // a class atom follows
    out.Short(item.classAtom);
    out.Text(item.title);
    out.Word(0);  // no creation data
  }
  if (out.Written() != TemplateSize()) AssertionFailed("pdest - pBuffer == nBufferSize", 169);
}

int CMyDialogTemplate::DoModal(win::DLGPROC proc) {
  // Each run builds its own template; the previous one goes first.
  FreeTemplate();
  const size_t size = TemplateSize();
  win::HLOCAL block = win::LocalAlloc(win::LHND, size);
  if (block == nullptr) return 0;
  void* memory = win::LocalLock(block);
  if (memory == nullptr) {
    win::LocalFree(block);
    return 0;
  }
  m_template = block;
  try {
    WriteTemplate(static_cast<unsigned char*>(memory));
  } catch (const std::bad_alloc&) {
    win::LocalUnlock(block);
    win::MessageBoxA(nullptr, "Kevés a memória!", "Hiba történt!",
                     win::MB_ICONEXCLAMATION | win::MB_TOPMOST);
    return 0;
  }
  win::INT_PTR result =
      win::DialogBoxIndirectParamA(win::GetModuleHandleA(nullptr),
                                   static_cast<const win::DLGTEMPLATE*>(memory),
                                   win::GetActiveWindow(), proc, 0);
  win::LocalUnlock(block);
  return static_cast<int>(result);
}
