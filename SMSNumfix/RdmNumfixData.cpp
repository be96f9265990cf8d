#include "RdmNumfixData.h"

#include "DbDescription.h"
#include "QorExceptBase.h"
#include "RdmFld.h"
#include "RdmTable.h"

namespace {

constexpr unsigned char kBeforeFirst = 5;

// Finds the record whose key field holds id; that field becomes the current key.
bool FindById(RdmTable& table, const char* keyField, long id) {
  table.DefineKey(keyField);
  table.GetField(keyField).SetLong(id);
  return table.Find(keyField);
}

}  // namespace

RdmNumfixData::RdmNumfixData() = default;
RdmNumfixData::~RdmNumfixData() = default;

bool RdmNumfixData::Connect() {
  if (!login_.Login("", "", "", true, "")) return false;
  map_.SetHandle(login_.GetHandle());
  map_.OpenAll(0);
  // Both databases must be open; the copies themselves are not needed.
  map_.GetDescription("DEVUDAVARER");
  map_.GetDescription("ALAP");
  return true;
}

void RdmNumfixData::Logout() {
  if (!login_.IsLoggedIn()) return;
  try {
    login_.Logout();
  } catch (const QorExceptBase&) {
    // Leaving anyway: a connection that cannot be released is the server's to drop.
  }
}

void RdmNumfixData::ReadContacts(const std::function<void(const Contact&)>& each) {
  DbDescription alap = map_.GetDescription("ALAP");
  RdmTable contacts(&alap, "ELERHETOSEG");
  contacts.DefineKey("ELER_ID");
  if (!contacts.Select("", kBeforeFirst)) return;
  RdmFld& id = contacts.GetField("ELER_ID");
  RdmFld& type = contacts.GetField("ELET_ID");
  RdmFld& tableCode = contacts.GetField("ELER_TABLECODE");
  RdmFld& adat = contacts.GetField("ELER_ADAT");
  Contact c;
  while (contacts.Next()) {
    c.eletId = type.AsLong();
    c.tableCode = tableCode.AsLong();
    if (c.eletId != 6 || c.tableCode == 0) continue;  // the window skips them anyway
    c.elerId = id.AsLong();
    c.adat = adat.GetText();
    each(c);
  }
}

void RdmNumfixData::BeginTransaction(const std::string& name) {
  writeContacts_.reset();
  writeAlap_ = std::make_unique<DbDescription>(map_.GetDescription("ALAP"));
  writeContacts_ = std::make_unique<RdmTable>(writeAlap_.get(), "ELERHETOSEG");
  writeId_ = &writeContacts_->GetField("ELER_ID");
  writeAdat_ = &writeContacts_->GetField("ELER_ADAT");
  // The key first: whatever fails here must not leave a transaction open.
  writeContacts_->DefineKey("ELER_ID");
  writeContacts_->BeginTransaction(name);
}

void RdmNumfixData::EndTransaction(bool commit) {
  if (!writeContacts_) return;
  writeContacts_->EndTransaction(commit ? 1 : 0);
  writeContacts_.reset();
  writeAlap_.reset();
}

bool RdmNumfixData::FindContact(long elerId, std::string& value) {
  writeId_->SetLong(elerId);
  if (!writeContacts_->Find()) return false;
  value = writeAdat_->GetText();
  return true;
}

bool RdmNumfixData::UpdateContact(const std::string& value, long& elerIdNow,
                                  std::string& valueNow) {
  writeAdat_->SetText(value.c_str());
  if (!writeContacts_->Update(0)) return false;
  elerIdNow = writeId_->AsLong();
  valueNow = writeAdat_->GetText();
  return true;
}

bool RdmNumfixData::FindContactOwner(long elerId, long& owner, long& tableCode) {
  DbDescription alap = map_.GetDescription("ALAP");
  RdmTable contacts(&alap, "ELERHETOSEG");
  if (!FindById(contacts, "ELER_ID", elerId)) return false;
  owner = contacts.GetField("ELER_OWNER").AsLong();
  tableCode = contacts.GetField("ELER_TABLECODE").AsLong();
  return true;
}

bool RdmNumfixData::FindCustomerName(long ugyId, std::string& name) {
  DbDescription ugyfel = map_.GetDescription("UGYFEL");
  RdmTable customers(&ugyfel, "UGYFEL");
  if (!FindById(customers, "UGY_ID", ugyId)) return false;
  name = customers.GetField("UGY_NEV").AsString();
  return true;
}

void RdmNumfixData::ReadCustomerAddresses(long owner,
                                          const std::function<void(const Address&)>& each) {
  DbDescription alap = map_.GetDescription("ALAP");
  RdmTable addresses(&alap, "CIM");
  addresses.DefineKey("OWNERKEY");
  addresses.GetField("CIM_OWNER").SetLong(owner);
  addresses.GetField("CIM_TABLECODE").SetInt(2);
  if (!addresses.Select("OWNERKEY", kBeforeFirst)) return;
  Address a;
  while (addresses.Next()) {
    a.irszam = addresses.GetField("CIM_IRSZAM").AsString();
    a.telepules = addresses.GetField("CIM_TELEPULES").AsString();
    a.kozterulet = addresses.GetField("CIM_KOZTERULET").AsString();
    a.hazszam = addresses.GetField("CIM_HAZSZAM").AsString();
    each(a);
  }
}
