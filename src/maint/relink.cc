#include "maint/relink.h"

#include <vector>

#include "config/config.h"
#include "config/records.h"
#include "manager/letter.h"
#include "platform/platform.h"
#include "run/context.h"
#include "util/address.h"
#include "util/files.h"
#include "util/paths.h"
#include "util/text.h"

namespace olvix {

namespace {

constexpr char kNewLinkText[] = "olxrlnk.$$$";
constexpr char kOldLinkText[] = "olxrlnk2.$$$";

// A file of the relink that could not be written ends the run before the
// areas file is saved: a new uplink that was never asked would send
// nothing, and the same command run again does the whole move once more
// (the robots answer a repeated line with "Already linked").
[[noreturn]] void WriteFailed(RunContext& ctx, const std::string& path, int rc) {
  ctx.log.Message('!', 1, 9, path.c_str(), platform::ErrorText(rc).c_str());
  Shutdown(ctx, 1);
}

void WriteLetterText(RunContext& ctx, const std::string& path, const std::string& text) {
  int rc = WriteFileAtomic(path, text);
  if (rc != 0) WriteFailed(ctx, path, rc);
}

// Hands the subscription of `from` in `area` to `to`. A fileecho that `to`
// already takes keeps that subscription alone: two of them would send it
// every file twice.
void MoveSubscription(AreaRecord& area, const LinkRecord* from, LinkRecord* to) {
  Subscriber* old_sub = area.FindSubscriber(from);
  if (!old_sub) return;
  if (area.FindSubscriber(to)) {
    area.subscribers.erase(area.subscribers.begin() + (old_sub - area.subscribers.data()));
    return;
  }
  old_sub->link = to;  // the mode stays
}

}  // namespace

void RunRelink(RunContext& ctx, const std::string& old_text, const std::string& new_text,
               const std::string& mask_text) {
  LinkRecord* old_link = ctx.links.Find(ParseAddress(old_text));
  LinkRecord* new_link = ctx.links.Find(ParseAddress(new_text));
  std::string mask = mask_text.empty() ? "*" : Upper(mask_text);
  if (!old_link) {
    ctx.log.Message('!', 1, 104, OneLine(old_text).c_str());
    return;
  }
  if (!new_link) {
    ctx.log.Message('!', 1, 104, OneLine(new_text).c_str());
    return;
  }
  (void)ChangeDir(ctx, ctx.home);
  const bool differ = old_link != new_link;
  const std::string plus_path = JoinPath(ctx.home, kNewLinkText);
  const std::string minus_path = JoinPath(ctx.home, kOldLinkText);
  ctx.log.Message('#', 1, 102, OneLine(old_text).c_str(), OneLine(new_text).c_str());

  std::vector<AreaRecord*> moved;
  std::string plus, minus;
  for (size_t i = 0; i < ctx.areas.size(); ++i) {
    AreaRecord& area = ctx.areas[i];
    if (!WildMatch(mask, area.tag)) continue;
    const Subscriber* sub = area.FindSubscriber(old_link);
    if (!sub || sub->mode == kModeReadOnly) continue;
    ctx.log.Message('#', 2, 103, area.tag.c_str());
    // A tag is one word of the areas file; a control character in it would
    // still end a line of the letter.
    std::string tag = OneLine(area.tag);
    plus += "+" + tag + "\n";
    minus += "-" + tag + "\n";
    moved.push_back(&area);
  }
  if (moved.empty()) {
    // Left over by an interrupted run, they would go out with the next
    // letter of this name.
    (void)platform::RemoveFile(plus_path);
    if (differ) (void)platform::RemoveFile(minus_path);
    return;
  }
  // The letters' texts are complete before anything changes.
  WriteLetterText(ctx, plus_path, plus);
  if (differ) WriteLetterText(ctx, minus_path, minus);
  if (differ)
    for (AreaRecord* area : moved) MoveSubscription(*area, old_link, new_link);
  // The letters go before the areas file is saved: a run interrupted in
  // between moves the subscriptions again and asks once more, rather than
  // leaving the uplinks unasked. A letter that cannot be written (logged)
  // leaves the areas file as it was.
  if (SendLetter(ctx, "Sysop", "AllFix", new_link->password, *new_link, plus_path,
                 kLetterAttributes) != 0 ||
      (differ && SendLetter(ctx, "Sysop", "AllFix", old_link->password, *old_link, minus_path,
                            kLetterAttributes) != 0))
    Shutdown(ctx, 1);
  int rc = SaveAreas(ctx);
  if (rc != 0) WriteFailed(ctx, JoinPath(ctx.home, "olxareas.ini"), rc);
}

}  // namespace olvix
