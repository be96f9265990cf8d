#include "Cp1250Codec.h"

#include "WinText.h"

QString Cp1250Codec::ToQString(std::string_view text) {
  const std::u16string wide = win::Cp1250ToUtf16(text);
  return QString::fromUtf16(wide.data(), static_cast<qsizetype>(wide.size()));
}

std::string Cp1250Codec::FromQString(const QString& text) {
  return win::Utf16ToCp1250(std::u16string_view(reinterpret_cast<const char16_t*>(text.utf16()),
                                                static_cast<size_t>(text.size())));
}

bool Cp1250Codec::Representable(const QString& text) {
  for (QChar c : text)
    if (c.isSurrogate() || win::UnicodeToCp1250(c.unicode()) < 0) return false;
  return true;
}
