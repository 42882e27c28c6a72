#include "paths/macros.h"

#include <cstring>
#include <utility>

#include "util/text.h"

namespace {

// The custom macro table, made on first use.
std::string& CustomMacros() {
  static std::string table;
  return table;
}
TMacroValueProvider valueProvider;

const int kSecondsPerDay = 86400;
// DaysSince1899(2000, 1, 1).
const int64_t kDaysFrom1899To2000 = 36526;

bool IsAsciiLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

bool SuffixDropped(const std::string& text, size_t macroSize, int at) {
  const size_t after = static_cast<size_t>(at - 1) + macroSize;
  if (after >= text.size()) return true;
  const char c = text[after];
  if (c == ' ') return true;
  return text.front() == text.back() && c == text.front() && c != '<' && !IsAsciiLetter(c);
}

// SubstituteMacro in place; `withSuffix` false stands for an empty suffix.
void Substitute(std::string& text, const std::string& macro, std::string value,
                const std::string& suffix, bool withSuffix) {
  const int at = PosText(macro, text);
  if (at == 0) return;
  if (withSuffix && !SuffixDropped(text, macro.size(), at)) value += suffix;
  text = ReplaceAllText(text, macro, value);
}

// Writes a date pattern: "Y" the year in 4 digits, "y" in 2, "m" month,
// "d" day, "h" hour, "n" minute, "s" second (2 digits each), "M" the month
// name, "/" and ":" the locale's separators; anything else as it is.
std::string FormatDate(const char* pattern, const TDateParts& parts) {
  static const char kNumberLetters[] = "Yymdhns";
  const TLocalTime& t = parts.time;
  const int numbers[] = {t.year, t.year % 100, t.month, t.day, t.hour, t.minute, t.second};
  std::string out;
  for (; *pattern != '\0'; ++pattern) {
    const char* const number = std::strchr(kNumberLetters, *pattern);
    if (number != nullptr) {
      out += ZeroPad(numbers[number - kNumberLetters], number == kNumberLetters ? 4 : 2);
    } else if (*pattern == 'M') {
      out += parts.monthName;
    } else if (*pattern == '/') {
      out += parts.dateSeparator;
    } else if (*pattern == ':') {
      out += parts.timeSeparator;
    } else {
      out += *pattern;
    }
  }
  return out;
}

std::string DaysSince2000(const TLocalTime& t) {
  // The whole days of |days * 86400 + seconds of the day| / 86400, without
  // 64-bit multiplying: the time of day, split into whole days and the
  // seconds left (0..86399), moves the count across 2000-01-01.
  const int dayPart = t.hour * 3600 + t.minute * 60 + t.second;
  int extraDays = dayPart / kSecondsPerDay;
  int secondsLeft = dayPart % kSecondsPerDay;
  if (secondsLeft < 0) {
    secondsLeft += kSecondsPerDay;
    --extraDays;
  }
  const int64_t days = DaysSince1899(t.year, t.month, t.day) - kDaysFrom1899To2000 + extraDays;
  return ZeroPad(days >= 0 ? days : secondsLeft == 0 ? -days : -days - 1, 0);
}

bool HasDottedSegment(const std::string& text) {
  return text.find("\\..") != std::string::npos || text.find("..\\") != std::string::npos;
}

std::string FullPathOrAsIs(const std::string& path, const TFullPathFunction& fullPath) {
  std::string full = fullPath(path);
  return full.empty() ? path : full;
}

// First pass: each "<...>" token replaced by its entry in the custom table.
std::string LookUpCustomMacros(std::string text) {
  size_t scan = 0;
  for (;;) {
    const size_t open = text.find('<', scan);
    if (open == std::string::npos) break;
    const size_t close = text.find('>', open + 1);
    if (close == std::string::npos) break;
    const std::string token = text.substr(open, close - open + 1);
    // The token brings its own brackets; the key must not double them. The
    // token holds no ">" before its last, so only the added one goes.
    std::string key = ReplaceAll(Concat({"<", token, ">"}), "<<", "<");
    key.pop_back();
    const std::string value = GetKeyValue(CustomMacros(), key, token);
    text.replace(open, token.size(), value);
    scan = open + value.size();
  }
  return text;
}

// The provider's value for a text macro: "<EnteredUserName>" asks for
// "UserName", "<ProjectName>" for "ProjectName".
std::string ProvidedValue(const std::string& macro) {
  const size_t from = macro.compare(0, 8, "<Entered") == 0 ? 8 : 1;
  return valueProvider ? valueProvider(macro.substr(from, macro.size() - from - 1)) : std::string();
}

// Null until a provider is set: without one those macros are empty.
// Reached only through this pointer, the lookup costs nothing in a program
// that sets no provider.
std::string (*providedValueOf)(const std::string& macro) = nullptr;

// Null until a custom table is set: with the empty table every token stays
// as it is. Reached only through this pointer, the lookup costs nothing in
// a program that sets no table.
std::string (*customMacroLookup)(std::string text) = nullptr;

// One step of the expansion. The order of the steps decides which macro
// wins where names overlap, and it is the order in which the system values
// are asked for.
enum TStepKind : unsigned char {
  kEndOfSteps,
  kTextValue,        // a system value, no suffix
  kRunTimeFolder,    // a system value asked only when its macro is there
  kSystemFolder,     // a system value
  kInstallFolder,    // the installation folder of index `source`
  kProvidedValue,    // the value provider's, named by the macro, no suffix
  kRemove,           // the macro removed
  kRemoveIfChanged,  // removed when a folder was inserted so far
  kTakeSnapshot,     // notes the text, to tell whether folders were inserted
  kFetchDrive,       // drive 1, 2, 3 in turn taken from the system
  kDrive,            // the first 3 characters of drive `source`, no suffix
  kDisk,             // the first 2
};

struct TMacroStep {
  const char* macro;
  TStepKind kind;
  unsigned char source;
};

constexpr unsigned char Source(TMacroSource source) { return static_cast<unsigned char>(source); }

// Only read while the packed form below is made.
constexpr TMacroStep kSteps[] = {
    // Names and project texts.
    {"<UserName>", kTextValue, Source(TMacroSource::RegisteredOwner)},
    {"<CompanyName>", kTextValue, Source(TMacroSource::RegisteredOrganization)},
    {"<EnteredUserName>", kProvidedValue, 0},
    {"<EnteredCompanyName>", kProvidedValue, 0},
    {"<VendorCompanyName>", kProvidedValue, 0},
    {"<ProjectName>", kProvidedValue, 0},
    {"<ProgramDescriptiveName>", kProvidedValue, 0},
    {"<ProgramVersion>", kProvidedValue, 0},
    {"", kTakeSnapshot, 0},
    // Run-time and long-name folders. Resolving a run-time folder may
    // search the disks or show an error box, so only a macro that is really
    // there is resolved.
    {"<RunTimeDir_1>", kRunTimeFolder, Source(TMacroSource::RunTimeDir1)},
    {"<RunTimeDir_2>", kRunTimeFolder, Source(TMacroSource::RunTimeDir2)},
    {"<RunTimeDir_3>", kRunTimeFolder, Source(TMacroSource::RunTimeDir3)},
    {"<Application Folder>", kInstallFolder, 0},
    {"<Common Folder>", kInstallFolder, 1},
    {"<Auxiliary Folder>", kInstallFolder, 2},
    {"<Windows Directory>", kSystemFolder, Source(TMacroSource::WindowsDir)},
    {"<System Directory>", kSystemFolder, Source(TMacroSource::SystemDir)},
    {"<System16 Directory>", kSystemFolder, Source(TMacroSource::System16Dir)},
    // A long-name folder already names the whole install path; an
    // "<InstallDir>" beside it would repeat it.
    {"<InstallDir>", kRemoveIfChanged, 0},
    {"<AbsoluteDir>", kRemove, 0},
    // The install folders, then the Windows folders.
    {"<InstallDir>", kInstallFolder, 0},
    {"<InstallCommonDir>", kInstallFolder, 1},
    {"<InstallAuxDir>", kInstallFolder, 2},
    {"<AbsoluteDir>", kRemove, 0},
    {"<WinDir>", kSystemFolder, Source(TMacroSource::WindowsDir)},
    {"<WinSysDir>", kSystemFolder, Source(TMacroSource::SystemDir)},
    {"<WinSys32Dir>", kSystemFolder, Source(TMacroSource::SystemDir)},
    {"<WinSys16Dir>", kSystemFolder, Source(TMacroSource::System16Dir)},
    // Drives ("C:\") and disks ("C:"), never with a suffix; drive 0 is the
    // install folder.
    {"", kFetchDrive, Source(TMacroSource::WindowsDir)},
    {"", kFetchDrive, Source(TMacroSource::SystemDir)},
    {"", kFetchDrive, Source(TMacroSource::OriginDir)},
    {"<InstallDrive>", kDrive, 0},
    {"<WinDrive>", kDrive, 1},
    {"<WinSysDrive>", kDrive, 2},
    {"<OriginDrive>", kDrive, 3},
    {"<InstallDisk>", kDisk, 0},
    {"<WinDisk>", kDisk, 1},
    {"<WinSysDisk>", kDisk, 2},
    {"<OriginDisk>", kDisk, 3},
    // Last: the remaining system and user folders.
    {"<ProgramFilesDir>", kSystemFolder, Source(TMacroSource::ProgramFilesDir)},
    {"<CommonFilesDir>", kSystemFolder, Source(TMacroSource::CommonFilesDir)},
    {"<StartMenuDir>", kSystemFolder, Source(TMacroSource::StartMenuDir)},
    {"<FontDir>", kSystemFolder, Source(TMacroSource::FontDir)},
    {"<SrcDir>", kSystemFolder, Source(TMacroSource::ProgramDir)},
    {"<OriginDir>", kSystemFolder, Source(TMacroSource::OriginDir)},
    {"<TempDir>", kSystemFolder, Source(TMacroSource::TempDir)},
    {"<UserDir>", kSystemFolder, Source(TMacroSource::UserDir)},
    {"<UserAppDataDir>", kSystemFolder, Source(TMacroSource::UserAppDataDir)},
    {"<MyDocumentsDir>", kSystemFolder, Source(TMacroSource::MyDocumentsDir)},
    {"<UserStartMenuDir>", kSystemFolder, Source(TMacroSource::UserStartMenuDir)},
    {"<UserDesktopDir>", kSystemFolder, Source(TMacroSource::UserDesktopDir)},
    {"<DocumentsAndSettingsDir>", kSystemFolder, Source(TMacroSource::DocumentsAndSettingsDir)},
    {"<AllUsersDir>", kSystemFolder, Source(TMacroSource::AllUsersDir)},
    {"<AllUsersAppDataDir>", kSystemFolder, Source(TMacroSource::AllUsersAppDataDir)},
    {"<AllUsersDocumentsDir>", kSystemFolder, Source(TMacroSource::AllUsersDocumentsDir)},
    {"<AllUsersStartMenuDir>", kSystemFolder, Source(TMacroSource::AllUsersStartMenuDir)},
    {"<AllUsersDesktopDir>", kSystemFolder, Source(TMacroSource::AllUsersDesktopDir)},
};

constexpr size_t Length(const char* text) { return *text == '\0' ? 0 : 1 + Length(text + 1); }

// The name between the macro's brackets; a step without a macro has none.
constexpr size_t NameLength(const char* macro) { return Length(macro) < 2 ? 0 : Length(macro) - 2; }

constexpr size_t PackedSize() {
  size_t size = 1;
  for (const TMacroStep& step : kSteps) size += 3 + NameLength(step.macro);
  return size;
}

constexpr bool PacksWell() {
  for (const TMacroStep& step : kSteps) {
    const size_t length = Length(step.macro);
    if (length > 255) return false;
    if (length > 0 && (step.macro[0] != '<' || step.macro[length - 1] != '>')) return false;
  }
  return true;
}
static_assert(PacksWell(), "packed macros are bracketed and keep their length in one byte");

// The steps as kind, source, length and name of the macro without its
// brackets, one after the other, ended by kEndOfSteps: half the bytes of a
// table of pointers to the macros.
struct TPackedSteps {
  char bytes[PackedSize()];
};

constexpr TPackedSteps Pack() {
  TPackedSteps packed = {};
  size_t at = 0;
  for (const TMacroStep& step : kSteps) {
    packed.bytes[at++] = static_cast<char>(step.kind);
    packed.bytes[at++] = static_cast<char>(step.source);
    const size_t length = NameLength(step.macro);
    packed.bytes[at++] = static_cast<char>(length);
    for (size_t c = 0; c < length; ++c) packed.bytes[at++] = step.macro[c + 1];
  }
  packed.bytes[at] = static_cast<char>(kEndOfSteps);
  return packed;
}

constexpr TPackedSteps kPackedSteps = Pack();

// Every step on `text`; true when a folder was inserted.
bool RunSteps(std::string& text, const TMacroEnvironment& environment, const TMacroFolders& folders,
              const std::string& suffix) {
  // The install folder steps name them by index, in this order.
  const std::string* const installFolders[] = {&folders.application, &folders.common,
                                               &folders.auxiliary};
  std::string snapshot;
  std::string drives[4];
  int fetched = 1;
  for (const char* at = kPackedSteps.bytes; *at != kEndOfSteps;) {
    const auto kind = static_cast<TStepKind>(at[0]);
    const auto source = static_cast<unsigned char>(at[1]);
    const size_t nameLength = static_cast<unsigned char>(at[2]);
    std::string macro(1, '<');
    macro.append(at + 3, nameLength);
    macro += '>';
    at += 3 + nameLength;
    if (kind == kTakeSnapshot) {
      snapshot = text;
      continue;
    }
    if (kind == kFetchDrive) {
      drives[fetched++] = environment.value(static_cast<TMacroSource>(source));
      continue;
    }
    if (kind == kRunTimeFolder && PosText(macro, text) == 0) continue;
    if (kind == kRemoveIfChanged && text == snapshot) continue;
    std::string value;
    if (kind <= kSystemFolder) {
      value = environment.value(static_cast<TMacroSource>(source));
    } else if (kind == kInstallFolder) {
      value = *installFolders[source];
    } else if (kind == kProvidedValue) {
      if (providedValueOf != nullptr) value = providedValueOf(macro);
    } else if (kind >= kDrive) {
      value.assign(source == 0 ? folders.application : drives[source], 0, kind == kDrive ? 3 : 2);
    }
    Substitute(text, macro, std::move(value), suffix,
               kind >= kRunTimeFolder && kind <= kInstallFolder);
  }
  return text != snapshot;
}

}  // namespace

