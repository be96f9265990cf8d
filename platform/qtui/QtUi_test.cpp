#include "QtUi.h"

#include <gtest/gtest.h>

#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFile>
#include <QFileDialog>
#include <QFontDatabase>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMessageBox>
#include <QPushButton>
#include <QSettings>
#include <QStyle>
#include <QStyleOptionTitleBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTranslator>
#include <QTreeView>
#include <QWindow>
#include <functional>
#include <stdexcept>

#include "Cp1250Codec.h"
#include "QtDialog.h"
#include "QtTest_testutil.h"
#include "WinDialog.h"

#if QOR_QTUI_XCB
#include <xcb/xcb.h>

#include <QGuiApplication>
#include <cstdlib>
#endif

namespace {

using namespace win;

constexpr int kUser = 985, kPassword = 986, kDatabase = 987;

QString Q(const char* narrow) { return Cp1250Codec::ToQString(narrow); }

TEST(QtMessageBox, ShowsAModalBoxOnTopAndEnterAnswersTheDefault) {
  QtUi ui;
  ScopedUiBackend installed(ui);
  bool checked = false;
  WhenModal([&](QWidget* w) {
    auto* box = qobject_cast<QMessageBox*>(w);
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->windowTitle(), Q("Bejelentkezés"));
    EXPECT_EQ(box->text(), Q("Ismeretlen a felhasználónév vagy hibás a jelszó!"));
    EXPECT_TRUE(box->windowFlags() & Qt::WindowStaysOnTopHint);
    // A dialog's title bar: the close button only.
    EXPECT_TRUE(box->windowFlags() & Qt::WindowCloseButtonHint);
    EXPECT_FALSE(box->windowFlags() & Qt::WindowMinMaxButtonsHint);
    EXPECT_EQ(box->windowModality(), Qt::ApplicationModal);
    EXPECT_EQ(box->icon(), QMessageBox::Warning);
    ASSERT_EQ(box->buttons().size(), 1);
    EXPECT_EQ(box->buttons().front()->text(), QStringLiteral("OK"));
    checked = true;
    QTest::keyClick(box, Qt::Key_Return);
  });
  EXPECT_EQ(MessageBoxA(nullptr, "Ismeretlen a felhasználónév vagy hibás a jelszó!",
                        "Bejelentkezés", MB_ICONEXCLAMATION | MB_TOPMOST),
            IDOK);
  EXPECT_TRUE(checked);
}

TEST(QtMessageBox, KeysAndButtonsGiveTheAnswersTheyGiveOnWindows) {
  struct Case {
    UINT flags;
    const char* action;  // "enter", "escape", or a button's caption
    int answer;
  } cases[] = {
      {MB_OK, "escape", IDOK},
      {MB_OKCANCEL, "escape", IDCANCEL},
      {MB_OKCANCEL, "enter", IDOK},
      {MB_YESNO | MB_DEFBUTTON2, "enter", IDNO},
      {MB_YESNO, "Igen", IDYES},
      {MB_YESNOCANCEL, "Nem", IDNO},
      {MB_RETRYCANCEL | MB_DEFBUTTON2, "enter", IDCANCEL},
  };
  QtUi ui;
  ScopedUiBackend installed(ui);
  for (const auto& c : cases) {
    WhenModal([&](QWidget* w) {
      auto* box = qobject_cast<QMessageBox*>(w);
      ASSERT_NE(box, nullptr);
      EXPECT_FALSE(box->windowFlags() & Qt::WindowStaysOnTopHint);
      const std::string action = c.action;
      if (action == "enter") {
        QTest::keyClick(box, Qt::Key_Return);
      } else if (action == "escape") {
        QTest::keyClick(box, Qt::Key_Escape);
      } else {
        for (QAbstractButton* b : box->buttons())
          if (b->text() == QtUi::ButtonText(c.answer)) b->click();
      }
    });
    EXPECT_EQ(MessageBox("Folytatja?", "Figyelem!", c.flags), c.answer)
        << c.flags << " " << c.action;
  }
}

