// One import run of Kelvimport's window: the work of "Importálás megkezdése".
// It reads every customer row of the source SELECT and brings the
// destination's customers, import links, addresses, contacts and expiry
// dates up to date, in transactions of 1000 rows, then reports the run.
// Everything here lives for one run and is freed when it returns.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "DbDescription.h"
#include "RdmFileImport.h"
#include "RdmTable.h"

class RdmView;
class TForm1;

// One stored telephone contact: its number as NormalizePhoneNumber gives it.
struct ELERHETOSEG_ITEM {
  std::string number;
  unsigned char deleted = 0;  // 1: this run deleted the contact
};

// One stored address.
struct CIM_ITEM {
  std::string postalCode;
  std::string town;
  std::string street;
  std::string houseNumber;
  unsigned char deleted = 0;
};

// The contacts (addresses) of one owner and one type, by their id.
using t_elerhetoseg_item = std::map<long, ELERHETOSEG_ITEM>;
using t_cim_item = std::map<long, CIM_ITEM>;

// The key of a group of contacts or addresses: the owner, the owner's table
// code and the type.
struct OwnerTypeKey {
  long owner;
  long tableCode;
  long type;
  bool operator==(const OwnerTypeKey&) const = default;
};

struct OwnerTypeKeyHash {
  size_t operator()(const OwnerTypeKey& key) const;
};

class ImportRun {
 public:
  explicit ImportRun(TForm1& form);
  ~ImportRun();
  ImportRun(const ImportRun&) = delete;
  ImportRun& operator=(const ImportRun&) = delete;

  // Start, preparation, main block and end block, in this order.
  void Execute();

 private:
  struct Counters {
    int transactions = 0;
    int rows = 0;
    int remaining = 0;
    int examined = 0;
    int truncated = 0;
    int convertedNumbers = 0;
    int newCustomers = 0;
    int existingCustomers = 0;
    int newContacts = 0;
    int knownContacts = 0;
    int deletedContacts = 0;
    int newAddresses = 0;
    int knownAddresses = 0;
    int deletedAddresses = 0;
    int modifiedCustomers = 0;
    int newDates[3] = {0, 0, 0};
    int changedDates[3] = {0, 0, 0};
  };
  // What one processed row carries from step to step.
  struct Row {
    long customerId = -1;
    bool existing = false;
    bool contactKnown = false;
    bool addressKnown = false;
    bool nameUnchanged = false;
    bool contactNeeded = false;
    bool addressNeeded = false;
    // The source row's values, read once.
    std::string name;
    CIM_ITEM address;
    std::string contact;     // the contact text as it is stored
    std::string number;      // the contact's comparison key
    bool hasNumber = false;  // the joined number's normal form is not empty
  };

  void Start();
  void Prepare();
  void MainBlock();
  void ReportFailure(int code, const char* message);
  void EndBlock();

  void RunScripts();
  void LoadMaps();
  void RowLoop();
  void Commit();
  void ProcessRow();
  void NewCustomer(Row& row, const std::string& sourceKey);
  void UpdateBaseData(const Row& row);
  void ReplaceContacts(const Row& row);
  void ReplaceAddresses(const Row& row);
  void CheckAddress(Row& row);
  void CheckContact(Row& row);
  void WriteAddress(const Row& row);
  void WriteContact(const Row& row);
  void WriteDates(const Row& row);
  // TForm1::DateFromLong of a source date's text, converted once per run.
  double SourceDate(const std::string& text);
  // The fields that place a contact or an address: its id, type and owner.
  struct OwnedFields {
    RdmFld *id, *type, *owner, *tableCode;
  };
  // Deletes the owner's records of one type; the number deleted.
  int DeleteOwned(RdmTable& table, const OwnedFields& fields, const char* idKey, long owner,
                  int type, const char* message);

  void Detail(const char* text);
  void ProcessEvents();

  TForm1& m_form;
  int m_contactType = 0;
  int m_addressType = 0;
  bool m_detailed = false;
  bool m_failed = false;

  std::unique_ptr<DbDescription> m_devudavarer;
  std::unique_ptr<DbDescription> m_ugyfelDb;
  std::unique_ptr<DbDescription> m_alap;
  RdmTable m_basedata;
  RdmTable m_ugyfelImport;
  RdmTable m_ugyfelDatum;
  RdmTable m_ugyfel;
  RdmTable m_cim;
  RdmTable m_elerhetoseg;
  RdmTable m_ugyfelDatumTip;

  double m_now = 0;
  int m_clientId = 0;
  RdmFileImport m_sourceRunner;
  RdmFileImport m_destRunner;
  RdmView* m_sourceView = nullptr;  // the source runner's

  // The fields a run reads and writes, each looked up by name once: a table
  // keeps its field objects for its whole life. The destination's are taken
  // by the lookup-map loads, which read the same tables, the source view's
  // before its rows.
  struct SourceFields {
    RdmFld *name, *chassis, *dates[3];  // UGYFEL; the dates in the order of their kinds
    RdmFld *postalCode, *town, *street, *houseNumber;  // CIM
    RdmFld *country, *area, *number, *extension;       // TELEFON
    RdmFld *plateDeleted, *plate;                      // RENDSZAM
  } m_src{};
  struct ContactFields : OwnedFields {
    RdmFld *text, *note, *pref;
  } m_contactFld{};
  struct AddressFields : OwnedFields {
    RdmFld *postalCode, *town, *street, *houseNumber;
  } m_addressFld{};
  struct DateFields {
    RdmFld *id, *customer, *type, *date, *plate, *chassis;
  } m_dateFld{};
  struct CustomerFields {
    RdmFld *id, *name, *deleted, *clientId, *creator, *created, *modifier, *modified;
  } m_customerFld{};
  struct LinkFields {
    RdmFld *id, *customer, *sourceKey, *server, *creator, *inactive, *created, *updated;
  } m_linkFld{};

  // The maps are only ever looked up, a few times per row, never walked in
  // their order: they are hashed, and keyed by the numbers themselves where
  // the keys are made of numbers.
  std::unordered_map<OwnerTypeKey, t_elerhetoseg_item, OwnerTypeKeyHash> m_contacts;
  std::unordered_map<OwnerTypeKey, t_cim_item, OwnerTypeKeyHash> m_addresses;
  // A stored expiry date of a customer: its type and plate, the date and its
  // UGYFEL_DATUM record, so a later date rewrites it.
  struct StoredDate {
    long type;
    std::string plate;
    double date;
    long id;
  };
  // A customer's date of a type and plate, the last one stored, or null.
  static StoredDate* FindDate(std::vector<StoredDate>* dates, long type, const std::string& plate);
  // By customer, as a row looks up all three kinds of its customer at once.
  std::unordered_map<long, std::vector<StoredDate>> m_dates;
  std::unordered_map<long, std::string> m_names;
  // By SOURCE_KEY followed by SERVER_UNIQUE.
  std::unordered_map<std::string, long> m_links;
  std::unordered_set<long> m_handled;
  std::unordered_map<std::string, double> m_sourceDates;

  Counters m_count;
};
