#pragma once
// The repair window's database access through the client library: one login,
// the map of its databases, and the tables of ALAP and UGYFEL.

#include <memory>

#include "DbDescMap.h"
#include "NumfixData.h"
#include "TQoLogin.h"

class DbDescription;
class RdmFld;
class RdmTable;

class RdmNumfixData : public NumfixData {
 public:
  RdmNumfixData();
  ~RdmNumfixData() override;

  bool Connect() override;
  void Logout() override;
  void ReadContacts(const std::function<void(const Contact&)>& each) override;
  void BeginTransaction(const std::string& name) override;
  void EndTransaction(bool commit) override;
  bool FindContact(long elerId, std::string& value) override;
  bool UpdateContact(const std::string& value, long& elerIdNow, std::string& valueNow) override;
  bool FindContactOwner(long elerId, long& owner, long& tableCode) override;
  bool FindCustomerName(long ugyId, std::string& name) override;
  void ReadCustomerAddresses(long owner, const std::function<void(const Address&)>& each) override;

 private:
  TQoLogin login_;
  DbDescMap map_;
  // The write-back's own copy of ALAP and its ELERHETOSEG, from the begin of
  // its transaction to the end.
  std::unique_ptr<DbDescription> writeAlap_;
  std::unique_ptr<RdmTable> writeContacts_;
  // Its ELER_ID and ELER_ADAT, looked up once per write-back.
  RdmFld* writeId_ = nullptr;
  RdmFld* writeAdat_ = nullptr;
};
