#include "outbound/busy.h"

#include <cstdlib>
#include <vector>

#include "outbound/styles.h"
#include "platform/platform.h"
#include "run/context.h"
#include "util/files.h"
#include "util/paths.h"
#include "util/text.h"

namespace olvix {

namespace {

constexpr const char kSignature[] = "olvix ";

// "olvix <pid>", and " locked" for the flags whose run keeps them locked.
std::string FlagText(bool locked) {
  return kSignature + std::to_string(platform::ProcessId()) + (locked ? " locked\n" : "\n");
}

// Sources of runs that were killed: no one holds their lock any more.
// Returns how many there were.
int RemoveDeadSources(RunContext& ctx) {
  std::vector<platform::DirEntry> entries;
  (void)platform::ListDirectory(ctx.home, "olxbusy.*.$$$", false, &entries);  // none: fine
  int dead = 0;
  for (const platform::DirEntry& e : entries) {
    std::string path = ctx.home + e.name;
    if (path == ctx.busy_flag_source || platform::LockHeld(path)) continue;
    (void)platform::RemoveFile(path);  // gone is what we want
    ++dead;
  }
  return dead;
}

// The file of this run that the flags are further names of.
bool MakeSource(RunContext& ctx) {
  RemoveDeadSources(ctx);
  std::string source = platform::RunTempName(ctx.home + "olxbusy");
  (void)platform::RemoveFile(source);  // a leftover of this process id
  // A fresh file, so that the flags carry the time of this run: a mailer
  // may take an old busy flag for a stale one.
  if (platform::WriteNewFile(source, FlagText(true)) != 0) return false;
  int lock = platform::AcquireLockFile(source);
  if (lock < 0) {
    (void)platform::RemoveFile(source);
    return false;
  }
  ctx.busy_flag_source = source;
  ctx.busy_flag_lock = lock;
  ctx.busy_flag_stamp = platform::Now();
  return true;
}

// Puts up the flag once, without the stale check. The flag is made as a
// further name of the run's source file: link() fails on an existing name
// just as an exclusive create does, but allocates no inode. Creating and
// deleting a fresh file for every flag made each create slower than the
// last on ext4, which searches past every recently deleted inode.
int PutUp(RunContext& ctx, const std::string& busy) {
  if (ctx.busy_flag_links && ctx.busy_flag_source.empty() && !MakeSource(ctx))
    ctx.busy_flag_links = false;
  if (ctx.busy_flag_links) {
    // Keep the shared time stamp young: a mailer that removes busy flags
    // older than some limit must not take ours for a stale one in a long run.
    int64_t now = platform::Now();
    if (now - ctx.busy_flag_stamp >= 30 && platform::SetModTime(ctx.busy_flag_source, now) == 0)
      ctx.busy_flag_stamp = now;
    int rc = platform::HardLink(ctx.busy_flag_source, busy);
    if (rc == 0 || platform::IsAlreadyExists(rc)) return rc;
    // Another file system, or one without hard links: plain files then.
    ctx.busy_flag_links = false;
  }
  return platform::WriteNewFile(busy, FlagText(false));
}

}  // namespace

void RemoveStaleBusyFlags(RunContext& ctx) {
  // A run that was killed while it held flags left its source behind.
  if (RemoveDeadSources(ctx) == 0) return;
  for (const std::string& dir : OutboundDirectories(ctx)) {
    std::vector<platform::DirEntry> entries;
    (void)platform::ListDirectory(dir, "*.bsy", false, &entries);  // a missing one holds none
    for (const platform::DirEntry& e : entries) {
      std::string busy = JoinPath(dir, e.name);
      if (!IsStaleBusyFlag(busy)) continue;
      ctx.log.Note('!', 1, "Removing busy flag %s left by a run that ended", busy.c_str());
      (void)platform::RemoveFile(busy);  // a failure leaves it for the next run
    }
  }
}

bool IsStaleBusyFlag(const std::string& busy) {
  std::string text;
  if (platform::ReadPlainFile(busy, 256, &text) != 0) return false;
  if (text.compare(0, sizeof kSignature - 1, kSignature) != 0) return false;  // the mailer's
  if (text.find(" locked") != std::string::npos) return !platform::LockHeld(busy);
  // A flag made as a plain file has no lock behind it: its run's process
  // tells. One of this very process id is left from an earlier process.
  int pid = std::atoi(text.c_str() + sizeof kSignature - 1);
  return pid == platform::ProcessId() || !platform::ProcessAlive(pid);
}

int TakeBusyFlag(RunContext& ctx, const std::string& busy) {
  int rc = PutUp(ctx, busy);
  if (!platform::IsAlreadyExists(rc) || !IsStaleBusyFlag(busy)) return rc;
  ctx.log.Note('!', 1, "Removing busy flag %s left by a run that ended", busy.c_str());
  (void)platform::RemoveFile(busy);  // a failure shows as the flag still held
  return PutUp(ctx, busy);
}

void DropBusyFlag(RunContext&, const std::string& busy) {
  (void)platform::RemoveFile(busy);  // a flag left behind would hold the mailer back
}

void ReleaseBusyFlagSource(RunContext& ctx) {
  if (ctx.busy_flag_source.empty()) return;
  // Removed before the lock goes, so no one takes it for a dead run's.
  (void)platform::RemoveFile(ctx.busy_flag_source);  // a leftover is removed by the next run
  platform::ReleaseLockFile(ctx.busy_flag_lock);
  ctx.busy_flag_lock = -1;
  ctx.busy_flag_source.clear();
}

}  // namespace olvix
