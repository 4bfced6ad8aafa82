#include "run/log.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <regex>
#include <string>
#include <vector>

namespace olvix {
namespace {

std::string Contents(std::FILE* f) {
  std::fflush(f);
  std::rewind(f);
  std::string out;
  char buf[4096];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) out.append(buf, n);
  return out;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < text.size()) {
    size_t nl = text.find('\n', start);
    if (nl == std::string::npos) nl = text.size();
    lines.push_back(text.substr(start, nl - start));
    start = nl + 1;
  }
  return lines;
}

// A Log writing its console lines and its log file into temporary files.
class LogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    console_ = std::tmpfile();
    file_ = std::tmpfile();
    ASSERT_NE(console_, nullptr);
    ASSERT_NE(file_, nullptr);
    log_.set_console(console_);
    log_.AttachFile(file_);
  }
  void TearDown() override {
    log_.DetachFile();
    std::fclose(console_);
    std::fclose(file_);
  }
  // Console lines; also checks that the log file got the very same bytes.
  std::vector<std::string> Written() {
    std::string console = Contents(console_);
    EXPECT_EQ(console, Contents(file_));
    return Lines(console);
  }

  Log log_;
  std::FILE* console_ = nullptr;
  std::FILE* file_ = nullptr;
};

const std::regex kMessagePrefix(R"(^(.) \d\d [A-Z][a-z][a-z] \d\d:\d\d:\d\d OLVX (.*)$)");
const std::regex kDebugPrefix(R"(^(.) DEBUG  \d\d:\d\d:\d\d OLVX (.*)$)");

// The level character and the text of a message line; fails the test when
// the prefix is not the message prefix.
std::pair<char, std::string> SplitMessage(const std::string& line) {
  std::smatch m;
  if (!std::regex_match(line, m, kMessagePrefix)) {
    ADD_FAILURE() << "not a message line: " << line;
    return {0, ""};
  }
  return {m[1].str()[0], m[2].str()};
}

TEST_F(LogTest, LineFormat) {
  log_.Message('#', 0, 114, "Linux", "1.01.08g");
  auto lines = Written();
  ASSERT_EQ(lines.size(), 1u);
  auto [level, text] = SplitMessage(lines[0]);
  EXPECT_EQ(level, '#');
  EXPECT_EQ(text, "Olvix/Linux v1.01.08g started.");
}

TEST_F(LogTest, OnlyEnabledLevelsWithinTheVerbosityLimit) {
  log_.logchars = "!";
  log_.loglevel = 3;
  log_.Message('!', 0, 86);
  log_.Message('!', 3, 2);
  log_.Message('!', 4, 66);             // above the limit
  log_.Message('#', 0, 114, "a", "b");  // level not enabled
  log_.Message('*', 1, 56, "2:5020/1");
  auto lines = Written();
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(SplitMessage(lines[0]).second, "Not enough memory");
  EXPECT_EQ(SplitMessage(lines[1]).second, "Couldn't open logfile!");
}

TEST_F(LogTest, LevelZeroKeepsOnlyVerbosityZero) {
  log_.loglevel = 0;
  log_.Message('#', 0, 114, "a", "b");
  log_.Message('#', 1, 7);
  log_.Message('!', 0, 87, "FOO");
  log_.Message('.', 2, 40, "x");
  auto lines = Written();
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(SplitMessage(lines[0]).second, "Olvix/a vb started.");
  EXPECT_EQ(SplitMessage(lines[1]).second, "Bad command line parameter : FOO");
}

TEST_F(LogTest, NoLevelCharactersNoMessages) {
  log_.logchars = "";
  log_.Message('!', 0, 86);
  EXPECT_TRUE(Written().empty());
}

TEST_F(LogTest, MultiLineMessageRepeatsThePrefix) {
  log_.Message('!', 1, 3);
  auto lines = Written();
  ASSERT_EQ(lines.size(), 2u);
  auto first = SplitMessage(lines[0]);
  auto second = SplitMessage(lines[1]);
  EXPECT_EQ(first.first, '!');
  EXPECT_EQ(second.first, '!');
  EXPECT_EQ(first.second, "There was an error while loading link file");
  EXPECT_EQ(second.second, "or it is empty!");
  // Same time stamp and tag on both lines (barring a second boundary).
  EXPECT_EQ(lines[0].substr(0, 22), lines[1].substr(0, 22));

  log_.Message('!', 3, 0, "C:\\IN\\X.TIC", "No such file or directory");
  lines = Written();
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(SplitMessage(lines[2]).second, "Olvix was not able to open file C:\\IN\\X.TIC");
  EXPECT_EQ(SplitMessage(lines[3]).second, "due to an error: No such file or directory");
}

TEST_F(LogTest, ArgumentsAreNotFormats) {
  // Names from tickets and letters reach the log as arguments; a "%" in
  // them must come out as it is.
  log_.Message('!', 0, 87, "100%s%n");
  auto lines = Written();
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(SplitMessage(lines[0]).second, "Bad command line parameter : 100%s%n");
}

