#include "update/agent_downloads.h"

#include <windows.h>

#include "files/file_ops.h"
#include "package/driver.h"
#include "package/package_info.h"
#include "ui/msgbox.h"
#include "update/agent_rules.h"
#include "update/agent_state.h"
#include "update/authenticity.h"
#include "update/download_rules.h"
#include "update/error_page.h"
#include "update/file_trust.h"
#include "update/http_client.h"
#include "update/settings_schema.h"
#include "update/update_settings.h"
#include "update/wininet_api.h"
#include "util/debug_log.h"
#include "util/file_io.h"
#include "util/text.h"
#include "util/winapi.h"

namespace {

// A name taken from the info file or a URL touches the disk only as a
// plain file name, never as a path that could leave the agent's folder.
// ExtractFileName cuts at "/" as well as at "\" and ":".
std::string SafeFileName(const std::string& name) {
  std::string plain = ExtractFileName(name);
  if (plain == "." || plain == "..") plain.clear();
  return plain;
}

void ShowUpdateDownloadWarning(const TAgentSettings& own, const std::string& source) {
  std::string message;
  const char* id = "s3";
  if (!DownloadAbortRequested) {
    message = source;
    message += "<P><P>";
    id = source.size() > 1 && source[1] == ':' ? "s4" : "s5";
  }
  message += own.AutoUpdateText(id);
  ShowAgentBox(own, nullptr, TAgentBox::Warning, message);
}

}  // namespace

std::string AgentFolder(std::string_view name) {
  std::string path = ProgramDir(true);
  path.append(name.data(), name.size());
  return path;
}

bool ShowAgentBox(const TAgentSettings& settings, HWND owner, TAgentBox kind,
                  const std::string& text) {
  // By TAgentBox: the caption's key; the question's Yes and No, the warning's and the error's
  // OK, with the icon of each.
  static const uint32_t kStyles[] = {MB_YESNO | MB_ICONQUESTION, MB_OK | MB_ICONEXCLAMATION,
                                     MB_OK | MB_ICONHAND};
  static const char* const kCaptions[] = {schema::kConfirmCaption, schema::kAttentionCaption,
                                          schema::kErrorCaption};
  const std::string caption = settings.Caption(kCaptions[static_cast<int>(kind)]);
  return ShowMsgBox(owner, text, caption, settings.BtnText(),
                    static_cast<uint8_t>(settings.MsgBoxCharSet()), kStyles[static_cast<int>(kind)],
                    0) == IDYES;
}

