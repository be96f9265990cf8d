#include "ImportRun.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QLabel>
#include <QProgressBar>
#include <algorithm>
#include <iterator>
#include <vector>

#include "BusyAnimation.h"
#include "Cp1250Codec.h"
#include "ImportPrompts.h"
#include "QorExceptBase.h"
#include "RdmDateTimeFld.h"
#include "RdmView.h"
#include "TForm1.h"
#include "WinUi.h"

namespace {

constexpr const char* kOperation = "TForm1::aStartImportExecute";
constexpr int kPrepareLine = 630;
constexpr int kMainLine = 1332;
constexpr unsigned char kBeforeFirst = 5;
constexpr int kCustomerTable = 2;  // owner table code of a customer
constexpr int kBatchRows = 1000;

const char* const kSourceSelect =
    "         select *         from               KELVADO.UGYFEL, CIMLINK, CIM, TELEFON, "
    "TELEFONLINK, RENDSZAM         where            KELVADO.UGYFEL.TOROLT = '0x00' and         "
    "   CIM.CIMCODE = CIMLINK.CIMCODE and            CIMLINK.CODE = KELVADO.UGYFEL.UCODE and    "
    "        CIMLINK.TABLE = 1 and            TELEFON.TELCODE = TELEFONLINK.TELCODE and         "
    "   TELEFONLINK.CODE = KELVADO.UGYFEL.UCODE and            TELEFONLINK.TABLE = 1 and       "
    "     RENDSZAM.RCODE = KELVADO.UGYFEL.RENDSZAMCODE;";

const char* const kDestSelect =
    "\t\t\tselect UGYFEL.UGY_ID, UGYFEL.UGY_AZON, UGYFEL.UGY_NEV, ELERHETOSEG.ELER_ADAT,\t\t\t   "
    "ELERTIP.ELET_TIPUS, CIM.CIM_IRSZAM, CIM.CIM_TELEPULES, CIM.CIM_KOZTERULET,   \t\t\t"
    "CIM.CIM_HAZSZAM, CIMTIP.CIMT_TIPUS\t\t\tfrom UGYFEL, ELERHETOSEG, ELERTIP, CIM, CIMTIP\t\t\t"
    "where            ELERHETOSEG.ELER_OWNER = UGYFEL.UGY_ID and            "
    "ELERHETOSEG.ELER_TABLECODE = 2 and            ELERTIP.ELET_ID = ELERHETOSEG.ELET_ID and    "
    "        CIM.CIM_OWNER = UGYFEL.UGY_ID and            CIMTIP.CIMT_ID = CIM.CIMT_ID and      "
    "      CIM.CIM_TABLECODE = 2;";

// The three fixed expiry-date types, in the order a row handles them.
struct DateKind {
  int type;
  const char* typeText;
  const char* sourceField;
  const char* newMessage;
  const char* changedMessage;
  const char* noLaterMessage;
};
const DateKind kDateKinds[3] = {
    {2, "Kelvado6 ZK lejárati idő", "ZOLDKARTYAERVENYES", "Új ZK lejárati idő került rögzítésre.",
     "Megváltozott ZK lejárati idő került rögzítésre.", "Nincs frissebb ZK lejárati idő."},
    {3, "Kelvado6 garancia lejárati idő", "GARANCIAERVENYES",
     "Új garancia lejárati idő került rögzítésre.",
     "Megváltozott garancia lejárati idő került rögzítésre.",
     "Nincs frissebb garancia lejárati idő."},
    {4, "Kelvado6 műszaki lejárati idő", "MUSZAKIERVENYES",
     "Új műszaki lejárati idő került rögzítésre.",
     "Megváltozott műszaki lejárati idő került rögzítésre.",
     "Nincs frissebb műszaki lejárati idő."},
};

// Leading and trailing characters of code 32 or below removed.
std::string Trimmed(const std::string& text) {
  auto blank = [](char c) { return static_cast<unsigned char>(c) <= 32; };
  size_t begin = 0, end = text.size();
  while (begin < end && blank(text[begin])) ++begin;
  while (end > begin && blank(text[end - 1])) --end;
  return text.substr(begin, end - begin);
}

std::string Number(const char* text, int value) { return text + std::to_string(value) + "."; }

}  // namespace

