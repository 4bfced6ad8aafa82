#include "manager/template.h"

#include "config/config_files.h"
#include "config/records.h"
#include "manager/letter.h"
#include "manager/subscribe.h"
#include "manager/uplink_list.h"
#include "platform/platform.h"
#include "run/context.h"
#include "util/files.h"
#include "util/paths.h"
#include "util/text.h"

namespace olvix {

namespace {

// The four marker lines that open a list section; the line after each is
// the pattern of its list lines.
constexpr char kSubscribedMarker[] = ">***<\n";
constexpr char kUnsubscribedMarker[] = ">-*-<\n";
constexpr char kAllowedMarker[] = ">---<\n";
constexpr char kUplinksMarker[] = ">+++<\n";

// The mark of the link's mode in a fileecho it is subscribed to.
std::string ModeMark(const Subscriber& sub, const LinkRecord& link) {
  if (sub.mode == kModeReadOnly || link.HasOption('O')) return "r ";
  if (sub.mode == kModeWriteOnly || link.HasOption('W')) return "w ";
  return "* ";
}

// Collects the output lines of one answer and cuts them into parts.
class AnswerParts {
 public:
  AnswerParts(Log& log, int32_t reply_lines) : log_(log), reply_lines_(reply_lines) {}

  void Output(std::string line) {
    // 0x8D is the CP866 capital EN, which readers of other code pages show
    // as a control character; the Latin letter looks the same.
    for (char& c : line)
      if (static_cast<unsigned char>(c) == 0x8D) c = 'H';
    current_ += line;
    if (++lines_ == reply_lines_) NewPart();
  }

  std::vector<std::string> Finish() {
    if (lines_ > 0) parts_.push_back(std::move(current_));
    return std::move(parts_);
  }

 private:
  void NewPart() {
    log_.Debug('G', "Making new part of message");
    current_ += "\n *** Continued on next page ***\n";
    parts_.push_back(std::move(current_));
    ++part_;
    current_ = Format("\r *** Continued from previous page ***\n *** Part %d\n", part_);
    lines_ = 0;
  }

  Log& log_;
  int32_t reply_lines_;
  std::vector<std::string> parts_;
  std::string current_;
  int32_t lines_ = 0;
  int part_ = 1;
};

class Expander {
 public:
  Expander(RunContext& ctx, const LinkRecord& link, const std::tm& now)
      : ctx_(ctx),
        link_(link),
        parts_(ctx.log, ctx.cfg.reply_lines),
        time_(platform::FormatTime("%H:%M:%S", now)),
        date_(platform::FormatTime("%d %B %Y", now)) {}

  std::vector<std::string> Run(const std::string& text) {
    std::vector<std::string> lines = SplitPieces(text, kAnswerTemplatePiece);
    for (size_t i = 0; i < lines.size(); ++i) {
      const std::string& line = lines[i];
      bool marker = line == kSubscribedMarker || line == kUnsubscribedMarker ||
                    line == kAllowedMarker || line == kUplinksMarker;
      if (!marker) {
        OtherLine(line);
        continue;
      }
      if (i + 1 >= lines.size()) break;  // a marker without a pattern lists nothing
      std::string pattern = lines[++i];
      // List lines are lines of their own even when the pattern is the
      // unterminated last line of the file.
      if (pattern.back() != '\n') pattern += '\n';
      if (line == kSubscribedMarker)
        Subscribed(pattern);
      else if (line == kUnsubscribedMarker)
        Unsubscribed(pattern);
      else if (line == kAllowedMarker)
        Allowed(pattern);
      else
        Uplinks(pattern);
    }
    return parts_.Finish();
  }

 private:
  // @TIME, @DATE, @A and @D of a list line.
  std::string ListLine(const std::string& pattern, const std::string* tag,
                       const std::string* description) {
    std::string line = pattern;
    ReplaceMacro(&line, "@TIME", &time_);
    ReplaceMacro(&line, "@DATE", &date_);
    ReplaceMacro(&line, "@A", tag);
    ReplaceMacro(&line, "@D", description);
    return line;
  }

