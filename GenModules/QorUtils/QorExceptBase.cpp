#include "QorExceptBase.h"

#include <utility>

namespace {

// Codes 0 to 18.
const char* const kGenericTexts[] = {
    "Nincs hiba!",
    "Ismeretlen hiba!",
    "Nincs elég memória!",
    "Hibás adatméret!",
    "Nem megengedett művelet!",
    "Ez a funkció még nem működőképes!",
    "Modul betöltése sikertelen!",
    "Modul leválasztása sikertelen!",
    "Hiányzó objektum!",
    "Érvénytelen objektum!",
    "Az érték túl nagy!",
    "Az érték túl kicsi!",
    "Az érték nem megengedett!",
    "Érvénytelen paraméter",
    "Nem megengedett konverzió",
    "Az objektum már létezik!",
    "Az adat már létezik",
    "Az adat nem található",
    "Érvénytelen adat",
};
constexpr int kGenericCount = sizeof(kGenericTexts) / sizeof(kGenericTexts[0]);

// Codes from 250; only 250 has a text.
const char* const kInitTexts[] = {
    "Inicializáció megszakadt",
};
constexpr int kInitFirst = 250;
constexpr int kInitCount = sizeof(kInitTexts) / sizeof(kInitTexts[0]);

const char* GenericText(int code) {
  if (code >= 0 && code < kGenericCount) return kGenericTexts[code];
  if (code >= kInitFirst && code < kInitFirst + kInitCount) return kInitTexts[code - kInitFirst];
  return kGenericTexts[1];
}

}  // namespace

QorExceptBase::QorExceptBase(int code) : m_code(code) {}

QorExceptBase::QorExceptBase(int code, QorErrPos position)
    : m_code(code), m_position(std::move(position)) {}

QorExceptBase::~QorExceptBase() = default;

const char* QorExceptBase::what() const noexcept {
  const char* text = GetMessage();
  if (text == nullptr || *text == '\0') return QorExceptBase::GetMessage();
  return text;
}

bool QorExceptBase::IsNotWarning() const { return IsSevere() || m_code < 250 || m_code > 499; }

bool QorExceptBase::IsSevere() const {
  if (IsCritical() || m_code < 0 || m_code > 249) return true;
  switch (m_code) {
    case 1: case 2: case 3: case 4: case 8: case 9:
      return true;
    default:
      return false;
  }
}

bool QorExceptBase::IsCritical() const { return false; }

const char* QorExceptBase::GetCategory() const { return "generic"; }

const char* QorExceptBase::GetMessage() const {
  if (!m_message.empty()) return m_message.c_str();
  return GenericText(m_code);
}
