// The example node with its sample inbound, tossed as `make demo` does:
// the sample tickets must stay valid (sizes, CRCs, passwords of the
// example's links) and end where the demo says they do.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "scenario.h"
#include "util/paths.h"

namespace olvix::test {
namespace {

// Copies the tree `from` into `to` (relative to the scenario).
void CopyTree(const Scenario& s, const std::string& from, const std::string& to) {
  std::vector<platform::DirEntry> entries;
  ASSERT_EQ(platform::ListDirectory(from, "*", true, &entries), 0) << from;
  for (const platform::DirEntry& e : entries) {
    std::string src = JoinPath(from, e.name);
    if (e.is_dir)
      CopyTree(s, src, to + e.name + "/");
    else
      s.Write(to + e.name, s.Read(src));
  }
}

TEST(ExampleNode, SampleTicketsAreTossedAsTheDemoShows) {
  Scenario s;
  const std::string node = std::string(OLVIX_SOURCE_DIR) + "/examples/node";
  CopyTree(s, node + "/inbound", "spool/inbound/");
  for (const char* name : {"olvix.ini", "olxlinks.ini", "olxareas.ini", "uplink.lst"})
    s.Write(name, s.Read(node + "/" + name));
  CopyTree(s, node + "/templates", "templates/");
  RunResult r = s.Run({"TOSS"});
  ASSERT_EQ(r.status, 0) << r.output;
  EXPECT_TRUE(r.Contains("Unexpected password \"OLDPASS\" for Link 2:5020/3")) << r.output;
  EXPECT_FALSE(r.Contains("Invalid CRC-32")) << r.output;
  EXPECT_EQ(s.Read("fileecho/files.a/olvxdemo.zip"), s.Read(node + "/inbound/olvxdemo.zip"));
  EXPECT_TRUE(s.Exists("fileecho/nodelist/nodediff.338"));
  EXPECT_TRUE(s.Exists("passthru/soft.pass/olvxtool.txt"));
  EXPECT_TRUE(s.Exists("bad/c3e90001.tic"));
  EXPECT_TRUE(s.Exists("bad/news1204.txt"));
  // The uplink's ticket for a fileecho the node does not carry creates it.
  EXPECT_TRUE(s.Exists("fileecho/uplink/SOFT_WIN/olvxwin.txt"));
  EXPECT_NE(s.Read("olxareas.ini").find("Desc    Software for Windows\n"), std::string::npos);
  EXPECT_NE(s.Read("magic/olvix.mag").find("OLVXWIN"), std::string::npos);
  EXPECT_EQ(s.Read("autostart.log"),
            "arrived: " + s.dir() + "fileecho/uplink/SOFT_WIN/olvxwin.txt\n");
  std::vector<platform::DirEntry> entries;
  (void)platform::ListDirectory(s.PathOf("spool/inbound"), "*", true, &entries);  // checked below
  std::string left;
  for (const platform::DirEntry& e : entries) left += e.name + " ";
  EXPECT_EQ(left, "");
  // The second session of the demo: the uplink's first file of NODEDIFF
  // (created here by the ticket, in the demo by a forward request).
  CopyTree(s, node + "/session2", "spool/inbound/");
  r = s.Run({"TOSS"});
  ASSERT_EQ(r.status, 0) << r.output;
  EXPECT_FALSE(r.Contains("Invalid CRC-32")) << r.output;
  EXPECT_EQ(s.Read("fileecho/uplink/NODEDIFF/nodediff.339"),
            s.Read(node + "/session2/nodediff.339"));
  if (std::system("command -v unzip >/dev/null 2>&1") == 0) {
    EXPECT_EQ(s.Read("fileecho/files.a/files.bbs").substr(0, 42),
              "OLVXDEMO.ZIP [00] Olvix demo archive v1.0\n");
  }
}

}  // namespace
}  // namespace olvix::test
