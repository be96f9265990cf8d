#include "ImportTest_testutil.h"

#include <QAction>
#include <QLabel>
#include <QProgressBar>
#include <QTimer>
#include <algorithm>
#include <cstdio>

#include "BusyAnimation.h"
#include "WinUi.h"

std::vector<std::string> StatisticsBlock(const Figures& f) {
  auto line = [](const char* text, int value) { return text + std::to_string(value) + "."; };
  return {
      "Importálás statisztikák:",
      line("Sikeres tranzakciók száma: ", f.transactions),
      line("Összes vizsgálandó bejegyzés: ", f.rows),
      line("Ebből vizsgált bejegyzés: ", f.examined),
      "",
      "Csonkolt rekordok száma: 0.",
      line("Konvertált ZAV-számok: ", f.converted),
      "",
      line("Új ügyfelek száma: ", f.newCustomers),
      line("Korábbról már létező ügyfélbejegyzések száma: ", f.existingCustomers),
      "",
      line("Új elérhetőségek száma: ", f.newContacts),
      line("Korábbról már létező elérhetőségbejegyzések száma: ", f.knownContacts),
      line("Törölt elérhetőségek száma: ", f.deletedContacts),
      "",
      line("Új címek száma: ", f.newAddresses),
      line("Korábbról már létező címbejegyzések száma: ", f.knownAddresses),
      line("Törölt címek száma: ", f.deletedAddresses),
      "",
      line("Módosított ügyfél alapadat bejegyzések: ", f.modifiedCustomers),
      "",
      line("Új ZK lejárati idők száma: ", f.newDates[0]),
      line("Módosított ZK lejárati idők száma: ", f.changedDates[0]),
      "",
      line("Új garancia lejárati idők száma: ", f.newDates[1]),
      line("Módosított garancia lejárati idők száma: ", f.changedDates[1]),
      "",
      line("Új műszaki érvényességi idők száma: ", f.newDates[2]),
      line("Módosított műszaki érvényességi idők száma: ", f.changedDates[2]),
      "",
  };
}

std::vector<std::string> Column(const Records& rows, size_t index) {
  std::vector<std::string> column;
  for (const auto& row : rows) column.push_back(index < row.size() ? row[index] : "");
  return column;
}

std::string Text(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.0f", value);
  return text;
}

std::time_t ScriptedClockPrompts::Now() {
  ++calls;
  if (onNow) onNow(calls);
  return FixedClockPrompts::Now();
}

void ImportTest::SetUp() {
  ImportWindowTest::SetUp();
  for (const char* sequence : {"UGYFEL_UGYFEL_NEXTID", "SMS_UGYFEL_IMPORT", "SMS_UGYFEL_DATUM",
                               "ALAP_CIM_NEXTID", "ALAP_ELERHETOSEG_NEXTID"})
    server.AddSequence(sequence, 1, 1);
  MakeSource(SourceSchema());
}

void ImportTest::Connect(std::unique_ptr<ImportPrompts> prompts) {
  if (clientId != 0)
    server.Load("DEVUDAVARER", "BASEDATA",
                "BASEDATA_ID\tCLIENT_ID\tCLIENT_NAME\tDELETED\n1\t" + std::to_string(clientId) +
                    "\tDemo Kft.\tN\n2\t13\tRégi telephely\tY\n");
  Open();
  if (prompts) form = std::make_unique<TForm1>(nullptr, std::move(prompts));
  form->show();
  ConnectSource();
  ConnectDest();
}

void ImportTest::RunImport() { form->Execute(form->aStartImport); }

RunSeen ImportTest::RunImportActing(int row, const std::function<void()>& act) {
  RunSeen seen;
  bool acted = false;
  QTimer sampler;
  sampler.setInterval(0);
  QObject::connect(&sampler, &QTimer::timeout, [&] {
    if (!form->isVisible()) seen.hiddenDuringRun = true;
    if (!form->m_running) return;
    if (form->Animate1->isVisible() && form->Animate1->Active()) seen.animation = true;
    const int progress = form->ProgressBar1->value();
    if (progress == 0 || (!seen.progress.empty() && seen.progress.back() == progress)) return;
    seen.progress.push_back(progress);
    seen.remaining.push_back(form->Label14->text().toStdString());
    seen.titles.push_back(win::ApplicationTitle());
    if (progress == row && !acted) {
      acted = true;
      act();
    }
  });
  sampler.start();
  RunImport();
  sampler.stop();
  return seen;
}

void ImportTest::LoadSource(const std::string& record, const std::string& tsv) {
  Qorserver({"load", "kelvado.qdb", "KELVADO", record, server.WriteFile(record + ".tsv", tsv)});
}

