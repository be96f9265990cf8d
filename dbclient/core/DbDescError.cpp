#include "DbDescError.h"

#include <utility>

namespace {

// Client errors of the library itself, 2000 to 2038.
const char* const kClientTexts[] = {
    "Táblatér nem elérhető!",
    "Adat fájl nem elérhető!",
    "Tábla nem elérhető!",
    "Mező nem elérhető!",
    "Hibás mezőérték!",
    "Hibás mozgásirány!",
    "Hibás mezőművelet!",
    "Nincs összegezhető mező!",
    "Hiányzó elem!",
    "A mező nem index!",
    "Az objektum tartalma nem rögzíthető!",
    "Az objektum nincs inicializálva!",
    "Ez a művelet itt nem megengedett!",
    "Mester tábla nincs megadva!",
    "Az írási gyorsítótár nem üres!",
    "Érvénytelen alias név!",
    "Érvénytelen nézet!",
    "Duplikált mezőnév",
    "Hibás kulcsszó: %s!",
    "Nem megfelelő az objektum neve!",
    "Az utasítás nem megfelelően ért véget!",
    "A megadott feltétel hibás: %s",
    "A feltételben adott érték hibás: %s",
    "Hiányzik a feltétel!",
    "Ismeretlen operátor: %s",
    "A lekérdezés fő táblája nem azonosítható!",
    "Hiányzik a FROM utasítás!",
    "Ismeretlen token: %s",
    "A mezők és a megadott értékek száma nem egyezik!",
    "Nincsenek megadva a beszúrandó mezők értékei!",
    "Az UPDATE-ben a SET utasítás hiányzik!",
    "A mezőérték nem állítható be!",
    "Az IDENTIFIED BY hiányzik!",
    "",
    "A könyvjelző nem elérhető!",
    "Hibás könyvjelző művelet!",
    "A könyvjelző már létezik!",
    "A kurzor nem elérhető!",
    "A kurzor már létezik!",
};
constexpr int kClientFirst = 2000;
constexpr int kClientCount = sizeof(kClientTexts) / sizeof(kClientTexts[0]);

// Statuses of the client library, 10000 to 10064.
const char* const kServerTexts[] = {
    "Lockolási hiba!",
    "Tranzakció nyitás sikertelen!",
    "Sikertelen keresés!",
    "Nemlétező adatbázisnév!",
    "Adatbázis zárva!",
    "Az egyedi azonosító már létezik!",
    "Fájl írási hiba!",
    "Task nem hozható létre!",
    "Túl sok felhasználó!",
    "Sikertelen mentés!",
    "Listahiba!",
    "Fájl olvasási hiba!",
    "Hibás tábla-azonosító!",
    "Hibás kulcs-azonosító!",
    "Nemlétező felhasználó!",
    "Hibás kapcsolat!",
    "Nincs elég memória!",
    "Hibás adatbázis-azonosító!",
    "Sikertelen adattörlés!",
    "Az adatbázis már zárva van!",
    "Az adatbázis már nyitva van!",
    "Nincs megadva kulcs!",
    "Hibás reláció!",
    "Tranzakció aktív!",
    "Lock aktív!",
    "System rekord!",
    "Lock hiányzik tranzakcióban!",
    "Hibás lekérdezés!",
    "Nincs egyértelmű kulcs!",
    "Hibás irány!",
    "Hibás mezőtípus!",
    "Eltérő dbo rekordméret!",
    "Eltérő táblaszám!",
    "Eltérő dbo verziószám!",
    "Dbo hiányzik!",
    "Nemlétező task!",
    "Hibás rekordméret!",
    "Hibás nyitási mód!",
    "A függvény nem használható!",
    "Nemlétező szolgáltatás!",
    "Lock típusa nem módosítható!",
    "A tábla már lockolva van!",
    "A szerver zárolt!",
    "Eltérő verzió!",
    "Ismeretlen hibakód!",
    "Hibás dátumbeállítás (-)",
    "Hibás dátumbeállítás (+)",
    "Olvasási hiba a regisztrációs adatbázisban!",
    "Hibás számítógépnév!",
    "Túl hosszú megnevezés!",
    "Hibás mutató!",
    "Több tranzakciótábla egy adatbázisban",
    "Tranzakciótábla-név ütközés",
    "Felhasználónév ütközés",
    "Időtúllépés történt.",
    "Írási műveletehez tranzakció szükséges!",
    "Szerver oldali figyelmeztetés!",
    "Szerver oldali hiba!",
    "Könyvtár nem létezik, vagy írásvédett!",
    "Kezdő paraméter hiányzik!",
    "Az objektum nincs inicializálva!",
    "Egyedi azonosító generálása sikertelen!",
    "A kiválasztott rekord nem található!",
    "A rekordot már módosították, vagy törölték!",
    "Kezeletlen kivétel történt a kiszolgálóban...",
};
constexpr int kServerFirst = 10000;
constexpr int kServerCount = sizeof(kServerTexts) / sizeof(kServerTexts[0]);
constexpr int kUnknownCode = 10044;

static_assert(kClientCount == 39, "client codes run from 2000 to 2038");
static_assert(kServerCount == 65, "server codes run from 10000 to 10064");

bool IsServerCode(int code) { return code >= kServerFirst && code < kServerFirst + kServerCount; }

}  // namespace

DbDescError::DbDescError(int code, const StringVector& args) : QorExceptBaseArg(code, args) {}

DbDescError::DbDescError(int code, QorErrPos position, const StringVector& args)
    : QorExceptBaseArg(code, std::move(position), args) {}

DbDescError::~DbDescError() = default;

bool DbDescError::IsSevere() const {
  if (m_code == 0) return false;
  // Outside the server's statuses (every client code) severe; of them only these.
  if (!IsServerCode(m_code)) return true;
  return m_code == 10001 || m_code == 10003 || m_code == 10004 ||
         (m_code >= 10006 && m_code <= 10018) || (m_code >= 10021 && m_code <= 10037) ||
         m_code == 10039 || (m_code >= 10042 && m_code <= 10053) || m_code == 10055 ||
         m_code == 10057;
}

const char* DbDescError::GetMessage() const {
  if (IsServerCode(m_code)) return kServerTexts[m_code - kServerFirst];
  if (m_code >= kClientFirst && m_code < kClientFirst + kClientCount) {
    return kClientTexts[m_code - kClientFirst];
  }
  return kServerTexts[kUnknownCode - kServerFirst];
}
