// Saving the log beside the servers the window is connected to: the save
// dialog as the program shows it, and a name that is a server's.
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QAbstractButton>
#include <QAbstractItemModel>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QHeaderView>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QRegularExpression>
#include <QTest>
#include <QTimer>
#include <QTreeView>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "Cp1250Codec.h"
#include "KelvimportTest_testutil.h"
#include "QtTest_testutil.h"
#include "QtUi.h"
#include "SqliteProcess_testutil.h"
#include "TForm1.h"

namespace {

// The files of a folder that anything opens while this watches it.
class OpenedFiles {
 public:
  explicit OpenedFiles(const std::string& folder) : fd_(inotify_init1(IN_NONBLOCK | IN_CLOEXEC)) {
    if (fd_ >= 0) watch_ = inotify_add_watch(fd_, folder.c_str(), IN_OPEN);
  }
  ~OpenedFiles() {
    if (fd_ >= 0) close(fd_);
  }
  bool Watching() const { return watch_ >= 0; }
  // The names opened since the last call; the folder itself is left out.
  std::set<std::string> Take() {
    std::set<std::string> names;
    alignas(inotify_event) char buffer[8192];
    for (ssize_t n; (n = read(fd_, buffer, sizeof buffer)) > 0;) {
      for (char* at = buffer; at < buffer + n;) {
        const auto* event = reinterpret_cast<const inotify_event*>(at);
        if (event->len > 0 && !(event->mask & IN_ISDIR)) names.insert(event->name);
        at += sizeof(inotify_event) + event->len;
      }
    }
    return names;
  }

 private:
  int fd_;
  int watch_ = -1;
};

// The working folder for one scope, as a program started in another folder has it.
struct InFolder {
  explicit InFolder(const std::string& folder) : before(QDir::currentPath()) {
    QDir::setCurrent(QString::fromStdString(folder));
  }
  ~InFolder() { QDir::setCurrent(before); }
  QString before;
};

// On Linux closing any descriptor of a file drops the process's POSIX locks
// on it: the dialog lists the servers' files, their logs and indexes among
// them, without opening one.
TEST_F(ImportWindowTest, TheSaveDialogListsTheLiveServersFilesWithoutOpeningOne) {
  OpenConnected();
  ASSERT_TRUE(ui.MessageBoxes().empty());
  const std::string folder = server.Folder();
  server.WriteFile("import.log", "egy korábbi log\r\n");
  std::set<std::string> serverFiles;
  for (const auto& entry : QDir(QString::fromStdString(folder)).entryList(QDir::Files)) {
    const std::string name = entry.toStdString();
    if (name.starts_with(server.Name()) || name.starts_with("kelvado.qdb"))
      serverFiles.insert(name);
  }
  // Both servers and, for their live sessions, their logs and indexes.
  ASSERT_TRUE(serverFiles.count(server.Name() + "-wal")) << folder;
  ASSERT_TRUE(serverFiles.count("kelvado.qdb-shm")) << folder;

  InFolder inFolder(folder);
  OpenedFiles opened(folder);
  ASSERT_TRUE(opened.Watching());
  QtUi qt;
  win::ScopedUiBackend installed(qt);
  bool listed = false;
  WhenModal([&](QWidget* w) {
    auto* chooser = qobject_cast<QFileDialog*>(w);
    ASSERT_NE(chooser, nullptr);
    auto* model = chooser->findChild<QFileSystemModel*>();
    ASSERT_NE(model, nullptr);
    const QModelIndex root = model->index(QString::fromStdString(folder));
    // Until the list holds the one log there, and a while for what follows it.
    for (int waited = 0; model->rowCount(root) == 0 && waited < 5000; waited += 10)
      QTest::qWait(10);
    QTest::qWait(200);
    // Every name, icon and type of the folder, as a view asks for them.
    for (int row = 0; row < model->rowCount(root); ++row) {
      for (int column = 0; column < model->columnCount(root); ++column)
        model->data(model->index(row, column, root), Qt::DisplayRole);
      model->data(model->index(row, 0, root), Qt::DecorationRole);
    }
    listed = model->rowCount(root) == 1 &&
             model->index(0, 0, root).data().toString() == QStringLiteral("import.log");
    chooser->reject();
  });
  form->Execute(form->aLogSave);
  EXPECT_TRUE(listed);
  std::string openedServerFiles;
  for (const std::string& name : opened.Take())
    if (serverFiles.count(name)) openedServerFiles += name + " ";
  EXPECT_EQ(openedServerFiles, "");
}

QString Q(const char* narrow) { return Cp1250Codec::ToQString(narrow); }
// A name as the file system takes it.
std::string Fs(const char* narrow) { return QFile::encodeName(Q(narrow)).toStdString(); }

// What the save dialog's list shows of its folder: each row's texts (UTF-8)
// by name, once the list holds rows and Qt has had a while to type them.
std::map<std::string, std::vector<std::string>> Listed(QFileDialog* chooser) {
  auto* view = chooser->findChild<QTreeView*>(QStringLiteral("treeView"));
  if (view == nullptr) return {};
  for (int waited = 0; view->model()->rowCount(view->rootIndex()) == 0 && waited < 5000;
       waited += 10)
    QTest::qWait(10);
  QTest::qWait(200);
  std::map<std::string, std::vector<std::string>> listed;
  const QAbstractItemModel* model = view->model();
  const QModelIndex root = view->rootIndex();
  for (int row = 0; row < model->rowCount(root); ++row) {
    std::vector<std::string> texts;
    for (int column = 1; column < model->columnCount(root); ++column)
      texts.push_back(model->index(row, column, root).data().toString().toStdString());
    listed[model->index(row, 0, root).data().toString().toStdString()] = texts;
  }
  return listed;
}

// UTF-8 of a Windows-1250 literal, as the tests compare the dialog's texts.
std::string U(const char* narrow) { return Q(narrow).toStdString(); }

// A folder of logs and notes beside the program, as the save dialog opens on it.
class SaveDialogTest : public ImportWindowTest {
 protected:
  void SetUp() override {
    ImportWindowTest::SetUp();
    folder = server.Folder() + "/" + Fs("naplók");
    std::filesystem::create_directories(folder + "/" + Fs("régi"));
    auto put = [&](const char* name, size_t size) {
      std::ofstream(folder + "/" + Fs(name), std::ios::binary) << std::string(size, 'x');
    };
    put("rövid.log", 2);
    put("közepes.log", 788);
    put("import.log", 41882);
    put("jegyzet.txt", 5);
    put("régi/tavalyi.log", 7);
    Open();
    form->show();
    ASSERT_TRUE(InstallQtTranslations());
  }
  // The folder's files, its own and its sub-folder's.
  std::set<std::string> Files() const {
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(folder))
      names.insert(std::filesystem::relative(entry.path(), folder).string());
    return names;
  }

