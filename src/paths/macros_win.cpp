#include "paths/macros.h"

#include <windows.h>

#include "paths/folders.h"
#include "util/winapi.h"

namespace {

std::string LocaleText(LCTYPE type) {
  // The count includes the closing zero; 0 means failure.
  char buffer[256];
  const int length = GetLocaleInfoA(LOCALE_USER_DEFAULT, type, buffer, sizeof(buffer));
  return std::string(buffer, length > 0 ? static_cast<size_t>(length - 1) : 0);
}

TDateParts LocalDateParts() {
  SYSTEMTIME now = {};
  GetLocalTime(&now);
  return {
      {now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond, now.wMilliseconds},
      LocaleText(LOCALE_SMONTHNAME1 + now.wMonth - 1),
      LocaleText(LOCALE_SDATE),
      LocaleText(LOCALE_STIME),
  };
}

std::string FullPathName(const std::string& path) {
  // The first call tells the room a long result needs.
  std::string full(MAX_PATH, '\0');
  DWORD length = GetFullPathNameA(path.c_str(), MAX_PATH, &full[0], nullptr);
  if (length >= MAX_PATH) {
    const DWORD needed = length;
    full.assign(needed, '\0');
    length = GetFullPathNameA(path.c_str(), needed + 1, &full[0], nullptr);
    if (length > needed) length = 0;
  }
  full.resize(length);
  return full;
}

// The folder behind each source from WindowsDir on; TempDir is not one.
const TFolder kFolderOfSource[] = {
    TFolder::Windows,
    TFolder::System,
    TFolder::System16,
    TFolder::Origin,
    TFolder::ProgramFiles,
    TFolder::CommonFiles,
    TFolder::StartMenu,
    TFolder::Font,
    TFolder::Program,
    TFolder::Windows,
    TFolder::User,
    TFolder::UserAppData,
    TFolder::MyDocuments,
    TFolder::UserStartMenu,
    TFolder::UserDesktop,
    TFolder::DocumentsAndSettings,
    TFolder::AllUsers,
    TFolder::AllUsersAppData,
    TFolder::AllUsersDocuments,
    TFolder::AllUsersStartMenu,
    TFolder::AllUsersDesktop,
};
static_assert(sizeof(kFolderOfSource) == static_cast<size_t>(TMacroSource::AllUsersDesktopDir) -
                                             static_cast<size_t>(TMacroSource::WindowsDir) + 1,
              "one folder per source from WindowsDir on");

std::string SystemValue(TMacroSource source) {
  const int index = static_cast<int>(source);
  switch (source) {
    case TMacroSource::RegisteredOwner:
      return RegisteredOwner();
    case TMacroSource::RegisteredOrganization:
      return RegisteredOrganization();
    case TMacroSource::RunTimeDir1:
    case TMacroSource::RunTimeDir2:
    case TMacroSource::RunTimeDir3:
      return CachedRunTimeDir(index - static_cast<int>(TMacroSource::RunTimeDir1) + 1);
    case TMacroSource::TempDir:
      return TempDir(false);
    default:
      return FolderOn(WindowsFolderSystem(),
                      kFolderOfSource[index - static_cast<int>(TMacroSource::WindowsDir)], false);
  }
}

}  // namespace

std::string ExpandMacros(const TMacroFolders& folders, const std::string& text,
                         const std::string& suffix, bool normaliseDots, bool customLookup) {
  static const TMacroEnvironment environment = {SystemValue, LocalDateParts, FullPathName};
  return ExpandMacrosWith(environment, folders, text, suffix, normaliseDots, customLookup);
}

std::string NormaliseDots(const std::string& text) { return NormaliseDotsWith(text, FullPathName); }