// What a title bar leaves a window's caption at the window's width, drawn by
// the style with every button that a window manager may show, less the
// caption in the desktop's title font, bold as title bars mostly draw it.
int CaptionRoomLeft(QWidget* window) {
  QFont titleFont = QFontDatabase::systemFont(QFontDatabase::TitleFont);
  titleFont.setBold(true);
  QStyleOptionTitleBar bar;
  bar.initFrom(window);
  bar.titleBarFlags = Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinMaxButtonsHint |
                      Qt::WindowCloseButtonHint;
  bar.rect = QRect(0, 0, window->width(),
                   window->style()->pixelMetric(QStyle::PM_TitleBarHeight, &bar, window));
  const QRect label =
      window->style()->subControlRect(QStyle::CC_TitleBar, &bar, QStyle::SC_TitleBarLabel, window);
  return label.width() - QFontMetrics(titleFont).horizontalAdvance(window->windowTitle());
}

TEST(QtMessageBox, IsWideEnoughForItsCaptionOnATitleBar) {
  const struct {
    const char* text;
    const char* caption;
  } cases[] = {{"A logállomány elkészült.", "Kelvimport"},
               {"", "Kelvimport"},
               {"", "Numfix"},
               {"Kész.", "Hiba történt!"}};
  QtUi ui;
  ScopedUiBackend installed(ui);
  for (const auto& c : cases) {
    WhenModal([&](QWidget* box) {
      EXPECT_EQ(box->windowTitle(), Q(c.caption));
      EXPECT_GE(CaptionRoomLeft(box), 0)
          << c.caption << " over \"" << c.text << "\", " << box->width() << " wide";
      QTest::keyClick(box, Qt::Key_Return);
    });
    MessageBox(c.text, c.caption, MB_OK);
  }
}

TEST(QtMessageBox, EscapeDoesNothingWithoutACancelButton) {
  QtUi ui;
  ScopedUiBackend installed(ui);
  WhenModal([](QWidget* w) {
    auto* box = qobject_cast<QMessageBox*>(w);
    ASSERT_NE(box, nullptr);
    // Nor a close button, nor a close from the window manager.
    EXPECT_FALSE(box->windowFlags() & (Qt::WindowCloseButtonHint | Qt::WindowMinMaxButtonsHint));
    QTest::keyClick(box, Qt::Key_Escape);
    EXPECT_TRUE(box->isVisible());
    box->windowHandle()->close();
    EXPECT_TRUE(box->isVisible());
    for (QAbstractButton* b : box->buttons())
      if (b->text() == QStringLiteral("Igen")) b->click();
  });
  EXPECT_EQ(MessageBox("Töröljem?", "Kérdés", MB_YESNO | MB_ICONQUESTION), IDYES);
}

#if QOR_QTUI_XCB
// The Motif hints that the X server holds for a window, as a window manager
// reads them: flags, functions, decorations and two more; empty for none.
std::vector<uint32_t> MotifHintsOf(QWidget* window) {
  auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
  xcb_connection_t* c = x11 ? x11->connection() : nullptr;
  if (c == nullptr) return {};
  static constexpr char kName[] = "_MOTIF_WM_HINTS";
  xcb_intern_atom_reply_t* atom =
      xcb_intern_atom_reply(c, xcb_intern_atom(c, 1, sizeof kName - 1, kName), nullptr);
  if (atom == nullptr) return {};
  xcb_get_property_reply_t* reply = xcb_get_property_reply(
      c, xcb_get_property(c, 0, xcb_window_t(window->winId()), atom->atom, atom->atom, 0, 5),
      nullptr);
  std::free(atom);
  std::vector<uint32_t> hints;
  if (reply != nullptr && reply->format == 32) {
    const auto* values = static_cast<const uint32_t*>(xcb_get_property_value(reply));
    hints.assign(values, values + xcb_get_property_value_length(reply) / 4);
  }
  std::free(reply);
  return hints;
}
#endif

