// The two programs agree on the stored contact: Numfix's templates (the
// demo's "SMS_tel_sablon.ini") classify what the import wrote.
#include <QComboBox>

#include "Cp1250Codec.h"
#include "ImportTest_testutil.h"
#include "IniReader.h"
#include "NumberTemplates.h"

namespace {

TEST_F(ImportTest, NumfixClassifiesTheImportedContactsOfItsType) {
  LoadSmallSource();
  Connect();
  // Numfix works on the contacts of type 6.
  form->ComboBox3->setCurrentIndex(
      form->ComboBox3->findText(Cp1250Codec::ToQString("SMS telefonszám")));
  RunImport();

  IniReader ini(std::string(KELVIMPORT_DEMO_DIR) + "/SMS_tel_sablon.ini");
  NumberTemplates templates;
  templates.Load(ini);
  struct Expected {
    const char* stored;
    bool listed;  // listed for repair
    const char* suggestion;
  };
  const Expected expected[] = {
      // A country code without its plus sign: the shape Numfix repairs.
      {"(36)20/123-45-67:", true, "(+36)20/123-45-67:"},
      {"(+36)30/987-65-43:12", false, NumfixText::kValidSuggestion},
      {"(+36)1/234-56-78:", false, NumfixText::kValidSuggestion},
  };
  const auto contacts = Dest("ALAP", "ELERHETOSEG");
  ASSERT_EQ(contacts.size(), std::size(expected));
  for (size_t i = 0; i < contacts.size(); ++i) {
    const auto& c = contacts[i];
    EXPECT_EQ(c[3], "6");
    EXPECT_EQ(c[4], expected[i].stored);
    std::string caption, description, suggestion;
    EXPECT_EQ(templates.ClassifyNumber(NumberTemplates::StripBlanks(c[4]), caption, description,
                                       suggestion),
              expected[i].listed)
        << c[4];
    EXPECT_EQ(suggestion, expected[i].suggestion) << c[4];
  }
}

}  // namespace
