// The two INI files of an update, spelled once: the installation settings
// file (NAME.original, installed with the application) and the info file
// (NAME.info, published beside the update package). The agent and the
// extraction driver read them with these names; orvane-pack writes them.
#pragma once

namespace schema {

// ---- Installation settings file ----------------------------------------------
inline constexpr char kOriginalSetup[] = "OriginalSetup";
inline constexpr char kProbeSecondsInterval[] = "ProbeSecondsInterval";
inline constexpr char kProbeSecondsLast[] = "ProbeSecondsLast";
inline constexpr char kReAskSecondsInterval[] = "ReAskSecondsInterval";
inline constexpr char kReAskSecondsLast[] = "ReAskSecondsLast";
inline constexpr char kVersionOriginal[] = "VersionOriginal";
inline constexpr char kStamp[] = "Stamp";              // in OriginalSetup and in NewSetup
inline constexpr char kProgramName[] = "ProgramName";  // in OriginalSetup and in NewSetup
// Attempts at the update of "Stamp" that did not install it for another
// reason than the user's no; an attempt counts from its start, so an agent
// that ends during the update leaves its attempt counted.
inline constexpr char kFailedAttempts[] = "FailedAttempts";
// The installation's own random number (decimal, 32 bits), drawn once,
// that places it in a phased rollout.
inline constexpr char kRolloutNumber[] = "RolloutNumber";

inline constexpr char kDirectories[] = "Directories";
inline constexpr char kTargetDir[] = "TargetDir";
inline constexpr char kSharedDir[] = "SharedDir";
inline constexpr char kAuxiliaryDir[] = "AuxiliaryDir";

inline constexpr char kUnInstall[] = "UnInstall";
inline constexpr char kStartUpLink[] = "StartUpLink";
inline constexpr char kCheckforNewUpdateLink[] = "CheckforNewUpdateLink";

// Box looks; a caption key missing from the file reads as its own name.
inline constexpr char kMsgBox[] = "MsgBox";
inline constexpr char kBtnText[] = "BtnText";
inline constexpr char kErrorCaption[] = "Error";
inline constexpr char kConfirmCaption[] = "Confirm";
inline constexpr char kAttentionCaption[] = "Attention";
inline constexpr char kCharSet[] = "CharSet";

// The agent's texts, keyed by their ids ("s2" ... "s32").
inline constexpr char kAutoUpdate[] = "AutoUpdate";

// The publisher keys an update package must be signed with: hex SHA-256
// values of the signer certificates' DER SubjectPublicKeyInfo, separated by
// commas. Absent: packages are checked by their token alone.
inline constexpr char kSecurity[] = "Security";
inline constexpr char kSignerKeySha256[] = "SignerKeySha256";

// ---- Info file -------------------------------------------------------------------
inline constexpr char kNewSetup[] = "NewSetup";
inline constexpr char kDownloadURL_UPDATE[] = "DownloadURL_UPDATE";
inline constexpr char kNameOfUpdateFile[] = "NameOfUpdateFile";
inline constexpr char kSizeOfUpdateFile[] = "SizeOfUpdateFile";
// Hex SHA-256 of the whole update package; absent: not checked.
inline constexpr char kSha256OfUpdateFile[] = "Sha256OfUpdateFile";
// The delta package beside the full one: it rebuilds the files of the
// release DeltaFromVersion from its installed files, checked like the full
// package; absent: none on offer.
inline constexpr char kNameOfDeltaFile[] = "NameOfDeltaFile";
inline constexpr char kSizeOfDeltaFile[] = "SizeOfDeltaFile";
inline constexpr char kSha256OfDeltaFile[] = "Sha256OfDeltaFile";
inline constexpr char kDeltaFromVersion[] = "DeltaFromVersion";
inline constexpr char kVersionNew[] = "VersionNew";
inline constexpr char kValidVersions[] = "ValidVersions";
// Share of the installations (0..100) that an automatic check offers the
// update to; absent: 100. A check the user starts ignores it.
inline constexpr char kRolloutPercent[] = "RolloutPercent";
inline constexpr char kRunningProcess[] = "RunningProcess";
inline constexpr char kShutDownMethod[] = "ShutDownMethod";
// Flags: true only for the text "1".
inline constexpr char kRequestConfirmationBeforeDownload[] = "RequestConfirmationBeforeDownload";
inline constexpr char kRequestConfirmationBeforeInstall[] = "RequestConfirmationBeforeInstall";
inline constexpr char kBackgroundUpdate[] = "BackgroundUpdate";
inline constexpr char kInformFinish[] = "InformFinish";
inline constexpr char kRestartProcess[] = "RestartProcess";
inline constexpr char kRemoveStartUpShortcut[] = "RemoveStartUpShortcut";
inline constexpr char kRemoveCheckForNewUpdateShortcut[] = "RemoveCheckForNewUpdateShortcut";

}  // namespace schema
