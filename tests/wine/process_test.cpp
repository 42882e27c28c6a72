// Finding, waiting for, closing and ending running programs, with
// fake_app.exe copied under a name of each test's own so that searches by
// name see no other test's processes.
#include "process/process.h"

#include <windows.h>
#include <gtest/gtest.h>
// The snapshot types need the base types of windows.h first.
#include <tlhelp32.h>

#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "helper_programs.h"
#include "scratch.h"
#include "util/handle.h"
#include "util/text.h"
#include "util/winapi.h"

namespace {

constexpr DWORD kStartLimitMs = 20000;
constexpr DWORD kExitLimitMs = 20000;
// Exit codes of fake_app.exe.
constexpr DWORD kClosedWith15And255 = 0x10FFF;
constexpr DWORD kQuitWith15And255 = 0x20FFF;
constexpr DWORD kLifeElapsed = 99;

// The folder of every copy of fake_app.exe, for the whole program.
const TScratch& Scratch() {
  static const TScratch scratch("orvane_process_test");
  return scratch;
}

std::string ReadSmallFile(const std::string& path) {
  TFileHandle file(CreateFileA(path.c_str(), GENERIC_READ,
                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                               OPEN_EXISTING, 0, nullptr));
  if (!file) return "";
  char buffer[256];
  DWORD read = 0;
  if (!ReadFile(file.get(), buffer, sizeof(buffer), &read, nullptr)) return "";
  return std::string(buffer, read);
}

// A copy of fake_app.exe, started and waited for until its window exists;
// terminated at the end of the test if still running.
class TFakeApp {
 public:
  TFakeApp(const std::string& exePath, const std::string& arguments) : path_(exePath) {
    const std::string ready = exePath + "." + std::to_string(counter_++) + ".ready";
    DeleteFileA(ready.c_str());
    process_ =
        StartProgram("\"" + exePath + "\" " + arguments + " --ready \"" + ready + "\"", &pid_);
    if (!process_) return;
    const DWORD start = GetTickCount();
    while (GetTickCount() - start < kStartLimitMs) {
      const std::string text = ReadSmallFile(ready);
      if (!text.empty()) {
        window_ = reinterpret_cast<HWND>(
            static_cast<ULONG_PTR>(StrToInt64Def(Trim(text.substr(text.find(' '))), 0)));
        break;
      }
      if (WaitForSingleObject(process_.get(), 50) == WAIT_OBJECT_0) break;
    }
    DeleteFileA(ready.c_str());
  }
  ~TFakeApp() {
    if (process_ && WaitForSingleObject(process_.get(), 0) == WAIT_TIMEOUT) {
      TerminateProcess(process_.get(), 1);
      WaitForSingleObject(process_.get(), kExitLimitMs);
    }
  }
  TFakeApp(const TFakeApp&) = delete;
  TFakeApp& operator=(const TFakeApp&) = delete;

  bool Ready() const { return window_ != nullptr; }
  DWORD Pid() const { return pid_; }
  HWND Window() const { return window_; }
  const std::string& Path() const { return path_; }
  bool Running() const { return WaitForSingleObject(process_.get(), 0) == WAIT_TIMEOUT; }
  // The exit code once it has ended within `limit`, else STILL_ACTIVE.
  DWORD ExitCodeWithin(DWORD limit) const {
    WaitForSingleObject(process_.get(), limit);
    DWORD code = STILL_ACTIVE;
    GetExitCodeProcess(process_.get(), &code);
    return code;
  }