// What a window manager that honours the hints offers: a box without Cancel
// cannot be closed from its title bar or its window menu, and has no menu;
// every other box keeps its close button.
TEST(QtX11, ABoxWithoutCancelAsksForNoCloseAndTheOthersKeepTheirs) {
#if !QOR_QTUI_XCB
  GTEST_SKIP() << "built without xcb";
#else
  if (QGuiApplication::platformName() != QLatin1String("xcb"))
    GTEST_SKIP() << "needs an X display: the qtui_x11_tests run";
  enum : uint32_t { kFunctions = 1, kDecorations = 2, kAll = 1, kMove = 4, kClose = 0x20 };
  enum : uint32_t { kMenu = 0x10, kTitle = 8 };
  // A bit of the hints' functions or decorations is on when the hints leave
  // that part out, or when kAll inverts what they list.
  auto on = [](const std::vector<uint32_t>& h, uint32_t part, size_t at, uint32_t bit) {
    return !(h[0] & part) || ((h[at] & kAll) ? !(h[at] & bit) : (h[at] & bit) != 0);
  };
  const struct {
    UINT flags;
    bool closes;
  } cases[] = {{MB_YESNO | MB_ICONEXCLAMATION, false},
               {MB_YESNO | MB_TOPMOST, false},
               {MB_ABORTRETRYIGNORE, false},
               {MB_OK, true},
               {MB_OK | MB_TOPMOST, true},
               {MB_OKCANCEL, true},
               {MB_YESNOCANCEL, true}};
  QtUi ui;
  ScopedUiBackend installed(ui);
  for (const auto& c : cases) {
    WhenModal([&](QWidget* box) {
      const std::vector<uint32_t> h = MotifHintsOf(box);
      ASSERT_EQ(h.size(), 5u) << c.flags;
      EXPECT_EQ(on(h, kFunctions, 1, kClose), c.closes) << c.flags;
      EXPECT_TRUE(on(h, kFunctions, 1, kMove)) << c.flags;
      EXPECT_TRUE(on(h, kDecorations, 2, kTitle)) << c.flags;
      if (!c.closes) {
        EXPECT_FALSE(on(h, kDecorations, 2, kMenu)) << c.flags;
      }
      static_cast<QMessageBox*>(box)->buttons().front()->click();
    });
    MessageBox("Folytatja?", "Figyelem!", c.flags);
  }
#endif
}

// The login dialog's items and a procedure in its manner.
DialogDesc LoginDesc() {
  DialogDesc d;
  d.style = 0x90c008c0;
  d.exStyle = WS_EX_TOPMOST;
  d.cx = 160;
  d.cy = 75;
  d.title = "Bejelentkezés";
  d.pointSize = 8;
  d.typeface = "MS Sans Serif";
  auto item = [](ControlKind kind, WORD id, short x, short y, short cx, short cy, DWORD style,
                 const char* text) {
    DialogItemDesc i;
    i.kind = kind;
    i.id = id;
    i.x = x;
    i.y = y;
    i.cx = cx;
    i.cy = cy;
    i.style = style;
    i.text = text;
    return i;
  };
  d.items = {item(ControlKind::Static, 982, 10, 9, 48, 10, 0x50000000, "Felhasználó:"),
             item(ControlKind::Edit, 985, 60, 7, 90, 12, 0x50810008, ""),
             item(ControlKind::Static, 983, 10, 24, 48, 10, 0x50000000, "Jelszó:"),
             item(ControlKind::Edit, 986, 60, 22, 90, 12, 0x50810028, ""),
             item(ControlKind::Static, 984, 10, 39, 48, 10, 0x50000000, "Adatbázis:"),
             item(ControlKind::ComboBox, 987, 60, 37, 90, 88, 0x5081010b, ""),
             item(ControlKind::Button, 1, 22, 55, 50, 15, 0x50010001, "OK"),
             item(ControlKind::Button, 2, 85, 55, 50, 15, 0x50010000, "Mégse")};
  return d;
}

struct Login {
  static inline std::string user, password, database;

