#include "DbDescMap.h"

#include <cstdlib>
#include <cstring>
#include <exception>
#include <utility>

#include "DbDescription_Internal.h"
#include "FncLoader.h"
#include "RdmExtPackage.h"
#include "RdmTable.h"
#include "WinUi.h"

namespace {

constexpr int kSysDbId = 19;
// The module that the version box names: this source file, written as the
// table's error positions write theirs ("RdmTable").
constexpr const char* kModule = "DbDescMap";

bool EqualsIgnoringCase(const char* a, const char* b) {
  return ToUpper(a != nullptr ? a : "") == ToUpper(b != nullptr ? b : "");
}

// The error box of the library's own failures.
void ShowErrorBox(const char* module, const char* operation, int line, const QorExceptBase& e) {
  std::string text = std::string("Modul: ") + module + "\nEljárás: " + operation +
                     "\nSor: " + std::to_string(line) + "\nKód: " + std::to_string(e.GetCode()) +
                     "\nÜzenet: " + e.what();
  win::MessageBoxA(nullptr, text.c_str(), "Hiba történt!", win::MB_TOPMOST);
}

}  // namespace

DbDescMap::DbDescMap() = default;
DbDescMap::~DbDescMap() = default;

bool DbDescMap::OpenAll(byte /*ignored*/) {
  if (!OpenDb("sysdb", kSysDbId, 0, true)) return false;
  DbDescription catalogue = CopyDescription("sysdb");
  if (!catalogue.FindList("tablespace", "", 5)) return false;
  while (catalogue.NextFetched("tablespace")) {
    std::string dbId = catalogue.GetFieldTextByName("tablespace", "dbid");
    std::string name = catalogue.GetFieldTextByName("tablespace", "name");
    OpenDb(name.c_str(), static_cast<int>(std::atol(dbId.c_str())), 0, true);
  }
  return true;
}

bool DbDescMap::OpenDb(const char* name, int dbId, byte mode, bool quiet) {
  if (name == nullptr) name = "";
  qoString upper(name);
  upper.ToUpper(false);
  if (upper != qoString("SYSDB") && m_descriptions.count("SYSDB") == 0) {
    if (!OpenDb("SYSDB", kSysDbId, 0, true)) return false;
  }
  if (LoadDescription(dbId, name)) return true;
  int status = QOR_ENTRY(OpenDbExA)(m_handle, dbId, name, static_cast<char>(mode));
  if (status == 0 || status == 10020) return LoadDescription(dbId, name);
  if (quiet) return false;
  throw DbDescError(status);
}

bool DbDescMap::LoadDescription(int dbId, const char* name) {
  // Freed quietly on a failed read or an exception, through FreePtr otherwise.
  qor_detail::ClientBuffer image;
  int32_t length = 0;
  int status = QOR_ENTRY(GetDbDescription)(m_handle, dbId, image.Address(), &length);
  if (status != 0) return false;
  bool result = AddDescriptor(image.Get(), length, name, dbId);
  image.Release();
  return result;
}

bool DbDescMap::AddDescriptor(const char* image, int length, const char* name, int dbId) {
  if (name == nullptr) name = "";
  DbDescription description;
  description.SetHandle(m_handle);
  try {
    description.Load(image, length, name, dbId);
  } catch (const DbDescError&) {
    // A dictionary that cannot be read is a database that cannot be loaded.
    return false;
  }
  try {
    DbDescription sysCopy;
    DbDescription* catalogue = &description;
    if (!EqualsIgnoringCase(name, "sysdb")) {
      sysCopy = GetDescription("sysdb");
      catalogue = &sysCopy;
    }
    RdmTable tablespace(catalogue, "tablespace");
    tablespace.GetField("name").SetText(name);
    if (tablespace.Find("name")) {
      description.SetVersion(static_cast<int>(tablespace.GetField("vermajor").AsLong()),
                             static_cast<int>(tablespace.GetField("verminor").AsLong()),
                             static_cast<int>(tablespace.GetField("versub").AsLong()),
                             static_cast<int>(tablespace.GetField("verbuild").AsLong()));
    }
  } catch (const QorExceptBase& e) {
    ShowErrorBox(kModule, "DbDescMap::AddDescriptor", 154, e);
  }
  // The local description is done with: it moves in rather than being copied.
  m_descriptions.insert_or_assign(ToUpper(description.GetName()), std::move(description));
  return true;
}

bool DbDescMap::Insert(DbDescription* description) {
  if (description == nullptr) return false;
  m_descriptions.insert_or_assign(ToUpper(description->GetName()), *description);
  return true;
}

bool DbDescMap::Remove(std::string name) {
  UpperInPlace(name);
  return m_descriptions.erase(name) != 0;
}

DbDescription DbDescMap::GetDescription(std::string name) const {
  UpperInPlace(name);
  auto it = m_descriptions.find(name);
  if (it == m_descriptions.end()) throw DbDescError(2000);
  return it->second;
}

DbDescription& DbDescMap::GetDescriptionAt(int index) {
  if (index < 0 || static_cast<unsigned>(index) >= Count()) throw DbDescError(2000);
  auto it = m_descriptions.begin();
  std::advance(it, index);
  return it->second;
}

void DbDescMap::GetServerParam(const char* name, std::string& out) {
  if (name == nullptr) name = "";
  const bool hasEntry = GlobalFncLoader != nullptr && GlobalFncLoader->pfGetServerParam != nullptr;
  if (std::strcmp(name, "VolumeId") != 0 || hasEntry) {
    qor_detail::ClientBuffer text;
    int status = QOR_ENTRY(GetServerParam)(m_handle, name, text.Address());
    if (status != 0) throw DbDescError(status);
    out = text.Get() != nullptr ? text.Get() : "";
    text.Release();
    return;
  }
  RdmExtPackage package(m_handle, "ZkProcess");
  package.CallExtFnc("xd16", nullptr, 0);
  // Little-endian, as the server writes it; a short result reads the bytes
  // it has, the rest as zero.
  uint32_t volumeId = 0;
  const int count = package.GetResultLength() < 4 ? package.GetResultLength() : 4;
  for (int i = 0; i < count; ++i)
    volumeId |= static_cast<uint32_t>(package.GetResult()[i]) << (8 * i);
  out = std::to_string(volumeId);
}
