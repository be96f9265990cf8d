#include "WinUi.h"

#include <gtest/gtest.h>

#include "ScriptedUi.h"

namespace win {
namespace {

TEST(MessageBoxFlags, ButtonsDefaultsAndEscape) {
  struct Case {
    UINT flags;
    std::vector<int> buttons;
    int defaultAnswer;
    int escape;
  } cases[] = {
      {MB_OK | MB_TOPMOST, {IDOK}, IDOK, IDOK},
      {MB_OKCANCEL, {IDOK, IDCANCEL}, IDOK, IDCANCEL},
      {MB_YESNO | MB_DEFBUTTON2, {IDYES, IDNO}, IDNO, 0},
      {MB_YESNOCANCEL | MB_DEFBUTTON3, {IDYES, IDNO, IDCANCEL}, IDCANCEL, IDCANCEL},
      {MB_ABORTRETRYIGNORE | MB_DEFBUTTON2, {IDABORT, IDRETRY, IDIGNORE}, IDRETRY, 0},
      {MB_RETRYCANCEL, {IDRETRY, IDCANCEL}, IDRETRY, IDCANCEL},
      {MB_YESNO | MB_DEFBUTTON3, {IDYES, IDNO}, IDYES, 0},  // no third button: the first
      {0xE, {IDOK}, IDOK, IDOK},                             // unknown kind: OK
  };
  for (const auto& c : cases) {
    EXPECT_EQ(MessageBoxButtons(c.flags), c.buttons) << c.flags;
    EXPECT_EQ(MessageBoxDefaultAnswer(c.flags), c.defaultAnswer) << c.flags;
    EXPECT_EQ(MessageBoxEscapeAnswer(c.flags), c.escape) << c.flags;
  }
  EXPECT_EQ(MessageBoxIconOf(MB_ICONEXCLAMATION | MB_TOPMOST), MessageBoxIcon::Warning);
  EXPECT_EQ(MessageBoxIconOf(MB_ICONERROR), MessageBoxIcon::Error);
  EXPECT_EQ(MessageBoxIconOf(MB_ICONQUESTION | MB_YESNO), MessageBoxIcon::Question);
  EXPECT_EQ(MessageBoxIconOf(MB_ICONINFORMATION), MessageBoxIcon::Information);
  EXPECT_EQ(MessageBoxIconOf(MB_TOPMOST), MessageBoxIcon::None);
  EXPECT_TRUE(MessageBoxOnTop(MB_TOPMOST));
  EXPECT_TRUE(MessageBoxOnTop(MB_SYSTEMMODAL));
  EXPECT_FALSE(MessageBoxOnTop(MB_OK | MB_ICONERROR));
}

TEST(ScriptedUi, AnswersAndRecordsEveryBox) {
  ScriptedUi ui;
  ScopedUiBackend installed(ui);
  ui.QueueMessageBoxAnswer(IDNO);
  EXPECT_EQ(MessageBoxA(nullptr, "Folytatja?", "Figyelem!", MB_YESNO | MB_ICONQUESTION), IDNO);
  EXPECT_EQ(MessageBox("A felhasználó tiltott!", "Bejelentkezés", MB_TOPMOST), IDOK);
  EXPECT_EQ(MessageBoxA(nullptr, nullptr, nullptr, MB_YESNO | MB_DEFBUTTON2), IDNO);
  SetApplicationTitle("Numfix");
  ShowMessage("Az ügyfél nem található.");
  ASSERT_EQ(ui.MessageBoxes().size(), 4u);
  const auto& boxes = ui.MessageBoxes();
  EXPECT_EQ(boxes[0].text, "Folytatja?");
  EXPECT_EQ(boxes[0].answer, IDNO);
  EXPECT_EQ(boxes[1].caption, "Bejelentkezés");
  EXPECT_EQ(boxes[1].flags, MB_TOPMOST);
  EXPECT_EQ(boxes[1].owner, nullptr);
  EXPECT_EQ(boxes[2].text, "");
  EXPECT_EQ(boxes[2].caption, "Hiba");
  EXPECT_EQ(boxes[3].caption, "Numfix");
  EXPECT_EQ(boxes[3].flags, MB_OK);
  SetApplicationTitle("");
}

TEST(ScriptedUi, SaveFileQuestionsAnswerFromTheQueueElseCancel) {
  ScriptedUi ui;
  ScopedUiBackend installed(ui);
  ui.QueueSaveFile("/tmp/import.log");
  ui.QueueSaveFile(std::nullopt);
  SaveFileRequest request{"", "Log fájlok (*.log)|*.log|Szöveges fájlok (*.txt)|*.txt", "log", ""};
  std::string name = "unchanged";
  EXPECT_TRUE(ChooseSaveFile(request, name));
  EXPECT_EQ(name, "/tmp/import.log");
  name = "unchanged";
  EXPECT_FALSE(ChooseSaveFile(request, name));
  EXPECT_FALSE(ChooseSaveFile(request, name));
  EXPECT_EQ(name, "unchanged");
  ASSERT_EQ(ui.SaveFiles().size(), 3u);
  EXPECT_EQ(ui.SaveFiles()[0].request.defaultExt, "log");
  ui.Clear();
  EXPECT_TRUE(ui.SaveFiles().empty());
}

TEST(UiBackend, WithoutOneBoxesAnswerZeroAndScopesRestore) {
  UiBackend* previous = InstallUiBackend(nullptr);
  EXPECT_EQ(MessageBoxA(nullptr, "nobody", "here", MB_OK), 0);
  std::string name;
  EXPECT_FALSE(ChooseSaveFile({}, name));
  {
    ScriptedUi ui;
    ScopedUiBackend installed(ui);
    EXPECT_EQ(CurrentUiBackend(), &ui);
    EXPECT_EQ(MessageBoxA(nullptr, "x", "y", MB_OK), IDOK);
  }
  EXPECT_EQ(CurrentUiBackend(), nullptr);
  InstallUiBackend(previous);
}

}  // namespace
}  // namespace win
