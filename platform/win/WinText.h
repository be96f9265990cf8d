// Conversion between the system's narrow texts, which are Windows-1250
// (the ANSI code page here), and UTF-16.
//
// The five positions that Windows-1250 leaves undefined (0x81, 0x83, 0x88,
// 0x90, 0x98) map to the C1 control characters of the same number, so every
// byte survives a round trip.
#pragma once

#include <string>
#include <string_view>

#include "WinTypes.h"

namespace win {

constexpr UINT CP_ACP = 0;
constexpr UINT CP_1250 = 1250;

// The UTF-16 unit of one Windows-1250 byte.
char16_t Cp1250ToUnicode(unsigned char byte);
// The Windows-1250 byte of a code point, or -1 when it has none.
int UnicodeToCp1250(char32_t codePoint);

std::u16string Cp1250ToUtf16(std::string_view text);
// Characters with no Windows-1250 byte become '?'.
std::string Utf16ToCp1250(std::u16string_view text);

// Windows semantics: srcLength -1 converts up to and including the NUL;
// dstLength 0 asks for the size needed; 0 on failure (bad code page, null
// pointer, output too small). Code pages CP_ACP and CP_1250 only.
int MultiByteToWideChar(UINT codePage, DWORD flags, const char* src, int srcLength, WCHAR* dst,
                        int dstLength);
int WideCharToMultiByte(UINT codePage, DWORD flags, const WCHAR* src, int srcLength, char* dst,
                        int dstLength, const char* defaultChar, BOOL* usedDefault);

}  // namespace win
