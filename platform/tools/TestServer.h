// A throw-away server for integration tests: a temporary folder holding a
// server file made the way qorserver makes one, and a registry file with the
// client configurations that lead to it. While it lives, QORDB_ROOT names the
// folder and QOR_REGISTRY the registry file; the destructor puts both back
// and removes the folder. One at a time per process.
//
//   QorTestServer server;
//   server.AddDatabase("database ALAP\nrecord ELERTIP\n ELET_ID l unique\n ELET_TIPUS c 41\nend\n");
//   server.AddUser("ADMIN", "ADMIN");
//   server.Load("ALAP", "ELERTIP", "ELET_ID\tELET_TIPUS\n6\tMobil\n");
//   QorClientConfig client;
//   client.name = "ALAP";  // HKLM\SOFTWARE\QODBCLIENTS\ALAP; its Server is the test server
//   server.AddClient(client);
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The values of HKEY_LOCAL_MACHINE\SOFTWARE\QODBCLIENTS\<name>.
struct QorClientConfig {
  std::string name;              // the sub-key: the configuration the login offers
  std::string server;            // "Server"; empty: the test server's name
  std::string service = "qordb"; // "Service"
  std::string defaultUser;       // "DefaultUser"
  std::string openmode = "0";    // "Openmode"
  uint32_t useBlob = 0;          // DWORD values; the login takes the low byte
  uint32_t useLock = 0;
  uint32_t enableEvents = 0;
  uint32_t timeout = 30;         // "Timeout", DWORD
};

class QorTestServer {
 public:
  // Throws ToolError (QorServerTool.h) when the folder or the server cannot be made.
  explicit QorTestServer(const std::string& serverName = "TESTSRV");
  ~QorTestServer();
  QorTestServer(const QorTestServer&) = delete;
  QorTestServer& operator=(const QorTestServer&) = delete;

  const std::string& Folder() const { return folder_; }
  const std::string& Name() const { return name_; }
  std::string Path() const { return folder_ + "/" + name_; }
  std::string RegistryPath() const { return folder_ + "/registry.reg"; }

  // Each throws ToolError with the message qorserver would print.
  int32_t AddDatabase(const std::string& schemaText);  // returns the database id
  void AddUser(const std::string& name, const std::string& password, bool enabled = true);
  void AddSequence(const std::string& name, int32_t start = 1, int32_t step = 1);
  size_t Load(const std::string& db, const std::string& record, const std::string& tsvText);
  std::vector<std::vector<std::string>> Records(const std::string& db, const std::string& record) const;
  // The same as `qorserver dump` prints them in a process of its own (the
  // qorserver built next to the running program), so that what a test
  // reads is what the file holds, not what this process keeps of it.
  std::vector<std::vector<std::string>> DumpedRecords(const std::string& db,
                                                      const std::string& record) const;

  // Adds (or replaces, by name) a client configuration and rewrites the registry file.
  void AddClient(const QorClientConfig& config);

  // Writes a file into the folder and returns its path.
  std::string WriteFile(const std::string& name, const std::string& content) const;

 private:
  void WriteRegistry() const;
  void CleanUp();  // puts the environment back and removes the folder

  std::string folder_;
  std::string name_;
  std::vector<QorClientConfig> clients_;
  struct SavedEnv {
    const char* name;
    bool set;
    std::string value;
  };
  std::vector<SavedEnv> saved_;
};
