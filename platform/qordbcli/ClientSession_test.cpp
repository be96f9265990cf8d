// Records through the exported entries: navigation, keys, finds, lists and
// changes, on the SHOP database of the test server.
#include "ClientSession.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>

#include "TestServer_testutil.h"
#include "qordbcli.h"

namespace {

using Entry = int (*)(int32_t, int32_t, int32_t, int32_t, char**);

class Records : public NoLeakedBuffers {
 protected:
  // IDs met by one entry applied again and again until it answers 10002.
  std::vector<std::string> Walk(Entry first, Entry step) {
    std::vector<std::string> ids;
    int id = c_.CustomerId(first);
    for (; id > 0; id = c_.CustomerId(step)) ids.push_back(std::to_string(id));
    EXPECT_EQ(id, -10002);
    return ids;
  }
  int Define(const std::string& field) {
    return DefineKey(c_.h, c_.shop, c_.Rt("CUSTOMER"), field.empty() ? 1 : c_.Key("CUSTOMER", field));
  }
  std::vector<char> Customer(int id, const std::string& name, const std::string& city) {
    std::vector<char> img = c_.Blank("CUSTOMER");
    c_.shopDict.SetInt(img, "CUSTOMER", "ID", id);
    c_.shopDict.SetText(img, "CUSTOMER", "NAME", name);
    c_.shopDict.SetText(img, "CUSTOMER", "CITY", city);
    return img;
  }
  // Calls a find or change entry on a packed image, as the client does.
  int Call(Entry e, std::vector<char>& img, const std::string& record = "CUSTOMER") {
    char* p = img.data();
    int status = e(c_.h, c_.shop, c_.Rt(record), c_.Len(record), &p);
    EXPECT_EQ(p, img.data()) << "the caller's block is never replaced";
    return status;
  }
  int Id(const std::vector<char>& img) { return static_cast<int>(c_.shopDict.Int(img.data(), "CUSTOMER", "ID")); }
  // The IDs that the CITYNAME index gives for a city and name.
  std::vector<std::string> Named(const std::string& city, const std::string& name) {
    std::vector<char> key = Customer(0, name, city);
    char* p = key.data();
    int32_t size = c_.Len("CUSTOMER");
    Owned list;
    std::vector<std::string> ids;
    if (FindList(c_.h, &size, &p, &list, c_.shop, c_.Rt("CUSTOMER"),
                 c_.Key("CUSTOMER", "CITYNAME")) != 0)
      return ids;
    for (int32_t at = 0; at < size; at += c_.Len("CUSTOMER"))
      ids.push_back(std::to_string(c_.shopDict.Int(list.p + at, "CUSTOMER", "ID")));
    return ids;
  }

  TestServer server_;
  TestClient c_{server_};
};

std::vector<std::string> Ids(std::initializer_list<int> ids) {
  std::vector<std::string> out;
  for (int i : ids) out.push_back(std::to_string(i));
  return out;
}

TEST_F(Records, NavigationFollowsTheCurrentKeyWithTiesByInsertion) {
  struct Case {
    const char* key;
    std::vector<std::string> order;
  };
  // Names compare as Windows-1250 bytes: B (0x42) < K (0x4B) < Á (0xC1).
  const Case cases[] = {
      {"", Ids({1, 2, 3, 4, 5})},
      {"ID", Ids({1, 2, 3, 4, 5})},
      {"NAME", Ids({4, 1, 3, 5, 2})},
      {"CITYNAME", Ids({4, 1, 5, 3, 2})},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.key);
    ASSERT_EQ(Define(c.key), 0);
    EXPECT_EQ(Walk(FirstRec, NextRec), c.order);
    std::vector<std::string> back(c.order.rbegin(), c.order.rend());
    EXPECT_EQ(Walk(LastRec, PrevRec), back);
  }
}

