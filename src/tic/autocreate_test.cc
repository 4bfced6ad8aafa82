#include "tic/autocreate.h"

#include <gtest/gtest.h>

#include <string>

namespace olvix {
namespace {

TEST(NewEchoDirNameTest, ShortNamesAreCutAndCleaned) {
  EXPECT_EQ(NewEchoDirName("A.B:C*D?", false), "A_B_C_D_");
  EXPECT_EQ(NewEchoDirName("C++/X\\Y", false), "C___X_Y");
  EXPECT_EQ(NewEchoDirName(std::string("A\x01\x1f\x80"), false), "A__\x80");
  EXPECT_EQ(NewEchoDirName("A.B+C*D", true), "A.B+C*D");
}

// What the list files add to the cases the toss scenarios read: the tag
// anywhere in an ECHOLISTFILE line and case-sensitive there, the line limit,
// the comma that ends a tag in ECHODESCFILE, the last uplink line winning.
TEST(NewEchoListsTest, EachListFindsItsOwnFormOfEntry) {
  const std::string list = "MYFILES\t  First_word_only second\nFILES Other\n";
  EXPECT_EQ(EchoListDescription(list, "FILES"), "First word only");
  EXPECT_EQ(EchoListDescription(list, "files"), "");
  EXPECT_EQ(EchoListDescription(std::string(255, 'x') + "FILES Hidden\n", "FILES"), "");
  const std::string descs = "FILES,No comma first\n,FILESX,Other\n,files,Files of all,more\n";
  EXPECT_EQ(EchoDescFileDescription(descs, "FILES"), "Files of all");
  EXPECT_EQ(EchoDescFileDescription(descs, "FILESX"), "Other");
  EXPECT_EQ(EchoDescFileDescription(descs, "FILE"), "");
  const std::string uplink = "  files   First\r\nFILES Second one\nFILES\nFILES   \nFILESX O\n";
  EXPECT_EQ(UplinkListDescription(uplink, "FILES"), "Second one");
}

}  // namespace
}  // namespace olvix