  static std::string Read(HWND dlg, int id) {
    char buffer[100];
    GetDlgItemTextA(dlg, id, buffer, sizeof buffer);
    return buffer;
  }
  static void EnableOk(HWND dlg, bool found) {
    EnableWindow(GetDlgItem(dlg, IDOK),
                 found && !user.empty() && !password.empty() && !database.empty());
  }
  static INT_PTR Proc(HWND dlg, UINT message, WPARAM wParam, LPARAM) {
    if (message == WM_INITDIALOG) {
      SetDlgItemTextA(dlg, kUser, user.c_str());
      SendDlgItemMessageA(dlg, kUser, EM_LIMITTEXT, 15, 0);
      SetDlgItemTextA(dlg, kPassword, password.c_str());
      SendDlgItemMessageA(dlg, kPassword, EM_LIMITTEXT, 15, 0);
      for (const char* name : {"UGYFEL", "KELVADO"})
        SendDlgItemMessageA(dlg, kDatabase, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(name));
      LRESULT found = SendDlgItemMessageA(dlg, kDatabase, CB_SELECTSTRING, static_cast<WPARAM>(-1),
                                          reinterpret_cast<LPARAM>(database.c_str()));
      EnableOk(dlg, found != CB_ERR);
      return TRUE;
    }
    if (message != WM_COMMAND) return FALSE;
    const int id = LOWORD(wParam);
    if (id == IDOK || id == IDCANCEL) {
      EndDialog(dlg, id == IDOK ? 1 : 0);
    } else if (HIWORD(wParam) == CBN_SELCHANGE) {
      database = Read(dlg, kDatabase);
      EnableOk(dlg, true);
    } else if (HIWORD(wParam) == EN_CHANGE) {
      (id == kUser ? user : password) = Read(dlg, id);
      EnableOk(dlg, true);
    }
    return TRUE;
  }
};

class QtDialogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Login::user = "ADMIN";
    Login::password = "SECRET";
    Login::database = "UGYFEL";
  }
  INT_PTR Run(std::function<void(QtDialog*)> act) {
    WhenModal([act](QWidget* w) {
      auto* dialog = qobject_cast<QtDialog*>(w);
      ASSERT_NE(dialog, nullptr);
      act(dialog);
    });
    return DialogFromTemplate(LoginDesc(), nullptr, Login::Proc, 0);
  }
  QtUi ui_;
  ScopedUiBackend installed_{ui_};
};

TEST_F(QtDialogTest, IsAModalWindowOnTopWithTheTemplatesControls) {
  EXPECT_EQ(
      Run([](QtDialog* d) {
        EXPECT_TRUE(d->isModal());
        EXPECT_TRUE(d->windowFlags() & Qt::WindowStaysOnTopHint);
        // A caption without a system menu: no buttons on the title bar.
        EXPECT_FALSE(d->windowFlags() & (Qt::WindowCloseButtonHint | Qt::WindowMinMaxButtonsHint));
        EXPECT_EQ(d->windowTitle(), Q("Bejelentkezés"));
        EXPECT_EQ(d->size(), QSize(d->PixelsX(160), d->PixelsY(75)));
        EXPECT_EQ(Item<QLabel>(d, 982)->text(), Q("Felhasználó:"));
        auto* user = Item<QLineEdit>(d, kUser);
        auto* password = Item<QLineEdit>(d, kPassword);
        EXPECT_EQ(user->text(), QStringLiteral("ADMIN"));
        EXPECT_EQ(user->echoMode(), QLineEdit::Normal);
        EXPECT_EQ(password->echoMode(), QLineEdit::Password);
        EXPECT_EQ(password->text(), QStringLiteral("SECRET"));
        EXPECT_EQ(user->geometry().topLeft(), QPoint(d->PixelsX(60), d->PixelsY(7)));
        auto* combo = Item<QComboBox>(d, kDatabase);
        EXPECT_EQ(combo->count(), 2);
        EXPECT_EQ(combo->itemText(0), QStringLiteral("KELVADO"));  // sorted
        EXPECT_EQ(combo->currentText(), QStringLiteral("UGYFEL"));
        EXPECT_TRUE(Item<QPushButton>(d, IDOK)->isDefault());
        EXPECT_TRUE(Item<QPushButton>(d, IDOK)->isEnabled());
        EXPECT_EQ(Item<QPushButton>(d, IDCANCEL)->text(), Q("Mégse"));
        QTest::keyClick(user, Qt::Key_Return);
      }),
      1);
}

