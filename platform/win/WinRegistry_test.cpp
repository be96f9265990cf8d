#include "WinRegistry.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>

namespace win {
namespace {

const char* const kClients =
    "REGEDIT4\r\n"
    "\r\n"
    "; two client configurations\r\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\QODBCLIENTS\\ugyfel]\r\n"
    "\"Service\"=\"qordb\"\r\n"
    "\"Server\"=\"C:\\\\data\\\\\\\"dest\\\"\"\r\n"
    "\"Timeout\"=dword:0000001e\r\n"
    "\"UseBlob\"=hex:01,00\r\n"
    "\"Big\"=hex:00,01,02,03,\\\r\n"
    "  04,05\r\n"
    "@=\"default\"\r\n"
    "\r\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\QODBCLIENTS\\Kelvado]\r\n"
    "\"Service\"=\"qordb\"\r\n"
    "\"Megjegyzés\"=\"árvíztűrő\"\r\n"
    "\"Paths\"=hex(7):41,00,42,00,00\r\n";

// Writes a registry file and points QOR_REGISTRY at it for one test.
class RegistryFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    path_ = std::filesystem::temp_directory_path() /
            ("winreg_" + std::to_string(getpid()) + "_" +
             ::testing::UnitTest::GetInstance()->current_test_info()->name() + ".reg");
    setenv("QOR_REGISTRY", path_.c_str(), 1);
  }
  void TearDown() override {
    unsetenv("QOR_REGISTRY");
    std::filesystem::remove(path_);
  }
  void Write(const std::string& text) { std::ofstream(path_, std::ios::binary) << text; }

  std::filesystem::path path_;
};

std::vector<std::string> SubKeys(HKEY key) {
  std::vector<std::string> names;
  char name[260];
  for (DWORD i = 0; RegEnumKeyA(key, i, name, sizeof name) == ERROR_SUCCESS; ++i) names.push_back(name);
  return names;
}

std::vector<BYTE> Query(HKEY key, const char* name, DWORD* type = nullptr) {
  BYTE data[260];
  DWORD size = sizeof data;
  EXPECT_EQ(RegQueryValueExA(key, name, nullptr, type, data, &size), ERROR_SUCCESS) << name;
  return {data, data + size};
}

std::vector<BYTE> Bytes(std::string_view s) { return {s.begin(), s.end()}; }

TEST_F(RegistryFileTest, ReadsTheClientConfigurationsWithoutRegardToCase) {
  Write(kClients);
  HKEY clients = nullptr;
  ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "software\\QoDbClients", 0, KEY_READ, &clients), ERROR_SUCCESS);
  // Byte order of the upper-cased names, as first written; not file order.
  EXPECT_EQ(SubKeys(clients), (std::vector<std::string>{"Kelvado", "ugyfel"}));

  HKEY ugyfel = nullptr;
  ASSERT_EQ(RegOpenKeyExA(clients, "UGYFEL", 0, KEY_READ, &ugyfel), ERROR_SUCCESS);
  DWORD type = 0;
  EXPECT_EQ(Query(ugyfel, "service", &type), Bytes(std::string_view("qordb\0", 6)));
  EXPECT_EQ(type, REG_SZ);
  EXPECT_EQ(Query(ugyfel, "Server"), Bytes(std::string_view("C:\\data\\\"dest\"\0", 15)));
  EXPECT_EQ(Query(ugyfel, "TIMEOUT", &type), (std::vector<BYTE>{0x1e, 0, 0, 0}));
  EXPECT_EQ(type, REG_DWORD);
  EXPECT_EQ(Query(ugyfel, "UseBlob", &type), (std::vector<BYTE>{1, 0}));
  EXPECT_EQ(type, REG_BINARY);
  EXPECT_EQ(Query(ugyfel, "Big"), (std::vector<BYTE>{0, 1, 2, 3, 4, 5}));
  EXPECT_EQ(Query(ugyfel, nullptr), Bytes(std::string_view("default\0", 8)));
  EXPECT_EQ(RegCloseKey(ugyfel), ERROR_SUCCESS);

  HKEY kelvado = nullptr;
  ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\QODBCLIENTS\\KELVADO", 0, KEY_READ, &kelvado),
            ERROR_SUCCESS);
  EXPECT_EQ(Query(kelvado, "MEGJEGYZéS"), Bytes(std::string_view("árvíztűrő\0", 10)));
  EXPECT_EQ(Query(kelvado, "Paths", &type), (std::vector<BYTE>{0x41, 0, 0x42, 0, 0}));
  EXPECT_EQ(type, REG_MULTI_SZ);
  EXPECT_EQ(RegCloseKey(kelvado), ERROR_SUCCESS);
  EXPECT_EQ(RegCloseKey(clients), ERROR_SUCCESS);
}

