#include "toss_fixture.h"

#include <algorithm>
#include <cstdlib>
#include <ctime>

#include "platform/platform.h"
#include "util/crc32.h"
#include "util/files.h"
#include "util/text.h"

#ifndef OLVIX_FAULTY_BINARY
#error "OLVIX_FAULTY_BINARY must name the program with the fault-injection seam"
#endif

namespace olvix::test {

namespace {

const char kBaseSettings[] =
    "ADDRESS 2:5020/1\n"
    "ORIGIN Test node\n"
    "ROBOTNAMES Olvix\n"
    "LOGNAME olvix.log\n"
    "LOGLEVEL 5\n"
    "BADPWD badpwd.tpl\n"
    "INBOUND in\n"
    "OUTMAIL out/mail\n"
    "OUTBOUND out/bso\n"
    "ATTACHSTYLE BINK\n"
    "NETMAIL netmail\n"
    "OUTTICS outtics\n"
    "BADPATH bad\n"
    "NEWECHOPATH new\n"
    "UTC 3\n";

bool AllDigits(const std::string& s) {
  return !s.empty() && std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// "Tue Dec 08 2026 20:34:45"
bool LooksLikeDate(const std::string& d) {
  if (d.size() != 24) return false;
  return d[3] == ' ' && d[7] == ' ' && d[10] == ' ' && d[15] == ' ' && d[18] == ':' &&
         d[21] == ':' && AllDigits(d.substr(11, 4)) && AllDigits(d.substr(16, 2));
}

}  // namespace

void TossNode::WriteConfig() const {
  s.Write("olvix.ini", kBaseSettings + settings);
  s.Write("olxlinks.ini", links);
  s.Write("olxareas.ini", areas);
}

void TossNode::AddFile(const std::string& name, const std::string& contents) const {
  s.Write("in/" + name, contents);
}

std::string TossNode::TicText(const Ticket& t) const {
  std::string out;
  auto put = [&out](const std::string& line) { out += line + "\r\n"; };
  put("Area " + t.area);
  put("File " + t.file);
  put("From " + t.from);
  put("Origin " + t.from);
  put("To 2:5020/1");
  if (!t.pw.empty()) put("Pw " + t.pw);
  if (t.crc.empty()) {
    // Files are written under lower-case names, tickets name them in any case.
    std::string path = "in/" + t.file;
    if (!s.Exists(path)) path = "in/" + Lower(t.file);
    uint32_t crc = s.Exists(path) ? Crc32(s.Read(path)) : 0;
    put(Format("Crc %08X", crc));
  } else if (t.crc != "-") {
    put("Crc " + t.crc);
  }
  for (const std::string& e : t.extra) put(e);
  return out;
}

void TossNode::AddTic(const std::string& tic_name, const Ticket& t) const {
  s.Write("in/" + tic_name, TicText(t));
}

void TossNode::AddPair(const std::string& tic_name, const Ticket& t,
                       const std::string& contents) const {
  AddFile(Lower(t.file), contents);
  AddTic(tic_name, t);
}

RunResult TossNode::Toss() const {
  WriteConfig();
  return s.Run({"TOSS"});
}

RunResult TossNode::RunFaulty(const std::vector<std::string>& args, const std::string& fault) {
  s.program = OLVIX_FAULTY_BINARY;
  RunResult r = s.Run(args, {{"OLVIX_FAULT", fault}});
  s.program.clear();
  return r;
}

RunResult TossNode::DiskFull(const std::vector<std::string>& args, const std::string& where) {
  RunResult r = RunFaulty(args, "enospc:1:" + where);
  EXPECT_EQ(r.status, 1) << where << "\n" << r.output;
  EXPECT_TRUE(Holds(r.Plain(), "No space left on device")) << where;
  return r;
}

std::vector<std::string> TossNode::Files(const std::string& dir) const {
  std::vector<std::string> out;
  std::vector<platform::DirEntry> entries;
  (void)platform::ListDirectory(s.PathOf(dir), "*", true, &entries);  // missing: nothing
  for (const platform::DirEntry& e : entries) {
    std::string rel = dir.empty() ? e.name : dir + "/" + e.name;
    if (!e.is_dir) {
      out.push_back(rel);
      continue;
    }
    for (const std::string& sub : Files(rel)) out.push_back(sub);
  }
  return out;
}

void SweepKills(const std::vector<std::string>& args, int min_ops,
                const std::function<void(TossNode&)>& prepare,
                const std::function<void(const TossNode&, bool whole)>& check) {
  for (int k = 1; k < 1000; ++k) {
    SCOPED_TRACE("killed before operation " + std::to_string(k));
    TossNode n;
    prepare(n);
    RunResult first = n.RunFaulty(args, "kill:" + std::to_string(k));
    RunResult second = n.s.Run(args);
    ASSERT_EQ(second.status, 0) << second.output;
    check(n, first.status != kKilled);
    if (::testing::Test::HasFailure()) {
      n.s.Keep();
      FAIL() << "first run:\n" << first.output << "\nsecond run:\n" << second.output;
    }
    if (first.status != kKilled) {
      ASSERT_EQ(first.status, 0) << first.output;
      EXPECT_GT(k, min_ops) << "the sweep did not reach into the run";
      return;
    }
  }
  ADD_FAILURE() << args[0] << " never ran to its end";
}

void ExpectNoWorkFiles(const TossNode& n) {
  for (const std::string& f : n.Files()) EXPECT_FALSE(platform::IsWorkFileName(f)) << f;
}

std::map<std::string, NetmailLetter> Letters(const TossNode& n, const std::string& dir) {
  std::map<std::string, NetmailLetter> out;
  for (const std::string& name : SplitWords(n.Names(dir))) {
    if (platform::IsWorkFileName(name)) continue;
    EXPECT_EQ(ParseLetter(n.s.Read(dir + "/" + name), &out[name]), 0) << name;
  }
  return out;
}

std::vector<ftnnet::Packet> Packets(const TossNode& n, const std::string& dir) {
  std::vector<ftnnet::Packet> out;
  for (const std::string& name : ftnnet::ListNames(n.s.PathOf(dir))) {
    EXPECT_EQ(".pkt", name.substr(name.size() - 4)) << "only finished packets";
    std::string error;
    EXPECT_EQ(0, ftnnet::ParsePacket(n.s.Read(dir + "/" + name), &out.emplace_back(), &error))
        << name << error;
  }
  return out;
}

void SetAge(const Scenario& s, const std::string& rel, int64_t seconds) {
  ASSERT_EQ(platform::SetModTime(s.PathOf(rel), platform::Now() - seconds), 0) << rel;
}

std::string Ages(const std::string& text) {
  std::string out;
  for (const std::string& line : SplitPieces(text, 1000)) {
    size_t blank = line.find(' ');
    long long t = std::atoll(line.substr(0, blank).c_str());
    out += (std::llabs(platform::Now() - t) < 60 ? "new" : "old") + line.substr(blank);
  }
  return out;
}

std::vector<std::string> Lines(const std::string& text, const std::string& end) {
  std::vector<std::string> out;
  for (size_t from = 0; from < text.size();) {
    size_t at = std::min(text.find(end, from), text.size());
    out.push_back(text.substr(from, at - from));
    from = at + end.size();
  }
  return out;
}

std::string TossNode::Names(const std::string& dir) const {
  std::vector<platform::DirEntry> entries;
  (void)platform::ListDirectory(s.PathOf(dir), "*", true, &entries);  // missing: no names
  std::vector<std::string> names;
  for (const platform::DirEntry& e : entries) names.push_back(e.name + (e.is_dir ? "/" : ""));
  std::sort(names.begin(), names.end());
  std::string out;
  for (const std::string& n : names) out += (out.empty() ? "" : " ") + n;
  return out;
}

std::string TossNode::TicOfFlow(const std::string& flow, int nth) const {
  std::string text = s.Read(flow);
  size_t caret = text.find('^');
  for (int i = 0; i < nth && caret != std::string::npos; ++i) caret = text.find('^', caret + 1);
  if (caret == std::string::npos) return "";
  size_t end = text.find('\n', caret);
  std::string path = text.substr(caret + 1, end == std::string::npos ? end : end - caret - 1);
  if (path.compare(0, s.dir().size(), s.dir()) != 0) return "";
  return path.substr(s.dir().size());
}

std::string LevelLines(const std::string& plain, char level) {
  std::string out;
  size_t pos = 0;
  while (pos < plain.size()) {
    size_t nl = plain.find('\n', pos);
    if (nl == std::string::npos) nl = plain.size();
    if (nl - pos >= 2 && plain[pos] == level && plain[pos + 1] == ' ')
      out += plain.substr(pos + 2, nl - pos - 2) + "\n";
    pos = nl + 1;
  }
  return out;
}

::testing::AssertionResult Holds(const std::string& text, const std::string& part) {
  if (text.find(part) != std::string::npos) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "\"" << part << "\" not found in:\n" << text;
}

std::string MaskPathTime(const std::string& ticket) {
  std::string out;
  size_t pos = 0;
  while (pos < ticket.size()) {
    size_t nl = ticket.find('\n', pos);
    size_t end = nl == std::string::npos ? ticket.size() : nl + 1;
    std::string line = ticket.substr(pos, end - pos);
    pos = end;
    // "Path <address> <seconds> <date> UTC..."
    if (line.compare(0, 5, "Path ") == 0) {
      size_t a = line.find(' ', 5);
      size_t b = a == std::string::npos ? a : line.find(' ', a + 1);
      if (b != std::string::npos && b + 29 <= line.size()) {
        std::string secs = line.substr(a + 1, b - a - 1);
        std::string date = line.substr(b + 1, 24);
        if (AllDigits(secs) && LooksLikeDate(date) && line.compare(b + 25, 4, " UTC") == 0) {
          long long t = std::atoll(secs.c_str());
          long long now = static_cast<long long>(std::time(nullptr));
          if (t > now - 86400 && t <= now + 1)
            line = line.substr(0, a + 1) + "<t>" + line.substr(b + 25);
        }
      }
    }
    out += line;
  }
  return out;
}

}  // namespace olvix::test