TEST_F(QtDialogTest, TypingIsUpperCasedAndStopsAtTheLimit) {
  Login::user = "";
  Login::password = "ABCDEFGHIJKLMNOPQRST";  // a preset past the limit stays whole
  EXPECT_EQ(Run([](QtDialog* d) {
              auto* user = Item<QLineEdit>(d, kUser);
              auto* password = Item<QLineEdit>(d, kPassword);
              EXPECT_EQ(password->text().size(), 20);
              EXPECT_FALSE(Item<QPushButton>(d, IDOK)->isEnabled());
              QTest::keyClicks(user, QStringLiteral("abc"));
              EXPECT_EQ(user->text(), QStringLiteral("ABC"));
              EXPECT_EQ(Login::user, "ABC");
              EXPECT_TRUE(Item<QPushButton>(d, IDOK)->isEnabled());
              QTest::keyClicks(user, QStringLiteral("defghijklmnopqrs"));  // 16 more
              EXPECT_EQ(user->text(), QStringLiteral("ABCDEFGHIJKLMNO"));
              QTest::keyClicks(password, QStringLiteral("u"));
              EXPECT_EQ(password->text().size(), 20);
              // A character with no Windows-1250 byte is refused.
              QKeyEvent han(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier,
                            QString::fromUtf16(u"\u4E2D"));
              QApplication::sendEvent(user, &han);
              EXPECT_EQ(user->text(), QStringLiteral("ABCDEFGHIJKLMNO"));
              QTest::keyClick(user, Qt::Key_Escape);
            }),
            0);
  EXPECT_EQ(Login::user, "ABCDEFGHIJKLMNO");
}

TEST_F(QtDialogTest, ClearingThePasswordDisablesOkAndEnterDoesNothingThen) {
  EXPECT_EQ(Run([](QtDialog* d) {
              auto* password = Item<QLineEdit>(d, kPassword);
              auto* ok = Item<QPushButton>(d, IDOK);
              password->selectAll();
              QTest::keyClick(password, Qt::Key_Backspace);
              EXPECT_EQ(Login::password, "");
              EXPECT_FALSE(ok->isEnabled());
              QTest::keyClick(password, Qt::Key_Return);
              EXPECT_TRUE(d->isVisible());
              EXPECT_FALSE(d->Model().Ended());
              QTest::keyClicks(password, QStringLiteral("x"));
              EXPECT_TRUE(ok->isEnabled());
              QTest::mouseClick(ok, Qt::LeftButton);
            }),
            1);
  EXPECT_EQ(Login::password, "X");
}

TEST_F(QtDialogTest, AnUnknownPresetWaitsForAPick) {
  Login::database = "NOSUCH";
  EXPECT_EQ(Run([](QtDialog* d) {
              auto* combo = Item<QComboBox>(d, kDatabase);
              auto* ok = Item<QPushButton>(d, IDOK);
              EXPECT_EQ(combo->currentIndex(), -1);
              EXPECT_FALSE(ok->isEnabled());
              QTest::keyClick(combo, Qt::Key_Down);  // picks the first entry
              EXPECT_EQ(Login::database, "KELVADO");
              EXPECT_TRUE(ok->isEnabled());
              QTest::keyClick(Item<QLineEdit>(d, kUser), Qt::Key_Enter);
            }),
            1);
}

TEST_F(QtDialogTest, ClosingTheWindowCancels) {
  EXPECT_EQ(Run([](QtDialog* d) { d->close(); }), 0);
}

// A window manager that offers to minimise every window let the operator
// minimise the dialog: a click on a window that it blocks, or its
// activation, brings it back; other events leave it.
TEST_F(QtDialogTest, AMinimisedDialogComesBackWhenABlockedWindowIsClickedOrActivated) {
#if !QOR_QTUI_XCB
  GTEST_SKIP() << "built without xcb";
#else
  auto deliver = [](uint8_t kind) {
    xcb_generic_event_t event{};
    event.response_type = kind;
    qintptr result = 0;
    QAbstractEventDispatcher::instance()->filterNativeEvent("xcb_generic_event_t", &event, &result);
    QApplication::processEvents();
  };
  for (uint8_t kind : {uint8_t(XCB_FOCUS_IN), uint8_t(XCB_BUTTON_PRESS)}) {
    EXPECT_EQ(Run([&](QtDialog* d) {
                d->showMinimized();
                QApplication::processEvents();
                ASSERT_TRUE(d->windowState() & Qt::WindowMinimized);
                for (uint8_t other : {XCB_KEY_PRESS, XCB_MOTION_NOTIFY, XCB_FOCUS_OUT}) {
                  deliver(other);
                  EXPECT_TRUE(d->windowState() & Qt::WindowMinimized) << int(other);
                }
                deliver(kind);
                EXPECT_FALSE(d->windowState() & Qt::WindowMinimized) << int(kind);
                EXPECT_TRUE(d->isVisible());
                QTest::mouseClick(Item<QPushButton>(d, IDCANCEL), Qt::LeftButton);
              }),
              0);
  }
#endif
}

