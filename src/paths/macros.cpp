#include "paths/macros.h"

#include <cstdlib>
#include <utility>

#include "util/text.h"

namespace {

std::string applicationFolder;
std::string commonFolder;
std::string auxiliaryFolder;
std::string customMacros;
TMacroValueProvider valueProvider;

const int64_t kSecondsPerDay = 86400;

std::string ProvidedValue(const std::string& name) {
  return valueProvider ? valueProvider(name) : std::string();
}

bool IsAsciiLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

bool SuffixDropped(const std::string& text, const std::string& macro, int at) {
  const size_t after = static_cast<size_t>(at - 1) + macro.size();
  if (after >= text.size()) return true;
  const char c = text[after];
  if (c == ' ') return true;
  return text.front() == text.back() && c == text.front() && c != '<' && !IsAsciiLetter(c);
}

// Writes `pattern` with the format letters of the date stamp filled in.
std::string FormatDate(const std::string& pattern, const TDateParts& parts) {
  const TLocalTime& t = parts.time;
  const std::pair<const char*, std::string> letters[] = {
      // Longer letters first, so "yyyy" is not read as two "yy".
      {"yyyy", ZeroPad(t.year, 4)}, {"mmmm", parts.monthName},    {"yy", ZeroPad(t.year % 100, 2)},
      {"mm", ZeroPad(t.month, 2)},  {"dd", ZeroPad(t.day, 2)},    {"hh", ZeroPad(t.hour, 2)},
      {"nn", ZeroPad(t.minute, 2)}, {"ss", ZeroPad(t.second, 2)}, {"/", parts.dateSeparator},
      {":", parts.timeSeparator},
  };
  std::string out;
  size_t at = 0;
  while (at < pattern.size()) {
    bool matched = false;
    for (const auto& letter : letters) {
      const std::string code = letter.first;
      if (pattern.compare(at, code.size(), code) == 0) {
        out += letter.second;
        at += code.size();
        matched = true;
        break;
      }
    }
    if (!matched) out += pattern[at++];
  }
  return out;
}

std::string DaysSince2000(const TLocalTime& t) {
  const int64_t days = DaysSince1899(t.year, t.month, t.day) - DaysSince1899(2000, 1, 1);
  const int64_t seconds = days * kSecondsPerDay + t.hour * 3600 + t.minute * 60 + t.second;
  return std::to_string(std::llabs(seconds) / kSecondsPerDay);
}

bool HasDottedSegment(const std::string& text) {
  return PosText("\\..", text) > 0 || PosText("..\\", text) > 0;
}

std::string FullPathOrAsIs(const std::string& path, const TFullPathFunction& fullPath) {
  const std::string full = fullPath(path);
  return full.empty() ? path : full;
}

// First pass: each "<...>" token replaced by its entry in the custom table.
std::string LookUpCustomMacros(std::string text) {
  int scan = 1;
  for (;;) {
    const int open = PosTextFrom("<", text, scan);
    if (open == 0) break;
    const int close = PosTextFrom(">", text, open + 1);
    if (close == 0) break;
    const std::string token =
        text.substr(static_cast<size_t>(open - 1), static_cast<size_t>(close - open + 1));
    // The token brings its own brackets; the key must not double them.
    const std::string key = ReplaceAll(ReplaceAll("<" + token + ">", "<<", "<"), ">>", ">");
    const std::string value = GetKeyValue(customMacros, key, token);
    text.replace(static_cast<size_t>(open - 1), token.size(), value);
    scan = open + static_cast<int>(value.size());
  }
  return text;
}

struct TFolderMacro {
  const char* macro;
  TMacroSource source;
};

using TValueOf = TCallback<std::string(TMacroSource)>;

// Names and project texts, replaced without a suffix.
std::string TextMacrosReplaced(std::string text, const TValueOf& value) {
  const std::pair<const char*, std::string> textMacros[] = {
      {"<UserName>", value(TMacroSource::RegisteredOwner)},
      {"<CompanyName>", value(TMacroSource::RegisteredOrganization)},
      {"<EnteredUserName>", ProvidedValue("UserName")},
      {"<EnteredCompanyName>", ProvidedValue("CompanyName")},
      {"<VendorCompanyName>", ProvidedValue("VendorCompanyName")},
      {"<ProjectName>", ProvidedValue("ProjectName")},
      {"<ProgramDescriptiveName>", ProvidedValue("ProgramDescriptiveName")},
      {"<ProgramVersion>", ProvidedValue("ProgramVersion")},
  };
  for (const auto& macro : textMacros) text = ReplaceAllText(text, macro.first, macro.second);
  return text;
}

// Run-time and long-name folders.
std::string LongNameFoldersReplaced(std::string text, const TValueOf& value,
                                    const std::string& suffix) {
  // Resolving a run-time folder may search the disks or show an error box,
  // so only a macro that is really there is resolved.
  const TFolderMacro runTimeMacros[] = {
      {"<RunTimeDir_1>", TMacroSource::RunTimeDir1},
      {"<RunTimeDir_2>", TMacroSource::RunTimeDir2},
      {"<RunTimeDir_3>", TMacroSource::RunTimeDir3},
  };
  for (const TFolderMacro& macro : runTimeMacros) {
    if (PosText(macro.macro, text) > 0) {
      text = SubstituteMacro(text, macro.macro, value(macro.source), suffix);
    }
  }
  text = SubstituteMacro(text, "<Application Folder>", applicationFolder, suffix);
  text = SubstituteMacro(text, "<Common Folder>", commonFolder, suffix);
  text = SubstituteMacro(text, "<Auxiliary Folder>", auxiliaryFolder, suffix);
  text = SubstituteMacro(text, "<Windows Directory>", value(TMacroSource::WindowsDir), suffix);
  text = SubstituteMacro(text, "<System Directory>", value(TMacroSource::SystemDir), suffix);
  return SubstituteMacro(text, "<System16 Directory>", value(TMacroSource::System16Dir), suffix);
}

// The install folders, then the Windows folders.
std::string ShortNameFoldersReplaced(std::string text, const TValueOf& value,
                                     const std::string& suffix) {
  text = SubstituteMacro(text, "<InstallDir>", applicationFolder, suffix);
  text = SubstituteMacro(text, "<InstallCommonDir>", commonFolder, suffix);
  text = SubstituteMacro(text, "<InstallAuxDir>", auxiliaryFolder, suffix);
  text = ReplaceAllText(text, "<AbsoluteDir>", "");
  text = SubstituteMacro(text, "<WinDir>", value(TMacroSource::WindowsDir), suffix);
  text = SubstituteMacro(text, "<WinSysDir>", value(TMacroSource::SystemDir), suffix);
  text = SubstituteMacro(text, "<WinSys32Dir>", value(TMacroSource::SystemDir), suffix);
  return SubstituteMacro(text, "<WinSys16Dir>", value(TMacroSource::System16Dir), suffix);
}

// Drives ("C:\") and disks ("C:"), never with a suffix.
std::string DrivesReplaced(std::string text, const TValueOf& value) {
  const std::string windowsDir = value(TMacroSource::WindowsDir);
  const std::string systemDir = value(TMacroSource::SystemDir);
  const std::string originDir = value(TMacroSource::OriginDir);
  const std::pair<const char*, std::string> drives[] = {
      {"<InstallDrive>", applicationFolder.substr(0, 3)}, {"<WinDrive>", windowsDir.substr(0, 3)},
      {"<WinSysDrive>", systemDir.substr(0, 3)},          {"<OriginDrive>", originDir.substr(0, 3)},
      {"<InstallDisk>", applicationFolder.substr(0, 2)},  {"<WinDisk>", windowsDir.substr(0, 2)},
      {"<WinSysDisk>", systemDir.substr(0, 2)},           {"<OriginDisk>", originDir.substr(0, 2)},
  };
  for (const auto& drive : drives) text = SubstituteMacro(text, drive.first, drive.second, "");
  return text;
}

// Last: the remaining system and user folders.
std::string OtherFoldersReplaced(std::string text, const TValueOf& value,
                                 const std::string& suffix) {
  const TFolderMacro otherFolders[] = {
      {"<ProgramFilesDir>", TMacroSource::ProgramFilesDir},
      {"<CommonFilesDir>", TMacroSource::CommonFilesDir},
      {"<StartMenuDir>", TMacroSource::StartMenuDir},
      {"<FontDir>", TMacroSource::FontDir},
      {"<SrcDir>", TMacroSource::ProgramDir},
      {"<OriginDir>", TMacroSource::OriginDir},
      {"<TempDir>", TMacroSource::TempDir},
      {"<UserDir>", TMacroSource::UserDir},
      {"<UserAppDataDir>", TMacroSource::UserAppDataDir},
      {"<MyDocumentsDir>", TMacroSource::MyDocumentsDir},
      {"<UserStartMenuDir>", TMacroSource::UserStartMenuDir},
      {"<UserDesktopDir>", TMacroSource::UserDesktopDir},
      {"<DocumentsAndSettingsDir>", TMacroSource::DocumentsAndSettingsDir},
      {"<AllUsersDir>", TMacroSource::AllUsersDir},
      {"<AllUsersAppDataDir>", TMacroSource::AllUsersAppDataDir},
      {"<AllUsersDocumentsDir>", TMacroSource::AllUsersDocumentsDir},
      {"<AllUsersStartMenuDir>", TMacroSource::AllUsersStartMenuDir},
      {"<AllUsersDesktopDir>", TMacroSource::AllUsersDesktopDir},
  };
  for (const TFolderMacro& macro : otherFolders) {
    text = SubstituteMacro(text, macro.macro, value(macro.source), suffix);
  }
  return text;
}

}  // namespace

