// Crash safety: an import killed outright (SIGKILL, in a child process) at
// several points leaves only whole committed batches, and the next run
// finishes the import without a duplicate.
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QAction>
#include <QCheckBox>
#include <csignal>
#include <cstdlib>
#include <map>
#include <set>

#include "ImportTest_testutil.h"

extern char** environ;

namespace {

constexpr const char* kKillAtVariable = "KELVIMPORT_KILL_AT";

// Run by the test below in a child process, on the servers its parent made:
// the import with the detailed report, killed at the clock's nth reading.
TEST(ImportChild, RunsUntilItsClockKillsIt) {
  const char* killAt = std::getenv(kKillAtVariable);
  if (!killAt) GTEST_SKIP() << "started by ImportCrashTest.AKilledImport... in a child process";
  const int n = std::atoi(killAt);
  win::ScriptedUi ui;
  win::ScopedUiBackend installed{ui};
  auto prompts = std::make_unique<ScriptedClockPrompts>();
  prompts->onNow = [n](int call) {
    if (call == n) std::raise(SIGKILL);
  };
  TForm1 form(nullptr, std::move(prompts));
  form.show();
  QueueLogin(ui, "KELVADO");
  form.Execute(form.aConnectToSource);
  QueueLogin(ui, "VOVDEMO");
  form.Execute(form.aConnectToDest);
  form.cbDetailed->setChecked(true);
  form.Execute(form.aStartImport);
  FAIL() << "the run ended before the clock's reading " << n;
}

// This test program, running only the child test, killed at reading n; the wait status.
int RunChildKilledAt(int n) {
  char self[4096] = {};
  if (readlink("/proc/self/exe", self, sizeof self - 1) <= 0) return -1;
  std::vector<std::string> env;
  for (char** e = environ; *e; ++e) env.emplace_back(*e);
  env.push_back(std::string(kKillAtVariable) + "=" + std::to_string(n));
  std::vector<char*> envp;
  for (auto& e : env) envp.push_back(e.data());
  envp.push_back(nullptr);
  std::string filter = "--gtest_filter=ImportChild.*";
  char* argv[] = {self, filter.data(), nullptr};
  pid_t pid = 0;
  if (posix_spawn(&pid, self, nullptr, nullptr, argv, envp.data()) != 0) return -1;
  int status = 0;
  waitpid(pid, &status, 0);
  return status;
}

class ImportCrashTest : public ImportTest {
 protected:
  // Every customer whole: one import link, one address, one contact and its
  // two dates, each pointing at a customer that exists. The customers' number.
  size_t ExpectWholeCustomers() {
    std::set<std::string> customers;
    for (const auto& c : Dest("UGYFEL", "UGYFEL")) customers.insert(c[0]);
    auto countBy = [&](const char* db, const char* record, size_t column) {
      std::map<std::string, int> count;
      for (const auto& r : Dest(db, record)) {
        EXPECT_TRUE(customers.count(r[column])) << record << " of a missing customer " << r[column];
        ++count[r[column]];
      }
      return count;
    };
    const auto links = countBy("DEVUDAVARER", "UGYFEL_IMPORT", 1);
    const auto addresses = countBy("ALAP", "CIM", 1);
    const auto contacts = countBy("ALAP", "ELERHETOSEG", 1);
    const auto dates = countBy("DEVUDAVARER", "UGYFEL_DATUM", 1);
    for (const std::string& id : customers) {
      EXPECT_EQ(links.count(id) ? links.at(id) : 0, 1) << id;
      EXPECT_EQ(addresses.count(id) ? addresses.at(id) : 0, 1) << id;
      EXPECT_EQ(contacts.count(id) ? contacts.at(id) : 0, 1) << id;
      EXPECT_EQ(dates.count(id) ? dates.at(id) : 0, 2) << id;
    }
    std::set<std::string> keys;
    for (const auto& l : Dest("DEVUDAVARER", "UGYFEL_IMPORT")) keys.insert(l[2] + l[3]);
    EXPECT_EQ(keys.size(), customers.size());
    return customers.size();
  }
};

TEST_F(ImportCrashTest, AKilledImportLeavesWholeBatchesAndTheNextRunFinishesIt) {
  LoadGeneratedSource(2500);
  Connect();
  // Batches end after rows 499, 1499, 2499 and 2500. The kills fall inside
  // the first batch, the second and the third (each run takes up the work
  // the one before left), here leaving 0, 499 and 1499 customers.
  const std::set<size_t> batchEnds = {0, 499, 1499, 2499, 2500};
  size_t before = 0;
  for (int killAt : {1500, 5000, 9000}) {
    SCOPED_TRACE(killAt);
    const int status = RunChildKilledAt(killAt);
    ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << "wait status " << status;
    const size_t now = ExpectWholeCustomers();
    EXPECT_TRUE(batchEnds.count(now)) << now << " customers";
    EXPECT_GE(now, before);
    before = now;
  }
  EXPECT_GT(before, 0u);
  RunImport();
  EXPECT_TRUE(HasLine(Stamped("A betöltés sikeresen befejeződött.")));
  EXPECT_EQ(ExpectWholeCustomers(), 2500u);
}

}  // namespace
