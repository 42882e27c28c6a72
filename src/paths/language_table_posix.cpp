#include "paths/language_table.h"

// The packager and the unit tests have no Windows locale; they read texts as
// an English system would.
std::string SystemLanguageName() { return "ENGLISH"; }
