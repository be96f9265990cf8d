// The demo: both demo servers, made by the demo's own scripts, import from
// the window as run-demo.sh starts it.
#include <unistd.h>

#include <QAction>
#include <algorithm>
#include <cstdlib>

#include "ImportTest_testutil.h"

namespace {

// The folder of this test program, where qorserver is built too.
std::string ProgramFolder() {
  char self[4096] = {};
  if (readlink("/proc/self/exe", self, sizeof self - 1) <= 0) return ".";
  std::string path = self;
  return path.substr(0, path.rfind('/'));
}

TEST(ImportDemoTest, TheDemoSourceImportsIntoTheDemoDestination) {
  // The test server's folder and environment only; the demo scripts make the servers.
  QorTestServer scratch{"unused.qdb"};
  const std::string demo = KELVIMPORT_DEMO_DIR, qorserver = ProgramFolder() + "/qorserver";
  for (const char* script : {"make-destination.sh", "make-source.sh"}) {
    const std::string command =
        demo + "/" + script + " " + qorserver + " " + scratch.Folder() + " 300 >/dev/null";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
  }
  setenv("QOR_REGISTRY", (demo + "/qodbclients.reg").c_str(), 1);

  win::ScriptedUi ui;
  win::ScopedUiBackend installed{ui};
  TForm1 form(nullptr, std::make_unique<FixedClockPrompts>());
  form.show();
  QueueLogin(ui, "KELVADO");
  form.Execute(form.aConnectToSource);
  QueueLogin(ui, "VOVDEMO");
  form.Execute(form.aConnectToDest);
  ASSERT_TRUE(form.aStartImport->isEnabled());
  form.Execute(form.aStartImport);

  std::vector<std::string> boxes;
  for (const auto& b : ui.MessageBoxes()) boxes.push_back(b.text);
  EXPECT_EQ(boxes, (std::vector<std::string>{"A betöltés sikeresen befejeződött."}));
  const std::vector<std::string> lines = LogLines(form);
  const auto fresh = std::find_if(lines.begin(), lines.end(), [](const std::string& l) {
    return l.rfind("Új ügyfelek száma: ", 0) == 0;
  });
  ASSERT_NE(fresh, lines.end());
  EXPECT_NE(*fresh, "Új ügyfelek száma: 0.");

  // Run again: every customer is known now.
  form.Execute(form.aStartImport);
  const std::vector<std::string> again = LogLines(form);
  EXPECT_NE(std::find(again.rbegin(), again.rend(), "Új ügyfelek száma: 0."), again.rend());
}

}  // namespace