  void Subscribed(const std::string& pattern) {
    ctx_.log.Debug('G', "Sending list of fileechoes link is subscribed to");
    for (size_t i = 0; i < ctx_.areas.size(); ++i) {
      const AreaRecord& area = ctx_.areas[i];
      const Subscriber* sub = SubscriptionOf(area, link_);
      if (!sub) continue;
      ctx_.log.Debug('G', "Area %s", area.tag.c_str());
      std::string line = ListLine(pattern, &area.tag, &area.description);
      ++listed_;
      std::string mark = ModeMark(*sub, link_);
      ReplaceMacro(&line, "@S", &mark, FieldAlign::kRight);
      ++subscribed_;
      parts_.Output(std::move(line));
    }
  }

  void Unsubscribed(const std::string& pattern) {
    ctx_.log.Debug('G', "Sending list of fileechoes link is not subscribed to");
    for (size_t i = 0; i < ctx_.areas.size(); ++i) {
      const AreaRecord& area = ctx_.areas[i];
      if (SubscriptionOf(area, link_)) continue;
      std::string line = ListLine(pattern, &area.tag, &area.description);
      ++listed_;
      ++subscribed_;
      parts_.Output(std::move(line));
    }
  }

  void Allowed(const std::string& pattern) {
    ctx_.log.Debug('G', "Sending list of fileechoes link can subscribe to");
    for (size_t i = 0; i < ctx_.areas.size(); ++i) {
      const AreaRecord& area = ctx_.areas[i];
      if (!SharesGroup(link_.group, area.group)) continue;
      std::string line = ListLine(pattern, &area.tag, &area.description);
      ++listed_;
      if (const Subscriber* sub = SubscriptionOf(area, link_)) {
        std::string mark = ModeMark(*sub, link_);
        ReplaceMacro(&line, "@S", &mark, FieldAlign::kRight);
        ++subscribed_;
      }
      ReplaceMacro(&line, "@S", nullptr);
      parts_.Output(std::move(line));
    }
  }

  void Uplinks(const std::string& pattern) {
    const MainConfig& c = ctx_.cfg;
    ctx_.log.Debug('G', "Sending list of available fileechoes");
    if (c.uplinks.empty()) {
      ctx_.log.Debug('G', "Sorry, dude. We have no uplinks");
      return;
    }
    if (c.avail_list && link_.HasOption('F')) return;
    for (const UplinkRecord& uplink : c.uplinks) {
      ctx_.log.Debug('G', "Checking uplink");
      if (uplink.list_file.empty() || !SharesGroup(link_.group, uplink.link->group) ||
          uplink.link->address == link_.address)
        continue;
      ctx_.log.Debug('G', "Opening list file");
      std::vector<UplinkListEntry> entries;
      if (!ReadUplinkList(ctx_, uplink.list_file, &entries)) continue;
      std::string from = "Available from " + FormatAddress(uplink.link->address);
      std::string header = ListLine(pattern, nullptr, &from);
      ReplaceMacro(&header, "@S", nullptr);
      parts_.Output(std::move(header));
      for (const UplinkListEntry& e : entries) {
        if (ctx_.areas.Find(e.tag)) continue;
        ctx_.log.Debug('G', "Area %s", e.tag.c_str());
        std::string line = ListLine(pattern, &e.tag, &e.description);
        ReplaceMacro(&line, "@S", nullptr);
        ++listed_;
        parts_.Output(std::move(line));
      }
    }
  }

