#include "tic/autocreate.h"

#include <gtest/gtest.h>

#include <string>

namespace olvix {
namespace {

TEST(NewEchoDirNameTest, ShortNamesAreCutAndCleaned) {
  EXPECT_EQ(NewEchoDirName("LONGTAGNAME.ONE", false), "LONGTAGN");
  EXPECT_EQ(NewEchoDirName("A.B:C*D?", false), "A_B_C_D_");
  EXPECT_EQ(NewEchoDirName("C++/X\\Y", false), "C___X_Y");
  EXPECT_EQ(NewEchoDirName("..", false), "__");
  EXPECT_EQ(NewEchoDirName(std::string("A\x01\x1f\x80"), false), "A__\x80");
  EXPECT_EQ(NewEchoDirName("A.B+C*D", true), "A.B+C*D");
}

TEST(NewEchoListsTest, EchoListFileGivesTheFirstWordAfterTheTag) {
  const std::string list =
      ";FILES Commented\n"
      "\n"
      "MYFILES\t  First_word_only second\n"
      "FILES Other\n";
  // The tag may stand anywhere in the line, and only its first line counts.
  EXPECT_EQ(EchoListDescription(list, "FILES"), "First word only");
  EXPECT_EQ(EchoListDescription(list, "files"), "");
  EXPECT_EQ(EchoListDescription("FILES\n", "FILES"), "");
  // A line is read up to 255 characters; its rest is not a line of its own.
  EXPECT_EQ(EchoListDescription(std::string(255, 'x') + "FILES Hidden\n", "FILES"), "");
}

TEST(NewEchoListsTest, EchoDescFileTakesTheFieldAfterTheTagsComma) {
  const std::string list =
      "FILES,Not a comma line\n"
      ",FILESX,Another fileecho\n"
      ",files,Files of all kinds,more\n"
      ",FILES,Second\n";
  EXPECT_EQ(EchoDescFileDescription(list, "FILES"), "Files of all kinds");
  EXPECT_EQ(EchoDescFileDescription(list, "FILESX"), "Another fileecho");
  EXPECT_EQ(EchoDescFileDescription(",FILES\n", "FILES"), "");
  EXPECT_EQ(EchoDescFileDescription(list, "FILE"), "");
}

TEST(NewEchoListsTest, UplinkListTakesTheLastLineWithADescription) {
  const std::string list =
      "  files   First\r\n"
      "FILES Second one\n"
      "FILES\n"
      "FILES   \n"
      "FILESX Other\n";
  EXPECT_EQ(UplinkListDescription(list, "FILES"), "Second one");
  EXPECT_EQ(UplinkListDescription(list, "NONE"), "");
}

}  // namespace
}  // namespace olvix
