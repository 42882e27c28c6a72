// Preference overrides, the override list that carries them between agent
// processes, INI flag reading and the built-in message texts.
#include "update/update_settings_rules.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

class OverridesTest : public testing::Test {
 protected:
  void SetUp() override {
    for (uint8_t& value : PreferenceOverrides) value = kFollowInfoFile;
  }
  void TearDown() override { SetUp(); }

  static std::vector<int> Bytes() {
    return std::vector<int>(PreferenceOverrides, PreferenceOverrides + kPreferenceCount);
  }
};

TEST_F(OverridesTest, FormatsSixBytesBetweenBars) {
  EXPECT_EQ("|255|255|255|255|255|255|", FormatOverrideList());
  SetPreferenceOverride(1, 1);
  SetPreferenceOverride(4, 0);
  EXPECT_EQ("|255|1|255|255|0|255|", FormatOverrideList());
}

TEST_F(OverridesTest, SetOutsideTheSixBytesChangesNothing) {
  SetPreferenceOverride(-1, 7);
  SetPreferenceOverride(6, 7);
  EXPECT_EQ(std::vector<int>(6, 255), Bytes());
  SetPreferenceOverride(5, 9);
  EXPECT_EQ(9, PreferenceOverrides[5]);
}

TEST_F(OverridesTest, ParseTable) {
  struct Case {
    const char* list;
    std::vector<int> start;
    std::vector<int> expected;
  };
  const std::vector<Case> cases = {
      {"|1||x|", {255, 255, 255, 255, 255, 255}, {1, 255, 255, 255, 255, 255}},
      {"|255|1|255|255|0|255|", {9, 9, 9, 9, 9, 9}, {255, 1, 255, 255, 0, 255}},
      {",0,1,2,3,4,5,", {9, 9, 9, 9, 9, 9}, {0, 1, 2, 3, 4, 5}},
      {"", {1, 2, 3, 4, 5, 6}, {1, 2, 3, 4, 5, 6}},
      {"|a|b|c|d|e|f|", {1, 2, 3, 4, 5, 6}, {1, 2, 3, 4, 5, 6}},
      {"| 1|2 |+3|-1|256|7|8|", {0, 0, 0, 0, 0, 0}, {0, 0, 3, 255, 0, 7}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.list);
    for (int i = 0; i < kPreferenceCount; ++i)
      PreferenceOverrides[i] = static_cast<uint8_t>(c.start[i]);
    ParseOverrideList(c.list);
    EXPECT_EQ(c.expected, Bytes());
  }
}

TEST_F(OverridesTest, FormatThenParseRestoresTheBytes) {
  const uint8_t values[kPreferenceCount] = {0, 1, 2, 128, 254, 255};
  for (int i = 0; i < kPreferenceCount; ++i) PreferenceOverrides[i] = values[i];
  const std::string list = FormatOverrideList();
  for (uint8_t& value : PreferenceOverrides) value = 42;
  ParseOverrideList(list);
  EXPECT_EQ(std::vector<int>(values, values + kPreferenceCount), Bytes());
}

TEST_F(OverridesTest, FlagFollowsFileOnlyAt255) {
  struct Case {
    uint8_t byte;
    bool fileValue;
    bool expected;
  };
  const std::vector<Case> cases = {
      {255, true, true}, {255, false, false}, {1, false, true},   {1, true, true},
      {0, true, false},  {2, true, false},    {254, true, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "byte " << int(c.byte) << " file " << c.fileValue);
    PreferenceOverrides[kBackgroundUpdate] = c.byte;
    EXPECT_EQ(c.expected, OverriddenFlag(kBackgroundUpdate, c.fileValue));
  }
}

TEST_F(OverridesTest, AskBeforeCheckOnlyWhenByteZeroIsOne) {
  EXPECT_FALSE(AskBeforeCheck());
  PreferenceOverrides[kAskBeforeCheck] = 0;
  EXPECT_FALSE(AskBeforeCheck());
  PreferenceOverrides[kAskBeforeCheck] = 2;
  EXPECT_FALSE(AskBeforeCheck());
  PreferenceOverrides[kAskBeforeCheck] = 1;
  EXPECT_TRUE(AskBeforeCheck());
}

TEST(IniFlagTest, OnlyExactOne) {
  EXPECT_TRUE(IsIniFlag("1"));
  for (const char* text : {"", "0", "yes", "true", "TRUE", " 1", "1 ", "01", "11", "-1"}) {
    EXPECT_FALSE(IsIniFlag(text)) << text;
  }
}

TEST(DefaultAutoUpdateTextTest, Table) {
  EXPECT_EQ("No valid Internet Connection.<p>Can not Download File!",
            DefaultAutoUpdateText("s2", "X"));
  EXPECT_EQ("File Download Aborted!", DefaultAutoUpdateText("s3", ""));
  EXPECT_EQ("File not Found!", DefaultAutoUpdateText("s4", ""));
  EXPECT_EQ("Unable to Download File!", DefaultAutoUpdateText("s5", ""));
  EXPECT_EQ(
      "<b>NEW UPDATE</b><P><P>Orvane will check if a new update is available for: <b>Tool"
      "</b><P>",
      DefaultAutoUpdateText("s22", "Tool"));
  EXPECT_EQ("Please make sure your Internet connection is properly set.<P>",
            DefaultAutoUpdateText("s23", ""));
  EXPECT_EQ("<P>Do you want to check and install the new Update?",
            DefaultAutoUpdateText("s24", ""));
  EXPECT_EQ("Downloading INFO File...", DefaultAutoUpdateText("s31", ""));
  EXPECT_EQ("Downloading UPDATE File...", DefaultAutoUpdateText("s32", ""));
  for (const char* id : {"s11", "s12", "s13", "s14", "s15", "s16", "s17", "s21", "S2", "x"}) {
    EXPECT_EQ("", DefaultAutoUpdateText(id, "Tool")) << id;
  }
}

TEST(RunTimeStateTest, InitialValues) {
  EXPECT_TRUE(AutoCheckEnabled);
  EXPECT_EQ(TAgentPhase::Idle, AgentPhase);
  EXPECT_STREQ("|&OK|&Cancel|&Yes|&No|&Abort|&Retry|&Ignore|", kDefaultBtnText);
}

}  // namespace
