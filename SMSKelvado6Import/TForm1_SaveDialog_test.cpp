// Saving the log beside the servers the window is connected to: the save
// dialog as the program shows it, and a name that is a server's.
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QAbstractItemModel>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QLineEdit>
#include <QTest>
#include <set>
#include <string>

#include "KelvimportTest_testutil.h"
#include "QtTest_testutil.h"
#include "QtUi.h"
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

// A log saved over a file of a live server would wreck it: the save fails
// and the file stays as it was.
TEST_F(ImportWindowTest, TheLogIsNotSavedOverAFileOfALiveServer) {
  OpenConnected();
  // Looked at through their sizes and times, without opening them.
  auto state = [](const std::string& path) {
    struct stat st {};
    if (stat(path.c_str(), &st) != 0) return std::string("missing");
    return std::to_string(st.st_size) + " " + std::to_string(st.st_mtim.tv_sec) + "." +
           std::to_string(st.st_mtim.tv_nsec);
  };
  for (const std::string suffix : {"", "-wal", "-shm"}) {
    const std::string path = server.Path() + suffix;
    const std::string before = state(path);
    ASSERT_NE(before, "missing") << path;
    ui.Clear();
    ui.QueueSaveFile(path);
    form->Execute(form->aLogSave);
    EXPECT_EQ(BoxTexts(), std::vector<std::string>{"A logállomány mentése sikertelen."}) << path;
    EXPECT_EQ(state(path), before) << path;
  }
  // The destination is whole: connecting to it again reads its types.
  ConnectDest();
  EXPECT_EQ(form->ComboBox3->count(), 2);
  EXPECT_EQ(form->Edit6->text(), "VOVDEMO");
}

}  // namespace
