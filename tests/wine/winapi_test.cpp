#include "util/winapi.h"

#include <gtest/gtest.h>

#include "files/file_ops.h"
#include "helper_programs.h"
#include "scratch.h"
#include "util/divide.h"
#include "util/text.h"

namespace {

const char kTestKey[] = "HKEY_CURRENT_USER\\Software\\OrvaneTest";

class RegistryTest : public testing::Test {
 protected:
  void TearDown() override {
    for (const char* sub : {"Software\\OrvaneTest\\Winapi", "Software\\OrvaneTest\\Foo",
                            "Software\\OrvaneTest\\Plain", "Software\\OrvaneTest"}) {
      RegDeleteKeyA(HKEY_CURRENT_USER, sub);
    }
  }
};

TEST(SplitRegPath, RootsAndFallbacks) {
  const struct {
    const char* path;
    HKEY root;
    const char* subKey;
  } cases[] = {
      {"HKEY_LOCAL_MACHINE\\SOFTWARE\\X", HKEY_LOCAL_MACHINE, "SOFTWARE\\X"},
      {"hkey_classes_root\\.txt", HKEY_CLASSES_ROOT, ".txt"},
      {"HKEY_USERS\\.DEFAULT", HKEY_USERS, ".DEFAULT"},
      {"HKEY_CURRENT_CONFIG\\System", HKEY_CURRENT_CONFIG, "System"},
      {"HKEY_DYN_DATA\\PerfStats", HKEY_DYN_DATA, "PerfStats"},
      {"  HKEY_CURRENT_USER\\Software\\A B  ", HKEY_CURRENT_USER, "Software\\A B"},
      {"HKEY_FOO\\Software\\X", HKEY_CURRENT_USER, "Software\\X"},
      {"Software\\X", HKEY_CURRENT_USER, "Software\\X"},
      {"HKEY_LOCAL_MACHINE", HKEY_CURRENT_USER, "HKEY_LOCAL_MACHINE"},
  };
  for (const auto& c : cases) {
    const TRegPath split = SplitRegPath(c.path);
    EXPECT_EQ(split.root, c.root) << c.path;
    EXPECT_EQ(split.subKey, c.subKey) << c.path;
  }
}

TEST_F(RegistryTest, TextRoundTripAndDefaults) {
  const std::string key = std::string(kTestKey) + "\\Winapi";
  EXPECT_EQ(RegReadValue(key, "Name", "none"), "none");  // key missing
  ASSERT_TRUE(RegWriteValue(key, "Name", "C:\\Setup"));
  EXPECT_EQ(RegReadValue(key, "Name", "none"), "C:\\Setup");
  EXPECT_EQ(RegReadValue(key, "Other", "none"), "none");  // value missing
  ASSERT_TRUE(RegWriteValue(key, "", "default value"));
  EXPECT_EQ(RegReadValue(key, "", "none"), "default value");
  ASSERT_TRUE(RegWriteValue(key, "Empty", ""));
  EXPECT_EQ(RegReadValue(key, "Empty", "none"), "");
}

TEST_F(RegistryTest, DwordReadsAsUnsignedDecimal) {
  const std::string key = std::string(kTestKey) + "\\Winapi";
  ASSERT_TRUE(RegWriteValue(key, "Seed", ""));
  TRegKey handle;
  ASSERT_EQ(
      RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\OrvaneTest\\Winapi", 0, KEY_WRITE, handle.put()),
      ERROR_SUCCESS);
  const DWORD big = 4000000000u;
  ASSERT_EQ(RegSetValueExA(handle.get(), "Big", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&big),
                           sizeof big),
            ERROR_SUCCESS);
  EXPECT_EQ(RegReadValue(key, "Big", "none"), "4000000000");
}

TEST_F(RegistryTest, OversizedValueGivesDefault) {
  const std::string key = std::string(kTestKey) + "\\Winapi";
  ASSERT_TRUE(RegWriteValue(key, "Fits", std::string(2047, 'f')));
  EXPECT_EQ(RegReadValue(key, "Fits", "none"), std::string(2047, 'f'));
  ASSERT_TRUE(RegWriteValue(key, "Large", std::string(3000, 'x')));
  EXPECT_EQ(RegReadValue(key, "Large", "none"), "none");
}

