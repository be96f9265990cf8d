#pragma once
// What the import-run tests share: the window fixture with the import's
// sequences and client id on the destination and the source server made,
// source fixtures, and readers of the destination and of the report.

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "ImportPrompts.h"
#include "KelvimportTest_testutil.h"

// The counters of a run's statistics block.
struct Figures {
  int transactions = 0, rows = 0, examined = 0, converted = 0;
  int newCustomers = 0, existingCustomers = 0;
  int newContacts = 0, knownContacts = 0, deletedContacts = 0;
  int newAddresses = 0, knownAddresses = 0, deletedAddresses = 0;
  int modifiedCustomers = 0;
  std::vector<int> newDates = {0, 0, 0}, changedDates = {0, 0, 0};  // ZK, warranty, inspection
};
// The block as the end of a run writes it, its title line first.
std::vector<std::string> StatisticsBlock(const Figures& f);

using Records = std::vector<std::vector<std::string>>;
std::vector<std::string> Column(const Records& rows, size_t index);
// A date-time number as a record file takes it.
std::string Text(double value);

// The fixed clock that can also act on its nth reading (counted from 1).
struct ScriptedClockPrompts : FixedClockPrompts {
  std::time_t Now() override;
  int calls = 0;
  std::function<void(int call)> onNow;
};

// What the window showed while a run went, sampled whenever it processed events.
struct RunSeen {
  bool animation = false;  // the busy animation ran
  std::vector<int> progress;
  std::vector<std::string> remaining;  // Label14
  std::vector<std::string> titles;     // the application's title
  bool hiddenDuringRun = false;        // the window was hidden before the run ended
};

class ImportTest : public ImportWindowTest {
 protected:
  void SetUp() override;

  // The client id in BASEDATA (none when 0), the window on prompts (the
  // fixed clock when null), both sides connected.
  void Connect(std::unique_ptr<ImportPrompts> prompts = nullptr);
  void RunImport();
  // Runs the import and calls act once when the run has taken its row-th row.
  RunSeen RunImportActing(int row, const std::function<void()>& act);

  void LoadSource(const std::string& record, const std::string& tsv);
  // Four customers: Kiss with one address and two numbers (two rows), Nagy
  // with one, a deleted customer and one whose plate is deleted.
  void LoadSmallSource();
  // count customers, each with one address, one number and a plate: one row each.
  void LoadGeneratedSource(int count);
  // Two rows, Kiss's and Nagy's. Nagy's contact text,
  // "(+361234)1234567/123-...-45-67:1234567890", is longer than ELER_ADAT
  // holds: it is refused, not stored cut.
  void LoadTooLongSecondContact();

  Records Dest(const std::string& db, const std::string& record) const;
  // Every record of the tables the import writes.
  std::string DumpDestination() const;
  std::vector<std::string> LastStatistics() const;
  bool HasLine(const std::string& line) const;
  // SOURCE_KEY of a hash text, without the server's unique name.
  static std::string SourceKey(const std::string& hashText);

  int clientId = 4711;
};
