#include "paths/language_table.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

#include "util/text.h"

namespace {

TEST(LanguageTable, NamesByPrimaryLanguageId) {
  struct TCase {
    int id;
    const char* name;
  };
  const TCase cases[] = {
      {9, "ENGLISH"},    {19, "DUTCH"},      {2, "BULGARIAN"}, {7, "GERMAN"},  {26, "CROATIAN"},
      {54, "AFRIKAANS"}, {42, "VIETNAMESE"}, {1, "ARABIC"},    {12, "FRENCH"}, {13, "HEBREW"},
      {36, "SLOVENIAN"}, {10, "SPANISH"},    {0, ""},          {23, ""},       {1000, ""},
      {-9, ""},          {0x409, ""},  // a whole locale id is not a primary language id
  };
  for (const TCase& c : cases) {
    EXPECT_EQ(LanguageName(c.id), c.name) << c.id;
  }
}

TEST(LanguageTable, FortyThreeEntriesInTheListFormat) {
  const std::string table = kLanguageTable;
  ASSERT_EQ(FieldCount(table), 43);
  std::set<std::string> names;
  int known = 0;
  for (int i = 0; i < FieldCount(table); ++i) {
    const std::string entry = GetField(table, i, "");
    // Name padded to 13 characters, then "= " and the id.
    ASSERT_GT(entry.size(), 15u) << entry;
    EXPECT_EQ(entry.substr(13, 2), "= ") << entry;
    names.insert(Trim(entry.substr(0, 13)));
  }
  EXPECT_EQ(names.size(), 43u);
  for (int id = 0; id < 64; ++id) {
    if (!LanguageName(id).empty()) ++known;
  }
  // CROATIAN and SERBIAN share 26, so 42 ids are known.
  EXPECT_EQ(known, 42);
}

TEST(LanguageTable, EveryEntryIsFoundByItsIdFirstEntryFirst) {
  const std::string table = kLanguageTable;
  std::set<std::string> seenIds;
  for (int i = 0; i < FieldCount(table); ++i) {
    const std::string entry = GetField(table, i, "");
    const std::string id = Trim(entry.substr(15));
    const std::string name = Trim(entry.substr(0, 13));
    if (!seenIds.insert(id).second) {
      EXPECT_NE(LanguageName(StrToIntDef(id, -1)), name) << entry;  // an earlier entry wins
    } else {
      EXPECT_EQ(LanguageName(StrToIntDef(id, -1)), name) << entry;
    }
  }
}

TEST(LanguageTable, SystemLanguageOfTheNativeBuild) { EXPECT_EQ(SystemLanguageName(), "ENGLISH"); }

}  // namespace