void SetCustomMacros(const std::string& table) {
  CustomMacros() = table;
  customMacroLookup = LookUpCustomMacros;
}

void SetMacroValueProvider(TMacroValueProvider provider) {
  valueProvider = std::move(provider);
  providedValueOf = ProvidedValue;
}

std::string SubstituteMacro(const std::string& text, const std::string& macro,
                            const std::string& value, const std::string& suffix) {
  std::string result = text;
  Substitute(result, macro, value, suffix, true);
  return result;
}

std::string DateText(char code, const TDateParts& parts) {
  // Codes "1" to "7".
  static const char* const kPatterns[] = {
      "d-m-y", "m-d-y", "y-m-d", "d-m-Y", "m-d-Y", "Y-m-d", "Y-m-d h:n:s",
  };
  if (code == '#') return FormatDate("d/M/Y", parts);
  if (code == '0') return DaysSince2000(parts.time);
  if (code < '1' || code > '7') return std::string();
  return FormatDate(kPatterns[code - '1'], parts);
}

std::string ExpandDateStamp(const std::string& text, const TCallback<TDateParts()>& now) {
  const int at = PosText("<Date=", text);
  if (at == 0 || text.find('>', static_cast<size_t>(at - 1)) == std::string::npos) return text;
  // The stamp is "<Date=", the code and the character after it, whatever
  // that is.
  const size_t index = static_cast<size_t>(at - 1);
  const size_t codeAt = index + 6;
  if (codeAt >= text.size()) return text;
  const char code = text[codeAt];
  if (code != '#' && (code < '0' || code > '7')) return text;
  std::string result(text, 0, index);
  result += DateText(code, now());
  if (codeAt + 2 < text.size()) result.append(text, codeAt + 2, std::string::npos);
  return result;
}