INT_PTR ThrowOnCommand(HWND, UINT message, WPARAM, LPARAM) {
  if (message == WM_COMMAND) throw std::runtime_error("procedure failed");
  return message == WM_INITDIALOG;
}

// Qt cannot carry an exception through its event loop; the dialog ends and
// the exception comes out of the call that ran it.
TEST_F(QtDialogTest, AnExceptionOfTheProcedureEndsTheDialogAndComesOut) {
  WhenModal([](QWidget* w) { QTest::mouseClick(Item<QPushButton>(w, IDCANCEL), Qt::LeftButton); });
  EXPECT_THROW(DialogFromTemplate(LoginDesc(), nullptr, ThrowOnCommand, 0), std::runtime_error);
  EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
  EXPECT_EQ(GetActiveWindow(), nullptr);
}

TEST(QtUiParts, NameFiltersAndInstallation) {
  EXPECT_EQ(QtUi::NameFilters("Log fájlok (*.log)|*.log|Szöveges fájlok (*.txt)|*.txt"),
            (QStringList{Q("Log fájlok (*.log)"), Q("Szöveges fájlok (*.txt)")}));
  EXPECT_EQ(QtUi::NameFilters("Képek|*.png;*.jpg"), (QStringList{Q("Képek (*.png *.jpg)")}));
  EXPECT_EQ(QtUi::NameFilters(""), QStringList());
  EXPECT_EQ(QtUi::NameFilters("odd|"), (QStringList{QStringLiteral("odd ()")}));
  UiBackend* before = CurrentUiBackend();
  EXPECT_EQ(InstallQtUi(), before);
  EXPECT_NE(dynamic_cast<QtUi*>(CurrentUiBackend()), nullptr);
  InstallUiBackend(before);
}

TEST(QtTranslations, QtsOwnDialogsAndButtonsSpeakHungarianAfterStartUp) {
  QtAsItStarts restored;
  ASSERT_TRUE(InstallQtTranslations());
  QDialogButtonBox buttons(QDialogButtonBox::Save | QDialogButtonBox::Cancel);
  EXPECT_EQ(buttons.button(QDialogButtonBox::Save)->text(), Q("Mentés"));
  EXPECT_EQ(buttons.button(QDialogButtonBox::Cancel)->text(), Q("Mégse"));
  // The log's save dialog as the backend shows it.
  QFileDialog chooser;
  chooser.setAcceptMode(QFileDialog::AcceptSave);
  EXPECT_EQ(chooser.windowTitle(), Q("Mentés másként"));
  EXPECT_EQ(chooser.findChild<QLabel*>("lookInLabel")->text(), Q("Keresés itt:"));
  EXPECT_EQ(chooser.findChild<QLabel*>("fileNameLabel")->text(), Q("Fájl &neve:"));
  auto* chooserButtons = chooser.findChild<QDialogButtonBox*>("buttonBox");
  ASSERT_NE(chooserButtons, nullptr);
  EXPECT_EQ(chooserButtons->button(QDialogButtonBox::Cancel)->text(), Q("Mégse"));
}

// The import log's save question; false when it is cancelled.
bool ChooseLogFile() {
  SaveFileRequest request;
  request.filter = "Log fájlok (*.log)|*.log|Szöveges fájlok (*.txt)|*.txt";
  request.defaultExt = "log";
  std::string name;
  return ChooseSaveFile(request, name);
}