  void OtherLine(std::string line) {
    const std::string link = FormatAddress(link_.address);
    const std::string status = link_.active ? "Active" : "Passive";
    const std::string echonum = std::to_string(listed_);
    const std::string subnum = std::to_string(subscribed_);
    ReplaceMacro(&line, "@STATION", &ctx_.cfg.station);
    ReplaceMacro(&line, "@LINK", &link);
    ReplaceMacro(&line, "@GROUP", &link_.group);
    ReplaceMacro(&line, "@PASSWORD", &link_.password);
    ReplaceMacro(&line, "@STATUS", &status);
    ReplaceMacro(&line, "@ECHONUM", &echonum);
    ReplaceMacro(&line, "@SUBNUM", &subnum);
    ReplaceMacro(&line, "@TIME", &time_);
    ReplaceMacro(&line, "@DATE", &date_);
    parts_.Output(std::move(line));
  }

  RunContext& ctx_;
  const LinkRecord& link_;
  AnswerParts parts_;
  const std::string time_;
  const std::string date_;
  int listed_ = 0;
  int subscribed_ = 0;
};

}  // namespace

void ReplaceMacro(std::string* line, std::string_view macro, const std::string* value,
                  FieldAlign align) {
  size_t pos = FindNoCase(*line, macro);
  if (pos == std::string::npos) return;
  size_t start = pos;
  while (start > 0 && (*line)[start - 1] == '@') --start;
  if (start < pos || !value) {
    size_t width = pos + macro.size() - start;
    std::string field(width, ' ');
    std::string v = value ? value->substr(0, width) : "";
    field.replace(align == FieldAlign::kRight ? width - v.size() : 0, v.size(), v);
    line->replace(start, width, field);
    return;
  }
  std::string out;
  out.reserve(line->size() + value->size());
  size_t from = 0;
  for (; pos != std::string::npos; pos = FindNoCase(*line, macro, from)) {
    out.append(*line, from, pos - from);
    out += *value;
    from = pos + macro.size();
  }
  out.append(*line, from, std::string::npos);
  line->swap(out);
}

std::vector<std::string> ExpandTemplate(RunContext& ctx, const std::string& text,
                                        const LinkRecord& link, const std::tm& now) {
  return Expander(ctx, link, now).Run(text);
}

// The letter writer consumes a work file at once, so a run killed
// meanwhile leaves at most its fixed name, which the next answer writes
// again; a temporary name of the dead run would stay behind.
int WriteWorkFile(const std::string& path, const std::string& text) {
  // A leftover is never written through, and half an answer is none.
  (void)platform::RemoveFile(path);
  return platform::WriteNewFile(path, text);
}

bool SendWorkFile(RunContext& ctx, const std::string& name, const std::string& text,
                  const std::string& from_name, const std::string& to_name,
                  const std::string& subject, const LinkRecord& link) {
  const std::string path = JoinPath(ctx.home, name);
  int rc = WriteWorkFile(path, text);
  if (rc != 0) {
    ctx.log.Message('!', 0, 9, path.c_str(), platform::ErrorText(rc).c_str());
    return false;
  }
  return SendLetter(ctx, from_name, to_name, subject, link, path, kLetterAttributes) == 0;
}

void SendTemplate(RunContext& ctx, const std::string& template_file, LinkRecord& link,
                  const std::string& answer_name) {
  (void)SendTemplateAnswer(ctx, template_file, link, answer_name);  // failures are logged
}

bool SendTemplateAnswer(RunContext& ctx, const std::string& template_file, LinkRecord& link,
                        const std::string& answer_name) {
  if (template_file.empty()) return true;
  (void)ChangeDir(ctx, ctx.home);  // the home directory was entered at start
  std::string text;
  if (!ReadConfigFile(ctx, template_file, false, &text, nullptr)) return true;  // logged
  std::tm now = platform::LocalTime(platform::Now());
  for (const std::string& part : ExpandTemplate(ctx, text, link, now)) {
    // A part that cannot be written drops the rest of the answer.
    if (!SendWorkFile(ctx, "temptxt.$$$", part, ctx.cfg.from_name, answer_name, "Request answer",
                      link))
      return false;
  }
  return true;
}

}  // namespace olvix
