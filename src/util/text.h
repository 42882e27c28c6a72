// Text, delimited-list, command-line and path-name functions shared by every
// subsystem. Text is 8-bit ANSI in std::string (any bytes, embedded zeros
// allowed); positions are 1-based and 0 means "not found". Where letter case
// is ignored only ASCII a-z fold to A-Z. Trimming removes codes 0..32 at both
// ends. Every function returns a new value and leaves its arguments alone
// (except SetField, which rebuilds its list in place). Nothing here throws on
// bad input: conversions fall back to their defaults.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

// Where a text parameter is usually a literal, a `const char*` form stands
// beside the `std::string_view` one: a literal then costs its call site one
// pointer, and its length is taken once, inside.

// Joins `pieces` into one new string. Texts made of several parts are built
// with this rather than a chain of "+", which makes and frees a temporary
// string per part: one call in place of three per part in the launcher.
std::string Concat(std::initializer_list<std::string_view> pieces);

// ---- Numbers -------------------------------------------------------------

int32_t MinInt(int32_t a, int32_t b);
int32_t MaxInt(int32_t a, int32_t b);
// `value` raised to `low`, then lowered to `high` (so `high` wins when
// low > high).
int32_t ClampInt(int32_t value, int32_t low, int32_t high);

// Strict decimal: an optional "+" or "-" and at least one digit, nothing
// else (no blanks, no hex prefix), within the 64-bit range. False leaves
// `value` unchanged.
bool TryParseInt64(const std::string& text, int64_t& value);
// TryParseInt64, or `def` when the text is not a valid 64-bit integer.
int64_t StrToInt64Def(const std::string& text, int64_t def);
// The same within the 32-bit range.
int32_t StrToIntDef(const std::string& text, int32_t def);

// The decimal number padded on the left with "0" to `width` characters; never
// cut. A minus sign stays in front of the zeros.
std::string ZeroPad(int64_t number, int width);

// `number` in decimal digits, with "-" in front when negative: what the
// launcher writes for every count, size and id (one routine for all integer
// types instead of the library's one per type).
inline std::string Decimal(int64_t number) { return ZeroPad(number, 1); }
// `value` in fixed-point notation with `places` (0..9) decimals, rounded to
// the nearest, a tie to the even last digit: 2.345 -> "2.35" (as the stored
// double lies just above), 0.125 -> "0.12"; a negative value that rounds to
// zero loses its sign. Values beyond 1e18 or not finite give "0" with the
// decimals.
std::string FixedDecimal(double value, int places);

// Reads `text` (upper-cased, trimmed) as digits of "0123456789ABCDEF" in
// `base`, last character lowest. A character outside that alphabet counts as
// digit -1. Arithmetic wraps modulo 2^64; an empty text gives 0.
int64_t ParseRadix(const std::string& text, int base);
// ParseRadix in base 16, taken as a 32-bit value.
uint32_t ParseHex(const std::string& text);

// Seeds a random generator from the clock and returns low + a random
// integer in 0 .. high - low, as decimal text. Gives `low` when
// high <= low. Safe to call from several threads.
std::string RandomDecimal(int64_t low, int64_t high);

// ---- Search and case -----------------------------------------------------

// Position of `sub` in `text`, letter case ignored; 0 when absent or when
// `sub` is empty.
int PosText(std::string_view sub, const std::string& text);
int PosText(const char* sub, const std::string& text);
// Position (from the start of `text`) of the first `sub` at or after `start`;
// 0 when start < 1, start lies past the end, `sub` is empty or absent.
int PosFrom(const std::string& sub, const std::string& text, int start);
// PosFrom with letter case ignored.
int PosTextFrom(std::string_view sub, const std::string& text, int start);
// Position of the last occurrence of `sub`; 0 when absent or `sub` is empty.
int LastPos(std::string_view sub, const std::string& text);
// True when `text` ends with a non-empty `suffix`, letter case ignored.
bool EndsWithText(const std::string& suffix, const std::string& text);

std::string ReverseString(const std::string& text);
std::string Trim(const std::string& text);
std::string UpperCase(const std::string& text);
// Equal after trimming and upper-casing both: how names of files and
// programs are compared.
bool SameTextTrimmed(const std::string& a, const std::string& b);