// The log's save dialog as the backend shows it: every place and column title
// whole in Hungarian, also where an earlier session left the places narrow.
TEST(QtTranslations, TheSaveDialogShowsItsTextsWhole) {
  QtAsItStarts restored;
  ASSERT_TRUE(InstallQtTranslations());
  // What an earlier session leaves in Qt's settings.
  QSettings settings(QSettings::UserScope, QStringLiteral("QtProject"));
  settings.remove(QStringLiteral("FileDialog"));
  settings.setValue(QStringLiteral("FileDialog/viewMode"), QStringLiteral("Detail"));
  settings.setValue(QStringLiteral("FileDialog/shortcuts"),
                    QStringList{QStringLiteral("file:"), QStringLiteral("file:///")});
  settings.setValue(QStringLiteral("FileDialog/sidebarWidth"), 40);
  settings.sync();
  QtUi ui;
  ScopedUiBackend installed(ui);
  WhenModal([](QWidget* w) {
    auto* chooser = qobject_cast<QFileDialog*>(w);
    ASSERT_NE(chooser, nullptr);
    EXPECT_EQ(chooser->windowTitle(), Q("Mentés másként"));
    auto* places = chooser->findChild<QListView*>(QStringLiteral("sidebar"));
    ASSERT_NE(places, nullptr);
    EXPECT_GE(places->viewport()->width(), places->sizeHintForColumn(0));
    auto* files = chooser->findChild<QTreeView*>(QStringLiteral("treeView"));
    ASSERT_NE(files, nullptr);
    const QHeaderView* header = files->header();
    for (int i = 0; i < header->count(); ++i)
      EXPECT_GE(header->sectionSize(i), header->sectionSizeHint(i))
          << header->model()->headerData(i, Qt::Horizontal).toString().toStdString();
    EXPECT_LE(header->length(), files->viewport()->width());
    chooser->reject();
  });
  EXPECT_FALSE(ChooseLogFile());
}

// Qt's own question before a file is replaced, with the save dialog's
// caption, as wide as that caption needs.
TEST(QtTranslations, TheOverwriteQuestionShowsItsCaptionWhole) {
  QtAsItStarts restored;
  ASSERT_TRUE(InstallQtTranslations());
  QTemporaryDir folder;
  QFile existing(folder.filePath(QStringLiteral("import.log")));
  ASSERT_TRUE(existing.open(QIODevice::WriteOnly));
  existing.close();
  QtUi ui;
  ScopedUiBackend installed(ui);
  bool asked = false;
  WhenModal([&](QWidget* w) {
    auto* chooser = qobject_cast<QFileDialog*>(w);
    ASSERT_NE(chooser, nullptr);
    chooser->setDirectory(folder.path());
    chooser->selectFile(existing.fileName());
    WhenModal([&](QWidget* q) {
      auto* question = qobject_cast<QMessageBox*>(q);
      ASSERT_NE(question, nullptr);
      asked = true;
      EXPECT_EQ(question->windowTitle(), Q("Mentés másként"));
      EXPECT_GE(CaptionRoomLeft(question), 0) << question->width() << " wide";
      question->button(QMessageBox::No)->click();
    });
    chooser->findChild<QDialogButtonBox*>(QStringLiteral("buttonBox"))
        ->button(QDialogButtonBox::Save)
        ->click();
    // Not replaced: the dialog waits for another name.
    EXPECT_TRUE(chooser->isVisible());
    chooser->reject();
  });
  EXPECT_FALSE(ChooseLogFile());
  EXPECT_TRUE(asked);
}

// Without the file Qt's texts stay English; the locale, which is Qt's own
// data, is Hungarian all the same.
TEST(QtTranslations, AMissingFileLeavesQtsTextsEnglish) {
  QtAsItStarts restored;
  QTemporaryDir empty;
  EXPECT_FALSE(InstallQtTranslations(empty.path()));
  EXPECT_TRUE(QCoreApplication::instance()->findChildren<QTranslator*>().isEmpty());
  QDialogButtonBox buttons(QDialogButtonBox::Cancel);
  EXPECT_EQ(buttons.button(QDialogButtonBox::Cancel)->text(), QStringLiteral("Cancel"));
  EXPECT_EQ(QLocale().formattedDataSize(41882), QStringLiteral("40,90 KiB"));
}

}  // namespace
