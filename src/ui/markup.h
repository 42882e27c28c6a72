// The message box's portable half: the tag language of message texts
// ("<P>", "<T>", "<B>"..."</B>", "\\n", "\\t") turned into plain text with
// bold runs, and the arithmetic that sizes and lays out the box. The window
// half (ui/msgbox.h) feeds it measurements from the system and applies what
// it computes.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "util/callback.h"

// MessageBox style bits as the box reads them (same values as the system's).
constexpr uint32_t kStyleButtonMask = 0x0F;
constexpr uint32_t kStyleIconMask = 0xF0;
constexpr uint32_t kStyleDefaultMask = 0xF00;
constexpr uint32_t kStyleRight = 0x80000;
constexpr uint32_t kStyleRtlReading = 0x100000;

// Dialog result ids; 0 means closed without a button.
constexpr int kIdOk = 1;
constexpr int kIdCancel = 2;
constexpr int kIdAbort = 3;
constexpr int kIdRetry = 4;
constexpr int kIdIgnore = 5;
constexpr int kIdYes = 6;
constexpr int kIdNo = 7;

// System icon ids; 0 stands for the program's own "MainIcon".
constexpr int kIconHand = 32513;
constexpr int kIconQuestion = 32514;
constexpr int kIconExclamation = 32515;
constexpr int kIconAsterisk = 32516;

// The caption list callers pass when they have no localized one.
inline constexpr char kDefaultButtonTexts[] = "|&OK|&Cancel|&Yes|&No|&Abort|&Retry|&Ignore|";

// Layout constants of the box, in pixels.
constexpr int kBandWidth = 54;  // blue band on the left
constexpr int kButtonStripHeight = 36;
constexpr int kButtonWidth = 70;
constexpr int kButtonHeight = 23;
constexpr int kMaxTextWidth = 600;  // a wider line wraps
constexpr int kMinBoxWidth = 360;

// A bold stretch of the plain text: 0-based character offsets, end
// exclusive, CR LF counting as two characters.
struct TBoldRun {
  size_t start;
  size_t end;
  bool operator==(const TBoldRun& other) const { return start == other.start && end == other.end; }
};

struct TMarkupText {
  std::string text;
  std::vector<TBoldRun> bold;  // in the order found
};

// Applies the tag language: escapes and breaks first, then the "<<b>"
// heading fix, then the bold runs; any other tag stays as written.
TMarkupText ParseMarkup(const std::string& markup);

// The text shown by a box without an owner: the caption in capitals as a
// bold heading, an empty line, the text and a closing line break.
std::string HeadedText(const std::string& caption, const std::string& text);

// Adds right alignment and right-to-left reading for the Hebrew (177) and
// Arabic (178) character sets; any other charset leaves the style alone.
uint32_t StyleForCharset(uint32_t style, uint8_t charset);

struct TSize {
  int width;
  int height;
};

// Size of one line of text in the box font.
using TLineExtent = TCallback<TSize(const std::string& line)>;

// Measures plain text line by line (split at CR LF, an empty line counting as
// one blank): width is the widest line capped at 600, height the sum of each
// line's height times the number of started 600-pixel widths.
TSize MeasureText(const std::string& text, const TLineExtent& lineExtent);

// Resizes the text control to `width` (height stays) and returns the size
// the control last asked for through its resize request.
using TResizeProbe = TCallback<TSize(int width)>;

// Finds the text control's width. The measured width suffices for plain
// text; bold text is wider than measured, so with bold runs the width grows
// in 10-pixel steps (up to 20 steps) until the control asks for no more than
// the measured height. Returns the width to give the control; the probe has
// then been called with every width tried.
int FitTextWidth(const TSize& measured, bool hasBold, const TResizeProbe& probe);

struct TSystemFrame {
  int frameX;   // SM_CXFRAME
  int frameY;   // SM_CYFRAME
  int caption;  // SM_CYCAPTION
};

// Outer size of the box around a text control of `text` size.
TSize BoxSizeFor(const TSize& text, const TSystemFrame& frame);

struct TPoint {
  int x;
  int y;
};

// Left-top corner that centres a `size` rectangle in a `screen` one.
TPoint CentredOn(const TSize& screen, const TSize& size);

// Where the text control goes in a box client of `client` size: centred right
// of the band and above the button strip.
TPoint TextControlPosition(const TSize& client, const TSize& text);

struct TButtonSlot {
  bool present = false;
  std::string caption;
  int answer = 0;
};
using TButtonSlots = std::array<TButtonSlot, 3>;

// The buttons a style asks for, left to right, their captions taken from the
// delimited list `buttonTexts` (missing fields give empty captions).
TButtonSlots ButtonSlotsFor(uint32_t style, const std::string& buttonTexts);

// Left edges of the slots in a client `clientWidth` wide; the buttons touch
// and the rightmost present one ends 10 pixels from the edge. Absent slots
// get -1.
std::array<int, 3> ButtonLefts(int clientWidth, const std::array<bool, 3>& present);

// Top edge of every button.
int ButtonTop(int clientHeight);

// The icon id the style asks for (0: the program's own icon).
int IconIdFor(uint32_t style);

// 0-based index of the default slot (MB_DEFBUTTON1..3; other values slot 1).
int DefaultSlotFor(uint32_t style);

// Arrow-key move from slot index `focused` (-1 when no button has the
// focus): step -1 for Left/Up, +1 for Right/Down, wrapping around the three
// slots and skipping absent ones. -1 when no slot has a button.
int MoveSlot(int focused, int step, const std::array<bool, 3>& present);

// The slot whose caption's mnemonic (its second character) is the typed
// character or its capital; on a tie the leftmost slot wins. -1 for none.
int MnemonicSlot(const std::array<std::string, 3>& captions, char typed);
