// The text parsers that read what a package, a command line or a settings
// file brings: the first byte picks the family, the rest is its input.
#include <algorithm>
#include <string>

#include "fuzz_support.h"
#include "package/driver_rules.h"
#include "package/extract_rules.h"
#include "package/messages.h"
#include "paths/language_table.h"
#include "startup/transient_copy.h"
#include "ui/markup.h"
#include "util/text.h"

namespace {

bool HasBlankEnds(const std::string& text) {
  return !text.empty() && (static_cast<unsigned char>(text.front()) <= 32 ||
                           static_cast<unsigned char>(text.back()) <= 32);
}

void Markup(TFuzzInput& in) {
  const std::string markup = in.Text();
  const TMarkupText parsed = ParseMarkup(markup);
  // Tags only ever come out: the text shrinks, and every run is a
  // non-empty stretch within what the markup spans. (A "<B>" nested inside
  // a run is removed after the run was recorded, so such a run reaches
  // further than its text, as the rules of the tag language have it; the
  // rich edit control clamps a selection to its text.)
  FUZZ_CHECK(parsed.text.size() <= markup.size());
  for (const TBoldRun& run : parsed.bold) {
    FUZZ_CHECK(run.start < run.end);
    FUZZ_CHECK(run.end <= markup.size());
  }
  // A heading always comes out in bold at the very start.
  const std::string caption = in.Text();
  const TMarkupText headed = ParseMarkup(HeadedText(caption, markup));
  FUZZ_CHECK(!headed.bold.empty() || caption.empty() ||
             UpperCase(caption).find("</B>") != std::string::npos ||
             UpperCase(caption).find("<B>") != std::string::npos ||
             UpperCase(caption).find("<P>") != std::string::npos ||
             caption.find("\\\\") != std::string::npos);
  const uint32_t style = in.U32();
  const TButtonSlots slots = ButtonSlotsFor(style, in.Rest());
  std::array<bool, 3> present{};
  std::array<std::string, 3> captions;
  for (int i = 0; i < 3; ++i) {
    present[i] = slots[i].present;
    captions[i] = slots[i].caption;
  }
  const int moved = MoveSlot(static_cast<int>(style % 4) - 1, (style & 16) ? 1 : -1, present);
  FUZZ_CHECK(moved >= -1 && moved < 3);
  FUZZ_CHECK(moved == -1 || present[static_cast<size_t>(moved)]);
  const int mnemonic = MnemonicSlot(captions, static_cast<char>(style >> 8));
  FUZZ_CHECK(mnemonic >= -1 && mnemonic < 3);
}

void Fields(TFuzzInput& in) {
  const int index = static_cast<int>(in.Byte() % 40) - 2;
  const std::string value = in.Text();
  const std::string key = in.Text();
  std::string list = in.Rest();
  const int count = FieldCount(list);
  FUZZ_CHECK(count >= 0 && static_cast<size_t>(count) <= list.size());
  for (int i = -1; i <= count + 1; ++i) {
    const std::string field = GetField(list, i, "\x01");
    // A field never holds the list's delimiter.
    FUZZ_CHECK(field == "\x01" || field.find(list[0]) == std::string::npos);
    FUZZ_CHECK(i >= 0 || field == "\x01");
  }
  const std::string found = GetKeyValue(list, key, "\x01");
  FUZZ_CHECK(found == "\x01" || list.empty() || found.find(list[0]) == std::string::npos);

  const std::string before = list;
  SetField(list, index, value);
  if (index < 0) {
    FUZZ_CHECK(list == before);
    return;
  }
  const int newCount = FieldCount(list);
  FUZZ_CHECK(newCount == std::max(count, index + 1) || value.find(list[0]) != std::string::npos);
  if (value.find(list[0]) != std::string::npos) return;
  FUZZ_CHECK(GetField(list, index, "") == value);
  for (int i = 0; i < count; ++i) {
    if (i != index) FUZZ_CHECK(GetField(list, i, "") == GetField(before, i, ""));
  }
}

void CommandTail(TFuzzInput& in) {
  const std::string program = in.Text();
  const std::string sw = in.Text();
  const std::string commandLine = in.Rest();
  const std::string tail = CommandTailOf(commandLine, program);
  FUZZ_CHECK(!HasBlankEnds(tail));
  FUZZ_CHECK(tail.size() <= commandLine.size());
  const bool has = HasSwitchIn(tail, sw);
  const std::string value = SwitchValueIn(tail, sw);
  if (!has) FUZZ_CHECK(value.empty());
  FUZZ_CHECK(!HasBlankEnds(value));
  int64_t number = 0;
  const bool numeric = TryParseInt64(value, number);
  const int64_t got = SwitchIntIn(tail, sw, -7);
  FUZZ_CHECK(numeric ? got == number : got == -7);
}

void Language(TFuzzInput& in) {
  const std::string language = in.Text();
  const std::string id = in.Text();
  const std::string langTexts = in.Rest();
  const std::string section = ChooseLangSection(langTexts, language);
  // Either no section, or one of the list's own fields.
  bool isField = section == "*";
  for (int i = 0, n = FieldCount(langTexts); i < n && !isField; ++i) {
    isField = GetField(langTexts, i, "") == section;
  }
  FUZZ_CHECK(isField);
  ResetChosenLangSection();
  const std::string text = LookupLangText(langTexts, id, "\x01");
  FUZZ_CHECK(*ChosenLangSection == ChooseLangSection(langTexts, "ENGLISH"));
  if (*ChosenLangSection == "*") FUZZ_CHECK(text == "\x01");
  ResetChosenLangSection();
  const int32_t charset = CharsetFromText(id);
  FUZZ_CHECK(charset == StrToIntDef(id, 0));
  uint32_t style = StyleForCharset(0, static_cast<uint8_t>(charset));
  FUZZ_CHECK(style == 0 || charset % 256 == 177 || charset % 256 == 178 || charset % 256 == -79 ||
             charset % 256 == -78);
  const std::string name = LanguageName(static_cast<int32_t>(language.size() + 2 * id.size()) - 8);
  FUZZ_CHECK(name.empty() || name == Trim(UpperCase(name)));
}

void Numbers(TFuzzInput& in) {
  const int base = in.Byte() % 18;
  const std::string text = in.Text();
  int64_t value = 0;
  if (TryParseInt64(text, value)) {
    // Every accepted number reads back from its own decimal form.
    int64_t again = 1;
    FUZZ_CHECK(TryParseInt64(std::to_string(value), again) && again == value);
    const int32_t narrow = StrToIntDef(text, 5);
    FUZZ_CHECK(value < INT32_MIN || value > INT32_MAX ? narrow == 5 : narrow == value);
    const std::string padded = ZeroPad(value, static_cast<int>(text.size() % 30));
    FUZZ_CHECK(StrToInt64Def(padded, value + (value == INT64_MAX ? -1 : 1)) == value);
  } else {
    FUZZ_CHECK(value == 0);
    FUZZ_CHECK(StrToInt64Def(text, 11) == 11);
  }
  ParseRadix(text, base);
  ParseHex(text);
  const int32_t a = in.I32(), b = in.I32(), c = in.I32();
  const int32_t clamped = ClampInt(a, b, c);
  FUZZ_CHECK(b > c ? clamped == c : (clamped >= b && clamped <= c));
}

void EntryHeader(TFuzzInput& in) {
  const std::string header = in.Rest();
  const TEntryHeader entry = ParseEntryHeader(header);
  FUZZ_CHECK(entry.Name.find('/') == std::string::npos);
  FUZZ_CHECK(entry.Name.find('*') == std::string::npos);
  FUZZ_CHECK(entry.MarksMain == (header.find('*') != std::string::npos));
  FUZZ_CHECK(!entry.MarksMain || !entry.MainProgram.empty());
  if (IsSafeEntryName(entry.Name)) {
    FUZZ_CHECK(entry.Name.find(':') == std::string::npos);
    FUZZ_CHECK(entry.Name.empty() || entry.Name[0] != '\\');
    FUZZ_CHECK(entry.Name.find("\\..\\") == std::string::npos);
    FUZZ_CHECK(entry.Name.compare(0, 3, "..\\") != 0 && entry.Name != "..");
  }
  // The same checks hold for the raw bytes as a name.
  if (IsSafeEntryName(header)) {
    FUZZ_CHECK(header.find(':') == std::string::npos);
    FUZZ_CHECK(header.find("/../") == std::string::npos);
  }
}

void PathNames(TFuzzInput& in) {
  const std::string ext = in.Text();
  const std::string path = in.Rest();
  const std::string name = ExtractFileName(path);
  FUZZ_CHECK(ExtractFilePath(path) + name == path);
  FUZZ_CHECK(ExtractFileExt(path).size() <= name.size());
  FUZZ_CHECK(ChangeFileExt(path, ext).size() + ExtractFileExt(path).size() ==
             path.size() + ext.size());
  const std::string collapsed = CollapseBackslashes(path, true);
  FUZZ_CHECK(collapsed.size() <= path.size());
  FUZZ_CHECK(collapsed.size() < 3 || collapsed.find("\\\\", 1) == std::string::npos);
  FUZZ_CHECK(Unquote(path, true).size() <= path.size());
  FUZZ_CHECK(!HasBlankEnds(Trim(path)));
}

// The main program named by an entry header, started with the arguments it
// carries; the switches a launcher hands to its transient copy and reads
// back; the size of a download as shown.
void StartCommand(TFuzzInput& in) {
  TStartInput start;
  start.AutoUpdateProg = (in.Byte() & 1) != 0;
  start.PackageSaysExitCode = (in.Byte() & 1) != 0;
  start.TargetFolder = in.Text();
  start.Arguments = in.Text();
  start.HandShakeArguments = "/OriginalInfoFile=x";
  start.MainProgram = in.Text();
  start.RunToken = "_77";
  start.SystemFolder = "C:\\W";
  const TStartCommand command = BuildStartCommand(start);
  const std::string& line = command.CommandLine;
  const std::string& path = command.ProgramPath;
  // The folder, then the entry's name without its mark and arguments.
  const std::string folder = SetTrailingBackslash(start.TargetFolder, true);
  FUZZ_CHECK(path.compare(0, folder.size(), folder) == 0);
  FUZZ_CHECK(path.find('*', folder.size()) == std::string::npos);
  if (command.SuccessBy == TSuccessBy::HandShake) {
    // The path unquoted, then the arguments, the token switch last.
    FUZZ_CHECK(!start.PackageSaysExitCode && command.Application == path);
    FUZZ_CHECK(line.compare(0, path.size(), path) == 0);
    const std::string end =
        std::string(" /TH_ID=_77") + (start.AutoUpdateProg ? " /AutoUpdateProg" : "");
    FUZZ_CHECK(line.size() >= path.size() + end.size());
    FUZZ_CHECK(line.compare(line.size() - end.size(), end.size(), end) == 0);
  } else {
    // The quoted program (msiexec on the quoted package), then nothing but
    // the caller's and the publisher's arguments.
    const std::string quoted = "\"" + path + "\"";
    const std::string head =
        command.Application == path ? quoted : "\"" + command.Application + "\" /i " + quoted;
    FUZZ_CHECK(line.compare(0, head.size(), head) == 0);
    FUZZ_CHECK(line.size() <= head.size() + 2 + start.Arguments.size() + start.MainProgram.size());
  }

  const std::string value = in.Text();
  unsigned long long window = 1;
  unsigned long message = 1;
  ParseListenerSwitch(value, window, message);
  const unsigned long long wantedWindow = in.U32();
  const unsigned long wantedMessage = in.Byte();
  ParseListenerSwitch(std::to_string(wantedWindow) + ":" + std::to_string(wantedMessage), window,
                      message);
  FUZZ_CHECK(window == wantedWindow && message == wantedMessage);

  const std::string size = FormatMB(static_cast<double>(StrToInt64Def(value, 0)));
  FUZZ_CHECK(!size.empty() && size.size() < 24 && size.find('.') != std::string::npos);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  TFuzzInput in(data, size);
  switch (in.Byte() % 8) {
    case 0:
      Markup(in);
      break;
    case 1:
      Fields(in);
      break;
    case 2:
      CommandTail(in);
      break;
    case 3:
      Language(in);
      break;
    case 4:
      Numbers(in);
      break;
    case 5:
      EntryHeader(in);
      break;
    case 6:
      PathNames(in);
      break;
    default:
      StartCommand(in);
      break;
  }
  return 0;
}