TEST_F(LogTest, DebugCategories) {
  log_.debug = "AE";
  log_.Debug('E', "sending %s", "x.zip");
  log_.Debug('K', "not shown");
  log_.debug = "A";
  log_.Debug('E', "not shown either");
  log_.debug = "";
  log_.Debug('A', "nor this");
  auto lines = Written();
  ASSERT_EQ(lines.size(), 1u);
  std::smatch m;
  ASSERT_TRUE(std::regex_match(lines[0], m, kDebugPrefix)) << lines[0];
  EXPECT_EQ(m[1].str(), "E");
  EXPECT_EQ(m[2].str(), "sending x.zip");
}

TEST_F(LogTest, DebugDropsOneTrailingNewline) {
  log_.debug = "B";
  log_.Debug('B', "line one\n");
  auto lines = Written();
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_TRUE(std::regex_match(lines[0], kDebugPrefix));
  EXPECT_NE(lines[0].find("OLVX line one"), std::string::npos);
}

TEST_F(LogTest, ConsoleAllShowsEverything) {
  log_.console_all = true;
  log_.logchars = "";
  log_.loglevel = 0;
  log_.debug = "";
  log_.Debug('E', "trace");
  log_.Message('.', 5, 60, "x.tic");
  auto lines = Written();
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_TRUE(std::regex_match(lines[0], kDebugPrefix));
  EXPECT_EQ(SplitMessage(lines[1]).second, "Analyzing file x.tic");
}

TEST_F(LogTest, RussianSelection) {
  log_.russian = true;
  log_.Message('#', 1, 7);
  auto lines = Written();
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(SplitMessage(lines[0]).second, kRussianMessages[7]);
  EXPECT_STREQ(log_.Text(7), kRussianMessages[7]);
  log_.russian = false;
  EXPECT_STREQ(log_.Text(7), "Loading link file");
  EXPECT_STREQ(log_.Text(-1), "");
  EXPECT_STREQ(log_.Text(kMessageCount), "");
}

// The printf conversions of a format, in order ("%s", "%20s", "%3i"...).
std::vector<std::string> Conversions(const char* fmt) {
  std::vector<std::string> out;
  for (const char* p = fmt; *p; ++p) {
    if (*p != '%') continue;
    if (p[1] == '%') {
      ++p;
      continue;
    }
    const char* start = p++;
    while (*p && std::strchr("-+ #0123456789.*hlLqjzt", *p)) ++p;
    if (!*p) {
      out.push_back(std::string(start) + "<unterminated>");
      break;
    }
    out.emplace_back(start, static_cast<size_t>(p - start + 1));
  }
  return out;
}

size_t CountNewlines(const char* s) {
  size_t n = 0;
  for (; *s; ++s) n += *s == '\n';
  return n;
}

TEST(CatalogueTest, BothTablesHaveTheSameShape) {
  for (int i = 0; i < kMessageCount; ++i) {
    ASSERT_NE(kEnglishMessages[i], nullptr) << i;
    ASSERT_NE(kRussianMessages[i], nullptr) << i;
    EXPECT_NE(kEnglishMessages[i][0], '\0') << i;
    EXPECT_NE(kRussianMessages[i][0], '\0') << i;
    // Callers pass the same arguments whatever the language.
    EXPECT_EQ(Conversions(kEnglishMessages[i]), Conversions(kRussianMessages[i]))
        << "message " << i;
    EXPECT_EQ(CountNewlines(kEnglishMessages[i]), CountNewlines(kRussianMessages[i]))
        << "message " << i;
  }
}

TEST(CatalogueTest, FixedTexts) {
  EXPECT_STREQ(kEnglishMessages[3], "There was an error while loading link file\nor it is empty!");
  EXPECT_STREQ(kEnglishMessages[87], "Bad command line parameter : %s");
  EXPECT_STREQ(kEnglishMessages[119], "You mast specify filename for Export");
  EXPECT_STREQ(kEnglishMessages[67], kEnglishMessages[62]);
  EXPECT_STREQ(kRussianMessages[67], kRussianMessages[62]);
  EXPECT_STREQ(kRussianMessages[117], kRussianMessages[29]);
  // Cyrillic in CP866 with Latin look-alikes ("p", "y") kept as they are.
  EXPECT_STREQ(kRussianMessages[1], "\x87\xa0\xa2\xa5p\xe8\xa0\xa5\xac p\xa0\xa1\xae\xe2y");
  EXPECT_STREQ(kRussianMessages[7],
               "\x87\xa0\xa3py\xa6\xa0\xa5\xac \xe4\xa0\xa9\xab \xab\xa8\xad\xaa\xae\xa2");
  EXPECT_STREQ(kRussianMessages[8],
               "\x87\xa0\xa3py\xa6\xa0\xa5\xac \xe4\xa0\xa9\xab "
               "\xae\xa1\xab\xa0\xe1\xe2\xa5\xa9");
}

TEST(CatalogueTest, TicSummaryLinesStartWithBoxCorners) {
  for (int i : {26, 27, 28, 29, 30, 31, 32, 117}) {
    EXPECT_EQ(static_cast<unsigned char>(kEnglishMessages[i][0]), 0xC3) << i;
    EXPECT_EQ(static_cast<unsigned char>(kRussianMessages[i][0]), 0xC3) << i;
  }
  EXPECT_EQ(static_cast<unsigned char>(kEnglishMessages[33][0]), 0xC0);
  EXPECT_EQ(static_cast<unsigned char>(kRussianMessages[33][0]), 0xC0);
}

}  // namespace
}  // namespace olvix
