#include "manager/manager.h"

#include <algorithm>
#include <cstdio>
#include <vector>

#include "config/config.h"
#include "config/records.h"
#include "maint/purge.h"
#include "manager/commands.h"
#include "manager/letter.h"
#include "manager/request.h"
#include "manager/subscribe.h"
#include "manager/template.h"
#include "platform/platform.h"
#include "run/context.h"
#include "tic/toss.h"
#include "util/files.h"
#include "util/msgnum.h"
#include "util/paths.h"
#include "util/text.h"

namespace olvix {

namespace {

// What MGR keeps across the letters of one run.
struct ManagerRun {
  bool areas_dirty = false;
  // Executed letters whose changes are in memory only: deleted once the
  // areas file holding them has been written.
  std::vector<std::string> pending;
  bool log_checked = false;
  std::FILE* main_log = nullptr;
  std::FILE* manager_log = nullptr;
};

void OpenManagerLog(RunContext& ctx, ManagerRun& run) {
  run.log_checked = true;
  const MainConfig& c = ctx.cfg;
  if (c.manager_log.empty() || c.manager_log == c.log_name) return;
  int err = 0;
  std::FILE* f = ctx.files.OpenQuiet(c.manager_log, "a", &err);
  if (!f) {
    ctx.log.Message('!', 0, 2);
    return;
  }
  if (c.stream_buffer == 0 || c.log_level == 5) std::setvbuf(f, nullptr, _IONBF, 0);
  run.main_log = ctx.log.file();
  run.manager_log = f;
  ctx.log.AttachFile(f);
}

void RestoreLog(RunContext& ctx, ManagerRun& run) {
  if (!run.manager_log) return;
  ctx.log.AttachFile(run.main_log);
  (void)ctx.files.Close(run.manager_log);  // a log line lost on close is not worth a stop
  run.manager_log = nullptr;
}

// Rewrites the areas file; false, with message 9 naming it, on failure.
bool SaveAreasLogged(RunContext& ctx) {
  int rc = SaveAreas(ctx);
  if (rc == 0) return true;
  ctx.log.Message('!', 0, 9, JoinPath(ctx.home, "olxareas.ini").c_str(),
                  platform::ErrorText(rc).c_str());
  return false;
}

void DeleteLetter(RunContext& ctx, const std::string& path) {
  int rc = platform::RemoveFile(path);
  // A letter left behind is carried out again by the next run.
  if (rc != 0 && rc != platform::NotFoundCode())
    ctx.log.Message('!', 0, 9, path.c_str(), platform::ErrorText(rc).c_str());
}

// Writes the areas file when letters changed it, then deletes the letters
// that waited for it. False (logged) when the file could not be written:
// those letters stay and are carried out again.
bool Finish(RunContext& ctx, ManagerRun& run) {
  if (run.areas_dirty) {
    if (!SaveAreasLogged(ctx)) return false;
    run.areas_dirty = false;
  }
  if (run.pending.empty()) return true;
  // The areas file and the answers must outlast a power failure before
  // the letters that asked for them go.
  if (int rc = platform::SyncFileSystems({ctx.home, ctx.cfg.outmail}); rc != 0) {
    ctx.log.Message('!', 0, 9, ctx.home.c_str(), platform::ErrorText(rc).c_str());
    return false;
  }
  for (const std::string& path : run.pending) DeleteLetter(ctx, path);
  run.pending.clear();
  return true;
}

// Stops the run (status 1) with the current letter kept. With `save` (no
// line of the current letter has been carried out) the areas are written
// and the letters carried out before go; without, nothing is written and
// those letters are carried out again by the next run.
[[noreturn]] void Stop(RunContext& ctx, ManagerRun& run, bool save = true) {
  if (save) (void)Finish(ctx, run);  // a failure is logged
  RestoreLog(ctx, run);
  Shutdown(ctx, 1);
}

// The status report and the template answers of a request. False, at the
// first answer that could not be written (logged).
bool Answer(RunContext& ctx, ManagerRequest& req, LinkRecord& link,
            const std::string& answer_name) {
  const MainConfig& c = ctx.cfg;
  req.report +=
      Format("\n %d fileecho(s) added\n %d fileecho(s) removed\n", req.added, req.removed);
  if (req.report_changed && !SendWorkFile(ctx, "report.$$$", req.report, c.from_name, answer_name,
                                          "Status changes", link))
    return false;
  if (req.areas_changed && !SendTemplateAnswer(ctx, c.changes_tpl, link, answer_name)) return false;
  if (!req.handled && !SendTemplateAnswer(ctx, c.help_tpl, link, answer_name)) return false;
  return !req.forwarded || SendTemplateAnswer(ctx, c.forward_tpl, link, answer_name);
}

bool IsRobotName(const RunContext& ctx, const std::string& name) {
  std::string upper = Upper(name);
  return !upper.empty() && Upper(ctx.cfg.robot_names).find(upper) != std::string::npos;
}

bool IsOurAddress(const RunContext& ctx, const FtnAddress& a) {
  const std::vector<FtnAddress>& ours = ctx.cfg.addresses;
  return std::find(ours.begin(), ours.end(), a) != ours.end();
}

// One letter. Returns what became of it.
enum class Outcome { kLeft, kDeleted, kPending };

Outcome HandleLetter(RunContext& ctx, ManagerRun& run, const std::string& path) {
  const MainConfig& c = ctx.cfg;
  NetmailLetter letter;
  if (ReadLetter(ctx, path, &letter) != 0) return Outcome::kLeft;
  if (!IsOurAddress(ctx, letter.destination)) {
    ctx.log.Message('!', 5, 98);
    return Outcome::kLeft;
  }
  if (!IsRobotName(ctx, letter.to_name)) {
    ctx.log.Message('!', 5, 100);
    return Outcome::kLeft;
  }
  if (!c.letter_copies.empty()) {
    std::string placed;
    int rc = CopyMessageInto(ctx, path, c.letter_copies, &placed);
    if (rc != 0) {
      // A copy that could not be made stops the run before the letter goes.
      ctx.log.Message('!', 0, 9, c.letter_copies.c_str(), platform::ErrorText(rc).c_str());
      Stop(ctx, run);
    }
  }
  if (IsRobotName(ctx, letter.from_name)) {
    ctx.log.Message('!', 5, 95);
    return Outcome::kDeleted;
  }
  LinkRecord* link = ctx.links.Find(letter.origin);
  if (!link) {
    LinkRecord stranger;
    stranger.address = letter.origin;
    stranger.aka = letter.destination;
    stranger.flavour = "NN";
    stranger.active = true;
    ctx.log.Message('!', 5, 99);
    if (!SendTemplateAnswer(ctx, c.not_link_tpl, stranger, letter.from_name)) Stop(ctx, run);
    return Outcome::kDeleted;
  }
  const std::string address = FormatAddress(link->address);
  if (Upper(letter.subject) != link->password) {
    ctx.log.Message('!', 1, 55, address.c_str());
    if (!SendTemplateAnswer(ctx, c.bad_pwd, *link, letter.from_name)) Stop(ctx, run);
    return Outcome::kDeleted;
  }
  if (link->HasOption('I')) {
    if (!SendTemplateAnswer(ctx, c.locked_tpl, *link, letter.from_name)) Stop(ctx, run);
    return Outcome::kDeleted;
  }

  ManagerRequest req;
  ctx.log.Message('*', 1, 56, address.c_str());
  for (const std::string& line : letter.lines) {
    ExecuteLetterLine(ctx, req, line, *link, letter.from_name);
    if (req.failed) break;
  }
  ctx.log.Debug('H', "Clearing message text buffer");
  letter.lines.clear();
  // A write that failed stops the run with the letter kept. Its changes
  // are not written either: the next run carries it out again, as if for
  // the first time, and answers it.
  if (req.failed || !Answer(ctx, req, *link, letter.from_name)) Stop(ctx, run, false);
  if (req.areas_changed) run.areas_dirty = true;
  (void)ChangeDir(ctx, c.netmail);  // entered at the start of the run
  return req.areas_changed ? Outcome::kPending : Outcome::kDeleted;
}

// Letter files in the order of their numbers, then of their names.
std::vector<std::string> LetterNames(const std::string& dir) {
  std::vector<platform::DirEntry> entries;
  (void)platform::ListDirectory(dir, "*.msg", false, &entries,
                                platform::EntryDetails::kNamesOnly);  // missing: no letters
  std::vector<std::string> names;
  for (platform::DirEntry& e : entries) names.push_back(std::move(e.name));
  std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
    uint32_t na = MessageNumberOf(a), nb = MessageNumberOf(b);
    return na != nb ? na < nb : a < b;
  });
  return names;
}

