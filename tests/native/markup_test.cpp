#include "ui/markup.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

struct TMarkupCase {
  const char* markup;
  const char* text;
  std::vector<TBoldRun> bold;
};

TEST(MarkupTest, TagsBecomePlainTextAndBoldRuns) {
  const TMarkupCase cases[] = {
      {"a<B>b</B>c", "abc", {{1, 2}}},
      {"<b>x</B>", "x", {{0, 1}}},
      {"<B>x</b>", "x", {{0, 1}}},
      {"x</B>y<B>z", "xyz", {}},
      {"<I>x</I>", "<I>x</I>", {}},
      {"Line1<P>Line2\\\\nLine3<T>x", "Line1\r\nLine2\r\nLine3\tx", {}},
      {"a<p>b<t>c\\\\td", "a\r\nb\tc\td", {}},
      // Escapes are case-exact: "\\N" is no break.
      {"a\\\\Nb", "a\\\\Nb", {}},
      // A single backslash before n is plain text.
      {"a\\nb", "a\\nb", {}},
      {"<<b>HEAD</b><P><P>body<P>", "HEAD\r\n\r\nbody\r\n", {{0, 4}}},
      // Only a lower-case "<<b>" at the very start loses its first "<".
      {"<<B>x</B>", "<x", {{1, 2}}},
      {"y<<b>x</b>", "y<x", {{2, 3}}},
      {"<B>one</B> and <B>two</B>", "one and two", {{0, 3}, {8, 11}}},
      {"<B>open", "open", {}},
      {"a<B></B>b", "ab", {}},
      {"x</B>", "x", {}},
      // Offsets count CR LF as two characters, as the rich edit 1.0 does.
      {"a<P><B>b</B>", "a\r\nb", {{3, 4}}},
      // The first "</B>" after a "<B>" belongs to it; a stray second one is dropped.
      {"<B>a</B>b</B>", "ab", {{0, 1}}},
      {"", "", {}},
  };
  for (const TMarkupCase& c : cases) {
    const TMarkupText parsed = ParseMarkup(c.markup);
    EXPECT_EQ(parsed.text, c.text) << c.markup;
    EXPECT_EQ(parsed.bold, c.bold) << c.markup;
  }
}

TEST(MarkupTest, BoldOffsetsBeyondSixteenBitsStayExact) {
  const std::string filler(70000, 'a');
  const TMarkupText parsed = ParseMarkup(filler + "<B>b</B>");
  ASSERT_EQ(parsed.bold.size(), 1u);
  EXPECT_EQ(parsed.bold[0], (TBoldRun{70000, 70001}));
}

TEST(MarkupTest, HeadingShowsCaptionInCapitalsAsBoldFirstLine) {
  const TMarkupText parsed = ParseMarkup(HeadedText("Error ä", "Disk full"));
  EXPECT_EQ(parsed.text, "ERROR ä\r\n\r\nDisk full\r\n");
  ASSERT_EQ(parsed.bold.size(), 1u);
  EXPECT_EQ(parsed.bold[0], (TBoldRun{0, 8}));
}

TEST(MarkupTest, RightToLeftOnlyForHebrewAndArabic) {
  const struct {
    uint8_t charset;
    uint32_t style;
  } cases[] = {{177, 0x180024}, {178, 0x180024}, {0, 0x24}, {204, 0x24}, {238, 0x24}, {1, 0x24}};
  for (const auto& c : cases)
    EXPECT_EQ(StyleForCharset(0x24, c.charset), c.style) << int(c.charset);
}

// Every character 10 pixels wide, lines 13 high.
TSize TenPerChar(const std::string& line) { return {static_cast<int>(line.size()) * 10, 13}; }

TEST(MarkupTest, MeasureCountsStartedSixHundredPixelWidths) {
  const struct {
    std::string text;
    TSize size;
  } cases[] = {
      {"", {10, 13}},  // measured as one blank
      {"abc", {30, 13}},
      {"ab\r\n\r\nabcd", {40, 39}},        // empty middle line is one blank
      {"ab\r\n", {20, 26}},                // trailing break adds a line
      {std::string(130, 'x'), {600, 39}},  // 1300 pixels: three lines, capped width
      {std::string(60, 'x'), {600, 26}},   // exactly 600 starts a second line
      {std::string(59, 'x') + "\r\n" + std::string(61, 'y'), {600, 13 + 26}},
      {"a\rb\nc", {50, 13}},  // lone CR or LF does not split
  };
  for (const auto& c : cases) {
    const TSize size = MeasureText(c.text, TenPerChar);
    EXPECT_EQ(size.width, c.size.width) << c.text;
    EXPECT_EQ(size.height, c.size.height) << c.text;
  }
}

TEST(MarkupTest, MeasureSeesEachLineOnce) {
  std::vector<std::string> seen;
  MeasureText("one\r\n\r\ntwo", [&](const std::string& line) {
    seen.push_back(line);
    return TSize{1, 1};
  });
  EXPECT_EQ(seen, (std::vector<std::string>{"one", " ", "two"}));
}