size_t OwnerTypeKeyHash::operator()(const OwnerTypeKey& key) const {
  // The owner as it is, the code and the type above it: the groups of one
  // code and type lie in the table in the order of their owners, as the
  // rows come, each owner's beside the next one's.
  return size_t(key.owner) + (size_t(key.tableCode) << 32) + (size_t(key.type) << 48);
}

ImportRun::ImportRun(TForm1& form) : m_form(form) {}

ImportRun::~ImportRun() = default;

void ImportRun::Execute() {
  Start();
  try {
    try {
      Prepare();
    } catch (const QorExceptBase& e) {
      m_form.ShowErrorBox(kOperation, kPrepareLine, e.GetCode(), e.what());
    }
    try {
      MainBlock();
    } catch (const QorExceptBase& e) {
      m_failed = true;
      ReportFailure(e.GetCode(), e.what());
    }
  } catch (...) {
    // Not the library's failure: nothing more of the run can be trusted, but
    // the open batch is still undone and the window made idle again.
    m_failed = true;
    try {
      m_ugyfel.EndTransaction(0);
    } catch (...) {
      // The box below reports the run as broken either way.
    }
    m_form.ShowCriticalBox();
  }
  EndBlock();
}

// ---------------------------------------------------------------- start and preparation

void ImportRun::Start() {
  m_form.m_running = true;
  m_form.UpdateActions();
  ProcessEvents();
  if (m_form.ComboBox3->currentIndex() >= 0)
    m_contactType = m_form.ComboBox3->currentData().toInt();
  if (m_form.ComboBox4->currentIndex() >= 0)
    m_addressType = m_form.ComboBox4->currentData().toInt();
  m_detailed = m_form.cbDetailed->isChecked();

  m_form.LogSeparator();
  m_form.AddMemoLine("Választott betöltési paraméterek:");
  m_form.AddMemoLine("Forrás elérhetőség típus: Alapértelmezett (nincsen).");
  m_form.AddMemoLine("Forrás cím típus: Alapértelmezett (nincsen).");
  m_form.AddMemoLine(
      "Cél elérhetőség típus: " + Cp1250Codec::FromQString(m_form.ComboBox3->currentText()) + ".");
  m_form.AddMemoLine("Cél cím típus: " + Cp1250Codec::FromQString(m_form.ComboBox4->currentText()) +
                     ".");
  m_form.AddMemoLine(m_form.cbCim->isChecked() ? "Betöltéskor írja felül a címeket."
                                               : "Betöltéskor ne írja felül a címeket.");
  m_form.AddMemoLine(m_form.cbEle->isChecked() ? "Betöltéskor írja felül az elérhetőségeket."
                                               : "Betöltéskor ne írja felül a elérhetőségeket.");
  m_form.AddMemoLine(m_form.cbUf->isChecked() ? "Ügyfél alapadatok felülírása változás esetén."
                                              : "Ügyfél alapadatok mellőzése változás esetén.");
  m_form.AddMemoLine(m_detailed ? "Részletes jelentés készítése."
                                : "Részletes jelentés mellőzése.");
  m_form.AddMemoLine("");
}