  std::string folder;
  QtAsItStarts restored;
};

// Every text of the list is Hungarian: sizes with Hungarian units and a
// decimal comma, file types, times, and the column titles.
TEST_F(SaveDialogTest, ListsEveryColumnInHungarian) {
  QtUi qt;
  win::ScopedUiBackend installed(qt);
  std::map<std::string, std::vector<std::string>> listed;
  std::vector<std::string> titles;
  WhenModal([&](QWidget* w) {
    auto* chooser = qobject_cast<QFileDialog*>(w);
    ASSERT_NE(chooser, nullptr);
    chooser->setDirectory(QString::fromStdString(folder));
    listed = Listed(chooser);
    const QHeaderView* header = chooser->findChild<QTreeView*>("treeView")->header();
    for (int i = 0; i < header->count(); ++i)
      titles.push_back(header->model()->headerData(i, Qt::Horizontal).toString().toStdString());
    chooser->reject();
  });
  form->Execute(form->aLogSave);
  EXPECT_EQ(titles,
            (std::vector<std::string>{U("Név"), U("Méret"), U("Típus"), U("Módosítás dátuma")}));
  // Name: size, type.
  const std::map<std::string, std::vector<std::string>> expected = {
      {U("rövid.log"), {U("2 bájt"), U("alkalmazás naplója")}},
      {U("közepes.log"), {U("788 bájt"), U("alkalmazás naplója")}},
      {U("import.log"), {U("40,90 KiB"), U("alkalmazás naplója")}},
      {U("régi"), {"", U("mappa")}}};
  ASSERT_EQ(listed.size(), expected.size());
  // "2025. 12. 10. 10:00", as Hungarian writes a time.
  const QRegularExpression time(R"(^\d{4}\. \d{2}\. \d{2}\. \d{1,2}:\d{2}$)");
  for (const auto& [name, texts] : listed) {
    ASSERT_TRUE(expected.count(name)) << name;
    ASSERT_EQ(texts.size(), 3u) << name;
    EXPECT_EQ(std::vector<std::string>(texts.begin(), texts.begin() + 2), expected.at(name));
    EXPECT_TRUE(time.match(QString::fromStdString(texts[2])).hasMatch()) << texts[2];
  }
}

