// Macro expansion over texts from settings and packages, with a fixed
// stand-in system: folders, clock and path resolution chosen by the input.
#include <string>

#include "fuzz_support.h"
#include "paths/macros.h"
#include "util/text.h"

namespace {

bool HasDots(const std::string& text) {
  return PosText("\\..", text) > 0 || PosText("..\\", text) > 0;
}

TDateParts PartsFrom(TFuzzInput& in) {
  // The clock is the system's, not outside data: always a valid date.
  TDateParts parts;
  parts.time.year = 1601 + static_cast<int>(in.U32() % 8399);
  parts.time.month = 1 + in.Byte() % 12;
  parts.time.day = 1 + in.Byte() % 28;
  parts.time.hour = in.Byte() % 24;
  parts.time.minute = in.Byte() % 60;
  parts.time.second = in.Byte() % 60;
  parts.monthName = "March";
  parts.dateSeparator = "/";
  parts.timeSeparator = ":";
  return parts;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  TFuzzInput in(data, size);
  const uint8_t flags = in.Byte();
  const TDateParts parts = PartsFrom(in);
  const std::string folder = in.Text();
  const std::string suffix = in.Text();
  const std::string custom = in.Text();
  const std::string text = in.Rest();

  const TMacroFolders folders{folder, "C:\\Common", ""};
  SetCustomMacros(custom);
  SetMacroValueProvider(
      [&](const std::string& name) { return name == "UserName" ? folder : name; });
  TMacroEnvironment environment;
  environment.value = [&](TMacroSource source) {
    if (source == TMacroSource::TempDir) return folder;
    if (source == TMacroSource::OriginDir) return std::string("D");
    return "C:\\Dir" + std::to_string(static_cast<int>(source));
  };
  environment.now = [&] { return parts; };
  const bool resolves = (flags & 4) != 0;
  environment.fullPath = [&](const std::string& path) {
    FUZZ_CHECK(HasDots(path));
    return resolves ? std::string("C:\\Full") : std::string();
  };

  const std::string expanded =
      ExpandMacrosWith(environment, folders, text, suffix, (flags & 1) != 0, (flags & 2) != 0);
  // Without a macro bracket or a dotted segment nothing changes.
  if (text.find('<') == std::string::npos && (!(flags & 1) || !HasDots(text))) {
    FUZZ_CHECK(expanded == text);
  }

  // Paths the system cannot resolve are kept as written, in lists too.
  const auto failing = [](const std::string&) { return std::string(); };
  FUZZ_CHECK(NormaliseDotsWith(text, failing) == text);
  const std::string normal = NormaliseDotsWith(text, environment.fullPath);
  if (HasDots(text) && (text[0] == ',' || text[0] == '|') && FieldCount(text) > 0) {
    FUZZ_CHECK(FieldCount(normal) == FieldCount(text));
  }

  const std::string macro = "<" + custom + ">";
  const std::string substituted = SubstituteMacro(text, macro, folder, suffix);
  if (PosText(macro, text) == 0) FUZZ_CHECK(substituted == text);

  const std::string stamped = ExpandDateStamp(text, environment.now);
  if (PosText("<Date=", text) == 0) FUZZ_CHECK(stamped == text);
  FUZZ_CHECK(stamped.size() <= text.size() + 32);

  const char code = static_cast<char>('0' + flags % 9);
  const std::string date = DateText(code == '8' ? '#' : code, parts);
  static const size_t kLengths[] = {0, 8, 8, 8, 10, 10, 10, 19};
  if (code == '0') {
    FUZZ_CHECK(!date.empty() && date.find_first_not_of("0123456789") == std::string::npos);
  } else if (code < '8' && parts.time.year >= 1000) {
    FUZZ_CHECK(date.size() == kLengths[code - '0']);
  }
  SetMacroValueProvider(nullptr);
  return 0;
}