void ImportRun::Prepare() {
  m_devudavarer = std::make_unique<DbDescription>(m_form.m_destMap.GetDescription("DEVUDAVARER"));
  m_ugyfelDb = std::make_unique<DbDescription>(m_form.m_destMap.GetDescription("UGYFEL"));
  m_alap = std::make_unique<DbDescription>(m_form.m_destMap.GetDescription("ALAP"));

  m_basedata = RdmTable(m_devudavarer.get(), "BASEDATA");
  m_ugyfelImport = RdmTable(m_devudavarer.get(), "UGYFEL_IMPORT");
  m_ugyfelDatum = RdmTable(m_devudavarer.get(), "UGYFEL_DATUM");
  m_ugyfel = RdmTable(m_ugyfelDb.get(), "UGYFEL");
  m_cim = RdmTable(m_alap.get(), "CIM");
  m_elerhetoseg = RdmTable(m_alap.get(), "ELERHETOSEG");
  m_ugyfelDatumTip = RdmTable(m_devudavarer.get(), "UGYFEL_DATUM_TIP");
  m_ugyfel.SetSequenceName("UGYFEL_UGYFEL_NEXTID");
  m_ugyfelImport.SetSequenceName("SMS_UGYFEL_IMPORT");
  m_ugyfelDatum.SetSequenceName("SMS_UGYFEL_DATUM");
  m_elerhetoseg.SetSequenceName("ALAP_ELERHETOSEG_NEXTID");
  m_cim.SetSequenceName("ALAP_CIM_NEXTID");

  // Detached: the stamp is taken without touching BASEDATA's buffer.
  RdmDateTimeFld stamp(m_basedata.GetField("RECORD_CREATION_TIME"), true);
  stamp.SetServerTime();
  m_now = stamp.ToDouble();

  m_basedata.GetField("DELETED").SetText("N");
  m_basedata.Select("DELETED", kBeforeFirst);
  while (m_basedata.Next()) m_clientId = m_basedata.GetField("CLIENT_ID").AsInt();

  m_ugyfelDatumTip.DefineKey("UGYFEL_DATUM_TIP_ID");
  for (const DateKind& kind : kDateKinds) {
    m_ugyfelDatumTip.GetField("UGYFEL_DATUM_TIP_ID").SetInt(kind.type);
    if (m_ugyfelDatumTip.Find("UGYFEL_DATUM_TIP_ID")) {
      m_ugyfelDatumTip.GetField("TIPUS").SetText(kind.typeText);
      m_ugyfelDatumTip.Update(0);
    } else {
      m_ugyfelDatumTip.ClearFields();
      m_ugyfelDatumTip.GetField("UGYFEL_DATUM_TIP_ID").SetInt(kind.type);
      m_ugyfelDatumTip.GetField("TIPUS").SetText(kind.typeText);
      m_ugyfelDatumTip.Append();
    }
  }
  m_form.LogSeparator();
  m_form.LogLine("Táblaterek megnyitva.");
  m_form.LogLine("Importhoz szükséges lejárati idő típusok rögzítve.");
  m_form.AddMemoLine("");
}

// ---------------------------------------------------------------- main block

void ImportRun::MainBlock() {
  m_form.LogSeparator();
  m_form.LogLine("Az adatok importálása azonnal megkezdődik. Kérem várjon.");
  if (m_clientId == 0) {
    m_form.m_running = false;
    m_form.LogLine("Érvénytelen vagy hiányzó VTK kód. A betöltés hamarosan megszakad.");
  }
  m_form.Animate1->setVisible(true);
  m_form.Animate1->SetActive(true);
  ProcessEvents();
  RunScripts();
  LoadMaps();
  RowLoop();
}

void ImportRun::RunScripts() {
  // The option is the byte 4, not the digit.
  const char keepChildless[2] = {4, 0};
  m_sourceRunner.Attach(&m_form.m_srcMap, false);
  m_sourceRunner.Run(kSourceSelect);
  m_sourceView = m_sourceRunner.GetResultView();
  m_sourceView->AddTableOption(keepChildless);
  m_form.LogLine("Forrás előkészítve.");
  m_destRunner.Attach(&m_form.m_destMap, false);
  m_destRunner.Run(kDestSelect);
  m_destRunner.GetResultView()->AddTableOption(keepChildless);
  m_form.LogLine("Cél előkészítve.");
}

