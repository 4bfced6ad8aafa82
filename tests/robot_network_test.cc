// Letters made by other software: crashwrite writes a letter of a link to
// the robot into a packet, crashmail tosses it into NETMAIL, Olvix answers
// into OUTMAIL, and crashmail packs the answers for the link, which must
// arrive with their names, subjects and lines.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ftn_network.h"
#include "manager/letter.h"
#include "scenario.h"
#include "util/address.h"

namespace olvix::ftnnet {
namespace {

TEST(RobotLetters, ALetterWrittenAndCarriedByCrashmailIsAnswered) {
  std::string crashmail = FindProgram("crashmail"), crashwrite = FindProgram("crashwrite");
  if (crashmail.empty() || crashwrite.empty())
    GTEST_SKIP() << "crashmail is not installed (.ci/run installs it)";
  test::Scenario s;
  s.Write("olvix.ini",
          "ADDRESS 2:5020/1\nORIGIN Robot node\nROBOTNAMES FILEFIX\nLOGNAME olvix.log\n"
          "BADPWD badpwd.tpl\nINBOUND in\nNETMAIL netmail\nOUTMAIL outmail\nOUTTICS outtics\n"
          "BADPATH bad\nNEWECHOPATH new\n[TEMPLATES]\nKEYWORD QUERY\nTEMPLATE query.tpl\n");
  s.Write("olxlinks.ini", "LINK 2:5020/2 A SECRET 10 No Normal 2:5020/1 Active\n");
  s.Write("olxareas.ini", "AREA FILES.A files/a A 0 0 2:5020/1\nDESC Files of A\n");
  s.Write("query.tpl", "Yours:\n>***<\n@A - @D\n");
  s.Write("letter.txt", "Hello robot,\n+files.a\n%query\n");
  // Incoming: the node's crashmail tosses into Olvix's NETMAIL; outgoing:
  // a second configuration scans OUTMAIL.
  CrashmailSetup in, out;
  std::string error;
  ASSERT_TRUE(
      MakeCrashmailSetup(s.PathOf("cm-in"), "2:5020/1", {}, s.PathOf("netmail"), "", &in, &error))
      << error;
  ASSERT_TRUE(MakeCrashmailSetup(s.PathOf("cm-out"), "2:5020/1", {{"2:5020/2", "2:5020/2"}},
                                 s.PathOf("outmail"), "", &out, &error))
      << error;
  RunResult w = RunProgram(
      {crashwrite, "DIR", in.inbound, "FROMNAME", "Ivan Petrov", "FROMADDR", "2:5020/2", "TONAME",
       "FileFix", "TOADDR", "2:5020/1", "SUBJECT", "secret", "TEXT", s.PathOf("letter.txt")},
      s.PathOf("crashwrite.out"), 20000);
  ASSERT_TRUE(w.ok()) << w.output;
  RunResult r = RunCrashmail(crashmail, in, {"TOSSDIR", in.inbound, "NOSECURITY"});
  ASSERT_TRUE(r.ok()) << r.output;
  ASSERT_EQ(ListNames(s.PathOf("netmail")).size(), 1u) << r.output;

  test::RunResult m = s.Run({"MGR"});
  ASSERT_EQ(m.status, 0) << m.output;
  EXPECT_TRUE(ListNames(s.PathOf("netmail")).empty()) << m.output;
  r = RunCrashmail(crashmail, out, {"SCAN"});
  ASSERT_TRUE(r.ok()) << r.output;
  std::string data;
  ASSERT_TRUE(ReadFile(Join(out.outbound, "139c0002.out"), &data)) << r.output;
  Packet pkt;
  ASSERT_EQ(ParsePacket(data, &pkt, &error), 0) << error;
  ASSERT_EQ(pkt.messages.size(), 2u);
  const PackedMessage& answer = pkt.messages[0];
  EXPECT_EQ(answer.subject, "Request answer");
  EXPECT_EQ(answer.to_name, "Ivan Petrov");
  EXPECT_EQ(answer.from_name, "Olvix");
  EXPECT_EQ(FormatAddress(answer.destination), "2:5020/2");
  EXPECT_EQ(answer.BodyLines(),
            (std::vector<std::string>{"Yours:", "FILES.A - Files of A", "", LetterTearLine(),
                                      " * Origin: Robot node (2:5020/1)"}));
  const PackedMessage& report = pkt.messages[1];
  EXPECT_EQ(report.subject, "Status changes");
  EXPECT_EQ(report.to_name, "Ivan Petrov");
  // The greeting is no fileecho here and no uplink offers it.
  EXPECT_EQ(report.BodyLines(),
            (std::vector<std::string>{"Filearea HELLO ROBOT, not found",
                                      "Added:                        FILES.A", "",
                                      " 1 fileecho(s) added", " 0 fileecho(s) removed", "",
                                      LetterTearLine(), " * Origin: Robot node (2:5020/1)"}));
}

}  // namespace
}  // namespace olvix::ftnnet
