// Runs the orvane-pack program as a user would.
#include <gtest/gtest.h>

#include <cstdio>

#include "pack_test_support.h"
#include "package/format.h"

namespace {

// A package put together by hand, for entries the packager refuses to
// write: the stub, two empty lists and the given zlib blocks.
std::string HandMadePackage(const std::vector<std::string>& entries) {
  THandMadeDisk disk;
  disk.Blocks = entries;
  disk.LangTexts = "\x02";
  disk.InfoList = "|||||";
  disk.StubSeed = 11;
  return HandMade(disk);
}

class PackCliTest : public TScratchFolderTest {
 protected:
  void SetUp() override {
    WriteAll(Path("Stub.exe"), FakeStub(1536, 11));
    ASSERT_EQ(std::system(("mkdir -p '" + Path("app/bin") + "'").c_str()), 0);
    WriteAll(Path("app/Setup.exe"), "MZ the setup program");
    WriteAll(Path("app/readme.txt"), "Read me.\n");
    WriteAll(Path("app/bin/data.bin"), RandomBytes(70000, 4));
    WriteAll(Path("texts.lng"),
             "; message texts\n[English]\ns1=Unpacking...\ns7=Bad CRC!<P>Try "
             "again\n\n[German]\ns1=Entpacken...\n");
  }

