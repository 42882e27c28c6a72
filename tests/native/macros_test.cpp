#include "paths/macros.h"

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace {

// A fixed machine: Windows in C:\WINDOWS, owner Ann of Acme, run-time
// folder 1 on R:, local time 2026-12-07 09:05:03 in a locale with "/" and
// ":" separators. Every value asked is counted; a full path is known only
// for the paths in `fullPaths`, and asking for any other one fails.
struct TFakeSystem {
  std::map<TMacroSource, std::string> values = {
      {TMacroSource::RegisteredOwner, "Ann"},
      {TMacroSource::RegisteredOrganization, "Acme"},
      {TMacroSource::RunTimeDir1, "R:\\One"},
      {TMacroSource::WindowsDir, "C:\\WINDOWS"},
      {TMacroSource::SystemDir, "C:\\WINDOWS\\system32"},
      {TMacroSource::System16Dir, "C:\\WINDOWS\\system"},
      {TMacroSource::OriginDir, "D:\\Setup"},
      {TMacroSource::ProgramFilesDir, "C:\\Program Files"},
      {TMacroSource::FontDir, "C:\\WINDOWS\\Fonts"},
      {TMacroSource::ProgramDir, "E:\\Src"},
      {TMacroSource::TempDir, "C:\\TEMP"},
      {TMacroSource::UserDir, "C:\\Users\\Ann"},
      {TMacroSource::UserDesktopDir, "C:\\Users\\Ann\\Desktop"},
      {TMacroSource::AllUsersDesktopDir, "C:\\Users\\Public\\Desktop"},
  };
  std::map<TMacroSource, int> asked;
  int clockReads = 0;
  TDateParts now;
  std::map<std::string, std::string> fullPaths;
  std::vector<std::string> resolved;

  TFakeSystem() {
    now.time = {2026, 12, 7, 9, 5, 3, 0};
    now.monthName = "December";
    now.dateSeparator = "/";
    now.timeSeparator = ":";
  }

  TMacroEnvironment Environment() {
    return {
        [this](TMacroSource source) {
          ++asked[source];
          const auto found = values.find(source);
          return found == values.end() ? std::string() : found->second;
        },
        [this] {
          ++clockReads;
          return now;
        },
        [this](const std::string& path) { return FullPath(path); },
    };
  }

  std::string FullPath(const std::string& path) {
    resolved.push_back(path);
    const auto found = fullPaths.find(path);
    if (found == fullPaths.end()) ADD_FAILURE() << "unexpected full path of " << path;
    return found == fullPaths.end() ? std::string() : found->second;
  }
};

// Each test starts from the launcher's state: no install folders, no custom
// macros, no value provider.
class MacroTest : public testing::Test {
 protected:
  void SetUp() override { Reset(); }
  void TearDown() override { Reset(); }
  static void Reset() {
    SetCustomMacros("");
    SetMacroValueProvider(nullptr);
  }

  // The installation's folders that Expand gives the expansion.
  void SetInstallFolders(const std::string& application, const std::string& common,
                         const std::string& auxiliary) {
    folders = {application, common, auxiliary};
  }

  std::string Expand(const std::string& text, bool normalise = false, bool custom = false) {
    return ExpandMacrosWith(fake.Environment(), folders, text, "\\", normalise, custom);
  }

  TFakeSystem fake;
  TMacroFolders folders;
};

struct TSubstituteCase {
  const char* text;
  const char* expected;
};

TEST(SubstituteMacro, KeepsTheSuffixOnlyInsideAPath) {
  const TSubstituteCase cases[] = {
      {"<WinDir>", "C:\\WINDOWS"},              // ends the text
      {"<WinDir> x", "C:\\WINDOWS x"},          // a blank follows
      {"<WinDir>Fonts", "C:\\WINDOWS\\Fonts"},  // the suffix stays
      {"<windir>Fonts", "C:\\WINDOWS\\Fonts"},  // letter case ignored
      {"|<WinDir>|", "|C:\\WINDOWS|"},          // ends a list field
      {",<WinDir>,x,", ",C:\\WINDOWS,x,"},
      {"a<WinDir>a", "aC:\\WINDOWS\\a"},                       // a letter is no delimiter
      {"<<WinDir><", "<C:\\WINDOWS\\<"},                       // nor is "<"
      {"|<WinDir>;|", "|C:\\WINDOWS\\;|"},                     // ";" is not the delimiter
      {"<WinDir>x <WinDir>", "C:\\WINDOWS\\x C:\\WINDOWS\\"},  // first occurrence decides
      {"<WinDir> <WinDir>x", "C:\\WINDOWS C:\\WINDOWSx"},
      {"no macro", "no macro"},
  };
  for (const TSubstituteCase& c : cases) {
    EXPECT_EQ(SubstituteMacro(c.text, "<WinDir>", "C:\\WINDOWS", "\\"), c.expected) << c.text;
  }
}

struct TExpandCase {
  const char* text;
  const char* expected;
};

TEST_F(MacroTest, FolderMacrosFollowTheSuffixRuleAndCollapseDoubledBackslashes) {
  SetInstallFolders("C:\\Apps\\Tool", "C:\\Apps\\Common", "C:\\Apps\\Aux");
  const TExpandCase cases[] = {
      {"<WinDir>\\notepad.exe", "C:\\WINDOWS\\notepad.exe"},
      {"<InstallDir>", "C:\\Apps\\Tool"},
      {"<InstallDir>x", "C:\\Apps\\Tool\\x"},
      {"|<WinDir>|<TempDir>|", "|C:\\WINDOWS|C:\\TEMP|"},
      {"<windir>", "C:\\WINDOWS"},
      {"<Application Folder>\\<InstallDir>", "C:\\Apps\\Tool\\"},
      {"<InstallDir>\\<Windows Directory>", "\\C:\\WINDOWS"},
      {"x<AbsoluteDir>y", "xy"},
      {"<AbsoluteDir><InstallDir>\\run.exe", "C:\\Apps\\Tool\\run.exe"},
      {"<InstallCommonDir>\\a;<InstallAuxDir>", "C:\\Apps\\Common\\a;C:\\Apps\\Aux"},
      {"<Common Folder>\\<Auxiliary Folder>", "C:\\Apps\\Common\\C:\\Apps\\Aux"},
      {"<WinSysDir>\\x.dll", "C:\\WINDOWS\\system32\\x.dll"},
      {"<WinSys32Dir>", "C:\\WINDOWS\\system32"},
      {"<WinSys16Dir>\\x.drv", "C:\\WINDOWS\\system\\x.drv"},
      {"<System Directory> <System16 Directory>", "C:\\WINDOWS\\system32 C:\\WINDOWS\\system"},
      {"<UserDesktopDir>\\Tool.lnk", "C:\\Users\\Ann\\Desktop\\Tool.lnk"},
      {"<AllUsersDesktopDir>\\Tool.lnk", "C:\\Users\\Public\\Desktop\\Tool.lnk"},
      {"<SrcDir>\\<OriginDir>", "E:\\Src\\D:\\Setup"},
      {"<ProgramFilesDir>\\<FontDir>", "C:\\Program Files\\C:\\WINDOWS\\Fonts"},
      // Values the machine does not have are empty; the suffix rule holds.
      {"<CommonFilesDir>x", "\\x"},
      {"<StartMenuDir>", ""},
      {"<NotAMacro>\\<WinDir>", "<NotAMacro>\\C:\\WINDOWS"},
      // No "<": returned as written, doubled backslashes and all.
      {"C:\\plain\\\\path", "C:\\plain\\\\path"},
  };
  for (const TExpandCase& c : cases) EXPECT_EQ(Expand(c.text), c.expected) << c.text;
}

TEST_F(MacroTest, UnsetInstallFoldersExpandToTheSuffixAlone) {
  EXPECT_EQ(Expand("<InstallDir>x"), "\\x");
  EXPECT_EQ(Expand("<InstallDir>"), "");
  EXPECT_EQ(Expand("<InstallDrive>a"), "a");
}

TEST_F(MacroTest, InstallFolderIsUsedExactlyAsStored) {
  SetInstallFolders("C:\\Apps\\Tool\\", "", "");
  EXPECT_EQ(Expand("<InstallDir>"), "C:\\Apps\\Tool\\");
  EXPECT_EQ(Expand("<InstallDir>\\run.exe"), "C:\\Apps\\Tool\\run.exe");
}

TEST_F(MacroTest, DrivesAndDisksNeverTakeTheSuffix) {
  SetInstallFolders("F:\\Apps\\Tool", "", "");
  const TExpandCase cases[] = {
      {"<InstallDrive>x", "F:\\x"}, {"<InstallDisk>x", "F:x"},
      {"<WinDrive>", "C:\\"},       {"<WinDisk>\\x", "C:\\x"},
      {"<WinSysDrive>a", "C:\\a"},  {"<WinSysDisk>", "C:"},
      {"<OriginDrive>y", "D:\\y"},  {"<OriginDisk>", "D:"},
      {"<WinDrive>\\x", "C:\\x"},  // the doubled backslash is collapsed
  };
  for (const TExpandCase& c : cases) EXPECT_EQ(Expand(c.text), c.expected) << c.text;
}

TEST_F(MacroTest, TextMacrosComeFromTheOwnerAndTheValueProvider) {
  EXPECT_EQ(Expand("<UserName> of <companyname>"), "Ann of Acme");
  EXPECT_EQ(Expand("[<EnteredUserName>][<ProjectName>][<ProgramVersion>]"), "[][][]");

  SetMacroValueProvider([](const std::string& name) { return "{" + name + "}"; });
  const TExpandCase cases[] = {
      {"<EnteredUserName>", "{UserName}"},
      {"<EnteredCompanyName>", "{CompanyName}"},
      {"<VendorCompanyName>", "{VendorCompanyName}"},
      {"<ProjectName>", "{ProjectName}"},
      {"<ProgramDescriptiveName>", "{ProgramDescriptiveName}"},
      {"<ProgramVersion>", "{ProgramVersion}"},
      // A text macro does not count as a folder: no backslashes collapsed.
      {"<ProjectName>\\\\x", "{ProjectName}\\\\x"},
  };
  for (const TExpandCase& c : cases) EXPECT_EQ(Expand(c.text), c.expected) << c.text;
}

TEST_F(MacroTest, RunTimeFoldersAreResolvedOnlyWhenNamedOtherFoldersAlways) {
  EXPECT_EQ(Expand("<WinDir>"), "C:\\WINDOWS");
  EXPECT_EQ(fake.asked[TMacroSource::RunTimeDir1], 0);
  EXPECT_EQ(fake.asked[TMacroSource::RunTimeDir2], 0);
  EXPECT_EQ(fake.asked[TMacroSource::UserDesktopDir], 1);
  EXPECT_EQ(fake.asked[TMacroSource::AllUsersDesktopDir], 1);

  EXPECT_EQ(Expand("<RunTimeDir_1>\\bin;<runtimedir_2>"), "R:\\One\\bin;");
  EXPECT_EQ(fake.asked[TMacroSource::RunTimeDir1], 1);
  EXPECT_EQ(fake.asked[TMacroSource::RunTimeDir2], 1);
  EXPECT_EQ(fake.asked[TMacroSource::RunTimeDir3], 0);

  // A run-time folder counts as a long-name folder for "<InstallDir>".
  SetInstallFolders("C:\\Apps\\Tool", "", "");
  EXPECT_EQ(Expand("<RunTimeDir_1>\\<InstallDir>x"), "R:\\One\\x");
}

TEST_F(MacroTest, CustomTableIsLookedUpFirstAndOnlyWhenAsked) {
  SetCustomMacros("|<Brand>=Orvane|<WinDir>=Z:\\Win|<Loop>=<Brand>|");
  const TExpandCase withLookup[] = {
      {"<Brand>\\<WinDir>", "Orvane\\Z:\\Win"},
      {"<brand>", "Orvane"},
      {"<Loop>", "<Brand>"},  // an inserted value is not looked up again
      {"a<b", "a<b"},
      {"<Brand> <Unknown> <Brand>", "Orvane <Unknown> Orvane"},
      {"x<<Brand>", "x<<Brand>"},  // the token runs from the first "<"
  };
  for (const TExpandCase& c : withLookup)
    EXPECT_EQ(Expand(c.text, false, true), c.expected) << c.text;

  EXPECT_EQ(Expand("<Brand>\\<WinDir>", false, false), "<Brand>\\C:\\WINDOWS");
}

struct TDateCase {
  const char* text;
  const char* expected;
};

TEST_F(MacroTest, DateStampReplacesTheFirstValidCode) {
  const TDateCase cases[] = {
      {"<Date=6>", "2026-12-07"},
      {"<Date=6x>", "2026-12-07>"},
      {"<Date=9>", "<Date=9>"},
      {"<Date=>", "<Date=>"},
      {"<Date=6", "<Date=6"},
      {"a<Date=#>", "a07/December/2026"},
      {"<date=1>", "07-12-26"},
      {"<Date=2>", "12-07-26"},
      {"<Date=3>", "26-12-07"},
      {"<Date=4>", "07-12-2026"},
      {"<Date=5>", "12-07-2026"},
      {"<Date=7>", "2026-12-07 09:05:03"},
      {"<Date=0>", "9837"},
      {"log_<Date=6>.txt", "log_2026-12-07.txt"},
      {"<Date=6>/<Date=6>", "2026-12-07/<Date=6>"},
      {"<Date=9>/<Date=6>", "<Date=9>/<Date=6>"},
      {"<WinDir>\\<Date=6>", "C:\\WINDOWS\\2026-12-07"},
  };
  for (const TDateCase& c : cases) EXPECT_EQ(Expand(c.text), c.expected) << c.text;
}

TEST_F(MacroTest, DateStampAsksTheClockOnlyForAValidCode) {
  Expand("<Date=9> <Date=6");
  EXPECT_EQ(fake.clockReads, 0);
  Expand("<Date=4>");
  EXPECT_EQ(fake.clockReads, 1);
}

TEST(DateText, UsesTheLocaleSeparatorsAndMonthName) {
  TDateParts parts;
  parts.time = {2003, 2, 1, 23, 4, 5, 0};
  parts.monthName = "Februar";
  parts.dateSeparator = ".";
  parts.timeSeparator = ".";
  EXPECT_EQ(DateText('#', parts), "01.Februar.2003");
  EXPECT_EQ(DateText('4', parts), "01-02-2003");  // "-" is copied as it is
  EXPECT_EQ(DateText('7', parts), "2003-02-01 23.04.05");
  EXPECT_EQ(DateText('8', parts), "");
}

TEST(DateText, DayCountIsTheWholeDaysEitherSideOf2000) {
  const struct {
    TLocalTime time;
    const char* days;
  } cases[] = {
      {{2000, 1, 1, 0, 0, 0, 0}, "0"},    {{2000, 1, 1, 23, 59, 59, 0}, "0"},
      {{2000, 1, 2, 0, 0, 0, 0}, "1"},    {{2026, 12, 7, 9, 5, 3, 0}, "9837"},
      {{1999, 12, 31, 12, 0, 0, 0}, "0"},  // half a day before
      {{1999, 12, 30, 12, 0, 0, 0}, "1"}, {{1999, 12, 31, 0, 0, 0, 0}, "1"},
  };
  for (const auto& c : cases) {
    TDateParts parts;
    parts.time = c.time;
    EXPECT_EQ(DateText('0', parts), c.days)
        << c.time.year << "-" << c.time.month << "-" << c.time.day << " " << c.time.hour;
  }
}

TEST_F(MacroTest, DotsAreResolvedInWholePathsAndInListFields) {
  fake.fullPaths = {
      {"C:\\A\\B\\..\\C", "C:\\A\\C"}, {"C:\\A\\..\\B", "C:\\B"},
      {"..\\up", "C:\\work\\up"},      {"|no\\..\\list", "C:\\resolved"},
      {"C:\\unresolvable\\..\\x", ""},  // the system cannot resolve it
  };
  const TExpandCase cases[] = {
      {"C:\\A\\B\\..\\C", "C:\\A\\C"},
      {"|C:\\A\\..\\B|D:\\E|", "|C:\\B|D:\\E|"},
      {",..\\up,C:\\A\\..\\B,", ",C:\\work\\up,C:\\B,"},
      {"|no\\..\\list", "C:\\resolved"},  // not a list: resolved as a whole
      {"C:\\A\\file..txt", "C:\\A\\file..txt"},
      {"C:\\unresolvable\\..\\x", "C:\\unresolvable\\..\\x"},
  };
  for (const TExpandCase& c : cases) EXPECT_EQ(Expand(c.text, true), c.expected) << c.text;
  EXPECT_EQ(fake.resolved,
            (std::vector<std::string>{"C:\\A\\B\\..\\C", "C:\\A\\..\\B", "..\\up", "C:\\A\\..\\B",
                                      "|no\\..\\list", "C:\\unresolvable\\..\\x"}));
}

TEST_F(MacroTest, DotsAreResolvedAfterTheFoldersAreInserted) {
  SetInstallFolders("C:\\Apps\\Tool", "", "");
  fake.fullPaths = {{"C:\\Apps\\Tool\\..\\Other\\run.exe", "C:\\Apps\\Other\\run.exe"}};
  EXPECT_EQ(Expand("<InstallDir>\\..\\Other\\run.exe", true), "C:\\Apps\\Other\\run.exe");
  EXPECT_EQ(Expand("<InstallDir>\\..\\Other\\run.exe", false),
            "C:\\Apps\\Tool\\..\\Other\\run.exe");
}

}  // namespace
