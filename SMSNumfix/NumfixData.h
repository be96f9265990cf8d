#pragma once
// What the repair window needs of the destination database. The program uses
// the client-library implementation (RdmNumfixData); tests may use their own.
// Every failure is thrown as the library's exception (QorExceptBase family).

#include <functional>
#include <string>

class NumfixData {
public:
    struct Contact {
        long elerId = 0;
        long eletId = 0;      // contact type
        long tableCode = 0;   // owner table code (ELER_TABLECODE)
        std::string adat;     // the stored value (ELER_ADAT)
    };
    struct Address {
        std::string irszam, telepules, kozterulet, hazszam;
    };

    virtual ~NumfixData() = default;

    // Logs in through the login dialog and opens every database of the server,
    // DEVUDAVARER and ALAP among them; false when the login was cancelled or refused.
    virtual bool Connect() = 0;
    virtual void Logout() = 0;

    // The ELERHETOSEG records in ELER_ID order; records that the window skips
    // (another contact type, no owner table) may be left out.
    virtual void ReadContacts(const std::function<void(const Contact&)>& each) = 0;

    virtual void BeginTransaction(const std::string& name) = 0;
    virtual void EndTransaction(bool commit) = 0;

    // Finds a contact by ELER_ID; on success `value` is its ELER_ADAT and the
    // contact is current for UpdateContact.
    virtual bool FindContact(long elerId, std::string& value) = 0;
    // Rewrites the current contact's ELER_ADAT; false when the record is gone.
    // On success gives the ELER_ID and ELER_ADAT now in the fields.
    virtual bool UpdateContact(const std::string& value, long& elerIdNow, std::string& valueNow) = 0;

    // The owner of a contact: its ELER_OWNER and ELER_TABLECODE.
    virtual bool FindContactOwner(long elerId, long& owner, long& tableCode) = 0;
    virtual bool FindCustomerName(long ugyId, std::string& name) = 0;
    // The customer's addresses (CIM with CIM_OWNER = owner and CIM_TABLECODE = 2).
    virtual void ReadCustomerAddresses(long owner, const std::function<void(const Address&)>& each) = 0;
};
