// The extraction driver: one run from temporary folder to started program.
#include <windows.h>

#include "files/file_date.h"
#include "files/file_ops.h"
#include "package/driver.h"
#include "package/extract.h"
#include "package/messages.h"
#include "package/package_info.h"
#include "package/setup_folder.h"
#include "process/process.h"
#include "startup/debug_log.h"
#include "startup/entry.h"
#include "startup/main_window.h"
#include "ui/msgbox.h"
#include "update/update_settings.h"
#include "util/file_io.h"
#include "util/handle.h"
#include "util/text.h"
#include "util/winapi.h"

namespace {

const char kAtomPrefix[] = "AutoUpdateAtomTokenByOrvane";
const char kDialogClassPrefix[] = ".SDialog_Class_Name.";
const char kSpanDiskKey[] = "HKEY_CURRENT_USER\\Software\\Tirabelo\\Orvane\\SpanDisk";

std::string setupFolder;
std::string altTempRoot;
std::string altSetupFolder;

// Low 16 bits of the launcher file's packed DOS date/time: its time of day.
unsigned OwnFileTimeOfDay() {
  const int32_t stamp = FileDosDateTime(ProgramPath());
  return stamp == -1 ? 65535 : static_cast<unsigned>(stamp) & 0xFFFF;
}

bool IsFixedDrive(char letter) {
  const char root[] = {letter, ':', '\\', 0};
  return GetDriveTypeA(root) == DRIVE_FIXED;
}

// "X:\TEMP" on drive `letter`.
std::string DriveTempFolder(char letter) { return std::string(1, letter).append(":\\TEMP"); }

// Free bytes of a test folder on `letter`, 0 when the drive takes no file.
double ProbeDriveFreeSpace(char letter) {
  std::string folder = DriveTempFolder(letter);
  if (DirExists(folder)) folder.append("\\TEMP").append(RandomDecimal(10000, 100000));
  ForceDirectories(folder);
  double freeBytes = 0;
  const std::string probe = folder + "\\~aa.tmp";
  WriteWholeFile(probe, "aa", 0, false);
  if (GetFileAttributesA(probe.c_str()) != INVALID_FILE_ATTRIBUTES) {
    freeBytes = DriveFreeSpace(folder);
  }
  DeleteTree(folder, false);
  return freeBytes;
}

bool StartMainProgram(const std::string& targetFolder, const std::string& mainProgram,
                      const std::string& extraArguments, bool show) {
  const std::string runToken = RunTokenFor(GetCurrentThreadId());
  const std::string command =
      BuildStartCommand(targetFolder, mainProgram, extraArguments, runToken, AutoUpdateFlag);
  const std::string path = MainProgramPath(targetFolder, mainProgram);
  // Read before the installer runs: it may replace the settings file.
  const std::string startUpLink = GetStartUpLink();
  const std::string checkLink = GetCheckforNewUpdateLink();
  const std::string atomName = kAtomPrefix + runToken;
  GlobalAddAtomA(atomName.c_str());
  DebugLine(" WinExec " + command);
  WinExec(command.c_str(), show ? SW_SHOW : SW_HIDE);
  HideMainWindow();
  Wait(1000);
  WaitForProgramExit(path);
  const std::string dialogClass = kDialogClassPrefix + runToken;
  WaitWhileWindow(dialogClass.c_str(), nullptr);
  Wait(1000);
  // The program signals success by removing the run's atom.
  const ATOM atom = GlobalFindAtomA(atomName.c_str());
  if (atom != 0) {
    GlobalDeleteAtom(atom);
    return false;
  }
  if (GetRemoveStartUpShortcut() && FileExists(startUpLink)) DeleteFileA(startUpLink.c_str());
  if (GetRemoveCheckForNewUpdateShortcut() && FileExists(checkLink)) DeleteFileA(checkLink.c_str());
  return true;
}

}  // namespace

std::string GetSetupFolder() {
  if (setupFolder.empty()) setupFolder = ClaimSetupFolder(TempDir(true), OwnFileTimeOfDay());
  return setupFolder;
}

void RemoveSetupFolder() { RemoveClaimedSetupFolder(); }

