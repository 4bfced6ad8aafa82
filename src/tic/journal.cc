#include "tic/journal.h"

#include <cstdlib>
#include <string_view>

#include "platform/platform.h"
#include "run/context.h"
#include "util/files.h"
#include "util/paths.h"
#include "util/text.h"

namespace olvix {

namespace {

constexpr const char* kJournalName = "olxtoss.jnl";

// The words of a record: a blank never stands inside an escaped word, and
// the empty word is written as "%".
std::vector<std::string> SplitRecord(std::string_view line) {
  std::vector<std::string> words = SplitWords(line);
  for (std::string& w : words) w = TossJournal::Unescape(w);
  return words;
}

uint32_t ParseHex32(const std::string& s) {
  return static_cast<uint32_t>(std::strtoul(s.c_str(), nullptr, 16));
}

uint32_t ParseDec32(const std::string& s) {
  return static_cast<uint32_t>(std::strtoul(s.c_str(), nullptr, 10));
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

}  // namespace

TossJournal::~TossJournal() {
  if (handle_ >= 0) platform::ReleaseLockFile(handle_);
}

std::string TossJournal::Escape(const std::string& word) {
  std::string out;
  for (char c : word) {
    unsigned char u = static_cast<unsigned char>(c);
    if (u <= 32 || u == '%' || u == 127)
      out += Format("%%%02X", u);
    else
      out += c;
  }
  return out.empty() ? "%" : out;  // a lone "%" stands for the empty word
}

std::string TossJournal::Unescape(const std::string& word) {
  if (word == "%") return "";
  std::string out;
  for (size_t i = 0; i < word.size(); ++i) {
    if (word[i] == '%' && i + 2 < word.size()) {
      int hi = HexValue(word[i + 1]), lo = HexValue(word[i + 2]);
      if (hi >= 0 && lo >= 0) {
        out += static_cast<char>(hi * 16 + lo);
        i += 2;
        continue;
      }
    }
    out += word[i];
  }
  return out;
}

TossJournal::OpenResult TossJournal::Open(RunContext& ctx,
                                          const std::vector<std::string>& temp_dirs, int* error) {
  path_ = ctx.home + kJournalName;
  int lock_error = 0;
  handle_ = platform::AcquireLockFile(path_, &lock_error);
  if (handle_ < 0) {
    if (platform::IsAlreadyExists(lock_error) || platform::LockHeld(path_))
      return OpenResult::kBusy;
    *error = lock_error;
    return OpenResult::kFailed;
  }
  std::string text;
  int err = 0;
  if (!ReadWholeFile(path_, false, &text, &err)) {
    *error = err != 0 ? err : 5;
    return OpenResult::kFailed;
  }
  size_t from = 0;
  while (from < text.size()) {
    size_t nl = text.find('\n', from);
    if (nl == std::string::npos) break;  // cut off by the kill: never happened
    std::vector<std::string> words = SplitRecord(std::string_view(text).substr(from, nl - from));
    if (!words.empty()) {
      resumed_ = true;
      Apply(words);
    }
    from = nl + 1;
  }
  if (resumed_) Settle(temp_dirs);
  if (from < text.size()) {
    // The fragment must not run into the next record.
    std::string whole = text.substr(0, from);
    int rc = platform::ReplaceFile(path_, whole);
    if (rc != 0) {
      *error = rc;
      return OpenResult::kFailed;
    }
    // The lock is on the old file; take the new one.
    platform::ReleaseLockFile(handle_);
    handle_ = platform::AcquireLockFile(path_);
    if (handle_ < 0) return OpenResult::kBusy;
  }
  return OpenResult::kOpened;
}

void TossJournal::Apply(const std::vector<std::string>& w) {
  const std::string& kind = w[0];
  auto has = [&w](size_t n) { return w.size() >= n; };
  if (kind == "A" && has(5)) {
    JournalTicket& t = tickets_[w[1]];
    t.accepted = true;
    t.area = w[2];
    t.crc = ParseHex32(w[3]);
    t.size = ParseDec32(w[4]);
  } else if (kind == "X" && has(2)) {
    JournalTicket& t = tickets_[w[1]];
    t.set_aside = true;
    t.set_aside_names.assign(w.begin() + 2, w.end());
  } else if (kind == "K" && has(2)) {
    tickets_[w[1]].kept = true;
  } else if (kind == "P" && has(2)) {
    tickets_[w[1]].placed = true;
  } else if (kind == "C" && has(4)) {
    JournalTicket& t = tickets_[w[1]];
    t.changed = true;
    t.crc = ParseHex32(w[2]);
    t.size = ParseDec32(w[3]);
  } else if (kind == "R" && has(3)) {
    tickets_[w[1]].committed.insert(w[2]);
  } else if (kind == "N" && has(4)) {
    tickets_[w[1]].names[w[2]] = w[3];
  } else if (kind == "S" && has(3)) {
    tickets_[w[1]].sent.insert(w[2]);
  } else if (kind == "W" && has(3)) {
    Pending& p = pending_[w[1]];
    p.temp = w[2];
    p.tics.assign(w.begin() + 3, w.end());
  } else if (kind == "D" && has(3)) {
    auto it = pending_.find(w[1]);
    if (it != pending_.end() && it->second.temp == w[2]) {
      for (const std::string& tic : it->second.tics) tickets_[tic].committed.insert(w[1]);
      if (StartsWithNoCase(w[1], "olx:")) delayed_links_.insert(w[1].substr(4));
      pending_.erase(it);
    }
  }
}

void TossJournal::Settle(const std::vector<std::string>& temp_dirs) {
  // A W without its D: while the temporary file is there, the rename did
  // not happen and the step is done again from the current file; once it
  // is gone, the rename did happen.
  for (auto& [key, p] : pending_) {
    if (platform::FileExists(p.temp)) {
      (void)platform::RemoveFile(p.temp);  // the step is done again
      continue;
    }
    for (const std::string& tic : p.tics) tickets_[tic].committed.insert(key);
    if (StartsWithNoCase(key, "olx:")) delayed_links_.insert(key.substr(4));
  }
  pending_.clear();
  // Temporary files of the runs that died: half-written copies, tickets
  // and files nobody will rename any more.
  for (const std::string& dir : temp_dirs) RemoveDeadRunTemps(dir);
}

const JournalTicket* TossJournal::Find(const std::string& tic) const {
  auto it = tickets_.find(tic);
  return it == tickets_.end() ? nullptr : &it->second;
}

int TossJournal::Record(const std::vector<std::string>& words) { return RecordAll({words}); }

int TossJournal::RecordAll(const std::vector<std::vector<std::string>>& records) {
  if (handle_ < 0 || records.empty()) return 0;
  std::string text;
  for (const std::vector<std::string>& words : records) {
    if (words.empty()) continue;
    for (size_t i = 0; i < words.size(); ++i) {
      if (i > 0) text += ' ';
      text += Escape(words[i]);
    }
    text += '\n';
  }
  if (text.empty()) return 0;
  int rc = platform::AppendRecord(handle_, text);
  if (rc == 0)
    for (const std::vector<std::string>& words : records)
      if (!words.empty()) Apply(words);
  return rc;
}

int TossJournal::Commit(const std::string& key, const std::string& temp, const std::string& target,
                        const std::vector<std::string>& tics) {
  std::vector<std::string> w = {"W", key, temp};
  w.insert(w.end(), tics.begin(), tics.end());
  int rc = Record(w);
  if (rc == 0) rc = platform::RenamePath(temp, target);
  if (rc != 0) {
    (void)platform::RemoveFile(temp);  // the old file stays
    return rc;
  }
  return Record({"D", key, temp});
}

int TossJournal::CommitText(const std::string& key, const std::string& target,
                            const std::string& text, const std::vector<std::string>& tics) {
  std::string temp = platform::RunTempName(target);
  (void)platform::RemoveFile(temp);  // a leftover of this process id would block the create
  int rc = platform::WriteNewFile(temp, text);
  if (rc != 0) return rc;
  return Commit(key, temp, target, tics);
}

void TossJournal::Finish() {
  if (handle_ < 0) return;
  // Removed before the lock goes: a toss that starts now finds no journal.
  (void)platform::RemoveFile(path_);  // a leftover only makes the next toss check its work
  platform::ReleaseLockFile(handle_);
  handle_ = -1;
}

}  // namespace olvix