// A typed name with * or ? lists the files that match it and saves nothing,
// as on Windows; a folder before it is gone to first.
TEST_F(SaveDialogTest, ANameWithWildcardsListsTheFilesItMatches) {
  const std::set<std::string> files = Files();
  QtUi qt;
  win::ScopedUiBackend installed(qt);
  struct Case {
    const char* typed;
    std::set<std::string> listed;
  };
  const std::vector<Case> cases = {
      {"*.txt", {U("jegyzet.txt"), U("régi")}},
      {"*", {U("rövid.log"), U("közepes.log"), U("import.log"), U("jegyzet.txt"), U("régi")}},
      {"?????.log", {U("rövid.log"), U("régi")}},
      {"i*.log;*.txt", {U("import.log"), U("jegyzet.txt"), U("régi")}},
      {"régi/*", {U("tavalyi.log")}},
  };
  WhenModal([&](QWidget* w) {
    auto* chooser = qobject_cast<QFileDialog*>(w);
    ASSERT_NE(chooser, nullptr);
    auto* name = chooser->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
    ASSERT_NE(name, nullptr);
    chooser->setDirectory(QString::fromStdString(folder));
    for (const Case& c : cases) {
      name->setText(Q(c.typed));
      QTest::keyClick(name, Qt::Key_Return);
      EXPECT_TRUE(chooser->isVisible()) << c.typed;
      std::set<std::string> listed;
      for (const auto& row : Listed(chooser)) listed.insert(row.first);
      EXPECT_EQ(listed, c.listed) << c.typed;
    }
    // The patterns stay for the operator to see.
    EXPECT_EQ(name->text(), QStringLiteral("*"));
    chooser->reject();
  });
  form->Execute(form->aLogSave);
  EXPECT_EQ(BoxTexts(), std::vector<std::string>{});
  EXPECT_EQ(Files(), files);
}

// A plain SQLite reader in a process of its own, holding a read transaction
// on the server until it goes; it answers "reading" once the transaction
// has read.
std::unique_ptr<win::SqliteProcess> SqliteReader(const std::string& path) {
  return std::make_unique<win::SqliteProcess>(
      path,
      "db.execute('BEGIN')\n"
      "db.execute('SELECT count(*) FROM qor_database').fetchall()\n"
      "print('reading', flush=True)\n",
      true);
}

enum class Holder { ThisProcess, AnotherProcess, Nobody };

// The target (the server file's name, then this) and who holds the server.
using LogOverServerCase = std::tuple<const char*, Holder>;

class LogOverServerTest : public ImportWindowTest,
                          public testing::WithParamInterface<LogOverServerCase> {};

// A log saved over a server's file, log or index would wreck the server,
// whoever holds it: the save fails and the file stays as it was, byte for
// byte, missing when it was missing.
TEST_P(LogOverServerTest, IsRefusedAndTheServerStaysWhole) {
  const auto [target, holder] = GetParam();
  std::unique_ptr<win::SqliteProcess> reader;
  if (holder == Holder::ThisProcess) {
    OpenConnected();
  } else {
    Open();
    form->show();  // the log holds its start-up lines
    if (holder == Holder::AnotherProcess) {
      reader = SqliteReader(server.Path());
      ASSERT_EQ(reader->Answer(), "reading");
    }
  }
  const std::string path = server.Path() + target;
  auto exists = [&] {
    struct stat st {};
    return stat(path.c_str(), &st) == 0;
  };
  const bool existed = exists();
  const std::string before = FileBytes(path);
  if (holder != Holder::Nobody) {
    ASSERT_TRUE(existed);
  }
  ui.Clear();
  ui.QueueSaveFile(path);
  form->Execute(form->aLogSave);
  EXPECT_EQ(BoxTexts(), std::vector<std::string>{"A logállomány mentése sikertelen."});
  EXPECT_EQ(exists(), existed);
  const std::string after = FileBytes(path);
  EXPECT_TRUE(after == before) << before.size() << " bytes before, " << after.size() << " after";
  if (reader) {
    EXPECT_TRUE(reader->Stop());
  }
  // Another process reads the server whole, the three types that Open loaded.
  EXPECT_EQ(server.DumpedRecords("ALAP", "ELERTIP").size(), 3u);
}

