#pragma once
// What the window tests share: the window on the real clock-free prompts
// with every box answered by the scripted backend, the demo servers made in
// a temporary folder, and an operator at the login dialog.

#include <gtest/gtest.h>

#include <ctime>
#include <memory>
#include <string>
#include <vector>

#include "ScriptedUi.h"
#include "TForm1.h"
#include "TestServer.h"
#include "WinImportPrompts.h"

// The fixed instant every log line of the tests carries.
constexpr std::time_t kTestNow = 1765360800;

struct FixedClockPrompts : WinImportPrompts {
  std::time_t Now() override { return kTestNow; }
};

// ctime's text of kTestNow without the line end, and the two log forms of it.
std::string TestCTime();
std::string TestSeparator();
std::string Stamped(const std::string& text);

// The lines of the window's log.
std::vector<std::string> LogLines(const TForm1& form);
// The bytes of a file as they stand; "" when it cannot be read.
std::string FileBytes(const std::string& path);

// Runs qorserver's command line in-process; a failure fails the test.
void Qorserver(const std::vector<std::string>& args);

// The next login dialog: user and password typed, configuration chosen, OK.
void QueueLogin(win::ScriptedUi& ui, const char* configuration, const char* user = "demo",
                const char* password = "demo");

// The window on a destination test server ("vovdemo.qdb", configuration VOVDEMO,
// the demo schemas) and a source server beside it ("kelvado.qdb", configuration
// KELVADO, the demo's source schema), each with the user DEMO.
class ImportWindowTest : public testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // The source server; regLmgrName "" leaves its "RegLmgrName" unset.
  void MakeSource(const std::string& schemaText, const std::string& regLmgrName = "KELVREG01");
  // Builds the window (after loading contactTypes into the destination).
  void Open(const std::string& dateLibrary = "qorDate.dll");
  // Opens, shows the window and connects both sides.
  void OpenConnected();
  void ConnectSource(const char* configuration = "KELVADO");
  void ConnectDest(const char* configuration = "VOVDEMO");
  std::vector<std::string> BoxTexts() const;

  static const std::string& SourceSchema();

  // ALAP's ELERTIP as Open loads it.
  std::string contactTypes =
      "ELET_ID\tELET_TIPUS\tELMT_ID\n"
      "1\tVezetékes telefon\t1\n"
      "3\tE-mail\t2\n"
      "6\tSMS telefonszám\t1\n";

  QorTestServer server{"vovdemo.qdb"};
  win::ScriptedUi ui;
  win::ScopedUiBackend installed{ui};
  std::unique_ptr<TForm1> form;
};
