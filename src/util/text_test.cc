#include "util/text.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <string>

namespace olvix {
namespace {

TEST(CaseTest, OnlyAsciiLettersChange) {
  // CP866 Cyrillic bytes (a0 = small a, 80 = capital A, e1 = small es) are
  // neither upper- nor lower-cased.
  EXPECT_EQ(Upper("fido\xa0\xe1-tag_1"), "FIDO\xa0\xe1-TAG_1");
  EXPECT_EQ(Lower("FIDO\x80\x91-TAG_1"), "fido\x80\x91-tag_1");
  EXPECT_TRUE(EqualsNoCase("Fido.Tic", "FIDO.TIC"));
  EXPECT_FALSE(EqualsNoCase("\xa0", "\x80"));  // Cyrillic a vs A: not folded
  EXPECT_FALSE(EqualsNoCase("abc", "abcd"));
  EXPECT_EQ(FindNoCase("xxAbCabc", "ABC", 3), 5u);
  EXPECT_EQ(FindNoCase("abc", "abcd"), std::string::npos);
}

TEST(WildMatchTest, StarAndQuestionMark) {
  EXPECT_TRUE(WildMatch("*", ""));
  EXPECT_TRUE(WildMatch("*", "anything at all"));
  EXPECT_TRUE(WildMatch("", ""));
  EXPECT_FALSE(WildMatch("", "a"));
  EXPECT_TRUE(WildMatch("*.TIC", "ABC.TIC"));
  EXPECT_FALSE(WildMatch("*.TIC", "ABC.TIC2"));
  EXPECT_FALSE(WildMatch("*.TIC", "abc.tic"));  // case-sensitive
  EXPECT_TRUE(WildMatch("A*B*C", "AxxBxxC"));
  EXPECT_TRUE(WildMatch("A*B*C", "ABC"));
  EXPECT_FALSE(WildMatch("A*B*C", "AxxCxxB"));
  // The last possible split must be found, not only the first.
  EXPECT_TRUE(WildMatch("*AB", "AAAB"));
  EXPECT_TRUE(WildMatch("*A?C*D", "xABCyACzD"));
  EXPECT_TRUE(WildMatch("a?c", "abc"));
  EXPECT_FALSE(WildMatch("a?c", "ac"));
  EXPECT_FALSE(WildMatch("abc?", "abc"));
  EXPECT_FALSE(WildMatch("*?", ""));
  EXPECT_TRUE(WildMatch("*?", "x"));
  EXPECT_FALSE(WildMatch("abc", "abcd"));
  EXPECT_FALSE(WildMatch("abcd", "abc"));
}

TEST(WildMatchTest, StarRunsActAsOne) {
  EXPECT_TRUE(WildMatch("***", ""));
  EXPECT_TRUE(WildMatch("a**b", "ab"));
  EXPECT_TRUE(WildMatch("a***b", "a-x-b"));
  EXPECT_TRUE(WildMatch("abc**", "abc"));
  EXPECT_FALSE(WildMatch("**a", "b"));
}

TEST(WildMatchTest, ClassesAndRanges) {
  EXPECT_TRUE(WildMatch("[abc]", "b"));
  EXPECT_FALSE(WildMatch("[abc]", "d"));
  EXPECT_FALSE(WildMatch("[abc]", ""));
  EXPECT_TRUE(WildMatch("FILE[0-9][0-9].ZIP", "FILE42.ZIP"));
  EXPECT_FALSE(WildMatch("FILE[0-9][0-9].ZIP", "FILE4X.ZIP"));
  EXPECT_TRUE(WildMatch("[a-cx-z]", "y"));
  EXPECT_FALSE(WildMatch("[a-cx-z]", "m"));
  // "]" right after "[" is a member, not the end of the class.
  EXPECT_TRUE(WildMatch("[]a]", "]"));
  EXPECT_TRUE(WildMatch("[]a]", "a"));
  EXPECT_FALSE(WildMatch("[]a]", "b"));
  // "-" before "]" is a plain member.
  EXPECT_TRUE(WildMatch("[a-]", "-"));
  EXPECT_TRUE(WildMatch("[a-]", "a"));
  EXPECT_FALSE(WildMatch("[a-]", "b"));
  // Ranges compare byte values as unsigned: CP866 letters from a0 to af.
  EXPECT_TRUE(WildMatch("[\xa0-\xaf]", "\xa5"));
  EXPECT_FALSE(WildMatch("[\xa0-\xaf]", "a"));
  // A class without "]" runs to the end of the mask.
  EXPECT_TRUE(WildMatch("x[ab", "xb"));
  EXPECT_FALSE(WildMatch("x[ab", "xc"));
  EXPECT_TRUE(WildMatch("*[0-9]", "version 7"));
}

TEST(WildMatchTest, NegatedClasses) {
  EXPECT_TRUE(WildMatch("[^abc]", "d"));
  EXPECT_FALSE(WildMatch("[^abc]", "a"));
  EXPECT_FALSE(WildMatch("[^abc]", ""));
  EXPECT_TRUE(WildMatch("[^0-9]*", "x123"));
  EXPECT_FALSE(WildMatch("[^0-9]*", "1xx"));
  // After "^" the first character is again always a member.
  EXPECT_FALSE(WildMatch("[^]]", "]"));
  EXPECT_TRUE(WildMatch("[^]]", "x"));
}

TEST(WildMatchTest, Escapes) {
  EXPECT_TRUE(WildMatch("\\*", "*"));
  EXPECT_FALSE(WildMatch("\\*", "x"));
  EXPECT_TRUE(WildMatch("a\\?", "a?"));
  EXPECT_FALSE(WildMatch("a\\?", "ab"));
  EXPECT_TRUE(WildMatch("\\[x]", "[x]"));
  EXPECT_TRUE(WildMatch("*\\**", "a*b"));
  EXPECT_FALSE(WildMatch("*\\**", "ab"));
  EXPECT_TRUE(WildMatch("\\\\", "\\"));
  // A backslash at the end of the mask stands for itself.
  EXPECT_TRUE(WildMatch("ab\\", "ab\\"));
}

TEST(WildMatchTest, PathologicalMaskFinishesFast) {
  // Many stars against a long text that almost matches: a matcher that
  // retries every split of every star takes ages here.
  std::string mask;
  for (int i = 0; i < 40; ++i) mask += "*a";
  mask += "*b";
  std::string text(100000, 'a');
  auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(WildMatch(mask, text));
  EXPECT_TRUE(WildMatch(mask, text + "b"));
  EXPECT_FALSE(WildMatch("*?*?*?*?*?*?*?*?*?*?*?*[^a]", text));
  auto elapsed = std::chrono::steady_clock::now() - start;
  EXPECT_LT(std::chrono::duration_cast<std::chrono::seconds>(elapsed).count(), 5);
}

TEST(ExpandTabsTest, CarryRule) {
  EXPECT_EQ(ExpandTabs(""), "");
  EXPECT_EQ(ExpandTabs("no tabs"), "no tabs");
  // A first tab at a column that is a multiple of 8: 8 blanks.
  EXPECT_EQ(ExpandTabs("\tX"), std::string(8, ' ') + "X");
  EXPECT_EQ(ExpandTabs("12345678\tX"), "12345678" + std::string(8, ' ') + "X");
  // A first tab anywhere else: 9 blanks.
  EXPECT_EQ(ExpandTabs("ab\tX"), "ab" + std::string(9, ' ') + "X");
  // The second tab sees n = 7 at column 8: 9 blanks, and from then on n is
  // 8, which never equals a column modulo 8.
  EXPECT_EQ(ExpandTabs("\t\tX"), std::string(8 + 9, ' ') + "X");
  EXPECT_EQ(ExpandTabs("\t\t\tX"), std::string(8 + 9 + 9, ' ') + "X");
  // n = 7 and a tab at a column that is 7 modulo 8: k = 0, a single blank,
  // and n = 0 makes the next tab at a multiple of 8 give 8 blanks again.
  EXPECT_EQ(ExpandTabs("\tabcdefg\t\tZ"),
            std::string(8, ' ') + "abcdefg" + " " + std::string(8, ' ') + "Z");
}

TEST(PaddingTest, LeftAndRight) {
  EXPECT_EQ(PadLeft("7", 3, '0'), "007");
  EXPECT_EQ(PadLeft("abc", 5), "  abc");
  EXPECT_EQ(PadLeft("abcdef", 3), "abcdef");
  EXPECT_EQ(PadLeft("abc", 3, '*'), "abc");
  EXPECT_EQ(PadRight("ab", 5), "ab   ");
  EXPECT_EQ(PadRight("ab", 4, '.'), "ab..");
  EXPECT_EQ(PadRight("abcdef", 3), "abcdef");
  EXPECT_EQ(PadRight("", 0), "");
  EXPECT_EQ(TwoDigits(7), "07");
  EXPECT_EQ(TwoDigits(42), "42");
}

TEST(FormatThousandsTest, CommaEveryThreeDigits) {
  EXPECT_EQ(FormatThousands(0), "0");
  EXPECT_EQ(FormatThousands(12), "12");
  EXPECT_EQ(FormatThousands(999), "999");
  EXPECT_EQ(FormatThousands(1000), "1,000");
  EXPECT_EQ(FormatThousands(12345), "12,345");
  EXPECT_EQ(FormatThousands(123456), "123,456");
  EXPECT_EQ(FormatThousands(1200000), "1,200,000");
  EXPECT_EQ(FormatThousands(UINT64_MAX), "18,446,744,073,709,551,615");
}

TEST(FormatBaseTest, DigitsUpToBase38) {
  EXPECT_EQ(FormatBase(0, 37), "0");
  EXPECT_EQ(FormatBase(35, 37), "Z");
  EXPECT_EQ(FormatBase(36, 37), "_");
  EXPECT_EQ(FormatBase(37, 37), "10");
  EXPECT_EQ(FormatBase(37 * 37 - 1, 37), "__");
  EXPECT_EQ(FormatBase(123456789, 37), "1SWB9_");
  EXPECT_EQ(FormatBase(4294967295u, 37), "1OYOZN6");
  EXPECT_EQ(FormatBase(37, 38), ",");
  EXPECT_EQ(FormatBase(255, 16), "FF");
  EXPECT_EQ(FormatBase(5, 2), "101");
  EXPECT_EQ(FormatBase(UINT64_MAX, 2), std::string(64, '1'));
  // Bases without digits for them give nothing rather than garbage.
  EXPECT_EQ(FormatBase(5, 1), "");
  EXPECT_EQ(FormatBase(5, 39), "");
}

TEST(ParseDecimalTest, DecimalRules) {
  EXPECT_EQ(ParseDecimal("42"), 42);
  EXPECT_EQ(ParseDecimal("  \t-17xyz"), -17);
  EXPECT_EQ(ParseDecimal("+8"), 8);
  EXPECT_EQ(ParseDecimal(""), 0);
  EXPECT_EQ(ParseDecimal("x9"), 0);
  EXPECT_EQ(ParseDecimal("-"), 0);
  EXPECT_EQ(ParseDecimal("2147483647"), INT32_MAX);
  EXPECT_EQ(ParseDecimal("-2147483648"), INT32_MIN);
}

TEST(ParseDecimalTest, OverflowStopsAtTheLimit) {
  // Wrapping would turn these into small or negative numbers (4294967297
  // into 1): a BUSYWAIT or a level must never change sign that way.
  EXPECT_EQ(ParseDecimal("2147483648"), INT32_MAX);
  EXPECT_EQ(ParseDecimal("4294967297"), INT32_MAX);
  EXPECT_EQ(ParseDecimal("99999999999999999999999999"), INT32_MAX);
  EXPECT_EQ(ParseDecimal("-2147483649"), INT32_MIN);
  EXPECT_EQ(ParseDecimal("-4294967295"), INT32_MIN);
}

TEST(ParseHexTest, HexDigits) {
  EXPECT_EQ(ParseHex("1A"), 26);
  EXPECT_EQ(ParseHex("  ff,rest"), 255);
  EXPECT_EQ(ParseHex("g"), 0);
  EXPECT_EQ(static_cast<uint32_t>(ParseHex("CBF43926")), 0xCBF43926u);
}

TEST(SplitTest, WordsAndFirstWord) {
  EXPECT_EQ(SplitWords("  LINK   2:5020/1  A "),
            (std::vector<std::string>{"LINK", "2:5020/1", "A"}));
  EXPECT_TRUE(SplitWords("   ").empty());
  std::string first, rest;
  SplitFirstWord("  UPLINK 2:5020/1  list.txt AllFix", &first, &rest);
  EXPECT_EQ(first, "UPLINK");
  EXPECT_EQ(rest, "2:5020/1  list.txt AllFix");
  SplitFirstWord("ALONE", &first, &rest);
  EXPECT_EQ(first, "ALONE");
  EXPECT_EQ(rest, "");
}

TEST(FormatTest, LongOutput) {
  std::string big(2000, 'x');
  EXPECT_EQ(Format("<%s>%d", big.c_str(), 5), "<" + big + ">5");
  EXPECT_EQ(Format("%05.1f|%-3s|", 2.5, "a"), "002.5|a  |");
}

}  // namespace
}  // namespace olvix
