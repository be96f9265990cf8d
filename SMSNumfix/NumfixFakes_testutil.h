#pragma once
// Test doubles of the repair window's database and boxes, and a fixture that
// runs the window in a folder of its own.

#include <gtest/gtest.h>

#include <ctime>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "NumfixData.h"
#include "NumfixPrompts.h"
#include "TForm1.h"

struct FakeData : NumfixData {
  struct Customer {
    std::string name;
    std::vector<Address> addresses;
  };
  struct Contact2 {
    Contact contact;
    long owner = 0;
  };

  std::map<long, Contact2> contacts;   // ELER_ID -> contact
  std::map<long, Customer> customers;  // UGY_ID -> customer
  bool connectResult = true;
  int connectThrows = 0;     // code to throw from Connect, 0 none
  int readThrows = 0;        // code to throw from ReadContacts, 0 none
  long updateThrowsAt = -1;  // ELER_ID whose rewrite throws
  long vanishOnUpdate = -1;  // ELER_ID that is gone when rewritten
  bool commitThrows = false;
  bool abortThrows = false;
  bool beginThrows = false;
  // Codes to throw from the customer-information lookups, 0 none.
  int ownerThrows = 0;
  int nameThrows = 0;
  int addressesThrow = 0;
  int logouts = 0;
  std::vector<std::string> calls;  // "begin NAME", "commit", "abort"

  // Changes of the open transaction; applied on commit.
  std::map<long, std::string> pending;
  long current = -1;

  void Add(long id, const std::string& adat, long eletId = 6, long tableCode = 2, long owner = 0);

  bool Connect() override;
  void Logout() override { ++logouts; }
  void ReadContacts(const std::function<void(const Contact&)>& each) override;
  void BeginTransaction(const std::string& name) override;
  void EndTransaction(bool commit) override;
  bool FindContact(long elerId, std::string& value) override;
  bool UpdateContact(const std::string& value, long& elerIdNow, std::string& valueNow) override;
  bool FindContactOwner(long elerId, long& owner, long& tableCode) override;
  bool FindCustomerName(long ugyId, std::string& name) override;
  void ReadCustomerAddresses(long owner, const std::function<void(const Address&)>& each) override;
};

struct FakePrompts : NumfixPrompts {
  struct Box {
    std::string text, caption;  // caption empty for a plain message
  };
  std::vector<Box>* boxes;
  std::time_t now;
  explicit FakePrompts(std::vector<Box>* b, std::time_t t) : boxes(b), now(t) {}
  void ShowMessage(const std::string& text) override { boxes->push_back({text, ""}); }
  void TopMostBox(const std::string& text, const std::string& caption) override {
    boxes->push_back({text, caption});
  }
  std::time_t Now() override { return now; }
};

// The bytes of a file as they stand; "" when it cannot be read.
std::string FileBytes(const std::filesystem::path& path);
// The list item of a contact, or null.
const TForm1::ListItem* ItemOf(const TForm1& form, long elerId);
// Types digits into a masked field from its first place on, as an operator does.
void TypeDigits(QLineEdit* edit, const char* digits);

// The demo templates the window tests classify against.
extern const char* kWindowTemplates;

class WindowTest : public testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Writes the template file, then builds the window on `data`.
  void Open(const std::string& templates = kWindowTemplates);
  const TForm1::ListItem* Item(int row) const { return form->Item(row); }
  const TForm1::ListItem* ItemById(long id) const;
  void Select(long id);
  // Clicks a row of the list as an operator does.
  void ClickRow(long id);
  std::string Text(int row, int column) const { return TForm1::ItemText(Item(row), column); }
  std::string LogFile() const;

  std::filesystem::path dir;
  std::filesystem::path oldDir;
  FakeData* data = nullptr;  // owned by the window once it is open
  std::unique_ptr<FakeData> pendingData = std::make_unique<FakeData>();
  std::vector<FakePrompts::Box> boxes;
  std::unique_ptr<TForm1> form;
};
