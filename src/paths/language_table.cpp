#include "paths/language_table.h"

const char kLanguageTable[] =
    "|AFRIKAANS    = 54|ALBANIAN     = 28|ARABIC       = 1|BASQUE       = 45"
    "|BELARUSIAN   = 35|BULGARIAN    = 2|CATALAN      = 3|CHINESE      = 4"
    "|CROATIAN     = 26|CZECH        = 5|DANISH       = 6|DUTCH        = 19"
    "|ENGLISH      = 9|ESTONIAN     = 37|FAEROESE     = 56|FARSI        = 41"
    "|FINNISH      = 11|FRENCH       = 12|GERMAN       = 7|GREEK        = 8"
    "|HEBREW       = 13|HUNGARIAN    = 14|ICELANDIC    = 15|INDONESIAN   = 33"
    "|ITALIAN      = 16|JAPANESE     = 17|KOREAN       = 18|LATVIAN      = 38"
    "|LITHUANIAN   = 39|NORWEGIAN    = 20|POLISH       = 21|PORTUGUESE   = 22"
    "|ROMANIAN     = 24|RUSSIAN      = 25|SERBIAN      = 26|SLOVAK       = 27"
    "|SLOVENIAN    = 36|SPANISH      = 10|SWEDISH      = 29|THAI         = 30"
    "|TURKISH      = 31|UKRAINIAN    = 34|VIETNAMESE   = 42|";

std::string LanguageName(int32_t id) {
  // Each entry is "|" + the name padded with blanks + "= " + the id.
  for (const char* entry = kLanguageTable; entry[0] == '|' && entry[1] != '\0';) {
    const char* const name = entry + 1;
    const char* at = name;
    while (*at != '=') ++at;
    int32_t entryId = 0;
    for (++at; *at != '|'; ++at) {
      if (*at != ' ') entryId = entryId * 10 + (*at - '0');
    }
    if (entryId == id) {
      const char* end = name;
      while (*end != ' ') ++end;
      return std::string(name, end);
    }
    entry = at;
  }
  return std::string();
}