TEST_F(RegistryTest, UnknownRootAndBarePathUseCurrentUser) {
  ASSERT_TRUE(RegWriteValue("HKEY_FOO\\Software\\OrvaneTest\\Foo", "V", "foo"));
  EXPECT_EQ(RegReadValue(std::string(kTestKey) + "\\Foo", "V", "none"), "foo");
  ASSERT_TRUE(RegWriteValue("Software\\OrvaneTest\\Plain", "V", "plain"));
  EXPECT_EQ(RegReadValue("hkey_current_user\\Software\\OrvaneTest\\Plain", "V", "none"), "plain");
}

TEST(SystemFacts, OwnerAndOrganizationFromCurrentVersionKey) {
  ASSERT_TRUE(IsWindowsNT());  // Wine reports an NT-family system
  EXPECT_EQ(CurrentVersionKey(),
            "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion");
  const std::string key = CurrentVersionKey();
  const std::string savedOwner = RegReadValue(key, "RegisteredOwner", "");
  const std::string savedOrg = RegReadValue(key, "RegisteredOrganization", "");
  if (!RegWriteValue(key, "RegisteredOwner", "  Test Owner \t")) {
    GTEST_SKIP() << "the machine key cannot be written here";
  }
  ASSERT_TRUE(RegWriteValue(key, "RegisteredOrganization", " Orvane Ltd "));
  EXPECT_EQ(RegisteredOwner(), "Test Owner");
  EXPECT_EQ(RegisteredOrganization(), "Orvane Ltd");

  TRegKey handle;
  ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, SplitRegPath(key).subKey.c_str(), 0, KEY_WRITE,
                          handle.put()),
            ERROR_SUCCESS);
  RegDeleteValueA(handle.get(), "RegisteredOwner");
  RegDeleteValueA(handle.get(), "RegisteredOrganization");
  EXPECT_FALSE(LoginUserName().empty());
  EXPECT_EQ(RegisteredOwner(), LoginUserName());
  EXPECT_EQ(RegisteredOrganization(), "");
  RegWriteValue(key, "RegisteredOwner", savedOwner);
  RegWriteValue(key, "RegisteredOrganization", savedOrg);
}

TEST(Ini, WriteAndReadBack) {
  const TScratch scratch;
  const std::string file = scratch.Path("orvane_winapi_test.ini");
  EXPECT_EQ(IniRead(file, "AutoUpdate", "Missing", "dflt"), "dflt");  // no file yet
  ASSERT_TRUE(IniWrite(file, "AutoUpdate", "Name", "Update.exe"));
  ASSERT_TRUE(IniWriteInt(file, "AutoUpdate", "ProbeSecondsLast", 3900000000123LL));
  ASSERT_TRUE(IniWriteInt(file, "AutoUpdate", "ProbeSecondsInterval", -1));
  ASSERT_TRUE(IniWrite(file, "AutoUpdate", "Bad", "abc"));
  ASSERT_TRUE(IniWrite(file, "AutoUpdate", "Long", std::string(5000, 'L')));

  EXPECT_EQ(IniRead(file, "AutoUpdate", "Name", ""), "Update.exe");
  EXPECT_EQ(IniRead(file, "autoupdate", "NAME", ""), "Update.exe");
  EXPECT_EQ(IniRead(file, "AutoUpdate", "Missing", "dflt"), "dflt");
  EXPECT_EQ(IniRead(file, "AutoUpdate", "Long", ""), std::string(5000, 'L'));
  EXPECT_EQ(IniReadInt(file, "AutoUpdate", "ProbeSecondsLast", 0), 3900000000123LL);
  EXPECT_EQ(IniReadInt(file, "AutoUpdate", "ProbeSecondsInterval", 0), -1);
  EXPECT_EQ(IniReadInt(file, "AutoUpdate", "Bad", 7), 7);
  EXPECT_EQ(IniReadInt(file, "AutoUpdate", "Missing", 42), 42);
  EXPECT_EQ(IniReadInt(file, "Nowhere", "Missing", -5), -5);
}

