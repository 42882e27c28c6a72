#include "util/winapi.h"

#include "util/handle.h"
#include "util/lasting.h"
#include "util/seconds.h"
#include "util/text.h"

namespace {

// Folder functions of the system take a fixed buffer and report the length
// they need when it is too small; a longer folder is fetched again in full
// rather than read from an unfilled buffer.
using TFolderQuery = DWORD (*)(char* buffer, DWORD size);

std::string SystemFolder(TFolderQuery query, bool withSlash) {
  DWORD size = 256;
  std::string buffer(size, '\0');
  DWORD length = query(&buffer[0], size);
  if (length >= size) {
    size = length + 1;
    buffer.resize(size);
    length = query(&buffer[0], size);
    if (length >= size) length = 0;
  }
  buffer.resize(length);
  return SetTrailingBackslash(buffer, withSlash);
}

struct TRootName {
  const char* name;
  HKEY key;
};

const TRootName kRootNames[] = {
    {"HKEY_CLASSES_ROOT", HKEY_CLASSES_ROOT},     {"HKEY_CURRENT_USER", HKEY_CURRENT_USER},
    {"HKEY_LOCAL_MACHINE", HKEY_LOCAL_MACHINE},   {"HKEY_USERS", HKEY_USERS},
    {"HKEY_CURRENT_CONFIG", HKEY_CURRENT_CONFIG}, {"HKEY_DYN_DATA", HKEY_DYN_DATA},
};

// A literal as a view, spelled out so that this file needs no out-of-line
// copy of the conversion.
std::string_view View(const char* text) { return std::string_view(text, strlen(text)); }

bool HasFolderPart(const char* name) {
  for (const char* p = name; *p != '\0'; ++p) {
    if (*p == '\\' || *p == '/' || *p == ':') return true;
  }
  return false;
}

// The program's file name as the ANSI function gives it, which is also how
// the ANSI command line spells it: a character outside the code page
// reads "?".
std::string ModuleFileNameA() {
  std::string buffer(MAX_PATH, '\0');
  for (;;) {
    DWORD length = GetModuleFileNameA(nullptr, &buffer[0], static_cast<DWORD>(buffer.size()));
    if (length == 0) return {};
    if (length < buffer.size()) {
      buffer.resize(length);
      return buffer;
    }
    buffer.resize(buffer.size() * 2);
  }
}

bool Opens(const std::string& path) {
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// The short (8.3) form of the existing `wide` path in the ANSI code page
// ("" when there is none), with the long file name `longName` in place of
// the short one where the ANSI functions open that (a spanned package's
// further disks are named after it).
std::string ShortAnsiPath(const wchar_t* wide, const std::string& longName) {
  wchar_t shortWide[MAX_PATH * 2];
  char ansi[MAX_PATH * 2];
  const DWORD length = GetShortPathNameW(wide, shortWide, MAX_PATH * 2);
  if (length == 0 || length >= MAX_PATH * 2 ||
      WideCharToMultiByte(CP_ACP, 0, shortWide, -1, ansi, sizeof ansi, nullptr, nullptr) <= 0) {
    return {};
  }
  const std::string path = ansi;
  const std::string withLongName = ExtractFilePath(path) + longName;
  return Opens(withLongName) ? withLongName : path;
}

// Found once: the program's file does not move while it runs.
TLasting<std::string> ownPath;

// The program's path as the ANSI function gives it, when the ANSI
// functions open that; a character outside the code page reads "?" there,
// so else through the short names of its folders.
const std::string& OwnPath() {
  if (ownPath->empty()) {
    *ownPath = ModuleFileNameA();
    wchar_t wide[MAX_PATH * 2];
    const DWORD length = GetModuleFileNameW(nullptr, wide, MAX_PATH * 2);
    if (!Opens(*ownPath) && length > 0 && length < MAX_PATH * 2) {
      const std::string shortPath = ShortAnsiPath(wide, ExtractFileName(*ownPath));
      if (Opens(shortPath)) *ownPath = shortPath;
    }
  }
  return *ownPath;
}

}  // namespace

std::string ProgramPath() { return OwnPath(); }

bool ProgramPathIsSpellable() { return Opens(OwnPath()); }

std::string CommandTail() { return CommandTailOf(GetCommandLineA(), ModuleFileNameA()); }

bool HasSwitch(std::string_view sw) { return HasSwitchIn(CommandTail(), sw); }

std::string SwitchValue(std::string_view sw) { return SwitchValueIn(CommandTail(), sw); }

std::string SwitchValue(const char* sw) { return SwitchValueIn(CommandTail(), View(sw)); }

int64_t SwitchInt(std::string_view sw, int64_t def) { return SwitchIntIn(CommandTail(), sw, def); }

int64_t SwitchInt(const char* sw, int64_t def) { return SwitchIntIn(CommandTail(), View(sw), def); }

std::string ProgramDir(bool withSlash) {
  return SetTrailingBackslash(ExtractFilePath(ProgramPath()), withSlash);
}

std::string WindowsDir(bool withSlash) {
  return SystemFolder([](char* b, DWORD n) { return DWORD(GetWindowsDirectoryA(b, n)); },
                      withSlash);
}

std::string SystemDir(bool withSlash) {
  return SystemFolder([](char* b, DWORD n) { return DWORD(GetSystemDirectoryA(b, n)); }, withSlash);
}

std::string TempDir(bool withSlash) {
  return SystemFolder([](char* b, DWORD n) { return GetTempPathA(n, b); }, withSlash);
}

TRegPath SplitRegPath(const std::string& path) {
  TRegPath result;
  result.subKey = Trim(path);
  const size_t slash = result.subKey.find('\\');
  if (PosText("HKEY_", result.subKey) != 1 || slash == std::string::npos) return result;
  const std::string rootName = UpperCase(result.subKey.substr(0, slash));
  result.subKey.erase(0, slash + 1);
  for (const auto& root : kRootNames) {
    if (rootName == root.name) result.root = root.key;
  }
  return result;
}

namespace {

// Opens the key of `path` for reading, or with `create` creates it when
// missing and opens it for writing too. False when that fails.
bool OpenRegPath(std::string_view path, bool create, TRegKey& key) {
  const TRegPath reg = SplitRegPath(std::string(path));
  char noClass[] = "";
  const LONG status = create ? RegCreateKeyExA(reg.root, reg.subKey.c_str(), 0, noClass, 0,
                                               KEY_READ | KEY_WRITE, nullptr, key.put(), nullptr)
                             : RegOpenKeyExA(reg.root, reg.subKey.c_str(), 0, KEY_READ, key.put());
  return status == ERROR_SUCCESS;
}

}  // namespace

bool RegWriteValue(std::string_view path, std::string_view nameText, const std::string& data,
                   DWORD type) {
  TRegKey key;
  if (!OpenRegPath(path, true, key)) return false;
  const std::string name(nameText);
  return RegSetValueExA(key.get(), name.c_str(), 0, type,
                        reinterpret_cast<const BYTE*>(data.c_str()),
                        static_cast<DWORD>(data.size() + 1)) == ERROR_SUCCESS;
}

std::string RegReadValue(const char* path, const char* name, const char* def) {
  return RegReadValue(View(path), View(name), View(def));
}

std::string RegReadValue(std::string_view path, std::string_view nameText, std::string_view def) {
  TRegKey key;
  if (!OpenRegPath(path, false, key)) return std::string(def);
  const std::string name(nameText);
  // One spare zero byte so that a text stored without its terminator still
  // ends inside the buffer.
  BYTE buffer[2048 + 1] = {};
  DWORD size = 2048;
  DWORD type = 0;
  if (RegQueryValueExA(key.get(), name.c_str(), nullptr, &type, buffer, &size) != ERROR_SUCCESS) {
    return std::string(def);
  }
  if (type == REG_DWORD && size == 4) {
    DWORD value = 0;
    memcpy(&value, buffer, sizeof value);
    return Decimal(value);
  }
  const char* text = reinterpret_cast<const char*>(buffer);
  return std::string(text, strlen(text));
}

bool IniWrite(const std::string& file, const std::string& section, const std::string& key,
              const std::string& value) {
  return WritePrivateProfileStringA(section.c_str(), key.c_str(), value.c_str(), file.c_str()) !=
         FALSE;
}

bool IniWriteInt(const std::string& file, const std::string& section, const std::string& key,
                 int64_t value) {
  return IniWrite(file, section, key, Decimal(value));
}

std::string IniRead(const std::string& file, const char* section, const char* key,
                    const char* def) {
  std::string buffer(10241, '\0');
  const DWORD length = GetPrivateProfileStringA(section, key, def, &buffer[0],
                                                static_cast<DWORD>(buffer.size()), file.c_str());
  buffer.resize(length);
  return buffer;
}

std::string IniRead(const std::string& file, const std::string& section, const std::string& key,
                    const std::string& def) {
  return IniRead(file, section.c_str(), key.c_str(), def.c_str());
}

int64_t IniReadInt(const std::string& file, const std::string& section, const std::string& key,
                   int64_t def) {
  return StrToInt64Def(IniRead(file, section, key, Decimal(def)), def);
}

bool IsWindowsNT() {
  OSVERSIONINFOA info = {};
  info.dwOSVersionInfoSize = sizeof info;
  return GetVersionExA(&info) && info.dwPlatformId == VER_PLATFORM_WIN32_NT;
}

std::string CurrentVersionKey() {
  const char* key = IsWindowsNT()
                        ? "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion"
                        : "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion";
  return std::string(key, strlen(key));
}

std::string LoginUserName() {
  char buffer[256] = {};
  DWORD size = sizeof buffer;
  if (!GetUserNameA(buffer, &size)) return {};
  return Trim(std::string(buffer, strlen(buffer)));
}

namespace {

// A value of the system's current-version key, trimmed.
std::string CurrentVersionValue(const char* name, std::string_view def) {
  return Trim(RegReadValue(CurrentVersionKey(), View(name), def));
}

}  // namespace

std::string RegisteredOwner() { return CurrentVersionValue("RegisteredOwner", LoginUserName()); }

std::string RegisteredOrganization() { return CurrentVersionValue("RegisteredOrganization", {}); }

std::string WindowText(HWND window) {
  if (window == nullptr) return {};
  char buffer[1001] = {};
  const int length = GetWindowTextA(window, buffer, sizeof buffer);
  return std::string(buffer, length > 0 ? length : 0);
}

std::string SystemErrorText(DWORD code) {
  char buffer[1024] = {};
  DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                                code, 0, buffer, sizeof buffer, nullptr);
  // The system ends its messages with a line end, which would break the
  // line of a message box or a debug line.
  while (length > 0 && static_cast<unsigned char>(buffer[length - 1]) <= 32) --length;
  return std::string(buffer, length);
}

