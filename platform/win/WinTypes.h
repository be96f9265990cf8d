// The Windows scalar types, handles and status codes that the stand-ins in
// this folder speak. Widths follow Windows (DWORD and LONG are 32 bits,
// WCHAR is UTF-16), not the Linux meaning of long or wchar_t.
#pragma once

#include <cstdint>

namespace win {

using BYTE = uint8_t;
using WORD = uint16_t;
using DWORD = uint32_t;
using LONG = int32_t;
using UINT = uint32_t;
using BOOL = int;
using WCHAR = char16_t;
using INT_PTR = intptr_t;
using UINT_PTR = uintptr_t;
using LONG_PTR = intptr_t;
using WPARAM = uintptr_t;
using LPARAM = intptr_t;
using LRESULT = intptr_t;

constexpr BOOL FALSE = 0;
constexpr BOOL TRUE = 1;

// A window: a running dialog or one of its controls (see WinDialog.h).
struct HWND__;
using HWND = HWND__*;

// A program module as the dialog calls take it; only a tag here.
struct HINSTANCE__;
using HINSTANCE = HINSTANCE__*;

// Status codes of the registry and host calls.
constexpr LONG ERROR_SUCCESS = 0;
constexpr LONG ERROR_FILE_NOT_FOUND = 2;
constexpr LONG ERROR_INVALID_HANDLE = 6;
constexpr LONG ERROR_INVALID_PARAMETER = 87;
constexpr LONG ERROR_MORE_DATA = 234;
constexpr LONG ERROR_NO_MORE_ITEMS = 259;

constexpr WORD LOWORD(uintptr_t v) { return static_cast<WORD>(v & 0xffff); }
constexpr WORD HIWORD(uintptr_t v) { return static_cast<WORD>((v >> 16) & 0xffff); }
constexpr WPARAM MAKEWPARAM(WORD low, WORD high) {
  return static_cast<WPARAM>(static_cast<DWORD>(low) | (static_cast<DWORD>(high) << 16));
}

}  // namespace win
