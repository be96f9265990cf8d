// The Windows-1250 codec of the Qt boundary: every narrow text of the
// system is Windows-1250, every Qt text UTF-16. The table is platform/win's
// (WinText.h), so the dialogs' template texts and the widgets agree; its
// five undefined bytes map to the C1 controls of the same number and so
// survive a round trip.
#pragma once

#include <QString>
#include <string>
#include <string_view>

class Cp1250Codec {
 public:
  static QString ToQString(std::string_view text);
  // A character with no Windows-1250 byte becomes '?'.
  static std::string FromQString(const QString& text);
  // True when every character of text has a Windows-1250 byte.
  static bool Representable(const QString& text);
};