 private:
  static int counter_;
  std::string path_;
  THandle process_;
  DWORD pid_ = 0;
  HWND window_ = nullptr;
};

int TFakeApp::counter_ = 0;

// fake_app.exe copied to `folder` (under the scratch folder) as `name`.
std::string CopyFakeApp(const std::string& folder, const std::string& name) {
  const std::string dir = Scratch().Path(folder);
  CreateDirectoryA(dir.c_str(), nullptr);
  const std::string path = dir + "\\" + name;
  EXPECT_TRUE(CopyFileA(HelperPath("fake_app.exe").c_str(), path.c_str(), FALSE)) << path;
  return path;
}

// Runs the test body once through the process-status library and once
// through the tool-help snapshot.
class ProcessSearchTest : public testing::TestWithParam<bool> {
 protected:
  void SetUp() override { ForceToolHelpForTests(GetParam()); }
  void TearDown() override { ForceToolHelpForTests(false); }
  bool ToolHelp() const { return GetParam(); }
};

INSTANTIATE_TEST_SUITE_P(Both, ProcessSearchTest, testing::Values(false, true),
                         [](const testing::TestParamInfo<bool>& info) {
                           return info.param ? std::string("ToolHelp")
                                             : std::string("ProcessStatus");
                         });

TEST_P(ProcessSearchTest, FindsByPathNameAndCase) {
  const std::string path = CopyFakeApp("find", "find_target.exe");
  TFakeApp app(path, "--exit-after 30000");
  ASSERT_TRUE(app.Ready());

  struct Case {
    std::string target;
    bool byPathOnly;
    bool found;
  };
  std::vector<Case> cases = {
      {"find_target.exe", false, true},
      {"  FIND_TARGET.EXE ", false, true},
      // The snapshot of the NT family (and Wine's) lists bare file names as
      // the executable path, so there a bare name matches even by path only.
      {"find_target.exe", true, ToolHelp()},
      {"C:\\nowhere\\find_target.exe", true, false},
      {"", false, false},
      {"   ", false, false},
      {"other_name.exe", false, false},
      {"C:\\nowhere\\other_name.exe", false, false},
      {"C:\\nowhere\\find_target.exe", false, false},
  };
  // For the same reason the path forms find it only through the
  // process-status library.
  const bool pathsListed = !ToolHelp();
  cases.push_back({path, false, pathsListed});
  cases.push_back({path, true, pathsListed});
  cases.push_back({UpperCase(path), true, pathsListed});
  cases.push_back({" " + path + " ", true, pathsListed});
  for (const Case& c : cases) {
    SCOPED_TRACE("target <" + c.target + "> by path only " + (c.byPathOnly ? "yes" : "no"));
    EXPECT_EQ(c.found ? app.Pid() : 0u, FindProcess(c.target, c.byPathOnly));
  }
}

TEST_P(ProcessSearchTest, FindsByShortPath) {
  const std::string path = CopyFakeApp("Folder With A Long Name", "short_path_target_program.exe");
  char buffer[MAX_PATH];
  const DWORD length = GetShortPathNameA(path.c_str(), buffer, sizeof(buffer));
  const std::string shortPath(buffer, length);
  ASSERT_FALSE(shortPath.empty());
  if (SameTextTrimmed(shortPath, path)) GTEST_SKIP() << "no short names on this file system";
  TFakeApp app(path, "--exit-after 30000");
  ASSERT_TRUE(app.Ready());
  EXPECT_EQ(ToolHelp() ? 0u : app.Pid(), FindProcess(shortPath, true)) << shortPath;
}

TEST_P(ProcessSearchTest, TwoInstancesGiveTheOneListedLast) {
  const std::string path = CopyFakeApp("twice", "twice_target.exe");
  TFakeApp first(path, "--exit-after 30000");
  TFakeApp second(path, "--exit-after 30000");
  ASSERT_TRUE(first.Ready());
  ASSERT_TRUE(second.Ready());

  // The order in which the system lists the two.
  std::vector<DWORD> order;
  if (ToolHelp()) {
    TFileHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    ASSERT_TRUE(snapshot);
    PROCESSENTRY32 entry{};
    entry.dwSize = sizeof(entry);
    for (BOOL more = Process32First(snapshot.get(), &entry); more;
         more = Process32Next(snapshot.get(), &entry)) {
      if (entry.th32ProcessID == first.Pid() || entry.th32ProcessID == second.Pid()) {
        order.push_back(entry.th32ProcessID);
      }
    }
  } else {
    using EnumProcessesProc = BOOL(WINAPI*)(DWORD*, DWORD, DWORD*);
    auto enumProcesses = reinterpret_cast<EnumProcessesProc>(
        reinterpret_cast<void*>(GetDllProc("PSAPI.dll", "EnumProcesses")));
    ASSERT_NE(nullptr, enumProcesses);
    DWORD ids[4096];
    DWORD bytes = 0;
    ASSERT_TRUE(enumProcesses(ids, sizeof(ids), &bytes));
    for (DWORD i = 0; i < bytes / sizeof(DWORD); ++i) {
      if (ids[i] == first.Pid() || ids[i] == second.Pid()) order.push_back(ids[i]);
    }
  }
  ASSERT_EQ(2u, order.size());
  std::cout << "listed order: "
            << (order[0] == first.Pid() ? "first started first" : "second started first")
            << std::endl;
  EXPECT_EQ(order[1], FindProcess("twice_target.exe", false));
  if (!ToolHelp()) EXPECT_EQ(order[1], FindProcess(path, true));
}

TEST_P(ProcessSearchTest, CloseProgramEndsTheAppAndTheWaitReturns) {
  const std::string path = CopyFakeApp("close", "close_target.exe");
  TFakeApp app(path, "--exit-after 20000 --owned 1");
  ASSERT_TRUE(app.Ready());
  // By path only works through the snapshot only by file name: use the name there.
  const std::string target = ToolHelp() ? "close_target.exe" : path;
  EXPECT_TRUE(IsProgramRunning("\"" + target + "\""));
  ASSERT_TRUE(CloseProgram(target, !ToolHelp()));
  WaitForProgramExit(target);
  EXPECT_FALSE(app.Running());
  EXPECT_EQ(kClosedWith15And255, app.ExitCodeWithin(0));
  EXPECT_FALSE(IsProgramRunning(target));
}

TEST(ProcessTest, MainWindowIsTheTitledVisibleOwnerOfTwoDialogs) {
  const std::string path = CopyFakeApp("main", "main_target.exe");
  TFakeApp app(path, "--exit-after 30000 --owned 2");
  ASSERT_TRUE(app.Ready());
  // The two dialogs exist and belong to the same process.
  int owned = 0;
  for (HWND w = GetTopWindow(nullptr); w != nullptr; w = GetWindow(w, GW_HWNDNEXT)) {
    if (GetWindow(w, GW_OWNER) == app.Window()) ++owned;
  }
  EXPECT_EQ(2, owned);
  EXPECT_EQ(app.Window(), FindMainWindow(path, true));
  EXPECT_EQ(app.Window(), FindMainWindow("main_target.exe", false));
  EXPECT_EQ(nullptr, FindMainWindow("main_target.exe", true));
}

TEST(ProcessTest, HiddenUntitledWindowIsNoMainWindow) {
  // Without --no-ime the system's hidden "Default IME" window of the
  // process, which has a title, would score 2 and be taken.
  const std::string path = CopyFakeApp("hidden", "hidden_target.exe");
  TFakeApp app(path, "--exit-after 30000 --hidden --untitled --no-ime");
  ASSERT_TRUE(app.Ready());
  EXPECT_EQ(nullptr, FindMainWindow(path, true));
  EXPECT_FALSE(CloseProgram(path, true));
  EXPECT_FALSE(QuitProgram(path, true));
  EXPECT_TRUE(app.Running());
  EXPECT_TRUE(TerminateProgram(path, true));
  EXPECT_EQ(0u, app.ExitCodeWithin(kExitLimitMs));
}

TEST(ProcessTest, IgnoredCloseThenTerminate) {
  const std::string path = CopyFakeApp("stubborn", "stubborn_target.exe");
  TFakeApp app(path, "--exit-after 30000 --ignore-close");
  ASSERT_TRUE(app.Ready());
  ASSERT_TRUE(CloseProgram(path, true));
  EXPECT_EQ(STILL_ACTIVE, app.ExitCodeWithin(1500));
  EXPECT_TRUE(TerminateProgram(path, true));
  EXPECT_EQ(0u, app.ExitCodeWithin(kExitLimitMs));
  EXPECT_FALSE(TerminateProgram(path, true));
}

TEST(ProcessTest, QuitProgramPostsQuitWith15And255) {
  const std::string path = CopyFakeApp("quit", "quit_target.exe");
  TFakeApp app(path, "--exit-after 30000");
  ASSERT_TRUE(app.Ready());
  ASSERT_TRUE(QuitProgram(path, true));
  EXPECT_EQ(kQuitWith15And255, app.ExitCodeWithin(kExitLimitMs));
}

TEST(ProcessTest, NothingFoundMeansNoPostNoTermination) {
  const std::string path = Scratch().Path("absent\\absent_target.exe");
  EXPECT_FALSE(IsProgramRunning(path));
  EXPECT_EQ(nullptr, FindMainWindow(path, false));
  EXPECT_FALSE(CloseProgram(path, false));
  EXPECT_FALSE(TerminateProgram(path, false));
  const DWORD start = GetTickCount();
  WaitForProgramExit(path);
  EXPECT_GE(GetTickCount() - start, 900u);
}

TEST(ProcessTest, WaitForProgramExitLastsUntilTheProgramEnds) {
  const std::string path = CopyFakeApp("waitexit", "wait_exit_target.exe");
  TFakeApp app(path, "--exit-after 2500");
  ASSERT_TRUE(app.Ready());
  WaitForProgramExit("\"" + path);
  EXPECT_FALSE(app.Running());
  EXPECT_EQ(kLifeElapsed, app.ExitCodeWithin(0));
}

TEST(ProcessTest, WaitWhileWindowReturnsWhenTheClassIsGone) {
  const std::string path = CopyFakeApp("window", "window_target.exe");
  TFakeApp app(path, "--exit-after 1500 --class OrvaneWaitWindowTest --title \"Wait Here\"");
  ASSERT_TRUE(app.Ready());
  ASSERT_NE(nullptr, FindWindowA("OrvaneWaitWindowTest", nullptr));
  WaitWhileWindow("OrvaneWaitWindowTest", nullptr);
  EXPECT_EQ(nullptr, FindWindowA("OrvaneWaitWindowTest", nullptr));
  EXPECT_EQ(kLifeElapsed, app.ExitCodeWithin(kExitLimitMs));
  // Neither a missing class nor a missing title waits.
  WaitWhileWindow("OrvaneNoSuchWindowClass", nullptr);
  WaitWhileWindow(nullptr, "Orvane no such title");
}

TEST(ProcessTest, WaitWhileWindowMatchesClassAndTitleTogether) {
  const std::string path = CopyFakeApp("window2", "window2_target.exe");
  TFakeApp app(path, "--exit-after 30000 --class OrvaneWaitWindowTest2 --title \"Wait Here\"");
  ASSERT_TRUE(app.Ready());
  // Same class, other title: no such window, no wait.
  WaitWhileWindow("OrvaneWaitWindowTest2", "Another Title");
  EXPECT_TRUE(app.Running());
}

}  // namespace