// Every occurrence of `find` replaced by `replacement`, left to right; neither
// an inserted replacement nor text joined around it is searched again. An
// empty `find` changes nothing.
std::string ReplaceAll(const std::string& text, std::string_view find,
                       std::string_view replacement);
std::string ReplaceAll(const std::string& text, const char* find, const char* replacement);
// ReplaceAll with letter case ignored in the search; the replacement is
// inserted unchanged.
std::string ReplaceAllText(const std::string& text, std::string_view find,
                           std::string_view replacement);
std::string ReplaceAllText(const std::string& text, const char* find, const char* replacement);

// "\"" gives ""; a text of two or more characters that starts and ends with
// a double quote loses both; otherwise, when `loose`, a lone leading or
// trailing double quote is removed; otherwise the text is unchanged.
std::string Unquote(const std::string& text, bool loose);

// ---- Delimited lists -----------------------------------------------------
// A list's first character is its delimiter and it ends with the same
// character: "|&OK|&Cancel|" holds field 0 "&OK" and field 1 "&Cancel".

// 0 for an empty list or one whose last character differs from its first;
// otherwise the number of delimiters after the first character.
int FieldCount(const std::string& list);
// Field `index` (0-based), or `def` when the list is empty, the field does
// not exist (no closing delimiter) or it is empty.
std::string GetField(const std::string& list, int index, std::string_view def);
std::string GetField(const std::string& list, int index, const char* def);
// Rebuilds `list` with max(FieldCount, index + 1) fields, field `index` set
// to `value` and missing fields empty. An empty list is taken as "|". A
// negative index leaves the list unchanged.
void SetField(std::string& list, int index, const std::string& value);
// The value of `key` in a list of Key=Value fields, or `def`. Keys match
// without regard to case; one blank after each delimiter and one before each
// "=" are ignored; blanks after "=" belong to the value. A key that is present
// with nothing after "=" gives "".
std::string GetKeyValue(const std::string& list, const std::string& key, const std::string& def);

// ---- Command line --------------------------------------------------------

// The arguments part of a raw command line: the first occurrence of
// `programPath` (case ignored) removed, then leading and trailing double
// quotes and blanks peeled off.
std::string CommandTailOf(const std::string& commandLine, const std::string& programPath);
// True when `sw` occurs in `tail`, case ignored.
bool HasSwitchIn(const std::string& tail, std::string_view sw);
// The value after switch `sw` (passed with its "=", e.g. "/WAIT="): "" when
// absent; "TRUE" when the switch ends the tail; a quoted value up to its
// closing quote; else up to the first blank and then the first "/"; trimmed.
std::string SwitchValueIn(const std::string& tail, std::string_view sw);
// SwitchValueIn as a decimal 64-bit integer, or `def` when it is not one.
int64_t SwitchIntIn(const std::string& tail, std::string_view sw, int64_t def);

// ---- Path names ----------------------------------------------------------
// Path delimiters for the name functions are "\", "/" and ":".

// Removes one trailing "\" from a path longer than 2 characters, then
// appends one when `withSlash`: "C:\" -> "C:", "C:" -> "C:\".
std::string SetTrailingBackslash(const std::string& path, bool withSlash);
// Removes one trailing "\" when there is one.
std::string StripTrailingBackslash(const std::string& path);
// Reduces every run of backslashes after the first character to one, so the
// leading "\\" of a network path survives; then StripTrailingBackslash when
// `stripTrailing`.
std::string CollapseBackslashes(const std::string& path, bool stripTrailing);

// The part after the last delimiter.
std::string ExtractFileName(const std::string& path);
// The part up to and including the last delimiter ("" when there is none).
std::string ExtractFilePath(const std::string& path);
// The folder without its trailing backslash, except a root keeps it
// ("C:\a" -> "C:\", "C:\a\b" -> "C:\a").
std::string ExtractFileDir(const std::string& path);
// From the last "." of the name part on ("" when the name has none).
std::string ExtractFileExt(const std::string& path);
// The extension of the name part replaced by `ext` (which brings its own
// dot), or `ext` appended when there is none.
std::string ChangeFileExt(const std::string& path, std::string_view ext);
// The name part without its last extension: "a.b.exe" -> "a.b".
std::string BaseName(const std::string& path);