void ImportRun::LoadMaps() {
  // The fields the rows write, too, are looked up here once.
  m_contactFld = {
      {&m_elerhetoseg.GetField("ELER_ID"), &m_elerhetoseg.GetField("ELET_ID"),
       &m_elerhetoseg.GetField("ELER_OWNER"), &m_elerhetoseg.GetField("ELER_TABLECODE")},
      &m_elerhetoseg.GetField("ELER_ADAT"),
      &m_elerhetoseg.GetField("ELER_MEGJEGY"),
      &m_elerhetoseg.GetField("ELER_PREF")};
  const ContactFields& e = m_contactFld;
  m_contacts.clear();
  m_elerhetoseg.Select("", kBeforeFirst);
  m_contacts.reserve(size_t(m_elerhetoseg.GetRecordCount()));
  while (m_elerhetoseg.Next()) {
    m_contacts[{e.owner->AsLong(), e.tableCode->AsLong(), e.type->AsLong()}][e.id->AsLong()] = {
        TForm1::NormalizePhoneNumber(e.text->AsString()), 0};
  }
  m_form.LogLine("Elérhetőségek betöltve.");

  m_addressFld = {{&m_cim.GetField("CIM_ID"), &m_cim.GetField("CIMT_ID"),
                   &m_cim.GetField("CIM_OWNER"), &m_cim.GetField("CIM_TABLECODE")},
                  &m_cim.GetField("CIM_IRSZAM"),
                  &m_cim.GetField("CIM_TELEPULES"),
                  &m_cim.GetField("CIM_KOZTERULET"),
                  &m_cim.GetField("CIM_HAZSZAM")};
  const AddressFields& c = m_addressFld;
  m_addresses.clear();
  m_cim.Select("", kBeforeFirst);
  m_addresses.reserve(size_t(m_cim.GetRecordCount()));
  while (m_cim.Next()) {
    m_addresses[{c.owner->AsLong(), c.tableCode->AsLong(), c.type->AsLong()}][c.id->AsLong()] = {
        c.postalCode->AsString(), c.town->AsString(), c.street->AsString(),
        c.houseNumber->AsString(), 0};
  }
  m_form.LogLine("Címek betöltve.");

  m_dateFld = {&m_ugyfelDatum.GetField("UGYFEL_DATUM_ID"),
               &m_ugyfelDatum.GetField("UGYFEL_ID"),
               &m_ugyfelDatum.GetField("UGYFEL_DATUM_TIP_ID"),
               &m_ugyfelDatum.GetField("DATUM"),
               &m_ugyfelDatum.GetField("DATA00"),
               &m_ugyfelDatum.GetField("DATA01")};
  const DateFields& d = m_dateFld;
  m_dates.clear();
  m_ugyfelDatum.Select("", kBeforeFirst);
  m_dates.reserve(size_t(m_ugyfelDatum.GetRecordCount()));
  while (m_ugyfelDatum.Next()) {
    // Of several records of one customer, type and plate the one fetched
    // last counts: FindDate looks from the last one back.
    std::vector<StoredDate>& dates = m_dates[d.customer->AsLong()];
    if (dates.empty()) dates.reserve(std::size(kDateKinds));  // room for one date of each kind
    dates.push_back({d.type->AsInt(), d.plate->AsString(), d.date->AsDouble(), d.id->AsLong()});
  }
  m_form.LogLine("Ügyfél lejárati idők betöltve.");

  m_customerFld = {&m_ugyfel.GetField("UGY_ID"),     &m_ugyfel.GetField("UGY_NEV"),
                   &m_ugyfel.GetField("UGY_TOROLT"), &m_ugyfel.GetField("VTK"),
                   &m_ugyfel.GetField("CREATOR"),    &m_ugyfel.GetField("CREATE"),
                   &m_ugyfel.GetField("LASTMOD"),    &m_ugyfel.GetField("LASTMDT")};
  const CustomerFields& u = m_customerFld;
  m_names.clear();
  m_ugyfel.Select("", kBeforeFirst);
  m_names.reserve(size_t(m_ugyfel.GetRecordCount()));
  while (m_ugyfel.Next()) m_names[u.id->AsLong()] = u.name->AsString();
  m_form.LogLine("Ügyfél nevek betöltve.");

  m_linkFld = {&m_ugyfelImport.GetField("UGYFEL_IMPORT_ID"),
               &m_ugyfelImport.GetField("UGY_ID"),
               &m_ugyfelImport.GetField("SOURCE_KEY"),
               &m_ugyfelImport.GetField("SERVER_UNIQUE"),
               &m_ugyfelImport.GetField("CREATOR"),
               &m_ugyfelImport.GetField("RECORD_INACTIVE"),
               &m_ugyfelImport.GetField("RECORD_CREATION_TIME"),
               &m_ugyfelImport.GetField("RECORD_LAST_UPDATE")};
  const LinkFields& l = m_linkFld;
  m_links.clear();
  m_ugyfelImport.Select("", kBeforeFirst);
  m_links.reserve(size_t(m_ugyfelImport.GetRecordCount()));
  while (m_ugyfelImport.Next())
    m_links[l.sourceKey->AsString() + l.server->AsString()] = l.customer->AsLong();
  m_form.LogLine("Ügyfél import adatok betöltve.");

  m_form.Animate1->SetActive(false);
  m_form.Animate1->setVisible(false);
  ProcessEvents();
}

// ---------------------------------------------------------------- row loop