std::string CaseName(const testing::TestParamInfo<LogOverServerCase>& info) {
  static const char* const kHolders[] = {"ThisProcess", "AnotherProcess", "Nobody"};
  const char* target = std::get<0>(info.param);
  return std::string(*target ? target + 1 : "Server") + "_" +
         kHolders[int(std::get<1>(info.param))];
}

INSTANTIATE_TEST_SUITE_P(Cases, LogOverServerTest,
                         testing::Combine(testing::Values("", "-wal", "-shm"),
                                          testing::Values(Holder::ThisProcess,
                                                          Holder::AnotherProcess, Holder::Nobody)),
                         CaseName);

class HardLinkToLiveSideFileTest : public ImportWindowTest,
                                   public testing::WithParamInterface<const char*> {};

// A hard link under a log's name to the log or index of a server that
// another process holds, with a commit that only the log holds so far:
// the save is refused, the file stays byte for byte, and the commit stays.
TEST_P(HardLinkToLiveSideFileTest, IsRefusedAndTheCommitStays) {
  Open();
  form->show();
  const auto reader = SqliteReader(server.Path());
  ASSERT_EQ(reader->Answer(), "reading");
  // Committed while the reader holds the server, so the log keeps it.
  server.Load("ALAP", "ELERTIP", "ELET_ID\tELET_TIPUS\tELMT_ID\n9\tFax\t1\n");
  const std::string side = server.Path() + GetParam();
  std::filesystem::create_directory(server.Folder() + "/links");
  const std::string link = server.Folder() + "/links/hard.log";
  std::filesystem::create_hard_link(side, link);
  const std::string before = FileBytes(side);
  ASSERT_GT(before.size(), 32u);
  ui.Clear();
  ui.QueueSaveFile(link);
  form->Execute(form->aLogSave);
  EXPECT_EQ(BoxTexts(), std::vector<std::string>{"A logállomány mentése sikertelen."});
  const std::string after = FileBytes(side);
  EXPECT_TRUE(after == before) << before.size() << " bytes before, " << after.size() << " after";
  // A fresh reader sees the commit while the server is held, and after.
  EXPECT_EQ(server.DumpedRecords("ALAP", "ELERTIP").size(), 4u);
  EXPECT_TRUE(reader->Stop());
  EXPECT_EQ(server.DumpedRecords("ALAP", "ELERTIP").size(), 4u);
}

INSTANTIATE_TEST_SUITE_P(SideFiles, HardLinkToLiveSideFileTest, testing::Values("-wal", "-shm"),
                         [](const testing::TestParamInfo<const char*>& info) {
                           return std::string(info.param + 1);
                         });