// A text control that wraps bold text: it asks for `height` only once it is
// at least `fitsFrom` wide, else for twice that height, and always asks for
// `wants` width.
struct TFakeControl {
  int fitsFrom;
  int wants;
  std::vector<int> widths;
  TSize operator()(int width) {
    widths.push_back(width);
    return {wants, width >= fitsFrom ? 26 : 52};
  }
};

TEST(MarkupTest, FitWidthOfPlainTextIsMeasuredPlusTen) {
  TFakeControl control{1000, 0, {}};
  EXPECT_EQ(FitTextWidth({200, 26}, false, std::ref(control)), 210);
  EXPECT_EQ(control.widths, (std::vector<int>{210}));
}

TEST(MarkupTest, FitWidthGrowsInTenPixelStepsForBoldText) {
  TFakeControl fitsAtOnce{200, 0, {}};
  EXPECT_EQ(FitTextWidth({200, 26}, true, std::ref(fitsAtOnce)), 200);
  EXPECT_EQ(fitsAtOnce.widths, (std::vector<int>{210, 200}));

  TFakeControl fitsLater{225, 0, {}};
  EXPECT_EQ(FitTextWidth({200, 26}, true, std::ref(fitsLater)), 230);
  EXPECT_EQ(fitsLater.widths, (std::vector<int>{210, 200, 210, 220, 230}));
}

TEST(MarkupTest, FitWidthFallsBackToWidestRequestAfterTwentyOneTries) {
  TFakeControl never{100000, 470, {}};
  EXPECT_EQ(FitTextWidth({200, 26}, true, std::ref(never)), 480);
  ASSERT_EQ(never.widths.size(), 23u);
  EXPECT_EQ(never.widths[21], 400);
  EXPECT_EQ(never.widths.back(), 480);

  // Requests narrower than the measurement keep the measured width.
  TFakeControl narrow{100000, 50, {}};
  EXPECT_EQ(FitTextWidth({200, 26}, true, std::ref(narrow)), 210);
}

TEST(MarkupTest, BoxSizeMarginsAndMinimumWidth) {
  const TSystemFrame frame{4, 4, 19};
  const struct {
    TSize text;
    TSize box;
  } cases[] = {
      {{20, 13}, {360, 13 + 8 + 90 + 19 + 36}},  // small text: wide margins, minimum width
      {{199, 38}, {199 + 8 + 128 + 54, 38 + 8 + 90 + 19 + 36}},
      {{200, 39}, {360, 39 + 8 + 64 + 19 + 36}},  // 200 + 8 + 64 + 54 = 326 < 360
      {{610, 39}, {610 + 8 + 64 + 54, 39 + 8 + 64 + 19 + 36}},
  };
  for (const auto& c : cases) {
    const TSize box = BoxSizeFor(c.text, frame);
    EXPECT_EQ(box.width, c.box.width) << c.text.width << "x" << c.text.height;
    EXPECT_EQ(box.height, c.box.height) << c.text.width << "x" << c.text.height;
  }
}

TEST(MarkupTest, CentringAndTextPlacementTruncate) {
  const TPoint centre = CentredOn({1024, 768}, {361, 201});
  EXPECT_EQ(centre.x, 331);
  EXPECT_EQ(centre.y, 283);
  // A box larger than the screen goes up and left; truncation is toward zero.
  const TPoint over = CentredOn({100, 100}, {103, 101});
  EXPECT_EQ(over.x, -1);
  EXPECT_EQ(over.y, 0);

  const TPoint text = TextControlPosition({400, 200}, {101, 51});
  EXPECT_EQ(text.x, (400 - 101 - 54) / 2 + 54);
  EXPECT_EQ(text.y, (200 - 51 - 36) / 2);
}

TEST(MarkupTest, ButtonsByStyle) {
  const struct {
    uint32_t style;
    std::array<const char*, 3> captions;  // nullptr: no button
    std::array<int, 3> answers;
  } cases[] = {
      {0x00, {"&OK", nullptr, nullptr}, {kIdOk, 0, 0}},
      {0x01, {"&OK", "&Cancel", nullptr}, {kIdOk, kIdCancel, 0}},
      {0x02, {"&Abort", "&Retry", "&Ignore"}, {kIdAbort, kIdRetry, kIdIgnore}},
      {0x03, {"&Yes", "&No", "&Cancel"}, {kIdYes, kIdNo, kIdCancel}},
      {0x24, {"&Yes", "&No", nullptr}, {kIdYes, kIdNo, 0}},
      {0x05, {"&Retry", "&Cancel", nullptr}, {kIdRetry, kIdCancel, 0}},
      {0x06, {nullptr, nullptr, nullptr}, {0, 0, 0}},
      {0x0F, {nullptr, nullptr, nullptr}, {0, 0, 0}},
  };
  for (const auto& c : cases) {
    const TButtonSlots slots = ButtonSlotsFor(c.style, kDefaultButtonTexts);
    for (int i = 0; i < 3; ++i) {
      EXPECT_EQ(slots[i].present, c.captions[i] != nullptr) << c.style << " slot " << i;
      EXPECT_EQ(slots[i].caption, c.captions[i] ? c.captions[i] : "") << c.style << " slot " << i;
      EXPECT_EQ(slots[i].answer, c.answers[i]) << c.style << " slot " << i;
    }
  }
}

