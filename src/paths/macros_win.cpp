#include <windows.h>

#include <vector>

#include "paths/folders.h"
#include "paths/macros.h"
#include "util/winapi.h"

namespace {

std::string LocaleText(LCTYPE type) {
  char buffer[256] = {};
  if (GetLocaleInfoA(LOCALE_USER_DEFAULT, type, buffer, sizeof(buffer)) == 0) return "";
  return buffer;
}

TDateParts LocalDateParts() {
  SYSTEMTIME now = {};
  GetLocalTime(&now);
  TDateParts parts;
  parts.time = {now.wYear,   now.wMonth,  now.wDay,         now.wHour,
                now.wMinute, now.wSecond, now.wMilliseconds};
  parts.monthName = LocaleText(LOCALE_SMONTHNAME1 + now.wMonth - 1);
  parts.dateSeparator = LocaleText(LOCALE_SDATE);
  parts.timeSeparator = LocaleText(LOCALE_STIME);
  return parts;
}

std::string FullPathName(const std::string& path) {
  // The first call tells the room a long result needs.
  char small[MAX_PATH] = {};
  const DWORD needed = GetFullPathNameA(path.c_str(), sizeof(small), small, nullptr);
  if (needed == 0) return "";
  if (needed < sizeof(small)) return small;
  std::vector<char> buffer(needed + 1);
  const DWORD written = GetFullPathNameA(path.c_str(), needed + 1, buffer.data(), nullptr);
  if (written == 0 || written > needed) return "";
  return std::string(buffer.data(), written);
}

std::string SystemValue(TMacroSource source) {
  switch (source) {
    case TMacroSource::RegisteredOwner:
      return RegisteredOwner();
    case TMacroSource::RegisteredOrganization:
      return RegisteredOrganization();
    case TMacroSource::RunTimeDir1:
      return RunTimeDir1();
    case TMacroSource::RunTimeDir2:
      return RunTimeDir2();
    case TMacroSource::RunTimeDir3:
      return RunTimeDir3();
    case TMacroSource::WindowsDir:
      return WindowsDir(false);
    case TMacroSource::SystemDir:
      return SystemDir(false);
    case TMacroSource::System16Dir:
      return System16Dir();
    case TMacroSource::OriginDir:
      return OriginDir();
    case TMacroSource::ProgramFilesDir:
      return ProgramFilesDir();
    case TMacroSource::CommonFilesDir:
      return CommonFilesDir();
    case TMacroSource::StartMenuDir:
      return StartMenuDir();
    case TMacroSource::FontDir:
      return FontDir();
    case TMacroSource::ProgramDir:
      return ProgramDir(false);
    case TMacroSource::TempDir:
      return TempDir(false);
    case TMacroSource::UserDir:
      return UserDir(false);
    case TMacroSource::UserAppDataDir:
      return UserAppDataDir(false);
    case TMacroSource::MyDocumentsDir:
      return MyDocumentsDir(false);
    case TMacroSource::UserStartMenuDir:
      return UserStartMenuDir(false);
    case TMacroSource::UserDesktopDir:
      return UserDesktopDir(false);
    case TMacroSource::DocumentsAndSettingsDir:
      return DocumentsAndSettingsDir(false);
    case TMacroSource::AllUsersDir:
      return AllUsersDir(false);
    case TMacroSource::AllUsersAppDataDir:
      return AllUsersAppDataDir(false);
    case TMacroSource::AllUsersDocumentsDir:
      return AllUsersDocumentsDir(false);
    case TMacroSource::AllUsersStartMenuDir:
      return AllUsersStartMenuDir(false);
    case TMacroSource::AllUsersDesktopDir:
      return AllUsersDesktopDir(false);
  }
  return "";
}

}  // namespace

std::string ExpandMacros(const std::string& text, const std::string& suffix, bool normaliseDots,
                         bool customLookup) {
  static const TMacroEnvironment environment = {SystemValue, LocalDateParts, FullPathName};
  return ExpandMacrosWith(environment, text, suffix, normaliseDots, customLookup);
}

std::string NormaliseDots(const std::string& text) { return NormaliseDotsWith(text, FullPathName); }