void ImportRun::RowLoop() {
  m_count.rows = m_sourceView->Size();
  // A range of 0 to 0 is shown as a busy gauge, which an empty source would
  // leave behind on the idle window.
  m_form.ProgressBar1->setRange(0, std::max(m_count.rows, 1));
  m_form.ProgressBar1->setValue(0);
  m_ugyfel.BeginTransaction("ImportUgyfel");
  m_form.LogLine(Number("Vizsgálandó bejegyzések száma: ", m_count.rows));
  m_count.remaining = m_count.rows - 1;
  RdmTable* customer = m_sourceView->GetTable("UGYFEL");
  RdmTable* address = m_sourceView->GetTable("CIM");
  RdmTable* phone = m_sourceView->GetTable("TELEFON");
  RdmTable* plate = m_sourceView->GetTable("RENDSZAM");
  m_src = {&customer->GetField("NAME"),
           &customer->GetField("ALVAZSZAM"),
           {&customer->GetField(kDateKinds[0].sourceField),
            &customer->GetField(kDateKinds[1].sourceField),
            &customer->GetField(kDateKinds[2].sourceField)},
           &address->GetField("IRANYITOSZAM"),
           &address->GetField("VAROS"),
           &address->GetField("UTCA"),
           &address->GetField("HAZSZAM"),
           &phone->GetField("ORSZAG"),
           &phone->GetField("KORZET"),
           &phone->GetField("SZAM"),
           &phone->GetField("MELLEK"),
           &plate->GetField("TOROLT"),
           &plate->GetField("RSZAM")};

  while (m_sourceView->Next() && m_form.m_running) {
    if (m_count.remaining % kBatchRows == 0) {
      Commit();
      m_ugyfel.BeginTransaction("ImportUgyfel");
    }
    m_form.ShowProgress(m_count.remaining);
    ProcessEvents();
    if (m_src.plateDeleted->AsChar() == 0) ProcessRow();
    // Counted once handled: a row that fails is not examined.
    ++m_count.examined;
    --m_count.remaining;
  }
  m_form.PaintProgress();
  Commit();
}

void ImportRun::Commit() {
  m_ugyfel.EndTransaction(1);
  m_form.LogLine("Tranzakció rendben.");
  ++m_count.transactions;
}

void ImportRun::ProcessRow() {
  Row row;
  const std::string country = m_src.country->AsString(), area = m_src.area->AsString(),
                    number = m_src.number->AsString(), extension = m_src.extension->AsString();
  const std::string raw = country + area + number + extension;
  const std::string normalised = TForm1::NormalizePhoneNumber(raw);
  if (normalised != raw) {
    Detail("Egy ZAV-számot konvertálni kellett.");
    ++m_count.convertedNumbers;
  }
  row.hasNumber = !normalised.empty();
  // "(country)area/subscriber:extension", as the contact is stored; compared
  // in that form, so that blanks around the country code cannot make a stored
  // number look new on the next run.
  row.contact = "(" + Trimmed(country) + ")" + Trimmed(area) + "/" +
                TForm1::FormatSubscriberNumber(number) + ":" + Trimmed(extension);
  row.number = TForm1::NormalizePhoneNumber(row.contact);

  m_ugyfel.DefineKey("UGY_ID");
  m_ugyfelImport.DefineKey("UGYFEL_IMPORT_ID");
  m_ugyfelDatum.DefineKey("UGYFEL_DATUM_ID");
  m_cim.DefineKey("CIM_ID");
  m_elerhetoseg.DefineKey("ELER_ID");

  row.name = m_src.name->AsString();
  row.address = {m_src.postalCode->AsString(), m_src.town->AsString(), m_src.street->AsString(),
                 m_src.houseNumber->AsString(), 0};
  const std::string hashText = row.name + row.address.postalCode + row.address.town +
                               row.address.street + row.address.houseNumber;
  const std::string sourceKey = TForm1::DecimalHashMod(hashText, TForm1::kSourceKeyModuli[0]) +
                                TForm1::DecimalHashMod(hashText, TForm1::kSourceKeyModuli[1]);

  const auto link = m_links.find(sourceKey + m_form.m_srcUnique);
  if (link == m_links.end()) {
    ++m_count.newCustomers;
  } else {
    row.customerId = link->second;
    row.existing = true;
    ++m_count.existingCustomers;
    if (!m_handled.contains(row.customerId)) {
      if (m_form.cbEle->isChecked()) ReplaceContacts(row);
      if (m_form.cbCim->isChecked()) ReplaceAddresses(row);
    }
  }

  CheckAddress(row);
  CheckContact(row);
  const auto known = m_names.find(row.customerId);
  row.nameUnchanged = known != m_names.end() && known->second == row.name;

  if (row.existing) {
    if (row.contactKnown)
      Detail("Az elérhetőség már ismert korábbról.");
    else
      row.contactNeeded = true;
    if (row.addressKnown)
      Detail("A cím már ismert korábbról.");
    else
      row.addressNeeded = true;
    if (!row.nameUnchanged) {
      if (m_form.cbUf->isChecked())
        UpdateBaseData(row);
      else
        Detail("Ügyfél alapadatainak felülírása letiltva.");
    }
  } else {
    NewCustomer(row, sourceKey);
  }

  if (row.addressNeeded) WriteAddress(row);
  if (row.contactNeeded && row.hasNumber) WriteContact(row);
  WriteDates(row);
  m_handled.insert(row.customerId);
}