TEST(MarkupTest, ShortCaptionListGivesButtonsWithoutCaptions) {
  const TButtonSlots slots = ButtonSlotsFor(0x04, "|&Ja|&Nein|");
  EXPECT_TRUE(slots[0].present);
  EXPECT_TRUE(slots[1].present);
  EXPECT_EQ(slots[0].caption, "");
  EXPECT_EQ(slots[1].caption, "");
  EXPECT_EQ(MnemonicSlot({slots[0].caption, slots[1].caption, slots[2].caption}, 'J'), -1);
  EXPECT_EQ(MnemonicSlot({slots[0].caption, slots[1].caption, slots[2].caption}, 'N'), -1);

  const TButtonSlots german = ButtonSlotsFor(0x01, "|&Ja|&Abbrechen|");
  EXPECT_EQ(german[0].caption, "&Ja");
  EXPECT_EQ(german[1].caption, "&Abbrechen");
}

TEST(MarkupTest, ButtonLeftEdgesTouchFromTheRight) {
  EXPECT_EQ(ButtonLefts(400, {true, true, true}), (std::array<int, 3>{180, 250, 320}));
  EXPECT_EQ(ButtonLefts(400, {true, true, false}), (std::array<int, 3>{250, 320, -1}));
  EXPECT_EQ(ButtonLefts(400, {true, false, false}), (std::array<int, 3>{320, -1, -1}));
  EXPECT_EQ(ButtonLefts(400, {false, false, false}), (std::array<int, 3>{-1, -1, -1}));
  EXPECT_EQ(ButtonTop(120), 91);
}

TEST(MarkupTest, IconAndDefaultSlotByStyle) {
  const struct {
    uint32_t style;
    int icon;
    int slot;
  } cases[] = {
      {0x00, 0, 0},
      {0x10, kIconHand, 0},
      {0x24, kIconQuestion, 0},
      {0x130, kIconExclamation, 1},
      {0x243, kIconAsterisk, 2},
      {0x50, 0, 0},
      {0x300, 0, 0},
      {0xF0, 0, 0},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(IconIdFor(c.style), c.icon) << c.style;
    EXPECT_EQ(DefaultSlotFor(c.style), c.slot) << c.style;
  }
}

TEST(MarkupTest, ArrowKeysWrapAndSkipMissingSlots) {
  const std::array<bool, 3> all{true, true, true};
  const std::array<bool, 3> two{true, true, false};
  const std::array<bool, 3> one{true, false, false};
  const std::array<bool, 3> none{false, false, false};
  const struct {
    int focused;
    int step;
    std::array<bool, 3> present;
    int expected;
  } cases[] = {
      // In `two` slot 3 is missing: the move back from slot 0 goes on to slot 2.
      {0, -1, all, 2},  {0, +1, all, 1},    {2, +1, all, 0},   {1, -1, all, 0},  {-1, -1, all, 1},
      {-1, +1, all, 0}, {0, -1, two, 1},    {1, +1, two, 0},   {-1, -1, two, 1}, {0, -1, one, 0},
      {0, +1, one, 0},  {-1, +1, none, -1}, {0, -1, none, -1},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(MoveSlot(c.focused, c.step, c.present), c.expected) << c.focused << " " << c.step;
  }
}

TEST(MarkupTest, MnemonicMatchesTypedLetterAndCapital) {
  const std::array<std::string, 3> yesNo{"&Yes", "&No", ""};
  EXPECT_EQ(MnemonicSlot(yesNo, 'Y'), 0);
  EXPECT_EQ(MnemonicSlot(yesNo, 'y'), 0);
  EXPECT_EQ(MnemonicSlot(yesNo, 'n'), 1);
  EXPECT_EQ(MnemonicSlot(yesNo, 'x'), -1);
  EXPECT_EQ(MnemonicSlot(yesNo, '&'), -1);
  // A lower-case mnemonic only matches the same lower-case letter.
  EXPECT_EQ(MnemonicSlot({"&ok", "", ""}, 'o'), 0);
  EXPECT_EQ(MnemonicSlot({"&ok", "", ""}, 'O'), -1);
  // On a tie the leftmost button wins; one-character captions never match.
  EXPECT_EQ(MnemonicSlot({"&Retry", "&Rest", "&Run"}, 'r'), 0);
  EXPECT_EQ(MnemonicSlot({"R", "&Rest", "&Run"}, 'R'), 1);
}

}  // namespace
