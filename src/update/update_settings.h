// The agent's two INI files: the installation settings file (".original":
// the installed copy, the schedule, the message texts) and the info file
// (".info": the update on offer, present only while a check runs).
// TAgentSettings reads and writes the two files it is given;
// OwnAgentSettings gives the agent's own files, beside its executable and
// named by the UpdateInfoName of its own package. Every read opens the
// file again, so a value written by one step is seen by the next.
//
// A missing file or key gives the key's default. Integers that do not
// convert give their default; int32 keys keep the low 32 bits. Flags are
// true only for the exact text "1". Setters report whether the write
// succeeded.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "update/agent_rules.h"
#include "update/update_settings_rules.h"

class TGFileInfo;

class TAgentSettings {
 public:
  TAgentSettings(const std::string& originalPath, const std::string& infoPath);
  // The files `package`'s UpdateInfoName names in `folder` (which ends in
  // a backslash).
  static TAgentSettings InFolder(const std::string& folder, const TGFileInfo& package);

  const std::string& OriginalPath() const { return originalPath_; }
  const std::string& InfoPath() const { return infoPath_; }

  // ---- "OriginalSetup" (installation settings file) -----------------------
  // Seconds between automatic checks; 0 = check once, -1 = never.
  int64_t ProbeSecondsInterval() const;
  bool SetProbeSecondsInterval(int64_t seconds) const;
  // Time of the last check, in seconds since 1899-12-30.
  int64_t ProbeSecondsLast() const;
  bool SetProbeSecondsLast(int64_t seconds) const;
  // Seconds after which an update already offered is offered again; <= 0 never.
  int64_t ReAskSecondsInterval() const;
  bool SetReAskSecondsInterval(int64_t seconds) const;
  // Time the update procedure last started.
  int64_t ReAskSecondsLast() const;
  bool SetReAskSecondsLast(int64_t seconds) const;
  // Version of the installed application; 0 or less turns updating off.
  int32_t VersionOriginal() const;
  bool SetVersionOriginal(int32_t version) const;
  // "Stamp" of the last info file whose update procedure was started.
  int32_t OriginalStamp() const;
  bool SetOriginalStamp(int32_t stamp) const;
  // Failed attempts at the update of that stamp (see FailedAttemptsAtStart).
  bool SetFailedAttempts(int32_t attempts) const;
  // Application name shown in the check question.
  std::string OriginalProgramName() const;
  // What the decision on an offer needs of this section, read at once. The
  // installation's rollout number is drawn and written the first time.
  TInstalledState InstalledState() const;

  // ---- "Directories", "UnInstall" (installation settings file) ------------
  std::string TargetDir() const;
  std::string SharedDir() const;
  std::string AuxiliaryDir() const;
  // Full paths of the start-up and check-for-update shortcuts.
  std::string StartUpLink() const;
  std::string CheckforNewUpdateLink() const;

  // ---- "MsgBox" (installation settings file) ------------------------------
  std::string BtnText() const;  // default kDefaultBtnText
  // The caption under `key` (schema::kErrorCaption, kConfirmCaption or
  // kAttentionCaption); by default the key's own text.
  std::string Caption(const char* key) const;
  int32_t MsgBoxCharSet() const;  // 0

  // ---- "AutoUpdate" (installation settings file): message texts -----------
  // The text of `id`, or `def` when the file has none.
  std::string AutoUpdateText(const char* id, const std::string& def) const;
  // The same with the built-in default (DefaultAutoUpdateText, with "s22"
  // naming OriginalProgramName()).
  std::string AutoUpdateText(const char* id) const;

  // ---- "Security" (installation settings file) ----------------------------
  // The pinned publisher keys, as written (see ParseSignerPins).
  std::string SignerKeySha256() const;

  // ---- "NewSetup" (info file, read only) ----------------------------------
  // The whole offer, read at once.
  TUpdateOffer Offer() const;
  std::string DownloadURL_UPDATE() const;
  std::string NameOfUpdateFile() const;
  int32_t SizeOfUpdateFile() const;
  // Hex SHA-256 that the package announced by `key` (Sha256OfUpdateFile,
  // Sha256OfDeltaFile) must have; empty = not checked.
  std::string AnnouncedSha256(const char* key) const;
  int32_t VersionNew() const;
  int32_t NewStamp() const;
  // Comma-separated "VersionOriginal" values without blanks; empty = any.
  std::string ValidVersions() const;
  std::string NewProgramName() const;
  std::string RunningProcess() const;
  std::string ShutDownMethod() const;
  // The five flags below give their PreferenceOverrides byte precedence;
  // while the byte overrides, the file is not read.
  bool RequestConfirmationBeforeDownload() const;
  bool RequestConfirmationBeforeInstall() const;
  bool BackgroundUpdate() const;
  bool InformFinish() const;
  bool RestartProcess() const;
  bool RemoveStartUpShortcut() const;
  bool RemoveCheckForNewUpdateShortcut() const;

  // Answers the agent command message: `code` selects the command, `value`
  // is its 32-bit argument. Returns the command's reply (values read are
  // given as their low 32 bits), 0 for setters and unknown codes.
  LRESULT HandleAgentCommand(WPARAM code, LPARAM value) const;

 private:
  std::string originalPath_;
  std::string infoPath_;
};

// The agent's own files: the folder of the running executable and the
// file names of the launcher's own package, `own`; resolved anew on every
// call.
TAgentSettings OwnAgentSettings(const TGFileInfo& own);
