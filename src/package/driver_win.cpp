// The extraction driver: one run from temporary folder to started program.
#include "package/driver.h"

#include <windows.h>

#include "files/file_ops.h"
#include "package/extract.h"
#include "package/messages.h"
#include "package/package_info.h"
#include "package/setup_folder.h"
#include "process/process.h"
#include "process/setup_job.h"
#include "ui/msgbox.h"
#include "util/debug_log.h"
#include "util/file_io.h"
#include "util/handle.h"
#include "util/lasting.h"
#include "util/text.h"
#include "util/winapi.h"

namespace {

const char kAtomPrefix[] = "AutoUpdateAtomTokenByOrvane";
const char kDialogClassPrefix[] = ".SDialog_Class_Name.";
const char kSpanDiskKey[] = "HKEY_CURRENT_USER\\Software\\Tirabelo\\Orvane\\SpanDisk";

TLasting<std::string> altTempRoot;
TLasting<std::string> altSetupFolder;

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

// True when a global atom of that name was still there (and is gone now).
bool DeleteAtomNamed(const std::string& name) {
  const ATOM atom = GlobalFindAtomA(name.c_str());
  if (atom == 0) return false;
  GlobalDeleteAtom(atom);
  return true;
}

void ShowPackageError(const TGFileInfo& package, const std::string& text) {
  ShowErrorBox(nullptr, text, package.GetText(kIdError, kDefaultError),
               package.GetText(kIdButtons, kDefaultButtons), package.GetCharset());
}

// The hand-shake's end: the program's dialog gone, then success read from
// the run's atom, which the program removes when it succeeded.
bool HandShakeSucceeded(const TStartCommand& start, const std::string& runToken,
                        const std::string& atomName) {
  WaitForProgramExit(start.ProgramPath);
  const std::string dialogClass = kDialogClassPrefix + runToken;
  WaitWhileWindow(dialogClass.c_str(), nullptr);
  Wait(1000);
  return !DeleteAtomNamed(atomName);
}

bool ExitCodeSucceeded(const TGFileInfo& package, uint32_t code) {
  if (AsksForRestart(code)) {
    DebugLineNumber(" Restart asked for, not made: exit code ", code);
  }
  if (IsSuccessExitCode(code)) return true;
  ShowPackageError(package, ReplaceAll(package.GetText(kIdSetupFailed, kDefaultSetupFailed),
                                       "<CODE>", Decimal(code)));
  return false;
}

TRunResult StartMainProgram(const TGFileInfo& package, const std::string& folder,
                            const std::string& mainProgram, const TRunRequest& request) {
  const TStartInput in{folder,
                       mainProgram,
                       request.Arguments,
                       request.HandShakeArguments,
                       RunTokenFor(GetCurrentThreadId()),
                       SystemDir(false),
                       package.SuccessByExitCode(),
                       request.AutoUpdateProg};
  const TStartCommand start = BuildStartCommand(in);
  TRunResult result;
  result.SuccessBy = start.SuccessBy;
  const bool handShake = start.SuccessBy == TSuccessBy::HandShake;
  const std::string atomName = kAtomPrefix + in.RunToken;
  if (handShake) GlobalAddAtomA(atomName.c_str());
  DebugLinePair(" Start ", start.CommandLine);
  TSetupJob job;
  const TWinResult started = job.Start(start.Application, start.CommandLine, request.Show);
  if (!started.Ok) {
    result.Status = TRunStatus::StartFailed;
    result.Error = started.Error;
    const std::string reason = SystemErrorText(started.Error);
    if (handShake) DeleteAtomNamed(atomName);
    DebugLineParts({" Start failed: error ", Decimal(result.Error), " ", reason});
    ShowPackageError(
        package, Concat({start.Application, "<P><P>",
                         package.GetText(kIdStartFailed, kDefaultStartFailed), "<P><P>", reason}));
    return result;
  }
  if (job.WaitsForProgramAlone()) DebugLine(" No job: waiting for the setup program alone");
  request.View->Hide();
  if (handShake) Wait(1000);
  job.WaitForSetupProcesses(folder);
  result.ExitCode = job.ExitCode();
  DebugLineNumber(" Setup exit code=", result.ExitCode);
  const bool succeeded = handShake ? HandShakeSucceeded(start, in.RunToken, atomName)
                                   : ExitCodeSucceeded(package, result.ExitCode);
  result.Status = succeeded ? TRunStatus::Succeeded : TRunStatus::SetupFailed;
  return result;
}

}  // namespace

bool FindAltTempRoot() {
  if (altTempRoot->empty()) {
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
      *altTempRoot = DriveTempFolder(best);
      if (DirExists(*altTempRoot)) *altTempRoot += "\\TEMP";
    }
  }
  return !altTempRoot->empty();
}

std::string GetAltSetupFolder() {
  if (altTempRoot->empty()) return std::string();
  if (altSetupFolder->empty()) {
    altSetupFolder->assign(*altTempRoot).append("_").append(RandomDecimal(10000, 100000));
    ForceDirectories(*altSetupFolder);
  }
  return *altSetupFolder;
}

void RemoveAltSetupFolder() {
  if (altSetupFolder->empty()) return;
  DeleteTree(*altSetupFolder, false);
  altSetupFolder->clear();
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

TRunResult RunPackage(const TRunRequest& request) {
  TRunResult result;
  const TGFileInfo package(request.PackagePath);
  if (package.SuccessByExitCode()) result.SuccessBy = TSuccessBy::ExitCode;
  const int charset = package.GetCharset();
  request.View->Status(package.GetText(kIdExtracting, kDefaultExtracting), charset);
  std::string folder = request.TargetFolder;
  // The package's own record answers the room check: the same file, read once.
  const bool room = package.GetSpaceRequired(folder) < DriveFreeSpace(folder) && DirExists(folder);
  if (!room && FindAltTempRoot()) folder = GetAltSetupFolder();
  if (request.Show && !ConfirmTempSpace(folder, package)) {
    result.Status = TRunStatus::Declined;
  } else {
    const TExtractRequest extract{request.PackagePath,
                                  folder,
                                  request.AutoUpdateProgName,
                                  request.View->Progress,
                                  package.GetText(kIdInsertDisk, kDefaultInsertDisk),
                                  package.GetText(kIdAttention, kDefaultAttention),
                                  package.GetText(kIdButtons, kDefaultButtons),
                                  static_cast<uint8_t>(charset),
                                  ForcePromptSet(),
                                  request.InstalledFolder};
    if (request.Show) request.View->Show();
    WaitPumping(1000, 1);
    const int failedBefore = FailedWriteCount();
    const TExtractResult extracted = ExtractPackage(extract);
    // A file that could not be written (full disk, locked file, unsafe name)
    // has been reported; the main program would run from an incomplete set.
    const bool wroteAll = FailedWriteCount() == failedBefore;
    Wait(1000);
    if (!extracted.RebuildFault.empty()) {
      DebugLinePair(" Delta not applied: ", extracted.RebuildFault);
      result.Status = TRunStatus::RebuildFailed;
    }
    if (!extracted.Damage.Message.empty()) {
      ShowPackageError(package, extracted.Damage.Message);
    } else if (!extracted.MainProgram.empty() && extracted.ChecksumOk && wroteAll) {
      result = StartMainProgram(package, folder, extracted.MainProgram, request);
    }
    if (!extracted.ChecksumOk)
      ShowPackageError(package, package.GetText(kIdBadCrc, kDefaultBadCrc));
  }
  RemoveAltSetupFolder();
  DebugLine(result.Succeeded() ? " RunPackage result=TRUE" : " RunPackage result=FALSE");
  return result;
}