TEST_F(Records, NextAndPriorContinueFromTheRememberedRecord) {
  EXPECT_EQ(c_.CustomerId(NextRec), 1) << "no current record yet: next starts at the first";
  EXPECT_EQ(c_.CustomerId(LastRec), 5);
  EXPECT_EQ(c_.CustomerId(NextRec), -10002);
  EXPECT_EQ(c_.CustomerId(ReadCurrentRec), 5) << "a failed move keeps the position";
  EXPECT_EQ(c_.CustomerId(PrevRec), 4);

  // Record 2 is Áron, last by name: after switching the key nothing follows it.
  EXPECT_EQ(c_.CustomerId(FirstRec), 1);
  EXPECT_EQ(c_.CustomerId(NextRec), 2);
  ASSERT_EQ(Define("NAME"), 0);
  EXPECT_EQ(c_.CustomerId(NextRec), -10002);
  EXPECT_EQ(c_.CustomerId(PrevRec), 5);

  // Deleting the current record: the neighbours stay reachable from it.
  EXPECT_EQ(c_.CustomerId(PrevRec), 3);
  std::vector<char> img = Customer(3, "Kovács", "Debrecen");
  ASSERT_EQ(Call(DelRec, img), 0);
  EXPECT_EQ(c_.CustomerId(ReadCurrentRec), -10002);
  EXPECT_EQ(c_.CustomerId(NextRec), 5);
  EXPECT_EQ(c_.CustomerId(PrevRec), 1);
}

TEST_F(Records, EmptyRecordTypeHasNoRecord) {
  for (Entry e : {FirstRec, LastRec, NextRec, PrevRec, ReadCurrentRec}) {
    Owned image;
    EXPECT_EQ(e(c_.h, c_.log, c_.logDict.Rt("ENTRY"), c_.logDict.ImageLength("ENTRY"), &image), 10002);
    EXPECT_EQ(image.p, nullptr);
  }
}

TEST_F(Records, DefineKeyTakesKeyFieldsOnly) {
  const int rt = c_.Rt("CUSTOMER");
  struct Case {
    int32_t db, rt, key;
    int status;
  };
  const Case cases[] = {
      {c_.shop, rt, 1, 0},
      {c_.shop, rt, c_.Key("CUSTOMER", "ID"), 0},
      {c_.shop, rt, c_.Key("CUSTOMER", "NAME"), 0},
      {c_.shop, rt, c_.Key("CUSTOMER", "CITYNAME"), 0},
      {c_.shop, rt, c_.Key("CUSTOMER", "CITY"), 10013},  // a component, not a key of its own
      {c_.shop, rt, c_.Key("CONTACT", "CID"), 10013},    // a key of another record
      {c_.shop, rt, 999, 10013},
      {c_.shop, rt, -1, 10013},
      {c_.shop, 9999, 1, 10012},
      {c_.shop, rt + 100, 1, 10012},
      {c_.shop + 100, rt, 1, 10017},
  };
  for (const Case& c : cases) EXPECT_EQ(DefineKey(c_.h, c.db, c.rt, c.key), c.status) << c.key;
}

TEST_F(Records, FindRecByUniqueNonUniqueAndCompoundKeys) {
  std::vector<char> img = Customer(3, "", "");
  EXPECT_EQ(Call(FindRec, img), 10021) << "the default key cannot be searched";

  ASSERT_EQ(Define("ID"), 0);
  ASSERT_EQ(Call(FindRec, img), 0);
  EXPECT_EQ(c_.shopDict.Text(img.data(), "CUSTOMER", "CITY"), "Debrecen") << "the record found is written back";

  ASSERT_EQ(Define("NAME"), 0);
  img = Customer(0, "Kovács", "");
  // Bytes after the NUL are not part of the key.
  img[c_.shopDict.Offset("CUSTOMER", "NAME") + 10] = 'x';
  std::vector<int> found;
  for (int status = Call(FindRec, img); status == 0; status = Call(FindRecNext, img)) found.push_back(Id(img));
  EXPECT_EQ(found, (std::vector<int>{1, 3, 5}));
  EXPECT_EQ(c_.CustomerId(ReadCurrentRec), 5);

  img = Customer(0, "Kov", "");
  EXPECT_EQ(Call(FindRec, img), 10002) << "no prefix matches";

  ASSERT_EQ(Define("CITYNAME"), 0);
  img = Customer(0, "Kovács", "Budapest");
  found.clear();
  for (int status = Call(FindRec, img); status == 0; status = Call(FindRecNext, img)) found.push_back(Id(img));
  EXPECT_EQ(found, (std::vector<int>{1, 5}));
  img = Customer(0, "Kovács", "Szeged");
  EXPECT_EQ(Call(FindRec, img), 10002);
}

