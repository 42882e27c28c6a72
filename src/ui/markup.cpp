#include "ui/markup.h"

#include <algorithm>

#include "util/text.h"

namespace {

const char kCrLf[] = "\r\n";

// The heading of a box without an owner: bold, then an empty line. Views
// with their lengths fixed at compile time, so that joining them counts no
// characters at run time.
constexpr std::string_view kHeadingOpen = "<<b>";
constexpr std::string_view kHeadingClose = "</b><P><P>";
constexpr std::string_view kLineBreak = "<P>";

// Fields of the caption list, in the order OK, Cancel, Yes, No, Abort,
// Retry, Ignore.
enum TCaptionField {
  kFieldOk,
  kFieldCancel,
  kFieldYes,
  kFieldNo,
  kFieldAbort,
  kFieldRetry,
  kFieldIgnore
};

struct TSlotDef {
  int field;  // -1: no button in this slot
  int answer;
};

// Slots 1..3 of each button style 0..5.
const TSlotDef kStyleSlots[6][3] = {
    {{kFieldOk, kIdOk}, {-1, 0}, {-1, 0}},
    {{kFieldOk, kIdOk}, {kFieldCancel, kIdCancel}, {-1, 0}},
    {{kFieldAbort, kIdAbort}, {kFieldRetry, kIdRetry}, {kFieldIgnore, kIdIgnore}},
    {{kFieldYes, kIdYes}, {kFieldNo, kIdNo}, {kFieldCancel, kIdCancel}},
    {{kFieldYes, kIdYes}, {kFieldNo, kIdNo}, {-1, 0}},
    {{kFieldRetry, kIdRetry}, {kFieldCancel, kIdCancel}, {-1, 0}},
};

// Removes the first "<B>" ... "</B>" pair (either letter case) from `text`
// and appends its run to `bold`. False when no "<B>" is left.
bool TakeBoldRun(std::string& text, std::vector<TBoldRun>& bold) {
  const int openAt = PosText("<B>", text);
  if (openAt == 0) return false;
  const size_t open = static_cast<size_t>(openAt - 1);
  text.erase(open, 3);
  const int closeAt = PosText("</B>", text);
  // A "</B>" in front of the "<B>" closes nothing: it stays until the end.
  if (closeAt == 0 || static_cast<size_t>(closeAt - 1) <= open) return true;
  const size_t close = static_cast<size_t>(closeAt - 1);
  text.erase(close, 4);
  bold.push_back({open, close});
  return true;
}

}  // namespace

TMarkupText ParseMarkup(const std::string& markup) {
  // The escapes match exactly, the tags in either letter case.
  static const struct {
    const char* find;
    const char* replacement;
    std::string (*replace)(const std::string&, const char*, const char*);
  } kSteps[] = {
      {"\\\\n", kCrLf, ReplaceAll},
      {"\\\\t", "\t", ReplaceAll},
      {"<P>", kCrLf, ReplaceAllText},
      {"<T>", "\t", ReplaceAllText},
  };
  std::string text = markup;
  for (const auto& step : kSteps) text = step.replace(text, step.find, step.replacement);
  if (text.compare(0, 4, "<<b>") == 0) text.erase(0, 1);

  TMarkupText result;
  while (TakeBoldRun(text, result.bold)) {
  }
  result.text = ReplaceAllText(text, "</B>", "");
  return result;
}

std::string HeadedText(const std::string& caption, const std::string& text) {
  return Concat({kHeadingOpen, UpperCase(caption), kHeadingClose, text, kLineBreak});
}

uint32_t StyleForCharset(uint32_t style, uint8_t charset) {
  if (charset == 177 || charset == 178) return style | kStyleRight | kStyleRtlReading;
  return style;
}

TSize MeasureText(const std::string& text, const TLineExtent& lineExtent) {
  TSize total{0, 0};
  size_t start = 0;
  for (;;) {
    const size_t end = text.find(kCrLf, start);
    std::string line = text.substr(start, end - start);
    if (line.empty()) line = " ";
    const TSize extent = lineExtent(line);
    total.width = std::max(total.width, extent.width);
    total.height += (extent.width / kMaxTextWidth + 1) * extent.height;
    if (end == std::string::npos) break;
    start = end + 2;
  }
  total.width = std::min(total.width, kMaxTextWidth);
  return total;
}