std::string NormaliseDotsWith(const std::string& text, const TFullPathFunction& fullPath) {
  if (!HasDottedSegment(text)) return text;
  const bool listForm = text[0] == ',' || text[0] == '|';
  const int fields = FieldCount(text);
  if (!listForm || fields < 1) return FullPathOrAsIs(text, fullPath);
  // Each field is replaced in place; a full path that brings the delimiter
  // with it is read again as fields, as a rebuilt list would be.
  const char delimiter = text[0];
  std::string list = text;
  size_t start = 0;  // the delimiter in front of field i
  for (int i = 0; i < fields; ++i) {
    const std::string field = list.substr(start + 1, list.find(delimiter, start + 1) - start - 1);
    if (HasDottedSegment(field)) {
      list.replace(start + 1, field.size(), FullPathOrAsIs(field, fullPath));
    }
    start = list.find(delimiter, start + 1);
  }
  return list;
}

std::string ExpandMacrosWith(const TMacroEnvironment& environment, const TMacroFolders& folders,
                             const std::string& text, const std::string& suffix, bool normaliseDots,
                             bool customLookup) {
  std::string result = text;
  if (result.find('<') != std::string::npos) {
    if (customLookup && customMacroLookup != nullptr) result = customMacroLookup(result);
    result = ExpandDateStamp(result, environment.now);
    // A kept suffix in front of a written backslash gives "\\".
    if (RunSteps(result, environment, folders, suffix)) result = CollapseBackslashes(result, false);
  }
  return normaliseDots ? NormaliseDotsWith(result, environment.fullPath) : result;
}
