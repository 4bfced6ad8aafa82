// Text routines on 8-bit strings in the OEM code page. Case folding touches
// the ASCII letters only, so Cyrillic letters of CP866 stay as they are.
#ifndef OLVIX_UTIL_TEXT_H_
#define OLVIX_UTIL_TEXT_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace olvix {

char UpperChar(char c);
char LowerChar(char c);
std::string Upper(std::string_view s);
std::string Lower(std::string_view s);
void UpperInPlace(std::string* s);
bool EqualsNoCase(std::string_view a, std::string_view b);
bool StartsWithNoCase(std::string_view text, std::string_view prefix);
// Position of `needle` in `hay` without regard to ASCII case, or npos.
size_t FindNoCase(std::string_view hay, std::string_view needle, size_t from = 0);

bool ContainsAny(std::string_view text, std::string_view set);
// Removes leading blanks and tabs.
std::string TrimLeft(std::string_view s);
std::string TrimRight(std::string_view s);
// Removes trailing CR and LF characters.
void StripLineEnd(std::string* s);

// Text that came from another system (ticket values, names, letter lines)
// made safe to write into one line of a file another reader splits at line
// ends: every control character below 32, tab included, becomes one blank,
// so a bare CR, a form feed or a NUL can never end or hide a line. The
// length stays as it is.
std::string OneLine(std::string_view s);
void OneLineInPlace(std::string* s);
// OneLine, then cut to at most `limit` bytes.
std::string OneLineCut(std::string_view s, size_t limit);

// Expands tabs with the carry rule: each tab at column c becomes one blank
// and k more, k = 7 - n when n == c % 8, else 8; n starts at 0 and takes the
// value k after each tab.
std::string ExpandTabs(std::string_view s);

std::string PadLeft(std::string_view s, size_t width, char fill = ' ');
std::string PadRight(std::string_view s, size_t width, char fill = ' ');

// 1200000 -> "1,200,000".
std::string FormatThousands(uint64_t n);
// Digits 0-9, A-Z, "_" and ",": at most base 38.
std::string FormatBase(uint64_t n, unsigned base);
// A number below 100 as two digits with a leading zero.
std::string TwoDigits(unsigned n);

// Number with decimal rules: leading blanks, optional sign, digits; anything
// else ends it; no digits give 0. Values beyond the 32-bit range give the
// nearest limit (INT32_MAX or INT32_MIN).
int32_t ParseDecimal(std::string_view s);
// Hexadecimal digits at the start (after blanks); no digits give 0.
int32_t ParseHex(std::string_view s);

// Blank-separated words of a line.
std::vector<std::string> SplitWords(std::string_view line);
// The first word and the rest (left-trimmed) of a line.
void SplitFirstWord(std::string_view line, std::string* first, std::string* rest);

// printf into a std::string.
std::string Format(const char* fmt, ...) __attribute__((format(printf, 1, 2)));

// Whole-text wildcard match, case-sensitive: "*", "?", "[...]" classes with
// "^" negation and ranges, "\" escapes.
bool WildMatch(std::string_view mask, std::string_view text);

}  // namespace olvix

#endif  // OLVIX_UTIL_TEXT_H_