namespace {

// Where a fetch finds a file: in the folder `base` names, else under the
// URL `base` when the machine is online (never in test mode), or nowhere.
enum class TPlace { Folder, Web, Nowhere };

// `path` becomes the file `name` in the folder `baseIn` (the test-mode URL
// in test mode), or its URL when the place is the web.
TPlace PlaceOf(const std::string& baseIn, const std::string& name, std::string& path) {
  const std::string& base = TestMode ? *TestModeURL : baseIn;
  path = JoinedName(base, '\\', name);
  if (FileExists(path)) return TPlace::Folder;
  if (TestMode || !IsInternetConnected()) return TPlace::Nowhere;
  path = JoinedName(base, '/', name);
  return TPlace::Web;
}

// How one file is fetched: the status text while it downloads, and whether
// it goes straight to the agent's folder (else it is kept in memory).
struct TFetchTarget {
  const char* statusTextId;
  bool toAgentFolder;
};

struct TFetched {
  std::string source;   // the folder path or URL last tried
  std::string content;  // the file as read from a folder, or downloaded into memory
  std::string error;    // empty when the download (if any) succeeded
  // Where the file lies or goes beside the agent; a file kept in memory
  // is written there by the caller.
  std::string agentCopy;
};

// Copies `name` from the folder `base` when it lies there, else downloads
// it from the URL `base` when the machine is online (never in test mode).
TFetched Fetch(const TLauncherHost& host, const TAgentSettings& own, const std::string& base,
               const std::string& name, const TFetchTarget& target) {
  TFetched fetched{{}, {}, {}, AgentFolder(name)};
  const std::string& agentCopy = fetched.agentCopy;
  const TPlace place = PlaceOf(base, name, fetched.source);
  if (place == TPlace::Folder) {
    fetched.content = ReadFilePart(fetched.source, 0, 0);
    if (target.toAgentFolder && !fetched.content.empty()) {
      WriteWholeFile(agentCopy, fetched.content, 0, false);
    }
  } else if (place == TPlace::Web) {
    Wait(500);
    host.View.Status(own.AutoUpdateText(target.statusTextId), own.MsgBoxCharSet());
    DownloadAbortRequested = false;
    const bool userCheck = CheckRequestMode == TCheckRequest::UserCheckRuns;
    // The package download shows its progress when the user was asked
    // before it and did not start the check himself.
    const bool showWindow =
        target.toAgentFolder && own.RequestConfirmationBeforeDownload() && !userCheck;
    if (showWindow) host.View.Show();
    // A transfer that ends short fails as a download, not as a package with
    // another publisher's token, nor as a cut info file taken for whole.
    TMemorySink memory(fetched.content);
    TPartialFileSink file(agentCopy);
    TDownloadSink& sink = target.toAgentFolder ? static_cast<TDownloadSink&>(file)
                                               : static_cast<TDownloadSink&>(memory);
    fetched.error =
        DownloadErrorText(InternetDownload(userCheck ? host.Window : nullptr, fetched.source, sink,
                                           host.View.Progress, DownloadAbortRequested),
                          fetched.source);
    if (showWindow) host.View.Hide();
    Wait(500);
  }
  return fetched;
}

// Why the update package at `path` must not be installed, for the debug
// log: a fixed text, and for some checks a detail behind it; no text when
// it may be. The checks run from the cheapest to the one every package has
// always passed: a delta's size, the hash the info file announces, the
// publisher's signature when the installation pins its key, the token.
struct TRefusal {
  const char* text = nullptr;
  std::string detail{};
};

TRefusal UpdatePackageRefusal(const TGFileInfo& launcher, const TAgentSettings& own,
                              const std::string& path, const TUpdateOffer* delta) {
  // The full package's size was compared before its download.
  if (delta && FileSizeOf(path) != delta->deltaFileSize) return {"SizeOfDeltaFile differs"};
  const char* key = delta ? schema::kSha256OfDeltaFile : schema::kSha256OfUpdateFile;
  const std::string announced = own.AnnouncedSha256(key);
  if (!Trim(announced).empty()) {
    TSha256 expected = {};
    TSha256 actual = {};
    if (!ParseSha256Hex(announced, expected)) return {key, " unreadable"};
    if (!FileSha256(path, actual)) return {key, " not computed"};
    if (actual != expected) return {key, " differs: " + Sha256Hex(actual)};
  }
  const TGFileInfo update(path);
  const TSignerPins pins = ParseSignerPins(own.SignerKeySha256());
  if (pins.pinned) {
    const TSignatureCheck check = CheckFileSignature(path);
    const TSignatureVerdict verdict = JudgeSignature(check, pins.keys);
    if (verdict != TSignatureVerdict::kAccepted) {
      char status[16];
      wsprintfA(status, "%08lX", static_cast<unsigned long>(check.trustStatus));
      return {SignatureVerdictName(verdict),
              Concat({" (status ", status, ", key ",
                      check.hasSignerKey ? Sha256Hex(check.signerKey) : "none", ")"})};
    }
    // The signature vouches for the version recorded inside, not for the
    // info file: an old genuine release offered as new would downgrade.
    if (!RecordedVersionOffered(update.PackageVersion(), own.VersionNew(), own.VersionOriginal())) {
      return {"version not offered"};
    }
  }
  if (!update.SameUpdateToken(launcher)) return {"token differs"};
  return {};
}

}  // namespace

bool FetchInfoFile(const TLauncherHost& host, const TAgentSettings& own, const std::string& base,
                   const std::string& fileName) {
  const std::string name = SafeFileName(fileName);
  if (name.empty()) return false;
  TFetched fetched = Fetch(host, own, base, name, {"s31", false});
  if (fetched.error.empty() && !fetched.content.empty()) {
    DetectErrorPage(fetched.content, fetched.source, fetched.error, "");
  }
  if (!fetched.error.empty() || fetched.content.empty()) return false;
  WriteWholeFile(fetched.agentCopy, fetched.content, 0, false);
  return true;
}

bool FetchUpdatePackage(const TLauncherHost& host, const TAgentSettings& own,
                        const std::string& base, const std::string& fileName,
                        const TUpdateOffer* delta) {
  const std::string name = SafeFileName(fileName);
  if (name.empty()) return false;
  const TFetched fetched = Fetch(host, own, base, name, {"s32", true});
  // A delta that cannot be had is only logged: the full package follows.
  if (!fetched.error.empty()) {
    if (delta) {
      DebugLine(" Delta not applied: download failed");
    } else if (fetched.source.size() > 2 && own.RequestConfirmationBeforeDownload()) {
      ShowUpdateDownloadWarning(own, fetched.source);
    }
    return false;
  }
  const std::string& packagePath = fetched.agentCopy;
  const TRefusal refusal = UpdatePackageRefusal(host.Own, own, packagePath, delta);
  if (!refusal.text) return true;
  DebugLineParts({delta ? " Delta refused: " : " Update refused: ", refusal.text, refusal.detail});
  std::string message;
  if (!delta) DetectErrorPageInFile(packagePath, fetched.source, message);
  DeleteFileA(packagePath.c_str());
  if (!delta) ShowAgentBox(own, nullptr, TAgentBox::Error, message);
  return false;
}

int64_t OfferedUpdateFileSize(const std::string& baseIn, const std::string& fileName) {
  const std::string name = SafeFileName(fileName);
  if (name.empty()) return -1;
  std::string path;
  switch (PlaceOf(baseIn, name, path)) {
    case TPlace::Folder:
      return FileSizeOf(path);
    case TPlace::Web:
      return QueryRemoteFileSize(path);
    case TPlace::Nowhere:
      break;
  }
  return -1;
}
