#include "outbound/styles.h"

#include <gtest/gtest.h>

#include "manager/letter.h"
#include "outbound/busy.h"
#include "outbound/outbound_fixture.h"
#include "util/paths.h"

namespace olvix {
namespace {

using testing::ListNames;
using testing::OutboundTest;
using testing::ReadFile;
using testing::WriteFile;

class FlowStyles : public OutboundTest {};

TEST_F(FlowStyles, FlowFilesForNodesZonesAndPoints) {
  LinkRecord& node = AddLink({2, 5020, 100, 0}, "N");
  LinkRecord& other_zone = AddLink({3, 100, 1, 0}, "N");
  LinkRecord& point = AddLink({2, 5020, 100, 1}, "N");
  for (LinkRecord* link : {&node, &other_zone, &point}) {
    ASSERT_EQ(SendFileToLink(*ctx_, file_, *link, AfterSending::kKeep, BoxPlacement::kMayLink), 0);
    ASSERT_EQ(SendFileToLink(*ctx_, tic_, *link, AfterSending::kKill, BoxPlacement::kCopyOnly), 0);
  }
  const std::string lines = file_ + "\n^" + tic_ + "\n";
  EXPECT_EQ(ReadFile(Out("/139c0064.flo")), lines);
  EXPECT_EQ(ReadFile(Out(".003/00640001.flo")), lines);
  EXPECT_EQ(ReadFile(Out("/139c0064.pnt/00000001.flo")), lines);
  EXPECT_EQ(ListNames(Out("")), (std::vector<std::string>{"139c0064.flo", "139c0064.pnt"}));
  EXPECT_EQ(ListNames(Out(".003")), (std::vector<std::string>{"00640001.flo"}));
  EXPECT_FALSE(node.delayed_attach);
  EXPECT_NE(ctx_.LogText().find("Sending file file.zip to 2:5020/100.1"), std::string::npos);
}

TEST_F(FlowStyles, ExistingNamesAreFoundInAnyCaseAndLinesCarryTheDiskSpelling) {
  WriteFile(tmp_ / "OUTBOUND.003/00640001.FLO", "old\n");
  WriteFile(tmp_ / "Area/Mixed.ZIP", "z");
  LinkRecord& link = AddLink({3, 100, 1, 0}, "N");
  ASSERT_EQ(AttachBso(*ctx_, tmp_ / "AREA/MIXED.ZIP", link, AfterSending::kKeep), 0);
  EXPECT_EQ(ReadFile(tmp_ / "OUTBOUND.003/00640001.FLO"),
            "old\n" + (tmp_ / "Area/Mixed.ZIP") + "\n");
  EXPECT_EQ(ListNames(tmp_ / "OUTBOUND.003"), (std::vector<std::string>{"00640001.FLO"}));
  EXPECT_EQ(ListNames(tmp_.path()),
            (std::vector<std::string>{"Area", "OUTBOUND.003", "echo", "home", "log", "outmail",
                                      "outtics"}));
}

TEST_F(FlowStyles, LongNameListFiles) {
  UseStyle(AttachStyle::kLbso);
  LinkRecord& crash = AddLink({2, 5020, 100, 0}, "C");
  LinkRecord& odd = AddLink({2, 5020, 101, 2}, "Q");
  ASSERT_EQ(SendFileToLink(*ctx_, file_, crash, AfterSending::kKeep, BoxPlacement::kMayLink), 0);
  ASSERT_EQ(SendFileToLink(*ctx_, tic_, crash, AfterSending::kKill, BoxPlacement::kCopyOnly), 0);
  ASSERT_EQ(SendFileToLink(*ctx_, file_, odd, AfterSending::kKeep, BoxPlacement::kMayLink), 0);
  EXPECT_EQ(ReadFile(Out("/Fidonet.2.5020.100.0.Crash.List")), file_ + "\n^" + tic_ + "\n");
  EXPECT_EQ(ReadFile(Out("/Fidonet.2.5020.101.2.Hold.List")), file_ + "\n");
}

TEST_F(FlowStyles, HeldBusyFlagDelaysTheLine) {
  LinkRecord& link = AddLink({2, 5020, 100, 0}, "C");
  WriteFile(Out("/139c0064.bsy"), "");
  ASSERT_EQ(AttachBso(*ctx_, file_, link, AfterSending::kKeep), 0);
  ASSERT_EQ(AttachBso(*ctx_, tic_, link, AfterSending::kKill), 0);
  EXPECT_TRUE(link.delayed_attach);
  EXPECT_EQ(ReadFile(Out("/139c0064.olx")), file_ + "\n^" + tic_ + "\n");
  EXPECT_EQ(ReadFile(Out("/139c0064.clo")), "<missing>");
  EXPECT_EQ(ReadFile(Out("/139c0064.bsy")), "");  // the mailer's flag is left alone
  EXPECT_NE(ctx_.LogText().find("139c0064.clo cannot be opened. Attach delayed"),
            std::string::npos);
}

// The flags are further names of one file of the run, so that no inode is
// created and freed per line; none is left behind, and the file goes at
// shut-down. Where links cannot be made, plain files serve.
TEST_F(FlowStyles, BusyFlagsComeAndGoWithEveryLine) {
  LinkRecord& node = AddLink({2, 5020, 100, 0}, "N");
  LinkRecord& point = AddLink({2, 5020, 100, 1}, "H");
  for (LinkRecord* link : {&node, &point, &node})
    ASSERT_EQ(AttachBso(*ctx_, file_, *link, AfterSending::kKeep), 0);
  EXPECT_EQ(ListNames(Out("")), (std::vector<std::string>{"139c0064.flo", "139c0064.pnt"}));
  EXPECT_EQ(ListNames(Out("/139c0064.pnt")), std::vector<std::string>{"00000001.hlo"});
  EXPECT_EQ(ListNames(ctx_->home),
            std::vector<std::string>{FilePart(platform::RunTempName("olxbusy"))});
  ReleaseBusyFlagSource(*ctx_);
  EXPECT_EQ(ListNames(ctx_->home), std::vector<std::string>{});

  ctx_->busy_flag_source = tmp_ / "gone/olxbusy.$$$";  // cannot be linked
  ASSERT_EQ(AttachBso(*ctx_, tic_, node, AfterSending::kKill), 0);
  EXPECT_FALSE(ctx_->busy_flag_links);
  EXPECT_EQ(ReadFile(Out("/139c0064.flo")), file_ + "\n" + file_ + "\n^" + tic_ + "\n");
  EXPECT_EQ(ListNames(Out("")), (std::vector<std::string>{"139c0064.flo", "139c0064.pnt"}));
  EXPECT_FALSE(node.delayed_attach);
}

TEST_F(FlowStyles, UnwritableOutboundIsAFailure) {
  WriteFile(tmp_ / "blocker", "a file where a directory should be");
  ctx_->cfg.outbound = tmp_ / "blocker/outbound";
  LinkRecord& link = AddLink({2, 5020, 100, 0}, "N");
  EXPECT_NE(AttachBso(*ctx_, file_, link, AfterSending::kKeep), 0);
  EXPECT_FALSE(link.delayed_attach);
}

TEST_F(FlowStyles, LineBreakInAPathIsRefused) {
  LinkRecord& link = AddLink({2, 5020, 100, 0}, "N");
  EXPECT_NE(AttachBso(*ctx_, tmp_ / "echo/evil\n^/etc/passwd", link, AfterSending::kKeep), 0);
  EXPECT_EQ(ReadFile(Out("/139c0064.flo")), "<missing>");
}

class FileboxStyles : public OutboundTest {
 protected:
  void AppendTo(const std::string& path, const std::string& text) {
    WriteFile(path, ReadFile(path) + text);  // rewrites in place: links see it
  }
};

TEST_F(FileboxStyles, BoxNamesForEachStyle) {
  struct Case {
    AttachStyle style;
    const char* flavour;
    const char* box;
  } cases[] = {{AttachStyle::kFileboxes, "H", "024SS034.00h"},
               {AttachStyle::kFileboxes, "C", "024SS034.00"},
               {AttachStyle::kLongFileboxes, "H", "2.5020.100.0.h"},
               {AttachStyle::kLongFileboxes, "N", "2.5020.100.0"},
               {AttachStyle::kBrakeFileboxes, "H", "Fidonet.2.5020.100.0.Hold"},
               {AttachStyle::kBrakeFileboxes, "D", "Fidonet.2.5020.100.0.Direct"}};
  for (const Case& c : cases) {
    UseStyle(c.style);
    LinkRecord link;
    link.address = {2, 5020, 100, 0};
    link.flavour = c.flavour;
    ASSERT_EQ(SendFileToLink(*ctx_, tmp_ / "echo/file.zip", link, AfterSending::kKeep,
                             BoxPlacement::kMayLink),
              0);
    EXPECT_EQ(ReadFile(Out(std::string("/") + c.box + "/file.zip")), "zip contents") << c.box;
    EXPECT_EQ(FileboxPath(*ctx_, link), Out(std::string("/") + c.box + "/"));
  }
  UseStyle(AttachStyle::kBink);
  EXPECT_EQ(FileboxPath(*ctx_, AddLink({2, 5020, 100, 0}, "N")), "");
}

TEST_F(FileboxStyles, CopiesAreLowerCasedAndTicketsRemoved) {
  UseStyle(AttachStyle::kLongFileboxes);
  LinkRecord& link = AddLink({2, 5020, 100, 0}, "N");
  WriteFile(tmp_ / "echo/UPPER.ZIP", "u");
  WriteFile(tmp_ / "outtics/OL654321.TIC", "t");
  ASSERT_EQ(AttachFilebox(*ctx_, tmp_ / "echo/UPPER.ZIP", link, AfterSending::kKeep,
                          BoxPlacement::kMayLink),
            0);
  ctx_->cfg.hard_links = true;  // a ticket is copied all the same
  ASSERT_EQ(AttachFilebox(*ctx_, tmp_ / "outtics/OL654321.TIC", link, AfterSending::kKill,
                          BoxPlacement::kMayLink),
            0);
  EXPECT_EQ(ListNames(Out("/2.5020.100.0")),
            (std::vector<std::string>{"ol654321.tic", "upper.zip"}));
  EXPECT_EQ(ReadFile(tmp_ / "outtics/OL654321.TIC"), "<missing>");
  EXPECT_EQ(ReadFile(tmp_ / "echo/UPPER.ZIP"), "u");

  // A failed copy keeps the ticket for the next run.
  EXPECT_NE(AttachFilebox(*ctx_, tmp_ / "outtics/gone.tic", link, AfterSending::kKill,
                          BoxPlacement::kCopyOnly),
            0);
}

TEST_F(FileboxStyles, HardLinksKeepTheNameAndShareTheFile) {
  UseStyle(AttachStyle::kFileboxes);
  ctx_->cfg.hard_links = true;
  LinkRecord& link = AddLink({2, 5020, 100, 0}, "N");
  WriteFile(tmp_ / "echo/BIG.ZIP", "big");
  ASSERT_EQ(AttachFilebox(*ctx_, tmp_ / "echo/BIG.ZIP", link, AfterSending::kKeep,
                          BoxPlacement::kMayLink),
            0);
  AppendTo(tmp_ / "echo/BIG.ZIP", "+more");
  EXPECT_EQ(ReadFile(Out("/024SS034.00/BIG.ZIP")), "big+more");

  // The next run copies without links: the copy must not write through the
  // link into the fileecho's own file.
  ctx_->cfg.hard_links = false;
  ASSERT_EQ(AttachFilebox(*ctx_, tmp_ / "echo/BIG.ZIP", link, AfterSending::kKeep,
                          BoxPlacement::kMayLink),
            0);
  EXPECT_EQ(ReadFile(tmp_ / "echo/BIG.ZIP"), "big+more");
  EXPECT_EQ(ListNames(Out("/024SS034.00")), (std::vector<std::string>{"big.zip"}));
  AppendTo(tmp_ / "echo/BIG.ZIP", "!");
  EXPECT_EQ(ReadFile(Out("/024SS034.00/big.zip")), "big+more");
}

TEST_F(FileboxStyles, AcrossVolumesTheFirstBoxGetsACopyAndTheOthersLinks) {
  UseStyle(AttachStyle::kFileboxes);
  std::vector<std::string> boxes;
  for (uint32_t node = 1; node <= 5; ++node)
    boxes.push_back(FileboxPath(*ctx_, AddLink({2, 5020, node, 0}, "N")));
  for (const std::string& box : boxes) ASSERT_EQ(SendLinkAcrossVolumes(*ctx_, file_, box), 0);
  ASSERT_EQ(ctx_->first_copies.size(), 1u);
  EXPECT_EQ(ctx_->first_copies["file.zip"], boxes[0] + "file.zip");
  AppendTo(boxes[0] + "file.zip", "+first");
  for (const std::string& box : boxes) EXPECT_EQ(ReadFile(box + "file.zip"), "zip contents+first");
  EXPECT_EQ(ReadFile(file_), "zip contents");  // the first box got a copy, not a link
}

class NetmailAttach : public OutboundTest {
 protected:
  NetmailAttach() {
    UseStyle(AttachStyle::kAma);
    ctx_->cfg.from_name = "Olvix";
  }
};

TEST_F(NetmailAttach, FlagsAndAttributes) {
  struct Case {
    const char* flavour;
    AfterSending after;
    uint16_t attributes;
    const char* flags;
  } cases[] = {{"HD", AfterSending::kKill, 0x0391, "DIR KFS"},
               {"N", AfterSending::kKeep, 0x0191, ""},
               {"CD", AfterSending::kKeep, 0x0191, "DIR"},
               {"C", AfterSending::kKill, 0x0191, "KFS"}};
  uint32_t number = 2;
  for (const Case& c : cases) {
    LinkRecord link;
    link.address = {2, 5020, 100, 0};
    link.aka = {2, 5020, 1, 0};
    link.flavour = c.flavour;
    ASSERT_EQ(SendFileToLink(*ctx_, file_, link, c.after, BoxPlacement::kMayLink), 0);
    std::string bytes = ReadFile(ctx_->cfg.outmail + std::to_string(number++) + ".msg");
    MessageHeader h;
    ASSERT_TRUE(DecodeMessageHeader(bytes, &h)) << c.flavour;
    EXPECT_EQ(h.attributes, c.attributes) << c.flavour;
    EXPECT_EQ(h.subject, file_);
    EXPECT_EQ(h.from_name, "Olvix");
    EXPECT_EQ(h.to_name, "Sysop");
    std::string kludges = bytes.substr(kMessageHeaderSize);
    std::string flags_line = *c.flags ? std::string("\001FLAGS: ") + c.flags + "\r" : "";
    size_t intl = kludges.find("\x01INTL 2:5020/100 2:5020/1\r");
    ASSERT_NE(intl, std::string::npos);
    EXPECT_EQ(kludges.substr(intl), "\x01INTL 2:5020/100 2:5020/1\r" + flags_line +
                                        "\x01PID Olvix 1.01.08g (" + platform::PlatformName() +
                                        ")\r")
        << c.flavour;
  }
}

TEST_F(NetmailAttach, PathTooLongForTheSubjectIsAFailure) {
  std::string deep = tmp_ / (std::string(80, 'd') + "/file.zip");
  WriteFile(deep, "x");
  LinkRecord& link = AddLink({2, 5020, 100, 0}, "N");
  EXPECT_NE(AttachArcMail(*ctx_, deep, link, AfterSending::kKeep), 0);
  EXPECT_TRUE(ListNames(ctx_->cfg.outmail).empty());
  EXPECT_NE(ctx_.LogText().find("There was an error while creating message to 2:5020/100"),
            std::string::npos);
}

}  // namespace
}  // namespace olvix
