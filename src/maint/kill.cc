#include "maint/kill.h"

#include <algorithm>

#include "config/records.h"
#include "maint/outtics.h"
#include "manager/letter.h"
#include "outbound/busy.h"
#include "outbound/styles.h"
#include "platform/platform.h"
#include "run/context.h"
#include "util/files.h"
#include "util/paths.h"
#include "util/text.h"

namespace olvix {

namespace {

// Flow and list files differ only in their names.
CleanResult CleanFlowFile(RunContext& ctx, const LinkRecord& link, const KillList& kill,
                          bool long_names) {
  std::string address = FormatAddress(link.address);
  std::string base = long_names ? LbsoBaseName(ctx, link.address) : BsoBaseName(ctx, link.address);
  ctx.log.Debug('J', long_names ? "LBSO path for %s: %s" : "Binkpath for %s: %s", address.c_str(),
                base.c_str());
  std::string flow = base + FlowExtension(ctx, link);
  if (!platform::FileExists(flow)) return CleanResult::kDone;  // nothing waits for the link
  // A mailer in session with the link holds its busy flag and may be
  // reading or truncating the flow file; it is cleaned at a later run,
  // whose old tickets lead back here.
  std::string busy = base + ".bsy";
  int rc = TakeBusyFlag(ctx, busy);
  if (platform::IsAlreadyExists(rc)) {
    ctx.log.Note('#', 1, "%s is left alone: a mailer holds %s; the next run cleans it",
                 flow.c_str(), busy.c_str());
    return CleanResult::kLeft;
  }
  if (rc != 0) {
    ctx.log.Message('!', 1, 0, busy.c_str(), platform::ErrorText(rc).c_str());
    return CleanResult::kLeft;
  }
  CleanResult result = CleanResult::kDone;
  std::string text;
  int err = 0;
  if (!ReadWholeFile(flow, true, &text, &err)) {
    if (err != platform::NotFoundCode()) {
      ctx.log.Message('!', 1, 0, flow.c_str(), platform::ErrorText(err).c_str());
      result = CleanResult::kLeft;
    }
  } else {
    size_t removed = 0;
    std::string kept = FilterFlowLines(
        text, [&kill](std::string_view path) { return kill.Has(path); }, &removed);
    if (removed > 0) {
      rc = WriteFileAtomic(flow, kept);
      if (rc != 0) {
        ctx.log.Message('!', 1, 9, flow.c_str(), platform::ErrorText(rc).c_str());
        result = CleanResult::kFailed;
      }
    }
  }
  DropBusyFlag(ctx, busy);
  return result;
}

void LoadAttachLetters(RunContext& ctx, AttachLetters* out) {
  out->loaded = true;
  const std::string& dir = ctx.cfg.outmail;
  for (const platform::DirEntry& e :
       ListSorted(dir, "*.msg", false, platform::EntryDetails::kNamesOnly)) {
    NetmailLetter letter;
    std::string path = JoinPath(dir, e.name);
    if (ReadLetter(ctx, path, &letter) != 0) continue;  // unreadable letters are passed over
    out->by_subject.emplace(Lower(letter.subject), out->letters.size());
    out->letters.push_back({path, letter.destination, false});
  }
}

}  // namespace

void KillList::Add(const std::string& path) {
  std::string native =
      platform::NativePath(platform::NormalizePath(path, platform::CurrentDirectory()));
  if (keys_.insert(Lower(native)).second) paths_.push_back(native);
}

bool KillList::Has(std::string_view path) const { return keys_.count(Lower(path)) != 0; }

std::string FilterFlowLines(std::string_view text,
                            const std::function<bool(std::string_view)>& killed, size_t* removed) {
  std::string out;
  out.reserve(text.size());
  *removed = 0;
  size_t pos = 0;
  while (pos < text.size()) {
    size_t nl = text.find('\n', pos);
    size_t end = nl == std::string_view::npos ? text.size() : nl;
    std::string_view line = text.substr(pos, end - pos);
    pos = end + 1;
    std::string_view path = line;
    if (!path.empty() && path.front() == '^') path.remove_prefix(1);
    if (!path.empty() && path.back() == '\r') path.remove_suffix(1);
    if (killed(path)) {
      ++*removed;
      continue;
    }
    out.append(line);
    out += '\n';
  }
  return out;
}

CleanResult KillFlowEntries(RunContext& ctx, const LinkRecord& link, const KillList& kill) {
  ctx.log.Debug('J', "Killing attaches from Binkley-Style Outbound");
  return CleanFlowFile(ctx, link, kill, false);
}

CleanResult KillListEntries(RunContext& ctx, const LinkRecord& link, const KillList& kill) {
  ctx.log.Debug('J', "Killing attaches from Long Binkly Style Outbound");
  return CleanFlowFile(ctx, link, kill, true);
}

void KillArcMailAttaches(RunContext& ctx, const FtnAddress& address, const KillList& kill,
                         AttachLetters* letters) {
  (void)ChangeDir(ctx, ctx.cfg.outmail);
  ctx.log.Debug('J', "Gonna kill some ArcMail-Attach files");
  if (!letters->loaded) LoadAttachLetters(ctx, letters);
  std::vector<size_t> doomed;
  for (const std::string& path : kill.paths()) {
    auto range = letters->by_subject.equal_range(Lower(path));
    for (auto it = range.first; it != range.second; ++it) {
      AttachLetters::Letter& letter = letters->letters[it->second];
      if (letter.gone || !(letter.destination == address)) continue;
      letter.gone = true;
      doomed.push_back(it->second);
    }
  }
  std::sort(doomed.begin(), doomed.end());  // in the order the letters were found
  for (size_t i : doomed)
    ctx.log.Debug('J', "File %s will be killed", OneLine(letters->letters[i].path).c_str());
  for (size_t i : doomed) {
    const std::string& path = letters->letters[i].path;
    if (!platform::IsPlainFile(path) || RemovePlainFile(ctx, path) != 0) continue;
    ctx.log.Message('#', 2, 65, OneLine(path).c_str());
  }
}

}  // namespace olvix
