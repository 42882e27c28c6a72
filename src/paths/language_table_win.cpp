#include "paths/language_table.h"

#include <windows.h>

#include "util/lasting.h"

std::string SystemLanguageName() {
  // Taken once: a locale change during the run must not switch the language
  // of a setup half-way.
  static const TLasting<std::string> name(
      LanguageName(static_cast<int32_t>(GetUserDefaultLCID() & 0x3FF)));
  return *name;
}
