#include "NumfixFakes_testutil.h"

#include <unistd.h>

#include <QApplication>
#include <QLineEdit>
#include <QTest>
#include <QTreeView>
#include <fstream>

#include "QorExceptBase.h"

namespace {

// One application object for every window test of the program.
class QtEnvironment : public testing::Environment {
 public:
  void SetUp() override {
    static int argc = 1;
    static char name[] = "numfix_tests";
    static char* argv[] = {name, nullptr};
    app_ = std::make_unique<QApplication>(argc, argv);
    QApplication::setApplicationName("Numfix");
  }
  void TearDown() override { app_.reset(); }

 private:
  std::unique_ptr<QApplication> app_;
};

const auto* const kEnvironment = testing::AddGlobalTestEnvironment(new QtEnvironment);

}  // namespace

const char* kWindowTemplates =
    "[HIBASABLONOK]\r\n"
    "+36AAAAAAAAA=(+36)AA/AAA-AA-AA:\r\n"
    "06AA/AAAAAAA=(+36)AA/AAA-AA-AA:\r\n"
    "(36)AA/AAA-AA-AA:=(+36)AA/AAA-AA-AA:\r\n"
    "[ERVENYES_SABLONOK]\r\n"
    "(+AA)AA/AAA-AA-AA:=1\r\n"
    "(+AA)AA/AAA-AA-AA:AAAA=1\r\n"
    "(+AA)A/AAA-AA-AA:=1\r\n";

void FakeData::Add(long id, const std::string& adat, long eletId, long tableCode, long owner) {
  contacts[id] = {{id, eletId, tableCode, adat}, owner};
}

bool FakeData::Connect() {
  if (connectThrows) throw QorExceptBase(connectThrows);
  return connectResult;
}

void FakeData::ReadContacts(const std::function<void(const Contact&)>& each) {
  if (readThrows) throw QorExceptBase(readThrows);
  for (const auto& [id, c] : contacts) each(c.contact);
}

void FakeData::BeginTransaction(const std::string& name) {
  if (beginThrows) throw QorExceptBase(10001);
  calls.push_back("begin " + name);
  pending.clear();
}

void FakeData::EndTransaction(bool commit) {
  calls.push_back(commit ? "commit" : "abort");
  if (commit && commitThrows) throw QorExceptBase(10001);
  if (!commit && abortThrows) throw QorExceptBase(10001);
  if (commit)
    for (const auto& [id, value] : pending) contacts[id].contact.adat = value;
  pending.clear();
}

bool FakeData::FindContact(long elerId, std::string& value) {
  auto it = contacts.find(elerId);
  current = it == contacts.end() ? -1 : elerId;
  if (current < 0) return false;
  value = pending.count(elerId) ? pending[elerId] : it->second.contact.adat;
  return true;
}

bool FakeData::UpdateContact(const std::string& value, long& elerIdNow, std::string& valueNow) {
  if (current == updateThrowsAt) throw QorExceptBase(10005);
  if (current == vanishOnUpdate) {
    contacts.erase(current);
    return false;
  }
  pending[current] = value;
  elerIdNow = current;
  valueNow = value;
  return true;
}

bool FakeData::FindContactOwner(long elerId, long& owner, long& tableCode) {
  if (ownerThrows) throw QorExceptBase(ownerThrows);
  auto it = contacts.find(elerId);
  if (it == contacts.end()) return false;
  owner = it->second.owner;
  tableCode = it->second.contact.tableCode;
  return true;
}

bool FakeData::FindCustomerName(long ugyId, std::string& name) {
  if (nameThrows) throw QorExceptBase(nameThrows);
  auto it = customers.find(ugyId);
  if (it == customers.end()) return false;
  name = it->second.name;
  return true;
}

void FakeData::ReadCustomerAddresses(long owner, const std::function<void(const Address&)>& each) {
  if (addressesThrow) throw QorExceptBase(addressesThrow);
  auto it = customers.find(owner);
  if (it == customers.end()) return;
  for (const Address& a : it->second.addresses) each(a);
}

void WindowTest::SetUp() {
  oldDir = std::filesystem::current_path();
  char pattern[] = "/tmp/numfix_test_XXXXXX";
  dir = ::mkdtemp(pattern);
  std::filesystem::current_path(dir);
  data = pendingData.get();
}

void WindowTest::TearDown() {
  form.reset();
  std::filesystem::current_path(oldDir);
  std::filesystem::remove_all(dir);
}

void WindowTest::Open(const std::string& templates) {
  std::ofstream(dir / "SMS_tel_sablon.ini", std::ios::binary) << templates;
  form = std::make_unique<TForm1>(nullptr, std::move(pendingData),
                                  std::make_unique<FakePrompts>(&boxes, std::time_t(1765360800)));
}

std::string FileBytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

const TForm1::ListItem* ItemOf(const TForm1& form, long elerId) {
  for (int i = 0; i < form.ItemCount(); ++i)
    if (TForm1::ItemElerId(form.Item(i)) == elerId) return form.Item(i);
  return nullptr;
}

void TypeDigits(QLineEdit* edit, const char* digits) {
  edit->setFocus();
  edit->setCursorPosition(0);
  QTest::keyClicks(edit, digits);
}

const TForm1::ListItem* WindowTest::ItemById(long id) const { return ItemOf(*form, id); }

void WindowTest::Select(long id) {
  const TForm1::ListItem* item = ItemById(id);
  ASSERT_NE(item, nullptr) << "no item " << id;
  form->ListView1->setCurrentIndex(form->IndexOf(item));
}

void WindowTest::ClickRow(long id) {
  const TForm1::ListItem* item = ItemById(id);
  ASSERT_NE(item, nullptr) << "no item " << id;
  form->ListView1->scrollTo(form->IndexOf(item));
  QTest::mouseClick(form->ListView1->viewport(), Qt::LeftButton, {},
                    form->ListView1->visualRect(form->IndexOf(item)).center());
}

std::string WindowTest::LogFile() const { return FileBytes(dir / "SMS_converter.log"); }
