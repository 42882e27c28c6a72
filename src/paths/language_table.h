// Names of the languages in which a package may carry its message texts,
// keyed by the Windows primary language id of the user's locale.
#pragma once

#include <cstdint>
#include <string>

// The whole table as a key=value list: each name in capitals padded to 13
// characters, "= " and the primary language id, in a fixed order.
extern const char kLanguageTable[];

// The name in capitals ("ENGLISH" for 9), or "" when no entry has `id`.
// The first entry with the id wins, so 26 gives CROATIAN, never SERBIAN.
std::string LanguageName(int32_t id);

// LanguageName of the primary language id (low 10 bits of the locale id) of
// the user's default locale, taken once per process. Builds without a
// Windows locale report "ENGLISH".
std::string SystemLanguageName();