// ---------------------------------------------------------------- customers

void ImportRun::NewCustomer(Row& row, const std::string& sourceKey) {
  row.customerId = m_ugyfel.GetNextId();
  // A new record starts from cleared fields: nothing of a record read or
  // written before may reach it.
  const CustomerFields& u = m_customerFld;
  m_ugyfel.ClearFields();
  u.id->SetLong(row.customerId);
  u.name->SetString(row.name);
  u.deleted->SetInt(0);
  u.clientId->SetInt(m_clientId);
  u.creator->SetInt(m_form.m_destUserId);
  u.created->SetDouble(m_now);
  u.modifier->SetInt(m_form.m_destUserId);
  u.modified->SetDouble(m_now);
  m_ugyfel.Append();
  m_names[row.customerId] = row.name;
  row.addressNeeded = true;
  row.contactNeeded = true;

  const int32_t linkId = m_ugyfelImport.GetNextId();
  const LinkFields& l = m_linkFld;
  m_ugyfelImport.ClearFields();
  l.id->SetLong(linkId);
  l.customer->SetLong(row.customerId);
  l.sourceKey->SetString(sourceKey);
  l.server->SetString(m_form.m_srcUnique);
  l.creator->SetInt(m_form.m_destUserId);
  l.inactive->SetText("N");
  l.created->SetDouble(m_now);
  l.updated->SetDouble(m_now);
  m_ugyfelImport.Append();
  Detail("Egy új ügyfél beszúrásra került.");
  m_links[sourceKey + m_form.m_srcUnique] = row.customerId;
}

void ImportRun::UpdateBaseData(const Row& row) {
  // Read first, so that the fields the update does not name keep their
  // stored values.
  const CustomerFields& u = m_customerFld;
  u.id->SetLong(row.customerId);
  if (m_ugyfel.Find("UGY_ID")) {
    u.name->SetString(row.name);
    u.deleted->SetInt(0);
    u.modifier->SetInt(m_form.m_destUserId);
    u.modified->SetDouble(m_now);
    m_ugyfel.Update(0);
  }
  m_names[row.customerId] = row.name;
  Detail("Egy ügyfél alapadatainak módosítása megtörtént.");
  ++m_count.modifiedCustomers;
}

// ---------------------------------------------------------------- contacts and addresses

int ImportRun::DeleteOwned(RdmTable& table, const OwnedFields& f, const char* idKey, long owner,
                           int type, const char* message) {
  f.owner->SetLong(owner);
  f.tableCode->SetInt(kCustomerTable);
  f.type->SetInt(type);
  table.DefineKey("OWNERTIPKEY");
  std::vector<long> ids;
  table.Select("OWNERTIPKEY", kBeforeFirst);
  while (table.Next()) ids.push_back(f.id->AsLong());
  // Each goes by its own id: a delete by the owner key would take whichever
  // record of the owner the server finds first.
  table.DefineKey(idKey);
  for (long id : ids) {
    f.id->SetLong(id);
    table.Delete(0);
    Detail(message);
  }
  return static_cast<int>(ids.size());
}

void ImportRun::ReplaceContacts(const Row& row) {
  const auto group = m_contacts.find({row.customerId, kCustomerTable, m_contactType});
  if (group == m_contacts.end()) return;
  m_count.deletedContacts += DeleteOwned(m_elerhetoseg, m_contactFld, "ELER_ID", row.customerId,
                                         m_contactType, "Egy korábbi elérhetőség törlésre került.");
  for (auto& [id, item] : group->second) item.deleted = 1;
}

