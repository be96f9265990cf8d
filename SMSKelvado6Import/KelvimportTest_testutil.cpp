#include "KelvimportTest_testutil.h"

#include <QPlainTextEdit>
#include <ctime>
#include <fstream>
#include <sstream>

#include "Cp1250Codec.h"
#include "QorServerTool.h"

namespace {

constexpr int kUserEdit = 985, kPasswordEdit = 986, kDatabaseList = 987;

// kTestNow's local time, written by strftime in the C locale so that the
// tests do not read the time the way the window does.
std::string TestTime(const char* format) {
  std::tm local{};
  localtime_r(&kTestNow, &local);
  char text[64] = {};
  std::strftime(text, sizeof text, format, &local);
  return text;
}

}  // namespace

std::string TestCTime() { return TestTime("%a %b %e %H:%M:%S %Y"); }

std::string TestSeparator() { return "--------------- " + TestCTime() + " ---------------"; }

std::string Stamped(const std::string& text) { return TestTime("%H:%M:%S ") + text; }

std::vector<std::string> LogLines(const TForm1& form) {
  std::vector<std::string> lines;
  const std::string text = form.LogText();
  for (size_t at = 0; at < text.size();) {
    const size_t end = text.find("\r\n", at);
    lines.push_back(text.substr(at, end - at));
    at = end + 2;
  }
  return lines;
}

std::string FileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void Qorserver(const std::vector<std::string>& args) {
  std::ostringstream out, err;
  ASSERT_EQ(QorServerTool::Run(args, out, err), 0) << err.str();
}

void QueueLogin(win::ScriptedUi& ui, const char* configuration, const char* user,
                const char* password) {
  ui.QueueDialog([=](win::DialogDriver& d) {
    d.Replace(kUserEdit, user);
    d.Replace(kPasswordEdit, password);
    d.Choose(kDatabaseList, configuration);
    d.Press(win::IDOK);
  });
}

const std::string& ImportWindowTest::SourceSchema() {
  static const std::string text =
      FileBytes(std::string(KELVIMPORT_DEMO_DIR) + "/source/KELVADO.schema");
  return text;
}

void ImportWindowTest::SetUp() {
  win::SetApplicationTitle("Kelvimport");
  for (const char* db : {"DEVUDAVARER", "UGYFEL", "ALAP"})
    server.AddDatabase(
        FileBytes(std::string(KELVIMPORT_DEMO_DIR) + "/destination/" + db + ".schema"));
  server.AddUser("DEMO", "DEMO");
  Qorserver({"set-param", server.Name(), "VolumeId", "777"});
  server.Load("ALAP", "CIMTIP",
              "CIMT_ID\tCIMT_TIPUS\n"
              "2\tLevelezési cím\n"
              "1\tLakcím\n");
  QorClientConfig dest;
  dest.name = "VOVDEMO";
  server.AddClient(dest);
  QorClientConfig source;
  source.name = "KELVADO";
  source.server = "kelvado.qdb";
  server.AddClient(source);
}

void ImportWindowTest::TearDown() { form.reset(); }

void ImportWindowTest::MakeSource(const std::string& schemaText, const std::string& regLmgrName) {
  Qorserver({"create", "kelvado.qdb"});
  if (!regLmgrName.empty()) Qorserver({"set-param", "kelvado.qdb", "RegLmgrName", regLmgrName});
  Qorserver({"set-param", "kelvado.qdb", "VolumeId", "4242"});
  Qorserver({"add-database", "kelvado.qdb", server.WriteFile("source.schema", schemaText)});
  Qorserver({"add-user", "kelvado.qdb", "DEMO", "DEMO"});
}

void ImportWindowTest::Open(const std::string& dateLibrary) {
  if (!contactTypes.empty()) server.Load("ALAP", "ELERTIP", contactTypes);
  contactTypes.clear();
  form = std::make_unique<TForm1>(nullptr, std::make_unique<FixedClockPrompts>(), dateLibrary);
}

void ImportWindowTest::OpenConnected() {
  MakeSource(SourceSchema());
  Open();
  form->show();
  ConnectSource();
  ConnectDest();
}

void ImportWindowTest::ConnectSource(const char* configuration) {
  QueueLogin(ui, configuration);
  form->Execute(form->aConnectToSource);
}

void ImportWindowTest::ConnectDest(const char* configuration) {
  QueueLogin(ui, configuration);
  form->Execute(form->aConnectToDest);
}

std::vector<std::string> ImportWindowTest::BoxTexts() const {
  std::vector<std::string> texts;
  for (const auto& b : ui.MessageBoxes()) texts.push_back(b.text);
  return texts;
}
