// TOSS through the built program: placing files (REPLACES, the queue and
// same-name keeping, passthrough fileechoes, the purge index, [AUTOCOPY]),
// description files with cut lines and FILE_ID.DIZ, and [AUTOFLAGS].
#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

#include "toss_fixture.h"
#include "util/text.h"

namespace olvix::test {
namespace {

const char kHello[] = "hello world\n";
const char kIndent[] = "             ";  // DESCWIDTH 14

// --- REPLACES -----------------------------------------------------------

const char kOldDescriptions[] =
    "OLD1.ZIP     [00] first old\n"
    "             +more of the first\n"
    "KEEP.TXT     [00] kept\n"
    "OLD2.ZIP     [00] second old\n";

struct ReplaceCase {
  const char* what;
  std::string settings;
  std::string area = "FILES.A";
  std::string dir = "files/a";
  std::string from = "2:5020/2";
  std::string pw = "SECRET";
  std::string replaces = "OLD*.ZIP";
  std::string left;  // names in the directory afterwards
  std::string descriptions;
};

void RunReplaceCase(const ReplaceCase& c) {
  SCOPED_TRACE(c.what);
  TossNode n;
  n.settings = "DESCWIDTH 14\nDESCCHAR +\n" + c.settings;
  n.s.Write(c.dir + "/old1.zip", "1");
  n.s.Write(c.dir + "/old2.zip", "2");
  n.s.Write(c.dir + "/keep.txt", "k");
  n.s.Write(c.dir + "/files.bbs", kOldDescriptions);
  n.AddFile("new.zip", "new");
  Ticket t;
  t.area = c.area;
  t.file = "NEW.ZIP";
  t.from = c.from;
  t.pw = c.pw;
  t.extra = {"Replaces " + c.replaces, "Desc new one"};
  n.AddTic("a.tic", t);
  RunResult r = n.Toss();
  ASSERT_EQ(r.status, 0) << r.output;
  EXPECT_EQ(n.Names("bad"), "");
  EXPECT_EQ(n.Names(c.dir), c.left);
  EXPECT_EQ(n.s.Read(c.dir + "/files.bbs"), c.descriptions);
  EXPECT_EQ(n.s.Read(c.dir + "/new.zip"), "new");
}

TEST(TossReplaces, HonouredReplacesDeleteTheMatchingFilesAndTheirDescriptions) {
  ReplaceCase c;
  c.what = "yes, wildcards";
  c.left = "files.bbs keep.txt new.zip";
  c.descriptions = "KEEP.TXT     [00] kept\nNEW.ZIP      [00] new one\n";
  RunReplaceCase(c);

  c.what = "no wildcards, one name";
  c.settings = "REPLACES NoWildcards\n";
  c.replaces = "old1.zip";
  c.left = "files.bbs keep.txt new.zip old2.zip";
  c.descriptions =
      "KEEP.TXT     [00] kept\nOLD2.ZIP     [00] second old\nNEW.ZIP      [00] new one\n";
  RunReplaceCase(c);
}

TEST(TossReplaces, AMaskForEverythingKeepsTheDescriptionFile) {
  ReplaceCase c;
  c.what = "Replaces *";
  c.replaces = "*";
  c.left = "files.bbs new.zip";
  c.descriptions = "NEW.ZIP      [00] new one\n";
  RunReplaceCase(c);
}

TEST(TossReplaces, ReplacesThatIsNotHonouredDeletesNothing) {
  const std::string all = "files.bbs keep.txt new.zip old1.zip old2.zip";
  const std::string descs = std::string(kOldDescriptions) + "NEW.ZIP      [00] new one\n";
  std::vector<ReplaceCase> cases(6);
  cases[0].what = "NOWILDCARDS with *";
  cases[0].settings = "REPLACES NOWILDCARDS\n";
  cases[1].what = "NOWILDCARDS with ?";
  cases[1].settings = "REPLACES NOWILDCARDS\n";
  cases[1].replaces = "OLD?.ZIP";
  cases[2].what = "REPLACES No";
  cases[2].settings = "REPLACES No\n";
  cases[3].what = "NOREPLACE";
  cases[3].settings = "NOREPLACE FOO.ZIP old*.zip\n";
  cases[4].what = "area flag R";
  cases[4].area = "FILES.R";
  cases[4].dir = "files/r";
  cases[5].what = "link option R";
  cases[5].from = "2:5020/7";
  cases[5].pw = "PASS7";
  for (ReplaceCase& c : cases) {
    c.left = all;
    c.descriptions = descs;
    RunReplaceCase(c);
  }
}

TEST(TossReplaces, APassthroughFileechoIgnoresReplaces) {
  TossNode n;
  n.s.Write("pass/a/old1.zip", "1");
  n.AddFile("new.zip", "new");
  Ticket t;
  t.area = "PASS.A";
  t.file = "NEW.ZIP";
  t.extra = {"Replaces OLD*.ZIP"};
  n.AddTic("a.tic", t);
  RunResult r = n.Toss();
  ASSERT_EQ(r.status, 0) << r.output;
  EXPECT_EQ(n.Names("pass/a"), "new.zip old1.zip");
}

// --- Queue and same-name keeping ----------------------------------------

TEST(TossQueue, MoveToQueueKeepsTheOlderFileUnderATildeName) {
  TossNode n;
  // The description of an entry line is read from column DESCMARKPOS - 1
  // (13 by default): a template without the "[00]" counter fits that.
  n.settings = "QUEUEDIR queue\nMOVETOQUEUE Yes\nDESCWIDTH 14\nDESCLINE @@@@@@@@@@@N @D\n";
  n.s.Write("files/a/file.zip", "old");
  n.s.Write("files/a/files.bbs", "FILE.ZIP     old one\n");
  n.AddFile("file.zip", "new");
  Ticket t;
  t.file = "FILE.ZIP";
  t.extra = {"Desc new one"};
  n.AddTic("a.tic", t);
  RunResult r = n.Toss();
  ASSERT_EQ(r.status, 0) << r.output;
  EXPECT_EQ(n.Names("files/a"), "file.zip file.z~1 files.bbs");
  EXPECT_EQ(n.s.Read("files/a/file.z~1"), "old");
  EXPECT_EQ(n.s.Read("files/a/file.zip"), "new");
  EXPECT_EQ(n.s.Read("queue/file.zip"), "new");
  EXPECT_EQ(n.s.Read("files/a/files.bbs"),
            "FILE.Z~1     old one\n"
            "FILE.ZIP     new one\n");
  // The links get the copy in the queue.
  std::string flow = n.s.Read("out/bso/139c0004.flo");
  EXPECT_EQ(flow.compare(0, flow.find('\n'), n.s.dir() + "queue/file.zip"), 0) << flow;

  // The next one pushes the kept name on to ~2.
  n.AddFile("file.zip", "newer");
  n.AddTic("b.tic", t);
  r = n.Toss();
  ASSERT_EQ(r.status, 0) << r.output;
  EXPECT_EQ(n.Names("files/a"), "file.zip file.z~1 file.z~2 files.bbs");
  EXPECT_EQ(n.s.Read("files/a/file.z~2"), "new");
  EXPECT_EQ(n.s.Read("files/a/file.zip"), "newer");
}

TEST(TossQueue, WithoutTheQueueOrMoveToQueueTheFileIsOverwritten) {
  for (const char* settings : {"MOVETOQUEUE Yes\n", "QUEUEDIR queue\n"}) {
    SCOPED_TRACE(settings);
    TossNode n;
    n.settings = settings;
    n.s.Write("files/a/file.zip", "old");
    n.AddFile("file.zip", "new");
    Ticket t;
    t.file = "FILE.ZIP";
    n.AddTic("a.tic", t);
    RunResult r = n.Toss();
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_EQ(n.Names("files/a"), "file.zip files.bbs");
    EXPECT_EQ(n.s.Read("files/a/file.zip"), "new");
  }
}

// --- Passthrough, purge index -------------------------------------------

TEST(TossPassthrough, FileIsCopiedButGetsNoDescriptionAndNoIndexLine) {
  TossNode n;
  n.AddFile("hello.txt", kHello);
  Ticket t;
  t.area = "PASS.A";
  t.extra = {"Desc passing through"};
  n.AddTic("a.tic", t);
  RunResult r = n.Toss();
  ASSERT_EQ(r.status, 0) << r.output;
  EXPECT_EQ(n.Names("pass/a"), "hello.txt");
  EXPECT_EQ(n.s.Read("olxprg.idx"), "");
  EXPECT_EQ(n.s.Read("out/bso/139c0004.flo").substr(0, n.s.dir().size() + 16),
            n.s.dir() + "pass/a/hello.txt");
  EXPECT_EQ(n.Names("in"), "");
}

TEST(TossPassthrough, WithAQueueTheFileStaysOutOfTheFileechoDirectory) {
  TossNode n;
  n.settings = "QUEUEDIR queue\n";
  n.AddFile("hello.txt", kHello);
  Ticket t;
  t.area = "PASS.A";
  n.AddTic("a.tic", t);
  RunResult r = n.Toss();
  ASSERT_EQ(r.status, 0) << r.output;
  EXPECT_FALSE(n.s.Exists("pass/a/hello.txt"));
  EXPECT_EQ(n.s.Read("queue/hello.txt"), kHello);
  std::string flow = n.s.Read("out/bso/139c0004.flo");
  EXPECT_EQ(flow.compare(0, flow.find('\n'), n.s.dir() + "queue/hello.txt"), 0) << flow;
}

TEST(TossPurgeIndex, ALimitedFileechoGetsALineForEachFile) {
  TossNode n;
  n.AddFile("hello.txt", kHello);
  n.AddFile("big.bin", std::string(3000, 'b'));
  Ticket hello;
  hello.area = "LIMITED";
  n.AddTic("a.tic", hello);
  Ticket big;
  big.area = "LIMITED";
  big.file = "BIG.BIN";
  n.AddTic("b.tic", big);
  long long before = static_cast<long long>(std::time(nullptr));
  RunResult r = n.Toss();
  long long after = static_cast<long long>(std::time(nullptr));
  ASSERT_EQ(r.status, 0) << r.output;
  std::string index = n.s.Read("olxprg.idx");
  std::vector<std::string> lines;
  for (size_t pos = 0; pos < index.size();) {
    size_t nl = index.find('\n', pos);
    ASSERT_NE(nl, std::string::npos) << index;
    lines.push_back(index.substr(pos, nl - pos));
    pos = nl + 1;
  }
  ASSERT_EQ(lines.size(), 2u) << index;
  const char* tails[] = {" LIMITED 12 HELLO.TXT", " LIMITED 3000 BIG.BIN"};
  for (size_t i = 0; i < 2; ++i) {
    size_t blank = lines[i].find(' ');
    long long t = std::atoll(lines[i].substr(0, blank).c_str());
    EXPECT_GE(t, before);
    EXPECT_LE(t, after);
    EXPECT_EQ(lines[i].substr(blank), tails[i]);
  }
}

TEST(TossPurgeIndex, WithoutLimitsOrPassthroughTheIndexIsNotTouched) {
  TossNode n;
  n.areas =
      "AREA FILES.A files/a A 0 0 2:5020/1\n"
      "LINKS 2:5020/2 4\n";
  n.AddFile("hello.txt", kHello);
  n.AddTic("a.tic", Ticket{});
  RunResult r = n.Toss();
  ASSERT_EQ(r.status, 0) << r.output;
  EXPECT_EQ(n.s.Read("files/a/hello.txt"), kHello);
  EXPECT_FALSE(n.s.Exists("olxprg.idx"));
}

// --- Descriptions ---------------------------------------------------------

std::string Numbers(int from, int to) {
  std::string out;
  for (int i = from; i <= to; ++i) out += (out.empty() ? "" : " ") + Format("%04d", i);
  return out;
}

TEST(TossDescriptions, DescLimitCutsAtABlankOrHardButSendsTheWholeLine) {
  TossNode n;
  n.settings = "DESCLIMIT 45\nDESCWIDTH 14\n";
  n.AddFile("hello.txt", kHello);
  const std::string blanks = Numbers(1, 20);  // a blank every 5 characters
  const std::string solid(100, 'x');
  const std::string far_blank = "a " + std::string(60, 'y');  // 44 back: too far
  Ticket t;
  t.extra = {"Desc " + blanks, "LDesc " + solid, "LDesc " + far_blank};
  n.AddTic("a.tic", t);
  RunResult r = n.Toss();
  ASSERT_EQ(r.status, 0) << r.output;
  std::string i = kIndent;
  EXPECT_EQ(n.s.Read("files/a/files.bbs"),
            "HELLO.TXT    [00] " + Numbers(1, 9) + "\n" +  // 44 characters
                i + Numbers(10, 18) + "\n" + i + Numbers(19, 20) + "\n" + i + std::string(45, 'x') +
                "\n" + i + std::string(45, 'x') + "\n" + i + std::string(10, 'x') + "\n" + i +
                far_blank.substr(0, 45) + "\n" + i + far_blank.substr(45) + "\n");
  std::string out = n.s.Read(n.TicOfFlow("out/bso/139c0004.flo"));
  EXPECT_TRUE(
      Holds(out, "\r\nDesc " + blanks + "\r\nLDesc " + solid + "\r\nLDesc " + far_blank + "\r\n"));
}

TEST(TossDescriptions, EntriesUseTheConfiguredLayoutAndReplaceTheOldEntry) {
  TossNode n;
  n.settings =
      "DESCLINE @@@@@@@@@@@N @@@@@@S @D\n"
      "DESCWIDTH 31\n"
      "DESCCHAR |\n"
      "DESCMARK *\n"
      "DESCMARKPOS 0\n";
  n.s.Write("files/a/files.bbs",
            "HELLO.TXT          5 old text\n"
            "                              |old second line\n"
            "OTHER.TXT          7 stays\n");
  n.AddFile("hello.txt", kHello);
  Ticket t;
  t.extra = {"Desc new text", "LDesc second", "LDesc third"};
  n.AddTic("a.tic", t);
  RunResult r = n.Toss();
  ASSERT_EQ(r.status, 0) << r.output;
  const std::string indent(30, ' ');
  EXPECT_EQ(n.s.Read("files/a/files.bbs"),
            "OTHER.TXT          7 stays\n"
            "HELLO.TXT         12 new text\n" +
                indent + "|second\n" + indent + "|third\n");
}

TEST(TossDescriptions, WithoutRewriteDescTheOldEntryStays) {
  TossNode n;
  n.settings = "REWRITEDESC No\n";
  n.s.Write("files/a/files.bbs", "HELLO.TXT    [00] old text\n");
  n.AddFile("hello.txt", kHello);
  Ticket t;
  t.extra = {"Desc new text"};
  n.AddTic("a.tic", t);
  RunResult r = n.Toss();
  ASSERT_EQ(r.status, 0) << r.output;
  EXPECT_EQ(n.s.Read("files/a/files.bbs"),
            "HELLO.TXT    [00] old text\nHELLO.TXT    [00] new text\n");
}

TEST(TossDescriptions, EntriesOfOneRunAreSortedByFileName) {
  TossNode n;
  for (const char* name : {"c.txt", "a.txt", "b.txt"}) n.AddFile(name, name);
  int k = 0;
  for (const char* name : {"C.TXT", "A.TXT", "B.TXT"}) {
    Ticket t;
    t.file = name;
    n.AddTic(Format("t%d.tic", k++), t);
  }
  RunResult r = n.Toss();
  ASSERT_EQ(r.status, 0) << r.output;
  EXPECT_EQ(n.s.Read("files/a/files.bbs"),
            "A.TXT        [00] No description found\n"
            "B.TXT        [00] No description found\n"
            "C.TXT        [00] No description found\n");
}

// The [PACKERS] section of the example node.
std::string ExamplePackers() {
  std::string ini = TossNode().s.Read(std::string(OLVIX_SOURCE_DIR) + "/examples/node/olvix.ini");
  size_t from = ini.find("[PACKERS]\n");
  if (from == std::string::npos) return "";
  size_t to = ini.find("\n[", from + 1);
  return ini.substr(from, to == std::string::npos ? std::string::npos : to + 1 - from);
}

bool HasProgram(const char* name) {
  return std::system((std::string("command -v ") + name + " >/dev/null 2>&1").c_str()) == 0;
}

TEST(TossDiz, AZipArchiveGivesItsFileIdDizAsTheDescription) {
  if (!HasProgram("zip") || !HasProgram("unzip"))
    GTEST_SKIP() << "zip and unzip are needed (.ci/run installs them)";
  std::string packers = ExamplePackers();
  ASSERT_FALSE(packers.empty());
  TossNode n;
  n.settings = "DESCWIDTH 14\n" + packers;
  // Archives usually carry the name in upper case.
  n.s.Write("make/FILE_ID.DIZ", "Demo archive v1.0\r\n\tTwo lines of DIZ\r\n");
  n.s.Write("make/readme.txt", "Read me.\n");
  n.s.MakeDir("in");
  const std::string zip_name = "x;echo>pwned;.zip";
  std::string cmd =
      "cd " + n.s.PathOf("make") + " && zip -q -j '../in/" + zip_name + "' FILE_ID.DIZ readme.txt";
  ASSERT_EQ(std::system(cmd.c_str()), 0);
  Ticket t;
  t.file = Upper(zip_name);
  t.extra = {"Desc from the ticket"};
  n.AddTic("a.tic", t);
  RunResult r = n.Toss();
  ASSERT_EQ(r.status, 0) << r.output;
  EXPECT_TRUE(Holds(r.Plain(), "# Packer type for X;ECHO>PWNED;.ZIP is ZIP\n"));
  EXPECT_TRUE(Holds(r.Plain(), "# Extracting FILE_ID.DIZ from file X;ECHO>PWNED;.ZIP\n"));
  EXPECT_EQ(n.s.Read("files/a/files.bbs"),
            "X;ECHO>PWNED;.ZIP [00] Demo archive v1.0\n"
            "             " +
                std::string(8, ' ') + "Two lines of DIZ\n");
  EXPECT_EQ(n.Names("files/a"), "files.bbs " + zip_name);
  EXPECT_EQ(n.Names("in"), "");  // FILE_ID.DIZ is gone too
  EXPECT_FALSE(n.s.Exists("in/pwned"));
  EXPECT_FALSE(n.s.Exists("pwned"));
  // Links get the ticket's own description.
  EXPECT_TRUE(Holds(n.s.Read(n.TicOfFlow("out/bso/139c0004.flo")), "\r\nDesc from the ticket\r\n"));
}

TEST(TossDiz, AReceivedFileNamedFileIdDizIsTossedLikeAnyOther) {
  if (!HasProgram("zip") || !HasProgram("unzip"))
    GTEST_SKIP() << "zip and unzip are needed (.ci/run installs them)";
  TossNode n;
  n.settings = "DESCWIDTH 14\nDIZTOARCHIVES Yes\n" + ExamplePackers();
  n.s.Write("make/FILE_ID.DIZ", "Inside the archive\r\n");
  n.s.MakeDir("in");
  std::string cmd = "cd " + n.s.PathOf("make") + " && zip -q -j ../in/pack.zip FILE_ID.DIZ";
  ASSERT_EQ(std::system(cmd.c_str()), 0);
  // A plain file of that name, distributed on its own, and an older one
  // already in the fileecho.
  n.AddFile("file_id.diz", "a file of its own\n");
  n.s.Write("files/a/file_id.diz", "older\n");
  Ticket diz;
  diz.file = "FILE_ID.DIZ";
  diz.extra = {"Desc the file"};
  n.AddTic("a.tic", diz);
  Ticket pack;
  pack.file = "PACK.ZIP";
  n.AddTic("b.tic", pack);
  RunResult r = n.Toss();
  ASSERT_EQ(r.status, 0) << r.output;
  EXPECT_EQ(n.s.Read("files/a/file_id.diz"), "a file of its own\n");
  EXPECT_EQ(n.Names("bad"), "");
  EXPECT_TRUE(Holds(n.s.Read("files/a/files.bbs"), "PACK.ZIP     [00] Inside the archive\n"));
  EXPECT_TRUE(Holds(n.s.Read("out/bso/139c0004.flo"), "file_id.diz\n"));
}

TEST(TossPlace, AMissingFileechoDirectoryIsMadeNotAFailure) {
  TossNode n;
  n.settings = "[AUTOCOPY]\nHELLO.* FILES.A copies/not/yet\n";
  n.AddFile("hello.txt", kHello);
  n.AddFile("other.txt", "other");
  n.AddTic("a.tic", Ticket{});
  Ticket other;
  other.file = "OTHER.TXT";
  n.AddTic("b.tic", other);
  RunResult r = n.Toss();
  ASSERT_EQ(r.status, 0) << r.output;
  EXPECT_EQ(n.s.Read("copies/not/yet/hello.txt"), kHello);
  EXPECT_EQ(n.s.Read("files/a/other.txt"), "other");
}

// --- [AUTOCOPY] and [AUTOFLAGS] -------------------------------------------

TEST(TossAutocopy, MatchingFilesGoToTheAutocopyDirectory) {
  TossNode n;
  n.settings =
      "DESCWIDTH 14\n"
      "[AUTOCOPY]\n"
      "HELLO.* FILES.A copies/hello\n"
      "NODEDIFF * copies/magic\n"
      "OTHER.* FILES.R copies/wrong\n";
  for (const char* dir : {"copies/hello", "copies/magic", "copies/wrong"}) n.s.MakeDir(dir);
  n.AddFile("hello.txt", kHello);
  n.AddFile("data.bin", "data");
  n.AddFile("other.txt", "other");
  Ticket hello;
  hello.extra = {"Desc hello"};
  n.AddTic("a.tic", hello);
  Ticket data;
  data.area = "LIMITED";
  data.file = "DATA.BIN";
  data.extra = {"Magic NODEDIFF"};
  n.AddTic("b.tic", data);
  Ticket other;
  other.file = "OTHER.TXT";
  n.AddTic("c.tic", other);
  RunResult r = n.Toss();
  ASSERT_EQ(r.status, 0) << r.output;
  EXPECT_EQ(n.Names("copies/hello"), "files.bbs hello.txt");
  EXPECT_EQ(n.s.Read("copies/hello/files.bbs"), "HELLO.TXT    [00] hello\n");
  EXPECT_EQ(n.Names("copies/magic"), "data.bin files.bbs");
  EXPECT_EQ(n.Names("copies/wrong"), "");
  EXPECT_EQ(n.Names("files/a"), "files.bbs other.txt");
  EXPECT_EQ(n.Names("files/lim"), "");
  EXPECT_EQ(n.s.Read("out/bso/139c0004.flo").substr(0, n.s.dir().size() + 22),
            n.s.dir() + "copies/hello/hello.txt");
}

TEST(TossAutoflags, AGoodTicketMatchingAnEntryMakesItsFlagFile) {
  TossNode n;
  n.settings =
      "[AUTOFLAGS]\n"
      "HELLO.* FILES.A flags/hello.flg\n"
      "*.ZIP FILES.A flags/wrongarea.flg\n"
      "*.ZIP * flags/zip.flg\n"
      "NODEDIFF * flags/magic.flg\n"
      "NONE.* * flags/none.flg\n"
      "BAD.* * flags/bad.flg\n";
  n.s.MakeDir("flags");
  n.AddFile("hello.txt", kHello);
  n.AddFile("data.zip", "zip");
  n.AddFile("bad.txt", "bad");
  n.AddTic("a.tic", Ticket{});
  Ticket data;
  data.area = "LIMITED";
  data.file = "DATA.ZIP";
  data.extra = {"Magic NODEDIFF"};
  n.AddTic("b.tic", data);
  Ticket bad;
  bad.file = "BAD.TXT";
  bad.pw = "WRONG";
  n.AddTic("c.tic", bad);
  RunResult r = n.Toss();
  ASSERT_EQ(r.status, 0) << r.output;
  EXPECT_EQ(n.Names("flags"), "hello.flg magic.flg zip.flg");
}

}  // namespace
}  // namespace olvix::test