  std::string BuildArgs() const {
    return "build --stub " + Path("Stub.exe") + " --folder " + Path("app") +
           " --main 'Setup.exe* /S' --lang " + Path("texts.lng") +
           " --update-location http://example.com/up/ --update-info-name app.info" +
           " --auto-update-name AppUpd.exe --update-token tok-123 --make-auto-update --output " +
           Path("setup.exe");
  }
};

TEST(PackCli, HelpAndUsageErrors) {
  struct Case {
    const char* args;
    int exitCode;
    const char* shows;
  };
  const Case cases[] = {
      {"--help", 0, "orvane-pack extract PACKAGE FOLDER"},
      {"", 2, "Usage:"},
      {"frobnicate", 2, "unknown command"},
      {"list", 2, "Usage:"},
      {"build --no-such-option 1", 2, "Unknown option --no-such-option"},
      {"build --stub", 2, "--stub needs a value"},
      {"build --stub x.exe", 2, "give --output"},
      {"build --level 13 --output o.exe", 2, "--level takes a number from 1 to 12 with libdeflate"},
      {"build --level 0 --output o.exe", 2, "--level takes a number from 1 to 12"},
      {"build --level fast --output o.exe", 2, "--level takes a number from 1 to 12"},
      {"build --compressor zlib --level 10 --output o.exe", 2,
       "--level takes a number from 1 to 9 with zlib"},
      {"build --compressor gzip --output o.exe", 2, "--compressor takes libdeflate or zlib"},
      {"verify --loud x.exe", 2, "Usage:"},
      {"extract --quiet x.exe", 2, "Usage:"},
  };
  for (const Case& c : cases) {
    const TRun run = Pack(c.args);
    EXPECT_EQ(run.ExitCode, c.exitCode) << c.args;
    EXPECT_NE(run.Output.find(c.shows), std::string::npos) << c.args << "\n" << run.Output;
  }
}

TEST_F(PackCliTest, BuildListVerifyExtract) {
  const TRun build = Pack(BuildArgs());
  ASSERT_EQ(build.ExitCode, 0) << build.Output;
  EXPECT_NE(build.Output.find("3 file(s)"), std::string::npos) << build.Output;

  const TRun list = Pack("list " + Path("setup.exe"));
  ASSERT_EQ(list.ExitCode, 0) << list.Output;
  const char* expected[] = {
      "checksum expected",
      "matches",
      "magic 0x4A3B2C1D (ok)",
      "[English]",
      "s1=Unpacking...",
      "[German]",
      "UpdateToken          tok-123",
      "HiddenExtract        0",
      "WebList: none",
      "Setup.exe  [main program: Setup.exe* /S]",
      "bin\\data.bin",
      "readme.txt",
      "MakeAutoUpdateProg 1",
      "Entries: 3",
  };
  for (const char* text : expected)
    EXPECT_NE(list.Output.find(text), std::string::npos) << text << "\n" << list.Output;

  const TRun verify = Pack("verify --quiet " + Path("setup.exe"));
  EXPECT_EQ(verify.ExitCode, 0) << verify.Output;

  const TRun extract = Pack("extract " + Path("setup.exe") + " " + Path("out") + " --quiet");
  ASSERT_EQ(extract.ExitCode, 0) << extract.Output;
  // Not a terminal: no progress line, however long a command runs.
  for (const TRun* run : {&build, &verify, &extract}) {
    EXPECT_EQ(run->Output.find('\r'), std::string::npos) << run->Output;
  }
  for (const char* name : {"Setup.exe", "readme.txt", "bin/data.bin"}) {
    EXPECT_EQ(ReadAll(Path(std::string("out/") + name)), ReadAll(Path(std::string("app/") + name)))
        << name;
  }
}

TEST_F(PackCliTest, ProjectFileGivesTheSamePackage) {
  ASSERT_EQ(Pack(BuildArgs() + " --compressor zlib --level 4").ExitCode, 0);
  WriteAll(Path("setup.ini"),
           "[Package]\nstub = Stub.exe\nfolder = app\nmain = Setup.exe* /S\nlang = texts.lng\n"
           "update-location = http://example.com/up/\nupdate-info-name = app.info\n"
           "auto-update-name = AppUpd.exe\nupdate-token = tok-123\nmake-auto-update = 1\n"
           "output = from-project.exe\nthreads = 1\ncompressor = zlib\nlevel = 4\n");
  const TRun run = Pack("build --project " + Path("setup.ini"));
  ASSERT_EQ(run.ExitCode, 0) << run.Output;
  EXPECT_TRUE(ReadAll(Path("from-project.exe")) == ReadAll(Path("setup.exe")));

  // The command line wins over the project file.
  ASSERT_EQ(Pack("build --project " + Path("setup.ini") + " --update-token other --output " +
                 Path("o.exe"))
                .ExitCode,
            0);
  EXPECT_NE(Pack("list " + Path("o.exe")).Output.find("UpdateToken          other"),
            std::string::npos);

  WriteAll(Path("bad.ini"), "[Package]\nstub = Stub.exe\nno-such-key = 1\n");
  EXPECT_EQ(Pack("build --project " + Path("bad.ini")).ExitCode, 2);
  WriteAll(Path("bad-level.ini"), "[Package]\nstub = Stub.exe\noutput = o.exe\nlevel = 13\n");
  const TRun badLevel = Pack("build --project " + Path("bad-level.ini"));
  EXPECT_EQ(badLevel.ExitCode, 2);
  EXPECT_NE(badLevel.Output.find("--level takes a number"), std::string::npos) << badLevel.Output;
}

TEST_F(PackCliTest, SpannedPackageAndDamage) {
  const TRun build = Pack(BuildArgs() + " --disk-size 20K --threads 2");
  ASSERT_EQ(build.ExitCode, 0) << build.Output;
  ASSERT_TRUE(Exists(Path("setup.exe.002")));
  ASSERT_TRUE(Exists(Path("setup.exe.004")));
  EXPECT_EQ(Pack("verify " + Path("setup.exe")).ExitCode, 0);
  ASSERT_EQ(Pack("extract " + Path("setup.exe") + " " + Path("out")).ExitCode, 0);
  EXPECT_EQ(ReadAll(Path("out/bin/data.bin")), ReadAll(Path("app/bin/data.bin")));

  // One changed byte in disk 3: its checksum fails.
  std::string disk3 = ReadAll(Path("setup.exe.003"));
  disk3[100] ^= 0x20;
  WriteAll(Path("setup.exe.003"), disk3);
  TRun verify = Pack("verify " + Path("setup.exe"));
  EXPECT_EQ(verify.ExitCode, 1);
  EXPECT_NE(verify.Output.find("setup.exe.003: bad checksum"), std::string::npos) << verify.Output;
  const TRun extract = Pack("extract " + Path("setup.exe") + " " + Path("out2"));
  EXPECT_EQ(extract.ExitCode, 1);
  EXPECT_NE(extract.Output.find("extraction stopped"), std::string::npos) << extract.Output;

  std::remove(Path("setup.exe.003").c_str());
  verify = Pack("verify " + Path("setup.exe"));
  EXPECT_EQ(verify.ExitCode, 1);
  EXPECT_NE(verify.Output.find("missing disk file"), std::string::npos) << verify.Output;
}

TEST_F(PackCliTest, VerifyCatchesWrongMagicAndDamagedEntries) {
  ASSERT_EQ(Pack(BuildArgs()).ExitCode, 0);
  std::string file = ReadAll(Path("setup.exe"));
  std::string wrongMagic = file;
  wrongMagic[wrongMagic.size() - kTrailerSize + 12] ^= 1;
  WriteAll(Path("magic.exe"), wrongMagic);
  const TRun magic = Pack("verify " + Path("magic.exe"));
  EXPECT_EQ(magic.ExitCode, 1);
  EXPECT_NE(magic.Output.find("wrong magic"), std::string::npos) << magic.Output;

  // A block that is not a zlib stream, under a correct checksum.
  WriteAll(Path("damaged.exe"), HandMadePackage({EntryBlock("|a.txt|0|", "A"), "not zlib at all"}));
  const TRun damaged = Pack("verify " + Path("damaged.exe"));
  EXPECT_EQ(damaged.ExitCode, 1);
  EXPECT_NE(damaged.Output.find("does not inflate"), std::string::npos) << damaged.Output;
}

TEST_F(PackCliTest, ExtractRefusesEscapingNames) {
  const char* names[] = {"..\\evil1.txt", "\\evil2.txt",          "C:\\evil3.txt",
                         "C:evil4.txt",   "a\\..\\..\\evil5.txt", "/tmp/evil6.txt"};
  std::vector<std::string> entries;
  for (const char* name : names)
    entries.push_back(EntryBlock("|" + std::string(name) + "|0|", "x"));
  entries.push_back(EntryBlock("|good.txt|0|", "fine"));
  WriteAll(Path("names.exe"), HandMadePackage(entries));
  ASSERT_EQ(std::system(("mkdir -p '" + Path("deep/out") + "'").c_str()), 0);
  const TRun run = Pack("extract " + Path("names.exe") + " " + Path("deep/out"));
  EXPECT_EQ(run.ExitCode, 1);
  EXPECT_NE(run.Output.find("6 entries refused"), std::string::npos) << run.Output;
  EXPECT_EQ(ReadAll(Path("deep/out/good.txt")), "fine");
  // Nothing named evil* was written anywhere near the target folder.
  FILE* pipe = popen(
      ("find '" + scratch_.Root() + "' /tmp/evil6.txt -name 'evil*' 2>/dev/null").c_str(), "r");
  char line[512];
  std::string hits;
  while (pipe && fgets(line, sizeof line, pipe)) hits += line;
  if (pipe) pclose(pipe);
  EXPECT_EQ(hits, "");
}

TEST_F(PackCliTest, BadInputExitCodes) {
  WriteAll(Path("notpe.exe"), std::string(3000, 'x'));
  // On Windows a name of dots alone names the folder itself.
  ASSERT_EQ(std::system(("mkdir -p '" + Path("dots") + "'").c_str()), 0);
  WriteAll(Path("dots/..."), "x");
  struct Case {
    std::string args;
    std::string shows;
  };
  const Case cases[] = {
      {"build --stub " + Path("missing.exe") + " --folder " + Path("app") + " --output " +
           Path("o.exe"),
       "Launcher image not found"},
      {"build --stub " + Path("notpe.exe") + " --folder " + Path("app") + " --output " +
           Path("o.exe"),
       "Not a launcher image"},
      {"build --stub " + Path("Stub.exe") + " --folder " + Path("app") +
           " --main Install.exe --output " + Path("o.exe"),
       "not among the files"},
      {"build --stub " + Path("Stub.exe") + " " + Path("nothere.txt") + " --output " +
           Path("o.exe"),
       "File not found"},
      {"build --stub " + Path("Stub.exe") + " --folder " + Path("nodir") + " --output " +
           Path("o.exe"),
       "Cannot read the folder"},
      {"build --stub " + Path("Stub.exe") + " --folder " + Path("app") +
           " --disk-size 12Q --output " + Path("o.exe"),
       "Not a size"},
      {"build --stub " + Path("Stub.exe") + " --folder " + Path("app") +
           " --disk-size 1000 --output " + Path("o.exe"),
       "too small"},
      {"build --stub " + Path("Stub.exe") + " --folder " + Path("dots") + " --output " +
           Path("o.exe"),
       "The launcher would refuse the file name \"...\""},
      {"build --stub " + Path("Stub.exe") + " --folder " + Path("app") +
           " --success-by atom --output " + Path("o.exe"),
       "--success-by takes hand-shake or exit-code"},
      {"verify " + Path("missing.exe"), "Package not found"},
      {"list " + Path("missing.exe"), "Package not found"},
  };
  for (const Case& c : cases) {
    const TRun run = Pack(c.args);
    EXPECT_EQ(run.ExitCode, 1) << c.args << "\n" << run.Output;
    EXPECT_NE(run.Output.find(c.shows), std::string::npos) << c.args << "\n" << run.Output;
    EXPECT_FALSE(Exists(Path("o.exe"))) << c.args;
    EXPECT_FALSE(Exists(Path("o.exe.tmp"))) << c.args;
  }
}

}  // namespace
