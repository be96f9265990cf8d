#include "TestServer_testutil.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "ServerAdmin.h"
#include "qordbcli.h"

qordb::FieldDef F(const char* name, char type, int length, char key) {
  qordb::FieldDef f;
  f.name = name;
  f.type = type;
  f.length = length;
  f.keyKind = key;
  return f;
}

qordb::SchemaDef ShopSchema() {
  qordb::SchemaDef s;
  s.name = "Shop";
  s.version[0] = 3;
  s.version[1] = 2;
  s.version[2] = 1;
  s.version[3] = 7;
  qordb::FieldDef zip = F("ZIP", 's');
  zip.isUnsigned = true;
  qordb::FieldDef cityName = F("CITYNAME", 'k', 0, 'd');
  cityName.components = {"CITY", "NAME"};
  s.records.push_back(
      {"CUSTOMER",
       {F("ID", 'l', 0, 'u'), F("NOTE", 'c', 8), F("NAME", 'c', 20, 'd'), F("CITY", 'c', 16), zip, cityName}});
  qordb::FieldDef addr = F("ADDR", 'g');
  addr.groupFields = 2;
  qordb::FieldDef ownerKind = F("OWNERKIND", 'k', 0, 'u');
  ownerKind.components = {"OWNER", "KIND"};
  s.records.push_back({"CONTACT",
                       {F("CID", 'l', 0, 'u'), F("OWNER", 'l', 0, 'd'), F("KIND", 'c', 1), F("VALUE", 'c', 30), addr,
                        F("STREET", 'c', 10), F("NO", 'i'), ownerKind, F("SCORE", 'F')}});
  return s;
}

qordb::SchemaDef LogSchema() {
  qordb::SchemaDef s;
  s.name = "LOG";
  s.records.push_back({"ENTRY", {F("ID", 'l', 0, 'u'), F("TEXT", 'c', 40)}});
  return s;
}

TestServer::TestServer() {
  char tmpl[] = "/tmp/qordbcli-test-XXXXXX";
  if (!mkdtemp(tmpl)) throw std::runtime_error("mkdtemp");
  dir = tmpl;
  path = dir + "/SRV";
  setenv("QORDB_ROOT", dir.c_str(), 1);
  qordb::ServerAdmin::Create(path, 3000000001u, "LMGR-1");
  qordb::ServerAdmin admin(path);
  shopId = admin.AddDatabase(ShopSchema());
  logId = admin.AddDatabase(LogSchema());
  admin.AddSequence("Customer_Next", 100, 5);
  admin.AddUser({"ADMIN", "SECRET"});
  admin.LoadRecords("SHOP", "CUSTOMER",
                    {{"1", "", "Kovács", "Budapest", "1011"},
                     {"2", "", "Áron", "Szeged", "6720"},
                     {"3", "", "Kovács", "Debrecen", "4025"},
                     {"4", "", "Bíró", "Budapest", "1052"},
                     {"5", "", "Kovács", "Budapest", "65535"}});
  admin.LoadRecords("SHOP", "CONTACT",
                    {{"10", "1", "T", "+36 1 111", "Fő u.", "1", "0.5"},
                     {"11", "1", "E", "a@b.hu", "", "0", "0"},
                     {"12", "3", "T", "+36 52 333", "", "-7", "1.25"}});
}

TestServer::~TestServer() {
  std::error_code ec;
  std::filesystem::remove_all(dir, ec);
}

void EditStoredImage(const std::string& path, int32_t dbId,
                     const std::function<void(std::vector<char>&)>& edit) {
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
  std::vector<char> image;
  {
    sqlite3_stmt* s = nullptr;
    ASSERT_EQ(
        sqlite3_prepare_v2(db, "SELECT image FROM qor_database WHERE dbid = ?", -1, &s, nullptr),
        SQLITE_OK);
    sqlite3_bind_int(s, 1, dbId);
    ASSERT_EQ(sqlite3_step(s), SQLITE_ROW);
    const char* p = static_cast<const char*>(sqlite3_column_blob(s, 0));
    image.assign(p, p + sqlite3_column_bytes(s, 0));
    sqlite3_finalize(s);
  }
  edit(image);
  sqlite3_stmt* s = nullptr;
  ASSERT_EQ(
      sqlite3_prepare_v2(db, "UPDATE qor_database SET image = ? WHERE dbid = ?", -1, &s, nullptr),
      SQLITE_OK);
  sqlite3_bind_blob(s, 1, image.data(), static_cast<int>(image.size()), SQLITE_TRANSIENT);
  sqlite3_bind_int(s, 2, dbId);
  EXPECT_EQ(sqlite3_step(s), SQLITE_DONE);
  sqlite3_finalize(s);
  sqlite3_close(db);
}

