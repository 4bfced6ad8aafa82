#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <set>

#include "../../tests/test_context.h"
#include "config/parse.h"
#include "config/settings_internal.h"
#include "platform/platform.h"
#include "util/crc32.h"

namespace olvix {
namespace {

TEST(SettingsKeys, TableHasNoCrcCollisions) {
  std::vector<std::string> names = MainKeyNames();
  EXPECT_EQ(names.size(), 91u);
  std::set<uint32_t> crcs;
  for (const std::string& n : names) crcs.insert(Crc32(n));
  EXPECT_EQ(crcs.size(), names.size());
}

TEST(SettingsKeys, EveryKindReachesItsField) {
  test::TestContext t;
  const std::string h = t.dir.dir();
  LoadSettingsText(t.ctx,
                   "address 2:5020/1 2:5020/1.1\n"
                   "ORIGIN  Mixed Case origin\n"
                   "RobotNames Olvix, AllFix\n"
                   "FROMNAME Robot\n"
                   "STATION My Station\n"
                   "LOGNAME logs/Olvix.log\n"
                   "MANAGERLOG /var/log/mgr.log\n"
                   "LOGCHARS !#\n"
                   "LOGLEVEL 9\n"
                   "DEBUG ahk\n"
                   "LANGUAGE russian\n"
                   "STREAMBUFFER 4096\n"
                   "BUSYFLAG Flags/Busy.Flg\n"
                   "BUSYWAIT -3\n"
                   "INBOUND In\n"
                   "OUTMAIL /abs/out\n"
                   "NETMAIL net\\mail\\\n"
                   "OUTTICS tics  \n"
                   "CMDCHAR %x\n"
                   "DESCCHAR ab\n"
                   "DESCNAME files.bbs\n"
                   "DESCLINE @@@@N @D\n"
                   "PASSIVEDAYS 0x10\n"
                   "UPDATEDESC no\n"
                   "DIZTOARCHIVES Yes  \n"
                   "HARDLINKS yess\n"
                   "NOREPLACE *.nl nodelist.*\n"
                   "NOREPLACE *.zip\n"
                   "SORTLISTS al\n"
                   "SHORTLINKS YES\n"
                   "UTC -5\n"
                   "ADDRESS 1:2/3\n"
                   "UNKNOWNKEY whatever\n");
  const MainConfig& c = t.ctx.cfg;
  ASSERT_EQ(c.addresses.size(), 1u);  // the later ADDRESS line replaced the list
  EXPECT_EQ(FormatAddress(c.addresses[0]), "1:2/3");
  EXPECT_EQ(c.origin, "Mixed Case origin");
  EXPECT_EQ(c.robot_names, "OLVIX, ALLFIX");
  EXPECT_EQ(c.from_name, "Robot");
  EXPECT_EQ(c.station, "My Station");
  EXPECT_EQ(c.log_name, h + "logs/Olvix.log");
  EXPECT_EQ(c.manager_log, "/var/log/mgr.log");
  EXPECT_EQ(c.log_chars, "!#");
  EXPECT_EQ(c.log_level, 1);  // 9: the low three bits
  EXPECT_EQ(c.debug, "AHK");
  EXPECT_EQ(c.language, "RUSSIAN");
  EXPECT_EQ(c.stream_buffer, 4096);
  EXPECT_EQ(c.busy_flag, h + "Flags/Busy.Flg");
  EXPECT_EQ(c.busy_wait, -3);
  EXPECT_EQ(c.inbound, h + "In/");
  EXPECT_EQ(c.outmail, "/abs/out/");
  EXPECT_EQ(c.netmail, h + "net/mail/");
  EXPECT_EQ(c.out_tics, h + "tics/");
  EXPECT_EQ(c.cmd_char, '%');
  EXPECT_EQ(c.desc_char, 'A');
  EXPECT_EQ(c.desc_name, "files.bbs");  // a file name keeps its case
  EXPECT_EQ(c.desc_line, "@@@@N @D");
  EXPECT_EQ(c.passive_days, 0);
  EXPECT_FALSE(c.update_desc);
  EXPECT_TRUE(c.diz_to_archives);
  EXPECT_FALSE(c.hard_links);
  EXPECT_EQ(c.no_replace, std::vector<std::string>{"*.ZIP"});
  EXPECT_EQ(c.sort_lists, "AL");
  EXPECT_TRUE(c.short_links);
  EXPECT_EQ(c.utc, -5);
  // Untouched keys keep their defaults.
  EXPECT_EQ(c.reply_lines, 200);
  EXPECT_TRUE(c.resend_check);
  EXPECT_EQ(c.attach_style, AttachStyle::kAma);
  EXPECT_EQ(c.replaces_mode, 1);
}

TEST(SettingsKeys, PlatformTagsDefinesAndComments) {
  test::TestContext t;
  ::unsetenv("OLVIX_DRIVE_C");
  LoadSettingsText(t.ctx,
                   "(UNIX) INBOUND unix\n"
                   "(NT) INBOUND nt\n"
                   "(OS2) NETMAIL os2\n"
                   "(unix)\n"
                   "#DEFINE FIDO C:\\FIDO\n"
                   "#define %x% FIDO\\Sub\n"  // the earlier name is replaced inside
                   "#DEFINE NOBLANK\n"
                   "OUTMAIL fido\\OUT\n"
                   "OUTTICS %X%\n"
                   "#DEFINE SELF a SELF b\n"
                   "ORIGIN SELF and self\n"
                   "  ; INBOUND indented comment\n"
                   ";INBOUND comment\n");
  const MainConfig& c = t.ctx.cfg;
  EXPECT_EQ(c.inbound, t.dir.dir() + "unix/");
  EXPECT_EQ(c.netmail, "");
  EXPECT_EQ(c.outmail, "/FIDO/OUT/");
  EXPECT_EQ(c.out_tics, "/FIDO/Sub/");
  EXPECT_EQ(c.origin, "a SELF b and a SELF b");
  EXPECT_EQ(c.defines.size(), 3u);
}

TEST(SettingsKeys, AttachStyleReplacesAndFileboxes) {
  test::TestContext t;
  LoadSettingsText(t.ctx, "QUEUEDIR queue\nATTACHSTYLE fileboxes\nREPLACES nowildcards\n");
  EXPECT_EQ(t.ctx.cfg.attach_style, AttachStyle::kFileboxes);
  EXPECT_TRUE(t.ctx.cfg.fileboxes);
  EXPECT_EQ(t.ctx.cfg.queue_dir, "");  // fileboxes are the queue
  EXPECT_EQ(t.ctx.cfg.replaces_mode, 2);

  test::TestContext u;
  LoadSettingsText(u.ctx, "QUEUEDIR queue\nATTACHSTYLE lbso\nATTACHSTYLE other\nREPLACES no\n");
  EXPECT_EQ(u.ctx.cfg.attach_style, AttachStyle::kLbso);  // an unknown word changes nothing
  EXPECT_FALSE(u.ctx.cfg.fileboxes);
  EXPECT_EQ(u.ctx.cfg.queue_dir, u.dir.dir() + "queue/");
  EXPECT_EQ(u.ctx.cfg.replaces_mode, 0);
}

TEST(SettingsUtc, OffsetFromWallClocks) {
  EXPECT_EQ(UtcOffsetHours(3, 30, 23, 30), 4);  // 330 - 2330 + 2400 = 400
  EXPECT_EQ(UtcOffsetHours(23, 30, 3, 30), -4);
  EXPECT_EQ(UtcOffsetHours(5, 30, 0, 0), 5);  // half hours are cut toward zero
  EXPECT_EQ(UtcOffsetHours(0, 0, 5, 30), -5);
  EXPECT_EQ(UtcOffsetHours(12, 0, 12, 0), 0);
  EXPECT_EQ(UtcOffsetHours(1, 0, 11, 0), -10);
  EXPECT_EQ(UtcOffsetHours(13, 0, 23, 0), -10);
  EXPECT_EQ(UtcOffsetHours(23, 0, 10, 0), -11);  // 1300 is beyond 1200: -1100
}

TEST(SettingsUtc, ComputedFromTheLocalTimeZoneWhenNotGiven) {
  const char* old = std::getenv("TZ");
  std::string saved = old ? old : "";
  ::setenv("TZ", "XYZ-3", 1);  // three hours east of UTC
  ::tzset();
  test::TestContext t;
  LoadSettingsText(t.ctx, "ORIGIN x\n");
  EXPECT_EQ(t.ctx.cfg.utc, 3);
  test::TestContext u;
  LoadSettingsText(u.ctx, "UTC 2\n");
  EXPECT_EQ(u.ctx.cfg.utc, 2);
  if (old)
    ::setenv("TZ", saved.c_str(), 1);
  else
    ::unsetenv("TZ");
  ::tzset();
}

TEST(SettingsSections, TemplatesPackersAndWholeLineSections) {
  test::TestContext t;
  const std::string h = t.dir.dir();
  LoadSettingsText(t.ctx,
                   "[Templates]\n"
                   "TEMPLATE orphan.tpl\n"
                   "KEYWORD %rules\n"
                   "TEMPLATE Tpl/Rules.tpl\n"
                   "RUN echo Rules\n"
                   "[PACKERS]\n"
                   "IDENT 0,1234\n"
                   "ARCHIVER zip\n"
                   "IDENT 1A,504b0304\n"
                   "ADD zip -j -q @NAME @FILE\n"
                   "EXTRACT unzip -o @NAME @FILE\n"
                   "ARCHIVER RAR\n"
                   "IDENT -10,52\n"
                   "[BADSTRINGS]\n"
                   "\t Bad\tline  \n"
                   "[BLACKLIST]\n"
                   "   BAD.*  \n"
                   "[AUTOSTART]\n"
                   "*.nl nodelist run nl.cmd @FILE\n"
                   "*.zip two\n"
                   "[AUTOCOPY]\n"
                   "*.nl * Copies/Nodelist\n"
                   "[AUTOFLAGS]\n"
                   "*.nl nodelist flags/new.nl\n"
                   "[SKIPDUPECHECK]\n"
                   "NODELIST nodelist.*\n"
                   "[Unknown]\n"
                   "ORIGIN still in skipdupecheck\n");
  const MainConfig& c = t.ctx.cfg;
  ASSERT_EQ(c.templates.size(), 1u);
  EXPECT_EQ(c.templates[0].keyword, "%RULES");
  EXPECT_EQ(c.templates[0].file, h + "Tpl/Rules.tpl");
  EXPECT_EQ(c.templates[0].command, "echo Rules");
  ASSERT_EQ(c.packers.size(), 2u);
  EXPECT_EQ(c.packers[0].name, "ZIP");
  EXPECT_EQ(c.packers[0].offset, 26);
  EXPECT_EQ(c.packers[0].signature, "504B0304");
  EXPECT_EQ(c.packers[0].add, "zip -j -q @NAME @FILE");
  EXPECT_EQ(c.packers[0].extract, "unzip -o @NAME @FILE");
  EXPECT_EQ(c.packers[1].offset, -16);
  EXPECT_EQ(c.packers[1].signature, "52");
  EXPECT_EQ(c.bad_strings, std::vector<std::string>{"         Bad         line  "});
  EXPECT_EQ(c.blacklist, std::vector<std::string>{"BAD.*  "});
  ASSERT_EQ(c.autostart.size(), 1u);
  EXPECT_EQ(c.autostart[0].first, "*.NL");
  EXPECT_EQ(c.autostart[0].second, "NODELIST");
  EXPECT_EQ(c.autostart[0].rest, "run nl.cmd @FILE");
  ASSERT_EQ(c.autocopy.size(), 1u);
  EXPECT_EQ(c.autocopy[0].rest, h + "Copies/Nodelist/");
  ASSERT_EQ(c.autoflags.size(), 1u);
  EXPECT_EQ(c.autoflags[0].first, "*.nl");
  EXPECT_EQ(c.autoflags[0].rest, h + "flags/new.nl");
  ASSERT_EQ(c.skip_dupe_check.size(), 2u);  // "[Unknown]" is an ordinary line
  EXPECT_EQ(c.skip_dupe_check[0].tag, "NODELIST");
  EXPECT_EQ(c.skip_dupe_check[0].mask, "NODELIST.*");
  EXPECT_EQ(c.skip_dupe_check[1].mask, "STILL IN SKIPDUPECHECK");
  EXPECT_EQ(c.origin, "");
}

TEST(SettingsSections, UplinksAndAnnounce) {
  test::TestContext t;
  LoadLinksText(t.ctx,
                "LINK 2:5020/100 A P 10 No No 2:5020/1 A\n"
                "LINK 2:5020/200 A P 10 No No 2:5020/1 A\n"
                "LINK 2:5020/2 A P 10 No No 2:5020/1 A\n"
                "LINK 2:5020/3 A P 10 No No 2:5020/1 A\n");
  const std::string h = t.dir.dir();
  LoadSettingsText(t.ctx,
                   "[UPLINKS]\n"
                   "CREATEPATH before/any\n"
                   "UPLINK 2:5020/100\n"
                   "AREA X\n"
                   "UPLINK 2:5020/200 Lists/Up.lst\n"
                   "AREA b 5\n"
                   "UPLINK 2:5020/2 up2.lst filefix robot\n"
                   "CREATEPATH Up2\n"
                   "AREA abc 10 20  p  x\n"
                   "LINKS 2:5020/3 !2:5020/100 2:5020/99\n"
                   "UPLINK 2:5020/99 unknown.lst\n"
                   "CREATEPATH not/for/the/previous\n"
                   "LINKS 2:5020/200\n"
                   "[ANNOUNCE]\n"
                   "Files.Ann 2:5020/1 2:5020/1.1 LongPassword ab new.tpl echo.tpl del.tpl\n"
                   "SHORT 2:5020/1 2:5020/1 pw ab\n");
  const MainConfig& c = t.ctx.cfg;
  ASSERT_EQ(c.uplinks.size(), 3u);
  EXPECT_EQ(c.uplinks[0].link, t.ctx.links.Find(ParseAddress("2:5020/100")));
  EXPECT_EQ(c.uplinks[0].robot, "AllFix");
  EXPECT_EQ(c.uplinks[0].list_file, "");
  EXPECT_FALSE(c.uplinks[0].area_set);  // a single word stores nothing
  EXPECT_EQ(c.uplinks[1].list_file, h + "Lists/Up.lst");
  EXPECT_EQ(c.uplinks[1].robot, "AllFix");
  EXPECT_TRUE(c.uplinks[1].area_set);
  EXPECT_EQ(c.uplinks[1].area_group, "B");
  EXPECT_EQ(c.uplinks[1].area_read, 0);  // two words store the group only
  const UplinkRecord& u = c.uplinks[2];
  EXPECT_EQ(u.list_file, h + "up2.lst");
  EXPECT_EQ(u.robot, "FILEFIX ROBOT");
  EXPECT_EQ(u.create_path, h + "Up2/");  // not changed by the unknown uplink's lines
  EXPECT_EQ(u.area_group, "ABC");
  EXPECT_EQ(u.area_read, 10);
  EXPECT_EQ(u.area_write, 20);
  EXPECT_EQ(u.area_flags, "P  X");
  ASSERT_EQ(u.links.size(), 2u);
  EXPECT_EQ(FormatAddress(u.links[0].link->address), "2:5020/3");
  EXPECT_EQ(u.links[0].mode, 0);
  EXPECT_EQ(FormatAddress(u.links[1].link->address), "2:5020/100");
  EXPECT_EQ(u.links[1].mode, 1);

  ASSERT_EQ(c.announces.size(), 1u);
  const AnnounceDefinition& a = c.announces[0];
  EXPECT_EQ(a.echo_tag, "Files.Ann");
  EXPECT_EQ(FormatAddress(a.address2), "2:5020/1.1");
  EXPECT_EQ(a.password, "LongPass");
  EXPECT_EQ(a.groups, "AB");
  EXPECT_EQ(a.new_files_template, h + "new.tpl");
  EXPECT_EQ(a.deleted_echo_template, h + "del.tpl");
}

TEST(SettingsInclude, SectionCarriesIntoAndOutOfIncludedFiles) {
  test::TestContext t;
  t.dir.Write("inc/more.ini", "ARCHIVER ZIP\n#INCLUDE inc/deeper.ini\n[BADSTRINGS]\n");
  t.dir.Write("inc/deeper.ini", "ADD zip @NAME\n");
  LoadSettingsText(t.ctx, "[PACKERS]\n#INCLUDE inc/more.ini\nARCHIVER ARJ\n");
  ASSERT_EQ(t.ctx.cfg.packers.size(), 1u);
  EXPECT_EQ(t.ctx.cfg.packers[0].add, "zip @NAME");
  EXPECT_EQ(t.ctx.cfg.bad_strings, std::vector<std::string>{"ARCHIVER ARJ"});
}

TEST(SettingsMinFree, ChecksTheFreeSpaceOfADirectoryOrDrive) {
  test::TestContext t;
  ::setenv("OLVIX_DRIVE_Q", t.dir.dir().c_str(), 1);
  LoadSettingsText(t.ctx, "MINFREE Q 1\nMINFREE q: 1\nMINFREE . 1\nMINFREE nothere 999999\n");
  EXPECT_FALSE(t.ctx.not_enough_space);
  if (platform::FreeSpaceKb(t.dir.dir()) < 2147483647) {
    LoadSettingsText(t.ctx, "MINFREE Q 2147483647\n");
    EXPECT_TRUE(t.ctx.not_enough_space);
  }
  ::unsetenv("OLVIX_DRIVE_Q");
}

TEST(SettingsGarbage, BinaryInputDoesNotCrash) {
  unsigned seed = 99;
  for (int round = 0; round < 50; ++round) {
    std::string text;
    for (int i = 0; i < 4000; ++i) {
      seed = seed * 1103515245u + 12345u;
      char c = static_cast<char>(seed >> 16);
      // Keep the include keyword out: it would end the run.
      text += c == '#' ? ' ' : c;
    }
    text +=
        "\n[UPLINKS]\nUPLINK\nAREA\nLINKS !\n[ANNOUNCE]\nX 1 2 3\n[PACKERS]\nARCHIVER Z\nIDENT ,\n";
    test::TestContext t;
    LoadSettingsText(t.ctx, text);
    LoadLinksText(t.ctx, text);
    (void)LoadAreasText(t.ctx, text);  // an unknown subscriber is a normal outcome
  }
}

}  // namespace
}  // namespace olvix