HMODULE LoadSystemLibrary(const char* name) {
  if (name == nullptr || *name == '\0' || HasFolderPart(name)) return nullptr;
  // Where the loader knows the system-folder-only search, let it resolve the
  // library and its dependencies there.
  const HMODULE kernel = GetModuleHandleA("kernel32.dll");
  if (kernel != nullptr && GetProcAddress(kernel, "AddDllDirectory") != nullptr) {
    HMODULE module = LoadLibraryExA(name, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (module != nullptr) return module;
  }
  // Older systems: the full path, with the library's own folder (the system
  // folder) searched first for its dependencies.
  std::string fullPath = SystemDir(true);
  fullPath += name;
  return LoadLibraryExA(fullPath.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

FARPROC GetDllProc(const char* library, const char* function) {
  const HMODULE module = LoadSystemLibrary(library);
  if (reinterpret_cast<UINT_PTR>(module) < 33) return nullptr;
  return GetProcAddress(module, function);
}

int64_t NowSeconds() {
  SYSTEMTIME now = {};
  GetLocalTime(&now);
  return SecondsSince1899(
      {now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond, now.wMilliseconds});
}

void PumpMessage() {
  MSG msg;
  if (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (msg.message == WM_QUIT) {
      // The quit belongs to the main loop; a wait that swallowed it would
      // leave the process running with nothing to end it.
      PostQuitMessage(static_cast<int>(msg.wParam));
    } else {
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
    }
  }
  Sleep(0);
}

void WaitPumping(int32_t milliseconds, int32_t step) {
  // Elapsed time is summed from tick differences, so the wrap of the 32-bit
  // tick count after 49.7 days does not end or stretch a wait.
  DWORD last = GetTickCount();
  int64_t elapsed = 0;
  do {
    PumpMessage();
    Sleep(static_cast<DWORD>(step > 0 ? step : 0));
    const DWORD now = GetTickCount();
    elapsed += static_cast<DWORD>(now - last);
    last = now;
  } while (elapsed <= milliseconds);
}

void Wait(int32_t milliseconds) { WaitPumping(milliseconds, ClampInt(milliseconds / 10, 1, 25)); }