TEST(Folders, SlashFlagAndExistence) {
  const struct {
    const char* name;
    std::string (*folder)(bool);
  } folders[] = {{"ProgramDir", ProgramDir},
                 {"WindowsDir", WindowsDir},
                 {"SystemDir", SystemDir},
                 {"TempDir", TempDir}};
  for (const auto& f : folders) {
    const std::string with = f.folder(true);
    const std::string without = f.folder(false);
    ASSERT_GT(without.size(), 2u) << f.name;
    EXPECT_EQ(with, without + "\\") << f.name;
    EXPECT_NE(without.back(), '\\') << f.name;
    EXPECT_TRUE(DirExists(with)) << f.name << " " << with;
  }
  EXPECT_EQ(ProgramDir(true) + ExtractFileName(ProgramPath()), ProgramPath());
}

TEST(CommandLine, TailLeavesOutProgramPath) {
  const std::string commandLine = GetCommandLineA();
  ASSERT_NE(PosText(ProgramPath(), commandLine), 0) << commandLine;
  EXPECT_EQ(PosText(ProgramPath(), CommandTail()), 0) << CommandTail();
  EXPECT_EQ(PosText(ExtractFileName(ProgramPath()), CommandTail()), 0) << CommandTail();
}

TEST(CommandLine, SwitchesOfAStartedProgram) {
  const TScratch scratch;
  const std::string out = scratch.Path("switch echo.txt");
  const std::string exe = HelperPath("switch_echo.exe");
  THandle process = StartProgram("\"" + exe + "\" /WAIT=5 /OUT=\"" + out + "\" /X= /TEST");
  ASSERT_TRUE(process) << exe;
  ASSERT_TRUE(WaitForEnd(process, 30000));
  EXPECT_EQ(ReadAll(out), "/WAIT=5 /OUT=\"" + out + "\" /X= /TEST\n5\n5\nTRUE\n1\n\n");
}

TEST(LastError, SystemTextWithoutLineEnd) {
  SetLastError(ERROR_FILE_NOT_FOUND);
  const std::string notFound = LastErrorText();
  SetLastError(ERROR_ACCESS_DENIED);
  const std::string denied = LastErrorText();
  for (const std::string& text : {notFound, denied}) {
    ASSERT_FALSE(text.empty());
    EXPECT_GT(static_cast<unsigned char>(text.back()), 32) << text;
  }
  EXPECT_NE(notFound, denied);
}

TEST(Libraries, LoadedFromSystemFolderOnly) {
  const std::string planted = ProgramDir(true) + "SHFolder.dll";
  ASSERT_TRUE(CopyFileA(HelperPath("debug_writer.exe").c_str(), planted.c_str(), FALSE));
  HMODULE module = LoadSystemLibrary("SHFolder.dll");
  ASSERT_NE(module, nullptr);
  char path[MAX_PATH] = {};
  GetModuleFileNameA(module, path, sizeof path);
  EXPECT_EQ(PosText(SystemDir(true), path), 1) << path;
  FreeLibrary(module);
  DeleteFileA(planted.c_str());

  EXPECT_EQ(LoadSystemLibrary("C:\\windows\\system32\\shell32.dll"), nullptr);
  EXPECT_EQ(LoadSystemLibrary("..\\shell32.dll"), nullptr);
  EXPECT_EQ(LoadSystemLibrary(""), nullptr);
}

TEST(Libraries, GetDllProc) {
  EXPECT_EQ(GetDllProc("kernel32.dll", "GetTickCount"),
            GetProcAddress(GetModuleHandleA("kernel32.dll"), "GetTickCount"));
  EXPECT_NE(GetDllProc("shell32.dll", "ShellExecuteA"), nullptr);
  EXPECT_EQ(GetDllProc("shell32.dll", "NoSuchFunction"), nullptr);
  EXPECT_EQ(GetDllProc("NoSuchLibrary.dll", "Anything"), nullptr);
}