bool FindAltTempRoot() {
  if (altTempRoot.empty()) {
    double noted[3] = {0, 0, 0};
    const char letters[] = {'C', 'D', 'E'};
    for (int i = 0; i < 3; ++i) {
      if (IsFixedDrive(letters[i])) noted[i] = ProbeDriveFreeSpace(letters[i]);
    }
    // The temporary folder's drive letter (a zero for an empty folder name).
    char fallback = TempDir(true)[0];
    if (fallback >= 'a' && fallback <= 'z') fallback = static_cast<char>(fallback - 'a' + 'A');
    char best = fallback;
    double bestFree = 0;
    for (int i = 0; i < 3; ++i) {
      if (noted[i] > bestFree) {
        best = letters[i];
        bestFree = noted[i];
      }
    }
    if (best != fallback) {
      altTempRoot = DriveTempFolder(best);
      if (DirExists(altTempRoot)) altTempRoot += "\\TEMP";
    }
  }
  return !altTempRoot.empty();
}

std::string GetAltSetupFolder() {
  if (altTempRoot.empty()) return std::string();
  if (altSetupFolder.empty()) {
    altSetupFolder.assign(altTempRoot).append("_").append(RandomDecimal(10000, 100000));
    ForceDirectories(altSetupFolder);
  }
  return altSetupFolder;
}

void RemoveAltSetupFolder() {
  if (altSetupFolder.empty()) return;
  DeleteTree(altSetupFolder, false);
  altSetupFolder.clear();
}

bool ConfirmTempSpace(const std::string& folder, const TGFileInfo& package) {
  const double needed = package.GetSpaceRequired(folder);
  const double freeBytes = DriveFreeSpace(folder);
  const std::string question =
      TempSpaceQuestion(folder, needed, freeBytes, package.AlwaysShowTempNotice(),
                        [&](const char* id, const char* def) { return package.GetText(id, def); });
  if (question.empty()) return true;
  return AskYesNo(nullptr, question, package.GetText(kIdConfirm, kDefaultConfirm),
                  package.GetText(kIdButtons, kDefaultButtons), package.GetCharset());
}

bool ForcePromptSet() { return RegReadValue(kSpanDiskKey, "ForcePrompt", "0") == "1"; }

void SetStatusText(HWND window, const std::string& text, int charset) {
  if (window == nullptr) return;
  const bool rightToLeft = charset == 177 || charset == 178;
  SetWindowLongPtrA(window, GWL_EXSTYLE, rightToLeft ? WS_EX_RTLREADING : 0);
  SetWindowLongPtrA(window, GWL_STYLE,
                    WS_CHILD | WS_VISIBLE | (rightToLeft ? SS_RIGHT : 0));
  SendMessageA(window, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

bool RunPackage(const std::string& targetFolder, const std::string& packagePath,
                const std::string& autoUpdateProgName, const std::string& extraArguments,
                bool show) {
  bool result = false;
  const TGFileInfo package(packagePath);
  const int charset = package.GetCharset();
  SetStatusText(StatusLabel, package.GetText(kIdExtracting, kDefaultExtracting), charset);
  std::string folder = targetFolder;
  // The package's own record answers the room check: the same file, read once.
  const bool room =
      package.GetSpaceRequired(folder) < DriveFreeSpace(folder) && DirExists(folder);
  if (!room && FindAltTempRoot()) folder = GetAltSetupFolder();
  if (!show || ConfirmTempSpace(folder, package)) {
    const TExtractRequest request{packagePath,
                                  folder,
                                  autoUpdateProgName,
                                  MainWindowProgress,
                                  package.GetText(kIdInsertDisk, kDefaultInsertDisk),
                                  package.GetText(kIdAttention, kDefaultAttention),
                                  package.GetText(kIdButtons, kDefaultButtons),
                                  static_cast<uint8_t>(charset),
                                  ForcePromptSet()};
    const std::string& buttons = request.ButtonTexts;
    if (show) ShowMainWindow();
    WaitPumping(1000, 1);
    const int failedBefore = FailedWriteCount();
    const TExtractResult extracted = ExtractPackage(request);
    // A file that could not be written (full disk, locked file, unsafe name)
    // has been reported; the main program would run from an incomplete set.
    const bool wroteAll = FailedWriteCount() == failedBefore;
    Wait(1000);
    const std::string caption = package.GetText(kIdError, kDefaultError);
    if (!extracted.Damage.Message.empty()) {
      ShowErrorBox(nullptr, extracted.Damage.Message, caption, buttons, charset);
    } else if (!extracted.MainProgram.empty() && extracted.ChecksumOk && wroteAll) {
      result = StartMainProgram(folder, extracted.MainProgram, extraArguments, show);
    }
    if (!extracted.ChecksumOk) {
      ShowErrorBox(nullptr, package.GetText(kIdBadCrc, kDefaultBadCrc), caption, buttons, charset);
    }
  }
  RemoveAltSetupFolder();
  DebugLine(result ? " RunPackage result=TRUE" : " RunPackage result=FALSE");
  return result;
}