TEST_F(Records, ListsByEqualAndGreaterKeyAndAll) {
  const int rt = c_.Rt("CUSTOMER");
  const int len = c_.Len("CUSTOMER");
  auto list = [&](decltype(&FindList) entry, std::vector<char> key, const char* field, int* status) {
    int32_t size = len;
    char* k = key.data();
    Owned out;
    *status = entry(c_.h, &size, &k, &out, c_.shop, rt, c_.Key("CUSTOMER", field));
    if (*status != 0) {
      EXPECT_EQ(out.p, nullptr);
    }
    if (*status == 10002) {
      EXPECT_EQ(size, 0);
    }
    return c_.Column(out.p, *status ? 0 : size, "CUSTOMER", "CITY");
  };
  int status;
  EXPECT_EQ(list(FindList, Customer(0, "Kovács", ""), "NAME", &status),
            (std::vector<std::string>{"Budapest", "Debrecen", "Budapest"}));
  EXPECT_EQ(status, 0);
  EXPECT_EQ(list(FindList, Customer(0, "Nobody", ""), "NAME", &status).size(), 0u);
  EXPECT_EQ(status, 10002);
  EXPECT_EQ(list(FindGreater, Customer(0, "C", ""), "NAME", &status),
            (std::vector<std::string>{"Budapest", "Debrecen", "Budapest", "Szeged"}));
  // Compound keys compare component by component.
  EXPECT_EQ(list(FindGreater, Customer(0, "L", "Budapest"), "CITYNAME", &status),
            (std::vector<std::string>{"Debrecen", "Szeged"}));
  EXPECT_EQ(list(FindList, Customer(0, "Kovács", "Budapest"), "CITYNAME", &status),
            (std::vector<std::string>{"Budapest", "Budapest"}));
  EXPECT_EQ(list(FindList, Customer(0, "Kovács", ""), "CITY", &status).size(), 0u);
  EXPECT_EQ(status, 10013);

  int32_t size = len;
  Owned all;
  ASSERT_EQ(GetAllRec(c_.h, c_.shop, rt, &size, &all), 0);
  EXPECT_EQ(size, 5 * len);
  EXPECT_EQ(c_.Column(all.p, size, "CUSTOMER", "NAME"),
            (std::vector<std::string>{"Kovács", "Áron", "Kovács", "Bíró", "Kovács"}));

  size = len + 1;
  Owned none;
  EXPECT_EQ(GetAllRec(c_.h, c_.shop, rt, &size, &none), 10036);
  std::vector<char> key = Customer(1, "", "");
  char* k = key.data();
  size = len - 1;
  EXPECT_EQ(FindList(c_.h, &size, &k, &none, c_.shop, rt, c_.Key("CUSTOMER", "ID")), 10036);
  size = len;
  EXPECT_EQ(FindList(c_.h, &size, &k, &none, c_.shop, rt, 1), 10021);
  EXPECT_EQ(FindList(c_.h, &size, nullptr, &none, c_.shop, rt, 0), 10050);
  EXPECT_EQ(none.p, nullptr);

  size = c_.Len("CONTACT");
  Owned contacts;
  ASSERT_EQ(GetAllRec(c_.h, c_.shop, c_.Rt("CONTACT"), &size, &contacts), 0);
  EXPECT_EQ(c_.Column(contacts.p, size, "CONTACT", "VALUE"),
            (std::vector<std::string>{"+36 1 111", "a@b.hu", "+36 52 333"}));
  EXPECT_EQ(c_.shopDict.Text(contacts.p, "CONTACT", "STREET"), "Fő u.");
  EXPECT_EQ(c_.shopDict.Int(contacts.p + 2 * c_.Len("CONTACT"), "CONTACT", "NO"), -7);
  EXPECT_EQ(c_.shopDict.Double(contacts.p + 2 * c_.Len("CONTACT"), "CONTACT", "SCORE"), 1.25);
}