void ImportRun::ReplaceAddresses(const Row& row) {
  const auto group = m_addresses.find({row.customerId, kCustomerTable, m_addressType});
  if (group == m_addresses.end()) return;
  m_count.deletedAddresses += DeleteOwned(m_cim, m_addressFld, "CIM_ID", row.customerId,
                                          m_addressType, "Egy korábbi cím törlésre került.");
  for (auto& [id, item] : group->second) item.deleted = 1;
}

void ImportRun::CheckAddress(Row& row) {
  const auto group = m_addresses.find({row.customerId, kCustomerTable, m_addressType});
  if (group == m_addresses.end()) return;
  const CIM_ITEM& a = row.address;
  for (const auto& [id, item] : group->second) {
    if (!item.deleted && item.postalCode == a.postalCode && item.town == a.town &&
        item.street == a.street && item.houseNumber == a.houseNumber) {
      row.addressKnown = true;
      ++m_count.knownAddresses;
    }
  }
}

void ImportRun::CheckContact(Row& row) {
  const auto group = m_contacts.find({row.customerId, kCustomerTable, m_contactType});
  if (group == m_contacts.end()) return;
  for (const auto& [id, item] : group->second) {
    if (!item.deleted && item.number == row.number) {
      row.contactKnown = true;
      ++m_count.knownContacts;
    }
  }
}

void ImportRun::WriteAddress(const Row& row) {
  CIM_ITEM item = row.address;
  const int32_t id = m_cim.GetNextId();
  const AddressFields& c = m_addressFld;
  m_cim.ClearFields();
  c.id->SetLong(id);
  c.type->SetInt(m_addressType);
  c.owner->SetLong(row.customerId);
  c.tableCode->SetInt(kCustomerTable);
  c.postalCode->SetString(item.postalCode);
  c.town->SetString(item.town);
  c.street->SetString(item.street);
  c.houseNumber->SetString(item.houseNumber);
  m_cim.Append();
  Detail("Egy új cím beszúrásra került.");
  ++m_count.newAddresses;
  m_addresses[{row.customerId, kCustomerTable, m_addressType}][id] = std::move(item);
}

void ImportRun::WriteContact(const Row& row) {
  const int32_t id = m_elerhetoseg.GetNextId();
  const ContactFields& e = m_contactFld;
  m_elerhetoseg.ClearFields();
  e.id->SetLong(id);
  e.type->SetInt(m_contactType);
  e.owner->SetLong(row.customerId);
  e.tableCode->SetInt(kCustomerTable);
  e.text->SetString(row.contact);
  e.note->SetText("Kelvado6 importból.");
  e.pref->SetInt(0);
  m_elerhetoseg.Append();
  Detail("Egy új elérhetőség beszúrásra került.");
  ++m_count.newContacts;
  m_contacts[{row.customerId, kCustomerTable, m_contactType}][id] = {row.number, 0};
}

// ---------------------------------------------------------------- expiry dates

double ImportRun::SourceDate(const std::string& text) {
  // A source value's date cannot change during a run, and many customers'
  // dates fall on the same days: each value is converted once.
  const auto known = m_sourceDates.find(text);
  if (known != m_sourceDates.end()) return known->second;
  return m_sourceDates[text] = m_form.DateFromLong(text);
}

ImportRun::StoredDate* ImportRun::FindDate(std::vector<StoredDate>* dates, long type,
                                           const std::string& plate) {
  if (dates == nullptr) return nullptr;
  for (auto stored = dates->rbegin(); stored != dates->rend(); ++stored)
    if (stored->type == type && stored->plate == plate) return &*stored;
  return nullptr;
}

