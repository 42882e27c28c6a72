#include "util/text.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <random>
#include <set>
#include <string>

namespace {

struct TReplaceCase {
  const char* text;
  const char* find;
  const char* replacement;
  bool ignoreCase;
  const char* expected;
};

TEST(TextReplace, ReplacementsAreNeverSearchedAgain) {
  const TReplaceCase cases[] = {
      {"aaa", "a", "aa", false, "aaaaaa"},
      {"abab", "ab", "b", false, "bb"},
      {"x<p>y<P>", "<P>", "-", true, "x-y-"},
      {"x<p>y<P>", "<P>", "-", false, "x<p>y-"},
      {"aXa", "x", "<x>", true, "a<x>a"},  // replacement inserted unchanged
      {"abc", "", "z", false, "abc"},      // empty find changes nothing
      {"", "a", "b", false, ""},
      // Text joined around a removed match forms no new match.
      {"aabb", "ab", "", false, "ab"},
      {"|  Name", "| ", "|", false, "| Name"},  // one blank per delimiter
  };
  for (const TReplaceCase& c : cases) {
    std::string got = c.ignoreCase ? ReplaceAllText(c.text, c.find, c.replacement)
                                   : ReplaceAll(c.text, c.find, c.replacement);
    EXPECT_EQ(got, c.expected) << c.text << " / " << c.find;
  }
  EXPECT_EQ(ReplaceAll(std::string("a\0b\0", 4), std::string("\0", 1), "-"), "a-b-");
}

TEST(TextSearch, PositionsAreOneBased) {
  EXPECT_EQ(PosText("lo", "HELLO"), 4);
  EXPECT_EQ(PosText("x", "HELLO"), 0);
  EXPECT_EQ(PosText("", "HELLO"), 0);
  EXPECT_EQ(PosText("\xE4", "\xC4"), 0);  // only ASCII letters fold

  struct TFromCase {
    const char* sub;
    const char* text;
    int start;
    int expected;
  };
  const TFromCase fromCases[] = {
      {"a", "banana", 1, 2},  {"a", "banana", 2, 2},  {"a", "banana", 3, 4},
      {"a", "banana", 6, 6},  {"a", "banana", 7, 0},  {"a", "banana", 0, 0},
      {"a", "banana", -3, 0}, {"na", "banana", 4, 5}, {"", "banana", 1, 0},
  };
  for (const TFromCase& c : fromCases) {
    EXPECT_EQ(PosFrom(c.sub, c.text, c.start), c.expected) << c.sub << " @" << c.start;
  }
  EXPECT_EQ(PosFrom("A", "banana", 1), 0);
  EXPECT_EQ(PosTextFrom("A", "banana", 3), 4);

  EXPECT_EQ(LastPos("an", "banana"), 4);
  EXPECT_EQ(LastPos("b", "banana"), 1);
  EXPECT_EQ(LastPos("x", "banana"), 0);
  EXPECT_EQ(LastPos("", "banana"), 0);

  EXPECT_TRUE(EndsWithText(".EXE", "setup.exe"));
  EXPECT_TRUE(EndsWithText("setup.exe", "SETUP.EXE"));
  EXPECT_FALSE(EndsWithText(".exe", "setup.ex"));
  EXPECT_FALSE(EndsWithText("xsetup.exe", "setup.exe"));
  EXPECT_FALSE(EndsWithText("", "setup.exe"));
}

TEST(TextCase, TrimUpperAndCompare) {
  EXPECT_EQ(Trim(std::string("\x01\t a b \r\n\x20", 9)), "a b");
  EXPECT_EQ(Trim(std::string("\0x\0", 3)), "x");
  EXPECT_EQ(Trim("   "), "");
  EXPECT_EQ(Trim("\x80y"), "\x80y");  // high codes are not blanks
  EXPECT_EQ(UpperCase("abz-AZ\xE4"), "ABZ-AZ\xE4");
  EXPECT_EQ(ReverseString("abc"), "cba");
  EXPECT_TRUE(SameTextTrimmed("  Setup.EXE ", "setup.exe"));
  EXPECT_FALSE(SameTextTrimmed("setup.exe", "setup.ex"));
}

TEST(TextNumbers, MinMaxClampAndPad) {
  EXPECT_EQ(MinInt(3, -4), -4);
  EXPECT_EQ(MaxInt(3, -4), 3);
  EXPECT_EQ(ClampInt(0, 1, 25), 1);
  EXPECT_EQ(ClampInt(100, 1, 25), 25);
  EXPECT_EQ(ClampInt(10, 1, 25), 10);
  EXPECT_EQ(ClampInt(10, 30, 25), 25);  // high is applied last
  EXPECT_EQ(ZeroPad(7, 3), "007");
  EXPECT_EQ(ZeroPad(1234, 3), "1234");
  EXPECT_EQ(ZeroPad(0, 0), "0");
  EXPECT_EQ(ZeroPad(-5, 4), "-005");
  const std::pair<int64_t, const char*> decimals[] = {{0, "0"},
                                                      {-1, "-1"},
                                                      {10, "10"},
                                                      {4294967296, "4294967296"},
                                                      {INT64_MAX, "9223372036854775807"},
                                                      {INT64_MIN, "-9223372036854775808"}};
  for (const auto& [number, text] : decimals) EXPECT_EQ(Decimal(number), text) << text;
}

TEST(TextNumbers, FixedDecimalRoundsAsPrintfDoes) {
  // Ties that the double holds exactly go to the even digit; values stored
  // just above or below a written tie round by what is stored.
  const struct {
    double value;
    int places;
    const char* text;
  } cases[] = {
      {0, 2, "0.00"},          {0.125, 2, "0.12"}, {0.375, 2, "0.38"},   {2.345, 2, "2.35"},
      {1.005, 2, "1.00"},      {2.5, 0, "2"},      {3.5, 0, "4"},        {0.9996, 3, "1.000"},
      {68995.3, 1, "68995.3"}, {-1.25, 1, "-1.2"}, {-0.0001, 2, "0.00"}, {12.0, 0, "12"},
  };
  for (const auto& c : cases) EXPECT_EQ(FixedDecimal(c.value, c.places), c.text) << c.value;
  // And over a spread of magnitudes, the same text as "%.Nf".
  std::mt19937_64 draw(7);
  for (int i = 0; i < 3000; ++i) {
    const int places = i % 4;
    const double value = std::ldexp(static_cast<double>(draw() >> 11), -53) * std::pow(10.0, i % 9);
    char expected[64];
    std::snprintf(expected, sizeof expected, "%.*f", places, value);
    ASSERT_EQ(FixedDecimal(value, places), expected) << value << " " << places;
  }
}

TEST(TextNumbers, StrictDecimalConversion) {
  struct TCase {
    const char* text;
    bool valid;
    int64_t value;
  };
  const TCase cases[] = {
      {"0", true, 0},
      {"42", true, 42},
      {"+42", true, 42},
      {"-42", true, -42},
      {"0007", true, 7},
      {"9223372036854775807", true, INT64_MAX},
      {"-9223372036854775808", true, INT64_MIN},
      {"9223372036854775808", false, 0},
      {"-9223372036854775809", false, 0},
      {"99999999999999999999", false, 0},
      {"", false, 0},
      {"-", false, 0},
      {"+", false, 0},
      {" 5", false, 0},
      {"5 ", false, 0},
      {"5x", false, 0},
      {"0x10", false, 0},
      {"$10", false, 0},
      {"1.5", false, 0},
      {"TRUE", false, 0},
  };
  for (const TCase& c : cases) {
    int64_t value = 12345;
    EXPECT_EQ(TryParseInt64(c.text, value), c.valid) << c.text;
    EXPECT_EQ(value, c.valid ? c.value : 12345) << c.text;
    EXPECT_EQ(StrToInt64Def(c.text, -1), c.valid ? c.value : -1) << c.text;
  }
  EXPECT_EQ(StrToIntDef("2147483647", 0), INT32_MAX);
  EXPECT_EQ(StrToIntDef("-2147483648", 0), INT32_MIN);
  EXPECT_EQ(StrToIntDef("2147483648", 9), 9);
  EXPECT_EQ(StrToIntDef("abc", 9), 9);
}

TEST(TextNumbers, RadixParse) {
  EXPECT_EQ(ParseRadix("", 16), 0);
  EXPECT_EQ(ParseRadix("ff", 16), 255);
  EXPECT_EQ(ParseRadix(" 1A ", 16), 26);
  EXPECT_EQ(ParseRadix("777", 8), 511);
  EXPECT_EQ(ParseRadix("101", 2), 5);
  EXPECT_EQ(ParseRadix("G", 16), -1);   // outside the alphabet: digit -1
  EXPECT_EQ(ParseRadix("1G", 16), 15);  // 16 - 1
  EXPECT_EQ(ParseHex("FFFFFFFF"), 0xFFFFFFFFu);
  EXPECT_EQ(ParseHex("1FFFFFFFF"), 0xFFFFFFFFu);  // cut to 32 bits
  EXPECT_EQ(ParseHex("4a"), 0x4Au);
  // Far too many digits wrap instead of overflowing.
  EXPECT_EQ(ParseHex(std::string(40, 'F')), 0xFFFFFFFFu);
}

TEST(TextNumbers, RandomDecimalStaysInRange) {
  std::set<std::string> seen;
  for (int i = 0; i < 200; ++i) {
    std::string text = RandomDecimal(10, 20);
    int64_t value = StrToInt64Def(text, -1);
    ASSERT_GE(value, 10);
    ASSERT_LE(value, 20);
    seen.insert(text);
  }
  EXPECT_GT(seen.size(), 1u);  // re-seeding within one clock tick still varies
  EXPECT_EQ(RandomDecimal(5, 5), "5");
  EXPECT_EQ(RandomDecimal(5, 1), "5");
  int64_t wide = 0;
  EXPECT_TRUE(TryParseInt64(RandomDecimal(INT64_MIN, INT64_MAX), wide));
}

TEST(TextUnquote, StrictAndLoose) {
  struct TCase {
    const char* text;
    bool loose;
    const char* expected;
  };
  const TCase cases[] = {
      {"\"", false, ""},
      {"\"", true, ""},
      {"\"\"", false, ""},
      {"\"a b\"", false, "a b"},
      {"\"a", false, "\"a"},
      {"\"a", true, "a"},
      {"a\"", false, "a\""},
      {"a\"", true, "a"},
      {"a", true, "a"},
      {"", true, ""},
      {"\"a\"b\"", false, "a\"b"},
  };
  for (const TCase& c : cases) {
    EXPECT_EQ(Unquote(c.text, c.loose), c.expected) << c.text << " loose=" << c.loose;
  }
}

TEST(TextLists, FieldCountAndGetField) {
  EXPECT_EQ(FieldCount("|a|b|"), 2);
  EXPECT_EQ(FieldCount("|a|b"), 0);
  EXPECT_EQ(FieldCount(""), 0);
  EXPECT_EQ(FieldCount("|"), 0);
  EXPECT_EQ(FieldCount("||"), 1);
  EXPECT_EQ(FieldCount(",x,,z,"), 3);
  EXPECT_EQ(FieldCount("\x02"), 0);

  struct TCase {
    const char* list;
    int index;
    const char* def;
    const char* expected;
  };
  const TCase cases[] = {
      {"|a||c|", 0, "z", "a"}, {"|a||c|", 1, "z", "z"}, {"|a||c|", 2, "z", "c"},
      {"|a|b|", 5, "", ""},    {"|a|b|", -1, "z", "z"}, {"", 0, "z", "z"},
      {"|", 0, "z", "z"},      {"|a|b", 1, "z", "z"},   {",1,2,", 1, "", "2"},
  };
  for (const TCase& c : cases) {
    EXPECT_EQ(GetField(c.list, c.index, c.def), c.expected) << c.list << " #" << c.index;
  }
}

TEST(TextLists, SetFieldRebuilds) {
  struct TCase {
    const char* list;
    int index;
    const char* value;
    const char* expected;
  };
  const TCase cases[] = {
      {"", 2, "x", "|||x|"}, {"|a|b|", 0, "c", "|c|b|"},  {"|a|b|", 3, "d", "|a|b||d|"},
      {",a,", 0, "", ",,"},  {"|a|b|", -1, "x", "|a|b|"},
  };
  for (const TCase& c : cases) {
    std::string list = c.list;
    SetField(list, c.index, c.value);
    EXPECT_EQ(list, c.expected) << c.list << " #" << c.index;
  }
}

TEST(TextLists, KeyValueLookup) {
  struct TCase {
    const char* list;
    const char* key;
    const char* expected;
  };
  const TCase cases[] = {
      {"|Name = Joe|Age=7|", "name", " Joe"},
      {"|A=1|", "B", "?"},
      {"|A=1|", "A=", "1"},
      {"|s10=ten|s1=one|", "s1", "one"},
      {"|s10=ten|", "s1", "?"},
      {"|A=|B=2|", "A", ""},
      {"| A=1|", "a", "1"},
      {"|  A=1|", "A", "?"},  // only one blank after a delimiter is ignored
      {"|A  =1|", "A", "?"},  // only one blank before "=" is ignored
      {"|A=1", "A", "?"},     // not closed by its delimiter
      {"||", "A", "?"},
      {"|A=1|", "", "?"},
      {"|A= x y |", "A", " x y "},
      {",CharSet=177,", "charset", "177"},
  };
  for (const TCase& c : cases) {
    EXPECT_EQ(GetKeyValue(c.list, c.key, "?"), c.expected) << c.list << " " << c.key;
  }
}

TEST(TextCommandLine, TailAndSwitches) {
  const std::string program = "C:\\Program Files\\App\\setup.exe";
  struct TTailCase {
    std::string commandLine;
    const char* expected;
  };
  const TTailCase tails[] = {
      {"\"" + program + "\" /WAIT=5 /TEST", "/WAIT=5 /TEST"}, {program + " /WAIT=5", "/WAIT=5"},
      {"\"c:\\program files\\app\\SETUP.EXE\"  /x", "/x"},    {"\"" + program + "\"", ""},
      {"\"" + program + "\" /P=\"a b\"", "/P=\"a b"},         {"other.exe /x", "other.exe /x"},
  };
  for (const TTailCase& c : tails) {
    EXPECT_EQ(CommandTailOf(c.commandLine, program), c.expected) << c.commandLine;
  }

  const std::string tail = CommandTailOf("\"" + program + "\" /WAIT=5 /TEST", program);
  struct TSwitchCase {
    std::string tail;
    const char* sw;
    const char* expected;
  };
  const TSwitchCase switches[] = {
      {tail, "/WAIT=", "5"},
      {tail, "/TEST", "TRUE"},
      {tail, "/X=", ""},
      {tail, "/wait=", "5"},
      {"/TEST /X", "/TEST", ""},
      {"/A=1/B=2", "/A=", "1"},
      {"/P=\"a b\" /Q", "/P=", "a b"},
      {"/P=\"a b", "/P=", "a b"},
      {"/DIR=C:\\x\\y /Q", "/DIR=", "C:\\x\\y"},
      {"/X=", "/X=", "TRUE"},
      {"/X=7", "", ""},
  };
  for (const TSwitchCase& c : switches) {
    EXPECT_EQ(SwitchValueIn(c.tail, c.sw), c.expected) << c.tail << " " << c.sw;
  }
  EXPECT_TRUE(HasSwitchIn(tail, "/test"));
  EXPECT_FALSE(HasSwitchIn(tail, "/hide"));
  EXPECT_EQ(SwitchIntIn(tail, "/WAIT=", 0), 5);
  EXPECT_EQ(SwitchIntIn(tail, "/TEST", 3), 3);
  EXPECT_EQ(SwitchIntIn(tail, "/X=", -1), -1);
  EXPECT_EQ(SwitchIntIn("/STOP=-2", "/STOP=", 0), -2);
}

TEST(TextPaths, Backslashes) {
  struct TCase {
    const char* path;
    bool withSlash;
    const char* expected;
  };
  const TCase cases[] = {
      {"C:\\", false, "C:"},
      {"C:", true, "C:\\"},
      {"C:\\Temp\\", true, "C:\\Temp\\"},
      {"C:\\Temp", false, "C:\\Temp"},
      {"C:\\Temp\\", false, "C:\\Temp"},
      {"\\\\", false, "\\\\"},
      {"\\", true, "\\\\"},
      {"", false, ""},
  };
  for (const TCase& c : cases) {
    EXPECT_EQ(SetTrailingBackslash(c.path, c.withSlash), c.expected) << c.path;
  }
  EXPECT_EQ(StripTrailingBackslash("C:\\a\\"), "C:\\a");
  EXPECT_EQ(StripTrailingBackslash("C:\\a\\\\"), "C:\\a\\");
  EXPECT_EQ(StripTrailingBackslash(""), "");
  EXPECT_EQ(CollapseBackslashes("\\\\server\\\\share\\\\\\dir", false), "\\\\server\\share\\dir");
  EXPECT_EQ(CollapseBackslashes("C:\\\\a\\\\", true), "C:\\a");
  EXPECT_EQ(CollapseBackslashes("C:\\\\a\\\\", false), "C:\\a\\");
  EXPECT_EQ(CollapseBackslashes("", true), "");
}

TEST(TextPaths, NameParts) {
  struct TCase {
    const char* path;
    const char* name;
    const char* filePath;
    const char* dir;
    const char* ext;
    const char* base;
  };
  const TCase cases[] = {
      {"C:\\App\\Update.exe", "Update.exe", "C:\\App\\", "C:\\App", ".exe", "Update"},
      {"C:\\a.b.exe", "a.b.exe", "C:\\", "C:\\", ".exe", "a.b"},
      {"Update", "Update", "", "", "", "Update"},
      {"C:Update.exe", "Update.exe", "C:", "C:", ".exe", "Update"},
      {"http://host/dir/app.exe", "app.exe", "http://host/dir/", "http://host/dir", ".exe", "app"},
      {"C:\\dir.x\\file", "file", "C:\\dir.x\\", "C:\\dir.x", "", "file"},
      {"\\\\srv\\share\\f.txt", "f.txt", "\\\\srv\\share\\", "\\\\srv\\share", ".txt", "f"},
      {".info", ".info", "", "", ".info", ""},
  };
  for (const TCase& c : cases) {
    EXPECT_EQ(ExtractFileName(c.path), c.name) << c.path;
    EXPECT_EQ(ExtractFilePath(c.path), c.filePath) << c.path;
    EXPECT_EQ(ExtractFileDir(c.path), c.dir) << c.path;
    EXPECT_EQ(ExtractFileExt(c.path), c.ext) << c.path;
    EXPECT_EQ(BaseName(c.path), c.base) << c.path;
  }
  EXPECT_EQ(ChangeFileExt("C:\\a\\Setup.exe", ".info"), "C:\\a\\Setup.info");
  EXPECT_EQ(ChangeFileExt(".info", ".original"), ".original");
  EXPECT_EQ(ChangeFileExt("C:\\dir.x\\Setup", ".info"), "C:\\dir.x\\Setup.info");
  EXPECT_EQ(ChangeFileExt("a.tar.gz", ""), "a.tar");
}

}  // namespace
