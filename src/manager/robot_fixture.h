// A node 2:5020/1 for the robot's tests: its configuration read from text
// in a temporary home, letters written into NETMAIL, and the answers read
// back from OUTMAIL.
#ifndef OLVIX_MANAGER_ROBOT_FIXTURE_H_
#define OLVIX_MANAGER_ROBOT_FIXTURE_H_

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "config/parse.h"
#include "manager/letter.h"
#include "manager/request.h"
#include "platform/platform.h"
#include "run/context.h"
#include "testing/temp_dir.h"
#include "util/msgnum.h"
#include "util/text.h"

namespace olvix::testing {

// 2:5020/2 writes the letters; 3 is in group B only; 100 is an uplink.
inline constexpr char kRobotLinks[] =
    "LINK 2:5020/2 A SECRET 10 No Hold 2:5020/1 Active\n"
    "LINK 2:5020/3 B PASS3 10 No Hold 2:5020/1 Active\n"
    "LINK 2:5020/100 AB UPPW 100 No Normal 2:5020/1 Active\n";

class RobotTest : public ::testing::Test {
 protected:
  RobotTest() : ctx_(tmp_ / "home/", tmp_ / "log/") {}
  // The robot changes into its directories; later tests start where this
  // one did.
  ~RobotTest() override { (void)platform::ChangeDirectory(start_dir_); }

  // Reads the links, olvix.ini (the base keys and `settings`) and the
  // areas into the context, and writes them into the home directory.
  void Load(const std::string& settings, const std::string& areas,
            const std::string& links = kRobotLinks) {
    const std::string ini =
        "ADDRESS 2:5020/1\nORIGIN Robot node\nROBOTNAMES Olvix,AllFix\nLOGNAME olvix.log\n"
        "BADPWD badpwd.tpl\nINBOUND in\nOUTMAIL outmail\nNETMAIL netmail\nOUTTICS outtics\n"
        "BADPATH bad\nNEWECHOPATH new\nATTACHSTYLE BINK\nOUTBOUND out\n" +
        settings;
    WriteFile(Home("olxlinks.ini"), links);
    WriteFile(Home("olvix.ini"), ini);
    WriteFile(Home("olxareas.ini"), areas);
    LoadLinksText(*ctx_, links);
    LoadSettingsText(*ctx_, ini);
    ASSERT_EQ(LoadAreasText(*ctx_, areas), 0);
    CreatePath(ctx_->cfg.outmail);
    CreatePath(ctx_->cfg.netmail);
  }

  std::string Home(const std::string& name) const { return tmp_ / ("home/" + name); }
  LinkRecord& Link(const char* address) { return *ctx_->links.Find(ParseAddress(address)); }

  // Writes a letter into NETMAIL as `name`: header, then `lines` each
  // ended by CR (kludges included as given).
  void PutLetter(const std::string& name, const std::string& from_name, const std::string& to_name,
                 const std::string& subject, const char* from,
                 const std::vector<std::string>& lines, const char* to = "2:5020/1") {
    FtnAddress o = ParseAddress(from), d = ParseAddress(to);
    MessageHeader h;
    h.from_name = from_name;
    h.to_name = to_name;
    h.subject = subject;
    h.orig_net = static_cast<uint16_t>(o.net);
    h.orig_node = static_cast<uint16_t>(o.node);
    h.dest_net = static_cast<uint16_t>(d.net);
    h.dest_node = static_cast<uint16_t>(d.node);
    std::string text =
        Format("\x01INTL %u:%u/%u %u:%u/%u\r", d.zone, d.net, d.node, o.zone, o.net, o.node);
    if (o.point) text += Format("\001FMPT %u\r", o.point);
    for (const std::string& l : lines) text += l + "\r";
    WriteFile(ctx_->cfg.netmail + name, EncodeMessageHeader(h) + text);
  }

  // The letters in OUTMAIL in the order they were written.
  std::vector<NetmailLetter> Sent() {
    std::vector<std::string> names = ListNames(ctx_->cfg.outmail);
    std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
      return MessageNumberOf(a) < MessageNumberOf(b);
    });
    std::vector<NetmailLetter> out;
    for (const std::string& n : names) {
      NetmailLetter l;
      EXPECT_EQ(ParseLetter(ReadFile(ctx_->cfg.outmail + n), &l), 0) << n;
      out.push_back(l);
    }
    return out;
  }

  // Every letter in OUTMAIL, each as "<address> <to name> <subject>: " and
  // its body.
  std::string Letters() {
    std::string out;
    for (const NetmailLetter& l : Sent())
      out += FormatAddress(l.destination) + " " + l.to_name + " " + l.subject + ": " + Body(l);
    return out;
  }

  // The text lines of a letter between its kludges and its tear line,
  // each followed by "\n". Empty lines are not stored in a letter.
  static std::string Body(const NetmailLetter& l) {
    std::string out;
    for (const std::string& line : l.lines) {
      if (line[0] == '\x01') continue;
      if (line.compare(0, 4, "--- ") == 0) break;
      out += line + "\n";
    }
    return out;
  }

  const std::string start_dir_ = platform::CurrentDirectory();
  ScopedTempDir tmp_;
  TestContext ctx_;
  ManagerRequest req_;  // for the tests that run commands one by one
};

}  // namespace olvix::testing

#endif  // OLVIX_MANAGER_ROBOT_FIXTURE_H_