// Carries out a line that begins with a request sign: "+" subscribes,
// "-" unsubscribes, "%" and CMDCHAR run a command. False for any other
// line, which is left to the caller.
bool ExecuteSignedLine(RunContext& ctx, ManagerRequest& req, const std::string& line,
                       LinkRecord& link, const std::string& answer_name) {
  std::string rest = line.substr(1);
  if (line[0] == '+')
    Subscribe(ctx, req, TrimLeft(rest), link);
  else if (line[0] == '-')
    Unsubscribe(ctx, req, TrimLeft(rest), link);
  else if (line[0] == '%' || line[0] == ctx.cfg.cmd_char)
    RunCommand(ctx, req, rest, link, answer_name);
  else
    return false;
  return true;
}

void HandOneLink(RunContext& ctx, LinkRecord& link, bool* areas_dirty) {
  const std::string answer = "Sysop";
  ctx.log.Message('#', 1, 69, FormatAddress(link.address).c_str());
  ManagerRequest req;
  for (size_t i = 2; i < ctx.args.size(); ++i) {
    std::string line = TrimRight(OneLine(Upper(ctx.args[i])));
    if (line.empty()) continue;
    (void)ExecuteSignedLine(ctx, req, line, link, answer);  // other lines are passed over
    if (req.failed) break;
  }
  // Nothing is written after a failure: the same command does it all again.
  if (req.failed || !Answer(ctx, req, link, answer)) Shutdown(ctx, 1);
  if (req.areas_changed) *areas_dirty = true;
}

}  // namespace