TEST_F(Records, NewRecStoresANormalisedImageAndRefusesUniqueDuplicates) {
  std::vector<char> img(c_.Len("CUSTOMER"), '\xAA');  // garbage everywhere, also between fields
  c_.shopDict.SetInt(img, "CUSTOMER", "ID", 6);
  std::memcpy(img.data() + c_.shopDict.Offset("CUSTOMER", "NAME"), "Új\0garbage", 10);
  c_.shopDict.SetText(img, "CUSTOMER", "NOTE", "");
  c_.shopDict.SetText(img, "CUSTOMER", "CITY", "Pécs");
  c_.shopDict.SetInt(img, "CUSTOMER", "ZIP", 7621);
  ASSERT_EQ(Call(NewRec, img), 0);

  std::vector<char> expected = Customer(6, "Új", "Pécs");
  c_.shopDict.SetInt(expected, "CUSTOMER", "ZIP", 7621);
  EXPECT_EQ(img, expected) << "the stored record is written back";
  ASSERT_EQ(Define("ID"), 0);
  std::vector<char> found = Customer(6, "", "");
  ASSERT_EQ(Call(FindRec, found), 0);
  EXPECT_EQ(found, expected);
  EXPECT_EQ(c_.CustomerId(ReadCurrentRec), 6);

  struct Case {
    const char* what;
    std::vector<char> image;
    const char* record;
    int status;
  };
  std::vector<char> contactDup(c_.Len("CONTACT")), contactNew(c_.Len("CONTACT"));
  c_.shopDict.SetInt(contactDup, "CONTACT", "CID", 99);
  c_.shopDict.SetInt(contactDup, "CONTACT", "OWNER", 1);
  c_.shopDict.SetText(contactDup, "CONTACT", "KIND", "T");
  contactNew = contactDup;
  c_.shopDict.SetText(contactNew, "CONTACT", "KIND", "F");
  Case cases[] = {
      {"unique ID taken", Customer(1, "Más", "Győr"), "CUSTOMER", 10005},
      {"non-unique NAME repeated", Customer(7, "Kovács", "Budapest"), "CUSTOMER", 0},
      {"unique compound key taken", contactDup, "CONTACT", 10005},
      {"unique compound key free", contactNew, "CONTACT", 0},
  };
  for (Case& c : cases) EXPECT_EQ(Call(NewRec, c.image, c.record), c.status) << c.what;
  int32_t count = -1;
  EXPECT_EQ(GetCount(c_.h, c_.shop, c_.Rt("CUSTOMER"), &count), 0);
  EXPECT_EQ(count, 7);
  EXPECT_EQ(GetCount(c_.h, c_.shop, c_.Rt("CONTACT"), &count), 0);
  EXPECT_EQ(count, 4);
}

TEST_F(Records, ModRecAndDelRecLocateByTheCurrentKey) {
  // Default key: the current record.
  EXPECT_EQ(c_.CustomerId(FirstRec), 1);
  std::vector<char> img = Customer(1, "Kovács Béla", "Budapest");
  ASSERT_EQ(Call(ModRec, img), 0);

  // Unique key: the record with that value, wherever the position is.
  ASSERT_EQ(Define("ID"), 0);
  img = Customer(4, "Bíró Anna", "Eger");
  ASSERT_EQ(Call(ModRec, img), 0);
  EXPECT_EQ(c_.CustomerId(ReadCurrentRec), 4);

  // Changing a unique key into a taken value is refused and changes nothing.
  ASSERT_EQ(Define("NAME"), 0);
  img = Customer(2, "Áron", "Szeged");
  ASSERT_EQ(Call(FindRec, img), 0);
  c_.shopDict.SetInt(img, "CUSTOMER", "ID", 3);
  EXPECT_EQ(Call(ModRec, img), 10005);

  int32_t size = c_.Len("CUSTOMER");
  Owned all;
  ASSERT_EQ(GetAllRec(c_.h, c_.shop, c_.Rt("CUSTOMER"), &size, &all), 0);
  EXPECT_EQ(c_.Column(all.p, size, "CUSTOMER", "NAME"),
            (std::vector<std::string>{"Kovács Béla", "Áron", "Kovács", "Bíró Anna", "Kovács"}));
  EXPECT_EQ(c_.Column(all.p, size, "CUSTOMER", "CITY"),
            (std::vector<std::string>{"Budapest", "Szeged", "Debrecen", "Eger", "Budapest"}));

  // A non-unique key prefers the current record when it carries the value.
  img = Customer(0, "Kovács", "");
  ASSERT_EQ(Call(FindRec, img), 0);
  ASSERT_EQ(Call(FindRecNext, img), 0);
  ASSERT_EQ(Id(img), 5);
  ASSERT_EQ(Call(DelRec, img), 0);
  EXPECT_EQ(Call(DelRec, img), 0) << "record 3 still carries the name";
  EXPECT_EQ(Call(DelRec, img), 10002);
  EXPECT_EQ(Call(ModRec, img), 10002);

  ASSERT_EQ(Define(""), 0);
  EXPECT_EQ(c_.CustomerId(LastRec), 4);
  img = Customer(4, "", "");
  ASSERT_EQ(Call(DelRec, img), 0);
  EXPECT_EQ(Call(ModRec, img), 10002) << "the current record is gone";
  EXPECT_EQ(Walk(FirstRec, NextRec), Ids({1, 2}));
}

