#include "util/text.h"

#include <algorithm>
#include <atomic>
#include <limits>

#include "util/clock.h"

namespace {

bool IsBlank(char c) { return static_cast<unsigned char>(c) <= 32; }

bool IsPathDelimiter(char c) { return c == '\\' || c == '/' || c == ':'; }

char UpperChar(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

// 0-based index of the last path delimiter, or npos.
size_t LastDelimiter(const std::string& path) {
  for (size_t i = path.size(); i > 0; --i) {
    if (IsPathDelimiter(path[i - 1])) return i - 1;
  }
  return std::string::npos;
}

// 0-based index of the extension's dot inside the name part, or npos.
size_t ExtensionDot(const std::string& path) {
  size_t dot = path.rfind('.');
  if (dot == std::string::npos) return dot;
  size_t delimiter = LastDelimiter(path);
  if (delimiter != std::string::npos && delimiter > dot) return std::string::npos;
  return dot;
}

std::string Replace(const std::string& text, const std::string& find,
                    const std::string& replacement, bool ignoreCase) {
  if (find.empty()) return text;
  // The search runs on a shadow copy so that case folding never touches the
  // text that is kept, and continues behind each replacement so that neither
  // an inserted text nor text joined around it is matched again.
  const std::string shadow = ignoreCase ? UpperCase(text) : text;
  const std::string pattern = ignoreCase ? UpperCase(find) : find;
  std::string result;
  size_t from = 0;
  for (size_t at = shadow.find(pattern); at != std::string::npos; at = shadow.find(pattern, from)) {
    result.append(text, from, at - from);
    result += replacement;
    from = at + pattern.size();
  }
  result.append(text, from, std::string::npos);
  return result;
}

}  // namespace

std::string Concat(std::initializer_list<std::string_view> pieces) {
  size_t size = 0;
  for (std::string_view piece : pieces) size += piece.size();
  std::string text;
  text.reserve(size);
  for (std::string_view piece : pieces) text.append(piece.data(), piece.size());
  return text;
}

std::string Decimal(int64_t number) {
  char digits[20];
  char* first = digits + sizeof digits;
  uint64_t magnitude = number < 0 ? 0 - static_cast<uint64_t>(number) : number;
  do {
    *--first = static_cast<char>('0' + magnitude % 10);
    magnitude /= 10;
  } while (magnitude != 0);
  std::string text(number < 0 ? "-" : "");
  text.append(first, digits + sizeof digits);
  return text;
}

int32_t MinInt(int32_t a, int32_t b) { return a < b ? a : b; }

int32_t MaxInt(int32_t a, int32_t b) { return a > b ? a : b; }

int32_t ClampInt(int32_t value, int32_t low, int32_t high) {
  if (value < low) value = low;
  if (value > high) value = high;
  return value;
}

bool TryParseInt64(const std::string& text, int64_t& value) {
  size_t i = 0;
  bool negative = false;
  if (!text.empty() && (text[0] == '+' || text[0] == '-')) {
    negative = text[0] == '-';
    i = 1;
  }
  if (i >= text.size()) return false;
  // Accumulate as a negative number: its range is one larger.
  const int64_t min = std::numeric_limits<int64_t>::min();
  int64_t accumulated = 0;
  for (; i < text.size(); ++i) {
    char c = text[i];
    if (c < '0' || c > '9') return false;
    int digit = c - '0';
    if (accumulated < (min + digit) / 10) return false;
    accumulated = accumulated * 10 - digit;
  }
  if (!negative) {
    if (accumulated == min) return false;
    accumulated = -accumulated;
  }
  value = accumulated;
  return true;
}

int64_t StrToInt64Def(const std::string& text, int64_t def) {
  int64_t value = def;
  return TryParseInt64(text, value) ? value : def;
}

int32_t StrToIntDef(const std::string& text, int32_t def) {
  int64_t value = 0;
  if (!TryParseInt64(text, value)) return def;
  if (value < std::numeric_limits<int32_t>::min() || value > std::numeric_limits<int32_t>::max())
    return def;
  return static_cast<int32_t>(value);
}

std::string ZeroPad(int64_t number, int width) {
  std::string digits = std::to_string(number);
  std::string sign;
  if (number < 0) {
    sign = "-";
    digits.erase(0, 1);
  }
  int missing = width - static_cast<int>(sign.size() + digits.size());
  if (missing > 0) digits.insert(0, static_cast<size_t>(missing), '0');
  return sign + digits;
}

std::string FixedDecimal(double value, int places) {
  places = ClampInt(places, 0, 9);
  uint64_t scale = 1;
  for (int i = 0; i < places; ++i) scale *= 10;
  // The wider type keeps the product's own rounding from deciding a tie that
  // the double does not hold.
  const long double magnitude = value < 0 ? -static_cast<long double>(value) : value;
  const long double scaled = magnitude * scale;
  uint64_t units = 0;
  if (scaled < 1e18L) {  // also false for NaN
    units = static_cast<uint64_t>(scaled);
    const long double rest = scaled - static_cast<long double>(units);
    if (rest > 0.5L || (rest == 0.5L && (units & 1) != 0)) ++units;
  }
  std::string text = std::to_string(units / scale);
  if (places > 0) text += "." + ZeroPad(static_cast<int64_t>(units % scale), places);
  return (value < 0 && units != 0 ? "-" : "") + text;
}

int64_t ParseRadix(const std::string& text, int base) {
  static const std::string kAlphabet = "0123456789ABCDEF";
  const std::string digits = UpperCase(Trim(text));
  uint64_t result = 0;
  uint64_t weight = 1;
  for (size_t i = digits.size(); i > 0; --i) {
    size_t place = kAlphabet.find(digits[i - 1]);
    uint64_t digit = place == std::string::npos ? ~uint64_t{0} : place;
    result += digit * weight;
    weight *= static_cast<uint64_t>(static_cast<int64_t>(base));
  }
  return static_cast<int64_t>(result);
}

uint32_t ParseHex(const std::string& text) {
  return static_cast<uint32_t>(static_cast<uint64_t>(ParseRadix(text, 16)));
}

namespace {

// SplitMix64: one multiply-xorshift step per number. Good enough for folder
// names and refused tokens, and small: a full generator's state and seeding
// would cost the launcher a kilobyte for a single draw.
uint64_t NextSplitMix(uint64_t& state) {
  uint64_t z = (state += 0x9E3779B97F4A7C15ULL);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
  return z ^ (z >> 31);
}

}  // namespace

std::string RandomDecimal(int64_t low, int64_t high) {
  static std::atomic<uint64_t> calls{0};
  if (high <= low) return std::to_string(low);
  // The clock alone repeats within its resolution; the call counter keeps
  // two calls in the same tick from drawing the same number. Every call
  // seeds afresh, so each has a generator of its own and needs no lock.
  uint64_t state = PreciseTicks() ^ (++calls * 0xD1B54A32D192ED03ULL);
  const uint64_t span = static_cast<uint64_t>(high) - static_cast<uint64_t>(low);
  uint64_t offset = NextSplitMix(state);
  if (span != UINT64_MAX) {
    // Draws below `skip` would make the low values likelier: drawn again.
    const uint64_t count = span + 1;
    const uint64_t skip = (0 - count) % count;
    while (offset < skip) offset = NextSplitMix(state);
    offset %= count;
  }
  return std::to_string(static_cast<int64_t>(static_cast<uint64_t>(low) + offset));
}

int PosText(const std::string& sub, const std::string& text) { return PosTextFrom(sub, text, 1); }

int PosFrom(const std::string& sub, const std::string& text, int start) {
  if (sub.empty() || start < 1 || static_cast<size_t>(start) > text.size()) return 0;
  size_t at = text.find(sub, static_cast<size_t>(start - 1));
  return at == std::string::npos ? 0 : static_cast<int>(at + 1);
}

int PosTextFrom(const std::string& sub, const std::string& text, int start) {
  return PosFrom(UpperCase(sub), UpperCase(text), start);
}

int LastPos(const std::string& sub, const std::string& text) {
  if (sub.empty()) return 0;
  size_t at = text.rfind(sub);
  return at == std::string::npos ? 0 : static_cast<int>(at + 1);
}

bool EndsWithText(const std::string& suffix, const std::string& text) {
  if (suffix.empty() || suffix.size() > text.size()) return false;
  return UpperCase(text.substr(text.size() - suffix.size())) == UpperCase(suffix);
}

std::string ReverseString(const std::string& text) {
  return std::string(text.rbegin(), text.rend());
}

std::string Trim(const std::string& text) {
  size_t first = 0;
  size_t last = text.size();
  while (first < last && IsBlank(text[first])) ++first;
  while (last > first && IsBlank(text[last - 1])) --last;
  return text.substr(first, last - first);
}

std::string UpperCase(const std::string& text) {
  std::string result = text;
  std::transform(result.begin(), result.end(), result.begin(), UpperChar);
  return result;
}

bool SameTextTrimmed(const std::string& a, const std::string& b) {
  return UpperCase(Trim(a)) == UpperCase(Trim(b));
}

std::string ReplaceAll(const std::string& text, const std::string& find,
                       const std::string& replacement) {
  return Replace(text, find, replacement, false);
}

std::string ReplaceAllText(const std::string& text, const std::string& find,
                           const std::string& replacement) {
  return Replace(text, find, replacement, true);
}

std::string Unquote(const std::string& text, bool loose) {
  if (text == "\"") return "";
  if (text.size() < 2) return text;
  bool leading = text.front() == '"';
  bool trailing = text.back() == '"';
  if (leading && trailing) return text.substr(1, text.size() - 2);
  if (!loose) return text;
  std::string result = text;
  if (leading) result.erase(0, 1);
  if (trailing) result.pop_back();
  return result;
}

int FieldCount(const std::string& list) {
  if (list.empty() || list.back() != list.front()) return 0;
  return static_cast<int>(std::count(list.begin() + 1, list.end(), list.front()));
}

std::string GetField(const std::string& list, int index, const std::string& def) {
  if (list.empty() || index < 0) return def;
  const char delimiter = list.front();
  size_t start = 0;  // index of the delimiter that opens the field
  for (int i = 0; i < index; ++i) {
    start = list.find(delimiter, start + 1);
    if (start == std::string::npos) return def;
  }
  size_t end = list.find(delimiter, start + 1);
  if (end == std::string::npos || end == start + 1) return def;
  return list.substr(start + 1, end - start - 1);
}

void SetField(std::string& list, int index, const std::string& value) {
  if (index < 0) return;
  const std::string source = list.empty() ? "|" : list;
  const int count = std::max(FieldCount(source), index + 1);
  const char delimiter = source.front();
  std::string rebuilt(1, delimiter);
  for (int i = 0; i < count; ++i) {
    rebuilt += i == index ? value : GetField(source, i, "");
    rebuilt += delimiter;
  }
  list = rebuilt;
}

std::string GetKeyValue(const std::string& list, const std::string& key, const std::string& def) {
  if (list.size() <= 2 || list.back() != list.front()) return def;
  const std::string d(1, list.front());
  std::string wanted = d + key;
  if (wanted.back() != '=') wanted += '=';
  const std::string normal = ReplaceAll(ReplaceAll(list, d + " ", d), " =", "=");
  int at = PosText(wanted, normal);
  if (at == 0) return def;
  size_t valueStart = static_cast<size_t>(at - 1) + wanted.size();
  size_t valueEnd = normal.find(d[0], valueStart);
  if (valueEnd == std::string::npos) valueEnd = normal.size();
  return normal.substr(valueStart, valueEnd - valueStart);
}

std::string CommandTailOf(const std::string& commandLine, const std::string& programPath) {
  std::string tail = commandLine;
  int at = PosText(programPath, tail);
  if (at > 0) tail.erase(static_cast<size_t>(at - 1), programPath.size());
  // The program's own path usually came in quotes; what is left of them is
  // peeled off together with the blanks around it.
  tail = Trim(tail);
  while (!tail.empty() && tail.front() == '"') tail = Trim(tail.substr(1));
  while (!tail.empty() && tail.back() == '"') {
    tail.pop_back();
    tail = Trim(tail);
  }
  return tail;
}

bool HasSwitchIn(const std::string& tail, const std::string& sw) { return PosText(sw, tail) > 0; }

std::string SwitchValueIn(const std::string& tail, const std::string& sw) {
  int at = PosText(sw, tail);
  if (at == 0) return "";
  std::string rest = tail.substr(static_cast<size_t>(at - 1) + sw.size());
  if (rest.empty()) return "TRUE";
  if (rest.front() == '"') {
    rest.erase(0, 1);
    rest = rest.substr(0, rest.find('"'));
  } else {
    rest = rest.substr(0, rest.find(' '));
    rest = rest.substr(0, rest.find('/'));
  }
  return Trim(rest);
}

int64_t SwitchIntIn(const std::string& tail, const std::string& sw, int64_t def) {
  return StrToInt64Def(SwitchValueIn(tail, sw), def);
}

std::string SetTrailingBackslash(const std::string& path, bool withSlash) {
  std::string result = path;
  if (result.size() > 2 && result.back() == '\\') result.pop_back();
  if (withSlash) result += '\\';
  return result;
}

std::string StripTrailingBackslash(const std::string& path) {
  if (!path.empty() && path.back() == '\\') return path.substr(0, path.size() - 1);
  return path;
}

std::string CollapseBackslashes(const std::string& path, bool stripTrailing) {
  if (path.empty()) return path;
  std::string result(1, path.front());
  for (size_t i = 1; i < path.size(); ++i) {
    if (path[i] == '\\' && i > 1 && path[i - 1] == '\\') continue;
    result += path[i];
  }
  return stripTrailing ? StripTrailingBackslash(result) : result;
}

std::string ExtractFileName(const std::string& path) {
  size_t delimiter = LastDelimiter(path);
  return delimiter == std::string::npos ? path : path.substr(delimiter + 1);
}

std::string ExtractFilePath(const std::string& path) {
  size_t delimiter = LastDelimiter(path);
  return delimiter == std::string::npos ? "" : path.substr(0, delimiter + 1);
}

std::string ExtractFileDir(const std::string& path) {
  size_t delimiter = LastDelimiter(path);
  if (delimiter == std::string::npos) return "";
  size_t length = delimiter + 1;
  if (delimiter > 0 && path[delimiter] != ':' && !IsPathDelimiter(path[delimiter - 1])) --length;
  return path.substr(0, length);
}

std::string ExtractFileExt(const std::string& path) {
  size_t dot = ExtensionDot(path);
  return dot == std::string::npos ? "" : path.substr(dot);
}

std::string ChangeFileExt(const std::string& path, const std::string& ext) {
  size_t dot = ExtensionDot(path);
  return (dot == std::string::npos ? path : path.substr(0, dot)) + ext;
}

std::string BaseName(const std::string& path) { return ChangeFileExt(ExtractFileName(path), ""); }
