#include "pack/progress_line.h"

#include <gtest/gtest.h>

namespace {

TEST(ProgressText, FiguresToText) {
  struct Case {
    TProgressFigures figures;
    const char* text;
  };
  const Case cases[] = {
      // Nothing measured yet: no speed, no time left.
      {{0, 2037, 0, 210782760, 0.0}, "0/2037 files, 0.0/210.8 MB, -- MB/s, --:-- left"},
      {{0, 2037, 0, 210782760, 1.5}, "0/2037 files, 0.0/210.8 MB, -- MB/s, --:-- left"},
      // 27.1 MB/s, 126.5 MB to go: 4.67 s, shown as 0:05.
      {{812, 2037, 84300000, 210782760, 3.11},
       "812/2037 files, 84.3/210.8 MB, 27.1 MB/s, 0:05 left"},
      // Minutes and hours.
      {{1, 10, 1000000, 1000000000, 1.0}, "1/10 files, 1.0/1000.0 MB, 1.0 MB/s, 16:39 left"},
      {{1, 10, 1000000, 5000000000, 1.0}, "1/10 files, 1.0/5000.0 MB, 1.0 MB/s, 1:23:19 left"},
      // Done.
      {{2037, 2037, 210782760, 210782760, 7.8},
       "2037/2037 files, 210.8/210.8 MB, 27.0 MB/s, 0:00 left"},
      // Totals not known: no "/total", no time left.
      {{5, 0, 2500000, 0, 0.5}, "5 files, 2.5 MB, 5.0 MB/s, --:-- left"},
  };
  for (const Case& c : cases) EXPECT_EQ(ProgressText(c.figures), c.text);
}

TEST(ProgressLine, DisabledOrQuickRunsShowNothing) {
  char buffer[256] = {};
  std::FILE* out = fmemopen(buffer, sizeof buffer, "w");
  ASSERT_NE(out, nullptr);
  TProgressFigures figures{1, 1, 10, 10, 0};
  {
    TProgressLine off(false, out);
    off.Update(figures);
    off.Finish(figures);
    // Enabled, but over before the first redraw is due.
    TProgressLine quick(true, out);
    quick.Update(figures);
    quick.Finish(figures);
  }
  std::fclose(out);
  EXPECT_STREQ(buffer, "");
}

}  // namespace