bool MatchesAddressMask(const std::string& mask, const std::string& address) {
  if (mask.find(':') == std::string::npos || mask.find('/') == std::string::npos) return false;
  if (mask.find('.') == std::string::npos && address.find('.') != std::string::npos) return false;
  return WildMatch(mask, address);
}

void ExecuteLetterLine(RunContext& ctx, ManagerRequest& req, const std::string& text,
                       LinkRecord& link, const std::string& answer_name) {
  // Every text below comes from a link: control characters become blanks
  // before it reaches a report, a log line or a file.
  ctx.log.Debug('H', "Analyzing line %s", OneLine(text).c_str());
  std::string line = TrimRight(Upper(TrimLeft(text)));
  if (line.find(' ') == std::string::npos && line.size() <= 1) return;
  if (line[0] == '\x01') return;  // a kludge
  OneLineInPlace(&line);
  if (!ExecuteSignedLine(ctx, req, line, link, answer_name)) Subscribe(ctx, req, line, link);
}

void RunManager(RunContext& ctx) {
  SetActivity(ctx, "Manager");
  const MainConfig& c = ctx.cfg;
  ManagerRun run;
  (void)ChangeDir(ctx, c.netmail);  // the scan below uses full paths
  for (const std::string& name : LetterNames(c.netmail)) {
    if (!run.log_checked) OpenManagerLog(ctx, run);
    ctx.log.Message('*', 5, 60, name.c_str());
    const std::string path = JoinPath(c.netmail, name);
    switch (HandleLetter(ctx, run, path)) {
      case Outcome::kLeft:
        break;
      case Outcome::kDeleted:
        DeleteLetter(ctx, path);
        break;
      case Outcome::kPending:
        run.pending.push_back(path);
        break;
    }
  }
  if (!Finish(ctx, run)) {
    RestoreLog(ctx, run);
    Shutdown(ctx, 1);
  }
  RestoreLog(ctx, run);
}

void RunHand(RunContext& ctx) {
  SetActivity(ctx, "Hand");
  if (ctx.args.size() < 2) return;
  const std::string who = ctx.args[1];
  std::vector<LinkRecord*> links;
  if (ContainsAny(who, "*?")) {
    for (size_t i = 0; i < ctx.links.size(); ++i)
      if (MatchesAddressMask(who, FormatAddress(ctx.links[i].address)))
        links.push_back(&ctx.links[i]);
  } else if (LinkRecord* link = ctx.links.Find(ParseAddress(who))) {
    links.push_back(link);
  }
  bool areas_dirty = false;
  for (LinkRecord* link : links) HandOneLink(ctx, *link, &areas_dirty);
  // One rewrite for every link a mask named.
  if (areas_dirty && !SaveAreasLogged(ctx)) Shutdown(ctx, 1);
}

void RunTossManager(RunContext& ctx) {
  RunManager(ctx);
  SetActivity(ctx, "Tossing");
  Toss(ctx);
  SetActivity(ctx, "Queue clean");
  QueueClean(ctx);
}

}  // namespace olvix
