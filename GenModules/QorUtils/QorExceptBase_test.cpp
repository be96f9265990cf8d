#include "QorExceptBase.h"

#include <gtest/gtest.h>

#include <string>

#include "QoMapExcept.h"
#include "QorExceptBaseArg.h"

namespace {

TEST(QorErrPosTest, KeepsFileFunctionAndLine) {
  QorErrPos pos = QOR_ERRPOS("Foo::Bar", 42);
  EXPECT_NE(pos.file.find("QorExceptBase_test.cpp"), std::string::npos);
  EXPECT_EQ(pos.function, "Foo::Bar");
  EXPECT_EQ(pos.line, 42);

  QorErrPos none;
  EXPECT_EQ(none.file, "");
  EXPECT_EQ(none.function, "");
  EXPECT_EQ(none.line, 0);

  QorErrPos nulls(nullptr, nullptr, 7);
  EXPECT_EQ(nulls.file, "");
  EXPECT_EQ(nulls.line, 7);
}

TEST(QorExceptBaseTest, GenericCodeTexts) {
  const struct {
    int code;
    const char* text;
  } cases[] = {
      {0, "Nincs hiba!"},
      {1, "Ismeretlen hiba!"},
      {2, "Nincs elég memória!"},
      {3, "Hibás adatméret!"},
      {4, "Nem megengedett művelet!"},
      {5, "Ez a funkció még nem működőképes!"},
      {6, "Modul betöltése sikertelen!"},
      {7, "Modul leválasztása sikertelen!"},
      {8, "Hiányzó objektum!"},
      {9, "Érvénytelen objektum!"},
      {10, "Az érték túl nagy!"},
      {11, "Az érték túl kicsi!"},
      {12, "Az érték nem megengedett!"},
      {13, "Érvénytelen paraméter"},
      {14, "Nem megengedett konverzió"},
      {15, "Az objektum már létezik!"},
      {16, "Az adat már létezik"},
      {17, "Az adat nem található"},
      {18, "Érvénytelen adat"},
      {250, "Inicializáció megszakadt"},
      {-1, "Ismeretlen hiba!"},
      {-100, "Ismeretlen hiba!"},
      {19, "Ismeretlen hiba!"},
      {249, "Ismeretlen hiba!"},
      {251, "Ismeretlen hiba!"},
      {500, "Ismeretlen hiba!"},
  };
  for (const auto& c : cases) {
    QorExceptBase e(c.code);
    EXPECT_STREQ(e.GetMessage(), c.text) << "code " << c.code;
    EXPECT_STREQ(e.what(), c.text) << "code " << c.code;
    EXPECT_EQ(e.GetCode(), c.code);
    EXPECT_STREQ(e.GetCategory(), "generic");
  }
}

TEST(QorExceptBaseTest, Severity) {
  const struct {
    int code;
    bool severe;
  } cases[] = {
      {-5, true}, {-1, true}, {0, false}, {1, true},  {2, true},   {3, true},   {4, true},
      {5, false}, {7, false}, {8, true},  {9, true},  {10, false}, {18, false}, {249, false},
      {250, true}, {499, true}, {500, true},
  };
  for (const auto& c : cases) {
    QorExceptBase e(c.code);
    EXPECT_EQ(e.IsSevere(), c.severe) << "code " << c.code;
    EXPECT_FALSE(e.IsCritical());
    // With these rules every code is severe or outside the warning range.
    EXPECT_TRUE(e.IsNotWarning()) << "code " << c.code;
  }
}

// The classification calls its neighbours through the virtual table.
class CriticalError : public QorExceptBase {
 public:
  using QorExceptBase::QorExceptBase;
  bool IsCritical() const override { return true; }
};

class MildError : public QorExceptBase {
 public:
  using QorExceptBase::QorExceptBase;
  bool IsSevere() const override { return false; }
};

TEST(QorExceptBaseTest, ClassificationGoesThroughOverrides) {
  EXPECT_TRUE(CriticalError(10).IsSevere());
  EXPECT_FALSE(MildError(300).IsNotWarning());
  EXPECT_TRUE(MildError(249).IsNotWarning());
  EXPECT_TRUE(MildError(500).IsNotWarning());
}

class BlankMessage : public QorExceptBase {
 public:
  BlankMessage(int code, const char* text) : QorExceptBase(code), m_text(text) {}
  const char* GetMessage() const override { return m_text; }

 private:
  const char* m_text;
};

TEST(QorExceptBaseTest, WhatFallsBackToTheCodeTextForNullOrEmpty) {
  EXPECT_STREQ(BlankMessage(10, nullptr).what(), "Az érték túl nagy!");
  EXPECT_STREQ(BlankMessage(10, "").what(), "Az érték túl nagy!");
  EXPECT_STREQ(BlankMessage(10, "saját").what(), "saját");
}

TEST(QorExceptBaseTest, PositionIsKept) {
  QorExceptBase e(4, QorErrPos("a.cpp", "A::B", 12));
  EXPECT_EQ(e.GetPosition().file, "a.cpp");
  EXPECT_EQ(e.GetPosition().function, "A::B");
  EXPECT_EQ(e.GetPosition().line, 12);
}

TEST(QoMapExceptTest, ReadsMissingObject) {
  QoMapExcept e;
  EXPECT_EQ(e.GetCode(), 8);
  EXPECT_STREQ(e.what(), "Hiányzó objektum!");
  EXPECT_TRUE(e.IsSevere());
}

TEST(QorExceptBaseTest, CaughtByReferenceToTheRootKeepsTheDerivedMessage) {
  try {
    throw QorExceptBaseArg(10, QOR_ERRPOS("ToString", 39), StringVector("FractCount") << 20);
  } catch (const QorExceptBase& e) {
    EXPECT_EQ(e.GetCode(), 10);
    EXPECT_STREQ(e.what(), "Az érték túl nagy!\n (FractCount, 20)");
    EXPECT_EQ(e.GetPosition().line, 39);
  }
  try {
    throw QoMapExcept();
  } catch (const std::exception& e) {
    EXPECT_STREQ(e.what(), "Hiányzó objektum!");
  }
}

}  // namespace