// A change that leaves every key value as it was stores the record alone; the
// key columns must still follow the record as it is stored, also when another
// handle changed a key value since this handle read the record.
TEST_F(Records, ModRecKeepsTheKeysInStepWithTheStoredRecord) {
  TestClient other{server_};
  ASSERT_EQ(Define("ID"), 0);
  std::vector<char> img = Customer(1, "", "");
  ASSERT_EQ(Call(FindRec, img), 0);

  // Only the note changes: the record is rewritten, its keys stay found.
  c_.shopDict.SetText(img, "CUSTOMER", "NOTE", "first");
  ASSERT_EQ(Call(ModRec, img), 0);
  EXPECT_EQ(Named("Budapest", "Kovács"), Ids({1, 5}));

  // Another handle moves the record to another city ...
  std::vector<char> moved = Customer(1, "", "");
  char* p = moved.data();
  ASSERT_EQ(DefineKey(other.h, other.shop, other.Rt("CUSTOMER"), other.Key("CUSTOMER", "ID")), 0);
  ASSERT_EQ(FindRec(other.h, other.shop, other.Rt("CUSTOMER"), other.Len("CUSTOMER"), &p), 0);
  other.shopDict.SetText(moved, "CUSTOMER", "CITY", "Pécs");
  ASSERT_EQ(ModRec(other.h, other.shop, other.Rt("CUSTOMER"), other.Len("CUSTOMER"), &p), 0);
  EXPECT_EQ(Named("Pécs", "Kovács"), Ids({1}));

  // ... and this handle, which still holds Budapest, changes the note: its
  // whole record is stored, Budapest and the index with it.
  c_.shopDict.SetText(img, "CUSTOMER", "NOTE", "second");
  ASSERT_EQ(Call(ModRec, img), 0);
  EXPECT_EQ(Named("Budapest", "Kovács"), Ids({1, 5}));
  EXPECT_EQ(Named("Pécs", "Kovács"), std::vector<std::string>{});
  std::vector<char> stored = Customer(1, "", "");
  ASSERT_EQ(Call(FindRec, stored), 0);
  EXPECT_EQ(stored, img);

  // Standing on another record, a change of the note alone is stored on the
  // record that carries the key value, which its keys still find.
  EXPECT_EQ(c_.CustomerId(LastRec), 5);
  c_.shopDict.SetText(img, "CUSTOMER", "NOTE", "third");
  ASSERT_EQ(Call(ModRec, img), 0);
  EXPECT_EQ(Named("Budapest", "Kovács"), Ids({1, 5}));
  stored = Customer(1, "", "");
  ASSERT_EQ(Call(FindRec, stored), 0);
  EXPECT_EQ(stored, img);

  // A key value changed by this handle moves the record in the index.
  c_.shopDict.SetText(img, "CUSTOMER", "CITY", "Eger");
  ASSERT_EQ(Call(ModRec, img), 0);
  EXPECT_EQ(Named("Eger", "Kovács"), Ids({1}));
  EXPECT_EQ(Named("Budapest", "Kovács"), Ids({5}));
}