int FitTextWidth(const TSize& measured, bool hasBold, const TResizeProbe& probe) {
  probe(measured.width + 10);
  if (!hasBold) return measured.width + 10;
  int widest = measured.width;
  for (int i = 0; i <= 20; ++i) {
    const int width = measured.width + 10 * i;
    const TSize requested = probe(width);
    if (requested.height <= measured.height) return width;
    widest = std::max(widest, requested.width);
  }
  probe(widest + 10);
  return widest + 10;
}

TSize BoxSizeFor(const TSize& text, const TSystemFrame& frame) {
  const int marginX = text.width < 200 ? 64 : 32;
  const int marginY = text.height < 39 ? 45 : 32;
  TSize box;
  box.width = std::max(kMinBoxWidth, text.width + 2 * frame.frameX + 2 * marginX + kBandWidth);
  box.height = text.height + 2 * frame.frameY + 2 * marginY + frame.caption + kButtonStripHeight;
  return box;
}

TPoint CentredOn(const TSize& screen, const TSize& size) {
  return {(screen.width - size.width) / 2, (screen.height - size.height) / 2};
}

TPoint TextControlPosition(const TSize& client, const TSize& text) {
  return {(client.width - text.width - kBandWidth) / 2 + kBandWidth,
          (client.height - text.height - kButtonStripHeight) / 2};
}

TButtonSlots ButtonSlotsFor(uint32_t style, const std::string& buttonTexts) {
  TButtonSlots slots;
  const uint32_t buttons = style & kStyleButtonMask;
  if (buttons >= 6) return slots;
  for (int i = 0; i < 3; ++i) {
    const TSlotDef& def = kStyleSlots[buttons][i];
    if (def.field < 0) continue;
    slots[i].present = true;
    slots[i].caption = GetField(buttonTexts, def.field, "");
    slots[i].answer = def.answer;
  }
  return slots;
}

std::array<int, 3> ButtonLefts(int clientWidth, const std::array<bool, 3>& present) {
  std::array<int, 3> lefts{-1, -1, -1};
  int left = clientWidth - 80;
  for (int i = 2; i >= 0; --i) {
    if (!present[i]) continue;
    lefts[i] = left;
    left -= kButtonWidth;
  }
  return lefts;
}

int ButtonTop(int clientHeight) { return clientHeight - 29; }

static_assert(kIconQuestion == kIconHand + 1 && kIconExclamation == kIconHand + 2 &&
              kIconAsterisk == kIconHand + 3);

int IconIdFor(uint32_t style) {
  // The icon styles 0x10..0x40 name the system icons hand, question,
  // exclamation and asterisk, in the order of their resource numbers.
  const uint32_t icon = (style & kStyleIconMask) >> 4;
  return icon >= 1 && icon <= 4 ? kIconHand - 1 + static_cast<int>(icon) : 0;
}

int DefaultSlotFor(uint32_t style) {
  // The default-button styles 0x100 and 0x200 name the second and third slot.
  const uint32_t slot = (style & kStyleDefaultMask) >> 8;
  return slot <= 2 ? static_cast<int>(slot) : 0;
}

int MoveSlot(int focused, int step, const std::array<bool, 3>& present) {
  // Left is two steps right around three slots, which keeps the index
  // non-negative even from -1.
  const int advance = step < 0 ? 2 : 1;
  int slot = focused;
  for (int tries = 0; tries < 3; ++tries) {
    slot = (slot + advance) % 3;
    if (present[slot]) return slot;
  }
  return -1;
}

int MnemonicSlot(const std::array<std::string, 3>& captions, char typed) {
  const char capital =
      (typed >= 'a' && typed <= 'z') ? static_cast<char>(typed - 'a' + 'A') : typed;
  for (int i = 0; i < 3; ++i) {
    if (captions[i].size() < 2) continue;
    const char mnemonic = captions[i][1];
    if (mnemonic == typed || mnemonic == capital) return i;
  }
  return -1;
}
