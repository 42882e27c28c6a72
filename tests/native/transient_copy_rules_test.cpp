#include <gtest/gtest.h>

#include "startup/transient_copy.h"

TEST(TransientCopy, CopyLivesBesideTheProgram) {
  EXPECT_EQ(TransientCopyPath("C:\\Apps\\Tool\\Update.exe"), "C:\\Apps\\Tool\\X_Update.exe");
  EXPECT_EQ(TransientCopyPath("C:\\Update.exe"), "C:\\X_Update.exe");
}

TEST(TransientCopy, SwitchesHandedOnToTheCopy) {
  struct Case {
    const char* transient;
    const char* delay;
    const char* switches;
  } cases[] = {
      {"", "", ""},
      {"|255|1|255|255|0|255|", "", " /TRANSIENTx=|255|1|255|255|0|255|"},
      {"", "5", " /SleepX=5"},
      {"TRUE", "0", " /TRANSIENTx=TRUE /SleepX=0"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(TransientCopySwitches(c.transient, c.delay), c.switches) << c.transient << c.delay;
  }
}

TEST(TransientCopy, ListenerSwitchHoldsHandleAndMessage) {
  struct Case {
    const char* value;
    unsigned long long window;
    unsigned long message;
  } cases[] = {
      {"12345:49321", 12345, 49321},
      {"12345", 12345, 0},
      {"abc:def", 0, 0},
      {":7", 0, 7},
  };
  for (const Case& c : cases) {
    unsigned long long window = 99;
    unsigned long message = 99;
    ParseListenerSwitch(c.value, window, message);
    EXPECT_EQ(window, c.window) << c.value;
    EXPECT_EQ(message, c.message) << c.value;
  }
}