// On 32-bit x86 the launcher's 64-bit divisions go through one runtime
// routine of its own choosing: they must agree with the compiler's "/" and
// "%", signs, extremes and all, and so must the number texts built on them.
TEST(Divide, AgreesWithTheCompilersDivision) {
  const int64_t values[] = {0,
                            1,
                            -1,
                            7,
                            -7,
                            999,
                            -999,
                            1000,
                            4294967295LL,
                            4294967296LL,
                            -4294967297LL,
                            1234567890123456789LL,
                            INT64_MAX,
                            INT64_MIN + 1};
  for (int64_t a : values) {
    for (int64_t b : values) {
      if (b == 0) continue;
      EXPECT_EQ(DivideSigned(a, b), a / b) << a << " / " << b;
      const uint64_t ua = static_cast<uint64_t>(a), ub = static_cast<uint64_t>(b);
      const TDivision division = DivideUnsigned(ua, ub);
      EXPECT_EQ(division.Quotient, ua / ub) << ua << " / " << ub;
      EXPECT_EQ(division.Remainder, ua % ub) << ua << " % " << ub;
    }
  }
  EXPECT_EQ(Decimal(INT64_MIN), "-9223372036854775808");
  EXPECT_EQ(ZeroPad(-42, 5), "-0042");
  EXPECT_EQ(FixedDecimal(-1234.5678, 3), "-1234.568");
}

TEST(Clock, NowSecondsFollowsLocalTime) {
  // Same point in time by another road: the local file time counts 100 ns
  // from 1601-01-01, which lies 109205 days before 1899-12-30.
  FILETIME universal;
  FILETIME local;
  GetSystemTimeAsFileTime(&universal);
  ASSERT_TRUE(FileTimeToLocalFileTime(&universal, &local));
  const int64_t ticks = (static_cast<int64_t>(local.dwHighDateTime) << 32) | local.dwLowDateTime;
  const int64_t expected = ticks / 10000000 - 109205LL * 86400;
  EXPECT_NEAR(static_cast<double>(NowSeconds()), static_cast<double>(expected), 2.0);
}

int gPumped = 0;
LRESULT CALLBACK CountingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_USER + 7) {
    ++gPumped;
    return 0;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

TEST(Waits, DurationAndMessagesKeepFlowing) {
  WNDCLASSA windowClass = {};
  windowClass.lpfnWndProc = CountingProc;
  windowClass.hInstance = GetModuleHandleA(nullptr);
  windowClass.lpszClassName = "OrvaneWaitTest";
  ASSERT_NE(RegisterClassA(&windowClass), 0);
  TWindowClass classOwner("OrvaneWaitTest", windowClass.hInstance);
  TWindow window(CreateWindowExA(0, "OrvaneWaitTest", "", WS_OVERLAPPED, 0, 0, 10, 10, nullptr,
                                 nullptr, windowClass.hInstance, nullptr));
  ASSERT_TRUE(window);

  gPumped = 0;
  PostMessageA(window.get(), WM_USER + 7, 0, 0);
  PostMessageA(window.get(), WM_USER + 7, 0, 0);
  const DWORD start = GetTickCount();
  Wait(100);
  const DWORD elapsed = GetTickCount() - start;
  EXPECT_GT(elapsed, 100u);
  EXPECT_LT(elapsed, 1000u);
  EXPECT_EQ(gPumped, 2);

  const DWORD shortStart = GetTickCount();
  Wait(0);  // one round at least, returns promptly
  EXPECT_LT(GetTickCount() - shortStart, 500u);
}

TEST(Waits, QuitSurvivesAPumpedWait) {
  PostQuitMessage(7);
  Wait(30);
  MSG msg;
  ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
  EXPECT_EQ(msg.message, static_cast<UINT>(WM_QUIT));
  EXPECT_EQ(msg.wParam, 7u);
}

TEST(Windows, WindowText) {
  EXPECT_EQ(WindowText(nullptr), "");
  TWindow window(CreateWindowExA(0, "STATIC", "Orvane status line", WS_POPUP, 0, 0, 10, 10, nullptr,
                                 nullptr, GetModuleHandleA(nullptr), nullptr));
  ASSERT_TRUE(window);
  EXPECT_EQ(WindowText(window.get()), "Orvane status line");
  SetWindowTextA(window.get(), std::string(1500, 'w').c_str());
  EXPECT_EQ(WindowText(window.get()), std::string(1000, 'w'));
}

}  // namespace
