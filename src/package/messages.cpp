#include "package/messages.h"

#include "package/package_info.h"
#include "paths/language_table.h"
#include "util/text.h"

TLasting<std::string> ChosenLangSection;

namespace {

// The section named `language`, or "*" when there is none.
std::string FindLangSection(const std::string& langTexts, const std::string& language) {
  // A locale without a name in the language table must not pick a section
  // whose name is blank; it falls back to English instead.
  if (Trim(language).empty()) return "*";
  const int count = FieldCount(langTexts);
  for (int i = 0; i < count; ++i) {
    const std::string section = GetField(langTexts, i, std::string());
    if (SameTextTrimmed(GetField(section, 0, std::string()), language)) return section;
  }
  return "*";
}

}  // namespace

void ResetChosenLangSection() { ChosenLangSection->clear(); }

std::string ChooseLangSection(const std::string& langTexts, const std::string& language) {
  const std::string section = FindLangSection(langTexts, language);
  return section != "*" ? section : FindLangSection(langTexts, "English");
}

std::string LookupLangText(const std::string& langTexts, const std::string& id,
                           const std::string& def) {
  // "*" is stored too: a package without a fitting section is not searched
  // again on every lookup.
  if (ChosenLangSection->empty()) {
    *ChosenLangSection = ChooseLangSection(langTexts, SystemLanguageName());
  }
  if (*ChosenLangSection == "*") return def;
  return GetKeyValue(*ChosenLangSection, id, def);
}

int32_t CharsetFromText(const std::string& text) { return StrToIntDef(text, 0); }

std::string TGFileInfo::GetText(const char* id, const char* def) const {
  return LookupLangText(LangTexts(), id, def);
}

int32_t TGFileInfo::GetCharset() const {
  return CharsetFromText(GetText(kIdCharset, kDefaultCharset));
}