void ImportTest::LoadSmallSource() {
  LoadSource("UGYFEL",
             "UCODE\tNAME\tTOROLT\tRENDSZAMCODE\tALVAZSZAM\tZOLDKARTYAERVENYES\tGARANCIAERVENYES\t"
             "MUSZAKIERVENYES\n"
             "1\tKiss Ágnes\t0x00\t10\tVIN0001\t45657\t45700\t0\n"
             "2\tNagy Béla\t0x00\t11\tVIN0002\t0\t0\t46000\n"
             "3\tTörölt Dezső\t0x01\t12\tVIN0003\t45657\t0\t0\n"
             "4\tTóth Csaba\t0x00\t13\tVIN0004\t45657\t0\t0\n");
  LoadSource("RENDSZAM",
             "RCODE\tRSZAM\tTOROLT\n10\tABC-123\t0x00\n11\tDEF-456\t0x00\n12\tGHI-789\t0x00\n"
             "13\tJKL-000\t0x01\n");
  LoadSource("CIM",
             "CIMCODE\tIRANYITOSZAM\tVAROS\tUTCA\tHAZSZAM\n"
             "100\t9021\tGyőr\tBaross út\t12/B\n"
             "101\t7621\tPécs\tKirály u.\t5\n"
             "102\t3300\tEger\tDobó tér\t1\n"
             "103\t9400\tSopron\tVárkerület\t7\n");
  LoadSource("CIMLINK", "CIMCODE\tCODE\tTABLE\n100\t1\t1\n101\t2\t1\n102\t3\t1\n103\t4\t1\n");
  // A blank inside Nagy's country code and number: the raw number is converted.
  LoadSource("TELEFON",
             "TELCODE\tORSZAG\tKORZET\tSZAM\tMELLEK\n"
             "200\t36\t20\t1234567\t\n"
             "201\t+36\t30\t9876543\t12\n"
             "202\t +36 \t1\t234 5678\t\n"
             "203\t36\t36\t1111111\t\n"
             "204\t36\t99\t2222222\t\n");
  LoadSource("TELEFONLINK",
             "TELCODE\tCODE\tTABLE\n200\t1\t1\n201\t1\t1\n202\t2\t1\n203\t3\t1\n204\t4\t1\n");
}

void ImportTest::LoadGeneratedSource(int count) {
  std::string customers =
      "UCODE\tNAME\tRENDSZAMCODE\tALVAZSZAM\tZOLDKARTYAERVENYES\tMUSZAKIERVENYES\n";
  std::string plates = "RCODE\tRSZAM\n",
              addresses = "CIMCODE\tIRANYITOSZAM\tVAROS\tUTCA\tHAZSZAM\n";
  std::string addressLinks = "CIMCODE\tCODE\tTABLE\n", phones = "TELCODE\tORSZAG\tKORZET\tSZAM\n";
  std::string phoneLinks = "TELCODE\tCODE\tTABLE\n";
  for (int i = 1; i <= count; ++i) {
    const std::string n = std::to_string(i);
    char name[32];
    std::snprintf(name, sizeof name, "Ügyfél %05d", i);
    customers += n + "\t" + name + "\t" + n + "\tVIN" + n + "\t" + std::to_string(45000 + i % 500) +
                 "\t46000\n";
    plates += n + "\tPLT-" + n + "\n";
    addresses += n + "\t" + std::to_string(1000 + i % 9000) + "\tBudapest\tFő utca\t" + n + "\n";
    addressLinks += n + "\t" + n + "\t1\n";
    phones += n + "\t+36\t30\t" + std::to_string(1000000 + i) + "\n";
    phoneLinks += n + "\t" + n + "\t1\n";
  }
  LoadSource("UGYFEL", customers);
  LoadSource("RENDSZAM", plates);
  LoadSource("CIM", addresses);
  LoadSource("CIMLINK", addressLinks);
  LoadSource("TELEFON", phones);
  LoadSource("TELEFONLINK", phoneLinks);
}

void ImportTest::LoadTooLongSecondContact() {
  LoadSource("UGYFEL", "UCODE\tNAME\tRENDSZAMCODE\n1\tKiss Ágnes\t10\n2\tNagy Béla\t11\n");
  LoadSource("RENDSZAM", "RCODE\tRSZAM\n10\tABC-123\n11\tDEF-456\n");
  LoadSource("CIM",
             "CIMCODE\tIRANYITOSZAM\tVAROS\tUTCA\tHAZSZAM\n100\t9021\tGyőr\tBaross út\t12/B\n"
             "101\t7621\tPécs\tKirály u.\t5\n");
  LoadSource("CIMLINK", "CIMCODE\tCODE\tTABLE\n100\t1\t1\n101\t2\t1\n");
  LoadSource("TELEFON",
             "TELCODE\tORSZAG\tKORZET\tSZAM\tMELLEK\n200\t36\t20\t1234567\t\n"
             "201\t+361234\t1234567\t12345678901234567890\t1234567890\n");
  LoadSource("TELEFONLINK", "TELCODE\tCODE\tTABLE\n200\t1\t1\n201\t2\t1\n");
}

Records ImportTest::Dest(const std::string& db, const std::string& record) const {
  return server.Records(db, record);
}

std::string ImportTest::DumpDestination() const {
  std::string dump;
  const std::pair<const char*, const char*> tables[] = {{"UGYFEL", "UGYFEL"},
                                                        {"DEVUDAVARER", "UGYFEL_IMPORT"},
                                                        {"DEVUDAVARER", "UGYFEL_DATUM"},
                                                        {"DEVUDAVARER", "UGYFEL_DATUM_TIP"},
                                                        {"ALAP", "CIM"},
                                                        {"ALAP", "ELERHETOSEG"}};
  for (const auto& [db, record] : tables) {
    dump += std::string("[") + db + "." + record + "]\n";
    for (const auto& row : Dest(db, record)) {
      for (const auto& value : row) dump += value + "\t";
      dump += "\n";
    }
  }
  return dump;
}

std::vector<std::string> ImportTest::LastStatistics() const {
  const std::vector<std::string> lines = LogLines(*form);
  const auto title = std::find(lines.rbegin(), lines.rend(), "Importálás statisztikák:");
  if (title == lines.rend()) return {};
  return std::vector<std::string>(title.base() - 1, lines.end());
}

bool ImportTest::HasLine(const std::string& line) const {
  const std::vector<std::string> lines = LogLines(*form);
  return std::find(lines.begin(), lines.end(), line) != lines.end();
}

std::string ImportTest::SourceKey(const std::string& hashText) {
  return TForm1::DecimalHashMod(hashText, 79671239) + TForm1::DecimalHashMod(hashText, 16644227);
}