void SetInstallFolders(const std::string& application, const std::string& common,
                       const std::string& auxiliary) {
  applicationFolder = application;
  commonFolder = common;
  auxiliaryFolder = auxiliary;
}

void SetCustomMacros(const std::string& table) { customMacros = table; }

void SetMacroValueProvider(TMacroValueProvider provider) { valueProvider = std::move(provider); }

std::string SubstituteMacro(const std::string& text, const std::string& macro,
                            const std::string& value, const std::string& suffix) {
  const int at = PosText(macro, text);
  if (at == 0) return text;
  const std::string kept = SuffixDropped(text, macro, at) ? std::string() : suffix;
  return ReplaceAllText(text, macro, value + kept);
}

std::string DateText(char code, const TDateParts& parts) {
  switch (code) {
    case '#':
      return FormatDate("dd/mmmm/yyyy", parts);
    case '0':
      return DaysSince2000(parts.time);
    case '1':
      return FormatDate("dd-mm-yy", parts);
    case '2':
      return FormatDate("mm-dd-yy", parts);
    case '3':
      return FormatDate("yy-mm-dd", parts);
    case '4':
      return FormatDate("dd-mm-yyyy", parts);
    case '5':
      return FormatDate("mm-dd-yyyy", parts);
    case '6':
      return FormatDate("yyyy-mm-dd", parts);
    case '7':
      return FormatDate("yyyy-mm-dd hh:nn:ss", parts);
    default:
      return "";
  }
}