TEST_F(Records, ChangesInsideATransactionGoByTheRecordTheHandleSaw) {
  // Outside a transaction on record 2, inside one on record 3: the same answers.
  for (const int id : {2, 3}) {
    const bool inside = id == 3;
    SCOPED_TRACE(inside ? "inside a transaction" : "outside");
    if (inside) {
      ASSERT_EQ(BeginTransaction(c_.h, "T", 0, 0), 0);
    }
    ASSERT_EQ(Define("ID"), 0);
    std::vector<char> img = Customer(id, "", "");
    ASSERT_EQ(Call(FindRec, img), 0);
    c_.shopDict.SetText(img, "CUSTOMER", "CITY", "Pécs");
    EXPECT_EQ(Call(ModRec, img), 0);
    std::vector<char> stored = Customer(id, "", "");
    ASSERT_EQ(Call(FindRec, stored), 0);
    EXPECT_EQ(stored, img);

    // The image sent carries another value of the current key, which no
    // record holds: the current record stays as it is.
    std::vector<char> other = img;
    c_.shopDict.SetInt(other, "CUSTOMER", "ID", 99);
    EXPECT_EQ(Call(ModRec, other), 10002);
    ASSERT_EQ(Call(FindRec, stored), 0);
    EXPECT_EQ(stored, img);

    ASSERT_EQ(Call(DelRec, img), 0);
    EXPECT_EQ(Call(ModRec, img), 10002) << "the record it saw is gone";
    EXPECT_EQ(Call(DelRec, img), 10002);
    if (inside) {
      ASSERT_EQ(EndTransaction(c_.h, 1), 0);
    }
  }
  int32_t count = 0;
  EXPECT_EQ(GetCount(c_.h, c_.shop, c_.Rt("CUSTOMER"), &count), 0);
  EXPECT_EQ(count, 3);
}

// Inside a transaction too, the key columns follow the record as it is
// stored: when this handle changes a key other than the current one, and when
// another handle changed or deleted the record before the transaction began.
TEST_F(Records, ChangesInsideATransactionKeepTheIndexesInStep) {
  TestClient other{server_};
  // Another handle finds the customer by ID, then changes its city or deletes it.
  auto byOther = [&](int id, const char* city) {
    std::vector<char> img = Customer(id, "", "");
    char* p = img.data();
    const int rt = other.Rt("CUSTOMER"), len = other.Len("CUSTOMER");
    ASSERT_EQ(DefineKey(other.h, other.shop, rt, other.Key("CUSTOMER", "ID")), 0);
    ASSERT_EQ(FindRec(other.h, other.shop, rt, len, &p), 0);
    if (!city) {
      ASSERT_EQ(DelRec(other.h, other.shop, rt, len, &p), 0);
      return;
    }
    other.shopDict.SetText(img, "CUSTOMER", "CITY", city);
    ASSERT_EQ(ModRec(other.h, other.shop, rt, len, &p), 0);
  };
  auto inTransaction = [&](const std::function<void()>& body) {
    ASSERT_EQ(BeginTransaction(c_.h, "T", 0, 0), 0);
    body();
    ASSERT_EQ(EndTransaction(c_.h, 1), 0);
  };
  ASSERT_EQ(Define("ID"), 0);
  std::vector<char> stored = Customer(0, "", "");

  // Found and moved to another city in the transaction: the record moves in
  // the CITYNAME index.
  std::vector<char> img = Customer(1, "", "");
  inTransaction([&] {
    ASSERT_EQ(Call(FindRec, img), 0);
    c_.shopDict.SetText(img, "CUSTOMER", "CITY", "Eger");
    EXPECT_EQ(Call(ModRec, img), 0);
  });
  EXPECT_EQ(Named("Eger", "Kovács"), Ids({1}));
  EXPECT_EQ(Named("Budapest", "Kovács"), Ids({5}));

  // Read before the transaction, moved by the other handle, then changed here
  // without a new find: the whole record as this handle holds it is stored,
  // its city and the index with it.
  img = Customer(3, "", "");
  ASSERT_EQ(Call(FindRec, img), 0);
  byOther(3, "Pécs");
  inTransaction([&] {
    c_.shopDict.SetText(img, "CUSTOMER", "NOTE", "here");
    EXPECT_EQ(Call(ModRec, img), 0);
  });
  EXPECT_EQ(Named("Debrecen", "Kovács"), Ids({3}));
  EXPECT_EQ(Named("Pécs", "Kovács"), std::vector<std::string>{});
  stored = Customer(3, "", "");
  ASSERT_EQ(Call(FindRec, stored), 0);
  EXPECT_EQ(stored, img);

  // Moved by the other handle, then found and changed in the transaction:
  // the change goes onto the record as the other handle left it.
  byOther(3, "Pécs");
  inTransaction([&] {
    ASSERT_EQ(Call(FindRec, img), 0);
    c_.shopDict.SetText(img, "CUSTOMER", "NOTE", "there");
    EXPECT_EQ(Call(ModRec, img), 0);
  });
  EXPECT_EQ(Named("Pécs", "Kovács"), Ids({3}));
  EXPECT_EQ(Named("Debrecen", "Kovács"), std::vector<std::string>{});
  ASSERT_EQ(Call(FindRec, stored), 0);
  EXPECT_EQ(c_.shopDict.Text(stored.data(), "CUSTOMER", "CITY"), "Pécs");
  EXPECT_EQ(c_.shopDict.Text(stored.data(), "CUSTOMER", "NOTE"), "there");

  // Read before the transaction and deleted by the other handle: neither a
  // change nor a find brings it back.
  img = Customer(4, "", "");
  ASSERT_EQ(Call(FindRec, img), 0);
  byOther(4, nullptr);
  inTransaction([&] {
    c_.shopDict.SetText(img, "CUSTOMER", "NOTE", "gone");
    EXPECT_EQ(Call(ModRec, img), 10002);
    EXPECT_EQ(Call(FindRec, img), 10002);
  });
  int32_t count = 0;
  EXPECT_EQ(GetCount(c_.h, c_.shop, c_.Rt("CUSTOMER"), &count), 0);
  EXPECT_EQ(count, 4);
  EXPECT_EQ(Named("Budapest", "Bíró"), std::vector<std::string>{});
}

