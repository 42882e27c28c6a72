#include "util/text.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <limits>

#include "util/clock.h"
#include "util/divide.h"

namespace {

bool IsBlank(char c) { return static_cast<unsigned char>(c) <= 32; }

// A literal as a view. Spelled out rather than left to the conversion, whose
// out-of-line copy would be one more function in this file.
std::string_view View(const char* text) { return std::string_view(text, strlen(text)); }

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

// 0-based index of the first `sub` in `text` at or after `from`, letters
// folded when `ignoreCase`; npos when absent. `sub` is never empty here.
size_t FindIn(const std::string& text, std::string_view sub, size_t from, bool ignoreCase) {
  for (size_t at = from; at + sub.size() <= text.size(); ++at) {
    size_t i = 0;
    while (i < sub.size() &&
           (ignoreCase ? UpperChar(text[at + i]) == UpperChar(sub[i]) : text[at + i] == sub[i])) {
      ++i;
    }
    if (i == sub.size()) return at;
  }
  return std::string::npos;
}

std::string Replace(const std::string& text, std::string_view find, std::string_view replacement,
                    bool ignoreCase) {
  if (find.empty()) return text;
  // The search continues behind each replacement so that neither an
  // inserted text nor text joined around it is matched again; folding is
  // done per comparison, so the text that is kept keeps its letter case.
  std::string result;
  size_t from = 0;
  for (size_t at = FindIn(text, find, 0, ignoreCase); at != std::string::npos;
       at = FindIn(text, find, from, ignoreCase)) {
    result.append(text, from, at - from);
    result.append(replacement.data(), replacement.size());
    from = at + find.size();
  }
  result.append(text, from, std::string::npos);
  return result;
}

// `count` decimal digits of `value` at least, zeros in front, appended.
void AppendDigits(std::string& out, uint64_t value, int count) {
  char digits[20];
  int length = 0;
  do {
    const TDivision step = DivideUnsigned(value, 10);
    digits[length++] = static_cast<char>('0' + step.Remainder);
    value = step.Quotient;
  } while (value != 0);
  for (; count > length; --count) out += '0';
  while (length > 0) out += digits[--length];
}

// The part [first, last) of `text` without blanks at both ends.
std::string TrimmedPart(const std::string& text, size_t first, size_t last) {
  while (first < last && IsBlank(text[first])) ++first;
  while (last > first && IsBlank(text[last - 1])) --last;
  return text.substr(first, last - first);
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
  // Accumulate as a negative number: its range is one larger. The limit
  // test needs no division: min is (min / 10) * 10 - 8.
  const int64_t min = std::numeric_limits<int64_t>::min();
  const int64_t tenthOfMin = min / 10;
  int64_t accumulated = 0;
  for (; i < text.size(); ++i) {
    char c = text[i];
    if (c < '0' || c > '9') return false;
    int digit = c - '0';
    if (accumulated < tenthOfMin || (accumulated == tenthOfMin && digit > 8)) return false;
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
  std::string text;
  uint64_t magnitude = static_cast<uint64_t>(number);
  if (number < 0) {
    text += '-';
    magnitude = 0 - magnitude;
    --width;
  }
  AppendDigits(text, magnitude, width);
  return text;
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
    // Within the signed range, whose conversions are single instructions.
    const int64_t whole = static_cast<int64_t>(scaled);
    units = static_cast<uint64_t>(whole);
    const long double rest = scaled - static_cast<long double>(whole);
    if (rest > 0.5L || (rest == 0.5L && (units & 1) != 0)) ++units;
  }
  std::string text;
  if (value < 0 && units != 0) text += '-';
  const TDivision parts = DivideUnsigned(units, scale);
  AppendDigits(text, parts.Quotient, 1);
  if (places > 0) {
    text += '.';
    AppendDigits(text, parts.Remainder, places);
  }
  return text;
}

int64_t ParseRadix(const std::string& text, int base) {
  static const char kAlphabet[] = "0123456789ABCDEF";
  const std::string digits = Trim(text);
  uint64_t result = 0;
  uint64_t weight = 1;
  for (size_t i = digits.size(); i > 0; --i) {
    const char c = UpperChar(digits[i - 1]);
    uint64_t digit = ~uint64_t{0};
    for (int place = 0; place < 16; ++place) {
      if (kAlphabet[place] == c) digit = static_cast<uint64_t>(place);
    }
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
  if (high <= low) return Decimal(low);
  // The clock alone repeats within its resolution; the call counter keeps
  // two calls in the same tick from drawing the same number. Every call
  // seeds afresh, so each has a generator of its own and needs no lock.
  uint64_t state = PreciseTicks() ^ (++calls * 0xD1B54A32D192ED03ULL);
  const uint64_t span = static_cast<uint64_t>(high) - static_cast<uint64_t>(low);
  uint64_t offset = NextSplitMix(state);
  if (span != UINT64_MAX) {
    // Draws below `skip` would make the low values likelier: drawn again.
    const uint64_t count = span + 1;
    const uint64_t skip = DivideUnsigned(0 - count, count).Remainder;
    while (offset < skip) offset = NextSplitMix(state);
    offset = DivideUnsigned(offset, count).Remainder;
  }
  return Decimal(static_cast<int64_t>(static_cast<uint64_t>(low) + offset));
}

namespace {

int PosIn(std::string_view sub, const std::string& text, int start, bool ignoreCase) {
  if (sub.empty() || start < 1 || static_cast<size_t>(start) > text.size()) return 0;
  size_t at = FindIn(text, sub, static_cast<size_t>(start - 1), ignoreCase);
  return at == std::string::npos ? 0 : static_cast<int>(at + 1);
}

// True when a and b hold the same characters, letter case ignored.
bool SameFolded(const char* a, const char* b, size_t length) {
  for (size_t i = 0; i < length; ++i) {
    if (UpperChar(a[i]) != UpperChar(b[i])) return false;
  }
  return true;
}

}  // namespace

int PosText(std::string_view sub, const std::string& text) { return PosIn(sub, text, 1, true); }

int PosText(const char* sub, const std::string& text) { return PosIn(View(sub), text, 1, true); }

int PosFrom(const std::string& sub, const std::string& text, int start) {
  return PosIn(sub, text, start, false);
}

int PosTextFrom(std::string_view sub, const std::string& text, int start) {
  return PosIn(sub, text, start, true);
}

int LastPos(std::string_view sub, const std::string& text) {
  if (sub.empty()) return 0;
  size_t at = text.rfind(sub.data(), std::string::npos, sub.size());
  return at == std::string::npos ? 0 : static_cast<int>(at + 1);
}

bool EndsWithText(const std::string& suffix, const std::string& text) {
  if (suffix.empty() || suffix.size() > text.size()) return false;
  return SameFolded(text.data() + text.size() - suffix.size(), suffix.data(), suffix.size());
}

std::string ReverseString(const std::string& text) {
  return std::string(text.rbegin(), text.rend());
}

std::string Trim(const std::string& text) { return TrimmedPart(text, 0, text.size()); }

std::string UpperCase(const std::string& text) {
  std::string result = text;
  std::transform(result.begin(), result.end(), result.begin(), UpperChar);
  return result;
}

bool SameTextTrimmed(const std::string& a, const std::string& b) {
  const std::string left = Trim(a);
  const std::string right = Trim(b);
  return left.size() == right.size() && SameFolded(left.data(), right.data(), left.size());
}

std::string ReplaceAll(const std::string& text, std::string_view find,
                       std::string_view replacement) {
  return Replace(text, find, replacement, false);
}

std::string ReplaceAllText(const std::string& text, std::string_view find,
                           std::string_view replacement) {
  return Replace(text, find, replacement, true);
}

// Literal arguments come through these, so that call sites pass a pointer
// and the lengths are taken here once.
std::string ReplaceAll(const std::string& text, const char* find, const char* replacement) {
  return Replace(text, View(find), View(replacement), false);
}

std::string ReplaceAllText(const std::string& text, const char* find, const char* replacement) {
  return Replace(text, View(find), View(replacement), true);
}

std::string Unquote(const std::string& text, bool loose) {
  size_t first = 0;
  size_t last = text.size();
  if (last == 1 && text[0] == '"') return {};
  if (last >= 2) {
    const bool leading = text.front() == '"';
    const bool trailing = text.back() == '"';
    if ((leading && trailing) || loose) {
      first = leading;
      last -= trailing;
    }
  }
  return text.substr(first, last - first);
}

int FieldCount(const std::string& list) {
  if (list.empty() || list.back() != list.front()) return 0;
  return static_cast<int>(std::count(list.begin() + 1, list.end(), list.front()));
}

std::string GetField(const std::string& list, int index, const char* def) {
  return GetField(list, index, View(def));
}

std::string GetField(const std::string& list, int index, std::string_view def) {
  if (list.empty() || index < 0) return std::string(def);
  const char delimiter = list.front();
  size_t start = 0;  // index of the delimiter that opens the field
  for (int i = 0; i < index; ++i) {
    start = list.find(delimiter, start + 1);
    if (start == std::string::npos) return std::string(def);
  }
  size_t end = list.find(delimiter, start + 1);
  if (end == std::string::npos || end == start + 1) return std::string(def);
  return list.substr(start + 1, end - start - 1);
}

void SetField(std::string& list, int index, const std::string& value) {
  if (index < 0) return;
  const std::string source = list.empty() ? std::string(1, '|') : list;
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
  const char d[2] = {list.front(), ' '};
  std::string wanted = Concat({{d, 1}, key});
  if (wanted.back() != '=') wanted += '=';
  const std::string normal =
      Replace(Replace(list, {d, 2}, {d, 1}, false), {" =", 2}, {"=", 1}, false);
  size_t valueStart = FindIn(normal, wanted, 0, true);
  if (valueStart == std::string::npos) return def;
  valueStart += wanted.size();
  size_t valueEnd = normal.find(d[0], valueStart);
  return normal.substr(valueStart, valueEnd - valueStart);
}

std::string CommandTailOf(const std::string& commandLine, const std::string& programPath) {
  std::string tail = commandLine;
  int at = PosText(programPath, tail);
  if (at > 0) tail.erase(static_cast<size_t>(at - 1), programPath.size());
  // The program's own path usually came in quotes; what is left of them is
  // peeled off together with the blanks around it.
  size_t first = 0;
  size_t last = tail.size();
  for (bool front = true;;) {
    while (first < last && IsBlank(tail[first])) ++first;
    while (last > first && IsBlank(tail[last - 1])) --last;
    if (first == last) break;
    if (front && tail[first] == '"') {
      ++first;
    } else if (tail[last - 1] == '"') {
      front = false;
      --last;
    } else {
      break;
    }
  }
  return tail.substr(first, last - first);
}

bool HasSwitchIn(const std::string& tail, std::string_view sw) { return PosText(sw, tail) > 0; }

std::string SwitchValueIn(const std::string& tail, std::string_view sw) {
  int at = PosText(sw, tail);
  if (at == 0) return {};
  size_t first = static_cast<size_t>(at - 1) + sw.size();
  if (first == tail.size()) return std::string("TRUE", 4);
  size_t last;
  if (tail[first] == '"') {
    last = tail.find('"', ++first);
  } else {
    last = std::min(tail.find(' ', first), tail.find('/', first));
  }
  return TrimmedPart(tail, first, std::min(last, tail.size()));
}

int64_t SwitchIntIn(const std::string& tail, std::string_view sw, int64_t def) {
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
  return delimiter == std::string::npos ? std::string() : path.substr(0, delimiter + 1);
}

std::string ExtractFileDir(const std::string& path) {
  size_t delimiter = LastDelimiter(path);
  if (delimiter == std::string::npos) return {};
  size_t length = delimiter + 1;
  if (delimiter > 0 && path[delimiter] != ':' && !IsPathDelimiter(path[delimiter - 1])) --length;
  return path.substr(0, length);
}

std::string ExtractFileExt(const std::string& path) {
  size_t dot = ExtensionDot(path);
  return dot == std::string::npos ? std::string() : path.substr(dot);
}

std::string ChangeFileExt(const std::string& path, std::string_view ext) {
  std::string result = path.substr(0, ExtensionDot(path));
  result.append(ext.data(), ext.size());
  return result;
}

std::string BaseName(const std::string& path) {
  // The name part holds no delimiter, so its last dot starts the extension.
  std::string name = ExtractFileName(path);
  const size_t dot = name.rfind('.');
  if (dot != std::string::npos) name.erase(dot);
  return name;
}