std::string ExpandDateStamp(const std::string& text, const TCallback<TDateParts()>& now) {
  const int at = PosText("<Date=", text);
  if (at == 0 || PosTextFrom(">", text, at) == 0) return text;
  std::string result = text;
  const size_t index = static_cast<size_t>(at - 1);
  result.erase(index, 6);
  if (index >= result.size()) return text;
  const char code = result[index];
  if (code != '#' && (code < '0' || code > '7')) return text;
  // The character after the code goes with it, whatever it is.
  result.erase(index, 2);
  result.insert(index, DateText(code, now()));
  return result;
}

std::string NormaliseDotsWith(const std::string& text, const TFullPathFunction& fullPath) {
  if (!HasDottedSegment(text)) return text;
  const bool listForm = text[0] == ',' || text[0] == '|';
  const int fields = FieldCount(text);
  if (!listForm || fields < 1) return FullPathOrAsIs(text, fullPath);
  std::string list = text;
  for (int i = 0; i < fields; ++i) {
    const std::string field = GetField(list, i, "");
    if (HasDottedSegment(field)) SetField(list, i, FullPathOrAsIs(field, fullPath));
  }
  return list;
}

std::string ExpandMacrosWith(const TMacroEnvironment& environment, const std::string& text,
                             const std::string& suffix, bool normaliseDots, bool customLookup) {
  std::string result = text;
  if (result.find('<') != std::string::npos) {
    const TValueOf& value = environment.value;
    if (customLookup) result = LookUpCustomMacros(result);
    if (PosText("<Date=", result) > 0) result = ExpandDateStamp(result, environment.now);
    result = TextMacrosReplaced(result, value);
    const std::string snapshot = result;
    result = LongNameFoldersReplaced(result, value, suffix);
    // A long-name folder already names the whole install path; an
    // "<InstallDir>" beside it would repeat it.
    if (result != snapshot) result = ReplaceAllText(result, "<InstallDir>", "");
    result = ReplaceAllText(result, "<AbsoluteDir>", "");
    result = ShortNameFoldersReplaced(result, value, suffix);
    result = DrivesReplaced(result, value);
    result = OtherFoldersReplaced(result, value, suffix);
    // A kept suffix in front of a written backslash gives "\\".
    if (result != snapshot) result = CollapseBackslashes(result, false);
  }
  return normaliseDots ? NormaliseDotsWith(result, environment.fullPath) : result;
}
