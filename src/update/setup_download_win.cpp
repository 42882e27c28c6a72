// Web setup: download of the real setup package and its run.
#include "update/setup_download.h"

#include <windows.h>

#include "files/file_date.h"
#include "files/file_ops.h"
#include "package/driver.h"
#include "package/messages.h"
#include "package/package_info.h"
#include "package/walker.h"
#include "ui/msgbox.h"
#include "update/authenticity.h"
#include "update/download_rules.h"
#include "update/error_page.h"
#include "update/file_trust.h"
#include "update/http_client.h"
#include "update/setup_launcher.h"
#include "update/wininet_api.h"
#include "util/debug_log.h"
#include "util/file_io.h"
#include "util/text.h"
#include "util/winapi.h"

namespace {

// The agent copy that the extraction of the downloaded package leaves
// beside the installed files: the running launcher, flagged in its trailer.
// Bytes appended behind the package (a signature) are left out, so that the
// copy ends with the trailer whose flag it carries.
void WriteAgentCopy(const std::string& agentName) {
  const std::string program = ProgramPath();
  std::string image = ReadFilePart(program, 0, 0);
  TMemorySource source(image);
  image.resize(static_cast<size_t>(BlockStreamEnd(source)));
  if (!MarkAsAgentCopy(image)) return;
  // The extraction of the downloaded package fills this folder later; the
  // copy comes first, so it makes the folder itself.
  const std::string folder = GetSetupFolder();
  ForceDirectories(folder);
  std::string target = SetTrailingBackslash(folder, true);
  target += ExtractFileName(agentName);
  const int32_t stamp = FileDosDateTime(program);
  WriteWholeFile(target, image, stamp == -1 ? 0 : stamp, false);
}

// The launcher is the file the user started (a web setup never runs from a
// transient copy) and the one he could check: when it carries an intact
// signature, the setup file must come from the same hand, signed with the
// same public key. Beyond that the setup file must carry the launcher's web
// token. Why it must not run, for the debug log; null when it may. Kept out
// of line: its signature records and package record would otherwise widen
// the caller's frame, and with it every access to the caller's locals.
[[gnu::noinline]] const char* SetupFileRefusal(const TGFileInfo& launcher,
                                               const std::string& setupPath) {
  const TSignatureCheck own = CheckFileSignature(ProgramPath());
  TSha256List keys;
  if (JudgeSignature(own, keys) != TSignatureVerdict::kNotTrusted) {
    if (own.hasSignerKey) keys.push_back(own.signerKey);
    const TSignatureVerdict verdict = JudgeSignature(CheckFileSignature(setupPath), keys);
    if (verdict != TSignatureVerdict::kAccepted) return SignatureVerdictName(verdict);
  }
  if (!TGFileInfo(setupPath).SameWebToken(launcher)) return "token differs";
  return nullptr;
}

// The download question with the package's size; true for "Yes".
bool UserAgreesToDownload(const TGFileInfo& own, const std::string& buttons, int charset) {
  const std::string size = FormatMB(static_cast<double>(StrToInt64Def(own.WebSetupSize(), 0)));
  return AskYesNo(nullptr, ReplaceAll(own.GetText("s11", kDefaultDownloadQuestion), "<SIZE>", size),
                  own.GetText(kIdConfirm, kDefaultConfirm), buttons, charset);
}

// Downloads `url` to `setupPath`; the error text, empty when it arrived. A
// transfer that ends short fails here as a download; its partial file stays
// for the next start. Out of line, like SetupFileRefusal, for its sink.
[[gnu::noinline]] std::string DownloadInto(const TLauncherHost& host, const std::string& setupPath,
                                           const std::string& url) {
  TPartialFileSink sink(setupPath);
  return DownloadErrorText(
      InternetDownload(host.Window, url, sink, host.View.Progress, DownloadAbortRequested), url);
}

}  // namespace

TRunResult RunWebSetup(const TLauncherHost& host, const std::string& agentName) {
  const TGFileInfo& own = host.Own;
  if (!agentName.empty()) WriteAgentCopy(agentName);
  const std::string setupName = ExtractFileName(own.WebSetupName());
  // A setup file beside the launcher is taken from there, unless the
  // package always downloads it.
  bool besideLauncher = false;
  if (!own.WebAlwaysDownload()) {
    std::string path = ProgramDir(true);
    path += setupName;
    besideLauncher = FileExists(path);
  }
  return DownloadSetupFile(host, GetSetupFolder(),
                           besideLauncher ? ProgramDir(false) : own.WebFolder(), setupName);
}

TRunResult DownloadSetupFile(const TLauncherHost& host, const std::string& tempFolder,
                             const std::string& base, const std::string& fileName) {
  TRunResult result;
  const TGFileInfo& own = host.Own;
  const int charset = own.GetCharset();
  const std::string buttons = own.GetText(kIdButtons, kDefaultButtons);
  std::string error;
  // The user declined the download: no box follows unless an error does.
  bool declined = false;
  bool downloaded = false;
  std::string setupPath = SetTrailingBackslash(base, true);
  setupPath += fileName;
  const std::string url = JoinedName(base, '/', fileName);
  if (!FileExists(setupPath)) {
    host.View.Status(own.GetText("s10", kDefaultDownloading), charset);
    declined = own.AskBeforeDownload() && !UserAgreesToDownload(own, buttons, charset);
    if (!IsInternetConnected()) error = own.GetText("s12", kDefaultNoConnection);
    DownloadAbortRequested = false;
    setupPath = TempDir(true);
    setupPath += fileName;
    if (error.empty() && !declined) {
      error = DownloadInto(host, setupPath, url);
      downloaded = error.empty();
    }
  }
  if (error.empty() && !declined) {
    const char* refusal = SetupFileRefusal(own, setupPath);
    if (refusal == nullptr) {
      result = RunHostedPackage(host, {tempFolder, setupPath, {}, {}, {}, true});
    } else {
      DebugLineParts({" Setup file refused: ", refusal});
      DetectErrorPageInFile(setupPath, url, error);
    }
    if (downloaded) DeleteFileA(setupPath.c_str());
  }
  if (!error.empty()) {
    ShowErrorBox(nullptr, error, own.GetText(kIdError, kDefaultError), buttons, charset);
  }
  return result;
}
