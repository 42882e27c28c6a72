#include "update/agent_downloads.h"

#include <windows.h>

#include "files/file_ops.h"
#include "package/driver.h"
#include "package/package_info.h"
#include "startup/entry.h"
#include "startup/main_window.h"
#include "ui/msgbox.h"
#include "update/agent_state.h"
#include "update/error_page.h"
#include "update/http_client.h"
#include "update/update_settings.h"
#include "update/wininet_api.h"
#include "util/file_io.h"
#include "util/text.h"
#include "util/winapi.h"

namespace {

// A name taken from the info file or a URL touches the disk only as a
// plain file name, never as a path that could leave the agent's folder.
std::string SafeFileName(const std::string& name) {
  std::string plain = ExtractFileName(name);
  const size_t slash = plain.find_last_of('/');
  if (slash != std::string::npos) plain = plain.substr(slash + 1);
  if (plain == "." || plain == "..") plain.clear();
  return plain;
}

void ShowUpdateDownloadWarning(const std::string& source) {
  std::string message;
  if (DownloadAbortRequested) {
    message = GetAutoUpdateText("s3");
  } else if (source.size() > 1 && source[1] == ':') {
    message = source + "<P><P>" + GetAutoUpdateText("s4");
  } else {
    message = source + "<P><P>" + GetAutoUpdateText("s5");
  }
  ShowWarningBox(nullptr, message, GetAttentionCaption(), GetBtnText(), GetMsgBoxCharSet(), 0);
}

}  // namespace

std::string AgentFolder() { return ProgramDir(true); }

bool FetchUpdateFile(const std::string& baseIn, const std::string& fileName, int mode) {
  const std::string name = SafeFileName(fileName);
  if (name.empty()) return false;
  const std::string base = TestMode ? TestModeURL : baseIn;
  bool result = false;
  std::string error, content, downloadTarget;
  std::string source = base + "\\" + name;
  if (FileExists(source)) {
    content = ReadFilePart(source, 0, 0);
    if (mode == kFetchUpdatePackage && !content.empty()) {
      WriteWholeFile(AgentFolder() + name, content, 0, false);
    }
  } else if (!TestMode && IsInternetConnected()) {
    Wait(500);
    SetStatusText(StatusLabel, GetAutoUpdateText(mode == kFetchInfoFile ? "s31" : "s32"),
                  GetMsgBoxCharSet());
    source = base + "/" + name;
    DownloadAbortRequested = false;
    const bool showWindow = mode == kFetchUpdatePackage &&
                            GetRequestConfirmationBeforeDownload() && CheckRequestMode != 1;
    if (mode == kFetchUpdatePackage) downloadTarget = AgentFolder() + name;
    if (showWindow) ShowMainWindow();
    // A transfer that ends short fails as a download, not as a package with
    // another publisher's token, nor as a cut info file taken for whole.
    TMemorySink memory(content);
    TPartialFileSink file(downloadTarget);
    TDownloadSink& sink = mode == kFetchInfoFile ? static_cast<TDownloadSink&>(memory) : file;
    error = DownloadErrorText(InternetDownload(CheckRequestMode == 1 ? MainWindow : nullptr, source,
                                               sink, MainWindowProgress, DownloadAbortRequested),
                              source);
    if (showWindow) HideMainWindow();
    Wait(500);
  }
  if (mode == kFetchInfoFile) {
    if (error.empty() && !content.empty()) DetectErrorPage("", content, source, error, "");
    if (error.empty() && !content.empty()) {
      WriteWholeFile(AgentFolder() + name, content, 0, false);
      result = true;
    }
    return result;
  }
  if (error.empty()) {
    result = true;
    const std::string packagePath = AgentFolder() + name;
    bool sameToken = false;
    {
      const TGFileInfo update(packagePath);
      sameToken = update.SameUpdateToken(OwnPackageInfo());
    }
    if (!sameToken) {
      result = false;
      std::string message;
      DetectErrorPage(packagePath, "", source, message, "Bad Secret Token!");
      DeleteFileA(packagePath.c_str());
      ShowErrorBox(nullptr, message, GetErrorCaption(), GetBtnText(), GetMsgBoxCharSet());
    }
  } else if (source.size() > 2 && GetRequestConfirmationBeforeDownload()) {
    ShowUpdateDownloadWarning(source);
  }
  return result;
}

bool IsUpdateFileAvailable(const std::string& baseIn, const std::string& fileName) {
  const std::string name = SafeFileName(fileName);
  const std::string base = TestMode ? TestModeURL : baseIn;
  int64_t size = -1;
  if (!name.empty() && FileExists(base + "\\" + name)) {
    size = FileSizeOf(base + "\\" + name);
  } else if (!name.empty() && !TestMode && IsInternetConnected()) {
    size = QueryRemoteFileSize(base + "/" + name);
  }
  return size == GetSizeOfUpdateFile();
}
