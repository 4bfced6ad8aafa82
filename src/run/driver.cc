#include "run/driver.h"

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "config/config.h"
#include "outbound/busy.h"
#include "outbound/delayed.h"
#include "platform/platform.h"
#include "run/commands.h"
#include "run/context.h"
#include "run/info.h"
#include "run/version.h"
#include "util/crc32.h"
#include "util/files.h"
#include "util/paths.h"
#include "util/text.h"

namespace olvix {

namespace {

std::string g_title_prefix;

void PrintHelp() {
  static const char* const kLines[] = {
      "Syntax:  OLVIX.EXE Command\n",
      "Command - one of the following lines:",
      "      TOSS     - Toss inbound files",
      "      MGR      - Run fileecho manager",
      "      TOSSMGR  - Toss inbound files & run fileecho manager",
      "      PURGE    - Delete files from passthrough fileechoes",
      "      OLDCHECK - Auto-Passive check",
      "      ANNOUNCE - Create delayed announce",
      "      HAND <link> commands - Simulate link's letter to Olvix",
      "      RELINK <link> <new_link> <fechoname> - Relink to fileechos from <link>",
      "                              For more information see OLVIX.TXT",
      "      EXPORT <filename>  - Export olxareas.ini into the text file",
      "      <address>  - Info on <address>",
      "      <fechoID>  - Info on <fechoID>",
      "Press any key...",
  };
  for (const char* line : kLines) std::puts(line);
  std::fflush(stdout);
  (void)platform::ReadKey();  // returns at once when no one is at a terminal
  std::puts("      HATCH <name> <echotag> [-D<descr>] [-R<replace mask>] -C[y|n]");
  std::puts("      [-A<alias>] [-G<file>]  - Hatch file (see OLVIX.TXT)\n");
  std::fflush(stdout);
}

// Takes the busy flag, waiting as BUSYWAIT says. Ends the run with status 2
// when the wait is used up.
void TakeBusyFlag(RunContext& ctx) {
  const std::string& flag = ctx.cfg.busy_flag;
  if (flag.empty()) return;
  CreatePath(flag);
  int32_t wait = ctx.cfg.busy_wait;
  int64_t retries_left = wait > 0 ? wait : (wait < 0 ? -static_cast<int64_t>(wait) : -1);
  bool reported = false;
  while (true) {
    ctx.busy_handle = platform::AcquireLockFile(flag);
    if (ctx.busy_handle >= 0) {
      ctx.busy_state = false;
      return;
    }
    platform::Sleep(1000);
    if (!reported) {
      ctx.log.Message('!', 1, 74);
      reported = true;
    }
    ctx.busy_state = true;
    if (retries_left == 0) {
      if (wait > 0) Shutdown(ctx, 2);
      return;  // go on without the flag
    }
    if (retries_left > 0) --retries_left;
  }
}

void CreateWorkingDirectories(RunContext& ctx) {
  ctx.log.Debug('A', "Creating neccessary directories");
  const MainConfig& c = ctx.cfg;
  for (const std::string* dir :
       {&c.new_echo_path, &c.new_echo_base, &c.inbound, &c.outmail, &c.outbound, &c.out_tics,
        &c.netmail, &c.bad_path, &c.keep_tics, &c.letter_copies, &c.dupes_dir, &c.packet_dir,
        &c.announce_path, &c.queue_dir}) {
    if (!dir->empty()) CreatePath(*dir);
  }
}

void OpenLogFile(RunContext& ctx) {
  ctx.log.Debug('A', "Opening log file");
  int err = 0;
  std::FILE* f = ctx.files.OpenQuiet(ctx.cfg.log_name, "a", &err);
  if (!f) {
    ctx.log.Message('!', 0, 2);
    return;
  }
  if (ctx.cfg.stream_buffer == 0 || ctx.cfg.log_level == 5) std::setvbuf(f, nullptr, _IONBF, 0);
  ctx.log.AttachFile(f);
  ctx.log_open = true;
}

// The first mandatory key that is missing, or nullptr.
const char* MissingKey(const MainConfig& c) {
  struct Key {
    const char* name;
    bool set;
  };
  const Key keys[] = {
      {"NEWECHOPATH", !c.new_echo_path.empty()},
      {"BADPATH", !c.bad_path.empty()},
      {"OUTTICS", !c.out_tics.empty()},
      {"ORIGIN", !c.origin.empty()},
      {"ADDRESS", !c.addresses.empty()},
      {"ROBOTNAMES", !c.robot_names.empty()},
      {"BADPWD", !c.bad_pwd.empty()},
      {"LOGNAME", !c.log_name.empty()},
      {"NETMAIL", !c.netmail.empty()},
      {"INBOUND", !c.inbound.empty()},
      {"OUTMAIL", !c.outmail.empty()},
  };
  for (const Key& k : keys)
    if (!k.set) return k.name;
  return nullptr;
}

void ApplyLogSettings(RunContext& ctx) {
  ctx.log.logchars = ctx.cfg.log_chars_set ? ctx.cfg.log_chars : "";
  ctx.log.loglevel = ctx.cfg.log_level;
  ctx.log.debug = ctx.cfg.debug;
  ctx.log.russian = EqualsNoCase(ctx.cfg.language, "RUSSIAN");
  ctx.files.buffer_size =
      ctx.cfg.stream_buffer > 0 ? static_cast<size_t>(ctx.cfg.stream_buffer) : 0;
}

void Dispatch(RunContext& ctx) {
  // Commands are recognised in any letter case; the reports and message 87
  // show the argument as typed.
  uint32_t crc = Crc32(Upper(ctx.args[0]));
  for (const CommandEntry& entry : Commands()) {
    if (Crc32(entry.name) != crc) continue;
    if (!entry.run) break;  // not available in this build
    entry.run(ctx);
    Shutdown(ctx, 0);
  }
  if (!PrintInfo(ctx, ctx.args[0])) ctx.log.Message('!', 0, 87, ctx.args[0].c_str());
  Shutdown(ctx, 0);
}

}  // namespace

std::string RunContext::Path(const std::string& text) const {
  return platform::NormalizePath(text, home);
}

void SetActivity(RunContext&, const std::string& word) {
  platform::SetConsoleTitleText(g_title_prefix + word);
}

int ChangeDir(RunContext& ctx, const std::string& path) {
  ctx.log.Debug('Y', "chdir to: %s", path.c_str());
  int rc = platform::ChangeDirectory(path);
  ctx.log.Debug('Y', "  result: %s", platform::CurrentDirectory().c_str());
  return rc;
}

void Shutdown(RunContext& ctx, int status) {
  WritePendingDelayedAttaches(ctx);
  if (ctx.netmail_written && !ctx.cfg.netmail_flag.empty()) {
    CreatePath(ctx.cfg.netmail_flag);
    if (std::FILE* f = ctx.files.OpenQuiet(ctx.cfg.netmail_flag, "a", nullptr)) ctx.files.Close(f);
  }
  if (ctx.packet_written && !ctx.cfg.echomail_flag.empty()) {
    CreatePath(ctx.cfg.echomail_flag);
    if (std::FILE* f = ctx.files.OpenQuiet(ctx.cfg.echomail_flag, "a", nullptr)) ctx.files.Close(f);
  }
  if (!ctx.home.empty()) {
    ctx.log.Debug('A', "Changing to %s", ctx.home.c_str());
    (void)ChangeDir(ctx, ctx.home);  // the home directory was entered at start
  }
  ctx.log.Message('#', 0, 115, platform::PlatformName(), kVersion);
  if (std::FILE* f = ctx.log.file()) {
    std::fputs("\n", f);
    ctx.log.DetachFile();
    ctx.files.Close(f);
    ctx.log_open = false;
  }
  ctx.log.Debug('A', "Removing busyflag if present");
  if (!ctx.cfg.busy_flag.empty() && !ctx.busy_state && ctx.busy_handle >= 0) {
    // Delete before unlocking: a waiting copy checks that the file it
    // locked is still the one on disk.
    (void)platform::RemoveFile(ctx.cfg.busy_flag);  // gone is what we want
    platform::ReleaseLockFile(ctx.busy_handle);
    ctx.busy_handle = -1;
  }
  ctx.log.Debug('A', "Freeing memory");
  ctx.cfg.debug.clear();
  ctx.log.debug.clear();
  ctx.areas.Clear();
  ctx.links.Clear();
  if (!ctx.start_dir.empty()) (void)ChangeDir(ctx, ctx.start_dir);
  ctx.log.Debug('A', "Freed ok");
  std::fflush(stdout);
  ctx.log.Debug('A', "DeInitMems ok");
  std::fflush(stdout);
  platform::RestoreConsoleTitle();
  ctx.log.Debug('A', "SetConsoleTitle ok");
  std::fflush(stdout);
  std::exit(status);
}

int RunMain(int argc, char** argv) {
  g_title_prefix = std::string("Olvix ") + kVersion + "/" + platform::PlatformName() + " - ";
  std::printf("Olvix - fileecho processor.\n");
  std::printf("Version %s-%s compiled on %s at %s\n\n", kVersion, platform::PlatformName(),
              BuildDate(), BuildTime());
  if (argc < 2) {
    PrintHelp();
    return 0;
  }

  // Owned here for the whole run; Shutdown ends the process from any depth.
  auto owner = std::make_unique<RunContext>();
  RunContext& ctx = *owner;
  for (int i = 1; i < argc; ++i) ctx.args.emplace_back(argv[i]);
  SetActivity(ctx, "Starting");

  const std::string& first = ctx.args[0];
  if (first.size() >= 2 && first[0] == '-' && (first[1] == 'D' || first[1] == 'd')) {
    int32_t n = ParseDecimal(first.substr(2));
    if (n % 2 != 0) {
      ctx.log.console_all = true;
      ctx.log.Debug('A', "    *** Logging ALL to console ***");
      std::fflush(stdout);
      ctx.args.erase(ctx.args.begin());
      if (ctx.args.empty()) {
        // A switch without a command: there is nothing to run.
        PrintHelp();
        platform::RestoreConsoleTitle();
        return 0;
      }
    }
  }

  // Home directory.
  std::string home;
  if (!platform::GetEnv("OLVIXPATH", &home) || home.empty())
    home = platform::ExecutableDirectory(argv[0]);
  ctx.home = WithTrailingSep(platform::NormalizePath(home, platform::CurrentDirectory()));
  ctx.start_dir = platform::CurrentDirectory();
  if (int rc = ChangeDir(ctx, ctx.home); rc != 0) {
    // Without its home the node has no links file; the files of whatever
    // directory the program was started in must not stand in for it.
    ctx.log.Message('!', 1, 0, ctx.home.c_str(), platform::ErrorText(rc).c_str());
  } else {
    LoadLinks(ctx);
  }
  if (ctx.links.empty()) {
    ctx.log.Message('!', 1, 3);
    Shutdown(ctx, 1);
  }
  LoadSettings(ctx);
  ApplyLogSettings(ctx);
  if (const char* key = MissingKey(ctx.cfg)) {
    ctx.log.Message('!', 0, 46, key);
    Shutdown(ctx, 1);
  }
  if (ctx.cfg.outbound.empty()) ctx.cfg.outbound = ctx.cfg.outmail;
  if ((ctx.cfg.attach_style == AttachStyle::kBink || ctx.cfg.attach_style == AttachStyle::kLbso) &&
      EndsWithSep(ctx.cfg.outbound) && ctx.cfg.outbound.size() > 1)
    ctx.cfg.outbound.pop_back();

  TakeBusyFlag(ctx);
  if (ctx.not_enough_space) {
    ctx.log.Message('!', 1, 82);
    Shutdown(ctx, 3);
  }
  CreateWorkingDirectories(ctx);
  OpenLogFile(ctx);
  ctx.log.Message('#', 0, 114, platform::PlatformName(), kVersion);
  ctx.log.Debug('A', "Going to load areas");
  if (LoadAreas(ctx) != 0) Shutdown(ctx, 1);
  ctx.log.Message('#', 4, 66);
  // What runs that were killed left in the home directory. The busy flags
  // come first: the source file of a dead run's flags is one of its
  // temporary names, and once it is gone nothing tells that the flags in
  // the outbound are left over. While a toss journal waits, the next TOSS
  // looks at its files first.
  RemoveStaleBusyFlags(ctx);
  if (!platform::FileExists(ctx.home + "olxtoss.jnl")) RemoveDeadRunTemps(ctx.home);
  RetryDelayedAttaches(ctx);
  Dispatch(ctx);
  return 0;  // not reached: Dispatch ends through Shutdown
}

}  // namespace olvix
