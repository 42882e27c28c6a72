#include "package/messages.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>

#include "util/text.h"

namespace {

// Sections as the packager writes them: the outer list is delimited by
// 0x02, each section by its own first character.
std::string LangTexts(std::initializer_list<std::string> sections) {
  std::string list = "\x02";
  for (const std::string& section : sections) list += section + "\x02";
  return list;
}

const std::string kFrench = "|French|s1=Extraction...|s10=Dix|Charset=0|";
const std::string kEnglish = "|English|s1=Unpacking...|s2 = Spaced|Empty=|s3= lead|";
const std::string kHebrew = "|HEBREW|s1=Hebrew text|Charset=177|";

class MessagesTest : public testing::Test {
 protected:
  // The choice is process-wide; every case starts before the first lookup.
  void SetUp() override { ResetChosenLangSection(); }
  void TearDown() override { ResetChosenLangSection(); }
};

TEST_F(MessagesTest, SectionChoiceByLanguage) {
  struct TCase {
    std::string langTexts;
    const char* language;
    std::string expected;
  };
  const TCase cases[] = {
      {LangTexts({kEnglish, kFrench}), "FRENCH", kFrench},   // French system
      {LangTexts({kEnglish, kFrench}), "GERMAN", kEnglish},  // falls back to English
      {LangTexts({kFrench}), "GERMAN", "*"},                 // neither: defaults
      {LangTexts({kFrench, kEnglish}), "", kEnglish},        // unknown locale
      {LangTexts({"|  french |s1=x|"}), "French", "|  french |s1=x|"},
      {LangTexts({"||s1=x|", kEnglish}), "", kEnglish},  // blank name never matches
      {"\x02", "ENGLISH", "*"},
      {"", "ENGLISH", "*"},
  };
  for (const TCase& c : cases) {
    EXPECT_EQ(ChooseLangSection(c.langTexts, c.language), c.expected) << c.language;
  }
}

TEST_F(MessagesTest, FirstLookupDecidesForEveryPackage) {
  const std::string english = LangTexts({kEnglish});
  EXPECT_EQ(LookupLangText(english, "s1", "d"), "Unpacking...");
  EXPECT_EQ(*ChosenLangSection, kEnglish);
  // A later package with other sections still reads the chosen one.
  EXPECT_EQ(LookupLangText(LangTexts({kFrench}), "s1", "d"), "Unpacking...");
  // One blank before "=" is ignored, the one after it belongs to the text.
  EXPECT_EQ(LookupLangText(english, "s2", "d"), " Spaced");
  EXPECT_EQ(LookupLangText(english, "s3", "d"), " lead");  // blank after "=" kept
  EXPECT_EQ(LookupLangText(english, "Empty", "d"), "");    // present but empty
  EXPECT_EQ(LookupLangText(english, "s10", "d"), "d");
}

TEST_F(MessagesTest, PackageWithoutSectionsGivesDefaultsAndIsNotRetried) {
  EXPECT_EQ(LookupLangText("\x02", kIdExtracting, kDefaultExtracting), kDefaultExtracting);
  EXPECT_EQ(*ChosenLangSection, "*");
  EXPECT_EQ(LookupLangText(LangTexts({kEnglish}), "s1", "default"), "default");
}

TEST_F(MessagesTest, IdDoesNotMatchALongerId) {
  EXPECT_EQ(LookupLangText(LangTexts({"|English|s10=Dix|"}), "s1", "d"), "d");
  EXPECT_EQ(LookupLangText("", "s10", "d"), "Dix");
}

TEST_F(MessagesTest, CharsetNumbers) {
  struct TCase {
    const char* text;
    int expected;
  };
  const TCase cases[] = {{"177", 177}, {"178", 178}, {"0", 0},          {"abc", 0},
                         {"", 0},      {"17x", 0},   {"4294967473", 0}, {"-1", -1}};
  for (const TCase& c : cases) EXPECT_EQ(CharsetFromText(c.text), c.expected) << c.text;
}

TEST_F(MessagesTest, DefaultButtonListNamesSevenButtons) {
  EXPECT_EQ(FieldCount(kDefaultButtons), 7);
  EXPECT_EQ(GetField(kDefaultButtons, 0, ""), "&OK");
  EXPECT_EQ(GetField(kDefaultButtons, 6, ""), "&Ignore");
}

}  // namespace
