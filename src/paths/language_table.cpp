#include "paths/language_table.h"

#include <cstring>

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

namespace {

// kLanguageTable in the form the lookup reads fastest: the names in table
// order, each ended by a zero, and their ids (tests hold the two equal).
const char kNames[] =
    "AFRIKAANS\0ALBANIAN\0ARABIC\0BASQUE\0BELARUSIAN\0BULGARIAN\0CATALAN\0CHINESE\0CROATIAN\0"
    "CZECH\0DANISH\0DUTCH\0ENGLISH\0ESTONIAN\0FAEROESE\0FARSI\0FINNISH\0FRENCH\0GERMAN\0GREEK\0"
    "HEBREW\0HUNGARIAN\0ICELANDIC\0INDONESIAN\0ITALIAN\0JAPANESE\0KOREAN\0LATVIAN\0LITHUANIAN\0"
    "NORWEGIAN\0POLISH\0PORTUGUESE\0ROMANIAN\0RUSSIAN\0SERBIAN\0SLOVAK\0SLOVENIAN\0SPANISH\0"
    "SWEDISH\0THAI\0TURKISH\0UKRAINIAN\0VIETNAMESE\0";
const unsigned char kIds[] = {
    54, 28, 1,  45, 35, 2,  3,  4,  26, 5,  6,  19, 9,  37, 56, 41, 11, 12, 7,  8,  13, 14,
    15, 33, 16, 17, 18, 38, 39, 20, 21, 22, 24, 25, 26, 27, 36, 10, 29, 30, 31, 34, 42,
};

}  // namespace

std::string LanguageName(int32_t id) {
  const char* name = kNames;
  for (const unsigned char entryId : kIds) {
    if (entryId == id) return name;
    name += std::strlen(name) + 1;
  }
  return std::string();
}
