// The package's message texts: the built-in default of every text id the
// launcher looks up in a package, and the choice of the language section
// that overrides them. Every caller takes its defaults from here, so a text
// reads the same wherever it is shown.
#pragma once

#include <cstdint>
#include <string>

#include "ui/markup.h"
#include "util/lasting.h"

// Text ids looked up with TGFileInfo::GetText, with their built-in texts.
// Placeholders in angle brackets are replaced by the caller.
inline constexpr char kIdTitle[] = "s0";
inline constexpr char kDefaultTitle[] = "Orvane Installation Suite";
inline constexpr char kIdExtracting[] = "s1";
inline constexpr char kDefaultExtracting[] = "Extracting Files...";
inline constexpr char kIdTempNotice[] = "s2";  // <DRIVE>
inline constexpr char kDefaultTempNotice[] =
    "Orvane will extract files to your Temp Drive (<DRIVE>)<P>";
inline constexpr char kIdTempSpaceLow[] = "s3";  // <DRIVE>
inline constexpr char kDefaultTempSpaceLow[] =
    "Limited Free Space on your Temp Drive! (<DRIVE>)<P>";
inline constexpr char kIdSpaceRequired[] = "s4";  // <SPACE_REQ>
inline constexpr char kDefaultSpaceRequired[] =
    "<P>Estimated space required on your Temp drive is: <T>  <SPACE_REQ> MB<P>";
inline constexpr char kIdSpaceAvailable[] = "s5";  // <SPACE_AVAIL>
inline constexpr char kDefaultSpaceAvailable[] =
    "Free space available on your Temp drive is: <T>  <SPACE_AVAIL> MB<P>";
inline constexpr char kIdContinueSetup[] = "s6";
inline constexpr char kDefaultContinueSetup[] = "<P>Continue with Setup?<P>";
inline constexpr char kIdBadCrc[] = "s7";
inline constexpr char kDefaultBadCrc[] =
    "Bad CRC!<P>This indicates that your setup file might be corrupted...";
inline constexpr char kIdInsertDisk[] = "s8";  // <DISK_NUM>
inline constexpr char kDefaultInsertDisk[] =
    "Please insert <B>DISK #<DISK_NUM></B> and press OK to continue";
inline constexpr char kIdDownloading[] = "s10";
inline constexpr char kDefaultDownloading[] = "Downloading File...";
inline constexpr char kIdDownloadQuestion[] = "s11";  // <SIZE>
inline constexpr char kDefaultDownloadQuestion[] =
    "<b>INTERNET DOWNLOAD</b><p><p>Orvane will download the Setup File from the Internet..."
    "<p>Please make sure your Internet connection is properly set.<p><p>Continue with Setup?"
    "<p><P>Size: <SIZE> MB<P>";
inline constexpr char kIdNoConnection[] = "s12";
inline constexpr char kDefaultNoConnection[] =
    "No valid Internet Connection.<p>Can not Download File!";
inline constexpr char kIdSetupFailed[] = "s13";  // <CODE>
inline constexpr char kDefaultSetupFailed[] = "Setup failed with exit code <CODE>.";
// Shown after the program's path and before the system's reason.
inline constexpr char kIdStartFailed[] = "s14";
inline constexpr char kDefaultStartFailed[] = "Unable to start the setup program!";
// Shown before the package can be read, so never looked up in it.
inline constexpr char kDefaultFolderName[] =
    "The name of this setup file's folder cannot be read here.<P>Please move the file to "
    "C:\\Setup.";

// Captions, button list and character set; their ids double as defaults.
inline constexpr char kIdError[] = "Error";
constexpr const char* kDefaultError = kIdError;
inline constexpr char kIdConfirm[] = "Confirm";
constexpr const char* kDefaultConfirm = kIdConfirm;
inline constexpr char kIdAttention[] = "Attention";
constexpr const char* kDefaultAttention = kIdAttention;
// Captions of the seven message-box buttons as a delimited list, in the
// order OK, Cancel, Yes, No, Abort, Retry, Ignore.
inline constexpr char kIdButtons[] = "BtnText";
inline constexpr const char* kDefaultButtons = kDefaultButtonTexts;
inline constexpr char kIdCharset[] = "Charset";
inline constexpr char kDefaultCharset[] = "0";

// The language section chosen for this process: "" before the first lookup,
// "*" when the package had neither the user's language nor English. The
// first lookup on any TGFileInfo decides it for every later one.
extern TLasting<std::string> ChosenLangSection;

// Forgets the choice, so that the next lookup chooses again (tests only).
void ResetChosenLangSection();

// The first section of `langTexts` whose name (field 0, trimmed) equals
// `language` (trimmed) without regard to case, else the "English" section,
// else "*".
std::string ChooseLangSection(const std::string& langTexts, const std::string& language);

// The text of `id` from `langTexts`: chooses ChosenLangSection by the
// system's language on the first call, then looks the id up in it with
// GetKeyValue. `def` when no section was chosen or the id is absent; an id
// present with nothing after "=" gives "".
std::string LookupLangText(const std::string& langTexts, const std::string& id,
                           const std::string& def);

// A character-set number from its decimal text; 0 when the text is not a
// 32-bit decimal number. 177 (Hebrew) and 178 (Arabic) mean right-to-left.
int32_t CharsetFromText(const std::string& text);