// On Windows a file in use can be neither deleted nor renamed; here the
// save dialog's list deletes and renames nothing, a server's file, log or
// index least of all, by its menu, its actions or in place.
TEST_F(ImportWindowTest, TheSaveDialogDeletesAndRenamesNoServerFile) {
  Open();
  form->show();
  ASSERT_TRUE(InstallQtTranslations());
  QtAsItStarts restored;
  const auto reader = SqliteReader(server.Path());
  ASSERT_EQ(reader->Answer(), "reading");
  // A commit that only the log holds while the reader holds the server.
  server.Load("ALAP", "ELERTIP", "ELET_ID\tELET_TIPUS\tELMT_ID\n9\tFax\t1\n");
  const std::vector<std::string> names = {server.Name(), server.Name() + "-wal"};
  std::map<std::string, std::string> before;
  for (const std::string& name : names) before[name] = FileBytes(server.Folder() + "/" + name);
  ASSERT_FALSE(before[server.Name() + "-wal"].empty());
  QtUi qt;
  win::ScopedUiBackend installed(qt);
  std::vector<std::string> offered, asked;
  WhenModal([&](QWidget* w) {
    auto* chooser = qobject_cast<QFileDialog*>(w);
    ASSERT_NE(chooser, nullptr);
    // Closed however this ends, a failed assertion too.
    struct Closer {
      QFileDialog* dialog;
      ~Closer() { dialog->reject(); }
    } closer{chooser};
    chooser->setDirectory(QString::fromStdString(server.Folder()));
    // Every file listed, as an operator lists them by typing "*".
    auto* typed = chooser->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
    ASSERT_NE(typed, nullptr);
    typed->setText(QStringLiteral("*"));
    QTest::keyClick(typed, Qt::Key_Return);
    ASSERT_TRUE(Listed(chooser).count(names[1])) << Listed(chooser).size();
    auto* view = chooser->findChild<QTreeView*>(QStringLiteral("treeView"));
    auto* remove = chooser->findChild<QAction*>(QStringLiteral("qt_delete_action"));
    auto* rename = chooser->findChild<QAction*>(QStringLiteral("qt_rename_action"));
    ASSERT_NE(view, nullptr);
    ASSERT_NE(remove, nullptr);
    ASSERT_NE(rename, nullptr);
    // Whatever question comes is answered yes, and what it asked is kept; a
    // menu is closed once what it offers is kept.
    std::string current;
    QTimer answerer;
    QObject::connect(&answerer, &QTimer::timeout, [&] {
      if (auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget())) {
        for (QAction* action : menu->actions())
          if (action->isEnabled() && action->isVisible() && !action->isSeparator())
            offered.push_back(current + ": " + action->text().toStdString());
        menu->close();
        return;
      }
      auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      if (box == nullptr) return;
      asked.push_back(box->text().toStdString());
      if (QAbstractButton* yes = box->button(QMessageBox::Yes))
        yes->click();
      else
        box->accept();
    });
    answerer.start(5);
    // The row of a name as the list has it now; invalid once it is gone.
    auto rowOf = [view](const std::string& name) {
      const QModelIndex root = view->rootIndex();
      for (int i = 0; i < view->model()->rowCount(root); ++i)
        if (view->model()->index(i, 0, root).data().toString().toStdString() == name)
          return view->model()->index(i, 0, root);
      return QModelIndex();
    };
    for (const std::string& name : names) {
      current = name;
      const QModelIndex row = rowOf(name);
      ASSERT_TRUE(row.isValid()) << name;
      view->setCurrentIndex(row);
      view->selectionModel()->select(
          row, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
      // The menu on the row offers what it may do.
      const QPoint at = view->visualRect(row).center();
      QContextMenuEvent click(QContextMenuEvent::Mouse, at, view->viewport()->mapToGlobal(at));
      QApplication::sendEvent(view->viewport(), &click);
      QTest::qWait(50);
      // Renaming it by the action and in place, then deleting it.
      for (int how = 0; how < 2 && rowOf(name).isValid(); ++how) {
        view->setCurrentIndex(rowOf(name));
        if (how == 0) rename->trigger();
        if (how == 1) QTest::keyClick(view, Qt::Key_F2);
        if (auto* editor = view->findChild<QLineEdit*>()) {
          if (editor->isVisible()) {
            editor->setText(QStringLiteral("renamed.log"));
            QTest::keyClick(editor, Qt::Key_Return);
          }
        }
        QTest::qWait(20);
      }
      if (rowOf(name).isValid()) {
        view->setCurrentIndex(rowOf(name));
        remove->trigger();
        QTest::qWait(50);
      }
      if (const QModelIndex still = rowOf(name); still.isValid()) {
        EXPECT_FALSE(view->model()->setData(still, QStringLiteral("renamed.log"))) << name;
      }
    }
    answerer.stop();
  });
  form->Execute(form->aLogSave);
  // The menu on a file offers neither deleting nor renaming it.
  const std::string showHidden = U("&Rejtett fájlok megjelenítése");
  EXPECT_EQ(offered, (std::vector<std::string>{server.Name() + ": " + showHidden,
                                               server.Name() + "-wal: " + showHidden}));
  EXPECT_EQ(asked, std::vector<std::string>{});
  for (const std::string& name : names) {
    const std::string after = FileBytes(server.Folder() + "/" + name);
    EXPECT_TRUE(after == before[name]) << name << ": " << after.size() << " bytes";
  }
  EXPECT_FALSE(std::filesystem::exists(server.Folder() + "/renamed.log"));
  EXPECT_TRUE(reader->Stop());
  EXPECT_EQ(server.DumpedRecords("ALAP", "ELERTIP").size(), 4u);
}

}  // namespace
