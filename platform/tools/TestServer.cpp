#include "TestServer.h"

#include <stdlib.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "QorServerTool.h"
#include "SchemaFile.h"
#include "ServerAdmin.h"
#include "TsvFile.h"

namespace {

const char* const kEnvNames[] = {"QORDB_ROOT", "QOR_REGISTRY"};

// Every failure reaches the test as the message qorserver would print.
template <typename F>
auto Guarded(F&& f) -> decltype(f()) {
  try {
    return f();
  } catch (const ToolError&) {
    throw;
  } catch (const std::exception& e) {
    throw ToolError(e.what());
  }
}

std::string RegText(const std::string& s) {
  std::string out = "\"";
  for (char c : s) {
    if (c == '\\' || c == '"') out += '\\';
    out += c;
  }
  return out + "\"";
}

std::string RegDword(uint32_t v) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "dword:%08x", v);
  return buf;
}

}  // namespace

QorTestServer::QorTestServer(const std::string& serverName) : name_(serverName) {
  std::string base = std::filesystem::temp_directory_path().string() + "/qortest-XXXXXX";
  if (!mkdtemp(base.data())) throw ToolError("cannot make a temporary folder under " + base);
  folder_ = base;
  for (const char* name : kEnvNames) {
    const char* v = getenv(name);
    saved_.push_back({name, v != nullptr, v ? v : ""});
  }
  setenv("QORDB_ROOT", folder_.c_str(), 1);
  setenv("QOR_REGISTRY", RegistryPath().c_str(), 1);
  try {
    WriteRegistry();
    Guarded([&] { qordb::ServerAdmin::Create(Path()); });
  } catch (...) {
    CleanUp();
    throw;
  }
}

QorTestServer::~QorTestServer() { CleanUp(); }

void QorTestServer::CleanUp() {
  for (const SavedEnv& e : saved_) {
    if (e.set) setenv(e.name, e.value.c_str(), 1);
    else unsetenv(e.name);
  }
  saved_.clear();
  if (!folder_.empty()) {
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
    folder_.clear();
  }
}

int32_t QorTestServer::AddDatabase(const std::string& schemaText) {
  return Guarded([&] {
    SchemaFile file = SchemaFile::Parse(schemaText);
    qordb::ServerAdmin admin(Path());
    return admin.AddDatabase(file.schema, file.id);
  });
}

void QorTestServer::AddUser(const std::string& name, const std::string& password, bool enabled) {
  Guarded([&] {
    qordb::ServerAdmin admin(Path());
    QorServerTool::AddUser(admin, name, password, enabled);
  });
}

void QorTestServer::AddSequence(const std::string& name, int32_t start, int32_t step) {
  Guarded([&] {
    qordb::ServerAdmin admin(Path());
    admin.AddSequence(name, start, step);
  });
}

size_t QorTestServer::Load(const std::string& db, const std::string& record, const std::string& tsvText) {
  return Guarded([&] {
    TsvFile file = TsvFile::Parse(tsvText);
    qordb::ServerAdmin admin(Path());
    return QorServerTool::Load(admin, db, record, file, db + "." + record);
  });
}

std::vector<std::vector<std::string>> QorTestServer::Records(const std::string& db, const std::string& record) const {
  return Guarded([&] {
    qordb::ServerAdmin admin(Path());
    return admin.ReadRecords(db, record);
  });
}

std::vector<std::vector<std::string>> QorTestServer::DumpedRecords(
    const std::string& db, const std::string& record) const {
  const std::string self = std::filesystem::read_symlink("/proc/self/exe").string();
  const std::string command = "'" + self.substr(0, self.rfind('/')) + "/qorserver' dump '" +
                              Path() + "' '" + db + "' '" + record + "' 2>&1";
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) throw ToolError("cannot run " + command);
  std::string text;
  char buffer[4096];
  for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) text.append(buffer, n);
  if (pclose(pipe) != 0) throw ToolError(command + ": " + text);
  // The form that load reads: the names line, then one line per record.
  TsvFile dumped = Guarded([&] { return TsvFile::Parse(text); });
  std::vector<std::vector<std::string>> rows;
  for (TsvFile::Row& row : dumped.rows) rows.push_back(std::move(row.values));
  return rows;
}

void QorTestServer::AddClient(const QorClientConfig& config) {
  auto same = [&](const QorClientConfig& c) { return c.name == config.name; };
  clients_.erase(std::remove_if(clients_.begin(), clients_.end(), same), clients_.end());
  clients_.push_back(config);
  WriteRegistry();
}

std::string QorTestServer::WriteFile(const std::string& name, const std::string& content) const {
  std::string path = folder_ + "/" + name;
  std::ofstream out(path, std::ios::binary);
  out << content;
  if (!out.flush()) throw ToolError("cannot write " + path);
  return path;
}

void QorTestServer::WriteRegistry() const {
  std::string text = "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\QODBCLIENTS]\r\n";
  for (const QorClientConfig& c : clients_) {
    text += "\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\QODBCLIENTS\\" + c.name + "]\r\n";
    text += "\"Service\"=" + RegText(c.service) + "\r\n";
    text += "\"Server\"=" + RegText(c.server.empty() ? name_ : c.server) + "\r\n";
    text += "\"DefaultUser\"=" + RegText(c.defaultUser) + "\r\n";
    text += "\"Openmode\"=" + RegText(c.openmode) + "\r\n";
    text += "\"UseBlob\"=" + RegDword(c.useBlob) + "\r\n";
    text += "\"Timeout\"=" + RegDword(c.timeout) + "\r\n";
    text += "\"EnableEvents\"=" + RegDword(c.enableEvents) + "\r\n";
    text += "\"UseLock\"=" + RegDword(c.useLock) + "\r\n";
  }
  std::ofstream out(RegistryPath(), std::ios::binary);
  out << text;
  if (!out.flush()) throw ToolError("cannot write " + RegistryPath());
}