size_t RecordEntryAt(const std::vector<char>& image, int r) {
  int16_t files = 0;
  std::memcpy(&files, image.data() + 8, 2);
  return 22 + 60 * static_cast<size_t>(files) + 12 * static_cast<size_t>(r);
}

size_t FieldEntryAt(const std::vector<char>& image, const std::string& record,
                    const std::string& field) {
  TestDictionary d;
  if (!d.Read(image.data(), image.size())) return 0;
  const size_t index = static_cast<size_t>(&d.Field(record, field) - d.fields.data());
  return RecordEntryAt(image, d.counts[1]) + 20 * index;
}

std::vector<std::string> MakeForeignFiles(const std::string& dir) {
  const std::string empty = dir + "/EMPTY", other = dir + "/OTHERDB";
  std::ofstream{empty};
  sqlite3* db = nullptr;
  EXPECT_EQ(sqlite3_open(other.c_str(), &db), SQLITE_OK);
  EXPECT_EQ(sqlite3_exec(db, "CREATE TABLE notes(t TEXT); INSERT INTO notes VALUES('mine')",
                         nullptr, nullptr, nullptr),
            SQLITE_OK);
  sqlite3_close(db);
  return {empty, other};
}

std::string FileState(const std::string& path) {
  std::string state;
  for (const char* suffix : {"", "-wal", "-shm", "-journal"}) {
    std::ifstream in(path + suffix, std::ios::binary);
    state += std::string(suffix) +
             (in ? ":" + std::string(std::istreambuf_iterator<char>(in), {}) : " none") + "\n";
  }
  return state;
}

std::vector<char> UserBlock(const std::string& server, const std::string& service) {
  std::vector<char> b(211, 0);
  int32_t size = 211, version = 2;
  std::memcpy(b.data(), &size, 4);
  std::memcpy(b.data() + 4, &version, 4);
  std::strncpy(b.data() + 8, "ADMIN", 31);
  std::strncpy(b.data() + 72, server.c_str(), 31);
  std::strncpy(b.data() + 104, service.c_str(), 31);
  return b;
}

Owned::~Owned() {
  if (p) {
    EXPECT_EQ(FreePtr(p), 0);
  }
}

namespace {

void ReadDictionary(int32_t h, int32_t db, TestDictionary& dict) {
  Owned image;
  int32_t size = 0;
  ASSERT_EQ(GetDbDescription(h, db, &image, &size), 0);
  ASSERT_TRUE(dict.Read(image.p, size));
}

}  // namespace

TestClient::TestClient(const TestServer& server) : shop(server.shopId), log(server.logId) {
  EXPECT_EQ(CreateDbHandler(&h), 0);
  std::vector<char> block = UserBlock("SRV");
  EXPECT_EQ(InitUserEx(h, block.data()), 0);
  EXPECT_EQ(OpenDbExA(h, 19, "sysdb", 0), 0);
  EXPECT_EQ(OpenDbExA(h, shop, "Shop", 0), 0);
  EXPECT_EQ(OpenDbExA(h, log, "LOG", 0), 0);
  ReadDictionary(h, 19, sysDict);
  ReadDictionary(h, shop, shopDict);
  ReadDictionary(h, log, logDict);
}

TestClient::~TestClient() { EXPECT_EQ(FreeDbHandler(h), 0); }

int TestClient::CustomerId(int (*entry)(int32_t, int32_t, int32_t, int32_t, char**)) {
  Owned image;
  int status = entry(h, shop, Rt("CUSTOMER"), Len("CUSTOMER"), &image);
  return status == 0 ? static_cast<int>(shopDict.Int(image.p, "CUSTOMER", "ID")) : -status;
}

int TestClient::Go(int (*entry)(int32_t, int32_t, int32_t, int32_t, char**), const std::string& record,
                   const std::string& field, std::string* text) {
  Owned image;
  int status = entry(h, shop, Rt(record), Len(record), &image);
  if (status == 0) {
    EXPECT_NE(image.p, nullptr);
    *text = shopDict.Text(image.p, record, field);
  } else {
    EXPECT_EQ(image.p, nullptr);
  }
  return status;
}

std::vector<std::string> TestClient::Column(const char* list, int32_t size, const std::string& record,
                                            const std::string& field) const {
  std::vector<std::string> out;
  const int len = Len(record);
  EXPECT_EQ(size % len, 0);
  for (int32_t at = 0; at + len <= size; at += len) out.push_back(shopDict.Text(list + at, record, field));
  return out;
}

int BareClient::Open(const std::string& server, int32_t dbId, const char* name) {
  db = dbId;
  std::vector<char> block = UserBlock(server);
  if (int s = CreateDbHandler(&h)) return s;
  if (int s = InitUserEx(h, block.data())) return s;
  if (int s = OpenDbExA(h, db, name, 0)) return s;
  char* image = nullptr;
  int32_t size = 0;
  if (int s = GetDbDescription(h, db, &image, &size)) return s;
  dict.Read(image, size);
  FreePtr(image);
  return 0;
}