void ImportRun::WriteDates(const Row& row) {
  const std::string plate = m_src.plate->AsString();
  if (plate.empty()) return;
  const auto customer = m_dates.find(row.customerId);
  std::vector<StoredDate>* dates = customer != m_dates.end() ? &customer->second : nullptr;
  const DateFields& d = m_dateFld;
  for (int kind = 0; kind < 3; ++kind) {
    const DateKind& k = kDateKinds[kind];
    const double date = SourceDate(m_src.dates[kind]->AsString());
    if (StoredDate* stored = FindDate(dates, k.type, plate)) {
      if (date > stored->date) {
        // The record of this customer, type and plate itself, read first so
        // that only its date changes.
        d.id->SetLong(stored->id);
        if (m_ugyfelDatum.Find("UGYFEL_DATUM_ID")) {
          d.date->SetDouble(date);
          m_ugyfelDatum.Update(0);
        }
        Detail(k.changedMessage);
        ++m_count.changedDates[kind];
        stored->date = date;
      } else {
        Detail(k.noLaterMessage);
      }
    } else if (date != 0) {
      const int32_t id = m_ugyfelDatum.GetNextId();
      m_ugyfelDatum.ClearFields();
      d.id->SetLong(id);
      d.customer->SetLong(row.customerId);
      d.type->SetInt(k.type);
      d.date->SetDouble(date);
      d.plate->SetString(plate);
      d.chassis->SetString(m_src.chassis->AsString());
      m_ugyfelDatum.Append();
      Detail(k.newMessage);
      ++m_count.newDates[kind];
      if (dates == nullptr) dates = &m_dates[row.customerId];
      dates->push_back({k.type, plate, date, id});
    }
  }
}

// ---------------------------------------------------------------- failure and end

void ImportRun::ReportFailure(int code, const char* message) {
  try {
    m_ugyfel.EndTransaction(0);
    m_form.ShowErrorBox(kOperation, kMainLine, code, message);
  } catch (...) {
    m_form.ShowCriticalBox();
  }
}

void ImportRun::EndBlock() {
  m_form.m_running = false;
  m_form.ProgressBar1->setValue(0);
  m_form.Animate1->SetActive(false);
  m_form.Animate1->setVisible(false);
  m_form.Label14->setText("0");
  m_form.PaintProgress();
  m_form.AddMemoLine("");
  win::SetApplicationTitle("Kelvimport");
  m_form.LogSeparator();
  // A run that failed anywhere, its final commit included, is no success.
  const char* final = !m_failed && m_count.remaining == -1 ? "A betöltés sikeresen befejeződött."
                                                           : "Betöltés megszakítva.";
  m_form.LogLine(final);
  m_form.prompts_->ShowMessage(final);
  m_form.AddMemoLine("");
  m_form.LogSeparator();

  const Counters& c = m_count;
  const std::vector<std::string> lines = {
      "Importálás statisztikák:",
      Number("Sikeres tranzakciók száma: ", c.transactions),
      Number("Összes vizsgálandó bejegyzés: ", c.rows),
      Number("Ebből vizsgált bejegyzés: ", c.examined),
      "",
      Number("Csonkolt rekordok száma: ", c.truncated),
      Number("Konvertált ZAV-számok: ", c.convertedNumbers),
      "",
      Number("Új ügyfelek száma: ", c.newCustomers),
      Number("Korábbról már létező ügyfélbejegyzések száma: ", c.existingCustomers),
      "",
      Number("Új elérhetőségek száma: ", c.newContacts),
      Number("Korábbról már létező elérhetőségbejegyzések száma: ", c.knownContacts),
      Number("Törölt elérhetőségek száma: ", c.deletedContacts),
      "",
      Number("Új címek száma: ", c.newAddresses),
      Number("Korábbról már létező címbejegyzések száma: ", c.knownAddresses),
      Number("Törölt címek száma: ", c.deletedAddresses),
      "",
      Number("Módosított ügyfél alapadat bejegyzések: ", c.modifiedCustomers),
      "",
      Number("Új ZK lejárati idők száma: ", c.newDates[0]),
      Number("Módosított ZK lejárati idők száma: ", c.changedDates[0]),
      "",
      Number("Új garancia lejárati idők száma: ", c.newDates[1]),
      Number("Módosított garancia lejárati idők száma: ", c.changedDates[1]),
      "",
      Number("Új műszaki érvényességi idők száma: ", c.newDates[2]),
      Number("Módosított műszaki érvényességi idők száma: ", c.changedDates[2]),
      "",
  };
  for (const std::string& line : lines) m_form.AddMemoLine(line);
}

// ---------------------------------------------------------------- helpers

void ImportRun::Detail(const char* text) {
  if (m_detailed) m_form.LogLine(text);
}

void ImportRun::ProcessEvents() { QCoreApplication::processEvents(); }