TEST_F(RegistryFileTest, QueryAnswersSizesAndShortBuffersAsWindowsDoes) {
  Write(kClients);
  HKEY key = nullptr;
  ASSERT_EQ(RegOpenKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE\\QODBCLIENTS\\UGYFEL", &key), ERROR_SUCCESS);
  DWORD size = 0, type = 0;
  EXPECT_EQ(RegQueryValueExA(key, "Service", nullptr, &type, nullptr, &size), ERROR_SUCCESS);
  EXPECT_EQ(size, 6u);
  BYTE small[3] = {9, 9, 9};
  size = sizeof small;
  EXPECT_EQ(RegQueryValueExA(key, "Service", nullptr, nullptr, small, &size), ERROR_MORE_DATA);
  EXPECT_EQ(size, 6u);
  EXPECT_EQ(RegQueryValueExA(key, "Missing", nullptr, nullptr, small, &size), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegQueryValueExA(key, "Service", nullptr, nullptr, small, nullptr), ERROR_INVALID_PARAMETER);

  char name[4];
  HKEY clients = nullptr;
  ASSERT_EQ(RegOpenKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE\\QODBCLIENTS", &clients), ERROR_SUCCESS);
  EXPECT_EQ(RegEnumKeyA(clients, 0, name, sizeof name), ERROR_MORE_DATA);  // "Kelvado" needs 8
  EXPECT_EQ(RegEnumKeyA(clients, 2, name, sizeof name), ERROR_NO_MORE_ITEMS);
  RegCloseKey(clients);
  RegCloseKey(key);
}

TEST_F(RegistryFileTest, BadHandlesAndMissingKeysFailCleanly) {
  Write(kClients);
  HKEY key = nullptr;
  EXPECT_EQ(RegOpenKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE\\NOPE", &key), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(key, nullptr);
  EXPECT_EQ(RegOpenKeyA(HKEY_LOCAL_MACHINE, "NOPE\\QODBCLIENTS", &key), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(key, nullptr);
  // Names match without regard to case; empty parts of the path are skipped.
  ASSERT_EQ(RegOpenKeyA(HKEY_LOCAL_MACHINE, "\\software\\\\qodbclients\\", &key), ERROR_SUCCESS);
  EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
  EXPECT_EQ(RegOpenKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE", nullptr), ERROR_INVALID_PARAMETER);
  ASSERT_EQ(RegOpenKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE", &key), ERROR_SUCCESS);
  EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
  // The handle is gone now; nothing may read through it.
  EXPECT_EQ(RegCloseKey(key), ERROR_INVALID_HANDLE);
  char name[16];
  EXPECT_EQ(RegEnumKeyA(key, 0, name, sizeof name), ERROR_INVALID_HANDLE);
  DWORD size = sizeof name;
  EXPECT_EQ(RegQueryValueExA(key, "x", nullptr, nullptr, reinterpret_cast<BYTE*>(name), &size),
            ERROR_INVALID_HANDLE);
  HKEY sub = nullptr;
  EXPECT_EQ(RegOpenKeyA(key, "QODBCLIENTS", &sub), ERROR_INVALID_HANDLE);
  EXPECT_EQ(RegCloseKey(HKEY_LOCAL_MACHINE), ERROR_SUCCESS);
  EXPECT_EQ(RegEnumKeyA(reinterpret_cast<HKEY>(name), 0, name, sizeof name), ERROR_INVALID_HANDLE);
}

TEST_F(RegistryFileTest, RootKeysReadTheFileDirectly) {
  Write("REGEDIT4\n[HKEY_CURRENT_USER\\Console]\n[HKEY_LOCAL_MACHINE\\SOFTWARE]\n[HKEY_LOCAL_MACHINE]\n\"v\"=\"x\"\n");
  EXPECT_EQ(SubKeys(HKEY_LOCAL_MACHINE), (std::vector<std::string>{"SOFTWARE"}));
  EXPECT_EQ(SubKeys(HKEY_CURRENT_USER), (std::vector<std::string>{"Console"}));
  EXPECT_EQ(SubKeys(HKEY_USERS), (std::vector<std::string>{}));
  EXPECT_EQ(Query(HKEY_LOCAL_MACHINE, "V"), Bytes(std::string_view("x\0", 2)));
}

TEST_F(RegistryFileTest, MissingFileOrVariableIsAnEmptyRegistry) {
  for (bool unset : {false, true}) {
    if (unset) unsetenv("QOR_REGISTRY");  // else the file was never written
    HKEY key = nullptr;
    EXPECT_EQ(RegOpenKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE\\QODBCLIENTS", &key), ERROR_FILE_NOT_FOUND);
    ASSERT_EQ(RegOpenKeyA(HKEY_LOCAL_MACHINE, "", &key), ERROR_SUCCESS);
    char name[16];
    EXPECT_EQ(RegEnumKeyA(key, 0, name, sizeof name), ERROR_NO_MORE_ITEMS);
    RegCloseKey(key);
  }
}

TEST_F(RegistryFileTest, AnOpenKeyKeepsItsSnapshotAndTheNextOpenSeesAChangedFile) {
  Write(kClients);
  HKEY before = nullptr;
  ASSERT_EQ(RegOpenKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE\\QODBCLIENTS", &before), ERROR_SUCCESS);
  Write("REGEDIT4\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\QODBCLIENTS\\Other]\n");
  EXPECT_EQ(SubKeys(before), (std::vector<std::string>{"Kelvado", "ugyfel"}));
  HKEY after = nullptr;
  ASSERT_EQ(RegOpenKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE\\QODBCLIENTS", &after), ERROR_SUCCESS);
  EXPECT_EQ(SubKeys(after), (std::vector<std::string>{"Other"}));
  RegCloseKey(before);
  RegCloseKey(after);
}

TEST(RegistryParse, SkipsEachMalformedLineAndKeepsTheRest) {
  struct Case {
    const char* line;
    bool skipped;
  } cases[] = {
      {"\"A\"=\"unterminated", true},
      {"\"A\"=\"text\" trailing", true},
      {"\"A\"=dword:", true},
      {"\"A\"=dword:123456789", true},
      {"\"A\"=dword:xyz", true},
      {"\"A\"=hex:1,,2", true},
      {"\"A\"=hex:123", true},
      {"\"A\"=hex:zz", true},
      {"\"A\"=hex(:01", true},
      {"\"A\"=hex(1234567890):01", true},
      {"\"A\"=hex(1g):01", true},
      {"\"A\"=hex(FFFFFFFF):01", false},
      {"\"A\"=dword:FfFfFfFf", false},
      {"\"A\"=hex:0a,F", false},
      {"\"A\"=other", true},
      {"\"A\"", true},
      {"\"A\"=-", true},
      {"A=\"x\"", true},
      {"\"A\"=\"\"", false},
      {"\"A\"=hex:", false},
      {"  \"A\" = \"spaced\"  ", false},
      {"; comment", false},
  };
  for (const auto& c : cases) {
    const std::string text = std::string("REGEDIT4\n[HKEY_LOCAL_MACHINE\\K]\n\"Before\"=\"b\"\n") + c.line +
                             "\n\"After\"=dword:00000002\n";
    std::vector<int> skipped;
    auto file = RegistryFile::Parse(text, &skipped);
    const auto* key = file.Find("HKEY_LOCAL_MACHINE", "K");
    ASSERT_NE(key, nullptr) << c.line;
    EXPECT_EQ(key->values.count("Before"), 1u) << c.line;
    EXPECT_EQ(key->values.count("After"), 1u) << c.line;
    EXPECT_EQ(skipped, c.skipped ? std::vector<int>{4} : std::vector<int>{}) << c.line;
  }
}

TEST(RegistryParse, BadKeyLinesDropTheirValuesUntilTheNextGoodKey) {
  const char* bad[] = {"[HKEY_NOWHERE\\K]", "[HKEY_LOCAL_MACHINE\\\\K]", "[-HKEY_LOCAL_MACHINE\\K]",
                       "[HKEY_LOCAL_MACHINE\\K", "[]"};
  for (const char* keyLine : bad) {
    const std::string text = std::string("\"Orphan\"=\"o\"\n") + keyLine +
                             "\n\"Lost\"=\"l\"\n[HKEY_LOCAL_MACHINE\\Good]\n\"Kept\"=\"k\"\n";
    std::vector<int> skipped;
    auto file = RegistryFile::Parse(text, &skipped);
    EXPECT_EQ(skipped, (std::vector<int>{1, 2, 3})) << keyLine;
    const auto* good = file.Find("HKEY_LOCAL_MACHINE", "GOOD");
    ASSERT_NE(good, nullptr) << keyLine;
    EXPECT_EQ(good->values.size(), 1u);
    EXPECT_EQ(file.Find("HKEY_LOCAL_MACHINE", "K"), nullptr) << keyLine;
  }
}

TEST(RegistryParse, OnlyHexListsContinueOverABackslash) {
  std::vector<int> skipped;
  auto file = RegistryFile::Parse(
      "[HKEY_LOCAL_MACHINE\\K]\n"
      "\"Text\"=\"ends in \\\n"
      "[HKEY_LOCAL_MACHINE\\L]\n"
      "\"B\"=\"b\"\n"
      "\"Bin\"=hex:01,\\\n"
      "  02\n",
      &skipped);
  EXPECT_EQ(skipped, std::vector<int>{2});
  const auto* k = file.Find("HKEY_LOCAL_MACHINE", "K");
  const auto* l = file.Find("HKEY_LOCAL_MACHINE", "L");
  ASSERT_NE(k, nullptr);
  ASSERT_NE(l, nullptr);
  EXPECT_TRUE(k->values.empty()) << "the next key's values stay with it";
  ASSERT_EQ(l->values.count("B"), 1u);
  ASSERT_EQ(l->values.count("Bin"), 1u);
  EXPECT_EQ(l->values.at("Bin").data, (std::vector<BYTE>{1, 2}));
}

TEST(RegistryParse, LaterValueWinsAndParentKeysExistImplicitly) {
  auto file = RegistryFile::Parse(
      "[HKEY_LOCAL_MACHINE\\A\\B\\C]\n\"v\"=\"1\"\n[hkey_local_machine\\a\\b\\c]\n\"V\"=\"2\"\n");
  const auto* c = file.Find("HKEY_LOCAL_MACHINE", "A\\B\\C");
  ASSERT_NE(c, nullptr);
  ASSERT_EQ(c->values.size(), 1u);
  EXPECT_EQ(c->values.begin()->second.data, Bytes(std::string_view("2\0", 2)));
  ASSERT_NE(file.Find("HKEY_LOCAL_MACHINE", "A"), nullptr);
  EXPECT_EQ(file.Find("HKEY_LOCAL_MACHINE", "A")->subKeys.size(), 1u);
}

// Garbage of every kind, and valid files cut and mutated at random: the
// reader must never crash, and whatever parses must be readable.
TEST(RegistryParse, SurvivesGarbage) {
  std::mt19937 rng(20261210);
  const std::string alphabet = "[]\\\"=@:,;-hexdword()0123456789abcdefHKEY_LOCAL_MACHINE \t\r\n\xE9\0";
  auto walk = [](const RegistryFile::Key& key, auto& self) -> size_t {
    size_t n = key.values.size();
    for (const auto& [name, sub] : key.subKeys) n += self(sub, self);
    return n;
  };
  for (int round = 0; round < 3000; ++round) {
    std::string text;
    if (round % 2 == 0) {
      std::uniform_int_distribution<size_t> len(0, 400);
      std::uniform_int_distribution<size_t> pick(0, alphabet.size() - 1);
      for (size_t n = len(rng); n > 0; --n) text.push_back(alphabet[pick(rng)]);
    } else {
      text = kClients;
      std::uniform_int_distribution<size_t> at(0, text.size() - 1);
      std::uniform_int_distribution<int> byte(0, 255);
      for (int k = round % 7 + 1; k > 0; --k) text[at(rng)] = static_cast<char>(byte(rng));
      text.resize(at(rng));
    }
    std::vector<int> skipped;
    auto file = RegistryFile::Parse(text, &skipped);
    if (const auto* root = file.Root("HKEY_LOCAL_MACHINE")) walk(*root, walk);
  }
}

}  // namespace
}  // namespace win