std::vector<char> BareClient::Record(const std::string& record, int id, char fill) const {
  std::vector<char> img(dict.ImageLength(record), fill);
  dict.SetInt(img, record, "ID", id);
  return img;
}

int BareClient::Add(const std::string& record, int id, char fill) {
  std::vector<char> img = Record(record, id, fill);
  char* p = img.data();
  return NewRec(h, db, dict.Rt(record), dict.ImageLength(record), &p);
}

int BareClient::Has(const std::string& record, int id) {
  if (int s = DefineKey(h, db, dict.Rt(record), dict.FieldNumber(record, "ID"))) return s;
  std::vector<char> img = Record(record, id, 0);
  char* p = img.data();
  return FindRec(h, db, dict.Rt(record), dict.ImageLength(record), &p);
}

int BareClient::Select(const std::string& record, int id) {
  std::vector<char> img = Record(record, id, 0);
  char* p = img.data();
  int32_t size = dict.ImageLength(record);
  char* list = nullptr;
  if (int s = FindList(h, &size, &p, &list, db, dict.Rt(record), dict.FieldNumber(record, "ID")))
    return -s;
  const int found =
      size == dict.ImageLength(record) ? static_cast<int>(dict.Int(list, record, "ID")) : -1;
  FreePtr(list);
  return found;
}

int32_t BareClient::Count(const std::string& record) {
  int32_t n = -1;
  return GetCount(h, db, dict.Rt(record), &n) == 0 ? n : -1;
}

Peer::Peer(const std::vector<std::string>& environment, const std::string& errors) {
  Start("qordbcli_peer", {}, environment, errors);
}

Peer::Peer(const std::string& program, const std::vector<std::string>& args,
           const std::vector<std::string>& environment) {
  Start(program, args, environment, "");
}

void Peer::Start(const std::string& name, const std::vector<std::string>& args,
                 const std::vector<std::string>& environment, const std::string& errors) {
  std::error_code ec;
  const std::string program =
      std::filesystem::read_symlink("/proc/self/exe", ec).parent_path() / name;
  int in[2], out[2];
  // Closed on exec, so that no other program started here holds them: the
  // peer's input ends when this one's end is closed.
  if (pipe2(in, O_CLOEXEC) != 0) throw std::runtime_error("pipe");
  if (pipe2(out, O_CLOEXEC) != 0) throw std::runtime_error("pipe");
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, in[0], STDIN_FILENO);
  posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
  if (!errors.empty())
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, errors.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
  std::vector<char*> env;
  for (char** e = environ; *e; ++e) env.push_back(*e);
  for (const std::string& e : environment) env.push_back(const_cast<char*>(e.c_str()));
  env.push_back(nullptr);
  std::vector<char*> argv{const_cast<char*>(program.c_str())};
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  const int failed =
      posix_spawn(&pid_, program.c_str(), &actions, nullptr, argv.data(), env.data());
  posix_spawn_file_actions_destroy(&actions);
  close(in[0]);
  close(out[1]);
  to_ = fdopen(in[1], "w");
  from_ = fdopen(out[0], "r");
  if (failed) {
    pid_ = -1;
    ADD_FAILURE() << "cannot start " << program;
  }
}

Peer::~Peer() { Quit(); }

void Peer::Send(const std::string& command) {
  if (!to_) return;
  std::fputs((command + "\n").c_str(), to_);
  std::fflush(to_);
}

std::string Peer::Answer() {
  char line[256];
  if (!from_ || !std::fgets(line, sizeof line, from_)) {
    ADD_FAILURE() << "the peer gave no answer";
    return "-1";
  }
  std::string s = line;
  if (!s.empty() && s.back() == '\n') s.pop_back();
  return s;
}

std::string Peer::Ask(const std::string& command) {
  Send(command);
  return Answer();
}

int Peer::Status(const std::string& command) {
  const std::string answer = Ask(command);
  try {
    return std::stoi(answer);
  } catch (const std::exception&) {
    ADD_FAILURE() << command << ": " << answer;
    return -1;
  }
}

int Peer::Quit() {
  if (to_) std::fclose(to_);
  if (from_) {
    char line[256];
    while (std::fgets(line, sizeof line, from_)) {
    }
    std::fclose(from_);
  }
  to_ = from_ = nullptr;
  int status = -1;
  if (pid_ > 0 && waitpid(pid_, &status, 0) != pid_) status = -1;
  pid_ = -1;
  return status;
}

void Peer::Kill() {
  if (pid_ <= 0) return;
  kill(pid_, SIGKILL);
  waitpid(pid_, nullptr, 0);
  pid_ = -1;
}
