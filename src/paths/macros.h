// Expansion of the folder macros that setup authors write into settings,
// such as "<InstallDir>", "<WinDir>\notepad.exe" or "<Date=6>": a fixed
// sequence of replacements whose order decides which macro wins where names
// overlap. Expansion never fails; a value that cannot be found is the empty
// text. The only side effect is the error box a run-time folder may show.
//
// The sequence itself is portable (ExpandMacrosWith) and takes the system's
// folders, clock and path resolution from a TMacroEnvironment; ExpandMacros
// binds it to the real system.
#pragma once

#include <string>

#include "util/callback.h"
#include "util/seconds.h"

// The folders behind "<Application Folder>"/"<InstallDir>", "<Common
// Folder>"/"<InstallCommonDir>" and "<Auxiliary Folder>"/"<InstallAuxDir>",
// used as given: the installation's, which its caller reads from the
// installation settings. Empty ones expand to the empty text.
struct TMacroFolders {
  std::string application;
  std::string common;
  std::string auxiliary;
};

// ---- Process-wide state ----------------------------------------------------

// The custom macro table: a key=value list whose keys carry their brackets,
// as in "|<Name>=Value|". Empty at start; the launcher fills none.
void SetCustomMacros(const std::string& table);

// Gives the values of the "Entered" and project macros by name ("UserName",
// "CompanyName", "VendorCompanyName", "ProjectName",
// "ProgramDescriptiveName", "ProgramVersion"). Without one (the launcher
// registers none) those macros expand to the empty text.
using TMacroValueProvider = TCallback<std::string(const std::string& name)>;
void SetMacroValueProvider(TMacroValueProvider provider);

// ---- Portable expansion ----------------------------------------------------

// The system values the expansion asks for. Folders come without a
// trailing backslash.
enum class TMacroSource {
  RegisteredOwner,
  RegisteredOrganization,
  RunTimeDir1,
  RunTimeDir2,
  RunTimeDir3,
  WindowsDir,
  SystemDir,
  System16Dir,
  OriginDir,
  ProgramFilesDir,
  CommonFilesDir,
  StartMenuDir,
  FontDir,
  ProgramDir,
  TempDir,
  UserDir,
  UserAppDataDir,
  MyDocumentsDir,
  UserStartMenuDir,
  UserDesktopDir,
  DocumentsAndSettingsDir,
  AllUsersDir,
  AllUsersAppDataDir,
  AllUsersDocumentsDir,
  AllUsersStartMenuDir,
  AllUsersDesktopDir,
};

// The current local time with the user's locale texts for it.
struct TDateParts {
  TLocalTime time;
  std::string monthName;      // full name of time.month
  std::string dateSeparator;  // stands for "/" in the formats
  std::string timeSeparator;  // stands for ":"
};

// Path resolution: the full path of a relative or dotted path, "" when the
// system cannot resolve it.
using TFullPathFunction = TCallback<std::string(const std::string& path)>;

struct TMacroEnvironment {
  TCallback<std::string(TMacroSource source)> value;
  TCallback<TDateParts()> now;
  TFullPathFunction fullPath;
};

// `text` with every occurrence of `macro` (letter case ignored) replaced by
// `value` + `suffix`. The suffix is dropped when the first occurrence ends
// the text, is followed by a blank, or ends a field of a delimited list
// (the character after it equals the text's first and last characters and
// is neither "<" nor a letter). Unchanged when the macro is absent.
std::string SubstituteMacro(const std::string& text, const std::string& macro,
                            const std::string& value, const std::string& suffix);

// The date text of format code "#" or "0".."7" for `parts`; "" for any
// other code. "0" is the number of whole days between 2000-01-01 00:00 and
// the time.
std::string DateText(char code, const TDateParts& parts);

// The first "<Date=" + code + one more character (normally ">") replaced by
// DateText of the code, when a ">" follows "<Date=" and the code is valid;
// otherwise `text` unchanged. `now` is asked only when a stamp is replaced.
std::string ExpandDateStamp(const std::string& text, const TCallback<TDateParts()>& now);

// Resolves "\.." and "..\" segments: a text with neither is returned as it
// is; a delimited list starting with "," or "|" has each such field
// replaced by its full path; any other text is replaced by its full path.
// A path the system cannot resolve is kept as written.
std::string NormaliseDotsWith(const std::string& text, const TFullPathFunction& fullPath);

// The whole expansion against `environment` and the installation's
// `folders`. `suffix` is appended to a
// folder value where SubstituteMacro allows it; `normaliseDots` applies
// NormaliseDotsWith at the end; `customLookup` first replaces each "<...>"
// token found in the custom macro table.
std::string ExpandMacrosWith(const TMacroEnvironment& environment, const TMacroFolders& folders,
                             const std::string& text, const std::string& suffix, bool normaliseDots,
                             bool customLookup);

// ---- Bound to the system (Windows only) -------------------------------------

// ExpandMacrosWith the real folders (paths/folders.h), local time, the
// user's month name and separators and GetFullPathNameA.
std::string ExpandMacros(const TMacroFolders& folders, const std::string& text,
                         const std::string& suffix, bool normaliseDots, bool customLookup);
// NormaliseDotsWith GetFullPathNameA (relative paths against the current
// directory).
std::string NormaliseDots(const std::string& text);