TEST_F(Records, BadArgumentsGetTheirStatusAndChangeNothing) {
  const int rt = c_.Rt("CUSTOMER"), len = c_.Len("CUSTOMER");
  std::vector<char> img = Customer(9, "X", "Y");
  char* p = img.data();
  char* null = nullptr;
  struct Case {
    const char* what;
    int32_t h, db, rt, len;
    char** buffer;
    int status;
  };
  const Case cases[] = {
      {"handle", 777, c_.shop, rt, len, &p, 10015},
      {"database", c_.h, 4242, rt, len, &p, 10017},
      {"record type below", c_.h, c_.shop, 9999, len, &p, 10012},
      {"record type above", c_.h, c_.shop, rt + 2, len, &p, 10012},
      {"length short", c_.h, c_.shop, rt, len - 1, &p, 10036},
      {"length long", c_.h, c_.shop, rt, len + 100, &p, 10036},
      {"negative length", c_.h, c_.shop, rt, -5, &p, 10036},
      {"no buffer address", c_.h, c_.shop, rt, len, nullptr, 10050},
      {"no buffer", c_.h, c_.shop, rt, len, &null, 10050},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    for (Entry e : {NewRec, ModRec, DelRec, FindRec, FindRecNext})
      EXPECT_EQ(e(c.h, c.db, c.rt, c.len, c.buffer), c.status);
    if (c.buffer && *c.buffer) {
      Owned image;
      for (Entry e : {FirstRec, NextRec, PrevRec, LastRec, ReadCurrentRec})
        EXPECT_EQ(e(c.h, c.db, c.rt, c.len, &image), c.status);
    }
  }
  for (Entry e : {FirstRec, NextRec, PrevRec, LastRec, ReadCurrentRec})
    EXPECT_EQ(e(c_.h, c_.shop, rt, len, nullptr), 10050);
  int32_t count = 0;
  EXPECT_EQ(GetCount(c_.h, c_.shop, rt, &count), 0);
  EXPECT_EQ(count, 5);
}

}  // namespace
