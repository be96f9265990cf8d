#include "WinText.h"

#include <algorithm>
#include <array>
#include <utility>

namespace win {
namespace {

// Bytes 0x80 to 0xFF; the undefined ones keep their own number (C1 controls).
constexpr std::array<char16_t, 128> kHighHalf = {
    0x20AC, 0x0081, 0x201A, 0x0083, 0x201E, 0x2026, 0x2020, 0x2021,  // 80
    0x0088, 0x2030, 0x0160, 0x2039, 0x015A, 0x0164, 0x017D, 0x0179,  // 88
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 90
    0x0098, 0x2122, 0x0161, 0x203A, 0x015B, 0x0165, 0x017E, 0x017A,  // 98
    0x00A0, 0x02C7, 0x02D8, 0x0141, 0x00A4, 0x0104, 0x00A6, 0x00A7,  // A0
    0x00A8, 0x00A9, 0x015E, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x017B,  // A8
    0x00B0, 0x00B1, 0x02DB, 0x0142, 0x00B4, 0x00B5, 0x00B6, 0x00B7,  // B0
    0x00B8, 0x0105, 0x015F, 0x00BB, 0x013D, 0x02DD, 0x013E, 0x017C,  // B8
    0x0154, 0x00C1, 0x00C2, 0x0102, 0x00C4, 0x0139, 0x0106, 0x00C7,  // C0
    0x010C, 0x00C9, 0x0118, 0x00CB, 0x011A, 0x00CD, 0x00CE, 0x010E,  // C8
    0x0110, 0x0143, 0x0147, 0x00D3, 0x00D4, 0x0150, 0x00D6, 0x00D7,  // D0
    0x0158, 0x016E, 0x00DA, 0x0170, 0x00DC, 0x00DD, 0x0162, 0x00DF,  // D8
    0x0155, 0x00E1, 0x00E2, 0x0103, 0x00E4, 0x013A, 0x0107, 0x00E7,  // E0
    0x010D, 0x00E9, 0x0119, 0x00EB, 0x011B, 0x00ED, 0x00EE, 0x010F,  // E8
    0x0111, 0x0144, 0x0148, 0x00F3, 0x00F4, 0x0151, 0x00F6, 0x00F7,  // F0
    0x0159, 0x016F, 0x00FA, 0x0171, 0x00FC, 0x00FD, 0x0163, 0x02D9,  // F8
};

using ReverseTable = std::array<std::pair<char16_t, unsigned char>, 128>;

const ReverseTable& Reverse() {
  static const ReverseTable table = [] {
    ReverseTable t{};
    for (size_t i = 0; i < kHighHalf.size(); ++i) t[i] = {kHighHalf[i], static_cast<unsigned char>(0x80 + i)};
    std::sort(t.begin(), t.end());
    return t;
  }();
  return table;
}

bool KnownCodePage(UINT codePage) { return codePage == CP_ACP || codePage == CP_1250; }

// Characters with no Windows-1250 byte become fallback, and *usedFallback
// (when given) tells whether any did.
std::string ToCp1250(std::u16string_view text, char fallback, BOOL* usedFallback) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    int b = -1;
    // A surrogate pair is one character, and never a Windows-1250 one.
    if (text[i] >= 0xD800 && text[i] <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
        text[i + 1] <= 0xDFFF)
      ++i;
    else
      b = UnicodeToCp1250(text[i]);
    if (b < 0 && usedFallback) *usedFallback = TRUE;
    out.push_back(b < 0 ? fallback : static_cast<char>(b));
  }
  return out;
}

}  // namespace

char16_t Cp1250ToUnicode(unsigned char byte) {
  return byte < 0x80 ? static_cast<char16_t>(byte) : kHighHalf[byte - 0x80];
}

int UnicodeToCp1250(char32_t codePoint) {
  if (codePoint < 0x80) return static_cast<int>(codePoint);
  if (codePoint > 0xFFFF) return -1;
  const auto& table = Reverse();
  auto it = std::lower_bound(table.begin(), table.end(), static_cast<char16_t>(codePoint),
                             [](const auto& entry, char16_t c) { return entry.first < c; });
  if (it == table.end() || it->first != codePoint) return -1;
  return it->second;
}

std::u16string Cp1250ToUtf16(std::string_view text) {
  std::u16string out;
  out.reserve(text.size());
  for (char c : text) out.push_back(Cp1250ToUnicode(static_cast<unsigned char>(c)));
  return out;
}

std::string Utf16ToCp1250(std::u16string_view text) { return ToCp1250(text, '?', nullptr); }

int MultiByteToWideChar(UINT codePage, DWORD /*flags*/, const char* src, int srcLength, WCHAR* dst,
                        int dstLength) {
  if (!KnownCodePage(codePage) || src == nullptr || srcLength == 0 || srcLength < -1 ||
      dstLength < 0 || (dstLength > 0 && dst == nullptr))
    return 0;
  size_t n = srcLength == -1 ? std::char_traits<char>::length(src) + 1 : static_cast<size_t>(srcLength);
  if (dstLength == 0) return static_cast<int>(n);
  if (n > static_cast<size_t>(dstLength)) return 0;
  for (size_t i = 0; i < n; ++i) dst[i] = Cp1250ToUnicode(static_cast<unsigned char>(src[i]));
  return static_cast<int>(n);
}

int WideCharToMultiByte(UINT codePage, DWORD /*flags*/, const WCHAR* src, int srcLength, char* dst,
                        int dstLength, const char* defaultChar, BOOL* usedDefault) {
  if (usedDefault) *usedDefault = FALSE;
  if (!KnownCodePage(codePage) || src == nullptr || srcLength == 0 || srcLength < -1 ||
      dstLength < 0 || (dstLength > 0 && dst == nullptr))
    return 0;
  size_t n = srcLength == -1 ? std::char_traits<char16_t>::length(src) + 1 : static_cast<size_t>(srcLength);
  const std::string out =
      ToCp1250(std::u16string_view(src, n), defaultChar ? *defaultChar : '?', usedDefault);
  if (dstLength == 0) return static_cast<int>(out.size());
  if (out.size() > static_cast<size_t>(dstLength)) return 0;
  std::copy(out.begin(), out.end(), dst);
  return static_cast<int>(out.size());
}

}  // namespace win
